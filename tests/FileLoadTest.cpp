// Loading: which class reads each block, the footer's roots, and every way a malformed file is
// refused without touching memory beyond its bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "Conversions.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "Scene.h"
#include "TestSupport.h"

namespace {

// Where block i's body starts in the bytes of a loaded file.
size_t BodyOffset(const NifFile& f, uint32_t block) {
    NifWriter w;
    f.header.Put(w);
    size_t offset = w.Size();
    for (uint32_t i = 0; i < block; ++i) offset += f.header.blockSizes[i];
    return offset;
}

void Poke32(Bytes& bytes, size_t at, uint32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}

// The tiny body mesh with the given footer roots, as bytes.
Bytes WithRoots(std::vector<BlockRef> roots) {
    NifFile f = MakeBodyMesh(true);
    f.roots = std::move(roots);
    return SaveBytes(f);
}

}  // namespace

TEST(FileLoad, BlocksAreDescribedByTheirExactTypeName) {
    struct Case {
        const char* type;
        TypeId expected;
    };
    // Renaming the root's type entry also renames block 1, which shares it.
    for (const Case& c :
         {Case{"BSFadeNode", TypeId::BSFadeNode}, Case{"BSLeafAnimNode", TypeId::BSLeafAnimNode},
          Case{"ninode", TypeId::kUnlisted}, Case{"BSFutureNode", TypeId::kUnlisted}}) {
        SCOPED_TRACE(c.type);
        const Bytes bytes = RenameType(SaveBytes(MakeBodyMesh(true)), "NiNode", c.type);
        NifFile loaded = LoadBytes(bytes);
        EXPECT_EQ(loaded.blocks[0]->Type(), c.expected);
        EXPECT_EQ(loaded.blocks[1]->Type(), c.expected);
        EXPECT_EQ(loaded.TypeNameOf(0), c.type);
        EXPECT_EQ(loaded.OpaqueBlocks().size(), c.expected == TypeId::kUnlisted ? 3u : 0u);
        EXPECT_EQ(SaveBytes(loaded), bytes);
    }
    // Every block of the samples, properties and texture sets included, is described.
    EXPECT_TRUE(LoadBytes(SaveBytes(MakeSampleMesh())).OpaqueBlocks().empty());
    EXPECT_TRUE(LoadBytes(SaveBytes(MakeSampleLibrary())).OpaqueBlocks().empty());
}

TEST(FileLoad, ZeroBlocksAndTwoAlphaProperties) {
    NifFile empty;
    empty.header = MakeBodyMesh(true).header;
    empty.header.Reset();
    const Bytes bytes = SaveBytes(empty);
    NifFile loaded = LoadBytes(bytes);
    EXPECT_TRUE(loaded.blocks.empty());
    EXPECT_TRUE(loaded.roots.empty());
    EXPECT_EQ(Bytes(bytes.end() - 4, bytes.end()), (Bytes{0, 0, 0, 0}));

    NifFile two = MakeBodyMesh(true);
    two.AppendBlock(two.blocks[IndexOfType(two, "NiAlphaProperty")]->Clone());
    const Bytes twoBytes = SaveBytes(two);
    EXPECT_EQ(SaveBytes(LoadBytes(twoBytes)), twoBytes);
}

TEST(FileLoad, MissingPathsAndFoldersCannotBeOpened) {
    TempDir dir;
    NifFile f = LoadBytes(SaveBytes(MakeBodyMesh(true)));
    EXPECT_EQ(f.Load(dir.Path("missing.nif").string()), rc::kCannotOpen);
    EXPECT_TRUE(f.blocks.empty());
    EXPECT_TRUE(f.roots.empty());
    EXPECT_EQ(f.header.numBlocks, 0u);
    EXPECT_TRUE(f.header.blockTypes.empty());
    EXPECT_EQ(f.Load(dir.Root().string()), rc::kCannotOpen);
    EXPECT_FALSE(f.LastError().empty());
}

TEST(FileLoad, MalformedFilesAreRefusedWithTheirPlace) {
    const Bytes bytes = SaveBytes(MakeBodyMesh(true));
    const NifFile good = LoadBytes(bytes);
    const size_t root = BodyOffset(good, 0);
    const size_t footer = bytes.size() - 8;

    struct Case {
        const char* what;
        Bytes bytes;
        std::vector<std::string> mentions;
    };
    std::vector<Case> cases;
    auto cut = [&](size_t n) { return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(n)); };
    const std::string footerAt = "footer of a 11/34";
    const std::string offset = "offset " + std::to_string(footer);
    cases.push_back({"truncated header", cut(60), {"header", "offset"}});
    cases.push_back({"truncated body", cut(root + 10), {"block 0 (NiNode)", "11/34"}});
    cases.push_back({"no footer", cut(footer), {footerAt, offset}});
    cases.push_back({"half a footer", cut(footer + 4), {footerAt, offset}});
    cases.push_back({"root count without its root", cut(bytes.size() - 2), {footerAt, offset}});
    Bytes manyRoots = bytes;
    Poke32(manyRoots, footer, 18);
    manyRoots.insert(manyRoots.end(), 18 * 4, 0);
    cases.push_back({"more roots than blocks", manyRoots, {footerAt, offset, "lists 18 roots"}});
    Bytes badRoot = bytes;
    Poke32(badRoot, footer + 4, 99);
    cases.push_back({"root out of range", badRoot, {"names block 99 as a root"}});
    Bytes count = bytes;
    Poke32(count, root + 4 + 4 + 4 + 4 + 12 + 36 + 4 + 4 + 4, 0x10000000);  // numChildren
    cases.push_back({"child count beyond the data", count, {"block 0", "reference list count"}});
    Bytes type = bytes;
    {
        NifWriter w;
        NifBlockHeader h = good.header;
        h.blockTypeIndex[2] = h.numBlockTypes;
        h.Put(w);
        std::memcpy(type.data(), w.Buffer().data(), w.Size());
    }
    cases.push_back({"type index out of range", type, {"block 2", "type index"}});
    Bytes longer = bytes;
    {
        NifWriter w;
        NifBlockHeader h = good.header;
        h.blockSizes[0] += 4;
        h.Put(w);
        std::memcpy(longer.data(), w.Buffer().data(), w.Size());
        longer.insert(longer.begin() + static_cast<long>(root + good.header.blockSizes[0]), 4, 0);
    }
    cases.push_back({"body shorter than its size entry",
                     longer,
                     {"block 0", "bytes before its recorded size"}});
    // A size entry short of its body: the body reads on into the next one, which is refused
    // at the body, whether it comes first or after others read cleanly.
    for (uint32_t block : {0u, 2u}) {
        Bytes shorter = bytes;
        NifWriter w;
        NifBlockHeader h = good.header;
        h.blockSizes[block] -= 4;
        h.blockSizes[block + 1] += 4;
        h.Put(w);
        std::memcpy(shorter.data(), w.Buffer().data(), w.Size());
        const std::string name =
            "block " + std::to_string(block) + " (" + good.header.TypeNameOf(block) + ")";
        cases.push_back({"body longer than its size entry", shorter, {name, "11/34"}});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NifFile f;
        EXPECT_EQ(f.LoadFromMemory(c.bytes), rc::kMalformed);
        EXPECT_TRUE(f.blocks.empty());
        EXPECT_TRUE(f.roots.empty());
        EXPECT_TRUE(f.header.blockSizes.empty());
        for (const std::string& m : c.mentions)
            EXPECT_NE(f.LastError().find(m), std::string::npos) << f.LastError();
    }
}

// What follows the footer (real files carry up to hundreds of kilobytes there) is counted,
// reported and left out when saving, whether the file is read from bytes or from disk.
TEST(FileLoad, BytesAfterTheFooterLoadWithAWarning) {
    const Bytes bytes = SaveBytes(MakeBodyMesh(true));
    const TempDir dir;
    for (size_t extra : {size_t{3}, size_t{366} << 10}) {
        SCOPED_TRACE(extra);
        Bytes after = bytes;
        after.insert(after.end(), extra, 9);
        WriteFileBytes(dir.Path("after.nif"), after);
        NifFile fromBytes, fromFile;
        ASSERT_EQ(fromBytes.LoadFromMemory(after), rc::kOk) << fromBytes.LastError();
        ASSERT_EQ(fromFile.Load(dir.Path("after.nif").string()), rc::kOk) << fromFile.LastError();
        const NifFile copy = fromFile;
        for (const NifFile* f : {&std::as_const(fromBytes), &std::as_const(fromFile), &copy}) {
            EXPECT_EQ(f->TrailingBytes(), extra);
            ASSERT_EQ(f->Warnings().size(), 1u);
            EXPECT_NE(f->Warnings()[0].find(std::to_string(extra) + " bytes after the footer"),
                      std::string::npos)
                << f->Warnings()[0];
            EXPECT_NE(f->Warnings()[0].find("offset " + std::to_string(bytes.size())),
                      std::string::npos)
                << f->Warnings()[0];
            EXPECT_EQ(SaveBytes(*f), bytes);
        }
        // The next load starts afresh.
        ASSERT_EQ(fromFile.LoadFromMemory(bytes), rc::kOk);
        EXPECT_EQ(fromFile.TrailingBytes(), 0u);
        EXPECT_TRUE(fromFile.Warnings().empty());
    }
}

// Bodies larger than the piece of a file held in memory are read from the file as they go:
// the result, and any error on a file cut short inside them, is what reading the bytes in
// memory gives. The meshes take more than a megabyte, so that the file is read in pieces.
TEST(FileLoad, LargeBodiesLoadFromFilesAsFromBytes) {
    NifFile le = MakeLargeMesh(12000, 12, 83), se;
    ASSERT_EQ(PrepareConvert(le, kForm100, se).code, rc::kOk);
    const TempDir dir;
    for (const NifFile* mesh : {&le, &se}) {
        const Bytes bytes = SaveBytes(*mesh);
        ASSERT_GT(bytes.size(), size_t{1} << 20);
        const NifFile loaded = LoadBytes(bytes);
        uint32_t largest = 0;
        for (uint32_t size : loaded.header.blockSizes) largest = std::max(largest, size);
        ASSERT_GT(largest, 70000u) << "a body larger than a piece of the file";
        WriteFileBytes(dir.Path("large.nif"), bytes);
        NifFile fromFile;
        ASSERT_EQ(fromFile.Load(dir.Path("large.nif").string()), rc::kOk) << fromFile.LastError();
        EXPECT_EQ(SaveBytes(fromFile), bytes);
        for (size_t cut = bytes.size() / 7; cut < bytes.size(); cut += bytes.size() / 7) {
            SCOPED_TRACE(cut);
            const Bytes shorter(bytes.begin(), bytes.begin() + static_cast<long>(cut));
            WriteFileBytes(dir.Path("cut.nif"), shorter);
            NifFile a, b;
            EXPECT_EQ(a.Load(dir.Path("cut.nif").string()), rc::kMalformed);
            EXPECT_EQ(b.LoadFromMemory(shorter), rc::kMalformed);
            EXPECT_EQ(a.LastError(), b.LastError());
        }
    }
}

#ifndef _WIN32
// Files of a gigabyte and a half (sparse): a mesh of 2 KB followed by zeros loads without the
// zeros being read, and a file of zeros is refused at its first bytes. Reading either whole
// would take more than a gigabyte of memory.
TEST(FileLoad, LargeFilesAreReadNoFurtherThanTheirMesh) {
    const Bytes bytes = SaveBytes(MakeBodyMesh(true));
    const TempDir dir;
    const uintmax_t size = uintmax_t{3} << 29;
    WriteFileBytes(dir.Path("mesh.nif"), bytes);
    std::filesystem::resize_file(dir.Path("mesh.nif"), size);
    WriteFileBytes(dir.Path("zeros.nif"), {});
    std::filesystem::resize_file(dir.Path("zeros.nif"), size);
    NifFile f;
    ASSERT_EQ(f.Load(dir.Path("mesh.nif").string()), rc::kOk) << f.LastError();
    EXPECT_EQ(f.TrailingBytes(), size - bytes.size());
    EXPECT_EQ(SaveBytes(f), bytes);
    EXPECT_EQ(f.Load(dir.Path("zeros.nif").string()), rc::kMalformed);
    EXPECT_NE(f.LastError().find("not a NIF file"), std::string::npos) << f.LastError();
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 512 << 10) << "kilobytes at the peak";
}
#endif

TEST(FileLoad, StringReferencesPastTheTableLoadWithAWarning) {
    Bytes bytes = SaveBytes(MakeBodyMesh(true));
    const NifFile good = LoadBytes(bytes);
    Poke32(bytes, BodyOffset(good, IndexOfType(good, "NiTriShape")), 99);
    NifFile f = LoadBytes(bytes);
    ASSERT_EQ(f.Warnings().size(), 1u);
    EXPECT_NE(f.Warnings()[0].find("1 string references point past"), std::string::npos);
    EXPECT_EQ(f.NameOf(IndexOfType(f, "NiTriShape")), "");
    EXPECT_EQ(SaveBytes(f), bytes);
}

// A header longer than the first piece read from a file (a large string table) is read whole,
// in a file large enough (more than a megabyte) to be read in pieces.
TEST(FileLoad, LongHeadersLoadFromFilesAsFromBytes) {
    NifFile f = MakeLargeMesh(12000, 12, 83);
    for (int i = 0; i < 3000; ++i)
        (void)f.AddString("a long name to fill the table " + std::to_string(i));
    const Bytes bytes = SaveBytes(f);
    ASSERT_GT(bytes.size(), size_t{1} << 20);
    uint64_t bodies = 0;
    for (uint32_t size : LoadBytes(bytes).header.blockSizes) bodies += size;
    ASSERT_GT(bytes.size() - bodies, size_t{100000}) << "the header";
    const TempDir dir;
    WriteFileBytes(dir.Path("long.nif"), bytes);
    NifFile loaded;
    ASSERT_EQ(loaded.Load(dir.Path("long.nif").string()), rc::kOk) << loaded.LastError();
    EXPECT_EQ(SaveBytes(loaded), bytes);
}

TEST(FileLoad, FooterRootsAreKept) {
    for (const std::vector<BlockRef>& roots :
         {std::vector<BlockRef>{1}, std::vector<BlockRef>{0, 3, 1}, std::vector<BlockRef>{}}) {
        const Bytes bytes = WithRoots(roots);
        NifFile f = LoadBytes(bytes);
        EXPECT_EQ(f.roots, roots);
        EXPECT_EQ(SaveBytes(f), bytes);
    }
    // Through a conversion to the game form: the root is still the body node, and block 0,
    // a single-child node that is no root, stays.
    NifFile input = LoadBytes(WithRoots({1})), output;
    ASSERT_EQ(PrepareClean(input, MakeSampleLibrary(), {}, AlphaSettings{}, output).code, rc::kOk);
    ASSERT_EQ(output.roots.size(), 1u);
    EXPECT_EQ(output.NameOf(static_cast<uint32_t>(output.roots[0])), "FemaleBody");
    EXPECT_EQ(output.NameOf(0), "Scene Root");
    EXPECT_EQ(LoadBytes(SaveBytes(output)).roots, output.roots);
}

TEST(FileLoad, DeletingARootRepairsTheRoots) {
    NifFile f = LoadBytes(WithRoots({0, 1, 3}));
    const std::string third = f.NameOf(3);
    f.DeleteBlock(1);
    EXPECT_EQ(f.roots, (std::vector<BlockRef>{0, 2}));
    EXPECT_EQ(f.NameOf(2), third);
    f.DeleteBlock(0);
    EXPECT_EQ(f.roots, (std::vector<BlockRef>{1}));
    EXPECT_EQ(f.CheckConsistency(), "");
    EXPECT_EQ(LoadBytes(SaveBytes(f)).roots, f.roots);
}
