// The BSA reader: names and hashes, the real archives of the shared corpus, archives packed
// by the tests' writer (meshes, both versions, every layout flag), and damaged archives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <thread>

#include "Archive.h"
#include "ArchiveNames.h"
#include "ArchiveWriter.h"
#include "NifFile.h"
#include "ResultCodes.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBsaDir = fs::path(PELLMAR_CORPUS_DIR) / "bsa";

std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// Every entry's contents; fails the test when one cannot be read.
std::vector<Bytes> ReadAll(const Archive& a) {
    std::vector<Bytes> all(a.Entries().size());
    for (size_t i = 0; i < all.size(); ++i) {
        std::string error;
        EXPECT_EQ(a.Read(i, all[i], error), rc::kOk) << error;
    }
    return all;
}

uint32_t Le32(const Bytes& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void SetLe32(Bytes& b, size_t at, uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}

// Three files in two folders, one with a Windows-1252 name, one at the root.
std::vector<PackedFile> SmallFiles() {
    return {{"meshes\\caf\xE9\\b.nif", Bytes(3000, 'b')},
            {"meshes\\caf\xE9\\a.nif", Bytes{'a', 'a', 'x'}},
            {"readme.txt", Bytes{'h', 'i'}}};
}

}  // namespace

TEST(ArchiveNames, HashesOfRealNames) {
    struct Case {
        std::string folder, file;
        uint64_t folderHash, fileHash;
    };
    const Case cases[] = {
        {"scripts", "cheatroomteleporttolocationsspell.pex", 0x36AEBB9673077473,
         0x03C3FC3063216C6C},
        {"meshes\\actors\\character\\facegendata\\facegeom\\cheat room.esp", "00290321.nif",
         0xB8A67CA66D3B7370, 0x81B55B373008B231},
        {"textures\\actors\\character\\facegendata\\facetint\\cheat room.esp", "00290321.dds",
         0xCDFBD8E3743D7370, 0x7CC3BEFF3008B2B1},
        {"data", "dlc2mq05__0003c745_1\xA0.fuz", 0x0000006164047461, 0x948228C0641531A0},
        {"Textures/Actors/Character/Male/", "MaleHead.DDS", 0x70D22595741E6C65, 0x1D6FF19C6D08E1E4},
        {"sound\\fx", "a.wav", 0xEDA95B2073086678, 0x9733CF9EE1010061},
        {"", "a.kf", ArchiveFolderHash("."), 0x1711E3E9610100E1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ArchiveFolderHash(c.folder), c.folderHash) << c.folder;
        EXPECT_EQ(ArchiveFileHash(c.file), c.fileHash) << c.file;
    }
}

TEST(ArchiveNames, TextPatternsAndPaths) {
    EXPECT_EQ(Utf8FromWindows1252("caf\xE9 \x80\x81\x9F\xA0"),
              "caf\xC3\xA9 \xE2\x82\xAC\xC2\x81\xC5\xB8\xC2\xA0");
    const std::tuple<std::string, std::string, bool> patterns[] = {
        {"meshes\\armor\\*.nif", "meshes\\armor\\x.nif", true},
        {"MESHES/ARMOR/*.NIF", "meshes\\armor\\sub\\x.nif", true},
        {"*.nif", "meshes\\x.nif.bak", false},
        {"meshes\\?.nif", "meshes\\\xC3\xA9.nif", true},
        {"meshes\\\xC3\x89*", "MESHES\\\xC3\xA9t\xC3\xA9.nif", true},
        {"*a*a*a*a*a*a*b", std::string(60, 'a'), false},
        {"", "x", false},
    };
    for (const auto& [pattern, path, match] : patterns)
        EXPECT_EQ(ArchivePathMatches(pattern, path), match) << pattern << " ~ " << path;

    const std::pair<const char*, const char*> paths[] = {
        {"meshes\\armor\\x.nif", "meshes/armor/x.nif"},
        {".\\a\\\\.\\b.nif", "a/b.nif"},
        {"a<b>:c\"d|e?f*g\x01\xC2\x85.nif", "a_b__c_d_e_f_g__.nif"},
        {"dir. \\name..", "dir__/name__"},
        {"con\\Aux.nif\\LPT1", "_con/_Aux.nif/_LPT1"},
        {"..\\..\\x", nullptr},
        {"meshes\\..\\x", nullptr},
        {"\\abs\\x", nullptr},
        {"/abs/x", nullptr},
        {"c:x", nullptr},
        {".\\", nullptr},
    };
    for (const auto& [entry, expected] : paths) {
        fs::path out;
        std::string error;
        const int result = SafeRelativePath(entry, out, error);
        if (expected == nullptr) {
            EXPECT_EQ(result, rc::kUnsafeEntryPath) << entry;
            EXPECT_NE(error.find(entry), std::string::npos) << error;
        } else {
            EXPECT_EQ(result, rc::kOk) << entry << ": " << error;
            EXPECT_EQ(out.generic_string(), expected);
        }
    }
}

TEST(ArchiveCorpus, SharedArchivesReadExactly) {
    if (!fs::exists(kBsaDir)) GTEST_SKIP() << "no shared archives";
    using enum ArchiveCompression;
    const std::string png("\x89PNG\r\n\x1A\n", 8), pixel = "\t\r\n\r\n\tPixel Platformer (1.0)",
                                                   mit = "The MIT License (MIT)\r\n",
                                                   hello = "hello world!";
    const struct {
        const char* file;
        ArchiveCompression compression;
        std::vector<std::string> paths, starts;
        std::vector<size_t> sizes;
    } cases[] = {
        {"archlib__test_104.bsa",
         kZlib,
         {"preview.png", "license.txt"},
         {png, pixel},
         {50918, 574}},
        {"archlib__test_105.bsa", kLz4, {"preview.png", "license.txt"}, {png, pixel}, {50918, 574}},
        {"archlib__share_104.bsa",
         kNone,
         {"misc1\\example1.txt", "misc2\\example2.txt"},
         {hello, hello},
         {12, 12}},
        {"plugins__blank_104.bsa", kNone, {"license"}, {mit}, {1101}},
        {"plugins__blank_105.bsa", kNone, {"dev\\git\\testing-plugins\\license"}, {mit}, {1101}},
    };
    std::map<std::string, Bytes> seen;  // one file in several archives reads the same
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Archive a;
        std::string error;
        ASSERT_EQ(a.Open((kBsaDir / c.file).string(), error), rc::kOk) << error;
        EXPECT_TRUE(a.Warnings().empty()) << a.Warnings()[0];  // every hash checks out
        const std::vector<Bytes> contents = ReadAll(a);
        ASSERT_EQ(contents.size(), c.paths.size());
        for (size_t i = 0; i < contents.size(); ++i) {
            const ArchiveEntry& e = a.Entries()[i];
            EXPECT_EQ(e.path, c.paths[i]);
            EXPECT_EQ(e.compression, c.compression);
            EXPECT_EQ(e.originalSize, c.sizes[i]);
            EXPECT_EQ(contents[i].size(), c.sizes[i]);
            EXPECT_TRUE(Text(contents[i]).starts_with(c.starts[i]));
            EXPECT_EQ(seen.try_emplace(e.name, contents[i]).first->second, contents[i]);
        }
        // The last bytes come out of the whole stream; the shared range is one for two.
        const std::string end = c.starts[0] == png   ? "IEND\xAE\x42\x60\x82"
                                : c.starts[0] == mit ? "SOFTWARE.\r\n"
                                                     : "";
        EXPECT_TRUE(Text(contents[0]).ends_with(end));
        EXPECT_EQ(contents.size() > 1 && a.Entries()[0].offset == a.Entries()[1].offset,
                  c.starts[0] == hello);
    }
}

// The writer, given what a real archive holds, writes its header, records, names and hashes;
// only compressed bytes (and the sizes and offsets that follow from them) may differ.
TEST(ArchiveCorpus, WriterMatchesTheirLayout) {
    if (!fs::exists(kBsaDir)) GTEST_SKIP() << "no shared archives";
    for (const auto& entry : fs::directory_iterator(kBsaDir)) {
        if (entry.path().extension() != ".bsa") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const Bytes real = ReadFileBytes(entry.path());
        Archive a;
        std::string error;
        ASSERT_EQ(a.Open(entry.path().string(), error), rc::kOk) << error;
        const std::vector<Bytes> contents = ReadAll(a);
        std::vector<PackedFile> files;
        bool compressed = false;
        for (size_t i = 0; i < contents.size(); ++i) {
            const ArchiveEntry& e = a.Entries()[i];
            const bool c = e.compression != ArchiveCompression::kNone;
            compressed = compressed || c;
            files.push_back({e.folder + "\\" + e.name, contents[i], c != ((a.Flags() & 4) != 0)});
        }
        PackedParts parts;
        const Bytes packed =
            PackArchive({a.Version(), a.Flags(), static_cast<uint16_t>(Le32(real, 32)),
                         a.Entries().size() > 1 && a.Entries()[0].offset == a.Entries()[1].offset},
                        files, &parts);
        Bytes masked = real;
        if (a.Version() == 105) {  // the folder records' padding holds junk in real archives
            for (size_t f = 0; f < Le32(real, 16); ++f) SetLe32(masked, 36 + 24 * f + 12, 0);
        }
        if (!compressed) {
            EXPECT_EQ(packed, masked);
            continue;
        }
        ASSERT_GE(packed.size(), parts.data);
        EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 36),
                  Bytes(real.begin(), real.begin() + 36));
        for (size_t i = 0; i < files.size(); ++i) {  // records: hash and toggle bit alike
            const size_t r = parts.fileRecords + 16 * i;
            SetLe32(masked, r + 8,
                    (Le32(real, r + 8) & 0x40000000) | (Le32(packed, r + 8) & 0x3FFFFFFF));
            SetLe32(masked, r + 12, Le32(packed, r + 12));
        }
        EXPECT_EQ(Bytes(packed.begin(), packed.begin() + parts.data),
                  Bytes(masked.begin(), masked.begin() + parts.data));
        Archive again;
        ASSERT_EQ(again.OpenMemory(packed.data(), packed.size(), "packed", error), rc::kOk);
        EXPECT_EQ(ReadAll(again), contents);
        for (size_t i = 0; i < files.size(); ++i) {  // embedded name and original size alike
            const size_t prefix = (a.Flags() & 0x100 ? 1 + real[a.Entries()[i].offset] : 0) + 4;
            const size_t at = a.Entries()[i].offset, packedAt = again.Entries()[i].offset;
            EXPECT_EQ(Bytes(real.begin() + at, real.begin() + at + prefix),
                      Bytes(packed.begin() + packedAt, packed.begin() + packedAt + prefix));
        }
    }
}

TEST(ArchiveRoundTrip, PackedMeshesAndFilesReadBack) {
    for (uint32_t version : {104u, 105u}) {
        std::vector<PackedFile> files = MeshFiles(version);
        for (const PackedFile& f : SmallFiles()) files.push_back(f);
        files[1].toggled = true;
        for (uint32_t flags : {0x3u, 0x7u, 0x103u, 0x107u, 0x0u}) {
            SCOPED_TRACE(std::to_string(version) + " flags " + std::to_string(flags));
            const Bytes packed = PackArchive({version, flags, 1, false}, files);
            TempDir dir;
            WriteFileBytes(dir.Path("a.bsa"), packed);
            Archive a;
            std::string error;
            ASSERT_EQ(a.Open(dir.Path("a.bsa").string(), error), rc::kOk) << error;
            EXPECT_TRUE(a.Warnings().empty());
            ASSERT_EQ(a.Entries().size(), files.size());
            const std::vector<Bytes> contents = ReadAll(a);
            size_t found = 0, compressed = 0;
            for (size_t i = 0; i < contents.size(); ++i) {
                const ArchiveEntry& e = a.Entries()[i];
                compressed += e.compression != ArchiveCompression::kNone;
                EXPECT_NE(e.compression,
                          version == 104 ? ArchiveCompression::kLz4 : ArchiveCompression::kZlib);
                for (const PackedFile& f : files) {
                    if (flags & 3 && Utf8FromWindows1252(f.path) ==
                                         (e.folder == "." ? "" : e.folder + "\\") + e.name) {
                        EXPECT_EQ(contents[i], f.contents) << e.path;
                        ++found;
                    }
                }
                if (e.name.ends_with(".nif") && e.name != "a.nif" && e.name != "b.nif") {
                    NifFile mesh;  // the mesh loads, in the archive version's edition
                    ASSERT_EQ(mesh.LoadFromMemory(contents[i]), rc::kOk) << e.path;
                    EXPECT_EQ(mesh.header.userVersion2, version == 104 ? 83u : 100u);
                }
            }
            EXPECT_EQ(compressed, flags & 4 ? files.size() - 1 : 1);  // one is toggled
            // Without names, entries are named by their hashes.
            EXPECT_EQ(found, flags == 0 ? 0 : files.size());
            EXPECT_EQ(a.Entries()[0].path[0] == '#', flags == 0);
            // Readers on several threads at once see what one thread sees.
            std::vector<std::thread> threads;
            std::vector<std::vector<Bytes>> seen(4);
            for (auto& s : seen) threads.emplace_back([&a, &s] { s = ReadAll(a); });
            for (auto& t : threads) t.join();
            for (const auto& s : seen) EXPECT_EQ(s, contents);
        }
    }
    Archive a;
    std::string error;
    TempDir dir;
    EXPECT_EQ(a.Open(dir.Path("missing.bsa").string(), error), rc::kCannotOpen);
    EXPECT_NE(error.find("missing.bsa' for reading: it does not exist"), std::string::npos);
    EXPECT_EQ(a.Open(dir.Root().string(), error), rc::kCannotOpen);
    EXPECT_NE(error.find("not a regular file"), std::string::npos);
}

// Each cut of an archive is refused when opened, or opens with its last entries marked
// damaged and refused when read, with messages naming the archive and the entry.
TEST(ArchiveDamage, EveryTruncation) {
    std::vector<std::pair<std::string, Bytes>> archives;
    if (fs::exists(kBsaDir)) {
        for (const auto& entry : fs::directory_iterator(kBsaDir))
            archives.emplace_back(entry.path().filename().string(), ReadFileBytes(entry.path()));
    }
    for (uint32_t version : {104u, 105u})
        archives.emplace_back("packed", PackArchive({version, 0x107, 1, false}, SmallFiles()));
    for (const auto& [name, bytes] : archives) {
        if (!name.ends_with("bsa") && name != "packed") continue;
        for (size_t size = 0; size < bytes.size(); ++size) {
            Archive a;
            std::string error;
            const int opened = a.OpenMemory(bytes.data(), size, name, error);
            if (opened != rc::kOk) {
                EXPECT_EQ(opened, rc::kDamagedArchive) << size;
                EXPECT_TRUE(error.starts_with("'" + name + "' is damaged: ")) << error;
                continue;
            }
            size_t damaged = 0;
            for (size_t i = 0; i < a.Entries().size(); ++i) {
                Bytes out;
                if (a.Entries()[i].damage.empty()) {
                    EXPECT_EQ(a.Read(i, out, error), rc::kOk) << error;
                    continue;
                }
                ++damaged;
                EXPECT_EQ(a.Read(i, out, error), rc::kDamagedArchive);
                EXPECT_NE(error.find("'" + name + "', entry '" + a.Entries()[i].path + "'"),
                          std::string::npos)
                    << error;
            }
            EXPECT_GT(damaged, 0u) << name << " cut to " << size;
        }
    }
}

TEST(ArchiveDamage, BadRecordsAndStreams) {
    struct Case {
        const char* what;
        std::function<void(Bytes&, const PackedParts&)> damage;
        int opened, read;  // read: of the first entry
        const char* message;
    };
    const uint32_t kHuge = 0xFFFFFFF0;
    // The first entry is readme.txt in the root folder, its record and its data the first ones.
    const Case cases[] = {
        {"not an archive", [](Bytes& b, auto&) { std::memcpy(b.data(), "BTDX", 4); },
         rc::kUnsupportedArchive, 0, "is not a BSA archive (it is a BA2"},
        {"version 103", [](Bytes& b, auto&) { SetLe32(b, 4, 103); }, rc::kUnsupportedArchive, 0,
         "version 103"},
        {"Xbox", [](Bytes& b, auto&) { b[12] |= 0x40; }, rc::kUnsupportedArchive, 0, "Xbox 360"},
        {"records elsewhere", [](Bytes& b, auto&) { SetLe32(b, 8, 40); }, rc::kDamagedArchive, 0,
         "folder records start at byte 40"},
        {"folder count", [=](Bytes& b, auto&) { SetLe32(b, 16, kHuge); }, rc::kDamagedArchive, 0,
         "4294967280 folders"},
        {"file count", [=](Bytes& b, auto&) { SetLe32(b, 20, kHuge); }, rc::kDamagedArchive, 0,
         "4294967280 files"},
        {"file names length", [=](Bytes& b, auto&) { SetLe32(b, 28, kHuge); }, rc::kDamagedArchive,
         0, "and 4294967280 bytes) need records"},
        {"fewer files", [](Bytes& b, auto&) { SetLe32(b, 20, 2); }, rc::kDamagedArchive, 0,
         "record 1 brings the files to 3, more than the header's 2"},
        {"folder name length 0", [](Bytes& b, auto& p) { b[p.folderNames] = 0; },
         rc::kDamagedArchive, 0, "folder 0 has a name of length 0"},
        {"folder name length 1", [](Bytes& b, auto& p) { b[p.folderNames] = 1; },
         rc::kDamagedArchive, 0, "is not a text of its recorded length 1"},
        {"file name without end", [](Bytes& b, auto& p) { b[p.data - 1] = 'x'; },
         rc::kDamagedArchive, 0, "ends after 2 of 3 names"},
        {"offset past the end",
         [=](Bytes& b, auto& p) { SetLe32(b, p.fileRecords + 12, kHuge >> 1); }, rc::kOk,
         rc::kDamagedArchive, "runs past the end of the archive"},
        {"offset in the header", [](Bytes& b, auto& p) { SetLe32(b, p.fileRecords + 12, 4); },
         rc::kOk, rc::kDamagedArchive, "starts at byte 4, inside the archive's records"},
        {"size past the end", [](Bytes& b, auto& p) { SetLe32(b, p.fileRecords + 8, 0x3FFFFFFF); },
         rc::kOk, rc::kDamagedArchive, "runs past the end"},
        {"embedded name too long", [](Bytes& b, auto& p) { b[p.data] = 200; }, rc::kOk,
         rc::kDamagedArchive, "its embedded name (201 bytes) does not fit in its"},
        {"original size huge", [=](Bytes& b, auto& p) { SetLe32(b, p.data + 11, kHuge); }, rc::kOk,
         rc::kDamagedArchive, "records an original size of 4294967280 bytes"},
        {"original size larger", [](Bytes& b, auto& p) { SetLe32(b, p.data + 11, 3); }, rc::kOk,
         rc::kDamagedArchive, "holds 2 bytes, the entry's original size is 3"},
        {"original size smaller", [](Bytes& b, auto& p) { SetLe32(b, p.data + 11, 1); }, rc::kOk,
         rc::kDamagedArchive, "holds more than the entry's original size of 1 bytes"},
        {"stream header", [](Bytes& b, auto& p) { b[p.data + 15] ^= 0xFF; }, rc::kOk,
         rc::kDamagedArchive, "is not valid ("},
        {"stream cut",
         [](Bytes& b, auto& p) { SetLe32(b, p.fileRecords + 8, Le32(b, p.fileRecords + 8) - 6); },
         rc::kOk, rc::kDamagedArchive, "is cut short after"},
    };
    for (uint32_t version : {104u, 105u}) {
        PackedParts parts;
        const Bytes good = PackArchive({version, 0x107, 1, false}, SmallFiles(), &parts);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(version) + ": " + c.what);
            Bytes bytes = good;
            c.damage(bytes, parts);
            Archive a;
            std::string error;
            ASSERT_EQ(a.OpenMemory(bytes.data(), bytes.size(), "x.bsa", error), c.opened) << error;
            if (c.opened == rc::kOk) {
                ASSERT_EQ(a.Entries()[0].path, "readme.txt");
                Bytes out;
                EXPECT_EQ(a.Read(0, out, error), c.read);
                EXPECT_TRUE(error.starts_with("'x.bsa', entry 'readme.txt' is damaged: ")) << error;
                EXPECT_TRUE(out.empty());
                EXPECT_EQ(a.Read(2, out, error), rc::kOk) << error;  // the others still read
            }
            EXPECT_NE(error.find("x.bsa"), std::string::npos) << error;
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
        }
    }
}

TEST(ArchiveDamage, WrongHashesAndNameLengthsAreWarnings) {
    PackedParts parts;
    Bytes bytes = PackArchive({105, 0x107, 1, false}, SmallFiles(), &parts);
    bytes[36] ^= 1;                           // the first folder's hash
    bytes[parts.fileRecords] ^= 1;            // its first file's hash
    SetLe32(bytes, 24, Le32(bytes, 24) + 1);  // the folder names' length
    Archive a;
    std::string error;
    ASSERT_EQ(a.OpenMemory(bytes.data(), bytes.size(), "w.bsa", error), rc::kOk) << error;
    ASSERT_EQ(a.Warnings().size(), 3u);
    EXPECT_EQ(a.Warnings()[0], "'w.bsa': the folder names take 14 bytes, the header says 15");
    EXPECT_TRUE(a.Warnings()[1].starts_with("'w.bsa': folder '.' is stored with hash 0x"))
        << a.Warnings()[1];
    EXPECT_TRUE(a.Warnings()[2].starts_with("'w.bsa': file 'readme.txt' is stored with hash 0x"));
    EXPECT_EQ(ReadAll(a), (std::vector<Bytes>{SmallFiles()[2].contents, SmallFiles()[1].contents,
                                              SmallFiles()[0].contents}));
}
