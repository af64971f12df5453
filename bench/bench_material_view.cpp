// The Material View: a light move (one frame of 2 x 2 copies of a 256 tile, 512 x 512) on 1 and
// 2 threads, and preparing a texture for it (reduction, maps, per-texel terms) at 512, 1024 and
// 4096. Medians of repeated runs, in real time (the bands run on threads of their own).
#include <cmath>
#include <cstdint>

#include <benchmark/benchmark.h>

#include "export/MaterialLight.h"

namespace {

// Soft colour waves with a little seeded noise, as a generated texture's relief.
vorn::TBitmap32 TileLikeBitmap(int side) {
    vorn::TBitmap32 bitmap(side, side);
    std::uint32_t state = 12345;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 27); // 0..31
            std::uint8_t* p = bitmap.Row(y) + 4 * x;
            p[0] = std::uint8_t(110 + 90 * std::sin(x * 0.049) + noise);
            p[1] = std::uint8_t(110 + 90 * std::sin(y * 0.073 + x * 0.02) + noise);
            p[2] = std::uint8_t(110 + 90 * std::cos((x + y) * 0.031) + noise);
            p[3] = 255;
        }
    return bitmap;
}

// Arg: threads. Each frame has the light somewhere else along a circle, as the pointer moves.
void BM_LightMove512(benchmark::State& state) {
    const vorn::TBitmap32 texture = TileLikeBitmap(512);
    vorn::TMaterialSurface surface;
    vorn::PrepareMaterialSurface(texture, {}, surface, vorn::MaterialTileSide, 2);
    vorn::TBitmap32 frame;
    vorn::TMaterialLight light;
    light.point = true;
    light.z = 192;
    int step = 0;
    for (auto _ : state) {
        light.x = float(256 + 200 * std::cos(step * 0.1));
        light.y = float(256 + 200 * std::sin(step * 0.1));
        ++step;
        benchmark::DoNotOptimize(vorn::ShadeMaterial(surface, light, frame, int(state.range(0))));
        benchmark::ClobberMemory();
    }
    state.counters["side"] = double(frame.Width());
}
BENCHMARK(BM_LightMove512)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// Arg: the texture's side; on 2 threads.
void BM_PrepareTexture(benchmark::State& state) {
    const vorn::TBitmap32 texture = TileLikeBitmap(int(state.range(0)));
    vorn::TMaterialSurface surface;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            vorn::PrepareMaterialSurface(texture, {}, surface, vorn::MaterialTileSide, 2));
}
BENCHMARK(BM_PrepareTexture)
    ->Arg(512)
    ->Arg(1024)
    ->Arg(4096)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

} // namespace
