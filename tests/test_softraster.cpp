// Pixel results of the software rasteriser, worked out by hand, checked on every path: the
// per-pixel reference, the span path without and with the rectangle fast path, and the SIMD
// kernels; plus differential runs of the paths against each other on seeded random scenes.
#include "engine/soft/SoftRaster.h"
#include "engine/soft/SoftRasterDetail.h"
#include "engine/soft/SoftRasterPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace vorn::sd;

namespace {

struct Image {
    int width, height;
    std::vector<std::uint32_t> pixels;
    Image(int w, int h, std::uint32_t fill = 0) : width(w), height(h), pixels(std::size_t(w) * h, fill) {}
    std::uint32_t& at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
    TargetView View(bool opaque = false) {
        return TargetView{reinterpret_cast<std::uint8_t*>(pixels.data()), width * 4, width, height, opaque};
    }
    TextureView Texture() const { return TextureView{pixels.data(), width, width, height}; }
};

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

// First differing pixel of two images, or an empty string.
std::string FirstDifference(const Image& a, const Image& b) {
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const std::uint32_t pa = a.pixels[std::size_t(y) * a.width + x];
            const std::uint32_t pb = b.pixels[std::size_t(y) * b.width + x];
            if (pa != pb)
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + "): " + Hex(pa) + " vs " +
                       Hex(pb);
        }
    return {};
}

// The six vertices of a quad as the canvas submits it: triangles (0, 1, 3) and (1, 2, 3) over the
// corners top-left, top-right, bottom-right, bottom-left.
std::vector<RasterVertex> Quad(float x0, float y0, float x1, float y1, const D3DCOLOR c[4], float u0 = 0,
                               float v0 = 0, float u1 = 1, float v1 = 1) {
    const RasterVertex corner[4] = {
        {x0, y0, c[0], u0, v0}, {x1, y0, c[1], u1, v0}, {x1, y1, c[2], u1, v1}, {x0, y1, c[3], u0, v1}};
    return {corner[0], corner[1], corner[3], corner[1], corner[2], corner[3]};
}
std::vector<RasterVertex> Quad(float x0, float y0, float x1, float y1, D3DCOLOR color, float u0 = 0,
                               float v0 = 0, float u1 = 1, float v1 = 1) {
    const D3DCOLOR c[4] = {color, color, color, color};
    return Quad(x0, y0, x1, y1, c, u0, v0, u1, v1);
}

// The states the canvas uses: no culling, stage 0 texture times diffuse.
DrawState CanvasState(Image& target) {
    DrawState st;
    st.target = target.View();
    st.cullMode = D3DCULL_NONE;
    st.colorArg2 = D3DTA_DIFFUSE;
    st.alphaArg2 = D3DTA_DIFFUSE;
    st.alphaOp = D3DTOP_MODULATE;
    return st;
}

// The path the current test draws with; set by the fixture.
RasterOptions g_paths;

void Draw(DrawState st, const std::vector<RasterVertex>& v) {
    st.options = g_paths;
    DrawTriangles(st, v.data(), v.size() / 3);
}

// ---- every path ----

enum class Path { Reference, Spans, Rectangles, RectanglesSse41, RectanglesAvx2, RectanglesAvx512 };

// threads > 1 splits every draw, however small, into that many bands.
RasterOptions PathOptions(Path p, int threads = 1) {
    RasterOptions o;
    o.reference = p == Path::Reference;
    o.rectFastPath = p != Path::Reference && p != Path::Spans;
    o.quadFastPath = o.rectFastPath;
    o.maxSimd = p == Path::RectanglesAvx512  ? SimdLevel::Avx512
                : p == Path::RectanglesAvx2  ? SimdLevel::Avx2
                : p == Path::RectanglesSse41 ? SimdLevel::Sse41
                                             : SimdLevel::Scalar;
    o.threads = threads;
    o.minPixelsToSplit = 0;
    return o;
}

class RasterPaths : public ::testing::TestWithParam<Path> {
protected:
    void SetUp() override { g_paths = PathOptions(GetParam()); }
    void TearDown() override { g_paths = {}; }
};

std::string PathName(const ::testing::TestParamInfo<Path>& info) {
    static const char* const names[] = {"Reference",       "Spans",          "Rectangles",
                                        "RectanglesSse41", "RectanglesAvx2", "RectanglesAvx512"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(AllPaths, RasterPaths,
                         ::testing::Values(Path::Reference, Path::Spans, Path::Rectangles,
                                           Path::RectanglesSse41, Path::RectanglesAvx2,
                                           Path::RectanglesAvx512),
                         PathName);

TEST_P(RasterPaths, QuadFromOriginTo1024CoversExactlyPixels0To1023) {
    Image target(1030, 1030);
    DrawState st = CanvasState(target);
    Draw(st, Quad(0, 0, 1024, 1024, 0xFF336699u));
    for (int y = 0; y < 1030; ++y)
        for (int x = 0; x < 1030; ++x) {
            const std::uint32_t want = x < 1024 && y < 1024 ? 0xFF336699u : 0u;
            ASSERT_EQ(target.at(x, y), want) << "first difference at " << x << "," << y;
        }
}

TEST_P(RasterPaths, HalfPixelShiftMapsTexelsOntoPixels) {
    Image texture(1024, 1024);
    std::mt19937 rng(7);
    for (std::uint32_t& t : texture.pixels) t = rng();
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        Image target(1024, 1024);
        DrawState st = CanvasState(target);
        st.hasTexture = true;
        st.texture = texture.Texture();
        st.magFilter = st.minFilter = filter;
        Draw(st, Quad(-0.5f, -0.5f, 1023.5f, 1023.5f, 0xFFFFFFFFu));
        const std::string diff = FirstDifference(target, texture);
        EXPECT_TRUE(diff.empty()) << "filter " << filter << ", target vs texture at " << diff;
    }
}

TEST_P(RasterPaths, SharedDiagonalIsBlendedOnce) {
    Image target(48, 40, 0xFF000000u);
    DrawState st = CanvasState(target);
    st.blend = true;
    st.srcBlend = D3DBLEND_SRCALPHA;
    st.destBlend = D3DBLEND_INVSRCALPHA;
    Draw(st, Quad(0.3f, 0.7f, 37.6f, 29.2f, 0x80FF0000u));
    // red: Mul8(255, 128) + Mul8(0, 127) = 128; alpha: Mul8(128, 128) + Mul8(255, 127) = 64 + 127.
    // Twice would give red 128 + Mul8(128, 127) = 192.
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x) {
            const bool inside = x >= 1 && x <= 37 && y >= 1 && y <= 29;
            ASSERT_EQ(Hex(target.at(x, y)), Hex(inside ? 0xBF800000u : 0xFF000000u))
                << "at " << x << "," << y;
        }
}

TEST_P(RasterPaths, BothWindingsDrawnUnlessCulled) {
    Image target(8, 8);
    DrawState st = CanvasState(target);
    // Counter-clockwise on the screen (y down): top-left, bottom-left, bottom-right.
    const std::vector<RasterVertex> ccw = {
        {0, 0, 0xFFFFFFFFu, 0, 0}, {0, 8, 0xFFFFFFFFu, 0, 0}, {8, 8, 0xFFFFFFFFu, 0, 0}};
    Draw(st, ccw);
    EXPECT_EQ(target.at(1, 6), 0xFFFFFFFFu);
    Image culled(8, 8);
    st.target = culled.View();
    st.cullMode = D3DCULL_CCW;
    Draw(st, ccw);
    EXPECT_EQ(culled.at(1, 6), 0u);
    st.cullMode = D3DCULL_CW;
    Draw(st, ccw);
    EXPECT_EQ(culled.at(1, 6), 0xFFFFFFFFu);
}

TEST_P(RasterPaths, ColoursInterpolateLinearlyAndRoundHalvesUp) {
    Image target(4, 1);
    DrawState st = CanvasState(target);
    const D3DCOLOR c[4] = {0xFF000000u, 0xFFFF0000u, 0xFFFF0000u, 0xFF000000u};
    Draw(st, Quad(0, 0, 4, 1, c));
    // Red at pixel centre x is 255 * x / 4: 0, 63.75, 127.5, 191.25.
    EXPECT_EQ(Hex(target.at(0, 0)), Hex(0xFF000000u));
    EXPECT_EQ(Hex(target.at(1, 0)), Hex(0xFF400000u));
    EXPECT_EQ(Hex(target.at(2, 0)), Hex(0xFF800000u));
    EXPECT_EQ(Hex(target.at(3, 0)), Hex(0xFFBF0000u));
}

TEST_P(RasterPaths, FlatShadingTakesTheFirstVertex) {
    Image target(4, 4);
    DrawState st = CanvasState(target);
    st.flatShading = true;
    const D3DCOLOR c[4] = {0xFF102030u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    Draw(st, Quad(0, 0, 4, 4, c));
    // Triangle (0, 1, 3) starts at corner 0, triangle (1, 2, 3) at corner 1.
    EXPECT_EQ(Hex(target.at(0, 0)), Hex(0xFF102030u));
    EXPECT_EQ(Hex(target.at(3, 3)), Hex(0xFFFF0000u));
}

struct FactorCase {
    DWORD src, dst, op;
    std::uint32_t want;
};

// Source 0x80FF8000 (a 128, r 255, g 128, b 0) over destination 0x4000FF80 (a 64, r 0, g 255, b 128).
// Products used below: Mul8(128, 128) = 64, Mul8(128, 127) = 64, Mul8(64, 128) = 32,
// Mul8(255, 64) = 64, Mul8(128, 191) = 96, Mul8(64, 127) = 32, Mul8(64, 64) = 16, Mul8(64, 191) = 48.
const FactorCase FactorCases[] = {
    // Source factors, destination factor ZERO: Mul8(S, F).
    {D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x00000000u},
    {D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x80FF8000u},
    {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x40FF4000u},
    {D3DBLEND_INVSRCCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x40004000u},
    {D3DBLEND_SRCALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x40804000u},
    {D3DBLEND_INVSRCALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x407F4000u},
    {D3DBLEND_DESTALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x20402000u},
    {D3DBLEND_INVDESTALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x60BF6000u},
    {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x20008000u},
    {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x60FF0000u},
    {D3DBLEND_SRCALPHASAT, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x80804000u}, // f = min(128, 191), alpha 1
    // Destination factors, source factor ZERO: Mul8(D, F).
    {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLENDOP_ADD, 0x4000FF80u},
    {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, 0x20008000u},
    {D3DBLEND_ZERO, D3DBLEND_INVSRCCOLOR, D3DBLENDOP_ADD, 0x20007F80u},
    {D3DBLEND_ZERO, D3DBLEND_SRCALPHA, D3DBLENDOP_ADD, 0x20008040u},
    {D3DBLEND_ZERO, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0x20007F40u},
    {D3DBLEND_ZERO, D3DBLEND_DESTALPHA, D3DBLENDOP_ADD, 0x10004020u},
    {D3DBLEND_ZERO, D3DBLEND_INVDESTALPHA, D3DBLENDOP_ADD, 0x3000BF60u},
    {D3DBLEND_ZERO, D3DBLEND_DESTCOLOR, D3DBLENDOP_ADD, 0x1000FF40u},
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR, D3DBLENDOP_ADD, 0x30000040u},
    {D3DBLEND_ZERO, D3DBLEND_SRCALPHASAT, D3DBLENDOP_ADD, 0x40008040u},
    // Operations on unscaled colours (factors ONE, ONE), clamped to 0..255.
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD, 0xC0FFFF80u},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT, 0x40FF0000u},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, 0x00007F80u},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MIN, 0x40008000u},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX, 0x80FFFF80u},
    // MIN and MAX ignore the factors; the engine's alpha-blend effect.
    {D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_MIN, 0x40008000u},
    {D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_MAX, 0x80FFFF80u},
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0x6080BF40u}, // 64+32, 128+0, 64+127, 0+64
};

TEST_P(RasterPaths, EveryBlendFactorAndOperation) {
    for (const FactorCase& c : FactorCases) {
        Image target(3, 2, 0x4000FF80u);
        DrawState st = CanvasState(target);
        st.blend = true;
        st.srcBlend = c.src;
        st.destBlend = c.dst;
        st.blendOp = c.op;
        Draw(st, Quad(0, 0, 3, 2, 0x80FF8000u));
        for (std::uint32_t p : target.pixels)
            ASSERT_EQ(Hex(p), Hex(c.want)) << "src " << c.src << " dst " << c.dst << " op " << c.op;
    }
}

TEST_P(RasterPaths, SeparateAlphaAndWriteMask) {
    Image target(2, 2, 0x4000FF80u);
    DrawState st = CanvasState(target);
    st.blend = true;
    st.srcBlend = D3DBLEND_ONE;
    st.destBlend = D3DBLEND_ONE;
    st.separateAlpha = true;
    st.srcBlendAlpha = D3DBLEND_ZERO;
    st.destBlendAlpha = D3DBLEND_ZERO;
    Draw(st, Quad(0, 0, 2, 2, 0x80FF8000u));
    EXPECT_EQ(Hex(target.at(1, 1)), Hex(0x00FFFF80u)); // colour added, alpha zeroed

    Image masked(2, 2, 0x4000FF80u);
    st = CanvasState(masked);
    st.colorWriteMask = 0x1 | 0x8; // red and alpha
    Draw(st, Quad(0, 0, 2, 2, 0x80FF8000u));
    EXPECT_EQ(Hex(masked.at(0, 0)), Hex(0x80FFFF80u));
}

TEST_P(RasterPaths, OpaqueTargetsReadAndKeepAlpha255) {
    Image target(2, 2, 0xFF204060u);
    DrawState st = CanvasState(target);
    st.target = target.View(true);
    st.blend = true;
    st.srcBlend = D3DBLEND_ZERO;
    st.destBlend = D3DBLEND_DESTALPHA; // destination alpha reads as 255: the colour stays
    Draw(st, Quad(0, 0, 2, 2, 0x00000000u));
    EXPECT_EQ(Hex(target.at(0, 0)), Hex(0xFF204060u));
    st.destBlend = D3DBLEND_ZERO; // would store alpha 0
    Draw(st, Quad(0, 0, 2, 2, 0x00000000u));
    EXPECT_EQ(Hex(target.at(1, 1)), Hex(0xFF000000u));
}

TEST_P(RasterPaths, ModulateVariantsAndMultiplyAddClamp) {
    Image texel(1, 1, 0xFFC86432u); // a 255, r 200, g 100, b 50
    struct Case {
        DWORD op;
        std::uint32_t want;
    } cases[] = {
        // r: 2 * 200 * 200 / 255 = 313.7 -> 255; g: 2 * 100 * 100 / 255 = 78.4; b: 2 * 50 * 10 / 255 = 3.9
        {D3DTOP_MODULATE2X, 0xFFFF4E04u},
        // g: 40000 / 255 = 156.9; b: 2000 / 255 = 7.8
        {D3DTOP_MODULATE4X, 0xFFFF9D08u},
        // D + Mul8(T, D): r 200 + 157 -> 255; g 100 + 39 = 139; b 10 + 2 = 12
        {D3DTOP_MULTIPLYADD, 0xFFFF8B0Cu},
        // Mul8: r 157, g 39, b 2
        {D3DTOP_MODULATE, 0xFF9D2702u},
    };
    for (const Case& c : cases) {
        Image target(2, 2);
        DrawState st = CanvasState(target);
        st.hasTexture = true;
        st.texture = texel.Texture();
        st.colorOp = c.op;
        Draw(st, Quad(0, 0, 2, 2, 0xFFC8640Au)); // diffuse a 255, r 200, g 100, b 10
        EXPECT_EQ(Hex(target.at(1, 0)), Hex(c.want)) << "op " << c.op;
    }
}

TEST_P(RasterPaths, DotProduct3WithTheTextureFactor) {
    Image texel(1, 1, 0xFF808080u);
    Image target(2, 2);
    DrawState st = CanvasState(target);
    st.hasTexture = true;
    st.texture = texel.Texture();
    st.colorOp = D3DTOP_DOTPRODUCT3;
    st.colorArg2 = D3DTA_TFACTOR;
    st.textureFactor = 0xBBFFBBFFu;
    Draw(st, Quad(0, 0, 2, 2, 0xFFFFFFFFu));
    // (2 * 128 - 255) * (2 * f - 255) for f = 255, 187, 255: 255 + 119 + 255 = 629; 629 / 255 = 2.47,
    // into all four channels.
    EXPECT_EQ(Hex(target.at(1, 1)), Hex(0x02020202u));
}

TEST_P(RasterPaths, AlphaTestDropsTexelsBelowTheReference) {
    Image texture(2, 1);
    texture.at(0, 0) = 0x00FF0000u; // alpha 0
    texture.at(1, 0) = 0xFF00FF00u;
    Image target(2, 1, 0x12345678u);
    DrawState st = CanvasState(target);
    st.hasTexture = true;
    st.texture = texture.Texture();
    st.alphaTest = true;
    st.alphaFunc = D3DCMP_GREATEREQUAL;
    st.alphaRef = 1;
    Draw(st, Quad(-0.5f, -0.5f, 1.5f, 0.5f, 0xFFFFFFFFu));
    EXPECT_EQ(Hex(target.at(0, 0)), Hex(0x12345678u));
    EXPECT_EQ(Hex(target.at(1, 0)), Hex(0xFF00FF00u));

    // Every compare function against reference 128, texel alphas 127, 128, 129.
    Image three(3, 1);
    three.at(0, 0) = 0x7F000000u;
    three.at(1, 0) = 0x80000000u;
    three.at(2, 0) = 0x81000000u;
    const struct {
        DWORD func;
        bool pass[3];
    } funcs[] = {{D3DCMP_NEVER, {false, false, false}},      {D3DCMP_LESS, {true, false, false}},
                 {D3DCMP_EQUAL, {false, true, false}},       {D3DCMP_LESSEQUAL, {true, true, false}},
                 {D3DCMP_GREATER, {false, false, true}},     {D3DCMP_NOTEQUAL, {true, false, true}},
                 {D3DCMP_GREATEREQUAL, {false, true, true}}, {D3DCMP_ALWAYS, {true, true, true}}};
    for (const auto& f : funcs) {
        Image out(3, 1, 0x11111111u);
        st = CanvasState(out);
        st.hasTexture = true;
        st.texture = three.Texture();
        st.alphaTest = true;
        st.alphaFunc = f.func;
        st.alphaRef = 128;
        Draw(st, Quad(-0.5f, -0.5f, 2.5f, 0.5f, 0xFFFFFFFFu));
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(out.at(x, 0) != 0x11111111u, f.pass[x]) << "func " << f.func << " texel " << x;
    }
}

TEST_P(RasterPaths, BilinearSamplingWrapsAcrossTheEdges) {
    Image texture(4, 4, 0xFF000000u);
    texture.at(3, 3) = 0xFF000000u; // red 0
    texture.at(0, 3) = 0xFF640000u; // red 100
    texture.at(3, 0) = 0xFFC80000u; // red 200
    texture.at(0, 0) = 0xFF280000u; // red 40
    Image target(4, 4);
    DrawState st = CanvasState(target);
    st.hasTexture = true;
    st.texture = texture.Texture();
    st.magFilter = st.minFilter = D3DTEXF_LINEAR;
    // Unshifted: pixel (0, 0) samples u = v = 0, i.e. texel position (-0.5, -0.5), a quarter
    // of each of the texels (3, 3), (0, 3), (3, 0) and (0, 0): (0 + 100 + 200 + 40) / 4 = 85.
    Draw(st, Quad(0, 0, 4, 4, 0xFFFFFFFFu));
    EXPECT_EQ(Hex(target.at(0, 0)), Hex(0xFF550000u));

    // Magnified four times along a row of black and white: pixel 3 samples texel position 0.25,
    // 3/4 of texel 0 and 1/4 of texel 1: 255 * 64 / 256 = 63.75 -> 64.
    Image row(4, 1, 0xFF000000u);
    row.at(1, 0) = 0xFFFFFFFFu;
    Image wide(16, 1);
    st = CanvasState(wide);
    st.hasTexture = true;
    st.texture = row.Texture();
    st.magFilter = st.minFilter = D3DTEXF_LINEAR;
    Draw(st, Quad(0, 0, 16, 1, 0xFFFFFFFFu));
    EXPECT_EQ(Hex(wide.at(3, 0)), Hex(0xFF404040u));
    EXPECT_EQ(Hex(wide.at(6, 0)), Hex(0xFFFFFFFFu)); // position 1.0: texel 1 alone
    EXPECT_EQ(Hex(wide.at(0, 0)), Hex(0xFF000000u)); // between texels 3 and 0, both black
}

TEST_P(RasterPaths, BilinearWeightsRoundToTheNearest256th) {
    // Texels black, white magnified 5 times, unshifted: pixel i samples texel position i / 5 - 0.5.
    // Pixel 3: 0.1, white weight 25.6 -> 26: 255 * 26 / 256 = 25.9 -> 0x1A (truncated: 0x19).
    // Pixel 4: 0.3, white weight 76.8 -> 77: 255 * 77 / 256 = 76.7 -> 0x4D (truncated: 0x4C).
    // Pixel 8: 1.1, black (texel 2 wraps to 0) weight 26, white 230: 229.1 -> 0xE5 (truncated: 0xE6).
    Image row(2, 1, 0xFF000000u);
    row.at(1, 0) = 0xFFFFFFFFu;
    Image wide(10, 1);
    DrawState st = CanvasState(wide);
    st.hasTexture = true;
    st.texture = row.Texture();
    st.magFilter = st.minFilter = D3DTEXF_LINEAR;
    Draw(st, Quad(0, 0, 10, 1, 0xFFFFFFFFu));
    EXPECT_EQ(Hex(wide.at(3, 0)), Hex(0xFF1A1A1Au));
    EXPECT_EQ(Hex(wide.at(4, 0)), Hex(0xFF4D4D4Du));
    EXPECT_EQ(Hex(wide.at(8, 0)), Hex(0xFFE5E5E5u));
}

TEST_P(RasterPaths, MirroredStampsOfASymmetricBrushAreMirrorImages) {
    // A brush symmetric about its centre lines, stamped at free scales on the half-pixel grid
    // the canvas uses, and again at the mirror position x -> 63 - x of a 64-pixel target: the
    // second stamp is the mirror image of the first, pixel for pixel.
    Image brush(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int dx = 2 * x - 15, dy = 2 * y - 15;
            const int a = std::max(0, 255 - (dx * dx + dy * dy) * 255 / 450);
            brush.at(x, y) = std::uint32_t(a) << 24 | 0x00FFFFFFu;
        }
    for (const int size : {7, 11, 13, 19, 22, 23, 29}) {
        Image left(64, 40, 0xFF203040u), right(64, 40, 0xFF203040u);
        for (Image* target : {&left, &right}) {
            DrawState st = CanvasState(*target);
            st.hasTexture = true;
            st.texture = brush.Texture();
            st.magFilter = st.minFilter = D3DTEXF_LINEAR;
            st.blend = true;
            st.srcBlend = D3DBLEND_SRCALPHA;
            st.destBlend = D3DBLEND_INVSRCALPHA;
            const float x0 = target == &left ? 5.0f : 64.0f - 5.0f - float(size);
            Draw(st, Quad(x0 - 0.5f, 3.5f, x0 + float(size) - 0.5f, 3.5f + float(size), 0xFFC08040u));
        }
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(Hex(left.at(x, y)), Hex(right.at(63 - x, y)))
                    << "size " << size << " at " << x << "," << y;
    }
}

TEST_P(RasterPaths, NoTextureMeansWhiteTexels) {
    Image target(2, 2);
    DrawState st = CanvasState(target);
    st.colorOp = D3DTOP_SELECTARG1;
    st.alphaOp = D3DTOP_SELECTARG1;
    Draw(st, Quad(0, 0, 2, 2, 0x12345678u));
    EXPECT_EQ(Hex(target.at(0, 0)), Hex(0xFFFFFFFFu));
}

TEST_P(RasterPaths, HugeTrianglesAreClippedNotDropped) {
    Image target(16, 16);
    DrawState st = CanvasState(target);
    const std::vector<RasterVertex> tri = {{-1e6f, -1e6f, 0xFF00FF00u, 0, 0},
                                           {3e6f, -1e6f, 0xFF00FF00u, 0, 0},
                                           {-1e6f, 3e6f, 0xFF00FF00u, 0, 0}};
    Draw(st, tri);
    for (std::uint32_t p : target.pixels) ASSERT_EQ(Hex(p), Hex(0xFF00FF00u));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<RasterVertex> bad = {
        {nan, 0, 0xFFFFFFFFu, 0, 0}, {4, 0, 0xFFFFFFFFu, 0, 0}, {0, 4, 0xFFFFFFFFu, 0, 0}};
    Draw(st, bad);
    EXPECT_EQ(Hex(target.at(1, 1)), Hex(0xFF00FF00u));
}

// ---- lines ----

TEST(SoftLines, FrameLightsEveryBorderPixelOnce) {
    Image target(12, 12, 0xFF000000u);
    DrawState st = CanvasState(target);
    st.blend = true;
    st.srcBlend = D3DBLEND_ONE;
    st.destBlend = D3DBLEND_ONE;
    const D3DCOLOR c = 0x00010101u;
    const std::vector<RasterVertex> frame = {{0, 0, c, 0, 0}, {9, 0, c, 0, 0}, {9, 0, c, 0, 0},
                                             {9, 9, c, 0, 0}, {9, 9, c, 0, 0}, {0, 9, c, 0, 0},
                                             {0, 9, c, 0, 0}, {0, 0, c, 0, 0}};
    DrawLines(st, frame.data(), 4);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool border = x <= 9 && y <= 9 && (x == 0 || x == 9 || y == 0 || y == 9);
            ASSERT_EQ(Hex(target.at(x, y)), Hex(border ? 0xFF010101u : 0xFF000000u))
                << "at " << x << "," << y;
        }
}

TEST(SoftLines, FractionalEndsFollowTheDiamonds) {
    Image target(8, 4);
    DrawState st = CanvasState(target);
    // Starts inside the diamond of pixel 0 (left by the line), ends inside that of pixel 6 (not left).
    const std::vector<RasterVertex> line = {{0.3f, 2, 0xFFFFFFFFu, 0, 0}, {5.6f, 2, 0xFFFFFFFFu, 0, 0}};
    DrawLines(st, line.data(), 1);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(target.at(x, 2), x <= 5 ? 0xFFFFFFFFu : 0u) << x;
    // Colour runs from the first vertex to the second: red 0 at x = 0, 255 at x = 4 (not lit).
    Image ramp(8, 1);
    st = CanvasState(ramp);
    const std::vector<RasterVertex> fade = {{0, 0, 0xFF000000u, 0, 0}, {4, 0, 0xFFFF0000u, 0, 0}};
    DrawLines(st, fade.data(), 1);
    EXPECT_EQ(Hex(ramp.at(2, 0)), Hex(0xFF800000u)); // 127.5 rounds up
    EXPECT_EQ(ramp.at(4, 0), 0u);
}

// ---- differential: the paths agree on seeded random scenes ----

struct Scene {
    Image texture{1, 1};
    std::vector<DrawState> states;
    std::vector<std::vector<RasterVertex>> draws;
};

Scene RandomScene(std::uint32_t seed, bool rectangles, Image& target) {
    std::mt19937 rng(seed);
    auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    Scene s;
    const int tw = 1 + pick(300), th = 1 + pick(40);
    s.texture = Image(tw, th);
    for (std::uint32_t& t : s.texture.pixels) t = rng();
    const DWORD blends[][3] = {{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
                               {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD},
                               {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT},
                               {D3DBLEND_ZERO, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
                               {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX},
                               {D3DBLEND_DESTCOLOR, D3DBLEND_ONE, D3DBLENDOP_ADD},
                               {D3DBLEND_SRCALPHASAT, D3DBLEND_INVDESTCOLOR, D3DBLENDOP_SUBTRACT},
                               {D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLENDOP_ADD}};
    const DWORD ops[] = {D3DTOP_MODULATE, D3DTOP_MODULATE, D3DTOP_MODULATE2X, D3DTOP_MODULATE4X,
                         D3DTOP_MULTIPLYADD};
    for (int i = 0; i < 60; ++i) {
        DrawState st = CanvasState(target);
        st.hasTexture = pick(4) != 0;
        st.texture = s.texture.Texture();
        st.magFilter = st.minFilter = pick(3) ? D3DTEXF_LINEAR : D3DTEXF_POINT;
        if (pick(8) == 0) st.addressU = D3DTADDRESS_CLAMP;
        if (pick(8) == 0) st.addressV = D3DTADDRESS_MIRROR;
        const auto& b = blends[pick(8)];
        st.blend = pick(6) != 0;
        st.srcBlend = b[0];
        st.destBlend = b[1];
        st.blendOp = b[2];
        st.colorOp = ops[pick(5)];
        st.alphaTest = pick(6) == 0;
        st.alphaFunc = D3DCMP_GREATEREQUAL;
        st.alphaRef = 1 + pick(200);
        // Odd and fractional sizes and positions, some partly outside the target.
        const float x0 = uni(-20, float(target.width) + 5), y0 = uni(-20, float(target.height) + 5);
        const float x1 = x0 + uni(-70, 70), y1 = y0 + uni(-70, 70);
        const float u0 = uni(-2, 2), v0 = uni(-2, 2), u1 = u0 + uni(-3, 3), v1 = v0 + uni(-3, 3);
        std::vector<RasterVertex> v;
        if (rectangles) {
            const float ax = pick(2) ? std::round(x0) - 0.5f : x0, ay = pick(2) ? std::round(y0) - 0.5f : y0;
            if (pick(2)) {
                v = Quad(ax, ay, x1, y1, D3DCOLOR(rng()), u0, v0, u1, v1);
            } else {
                // An affine colour ramp: corner 2 = corner 1 + corner 3 - corner 0 per channel.
                // Some ramps run only across or only down, as the background gradients do.
                D3DCOLOR c[4] = {0, 0, 0, 0};
                const int direction = pick(4);
                for (int k = 0; k < 4; ++k) {
                    const int base = pick(256);
                    const int dx = direction == 1 ? 0 : pick(256) - base,
                              dy = direction == 2 ? 0 : pick(256) - base;
                    const int far = std::clamp(base + dx + dy, 0, 255);
                    c[0] |= D3DCOLOR(base) << (8 * k);
                    c[1] |= D3DCOLOR(base + dx) << (8 * k);
                    c[3] |= D3DCOLOR(base + dy) << (8 * k);
                    c[2] |= D3DCOLOR(far) << (8 * k);
                }
                v = Quad(ax, ay, x1, y1, c, u0, v0, u1, v1);
            }
        } else {
            for (int k = 0; k < 3; ++k)
                v.push_back({uni(-30, float(target.width) + 30), uni(-30, float(target.height) + 30),
                             D3DCOLOR(rng()), uni(-2, 2), uni(-2, 2)});
        }
        s.states.push_back(st);
        s.draws.push_back(std::move(v));
    }
    return s;
}

Image Render(std::uint32_t seed, bool rectangles, Path path, int threads) {
    Image target(97, 61, 0x80402010u);
    Scene s = RandomScene(seed, rectangles, target);
    for (std::size_t i = 0; i < s.draws.size(); ++i) {
        s.states[i].texture = s.texture.Texture();
        s.states[i].options = PathOptions(path, threads);
        DrawTriangles(s.states[i], s.draws[i].data(), s.draws[i].size() / 3);
    }
    return target;
}

// Every path on 1, 2 and 3 threads (bands set by each draw's work) against the reference on one.
void ExpectPathsAgree(std::uint32_t seed, bool rectangles) {
    const Image ref = Render(seed, rectangles, Path::Reference, 1);
    for (Path p : {Path::Reference, Path::Spans, Path::Rectangles, Path::RectanglesSse41,
                   Path::RectanglesAvx2, Path::RectanglesAvx512})
        for (int threads : {1, 2, 3}) {
            const std::string diff = FirstDifference(Render(seed, rectangles, p, threads), ref);
            EXPECT_TRUE(diff.empty())
                << "path " << int(p) << " on " << threads << " threads vs reference at " << diff;
        }
}

TEST(SoftRasterDifferential, RectanglesSeed1) {
    ExpectPathsAgree(1, true);
}
TEST(SoftRasterDifferential, RectanglesSeed20240611) {
    ExpectPathsAgree(20240611, true);
}
TEST(SoftRasterDifferential, RectanglesSeed777) {
    ExpectPathsAgree(777, true);
}
TEST(SoftRasterDifferential, TrianglesSeed5) {
    ExpectPathsAgree(5, false);
}
TEST(SoftRasterDifferential, TrianglesSeed99991) {
    ExpectPathsAgree(99991, false);
}

// Brush-like stamps: tinted textures blended by their alpha, whose texels are transparent
// around a disc, in some rows entirely and in some reaching the first or last column. The span
// paths skip the pixels whose texels are all transparent; each path must still match the
// reference, which draws every pixel, at every scale, offset and thread count.
TEST(SoftRasterDifferential, StampsSkipOnlyPixelsWhoseTexelsAreAllTransparent) {
    for (std::uint32_t seed : {3u, 41u, 2024u}) {
        std::mt19937 rng(seed);
        auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
        auto pick = [&](int n) { return int(rng() % unsigned(n)); };
        Image texture(3 + pick(70), 3 + pick(40));
        const float cx = (texture.width - 1) / 2.0f, cy = (texture.height - 1) / 2.0f;
        const float radius = uni(0.3f, 0.7f) * float(std::min(texture.width, texture.height));
        for (int y = 0; y < texture.height; ++y) {
            const bool edgeRow = pick(9) == 0; // a texel in the first or last column
            for (int x = 0; x < texture.width; ++x) {
                const bool inside =
                    std::hypot(x - cx, y - cy) <= radius || (edgeRow && (x == 0 || x == texture.width - 1));
                texture.at(x, y) = (rng() & 0x00FFFFFFu) | (inside ? D3DCOLOR(1 + pick(255)) << 24 : 0u);
            }
        }
        const std::vector<TexelRowSpan> spans = FindAlphaRows(texture.Texture());
        auto render = [&](Path path, int threads) {
            Image target(97, 61, 0x80402010u);
            std::mt19937 draws(seed);
            auto at = [&](float lo, float hi) {
                return std::uniform_real_distribution<float>(lo, hi)(draws);
            };
            for (int i = 0; i < 40; ++i) {
                DrawState st = CanvasState(target);
                st.hasTexture = true;
                st.texture = texture.Texture();
                st.texture.alphaRows = spans.data();
                st.magFilter = st.minFilter = D3DTEXF_LINEAR;
                if (draws() % 4 == 0) st.addressV = D3DTADDRESS_CLAMP;
                st.blend = true;
                st.srcBlend = D3DBLEND_SRCALPHA;
                st.destBlend = D3DBLEND_INVSRCALPHA;
                st.options = PathOptions(path, threads);
                // Magnified and minified, at fractional places, some partly outside the target;
                // a few read past the texture's edge.
                const float size = at(2, 130), x0 = at(-30, 100), y0 = at(-30, 60);
                const bool past = draws() % 5 == 0;
                const float u0 = past ? at(-0.3f, 0.3f) : 0, v0 = past ? at(-0.3f, 0.3f) : 0;
                const std::vector<RasterVertex> v = Quad(x0, y0, x0 + size * at(0.5f, 1.5f), y0 + size,
                                                         D3DCOLOR(draws()), u0, v0, u0 + 1, v0 + 1);
                DrawTriangles(st, v.data(), v.size() / 3);
            }
            return target;
        };
        const Image ref = render(Path::Reference, 1);
        for (Path p : {Path::Spans, Path::Rectangles, Path::RectanglesSse41, Path::RectanglesAvx2,
                       Path::RectanglesAvx512})
            for (int threads : {1, 2}) {
                const std::string diff = FirstDifference(render(p, threads), ref);
                EXPECT_TRUE(diff.empty())
                    << "seed " << seed << ", path " << int(p) << " on " << threads << " threads: " << diff;
            }
    }
}

// The generator stamps each brush at (x, y) and at its mirror places across the tile's centre
// lines: a rectangle after another that it mirrors blends the samples the other took, in mirrored
// order, when the texture is symmetric across the mirror's line. Such fours of a disc brush (on the pixel
// grid, off it by 1/256 and 1/8 of a pixel, partly outside the target), of a symmetric and of a lopsided
// texture, must match the reference on every path and thread count.
TEST(SoftRasterDifferential, MirrorStampsMatchTheReference) {
    for (const bool symmetric : {true, false}) {
        std::mt19937 rng(symmetric ? 11u : 12u);
        auto pick = [&](int n) { return int(rng() % unsigned(n)); };
        Image texture(2 + pick(60), 2 + pick(30));
        // A disc of texels with alpha, transparent around it, and whole rows transparent.
        const float cx = (texture.width - 1) / 2.0f, cy = (texture.height - 1) / 2.0f;
        const float radius = 0.45f * float(std::min(texture.width, texture.height));
        for (int y = 0; y < (texture.height + 1) / 2; ++y)
            for (int x = 0; x < (texture.width + 1) / 2; ++x) {
                const bool inside = std::hypot(x - cx, y - cy) <= radius;
                const std::uint32_t t = (rng() | 0x01000000u) & (inside ? 0xFFFFFFFFu : 0x00FFFFFFu);
                const int mx = texture.width - 1 - x, my = texture.height - 1 - y;
                texture.at(x, y) = t;
                texture.at(mx, y) = symmetric ? t : rng();
                texture.at(x, my) = symmetric ? t : rng();
                texture.at(mx, my) = symmetric ? t : rng();
            }
        ASSERT_EQ(MirroredInX(texture.Texture()), symmetric);
        ASSERT_EQ(MirroredInY(texture.Texture()), symmetric);
        const std::vector<TexelRowSpan> spans = FindAlphaRows(texture.Texture());
        auto render = [&](Path path, int threads) {
            Image target(97, 61, 0x80402010u);
            std::mt19937 draws(5);
            auto at = [&](float lo, float hi) {
                return std::uniform_real_distribution<float>(lo, hi)(draws);
            };
            auto off = [&] { return draws() % 3 == 0 ? (draws() % 2 ? 1 / 256.0f : 0.125f) : 0.0f; };
            std::vector<RasterVertex> v;
            for (int i = 0; i < 30; ++i) {
                const float w = at(1, 90), h = at(1, 50), x = at(-20, 60), y = at(-10, 50);
                const float ax = float(int(at(20, 120))) + (draws() % 2 ? 0.5f : 0.0f);
                const float ay = float(int(at(10, 60))) + (draws() % 2 ? 0.5f : 0.0f);
                const float mx = 2 * ax - x - w + off(), my = 2 * ay - y - h + off();
                const D3DCOLOR c = D3DCOLOR(draws());
                for (const std::vector<RasterVertex>& q :
                     {Quad(x, y, x + w, y + h, c), Quad(mx, y, mx + w, y + h, c),
                      Quad(x, my, x + w, my + h, c), Quad(mx, my, mx + w, my + h, c)})
                    v.insert(v.end(), q.begin(), q.end());
            }
            DrawState st = CanvasState(target);
            st.hasTexture = true;
            st.texture = texture.Texture();
            st.texture.alphaRows = spans.data();
            st.texture.mirroredX = st.texture.mirroredY = symmetric;
            st.magFilter = st.minFilter = D3DTEXF_LINEAR;
            st.blend = true;
            st.srcBlend = D3DBLEND_SRCALPHA;
            st.destBlend = D3DBLEND_INVSRCALPHA;
            st.options = PathOptions(path, threads);
            DrawTriangles(st, v.data(), v.size() / 3);
            return target;
        };
        const Image ref = render(Path::Reference, 1);
        for (Path p : {Path::Rectangles, Path::RectanglesSse41, Path::RectanglesAvx2, Path::RectanglesAvx512})
            for (int threads : {1, 3}) {
                const std::string diff = FirstDifference(render(p, threads), ref);
                EXPECT_TRUE(diff.empty()) << (symmetric ? "symmetric" : "lopsided") << ", path " << int(p)
                                          << " on " << threads << " threads: " << diff;
            }
    }
}

// ---- quads drawn as one polygon ----

// Random convex quads (corners on an ellipse, some on pixel centres or pixel edges), split along
// either diagonal and in either winding, each drawn additively once: through the quad path and as
// two triangles by the reference, on 1 and 2 threads. Every pixel must be covered at most once and
// both must cover the very same pixels.
TEST(SoftRasterQuads, ConvexQuadsCoverEveryPixelOnceAsTheirTwoTriangles) {
    std::mt19937 rng(2718);
    auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    for (int n = 0; n < 400; ++n) {
        const float cx = uni(10, 54), cy = uni(10, 54), rx = uni(0.5f, 30), ry = uni(0.5f, 30);
        float angle[4];
        for (float& a : angle) a = uni(0, 6.2831853f);
        std::sort(angle, angle + 4);
        RasterVertex c[4];
        for (int k = 0; k < 4; ++k) {
            float x = cx + rx * std::cos(angle[k]), y = cy + ry * std::sin(angle[k]);
            if (n % 3 == 1) x = std::round(x), y = std::round(y);               // on pixel centres
            if (n % 3 == 2) x = std::round(x) - 0.5f, y = std::round(y) - 0.5f; // on pixel edges
            c[k] = {x, y, 0x01010101u, 0, 0};
        }
        // Rounding may bend or fold the quad: such corners are drawn again.
        bool convex = true;
        for (int k = 0; k < 4; ++k) {
            const RasterVertex &a = c[k], &b = c[(k + 1) % 4], &d = c[(k + 2) % 4];
            convex =
                convex &&
                (double(b.x) - a.x) * (double(d.y) - b.y) - (double(b.y) - a.y) * (double(d.x) - b.x) > 0;
        }
        if (!convex) {
            --n;
            continue;
        }
        if (n % 2) std::reverse(c, c + 4);
        const bool otherDiagonal = (n / 2) % 2 == 1;
        const std::vector<RasterVertex> v =
            otherDiagonal ? std::vector<RasterVertex>{c[0], c[1], c[2], c[0], c[2], c[3]}
                          : std::vector<RasterVertex>{c[0], c[1], c[3], c[1], c[2], c[3]};
        Image reference(64, 64);
        DrawState st = CanvasState(reference);
        st.blend = true;
        st.srcBlend = st.destBlend = D3DBLEND_ONE;
        st.options = PathOptions(Path::Reference);
        DrawTriangles(st, v.data(), 2);
        for (int threads : {1, 2}) {
            Image quad(64, 64);
            st.target = quad.View();
            st.options = PathOptions(Path::RectanglesAvx2, threads);
            DrawTriangles(st, v.data(), 2);
            const std::string diff = FirstDifference(quad, reference);
            ASSERT_TRUE(diff.empty()) << "quad " << n << " on " << threads << " threads: " << diff;
            for (std::uint32_t p : quad.pixels) ASSERT_LE(p, 0x01010101u) << "quad " << n << " blended twice";
        }
    }
}

// ---- arithmetic and kernels ----

TEST(SoftRasterMath, Mul8IsRoundedProductOver255) {
    for (std::uint32_t a = 0; a < 256; ++a)
        for (std::uint32_t b = 0; b < 256; ++b)
            ASSERT_EQ(Mul8(a, b), (2 * a * b + 255) / 510) << a << " * " << b;
}

void ExpectTwinsMatchScalar(const vorn::sd::detail::Kernels* simd) {
    using namespace vorn::sd::detail;
    if (!simd) GTEST_SKIP() << "this processor lacks the instructions";
    const Kernels& scalar = ScalarKernels();
    std::mt19937 rng(31337);
    const int n = 203; // not a multiple of any vector width
    auto randomPixels = [&](int count) {
        std::vector<std::uint32_t> v(static_cast<std::size_t>(count));
        for (std::uint32_t& p : v) {
            p = rng();
            if (rng() % 4 == 0) p |= 0xFF000000u;
            if (rng() % 4 == 0) p &= 0x00FFFFFFu;
            if (rng() % 8 == 0) p = rng() % 2 ? 0xFFFFFFFFu : 0u;
        }
        return v;
    };
    // Every pair of channel values through the modulate kernels.
    std::vector<std::uint32_t> tex(65536), dif(65536), x0(65536), y0(65536);
    for (std::uint32_t i = 0; i < 65536; ++i) {
        tex[i] = (i & 0xFF) * 0x01010101u;
        dif[i] = (i >> 8) * 0x01010101u;
    }
    scalar.modulate(tex.data(), dif.data(), x0.data(), 65536);
    simd->modulate(tex.data(), dif.data(), y0.data(), 65536);
    ASSERT_EQ(x0, y0) << "modulate, all pairs";
    for (std::uint32_t i = 0; i < 65536; ++i) ASSERT_EQ(x0[i] & 0xFF, Mul8(i & 0xFF, i >> 8));
    for (int round = 0; round < 20; ++round) {
        const auto a = randomPixels(n), b = randomPixels(n), c = randomPixels(n), d = randomPixels(n);
        std::vector<std::uint32_t> x(n), y(n);
        scalar.modulate(a.data(), b.data(), x.data(), n);
        simd->modulate(a.data(), b.data(), y.data(), n);
        ASSERT_EQ(x, y) << "modulate";
        scalar.modulateConst(a.data(), b[0], x.data(), n);
        simd->modulateConst(a.data(), b[0], y.data(), n);
        ASSERT_EQ(x, y) << "modulateConst";
        x = b;
        y = b;
        scalar.blendSrcAlpha(a.data(), x.data(), n);
        simd->blendSrcAlpha(a.data(), y.data(), n);
        ASSERT_EQ(x, y) << "blendSrcAlpha";
        x = b;
        y = b;
        scalar.blendSrcAlphaTinted(a.data(), c[0], x.data(), n);
        simd->blendSrcAlphaTinted(a.data(), c[0], y.data(), n);
        ASSERT_EQ(x, y) << "blendSrcAlphaTinted";
        x = b;
        y = b;
        scalar.blendSrcAlphaTintedReversed(a.data() + n - 1, c[0], x.data(), n);
        simd->blendSrcAlphaTintedReversed(a.data() + n - 1, c[0], y.data(), n);
        ASSERT_EQ(x, y) << "blendSrcAlphaTintedReversed";
        for (DWORD op :
             {D3DBLENDOP_ADD, D3DBLENDOP_SUBTRACT, D3DBLENDOP_REVSUBTRACT, D3DBLENDOP_MIN, D3DBLENDOP_MAX}) {
            scalar.blendOp(op, a.data(), b.data(), c.data(), d.data(), x.data(), n);
            simd->blendOp(op, a.data(), b.data(), c.data(), d.data(), y.data(), n);
            ASSERT_EQ(x, y) << "blendOp " << op;
        }
        // Filtering: random columns of two random rows, random weights.
        const auto row0 = randomPixels(64), row1 = randomPixels(64);
        std::vector<std::int32_t> cols(n), index(n);
        std::vector<std::uint32_t> weights(n);
        for (int i = 0; i < n; ++i) {
            cols[i] = int(rng() % 64);
            index[i] = int(rng() % unsigned(n - 1));
            weights[i] = PackWeights(rng() % 256);
        }
        const std::uint32_t fy = round == 0 ? 0 : rng() % 256;
        std::vector<TexelColumn> p(n), q(n);
        auto same = [&](const char* what) {
            for (int i = 0; i < n; ++i)
                for (int k = 0; k < 4; ++k) ASSERT_EQ(p[i].v[k], q[i].v[k]) << what << " " << i;
        };
        scalar.verticalList(row0.data(), row1.data(), fy, cols.data(), n, p.data());
        simd->verticalList(row0.data(), row1.data(), fy, cols.data(), n, q.data());
        same("verticalList");
        const int first = int(rng() % 20), count = 1 + int(rng() % 44);
        scalar.verticalRange(row0.data(), row1.data(), fy, first, count, p.data());
        simd->verticalRange(row0.data(), row1.data(), fy, first, count, q.data());
        same("verticalRange");
        scalar.verticalList(row0.data(), row1.data(), fy, cols.data(), n, p.data());
        scalar.horizontal(p.data(), index.data(), weights.data(), n, x.data());
        simd->horizontal(p.data(), index.data(), weights.data(), n, y.data());
        ASSERT_EQ(x, y) << "horizontal";
    }
}

// Spans of every length up to two vectors and a half: the SIMD kernels' last, partial step gives
// the scalar results and writes nothing past the span (one guard element after each output).
void ExpectTailsMatchScalar(const vorn::sd::detail::Kernels* simd) {
    using namespace vorn::sd::detail;
    if (!simd) GTEST_SKIP() << "this processor lacks the instructions";
    std::mt19937 rng(4242);
    std::vector<std::uint32_t> rows(48);
    for (std::uint32_t& t : rows) t = rng();
    std::vector<TexelColumn> filtered(24);
    ScalarKernels().verticalRange(rows.data(), rows.data() + 24, 31, 0, 24, filtered.data());
    for (int n = 1; n <= 20; ++n) {
        std::vector<std::uint32_t> a(n), b(n), c(n), w(n);
        std::vector<std::int32_t> cols(n), index(n);
        for (int i = 0; i < n; ++i) {
            a[i] = rng(), b[i] = rng(), c[i] = rng(), w[i] = PackWeights(rng() % 256);
            cols[i] = int(rng() % 24), index[i] = int(rng() % 23);
        }
        // Every kernel's output followed by its guard, pixels as they are, columns as 2 x 32 bits.
        auto run = [&](const Kernels& k) {
            std::vector<std::vector<std::uint32_t>> out(7, std::vector<std::uint32_t>(n + 1, 0xDEADBEEFu));
            k.modulate(a.data(), b.data(), out[0].data(), n);
            k.modulateConst(a.data(), c[0], out[1].data(), n);
            std::copy(b.begin(), b.end(), out[2].begin());
            k.blendSrcAlpha(a.data(), out[2].data(), n);
            std::copy(b.begin(), b.end(), out[3].begin());
            k.blendSrcAlphaTinted(a.data(), c[0], out[3].data(), n);
            k.blendOp(D3DBLENDOP_REVSUBTRACT, a.data(), b.data(), c.data(), w.data(), out[4].data(), n);
            k.horizontal(filtered.data(), index.data(), w.data(), n, out[5].data());
            std::copy(b.begin(), b.end(), out[6].begin());
            k.blendSrcAlphaTintedReversed(a.data() + n - 1, c[0], out[6].data(), n);
            for (int list = 0; list < 2; ++list) {
                std::vector<TexelColumn> columns(n + 1, TexelColumn{{0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A}});
                if (list)
                    k.verticalList(rows.data(), rows.data() + 24, 200, cols.data(), n, columns.data());
                else
                    k.verticalRange(rows.data(), rows.data() + 24, 77, 3, n, columns.data());
                std::vector<std::uint32_t> words(2 * (n + 1));
                std::memcpy(words.data(), columns.data(), words.size() * 4);
                out.push_back(words);
            }
            return out;
        };
        EXPECT_EQ(run(ScalarKernels()), run(*simd)) << "span of " << n;
    }
}

TEST(SoftRasterKernels, Avx512TailsMatchScalar) {
    ExpectTailsMatchScalar(vorn::sd::detail::Avx512Kernels());
}
TEST(SoftRasterKernels, Avx2TailsMatchScalar) {
    ExpectTailsMatchScalar(vorn::sd::detail::Avx2Kernels());
}
TEST(SoftRasterKernels, Sse41TailsMatchScalar) {
    ExpectTailsMatchScalar(vorn::sd::detail::Sse41Kernels());
}

TEST(SoftRasterKernels, Avx512TwinsMatchScalar) {
    ExpectTwinsMatchScalar(vorn::sd::detail::Avx512Kernels());
}
TEST(SoftRasterKernels, Avx2TwinsMatchScalar) {
    ExpectTwinsMatchScalar(vorn::sd::detail::Avx2Kernels());
}
TEST(SoftRasterKernels, Sse41TwinsMatchScalar) {
    ExpectTwinsMatchScalar(vorn::sd::detail::Sse41Kernels());
}

// The pool under faults and changing thread counts: a throwing band reaches the caller only after
// every band in flight has returned, the pool then runs the next job, and a job draws on no more
// threads than it asks for even after a larger one started more workers.
struct PoolProbe {
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::atomic<int> inside{0};
    std::atomic<int> calls{0};
    int throwAt = -1;
};

void PoolBand(void* context, int band) {
    auto& probe = *static_cast<PoolProbe*>(context);
    ++probe.inside;
    ++probe.calls;
    {
        const std::lock_guard<std::mutex> lock(probe.mutex);
        probe.threads.insert(std::this_thread::get_id());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2)); // let every worker find a band
    --probe.inside;
    if (band == probe.throwAt) throw std::runtime_error("band failed");
}

TEST(SoftRasterPool, SurvivesThrowingBandsAndKeepsToTheThreadCount) {
    detail::RasterPool pool;
    for (int throwAt : {0, 5, 15}) {
        PoolProbe probe;
        probe.throwAt = throwAt;
        EXPECT_THROW(pool.Run(16, 4, PoolBand, &probe), std::runtime_error) << "band " << throwAt;
        EXPECT_EQ(probe.inside.load(), 0) << "a band still drawing after Run returned";
        const int calls = probe.calls.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(probe.calls.load(), calls) << "a band started after Run returned";
    }
    for (int threads : {8, 2, 3, 1}) {
        PoolProbe probe;
        pool.Run(16, threads, PoolBand, &probe);
        EXPECT_EQ(probe.calls.load(), 16);
        EXPECT_LE(int(probe.threads.size()), threads) << "asked for " << threads;
    }
}

} // namespace
