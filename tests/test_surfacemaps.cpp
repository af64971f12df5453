// Occlusion and roughness maps: they tile as the texture does, a flat height is unoccluded, a pit
// of known walls has the occlusion its geometry gives, clamped edges do not read across, the
// thread count and the map's size do not change what the map shows.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/SurfaceMaps.h"

namespace vorn {
namespace {

THeightMap Plane(int width, int height, std::uint16_t value) {
    THeightMap map;
    map.width = width;
    map.height = height;
    map.values.assign(std::size_t(width) * std::size_t(height), value);
    return map;
}

// Noise over the whole range plus a slow wave: nothing in it repeats within the tile.
THeightMap Rough(int width, int height) {
    THeightMap map = Plane(width, height, 0);
    std::uint32_t state = 2024;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            map.Row(y)[x] = std::uint16_t((state >> 18) + std::uint32_t(x * 97 + y * y * 13) % 49152u);
        }
    return map;
}

// Gaussian bumps and dents of sigma pixels on 32768, placed on the torus so the field tiles.
THeightMap Bumps(int size, double sigma) {
    THeightMap map = Plane(size, size, 0);
    struct {
        double x, y, amplitude;
    } const bumps[] = {{0.10, 0.20, 16000},  {0.45, 0.15, -16000}, {0.80, 0.30, 16000},  {0.25, 0.60, 16000},
                       {0.60, 0.55, -16000}, {0.90, 0.85, 16000},  {0.35, 0.90, -16000}, {0.70, 0.75, 16000}};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double h = 32768;
            for (const auto& b : bumps) {
                const auto torus = [&](double d) { return std::min(std::abs(d), size - std::abs(d)); };
                const double dx = torus(x + 0.5 - b.x * size), dy = torus(y + 0.5 - b.y * size);
                h += b.amplitude * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
            }
            map.Row(y)[x] = std::uint16_t(std::clamp(std::floor(h + 0.5), 0.0, 65535.0));
        }
    return map;
}

// Values of a width x height grid moved by (dx, dy) as it repeats.
template <class T>
std::vector<T> Shifted(const std::vector<T>& v, int width, int height, int dx, int dy, int n = 1) {
    std::vector<T> out(v.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < n; ++c)
                out[(std::size_t((y + dy) % height) * width + (x + dx) % width) * n + c] =
                    v[(std::size_t(y) * width + x) * n + c];
    return out;
}

THeightMap Shifted(const THeightMap& map, int dx, int dy) {
    THeightMap out = map;
    out.values = Shifted(map.values, map.width, map.height, dx, dy);
    return out;
}

TBitmap32 Shifted(const TBitmap32& bitmap, int dx, int dy) {
    const std::vector<std::uint8_t> bytes(bitmap.Bits(), bitmap.Bits() + bitmap.Pitch() * bitmap.Height());
    const std::vector<std::uint8_t> moved = Shifted(bytes, bitmap.Width(), bitmap.Height(), dx, dy, 4);
    TBitmap32 out(bitmap.Width(), bitmap.Height());
    std::copy(moved.begin(), moved.end(), out.Bits());
    return out;
}

// A texture of noise, unrelated to any height.
TBitmap32 Noise(int width, int height) {
    TBitmap32 bitmap(width, height);
    std::uint32_t state = 77;
    for (std::size_t i = 0; i < bitmap.Pitch() * std::size_t(height); ++i) {
        state = state * 1664525u + 1013904223u;
        bitmap.Bits()[i] = std::uint8_t(state >> 24);
    }
    return bitmap;
}

TBitmap32 Flat(int width, int height) {
    TBitmap32 bitmap(width, height);
    for (std::size_t i = 0; i < bitmap.Pitch() * std::size_t(height); ++i)
        bitmap.Bits()[i] = std::uint8_t(i % 4 * 50);
    return bitmap;
}

std::string EdgesName(TMapEdges e) {
    return std::string(e.wrapX ? "wrap" : "clamp") + " x, " + (e.wrapY ? "wrap" : "clamp") + " y";
}

TEST(SurfaceMaps, MapsOfAHeightShiftedAlongItsRepeatingAxesAreTheShiftedMaps) {
    const struct {
        int width, height;
        TMapEdges edges;
    } cases[] = {
        {128, 96, {true, true}},
        {128, 96, {true, false}},
        {128, 96, {false, true}},
        {2048, 2048, {true, false}}, // computed on the reduced grid and scaled back
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + ", " + EdgesName(c.edges));
        const int dx = c.edges.wrapX ? c.width / 2 : 0, dy = c.edges.wrapY ? c.height / 2 : 0;
        const THeightMap height = Rough(c.width, c.height);
        const TBitmap32 texture = Noise(c.width, c.height);
        std::vector<std::uint8_t> ao, movedAo, rough, movedRough;
        ASSERT_TRUE(MakeOcclusionMap(height, 1.0 / 16, 1.0 / 8, c.edges, ao));
        ASSERT_TRUE(MakeOcclusionMap(Shifted(height, dx, dy), 1.0 / 16, 1.0 / 8, c.edges, movedAo));
        EXPECT_EQ(movedAo, Shifted(ao, c.width, c.height, dx, dy));
        ASSERT_TRUE(MakeRoughnessMap(texture, height, 0.1, 0.9, 1.0 / 32, c.edges, rough));
        ASSERT_TRUE(MakeRoughnessMap(Shifted(texture, dx, dy), Shifted(height, dx, dy), 0.1, 0.9, 1.0 / 32,
                                     c.edges, movedRough));
        EXPECT_EQ(movedRough, Shifted(rough, c.width, c.height, dx, dy));
        // The maps have something in them to shift.
        EXPECT_NE(*std::min_element(ao.begin(), ao.end()), *std::max_element(ao.begin(), ao.end()));
        EXPECT_NE(*std::min_element(rough.begin(), rough.end()),
                  *std::max_element(rough.begin(), rough.end()));
    }
}

// Every horizon of a plane is level: t = 0, sine 0, AO = 1 - 0 / 8 = 1, stored 255.
TEST(SurfaceMaps, APlaneIsUnoccluded) {
    const struct {
        int size;
        std::uint16_t value;
        TMapEdges edges;
    } cases[] = {{64, 0, {true, true}}, {256, 40000, {false, true}}, {2048, 65535, {false, false}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size));
        std::vector<std::uint8_t> ao;
        ASSERT_TRUE(MakeOcclusionMap(Plane(c.size, c.size, c.value), 0.5, 1.0, c.edges, ao));
        EXPECT_EQ(ao, std::vector<std::uint8_t>(std::size_t(c.size) * c.size, 255));
    }
}

// A square pit turned 45 degrees, H = 40000 - 16384 + 1024 (|dx| + |dy|) up to the plane 40000,
// centred on a pixel. Its walls are linear within each quadrant, so bilinear samples along the 8
// directions from the centre are exact; with relief 1/4 of 256 pixels a wall rises
// m = 1024 * 64 / 65535 pixels a pixel along an axis and sqrt 2 m along a diagonal, and every
// sample outside the pit lies lower than the walls' line. So the horizons are m (4 directions) and
// sqrt 2 m (4 directions): AO = 1 - (m / sqrt(1 + m^2) + sqrt 2 m / sqrt(1 + 2 m^2)) / 2.
TEST(SurfaceMaps, APitsCentreIsAsOccludedAsItsWallsAreSteep) {
    const int size = 256, cx = 100, cy = 140;
    THeightMap height = Plane(size, size, 40000);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            height.Row(y)[x] =
                std::uint16_t(std::min(40000, 40000 - 16384 + 1024 * (std::abs(x - cx) + std::abs(y - cy))));
    std::vector<std::uint8_t> ao;
    ASSERT_TRUE(MakeOcclusionMap(height, 1.0 / 16, 1.0 / 4, {}, ao));
    const double m = 1024 * 64 / 65535.0;
    const double expected =
        1 - (m / std::sqrt(1 + m * m) + std::sqrt(2.0) * m / std::sqrt(1 + 2 * m * m)) / 2;
    // Rounding to a byte moves it by at most a half; the single-precision arithmetic by far less
    // than the rest of the way to the next half (255 AO = 60.74).
    EXPECT_NEAR(ao[std::size_t(cy) * size + cx], 255 * expected, 0.5);
    // Further than the radius (16 pixels) from the pit's rim the plane is unoccluded.
    EXPECT_EQ(ao[std::size_t(cy) * size + cx + 40], 255);
    EXPECT_EQ(ao[std::size_t(cy - 40) * size + cx], 255);
}

// A ridge 8 pixels wide at the left edge, 40000 above the plane: at relief 1/4 of 256 pixels it
// stands 40000 * 64 / 65535 = 39.06 pixels high. Clamped across x the right column sees only the
// plane (the ridge is 248 pixels away, the radius 16). Wrapped, the ridge is 1 pixel to its right:
// the step at 1 pixel along +x sees it with t = 39.06 (sine 0.99967), the two diagonals right
// half way up it at 0.7071 pixels across, t = 27.62 (sine 0.99935); up, down and the three
// leftward directions see the plane. AO = 1 - (0.99967 + 2 * 0.99935) / 8 = 0.62520, any value in
// 0.625 .. 0.6275 storing as 159.
TEST(SurfaceMaps, ClampedEdgesDoNotReadAcross) {
    const int size = 256;
    THeightMap height = Plane(size, size, 20000);
    for (int y = 0; y < size; ++y) std::fill(height.Row(y), height.Row(y) + 8, std::uint16_t(60000));
    const struct {
        bool wrapX;
        std::uint8_t rightColumn;
    } cases[] = {{false, 255}, {true, 159}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wrapX ? "wrapped" : "clamped");
        std::vector<std::uint8_t> ao;
        ASSERT_TRUE(MakeOcclusionMap(height, 1.0 / 16, 1.0 / 4, {c.wrapX, true}, ao));
        for (int y = 0; y < size; ++y) EXPECT_EQ(ao[std::size_t(y) * size + size - 1], c.rightColumn) << y;
    }
}

TEST(SurfaceMaps, TheThreadCountDoesNotChangeTheBytes) {
    for (const int size : {256, 2048}) {
        SCOPED_TRACE(size);
        const THeightMap height = Rough(size, size);
        const TBitmap32 texture = Noise(size, size);
        std::vector<std::uint8_t> ao1, ao3, rough1, rough3;
        ASSERT_TRUE(MakeOcclusionMap(height, 1.0 / 32, 8.0 / 1024, {true, false}, ao1, 1));
        ASSERT_TRUE(MakeOcclusionMap(height, 1.0 / 32, 8.0 / 1024, {true, false}, ao3, 3));
        EXPECT_EQ(ao1, ao3);
        ASSERT_TRUE(MakeRoughnessMap(texture, height, 0.2, 0.8, 1.0 / 64, {false, true}, rough1, 1));
        ASSERT_TRUE(MakeRoughnessMap(texture, height, 0.2, 0.8, 1.0 / 64, {false, true}, rough3, 3));
        EXPECT_EQ(rough1, rough3);
    }
}

// The 512 map of the 1024 field box-averaged shows what the 1024 map shows: 512 pixel (i, j) sits
// at the corner of 1024 pixels (2i .. 2i + 1, 2j .. 2j + 1), so it is compared with their mean. In
// 512 pixels (relief 1/16: 32 pixels for the whole range, radius 32, first step 2) the bumps
// (sigma 32, 16000 = 7.8 pixels high) curve by at most |h''| = 7.8 / 1024 = 0.0076 a pixel; take
// twice that, 0.015, for overlaps. Each tangent moves
// (a) by at most |offset| |h''| = 0.354 * 0.015 = 0.0054 from a 1024 pixel's centre to the corner,
// (b) by the sampled heights' errors (bilinear at spacing 1: 2 * 0.015 / 8 = 0.0038; box average
// and bilinear at spacing 1/2: 0.0009 each), twice over a difference, over the first step: 0.0057.
// Sines and their mean move no more than the tangents: 0.011 = 2.8 of 255, and rounding each map
// to bytes adds 1. So they agree within 4 at every pixel. A dent 7.8 deep has a horizon near
// 7.8 (1 - e^-0.5) / 32 = 0.096 at its centre, so the map goes below 255 (1 - 0.095) = 231 there.
TEST(SurfaceMaps, MapsOfOneFieldAtTwoSizesAgree) {
    const THeightMap fine = Bumps(1024, 64);
    THeightMap coarse = Plane(512, 512, 0);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            const std::uint32_t sum = fine.Row(2 * y)[2 * x] + fine.Row(2 * y)[2 * x + 1] +
                                      fine.Row(2 * y + 1)[2 * x] + fine.Row(2 * y + 1)[2 * x + 1];
            coarse.Row(y)[x] = std::uint16_t((sum + 2) / 4);
        }
    std::vector<std::uint8_t> big, small;
    ASSERT_TRUE(MakeOcclusionMap(fine, 1.0 / 16, 1.0 / 16, {}, big));
    ASSERT_TRUE(MakeOcclusionMap(coarse, 1.0 / 16, 1.0 / 16, {}, small));
    double worst = 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            const auto at = [&](int bx, int by) { return double(big[std::size_t(by) * 1024 + bx]); };
            const double mean =
                (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1)) /
                4;
            worst = std::max(worst, std::abs(mean - small[std::size_t(y) * 512 + x]));
        }
    EXPECT_LE(worst, 4.0);
    // And the bumps do show.
    EXPECT_LE(*std::min_element(small.begin(), small.end()), 232);
}

// A constant texture has no local contrast: g = H / 131070 and the stored value is
// floor(255 (max - (max - min) g) + 0.5), with every input exact in binary.
TEST(SurfaceMaps, AConstantTextureHasAConstantRoughness) {
    const struct {
        std::uint16_t height;
        double minimum, maximum;
        std::uint8_t expected;
    } cases[] = {
        {0, 0.25, 0.75, 191},     // 255 * 0.75 = 191.25
        {65535, 0.25, 0.75, 128}, // 0.75 - 0.5 / 2 = 0.5: 127.5 + 0.5
        {65535, 0.0, 1.0, 128},   // 1 - 1 / 2
        {0, 0.0, 0.0, 0},         {65535, 1.0, 1.0, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.height);
        std::vector<std::uint8_t> rough;
        ASSERT_TRUE(MakeRoughnessMap(Flat(64, 32), Plane(64, 32, c.height), c.minimum, c.maximum, 1.0 / 8,
                                     {true, false}, rough));
        EXPECT_EQ(rough, std::vector<std::uint8_t>(64 * 32, c.expected));
    }
}

// Paint changing quickly reads glossier than the same height painted evenly.
TEST(SurfaceMaps, ContrastLowersTheRoughness) {
    TBitmap32 texture = Flat(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 16; ++x) std::fill_n(texture.Row(y) + 4 * x, 3, std::uint8_t((x + y) % 2 * 255));
    std::vector<std::uint8_t> rough;
    ASSERT_TRUE(MakeRoughnessMap(texture, Plane(64, 64, 0), 0.0, 1.0, 1.0 / 32, {}, rough));
    // A checkerboard of black and white: sd = 32767.5 or so, full contrast, g = 1/2.
    EXPECT_EQ(rough[32 * 64 + 8], 128);
    EXPECT_EQ(rough[32 * 64 + 40], 255); // the even ground, g = 0
}

TEST(SurfaceMaps, RefusesBadArguments) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const THeightMap height = Plane(64, 64, 100);
    THeightMap ragged = height;
    ragged.values.pop_back();
    const TBitmap32 texture = Flat(64, 64), narrow = Flat(64, 32), none;
    const THeightMap empty;
    const struct {
        const char* what;
        const THeightMap& height;
        const TBitmap32& texture;
        double minimum, maximum, radius, relief;
        bool roughnessOk, occlusionOk;
    } cases[] = {
        {"good", height, texture, 0.2, 0.8, 0.1, 0.5, true, true},
        {"empty", empty, none, 0.2, 0.8, 0.1, 0.5, false, false},
        {"values short", ragged, texture, 0.2, 0.8, 0.1, 0.5, false, false},
        {"sizes differ", height, narrow, 0.2, 0.8, 0.1, 0.5, false, true},
        {"min above max", height, texture, 0.8, 0.2, 0.1, 0.5, false, true},
        {"min below 0", height, texture, -0.1, 0.8, 0.1, 0.5, false, true},
        {"max above 1", height, texture, 0.2, 1.1, 0.1, 0.5, false, true},
        {"NaN roughness", height, texture, nan, 0.8, 0.1, 0.5, false, true},
        {"radius 0", height, texture, 0.2, 0.8, 0.0, 0.5, false, false},
        {"radius above half", height, texture, 0.2, 0.8, 0.51, 0.5, false, false},
        {"radius NaN", height, texture, 0.2, 0.8, nan, 0.5, false, false},
        {"relief below 0", height, texture, 0.2, 0.8, 0.1, -0.01, true, false},
        {"relief above 1", height, texture, 0.2, 0.8, 0.1, 1.01, true, false},
        {"relief NaN", height, texture, 0.2, 0.8, 0.1, nan, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> out{7};
        EXPECT_EQ(MakeRoughnessMap(c.texture, c.height, c.minimum, c.maximum, c.radius, {}, out),
                  c.roughnessOk);
        if (!c.roughnessOk) {
            EXPECT_EQ(out, std::vector<std::uint8_t>{7}); // untouched
        }
        out = {7};
        EXPECT_EQ(MakeOcclusionMap(c.height, c.radius, c.relief, {}, out), c.occlusionOk);
        if (!c.occlusionOk) {
            EXPECT_EQ(out, std::vector<std::uint8_t>{7});
        }
    }
}

} // namespace
} // namespace vorn
