// The generator's cost: one texture (tile synthesis, view and output rendering) with the default
// settings and with a heavy one, the walk alone without drawing, and a texture with PNG export;
// the cost of showing the tile as it grows (a heavy soft texture without and with frames every
// 33 ms, and one frame alone). Compare medians of --benchmark_repetitions runs.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "bench/BenchArchive.h"
#include "engine/VornDef.h"
#include "engine/VornTextures.h"
#include "engine/soft/SoftDevice.h"
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

// settings with the Wrap tiling: the same kind of texture without the mirror symmetry.
TGenSettings Wrapped(TGenSettings s) {
    s.tiling = tmWrap;
    return s;
}

// settings with a six-colour palette: the strokes' colours along its gradient instead of HSL.
TGenSettings Paletted(TGenSettings s) {
    s.palette = {{0x2B1D14u, 0x4A3222u, 0x6B4A30u, 0x8C6A48u, 0xA98A66u, 0xC8AE8Au}};
    return s;
}

// A started generator; skips the benchmark when the archive or the device is missing.
std::unique_ptr<TGenerator> Started(benchmark::State& state, const TGenSettings& settings, int size,
                                    sd::HostSink* sink = nullptr) {
    auto generator = std::make_unique<TGenerator>(settings);
    generator->ComponentsInit();
    if (generator->Startup(sink, ArchivePath()).failure != TStartupFailure::None) {
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

// Copies each frame with opaque alpha, as the preview widget's PresentImage does.
class TCopySink final : public sd::HostSink {
public:
    void PresentImage(const std::uint32_t* pixels, int width, int height, int pitchBytes) override {
        m_frame.resize(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            const std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * (pitchBytes / 4);
            for (int x = 0; x < width; ++x)
                m_frame[static_cast<std::size_t>(y) * width + x] = row[x] | 0xFF000000u;
        }
        ++frames;
    }
    std::int64_t frames = 0;

private:
    std::vector<std::uint32_t> m_frame;
};

void GenerateHeavySoft(benchmark::State& state) {
    TGenSettings settings;
    settings.steps = 2048;
    settings.brushType = 1; // Soft
    settings.brushSize = 3; // 128
    TCopySink sink;
    const auto generator = Started(state, settings, 256, &sink);
    if (!generator) return;
    generator->SetGrowthFrames(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) generator->Generate();
    state.counters["frames"] =
        benchmark::Counter(static_cast<double>(sink.frames), benchmark::Counter::kAvgIterations);
}

// One frame alone: compose from the targets and copy, at scale 1 and 2.
void PreviewFrame(benchmark::State& state) {
    TCopySink sink;
    const auto generator = Started(state, TGenSettings{}, 256, &sink);
    if (!generator) return;
    generator->FirstRender();
    for (auto _ : state) generator->PresentPreview(static_cast<int>(state.range(0)));
}

BENCHMARK(PreviewFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Arguments: frame interval in ms (0 = no frames), frame scale (2 = high-density screen).
BENCHMARK(GenerateHeavySoft)
    ->Args({0, 1})
    ->Args({33, 1})
    ->Args({33, 2})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->MeasureProcessCPUTime();

BENCHMARK_CAPTURE(Generate, Default, TGenSettings{})->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(Generate, Heavy, Heavy())->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(Generate, DefaultWrap, Wrapped(TGenSettings{}))
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(Generate, HeavyWrap, Wrapped(Heavy()))->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(GenerateAndExportPng, Default1024, TGenSettings{})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(GenerateAndExportPng, Heavy1024, Heavy())->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(WalkOnly, Default, TGenSettings{})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WalkOnly, DefaultPalette, Paletted(TGenSettings{}))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WalkOnly, Heavy, Heavy())->Unit(benchmark::kMicrosecond);

} // namespace
