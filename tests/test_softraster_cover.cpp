// The rasteriser's "over" alpha: source-alpha blending with separate alpha factors ONE and
// INVSRCALPHA, as textures without a fill are drawn. Its kernels give the colour of source-alpha
// blending and the alpha As + Mul8(Ad, 255 - As), the SIMD ones exactly the scalar ones, and
// every path draws the generator's mirrored tinted stamps as the per-pixel reference does.
#include "engine/soft/SoftRaster.h"
#include "engine/soft/SoftRasterDetail.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using namespace vorn::sd;

namespace {

using Pixels = std::vector<std::uint32_t>;

TEST(SoftRasterCover, KernelsBlendTheColourAndCoverTheAlpha) {
    using namespace detail;
    std::mt19937 rng(77);
    const auto random = [&](int n) {
        Pixels v(static_cast<std::size_t>(n));
        for (std::uint32_t& p : v) {
            p = rng();
            if (rng() % 4 == 0) p |= 0xFF000000u;
            if (rng() % 4 == 0) p &= 0x00FFFFFFu;
        }
        return v;
    };
    const Kernels& scalar = ScalarKernels();
    for (const int n : {1, 3, 4, 7, 8, 9, 17, 203}) {
        const Pixels a = random(n), b = random(n);
        const std::uint32_t tint = rng();
        Pixels cover = b, plain = b;
        scalar.coverSrcAlpha(a.data(), cover.data(), n);
        scalar.blendSrcAlpha(a.data(), plain.data(), n);
        for (int i = 0; i < n; ++i) {
            const std::uint32_t as = a[i] >> 24, ad = b[i] >> 24;
            ASSERT_EQ(cover[i] & 0xFFFFFFu, plain[i] & 0xFFFFFFu) << i;
            ASSERT_EQ(cover[i] >> 24, as + Mul8(ad, 255 - as)) << i;
        }
        for (const Kernels* simd : {Avx512Kernels(), Avx2Kernels(), Sse41Kernels()}) {
            if (!simd) continue;
            const auto run = [&](const Kernels& k) {
                std::vector<Pixels> out(3, b);
                k.coverSrcAlpha(a.data(), out[0].data(), n);
                k.coverSrcAlphaTinted(a.data(), tint, out[1].data(), n);
                k.coverSrcAlphaTintedReversed(a.data() + n - 1, tint, out[2].data(), n);
                return out;
            };
            EXPECT_EQ(run(scalar), run(*simd)) << "span of " << n;
        }
    }
}

// Fours of stamps mirrored about random axes, of a symmetric disc brush, tinted and blended over
// a target of varied alpha: every path and thread count gives the reference's bytes, whose colour
// is that of plain source-alpha blending.
TEST(SoftRasterCover, MirroredTintedStampsMatchTheReference) {
    constexpr int Side = 24;
    std::mt19937 rng(5);
    Pixels texture(Side * Side, 0u);
    for (int y = 0; y < Side / 2; ++y)
        for (int x = 0; x < Side / 2; ++x) {
            const float r = std::hypot(x - (Side - 1) / 2.0f, y - (Side - 1) / 2.0f);
            const std::uint32_t t = r <= 0.45f * Side ? (rng() | 0x01000000u) : (rng() & 0x00FFFFFFu);
            for (const int ty : {y, Side - 1 - y})
                for (const int tx : {x, Side - 1 - x}) texture[std::size_t(ty) * Side + tx] = t;
        }
    const TextureView view{texture.data(), Side, Side, Side};
    const std::vector<TexelRowSpan> spans = FindAlphaRows(view);
    const auto render = [&](bool reference, SimdLevel simd, int threads, bool separate) {
        Pixels target(97 * 61);
        for (std::size_t i = 0; i < target.size(); ++i) target[i] = std::uint32_t(i * 2654435761u);
        DrawState st;
        st.target = {reinterpret_cast<std::uint8_t*>(target.data()), 97 * 4, 97, 61, false};
        st.cullMode = D3DCULL_NONE;
        st.colorArg2 = st.alphaArg2 = D3DTA_DIFFUSE;
        st.alphaOp = D3DTOP_MODULATE;
        st.hasTexture = true;
        st.texture = view;
        st.texture.alphaRows = spans.data();
        st.texture.mirroredX = st.texture.mirroredY = true;
        st.magFilter = st.minFilter = D3DTEXF_LINEAR;
        st.blend = true;
        st.srcBlend = D3DBLEND_SRCALPHA;
        st.destBlend = D3DBLEND_INVSRCALPHA;
        st.separateAlpha = separate;
        st.srcBlendAlpha = D3DBLEND_ONE;
        st.destBlendAlpha = D3DBLEND_INVSRCALPHA;
        st.options.reference = reference;
        st.options.maxSimd = simd;
        st.options.threads = threads;
        st.options.minPixelsToSplit = 0;
        std::mt19937 draws(9);
        const auto at = [&](float lo, float hi) {
            return std::uniform_real_distribution<float>(lo, hi)(draws);
        };
        std::vector<RasterVertex> v;
        for (int i = 0; i < 30; ++i) {
            const float w = at(4, 60), x = at(-20, 60), y = at(-10, 50);
            const float ax = float(int(at(20, 80))), ay = float(int(at(10, 50)));
            const D3DCOLOR c = D3DCOLOR(draws());
            for (const float qy : {y, 2 * ay - y - w})
                for (const float qx : {x, 2 * ax - x - w}) {
                    const RasterVertex k[4] = {{qx, qy, c, 0, 0},
                                               {qx + w, qy, c, 1, 0},
                                               {qx + w, qy + w, c, 1, 1},
                                               {qx, qy + w, c, 0, 1}};
                    v.insert(v.end(), {k[0], k[1], k[3], k[1], k[2], k[3]});
                }
        }
        DrawTriangles(st, v.data(), v.size() / 3);
        return target;
    };
    const Pixels ref = render(true, SimdLevel::Scalar, 1, true);
    const Pixels plain = render(true, SimdLevel::Scalar, 1, false);
    int coverChanged = 0;
    for (std::size_t i = 0; i < ref.size(); ++i) {
        ASSERT_EQ(ref[i] & 0xFFFFFFu, plain[i] & 0xFFFFFFu) << i;
        coverChanged += ref[i] != plain[i];
    }
    EXPECT_GT(coverChanged, 500);
    for (const SimdLevel simd : {SimdLevel::Scalar, SimdLevel::Sse41, SimdLevel::Avx2, SimdLevel::Avx512})
        for (const int threads : {1, 3})
            EXPECT_EQ(render(false, simd, threads, true), ref) << int(simd) << " " << threads;
}

} // namespace
