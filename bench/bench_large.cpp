// Textures of 2048 and 4096: the time of one texture (tile, view and large output) from seed 1
// with the default settings at 1 and 2 rasteriser threads, medians of five runs; and, in counters,
// how close each effect's 4096 texture filtered down to 1024 stays to its 1024 texture (mean
// absolute difference per channel, in levels of 255) and over how many pixels a hard brush's
// edge ramps at 4096, from its twin and from the brush magnified; and whole runs of pallimor-cli
// writing the default 4096 texture as PNG and as BMP, side by side (with ImageMagick's convert
// turning that BMP into a PNG, where it is installed), with the cores the host lends. Run without
// arguments.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/VornDb.h"
#include "archive/VornImages.h"
#include "bench/BenchArchive.h"
#include "bench/BenchProcess.h"
#include "engine/VornCanvas.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "engine/soft/SoftRaster.h"
#include "export/TileExport.h"
#include "gen/Generator.h"

namespace {

using namespace vorn;

bool Start(TGenerator& generator, benchmark::State& state) {
    generator.ComponentsInit();
    if (generator.Startup(nullptr, bench::ArchivePath()).failure == TStartupFailure::None) return true;
    state.SkipWithError("no archive or no device");
    return false;
}

TBitmap32 Texture(TGenerator& generator, int size) {
    random::SetSeed(1);
    generator.TextureSize = size;
    generator.FirstRender();
    TBitmap32 bitmap;
    CopyToBitmap(*generator.Textures, TGenerator::GetIndex(size), size, bitmap);
    return bitmap;
}

void LargeTexture(benchmark::State& state) {
    sd::SetRasterThreads(int(state.range(1)));
    TGenSettings settings;
    TGenerator generator(settings);
    if (!Start(generator, state)) return;
    generator.TextureSize = int(state.range(0));
    for (auto _ : state) {
        random::SetSeed(1);
        generator.FirstRender();
    }
    sd::SetRasterThreads(0);
}

// Effect state.range(0), the other settings at their defaults.
void EffectFidelity(benchmark::State& state) {
    TGenSettings settings;
    settings.effect = int(state.range(0));
    TGenerator generator(settings);
    if (!Start(generator, state)) return;
    double difference = 0.0;
    for (auto _ : state) {
        const TBitmap32 small = Texture(generator, 1024);
        const TBitmap32 large = Texture(generator, 4096);
        double sum = 0.0;
        for (int y = 0; y < 1024; ++y) {
            for (int x = 0; x < 1024 * 4; ++x) {
                int box = 0;
                for (int j = 0; j < 4; ++j)
                    for (int i = 0; i < 4; ++i) box += large.Row(y * 4 + j)[(x / 4 * 4 + i) * 4 + x % 4];
                sum += std::abs(box / 16.0 - small.Row(y)[x]);
            }
        }
        difference = sum / (1024.0 * 1024.0 * 4.0);
    }
    state.counters["mean_abs_diff"] = difference;
}

// One white stamp of the 128 hard brush on black, centred on a 1024 target as the 4096 texture
// draws it: from its twin at scale 1, and the brush itself at scale 4. The ramp is the mean width
// across the edge of the pixels between black and white: their count over the rim's length.
void HardEdgeRamp(benchmark::State& state) {
    TGenerator generator(TGenSettings{});
    if (!Start(generator, state)) return;
    TVornImages twins;
    twins.SetPublisher(generator.Device.get());
    if (!twins.AddFromVornDb("brush128hard-4x", *generator.Archive, aqHigh, alFull)) {
        state.SkipWithError("no twin in the archive");
        return;
    }
    const auto ramp = [&](TVornImage* image, double scale) {
        generator.Textures->RenderIntoTarget(
            2, 0xFF000000u,
            [&](TVornTextures*) {
                generator.Canvas->DrawRotatedScaled(image, 0xFFFFFFFFu, 512.0, 512.0, 0.0, scale, 0,
                                                    beAlphaBlend);
            },
            true);
        TBitmap32 bitmap;
        CopyToBitmap(*generator.Textures, 2, 1024, bitmap);
        long between = 0;
        for (int y = 0; y < 1024; ++y) {
            for (int x = 0; x < 1024; ++x) {
                const int red = bitmap.Row(y)[x * 4 + 2];
                between += red > 0 && red < 255;
            }
        }
        // The grey pixels spread along the whole rim, 2 pi 256 pixels long.
        return between / (2.0 * 3.14159265358979 * 256.0);
    };
    double fromTwin = 0, magnified = 0;
    for (auto _ : state) {
        fromTwin = ramp(twins.Item(0), 1.0);
        magnified = ramp(generator.Images->Item(BrushImage(3, 0)), 4.0);
    }
    state.counters["ramp_twin_px"] = fromTwin;
    state.counters["ramp_magnified_px"] = magnified;
}

// Five rounds of: the default texture of seed 1 at 4096 to BMP, the same to PNG, the BMP turned
// into a PNG by convert; medians in milliseconds and the PNG run over the BMP run.
void WholeRun4096(benchmark::State& state) {
    bench::TempFolder folder;
    const std::string bmp = (folder.path / "t.bmp").string(), png = (folder.path / "t.png").string();
    const auto generate = [&](const std::string& out) {
        return std::vector<std::string>{
            bench::CliPath(), "generate",           "--seed", "1", "--size", "4096", "--force",
            "--archive",      bench::ArchivePath(), "--out",  out};
    };
    const bool haveConvert = std::filesystem::exists("/usr/bin/convert");
    std::vector<double> bmpMs, pngMs, convertMs;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const bench::RunResult toBmp = bench::RunProcess(generate(bmp));
            const bench::RunResult toPng = bench::RunProcess(generate(png));
            if (!toBmp.ok || !toPng.ok) {
                state.SkipWithError("the command failed");
                return;
            }
            bmpMs.push_back(1000 * toBmp.seconds);
            pngMs.push_back(1000 * toPng.seconds);
            if (haveConvert) {
                const bench::RunResult converted =
                    bench::RunProcess({"convert", bmp, (folder.path / "c.png").string()});
                if (converted.ok) convertMs.push_back(1000 * converted.seconds);
            }
        }
    }
    state.counters["bmp_ms"] = bench::Median(bmpMs);
    state.counters["png_ms"] = bench::Median(pngMs);
    state.counters["png_over_bmp"] = bench::Median(pngMs) / bench::Median(bmpMs);
    if (!convertMs.empty()) state.counters["convert_ms"] = bench::Median(convertMs);
    state.counters["cores_lent"] = bench::LentCores();
}

} // namespace

BENCHMARK(WholeRun4096)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LargeTexture)
    ->ArgsProduct({{2048, 4096}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(EffectFidelity)->DenseRange(0, 9)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(HardEdgeRamp)->Iterations(1)->Unit(benchmark::kMillisecond);
