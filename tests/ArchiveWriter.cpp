#include "ArchiveWriter.h"

#include <lz4frame.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "ArchiveNames.h"
#include "FormSwitch.h"
#include "ResultCodes.h"
#include "SampleFiles.h"

namespace {

// The writer serves the tests and the fuzzer's seeds alike, so it stops the program rather
// than report to a test framework.
void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "archive writer: %s\n", what);
    std::abort();
}

void Put(Bytes& out, uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<uint8_t>(value >> (8 * k)));
}

Bytes Compressed(uint32_t version, const Bytes& in) {
    Bytes out;
    if (version == 104) {
        uLongf n = compressBound(static_cast<uLong>(in.size()));
        out.resize(n);
        Require(compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), 9) == Z_OK,
                "zlib failed");
        out.resize(n);
    } else {
        out.resize(LZ4F_compressFrameBound(in.size(), nullptr));
        const size_t n = LZ4F_compressFrame(out.data(), out.size(), in.data(), in.size(), nullptr);
        Require(!LZ4F_isError(n), "LZ4 failed");
        out.resize(n);
    }
    return out;
}

struct Folder {
    std::string name;
    std::vector<std::pair<std::string, const PackedFile*>> files;  // by name hash
};

}  // namespace

Bytes PackArchive(const PackLayout& layout, const std::vector<PackedFile>& files,
                  PackedParts* parts) {
    std::map<uint64_t, Folder> folders;
    for (const PackedFile& f : files) {
        const size_t cut = f.path.rfind('\\');
        const std::string folder = cut == std::string::npos ? "." : f.path.substr(0, cut);
        Folder& entry = folders[ArchiveFolderHash(folder)];
        entry.name = folder;
        entry.files.emplace_back(f.path.substr(cut == std::string::npos ? 0 : cut + 1), &f);
    }
    uint32_t folderNames = 0, fileNames = 0;
    for (auto& [hash, folder] : folders) {
        std::sort(folder.files.begin(), folder.files.end(), [](const auto& a, const auto& b) {
            return ArchiveFileHash(a.first) < ArchiveFileHash(b.first);
        });
        folderNames += static_cast<uint32_t>(folder.name.size() + 1);
        for (const auto& file : folder.files)
            fileNames += static_cast<uint32_t>(file.first.size() + 1);
    }
    const bool withFolderNames = layout.flags & 0x1, withFileNames = layout.flags & 0x2;
    if (!withFolderNames) folderNames = 0;
    if (!withFileNames) fileNames = 0;
    Bytes out = {'B', 'S', 'A', 0};
    for (uint32_t v : {layout.version, 36u, layout.flags, static_cast<uint32_t>(folders.size()),
                       static_cast<uint32_t>(files.size()), folderNames, fileNames})
        Put(out, v, 4);
    Put(out, layout.contentFlags, 4);

    size_t block = out.size() + folders.size() * (layout.version == 105 ? 24 : 16);
    if (parts) parts->folderNames = block;
    for (const auto& [hash, folder] : folders) {
        Put(out, hash, 8);
        Put(out, folder.files.size(), layout.version == 105 ? 8 : 4);
        Put(out, block + fileNames, layout.version == 105 ? 8 : 4);
        block += (withFolderNames ? folder.name.size() + 2 : 0) + 16 * folder.files.size();
    }
    // Data first, so that the records know where each file's bytes went.
    const size_t dataStart = block + fileNames;
    Bytes data, records;
    std::map<std::pair<bool, Bytes>, std::pair<uint32_t, uint32_t>> written;
    for (const auto& [hash, folder] : folders) {
        if (withFolderNames) {
            records.push_back(static_cast<uint8_t>(folder.name.size() + 1));
            records.insert(records.end(), folder.name.begin(), folder.name.end());
            records.push_back(0);
        }
        for (const auto& [name, file] : folder.files) {
            const bool compressed = ((layout.flags & 0x4) != 0) != file->toggled;
            auto [at, fresh] = written.try_emplace({compressed, file->contents});
            if (fresh || !layout.shareIdentical) {
                const size_t start = data.size();
                if (layout.flags & 0x100) {
                    const std::string embedded =
                        folder.name == "." ? name : folder.name + "\\" + name;
                    data.push_back(static_cast<uint8_t>(embedded.size()));
                    data.insert(data.end(), embedded.begin(), embedded.end());
                }
                const Bytes payload =
                    compressed ? Compressed(layout.version, file->contents) : file->contents;
                if (compressed) Put(data, file->contents.size(), 4);
                data.insert(data.end(), payload.begin(), payload.end());
                at->second = {static_cast<uint32_t>(dataStart + start),
                              static_cast<uint32_t>(data.size() - start)};
            }
            Put(records, ArchiveFileHash(name), 8);
            Put(records, at->second.second | (file->toggled ? 0x40000000u : 0), 4);
            Put(records, at->second.first, 4);
        }
    }
    if (parts) {
        parts->fileRecords =
            parts->folderNames + (withFolderNames ? folders.begin()->second.name.size() + 2 : 0);
        parts->fileNames = block;
        parts->data = dataStart;
    }
    out.insert(out.end(), records.begin(), records.end());
    for (const auto& [hash, folder] : folders) {
        for (const auto& file : folder.files) {
            if (withFileNames)
                out.insert(out.end(), file.first.c_str(),
                           file.first.c_str() + file.first.size() + 1);
        }
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<PackedFile> MeshFiles(uint32_t version) {
    std::vector<PackedFile> files;
    for (auto [name, mesh] :
         {std::pair{"meshes\\actors\\character\\character assets\\femalebody_0.nif",
                    MakeLargeMesh(600, 12, 83)},
          std::pair{"meshes\\pellmar\\shaderlibrary.nif", MakeSampleLibrary()}}) {
        if (version == 105) (void)SwitchForm(mesh, 12, 100);
        std::string bytes;
        Require(mesh.SaveToMemory(bytes) == rc::kOk, "a mesh does not save");
        files.push_back({name, Bytes(bytes.begin(), bytes.end())});
    }
    return files;
}
