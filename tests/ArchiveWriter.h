// Packs files into BSA archives for the tests, in the layout the game's packers write:
// folders sorted by hash, files by hash within their folder, the data in record order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct PackedFile {
    std::string path;  // Windows-1252 bytes, "folder\name"; "name" alone lands in folder "."
    Bytes contents;
    bool toggled = false;  // compressed unless the archive is, and the other way round
};

struct PackLayout {
    uint32_t version = 105;
    // 0x1 folder names, 0x2 file names, 0x4 compressed by default, 0x100 embedded names.
    uint32_t flags = 0x3;
    uint16_t contentFlags = 0x1;
    bool shareIdentical = false;  // a file whose stored bytes repeat an earlier one's shares them
};

// Where the parts of a packed archive start, for tests that damage them.
struct PackedParts {
    size_t folderNames = 0;  // the first folder's name (its length byte)
    size_t fileRecords = 0;  // the first folder's first file record
    size_t fileNames = 0;
    size_t data = 0;
};

Bytes PackArchive(const PackLayout& layout, const std::vector<PackedFile>& files,
                  PackedParts* parts = nullptr);

// Generated meshes of the edition an archive version holds (12/83 in 104, 12/100 in 105)
// under meshes\..., for tests that run commands on meshes inside archives.
std::vector<PackedFile> MeshFiles(uint32_t version);
