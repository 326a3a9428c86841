#include <cstdlib>
// Throughput of loading and saving against a plain file-to-file copy of the same bytes, and
// the cost of the editing operations.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Conversions.h"
#include "FileIO.h"
#include "NifFile.h"
#include "ResultCodes.h"
#include "SampleFiles.h"

namespace fs = std::filesystem;

namespace {

fs::path BenchDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / "pellmar-bench";
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// The scene of 2,000 blocks with collision and controllers, written once.
const fs::path& CollisionScenePath() {
    static const fs::path path = [] {
        fs::path p = BenchDir() / "collision.nif";
        if (MakeCollisionScene(2000).Save(p.string()) != rc::kOk) std::abort();
        return p;
    }();
    return path;
}

// The large mesh, written once.
const fs::path& LargeMeshPath() {
    static const fs::path path = [] {
        fs::path p = BenchDir() / "large.nif";
        if (MakeLargeMesh(60000, 11, 34).Save(p.string()) != rc::kOk) std::abort();
        return p;
    }();
    return path;
}

// The large mesh in the game form (12/83), written once.
const fs::path& LargeGameMeshPath() {
    static const fs::path path = [] {
        fs::path p = BenchDir() / "large-le.nif";
        if (MakeLargeMesh(60000, 12, 83).Save(p.string()) != rc::kOk) std::abort();
        return p;
    }();
    return path;
}

int64_t FileSize(const fs::path& p) {
    return static_cast<int64_t>(fs::file_size(p));
}

void Copy(benchmark::State& state, const fs::path& in) {
    const fs::path out = BenchDir() / "copy.bin";
    for (auto _ : state) {
        std::vector<uint8_t> bytes;
        std::string error;
        if (ReadWholeFile(in.string(), bytes, error) != 0) state.SkipWithError(error.c_str());
        std::FILE* f = std::fopen(out.string().c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * FileSize(in));
}

void Load(benchmark::State& state, const fs::path& in) {
    for (auto _ : state) {
        NifFile f;
        if (f.Load(in.string()) != rc::kOk) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(f.blocks.size());
    }
    state.SetBytesProcessed(state.iterations() * FileSize(in));
}

void Save(benchmark::State& state, const fs::path& in) {
    NifFile f;
    if (f.Load(in.string()) != rc::kOk) std::abort();
    const fs::path out = BenchDir() / "saved.nif";
    for (auto _ : state) {
        if (f.Save(out.string()) != rc::kOk) state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() * FileSize(in));
}

void LoadSave(benchmark::State& state, const fs::path& in) {
    const fs::path out = BenchDir() / "saved.nif";
    for (auto _ : state) {
        NifFile f;
        if (f.Load(in.string()) != rc::kOk || f.Save(out.string()) != rc::kOk)
            state.SkipWithError("failed");
    }
    state.SetBytesProcessed(state.iterations() * FileSize(in));
}

void BM_DeleteHalfOf2000Blocks(benchmark::State& state) {
    const NifFile start = MakeManyShapes(1000);
    for (auto _ : state) {
        state.PauseTiming();
        NifFile f = start;
        state.ResumeTiming();
        f.DeleteBlocksOfType("NiTriShapeData");
        benchmark::DoNotOptimize(f.blocks.size());
    }
}
BENCHMARK(BM_DeleteHalfOf2000Blocks)->Unit(benchmark::kMillisecond);

void BM_SetUserVersionsLargeMesh(benchmark::State& state) {
    NifFile f;
    if (f.Load(LargeMeshPath().string()) != rc::kOk) std::abort();
    bool game = false;
    for (auto _ : state) {
        game = !game;
        f.SetUserVersions(game ? 12 : 11, game ? 83 : 34);
    }
}
BENCHMARK(BM_SetUserVersionsLargeMesh)->Unit(benchmark::kMicrosecond);

void BM_AssignShaderLargeMesh(benchmark::State& state) {
    NifFile start;
    if (start.Load(LargeMeshPath().string()) != rc::kOk) std::abort();
    start.SetUserVersions(12, 83);
    const NifFile library = MakeSampleLibrary();
    for (auto _ : state) {
        state.PauseTiming();
        NifFile f = start;
        state.ResumeTiming();
        for (const char* shape : {"Shape0", "Shape1"})
            (void)f.AssignShader(shape, "SkinBody", library, true);
    }
}
BENCHMARK(BM_AssignShaderLargeMesh)->Unit(benchmark::kMicrosecond);

// Clean of a 1,001-block mesh: every shape gets a shader, texture set and alpha property.
void BM_CleanThousandBlocks(benchmark::State& state) {
    const NifFile input = MakeManyShapes(500);
    const NifFile library = MakeSampleLibrary();
    std::vector<std::string> shapes;
    input.GetShapeNames(shapes);
    std::vector<AssignmentRow> rows;
    for (const std::string& shape : shapes) rows.push_back({shape, "Hair (A)", "yes"});
    for (auto _ : state) {
        NifFile output;
        (void)PrepareClean(input, library, rows, AlphaSettings{}, output);
        std::string bytes;
        if (output.SaveToMemory(bytes) != rc::kOk) std::abort();
        benchmark::DoNotOptimize(bytes.size());
    }
}
BENCHMARK(BM_CleanThousandBlocks)->Unit(benchmark::kMillisecond);

// Load, conversion to the Special Edition's form and save of the large mesh, as
// `convert --to se` runs it; beside LoadSave/large_mesh_le.
void BM_ConvertToSELargeMesh(benchmark::State& state) {
    const fs::path out = BenchDir() / "converted.nif";
    for (auto _ : state) {
        NifFile in, converted;
        if (in.Load(LargeGameMeshPath().string()) != rc::kOk ||
            PrepareConvert(in, kForm100, converted).code != rc::kOk ||
            converted.Save(out.string()) != rc::kOk)
            state.SkipWithError("failed");
    }
    state.SetBytesProcessed(state.iterations() * FileSize(LargeGameMeshPath()));
}
BENCHMARK(BM_ConvertToSELargeMesh)->Unit(benchmark::kMillisecond);

void RegisterFile(const std::string& name, const fs::path& path) {
    benchmark::RegisterBenchmark(("Copy/" + name).c_str(), Copy, path);
    benchmark::RegisterBenchmark(("Load/" + name).c_str(), Load, path);
    benchmark::RegisterBenchmark(("Save/" + name).c_str(), Save, path);
    benchmark::RegisterBenchmark(("LoadSave/" + name).c_str(), LoadSave, path);
}

}  // namespace

// Seconds per run of fn, over runs lasting at least 0.2 s in all.
template <class F>
double SecondsPerRun(F fn) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    int runs = 0;
    do {
        fn();
        ++runs;
    } while (Clock::now() - start < std::chrono::milliseconds(200));
    return std::chrono::duration<double>(Clock::now() - start).count() / runs;
}

// Load plus save against an in-process copy of the same bytes: the speed ratio of each file.
void PrintRatios(const std::vector<std::pair<std::string, fs::path>>& files) {
    const std::string out = (BenchDir() / "ratio.nif").string();
    for (const auto& [name, path] : files) {
        const double copy = SecondsPerRun([&] {
            std::vector<uint8_t> bytes;
            std::string error;
            if (ReadWholeFile(path.string(), bytes, error) != rc::kOk) std::abort();
            std::FILE* f = std::fopen(out.c_str(), "wb");
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        });
        const double loadSave = SecondsPerRun([&] {
            NifFile f;
            if (f.Load(path.string()) != rc::kOk || f.Save(out) != rc::kOk) std::abort();
        });
        std::printf("load+save speed / copy speed, %s: %.2f\n", name.c_str(), copy / loadSave);
    }
}

int main(int argc, char** argv) {
    std::vector<std::pair<std::string, fs::path>> files = {
        {"large_mesh", LargeMeshPath()},
        {"large_mesh_le", LargeGameMeshPath()},
        {"collision_scene_2000_blocks", CollisionScenePath()}};
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(PELLMAR_CORPUS_DIR, ec)) {
        if (entry.path().extension() == ".nif")
            files.emplace_back(entry.path().filename().string(), entry.path());
    }
    for (const auto& [name, path] : files) RegisterFile(name, path);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    PrintRatios(files);
    benchmark::Shutdown();
    fs::remove_all(BenchDir(), ec);
    return 0;
}
