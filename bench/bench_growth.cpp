// The cost of showing the tile as it grows: one heavy texture (Steps 2048, Soft, 128) without
// frames and with a frame every 33 ms composed and handed to a sink that copies it as the
// preview widget does. Compare the medians of --benchmark_repetitions runs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "engine/VornDef.h"
#include "engine/soft/SoftDevice.h"
#include "gen/Generator.h"

namespace {

using namespace vorn;

std::string ArchivePath() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    for (const std::filesystem::path& dir : {exe.parent_path(), exe.parent_path().parent_path()}) {
        if (std::filesystem::is_regular_file(dir / ArchiveFileName, error))
            return (dir / ArchiveFileName).string();
    }
    return TGenerator::FindArchive(exe.parent_path().string());
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
    TGenerator generator(settings);
    generator.ComponentsInit();
    if (generator.Startup(&sink, ArchivePath()).failure != TStartupFailure::None) {
        state.SkipWithError("no archive or no device");
        return;
    }
    generator.SetGrowthFrames(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    random::SetSeed(1);
    for (auto _ : state) generator.Generate();
    state.counters["frames"] =
        benchmark::Counter(static_cast<double>(sink.frames), benchmark::Counter::kAvgIterations);
}

// One frame alone: compose from the targets and copy, at scale 1 and 2.
void PreviewFrame(benchmark::State& state) {
    TGenSettings settings;
    TCopySink sink;
    TGenerator generator(settings);
    generator.ComponentsInit();
    if (generator.Startup(&sink, ArchivePath()).failure != TStartupFailure::None) {
        state.SkipWithError("no archive or no device");
        return;
    }
    random::SetSeed(1);
    generator.FirstRender();
    for (auto _ : state) generator.PresentPreview(static_cast<int>(state.range(0)));
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

} // namespace
