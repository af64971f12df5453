// Encoding one 1024 x 1024 tile as BMP, PNG (zlib level 7) and JPEG (quality 95 and 40); the
// maps of a 1024 and a 4096 texture: each made from one height field, without encoding, and all
// four made and written as PNG files (to memory).
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "export/ImageWriters.h"
#include "export/MaterialMaps.h"
#include "export/SurfaceMaps.h"

namespace {

// Soft colour waves with a little seeded noise: compresses about as a generated texture does.
vorn::TBitmap32 TileLikeBitmap(int side = 1024) {
    vorn::TBitmap32 bitmap(side, side);
    std::uint32_t state = 12345;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
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

const vorn::TBitmap32& Texture(int side) {
    static const vorn::TBitmap32 small = TileLikeBitmap(1024), large = TileLikeBitmap(4096);
    return side == 4096 ? large : small;
}

// Arg 0: the side; arg 1: 0 height, 1 normal, 2 roughness, 3 occlusion (each from a made height).
void BM_Map(benchmark::State& state) {
    const vorn::TBitmap32& texture = Texture(int(state.range(0)));
    vorn::TMapOptions options;
    vorn::THeightMap height;
    vorn::MakeTileHeightMap(texture, options, height);
    vorn::TBitmap32 normal;
    std::vector<std::uint8_t> grey;
    for (auto _ : state) {
        switch (state.range(1)) {
        case 0:
            benchmark::DoNotOptimize(vorn::MakeTileHeightMap(texture, options, height));
            break;
        case 1:
            benchmark::DoNotOptimize(vorn::MakeTileNormalMap(height, options, normal));
            break;
        case 2:
            benchmark::DoNotOptimize(
                vorn::MakeRoughnessMap(texture, height, 0.35, 0.9, 4.0 / 1024, {}, grey));
            break;
        default:
            benchmark::DoNotOptimize(vorn::MakeOcclusionMap(height, 32.0 / 1024, 8.0 / 1024, {}, grey));
            break;
        }
    }
}
BENCHMARK(BM_Map)->ArgsProduct({{1024, 4096}, {0, 1, 2, 3}})->Unit(benchmark::kMillisecond)->UseRealTime();

// Every map from one height field, made (arg 1 = 0) or made and encoded as the PNG files hold
// them (arg 1 = 1).
void BM_AllMaps(benchmark::State& state) {
    const vorn::TBitmap32& texture = Texture(int(state.range(0)));
    const bool encode = state.range(1) != 0;
    vorn::TMapOptions options;
    for (auto _ : state) {
        vorn::THeightMap height;
        vorn::TBitmap32 normal;
        std::vector<std::uint8_t> roughness, occlusion, bytes;
        vorn::MakeTileHeightMap(texture, options, height);
        vorn::MakeTileNormalMap(height, options, normal);
        vorn::MakeRoughnessMap(texture, height, 0.35, 0.9, 4.0 / 1024, {}, roughness);
        vorn::MakeOcclusionMap(height, 32.0 / 1024, 8.0 / 1024, {}, occlusion);
        if (encode) {
            vorn::EncodeHeightPng(height, bytes);
            vorn::EncodeNormalPng(normal, bytes);
            vorn::EncodeGreyPng(height.width, height.height, roughness, bytes);
            vorn::EncodeGreyPng(height.width, height.height, occlusion, bytes);
        }
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_AllMaps)->ArgsProduct({{1024, 4096}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
