// Throughput of loading and saving against a plain in-process copy of the same bytes, and the
// cost of the editing operations.
//
// `pellmar_bench make-mesh OUT VERTICES [blender|le|se]` writes a generated skinned mesh of
// about that many vertices (about 114 bytes each) instead, for measuring memory by hand.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Conversions.h"
#include "FileIO.h"
#include "Memory.h"
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

// A generated mesh in the form given: 11/34, 12/83, or the Special Edition's 12/100
// (converted from 12/83 as `convert --to se` does).
NifFile GeneratedMesh(uint32_t vertices, const std::string& form) {
    if (form == "blender") return MakeLargeMesh(vertices, 11, 34);
    NifFile le = MakeLargeMesh(vertices, 12, 83);
    if (form == "le") return le;
    NifFile se;
    if (PrepareConvert(std::move(le), kForm100, se).code != rc::kOk) std::abort();
    return se;
}

fs::path Written(const std::string& name, const NifFile& f) {
    const fs::path p = BenchDir() / (name + ".nif");
    if (f.Save(p.string()) != rc::kOk) std::abort();
    return p;
}

// The large mesh (60,000 vertices in two shapes) in the Blender and in the game form, and
// the scene of 2,000 blocks with collision and controllers, written once.
const fs::path& LargeMeshPath() {
    static const fs::path p = Written("large", GeneratedMesh(60000, "blender"));
    return p;
}
const fs::path& LargeGameMeshPath() {
    static const fs::path p = Written("large-le", GeneratedMesh(60000, "le"));
    return p;
}
const fs::path& CollisionScenePath() {
    static const fs::path p = Written("collision", MakeCollisionScene(2000));
    return p;
}

// Generated files of the sizes real meshes have (2 KB to 4 MB) in the three forms.
std::vector<fs::path> GeneratedMix() {
    struct Kind {
        const char* name;
        uint32_t vertices;  // 0: a fixed sample
        const char* form;
    };
    static const Kind kKinds[] = {
        {"mix-body-2k-blender", 0, "blender"}, {"mix-scene-20k-le", 0, "le"},
        {"mix-mesh-20k-se", 170, "se"},        {"mix-mesh-200k-blender", 1700, "blender"},
        {"mix-mesh-200k-le", 1700, "le"},      {"mix-mesh-1m-se", 9000, "se"},
        {"mix-mesh-1m-le", 9000, "le"},        {"mix-mesh-4m-le", 35000, "le"},
        {"mix-mesh-4m-se", 35000, "se"},
    };
    std::vector<fs::path> paths;
    for (const Kind& s : kKinds) {
        if (s.vertices != 0) {
            paths.push_back(Written(s.name, GeneratedMesh(s.vertices, s.form)));
        } else if (std::string(s.form) == "blender") {
            paths.push_back(Written(s.name, MakeBodyMesh(true)));
        } else {
            paths.push_back(Written(s.name, MakeCollisionScene(250)));
        }
    }
    return paths;
}

// The shared real files, when present.
std::vector<fs::path> CorpusFiles() {
    std::vector<fs::path> paths;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(PELLMAR_CORPUS_DIR, ec)) {
        if (entry.path().extension() == ".nif") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

int64_t FileSize(const fs::path& p) {
    return static_cast<int64_t>(fs::file_size(p));
}

// Reads the file into memory and writes it to another file, in this process.
void CopyFile(const fs::path& in, const fs::path& out) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (ReadWholeFile(in.string(), bytes, error) != rc::kOk) std::abort();
    std::FILE* f = std::fopen(out.string().c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
}

void LoadAndSave(const fs::path& in, const fs::path& out) {
    NifFile f;
    if (f.Load(in.string()) != rc::kOk || f.Save(out.string()) != rc::kOk) std::abort();
}

// Wall-clock and this thread's processor time (user and system), in seconds.
struct Clock {
    double wall, cpu;
    static Clock Now() {
        timespec w, c;
        clock_gettime(CLOCK_MONOTONIC, &w);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c);
        return {w.tv_sec + w.tv_nsec * 1e-9, c.tv_sec + c.tv_nsec * 1e-9};
    }
    Clock operator-(const Clock& o) const { return {wall - o.wall, cpu - o.cpu}; }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Reads the file into memory and saves the same bytes as Pellmar saves a file: a new file in
// the target's folder, then renamed over the target.
void CopyAtomically(const fs::path& in, const fs::path& out) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (ReadWholeFile(in.string(), bytes, error) != rc::kOk) std::abort();
    const auto write = [&](OutputFile& file) {
        return file.Write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    if (WriteFileAtomically(out.string(), write, error) != rc::kOk) std::abort();
}

// Load plus save of a set of files against the copy of the same files, taken in turns within
// each iteration so that both meet the same machine. The counters give the speed of load plus
// save divided by the copy's, from the medians of processor time (`ratio`, what other work on
// the machine changes least) and of wall-clock time (`ratio_wall`), and load plus save's speed.
// With `save` CopyAtomically, the same for the copy saved as Pellmar saves: the most load plus
// save could reach on this file system while it keeps its atomic save.
void VersusCopy(benchmark::State& state, const std::vector<fs::path>& files,
                void (*save)(const fs::path&, const fs::path&)) {
    int64_t bytes = 0;
    for (const fs::path& f : files) bytes += FileSize(f);
    std::vector<double> copyWall, copyCpu, nifWall, nifCpu;
    bool copyFirst = true;
    for (auto _ : state) {
        Clock copy{}, nif{};
        for (int turn = 0; turn < 2; ++turn) {
            const bool copying = (turn == 0) == copyFirst;
            const Clock start = Clock::Now();
            for (size_t i = 0; i < files.size(); ++i) {
                const fs::path out = BenchDir() / ("out-" + std::to_string(i));
                if (copying) {
                    CopyFile(files[i], out.string() + ".copy");
                } else {
                    save(files[i], out.string() + ".nif");
                }
            }
            (copying ? copy : nif) = Clock::Now() - start;
        }
        copyFirst = !copyFirst;
        copyWall.push_back(copy.wall);
        copyCpu.push_back(copy.cpu);
        nifWall.push_back(nif.wall);
        nifCpu.push_back(nif.cpu);
    }
    state.counters["ratio"] = Median(copyCpu) / Median(nifCpu);
    state.counters["ratio_wall"] = Median(copyWall) / Median(nifWall);
    state.counters["MB/s"] = static_cast<double>(bytes) / 1e6 / Median(nifCpu);
    state.counters["copy_MB/s"] = static_cast<double>(bytes) / 1e6 / Median(copyCpu);
}

void Copy(benchmark::State& state, const fs::path& in) {
    const fs::path out = BenchDir() / "copy.bin";
    for (auto _ : state) CopyFile(in, out);
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

// The format's own work, without the files: load from bytes in memory, save to memory.
void LoadInMemory(benchmark::State& state, const fs::path& in) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (ReadWholeFile(in.string(), bytes, error) != rc::kOk) std::abort();
    for (auto _ : state) {
        NifFile f;
        if (f.LoadFromMemory(bytes) != rc::kOk) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(f.blocks.size());
    }
    state.SetBytesProcessed(state.iterations() * FileSize(in));
}

void SaveInMemory(benchmark::State& state, const fs::path& in) {
    NifFile f;
    if (f.Load(in.string()) != rc::kOk) std::abort();
    std::string bytes;
    for (auto _ : state) {
        if (f.SaveToMemory(bytes) != rc::kOk) state.SkipWithError("save failed");
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * FileSize(in));
}

void LoadSave(benchmark::State& state, const fs::path& in) {
    const fs::path out = BenchDir() / "saved.nif";
    for (auto _ : state) LoadAndSave(in, out);
    state.SetBytesProcessed(state.iterations() * FileSize(in));
}

// The copies are made, and the edited files freed, outside the timing.
void BM_DeleteHalfOf2000Blocks(benchmark::State& state) {
    const NifFile start = MakeManyShapes(1000);
    NifFile f;
    for (auto _ : state) {
        state.PauseTiming();
        f = start;
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
    NifFile f;
    for (auto _ : state) {
        state.PauseTiming();
        f = start;
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
    benchmark::RegisterBenchmark(("LoadInMemory/" + name).c_str(), LoadInMemory, path);
    benchmark::RegisterBenchmark(("SaveInMemory/" + name).c_str(), SaveInMemory, path);
}

// VersusCopy/NAME, and AtomicVersusCopy/NAME for the copy saved atomically.
void RegisterVersusCopy(const std::string& name, const std::vector<fs::path>& files) {
    benchmark::RegisterBenchmark(("VersusCopy/" + name).c_str(), VersusCopy, files, LoadAndSave)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("AtomicVersusCopy/" + name).c_str(), VersusCopy, files,
                                 CopyAtomically)
        ->Unit(benchmark::kMillisecond);
}

int MakeMesh(int argc, char** argv) {
    const std::string form = argc > 4 ? argv[4] : "le";
    const long vertices = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 0;
    if (argc < 4 || vertices <= 0 || (form != "blender" && form != "le" && form != "se")) {
        std::fprintf(stderr, "usage: pellmar_bench make-mesh OUT VERTICES [blender|le|se]\n");
        return 2;
    }
    const NifFile f = GeneratedMesh(static_cast<uint32_t>(vertices), form);
    if (f.Save(argv[2]) != rc::kOk) {
        std::fprintf(stderr, "make-mesh: %s\n", f.LastError().c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // As pellmar-cli runs.
    KeepFreedMemoryForReuse();
    if (argc > 1 && std::strcmp(argv[1], "make-mesh") == 0) return MakeMesh(argc, argv);
    const std::vector<std::pair<std::string, fs::path>> files = {
        {"large_mesh", LargeMeshPath()},
        {"large_mesh_le", LargeGameMeshPath()},
        {"collision_scene_2000_blocks", CollisionScenePath()}};
    for (const auto& [name, path] : files) RegisterFile(name, path);
    for (const auto& [name, path] : files) RegisterVersusCopy(name, {path});
    // Meshes of real sizes, together: the generated ones and the shared real files.
    const std::vector<fs::path> generated = GeneratedMix(), corpus = CorpusFiles();
    std::vector<fs::path> mix = generated;
    mix.insert(mix.end(), corpus.begin(), corpus.end());
    RegisterVersusCopy("mix_generated", generated);
    if (!corpus.empty()) {
        RegisterVersusCopy("mix_real", corpus);
        RegisterVersusCopy("mix_all", mix);
    }
    for (const fs::path& p : mix) RegisterVersusCopy(p.stem().string(), {p});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(BenchDir(), ec);
    return 0;
}
