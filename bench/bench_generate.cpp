// The generator's cost: one texture (tile synthesis, view and output rendering) with the default
// settings and with a heavy one, the walk alone without drawing, and a texture with PNG export.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "bench/BenchArchive.h"
#include "engine/VornDef.h"
#include "engine/VornTextures.h"
#include "export/TileExport.h"
#include "gen/Generator.h"
#include "gen/TileSynthesis.h"

namespace {

using namespace vorn;

using bench::ArchivePath;

TGenSettings Heavy() {
    TGenSettings s;
    s.steps = 2048;
    s.brushSize = 3; // 128
    s.brushType = 0; // Hard
    s.effect = 7;    // Shift
    return s;
}

// A started generator; skips the benchmark when the archive or the device is missing.
std::unique_ptr<TGenerator> Started(benchmark::State& state, const TGenSettings& settings, int size) {
    auto generator = std::make_unique<TGenerator>(settings);
    generator->ComponentsInit();
    if (generator->Startup(nullptr, ArchivePath()).failure != TStartupFailure::None) {
        state.SkipWithError("no archive or no device");
        return nullptr;
    }
    generator->TextureSize = size;
    random::SetSeed(1);
    return generator;
}

void Generate(benchmark::State& state, const TGenSettings& settings) {
    const auto generator = Started(state, settings, 256);
    if (!generator) return;
    for (auto _ : state) generator->Generate();
}

void GenerateAndExportPng(benchmark::State& state, const TGenSettings& settings) {
    const auto generator = Started(state, settings, 1024);
    if (!generator) return;
    const std::string file =
        (std::filesystem::temp_directory_path() / ("pallimor-bench-" + std::to_string(::getpid()) + ".png"))
            .string();
    for (auto _ : state) {
        generator->Generate();
        const TExportResult result =
            TileExport(*generator->Textures, TGenerator::GetIndex(1024), 1024, file, 95);
        if (!result.ok) state.SkipWithError(result.error.c_str());
    }
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

// The walk and its random draws without any drawing.
class TNoPainter final : public TTilePainter {
public:
    void FillGradientRect(const TIntRect&, const TColorQuad&, TBlendEffect) override {}
    void FillSolidRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, TCanvasColor,
                       TBlendEffect) override {}
    void DrawRotatedScaled(std::int32_t, TCanvasColor color, double x, double, double, double, std::int32_t,
                           TBlendEffect) override {
        benchmark::DoNotOptimize(color);
        benchmark::DoNotOptimize(x);
    }
};

void WalkOnly(benchmark::State& state, const TGenSettings& settings) {
    random::SetSeed(1);
    TNoPainter painter;
    TGenHooks hooks;
    const bool batchRunning = false;
    for (auto _ : state) SynthesizeTile(settings, 0xFFFF8000u, batchRunning, hooks, painter);
}

BENCHMARK_CAPTURE(Generate, Default, TGenSettings{})->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(Generate, Heavy, Heavy())->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(GenerateAndExportPng, Default1024, TGenSettings{})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(GenerateAndExportPng, Heavy1024, Heavy())->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(WalkOnly, Default, TGenSettings{})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WalkOnly, Heavy, Heavy())->Unit(benchmark::kMicrosecond);

} // namespace
