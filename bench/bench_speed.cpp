// The figures the speed work is judged by, as medians of five runs: one texture (tile, view and
// 64 x 64 output) from seed 1 with the default settings, the heavy soft and heavy hard settings
// (Steps 2048, brush 128, Shift), each at 1 and 2 rasteriser threads, and loading the brush
// archive at start-up. Run the executable without arguments.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "archive/VornDb.h"
#include "archive/VornImages.h"
#include "bench/BenchArchive.h"
#include "engine/VornDef.h"
#include "engine/VornDevices.h"
#include "engine/soft/SoftRaster.h"
#include "gen/Generator.h"

namespace {

using namespace vorn;

using bench::ArchivePath;

TGenSettings HeavySettings(int brushType) {
    TGenSettings s;
    s.steps = 2048;
    s.brushSize = 3; // 128
    s.brushType = brushType;
    s.effect = 7; // Shift
    return s;
}

// One texture from seed 1 per iteration, so every iteration draws the same calls.
void Synthesis(benchmark::State& state, const TGenSettings& settings) {
    sd::SetRasterThreads(int(state.range(0)));
    TGenerator generator(settings);
    generator.ComponentsInit();
    if (generator.Startup(nullptr, ArchivePath()).failure != TStartupFailure::None) {
        state.SkipWithError("no archive or no device");
        return;
    }
    generator.TextureSize = 64;
    for (auto _ : state) {
        random::SetSeed(1);
        generator.FirstRender();
    }
    sd::SetRasterThreads(0);
}

// Opening the archive and loading its images into textures of an initialised device.
void ArchiveLoad(benchmark::State& state) {
    const std::string path = ArchivePath();
    for (auto _ : state) {
        TGenerator generator(TGenSettings{});
        generator.ComponentsInit();
        if (!generator.Device->Initialize()) {
            state.SkipWithError("no device");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        generator.Archive->SetFileName(path);
        if (!generator.Images->LoadFromVornDb(*generator.Archive)) {
            state.SkipWithError("archive not loaded");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

void Threads(benchmark::internal::Benchmark* b) {
    b->ArgName("threads")->Arg(1)->Arg(2);
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK_CAPTURE(Synthesis, Default, TGenSettings{})->Apply(Threads)->MinTime(1.0);
BENCHMARK_CAPTURE(Synthesis, Heavy, HeavySettings(1))->Apply(Threads)->Iterations(3);
BENCHMARK_CAPTURE(Synthesis, HeavyHard, HeavySettings(0))->Apply(Threads)->Iterations(3);
BENCHMARK(ArchiveLoad)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Iterations(10);

} // namespace
