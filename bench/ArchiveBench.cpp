// Listing and reading every entry of a generated archive of about 100 MB of meshes, in the
// three ways archives store them (zlib, LZ4 frames, uncompressed), against reading the same
// files unpacked. The files are made once, in pellmar-archive-bench in the temporary folder.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "Archive.h"
#include "ArchiveWriter.h"
#include "FileIO.h"
#include "LintCommands.h"
#include "NifFile.h"
#include "ResultCodes.h"
#include "SampleFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMeshes = 100;

struct Kind {
    const char* file;
    PackLayout layout;
};
const Kind kKinds[] = {{"zlib_104.bsa", {104, 0x7, 1, false}},
                       {"lz4_105.bsa", {105, 0x107, 1, false}},
                       {"none_105.bsa", {105, 0x3, 1, false}}};

fs::path Dir() {
    return fs::temp_directory_path() / "pellmar-archive-bench";
}

std::string MeshPath(int i) {
    return "meshes\\bench\\mesh_" + std::to_string(i) + ".nif";
}

void Write(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Meshes of 2,500 to 15,400 vertices (about 0.3 to 2 MB each; 100 MB in all), unpacked and packed.
void MakeFiles() {
    if (fs::exists(Dir() / "complete")) return;
    std::vector<PackedFile> files;
    size_t total = 0;
    for (int i = 0; i < kMeshes; ++i) {
        std::string bytes;
        if (MakeLargeMesh(2500 + 130 * static_cast<uint32_t>(i), 12, 83).SaveToMemory(bytes) !=
            rc::kOk)
            std::abort();
        files.push_back({MeshPath(i), Bytes(bytes.begin(), bytes.end())});
        total += bytes.size();
        Write(Dir() / "unpacked" / "meshes" / "bench" / ("mesh_" + std::to_string(i) + ".nif"),
              files.back().contents);
    }
    for (const Kind& kind : kKinds) Write(Dir() / kind.file, PackArchive(kind.layout, files));
    std::printf("%d meshes, %zu bytes, in %s\n", kMeshes, total, Dir().string().c_str());
    std::ofstream(Dir() / "complete") << total;
}

void BM_ArchiveList(benchmark::State& state) {
    const std::string path = (Dir() / kKinds[state.range(0)].file).string();
    for (auto _ : state) {
        Archive archive;
        std::string error;
        if (archive.Open(path, error) != rc::kOk) state.SkipWithError(error.c_str());
        uint64_t sizes = 0;
        for (const ArchiveEntry& e : archive.Entries()) sizes += e.originalSize + e.path.size();
        benchmark::DoNotOptimize(sizes);
    }
    state.SetLabel(kKinds[state.range(0)].file);
}

// Every entry read and decompressed, on state.range(1) threads sharing one open archive.
void BM_ArchiveReadAll(benchmark::State& state) {
    const std::string path = (Dir() / kKinds[state.range(0)].file).string();
    const auto threads = static_cast<size_t>(state.range(1));
    uint64_t bytes = 0;
    for (auto _ : state) {
        Archive archive;
        std::string openError;
        if (archive.Open(path, openError) != rc::kOk) state.SkipWithError(openError.c_str());
        std::vector<uint64_t> read(threads);
        std::vector<std::thread> workers;
        for (size_t t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                std::vector<uint8_t> contents;
                std::string error;
                for (size_t i = t; i < archive.Entries().size(); i += threads) {
                    if (archive.Read(i, contents, error) != rc::kOk) std::abort();
                    read[t] += contents.size();
                }
            });
        }
        for (auto& w : workers) w.join();
        for (uint64_t n : read) bytes += n;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.SetLabel(kKinds[state.range(0)].file);
}

void BM_UnpackedReadAll(benchmark::State& state) {
    uint64_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> contents;
        std::string error;
        for (int i = 0; i < kMeshes; ++i) {
            const fs::path p =
                Dir() / "unpacked" / "meshes" / "bench" / ("mesh_" + std::to_string(i) + ".nif");
            if (ReadWholeFile(p.string(), contents, error) != rc::kOk) std::abort();
            bytes += contents.size();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// lint of every mesh inside the archive, as `pellmar-cli lint Mod.bsa --jobs 1` runs it, against
// lint of the same meshes unpacked.
void LintRun(benchmark::State& state, const fs::path& input) {
    for (auto _ : state) {
        BatchOptions options;
        options.inputs = {input.string()};
        options.jobs = 1;
        std::ostringstream out, err;
        if (RunLint(options, Severity::kNote, out, err) != 0) state.SkipWithError("lint failed");
    }
}
void BM_LintArchive(benchmark::State& state) {
    LintRun(state, Dir() / kKinds[state.range(0)].file);
    state.SetLabel(kKinds[state.range(0)].file);
}
void BM_LintUnpacked(benchmark::State& state) {
    LintRun(state, Dir() / "unpacked");
}
BENCHMARK(BM_LintArchive)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LintUnpacked)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(BM_ArchiveList)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveReadAll)
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_UnpackedReadAll)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    MakeFiles();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
