// Encoding one 1024 x 1024 tile as BMP, PNG (zlib level 7) and JPEG (quality 95 and 40); the
// maps of a 1024 and a 4096 texture: each made from one height field, without encoding, and all
// four made and written as PNG files (to memory); the four maps' PNGs alone, and each PNG of the
// threaded encoder at 1 and 2 threads; these two report the median of 5 runs.
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "export/ImageWriters.h"
#include "export/MaterialMaps.h"
#include "export/PngEncoder.h"
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

// The maps of a texture, made once.
struct TMaps {
    vorn::THeightMap height;
    vorn::TBitmap32 normal;
    std::vector<std::uint8_t> roughness, occlusion;
};

const TMaps& MapsOf(int side) {
    static const auto make = [](int s) {
        TMaps maps;
        vorn::TMapOptions options;
        vorn::MakeTileHeightMap(Texture(s), options, maps.height);
        vorn::MakeTileNormalMap(maps.height, options, maps.normal);
        vorn::MakeRoughnessMap(Texture(s), maps.height, 0.35, 0.9, 4.0 / 1024, {}, maps.roughness);
        vorn::MakeOcclusionMap(maps.height, 32.0 / 1024, 8.0 / 1024, {}, maps.occlusion);
        return maps;
    };
    static const TMaps small = make(1024), large = make(4096);
    return side == 4096 ? large : small;
}

// The four maps' PNGs as WriteMaps encodes them (all processors), from maps made beforehand.
void BM_MapPngs(benchmark::State& state) {
    const TMaps& maps = MapsOf(int(state.range(0)));
    const std::int32_t w = maps.height.width, h = maps.height.height;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> height, normal, roughness, occlusion;
        vorn::EncodeHeightPng(maps.height, height);
        vorn::EncodeNormalPng(maps.normal, normal);
        vorn::EncodeGreyPng(w, h, maps.roughness, roughness);
        vorn::EncodeGreyPng(w, h, maps.occlusion, occlusion);
        bytes = height.size() + normal.size() + roughness.size() + occlusion.size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_MapPngs)
    ->Arg(1024)
    ->Arg(4096)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// One PNG of the threaded encoder. Arg 0: the side; arg 1: threads; arg 2: 0 height (16-bit
// grey), 1 normal (RGB), 2 roughness, 3 occlusion (8-bit grey), 4 the texture (RGB).
void BM_PngEncoder(benchmark::State& state) {
    const int side = int(state.range(0));
    const TMaps& maps = MapsOf(side);
    const std::int32_t w = maps.height.width, h = maps.height.height;
    vorn::TPngImage image;
    switch (state.range(2)) {
    case 0:
        image = vorn::PngGrey16Rows(w, h, maps.height.values.data());
        break;
    case 1:
        image = vorn::PngBitmapRows(maps.normal, false);
        break;
    case 2:
        image = vorn::PngGrey8Rows(w, h, maps.roughness.data());
        break;
    case 3:
        image = vorn::PngGrey8Rows(w, h, maps.occlusion.data());
        break;
    default:
        image = vorn::PngBitmapRows(Texture(side), false);
        break;
    }
    const vorn::TPngOptions options{int(state.range(1)), {}};
    std::vector<std::uint8_t> out;
    for (auto _ : state) benchmark::DoNotOptimize(vorn::EncodePngImage(image, options, out));
    state.counters["bytes"] = double(out.size());
}
BENCHMARK(BM_PngEncoder)
    ->ArgsProduct({{1024, 4096}, {1, 2}, {0, 1, 2, 3, 4}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
