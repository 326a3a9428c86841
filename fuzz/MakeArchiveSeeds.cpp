// Writes small archives of both versions and several layouts into a folder, as seeds for the
// archive fuzzer: make_archive_seeds DIR
#include <fstream>
#include <string>

#include "ArchiveWriter.h"
#include "NifFile.h"
#include "SampleFiles.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string mesh;
    if (MakeBodyMesh(true).SaveToMemory(mesh) != 0) return 1;
    const std::vector<PackedFile> files = {
        {"meshes\\caf\xE9\\body.nif", Bytes(mesh.begin(), mesh.end())},
        {"meshes\\caf\xE9\\a.txt", Bytes(200, 'a'), true},
        {"readme.txt", Bytes{'h', 'i'}},
        {"textures\\x.dds", Bytes{'h', 'i'}}};
    for (uint32_t version : {104u, 105u}) {
        for (uint32_t flags : {0x3u, 0x7u, 0x107u, 0x104u}) {
            const Bytes bytes = PackArchive({version, flags, 1, flags == 0x3}, files);
            std::ofstream out(std::string(argv[1]) + "/" + std::to_string(version) + "_" +
                                  std::to_string(flags) + ".bsa",
                              std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            if (!out) return 1;
        }
    }
    return 0;
}
