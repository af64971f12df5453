// Encoding one 1024 x 1024 tile as BMP, PNG (zlib level 7) and JPEG (quality 95 and 40).
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "export/ImageWriters.h"

namespace {

// Soft colour waves with a little seeded noise: compresses about as a generated texture does.
vorn::TBitmap32 TileLikeBitmap() {
    vorn::TBitmap32 bitmap(1024, 1024);
    std::uint32_t state = 12345;
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 29); // 0..7
            std::uint8_t* p = bitmap.Row(y) + 4 * x;
            p[0] = std::uint8_t(128 + 100 * std::sin(x * 0.013) + noise);
            p[1] = std::uint8_t(128 + 100 * std::sin(y * 0.021 + x * 0.005) + noise);
            p[2] = std::uint8_t(128 + 100 * std::cos((x + y) * 0.009) + noise);
            p[3] = 255;
        }
    return bitmap;
}

const vorn::TBitmap32& Tile() {
    static const vorn::TBitmap32 tile = TileLikeBitmap();
    return tile;
}

void BM_EncodeBmp(benchmark::State& state) {
    std::vector<std::uint8_t> out;
    for (auto _ : state) benchmark::DoNotOptimize(vorn::EncodeBmp(Tile(), out));
    state.counters["bytes"] = double(out.size());
}
BENCHMARK(BM_EncodeBmp)->Unit(benchmark::kMillisecond);

void BM_EncodePng(benchmark::State& state) {
    std::vector<std::uint8_t> out;
    for (auto _ : state) benchmark::DoNotOptimize(vorn::EncodePng(Tile(), out));
    state.counters["bytes"] = double(out.size());
}
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond);

void BM_EncodeJpeg(benchmark::State& state) {
    std::vector<std::uint8_t> out;
    for (auto _ : state) benchmark::DoNotOptimize(vorn::EncodeJpeg(Tile(), int(state.range(0)), out));
    state.counters["bytes"] = double(out.size());
}
BENCHMARK(BM_EncodeJpeg)->Arg(95)->Arg(40)->Unit(benchmark::kMillisecond);

} // namespace
