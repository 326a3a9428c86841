// The cost of the content check every conversion makes: the conversion of a large skinned
// mesh to the Special Edition's form with and without it, and the check alone.
#include <benchmark/benchmark.h>

#include "Conversions.h"
#include "FormSwitch.h"
#include "MeshCompare.h"
#include "ResultCodes.h"
#include "SampleFiles.h"

namespace {

const NifFile& LargeGameMesh() {
    static const NifFile mesh = MakeLargeMesh(60000, kGameUserVersion, kGameUserVersion2);
    return mesh;
}

// The form switch alone, on a copy: what the conversion does besides its checks.
void BM_ConvertToSEWithoutCheck(benchmark::State& state) {
    for (auto _ : state) {
        NifFile converted = LargeGameMesh();
        SwitchForm(converted, kGameUserVersion, kSEUserVersion2);
        benchmark::DoNotOptimize(converted.blocks.size());
    }
}
BENCHMARK(BM_ConvertToSEWithoutCheck)->Unit(benchmark::kMillisecond);

// The whole conversion: the consistency check of the input, the switch and the content check.
void BM_ConvertToSEWithCheck(benchmark::State& state) {
    for (auto _ : state) {
        NifFile converted;
        if (PrepareConvert(LargeGameMesh(), kForm100, converted).code != rc::kOk)
            state.SkipWithError("refused");
        benchmark::DoNotOptimize(converted.blocks.size());
    }
}
BENCHMARK(BM_ConvertToSEWithCheck)->Unit(benchmark::kMillisecond);

// What the command line does: the conversion in the loaded file itself, checked shape by shape.
void BM_ConvertToSEInPlace(benchmark::State& state) {
    for (auto _ : state) {
        NifFile converted = LargeGameMesh();
        if (ConvertInPlace(converted, kForm100).code != rc::kOk) state.SkipWithError("refused");
        benchmark::DoNotOptimize(converted.blocks.size());
    }
}
BENCHMARK(BM_ConvertToSEInPlace)->Unit(benchmark::kMillisecond);

void BM_ContentCheckAlone(benchmark::State& state) {
    NifFile converted;
    if (PrepareConvert(LargeGameMesh(), kForm100, converted).code != rc::kOk) std::abort();
    for (auto _ : state)
        benchmark::DoNotOptimize(ContentProblems(LargeGameMesh(), converted, {}).size());
}
BENCHMARK(BM_ContentCheckAlone)->Unit(benchmark::kMillisecond);

}  // namespace
