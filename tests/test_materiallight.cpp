// The Material View's shading: values worked out by hand from the formula of
// export/MaterialLight.h, the light's angle, the occlusion's share, and the frame's copies and
// bytes whatever the thread count.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "export/MaterialLight.h"

namespace vorn {
namespace {

constexpr std::int32_t Side = 8;

// A flat surface (normal map 128, 128, 255) of one grey, one roughness and one occlusion.
TMaterialSurface FlatSurface(std::uint8_t grey, std::uint8_t roughness, std::uint8_t occlusion) {
    TBitmap32 texture(Side, Side), normal(Side, Side);
    for (std::int32_t y = 0; y < Side; ++y)
        for (std::int32_t x = 0; x < Side; ++x) {
            std::uint8_t* t = texture.Row(y) + 4 * x;
            t[0] = t[1] = t[2] = grey;
            t[3] = 255;
            std::uint8_t* n = normal.Row(y) + 4 * x;
            n[0] = 255, n[1] = 128, n[2] = 128, n[3] = 255;
        }
    const std::vector<std::uint8_t> rough(Side * Side, roughness), ao(Side * Side, occlusion);
    TMaterialSurface surface;
    EXPECT_TRUE(MakeMaterialSurface(texture, normal, TNormalY::Up, rough, ao, surface));
    return surface;
}

// Every byte of frame is value in blue, green and red, alpha 255.
void ExpectEvery(const TBitmap32& frame, int value, const char* what) {
    for (std::int32_t y = 0; y < frame.Height(); ++y)
        for (std::int32_t x = 0; x < frame.Width(); ++x) {
            const std::uint8_t* p = frame.Row(y) + 4 * x;
            ASSERT_EQ(p[0], value) << what << " at (" << x << ", " << y << ")";
            ASSERT_EQ(p[1], value) << what;
            ASSERT_EQ(p[2], value) << what;
            ASSERT_EQ(p[3], 255) << what;
        }
}

TMaterialLight Directional(float x, float y, float z) {
    TMaterialLight light;
    light.x = x, light.y = y, light.z = z;
    return light;
}

// Defaults: ambient 0.2, intensity 0.8, F0 0.04. Overhead on a flat surface n.L = n.H = n.V = V.H =
// 1, so F = F0, Vis = 1/4 and pi D = 1 / alpha^2: specular = 0.04 * 0.8 / (4 alpha^2) = 0.008 /
// alpha^2, alpha = (roughness / 255)^2. Grey 128 is 0.215861 linear, 64 is 0.051269, 200 0.577580.
// Grazing, L = (1, 0, 0): n.L = 0, no diffuse and no specular; only 0.2 * albedo * occlusion.
TEST(MaterialLight, FlatSurfaceGivesTheHandWorkedValue) {
    const struct {
        const char* what;
        std::uint8_t grey, roughness, occlusion;
        TMaterialLight light;
        int expected;
    } cases[] = {
        // 0.215861 (0.2 + 0.8) + 0.008 = 0.223861 -> sRGB 130.17
        {"rough, overhead", 128, 255, 255, Directional(0, 0, 1), 130},
        // alpha^2 = (128/255)^4 = 0.063488: 0.051269 + 0.126012 = 0.177281 -> 116.81
        {"glossier", 64, 128, 255, Directional(0, 0, 1), 117},
        // 0.577580 + 0.008 = 0.585580 -> 201.23
        {"light grey", 200, 255, 255, Directional(0, 0, 2), 201},
        // no occlusion, no ambient: 0.215861 * 0.8 + 0.008 = 0.180689 -> 117.86
        {"occlusion 0, overhead", 128, 255, 0, Directional(0, 0, 1), 118},
        {"occlusion 0, grazing", 128, 255, 0, Directional(1, 0, 0), 0},
        // 0.2 * 0.215861 = 0.043172 -> 58.61
        {"occlusion 255, grazing", 128, 255, 255, Directional(1, 0, 0), 59},
        // 0.2 * 1 * 128/255 = 0.100392 -> 89.21
        {"occlusion 128, grazing", 255, 255, 128, Directional(1, 0, 0), 89},
    };
    for (const auto& c : cases) {
        TBitmap32 frame;
        ASSERT_TRUE(ShadeMaterial(FlatSurface(c.grey, c.roughness, c.occlusion), c.light, frame, 1))
            << c.what;
        ASSERT_EQ(frame.Width(), 2 * Side);
        ASSERT_EQ(frame.Height(), 2 * Side);
        ExpectEvery(frame, c.expected, c.what);
    }
}

// Without ambient and specular at intensity 1 the output is albedo * cos(angle): overhead the
// grey itself, at cos 0.8 and 0.6 (grey 128: 0.215861 -> 0.172689, 0.129517 -> 115.39, 100.77;
// white: 0.8, 0.6 -> 231.11, 203.42).
TEST(MaterialLight, ATiltedLightDarkensByTheCosineInLinearLight) {
    const struct {
        std::uint8_t grey;
        float x, y, z;
        int expected;
    } cases[] = {
        {128, 0, 0, 1, 128}, {128, 0.6f, 0, 0.8f, 115}, {128, 0, -0.8f, 0.6f, 101},
        {255, 0, 0, 1, 255}, {255, -3, 0, 4, 231},      {255, 0, 8, 6, 203},
    };
    for (const auto& c : cases) {
        TMaterialLight light = Directional(c.x, c.y, c.z);
        light.ambient = 0, light.intensity = 1, light.specular = 0;
        TBitmap32 frame;
        ASSERT_TRUE(ShadeMaterial(FlatSurface(c.grey, 200, 255), light, frame, 1));
        ExpectEvery(frame, c.expected, "tilted");
    }

    // A point light 4 pixels above the centre of output pixel (10, 3), in the second copy across:
    // straight above that pixel; 3 pixels off at (13, 3), (7, 3), (10, 0) and (10, 6), cos 0.8.
    TMaterialLight point;
    point.point = true;
    point.x = 10.5f, point.y = 3.5f, point.z = 4;
    point.ambient = 0, point.intensity = 1, point.specular = 0;
    TBitmap32 frame;
    ASSERT_TRUE(ShadeMaterial(FlatSurface(255, 200, 255), point, frame, 2));
    const struct {
        int x, y, expected;
    } pixels[] = {{10, 3, 255}, {13, 3, 231}, {7, 3, 231}, {10, 0, 231}, {10, 6, 231}};
    for (const auto& p : pixels)
        EXPECT_EQ(frame.Row(p.y)[4 * p.x + 1], p.expected) << "(" << p.x << ", " << p.y << ")";
}

// A grey 128 tile through the maps: flat normals, occlusion 255, roughness 0.9 - 0.55 * 32896 /
// 131070 = 0.761961 -> byte 194, alpha^2 = (194/255)^4 = 0.335001, specular 0.008 / 0.335001 =
// 0.023881; 0.215861 + 0.023881 = 0.239741 -> 134.35. A 512 tile is shaded at 256, a 64 one as
// it is.
TEST(MaterialLight, PreparedConstantTileIsReducedAndLitAsWorkedOut) {
    for (const std::int32_t side : {512, 64}) {
        TBitmap32 texture(side, side);
        for (std::int32_t y = 0; y < side; ++y)
            for (std::int32_t x = 0; x < side; ++x) std::memset(texture.Row(y) + 4 * x, 128, 4);
        TMaterialSurface surface;
        ASSERT_TRUE(PrepareMaterialSurface(texture, {}, surface, MaterialTileSide, 2));
        EXPECT_EQ(surface.width, std::min(side, MaterialTileSide));
        TBitmap32 frame;
        ASSERT_TRUE(ShadeMaterial(surface, Directional(0, 0, 1), frame, 2));
        EXPECT_EQ(frame.Width(), 2 * surface.width);
        ExpectEvery(frame, 134, "prepared");
    }
}

// A varied tile: a point light gives the same bytes on 1, 2 and 3 threads; a directional light's
// frame is four equal copies.
TEST(MaterialLight, ThreadCountsAgreeAndTheCopiesRepeat) {
    constexpr std::int32_t side = 64;
    TBitmap32 texture(side, side);
    std::uint32_t state = 7;
    for (std::int32_t y = 0; y < side; ++y)
        for (std::int32_t x = 0; x < side * 4; ++x) {
            state = state * 1664525u + 1013904223u;
            texture.Row(y)[x] = std::uint8_t(state >> 24);
        }
    TMaterialSurface one, two;
    ASSERT_TRUE(PrepareMaterialSurface(texture, {}, one, MaterialTileSide, 1));
    ASSERT_TRUE(PrepareMaterialSurface(texture, {}, two, MaterialTileSide, 2));
    TMaterialLight point;
    point.point = true;
    point.x = 40, point.y = 90, point.z = 48;
    TBitmap32 reference;
    ASSERT_TRUE(ShadeMaterial(one, point, reference, 1));
    for (const int threads : {2, 3}) {
        TBitmap32 frame;
        ASSERT_TRUE(ShadeMaterial(two, point, frame, threads));
        ASSERT_EQ(frame.Width(), reference.Width());
        EXPECT_EQ(std::memcmp(frame.Bits(), reference.Bits(), reference.Pitch() * std::size_t(side * 2)), 0)
            << threads << " threads";
    }

    TBitmap32 frame;
    ASSERT_TRUE(ShadeMaterial(one, Directional(-1, 2, 3), frame, 2));
    const std::size_t quarter = std::size_t(side) * 4;
    for (std::int32_t y = 0; y < side; ++y) {
        const std::uint8_t* top = frame.Row(y);
        const std::uint8_t* bottom = frame.Row(y + side);
        EXPECT_EQ(std::memcmp(top, top + quarter, quarter), 0) << "row " << y;
        EXPECT_EQ(std::memcmp(top, bottom, quarter), 0) << "row " << y;
        EXPECT_EQ(std::memcmp(top, bottom + quarter, quarter), 0) << "row " << y;
    }
}

} // namespace
} // namespace vorn
