// Writes the sample files into a folder: make_samples OUTDIR
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ResultCodes.h"
#include "SampleFiles.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTDIR\n");
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const NifFile mesh = MakeSampleMesh();
    const NifFile library = MakeSampleLibrary();
    if (mesh.Save((dir / kSampleMeshName).string()) != rc::kOk ||
        library.Save((dir / kSampleLibraryName).string()) != rc::kOk) {
        std::fprintf(stderr, "make_samples: %s%s\n", mesh.LastError().c_str(),
                     library.LastError().c_str());
        return 1;
    }
    std::string error;
    if (WriteFileAtomically((dir / kSampleConfigName).string(), SampleConfigXml(), error) !=
        rc::kOk) {
        std::fprintf(stderr, "make_samples: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
