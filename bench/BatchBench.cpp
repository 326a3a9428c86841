// Whole-mod runs: lint and convert --to se over a folder of about 300 generated meshes shaped
// like armour (skinned, 2 to 4 shapes, 2,000 to 10,000 vertices, a few with collision), with
// one job and with two, as the command line runs them. Prints meshes per second.
//   pellmar_batch_bench [MESHES]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "ConvertCommands.h"
#include "LintCommands.h"
#include "Memory.h"
#include "ResultCodes.h"
#include "SampleFiles.h"

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<int()>& run) {
    const auto start = std::chrono::steady_clock::now();
    if (run() != 0) std::fprintf(stderr, "the run reported failures\n");
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    // As pellmar-cli runs.
    KeepFreedMemoryForReuse();
    const int meshes = argc > 1 ? std::atoi(argv[1]) : 300;
    const fs::path root = fs::temp_directory_path() / "pellmar-batch-bench";
    fs::remove_all(root);
    uint64_t bytes = 0;
    for (int i = 0; i < meshes; ++i) {
        const uint32_t shapes = 2 + i % 3;
        const uint32_t vertices = 2000 + static_cast<uint32_t>(i * 2713) % 8001;
        const fs::path path = root / "mod" / "meshes" / ("set" + std::to_string(i / 25)) /
                              ("armor" + std::to_string(i) + ".nif");
        fs::create_directories(path.parent_path());
        const NifFile mesh =
            MakeSkinnedMesh(vertices, 12, 83, (vertices + shapes - 1) / shapes, i % 10 == 0);
        if (mesh.Save(path.string()) != rc::kOk) return 1;
        bytes += fs::file_size(path);
    }
    std::printf("%d meshes, %.1f MB\n", meshes, bytes / 1e6);
    for (unsigned jobs : {1u, 2u}) {
        BatchOptions lint;
        lint.inputs = {(root / "mod").string()};
        lint.jobs = jobs;
        std::ostringstream out, err;
        const double l = Seconds([&] { return RunLint(lint, Severity::kNote, out, err); });
        ConvertOptions convert;
        convert.run.inputs = lint.inputs;
        convert.run.outputDir = (root / ("se" + std::to_string(jobs))).string();
        convert.run.jobs = jobs;
        convert.to = "se";
        const double c = Seconds([&] { return RunConvert(convert, out, err); });
        std::printf(
            "--jobs %u: lint %.0f meshes/s (%.2f s), convert --to se %.0f meshes/s (%.2f s)\n",
            jobs, meshes / l, l, meshes / c, c);
    }
    if (std::getenv("PELLMAR_KEEP") == nullptr) fs::remove_all(root);
    return 0;
}
