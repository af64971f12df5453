// The canvas drawing through the software device into render targets, read back texel by texel:
// which pixels a fill, a frame or a textured quad covers, how texels land on pixels, which cell
// of an image a pattern draws, and the exact colour of a tinted brush texel under each of the
// generator's effects.
//
// Expected colours are worked out from the blend rules with the layer's 8-bit model:
// Mul8(a, b) = round(a * b / 255); MODULATE = Mul8(T, D); MODULATE2X = min(255, round(2 T D / 255));
// MULTIPLYADD = min(255, D + Mul8(T, D)); blending = op(Mul8(src, srcFactor), Mul8(dst, dstFactor)),
// clamped to 0..255. Colours below are read back as 0xAARRGGBB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/VornImages.h"
#include "engine/DXTextures.h"
#include "engine/VornCanvas.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "engine/soft/SoftDevice.h"
#include "support/CanvasFixture.h"
#include "support/ReadBack.h"

namespace vorn {
namespace {

using namespace sd;

struct TImage {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<std::uint32_t> Pixels; // 0xAARRGGBB, row by row
    std::uint32_t At(std::int32_t x, std::int32_t y) const {
        return Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                      static_cast<std::size_t>(x)];
    }
};

// Compares every pixel with expected(x, y); reports the first mismatch with both values.
::testing::AssertionResult
PixelsAre(const TImage& image, const std::function<std::uint32_t(std::int32_t, std::int32_t)>& expected) {
    for (std::int32_t y = 0; y < image.Height; ++y)
        for (std::int32_t x = 0; x < image.Width; ++x) {
            const std::uint32_t want = expected(x, y);
            const std::uint32_t got = image.At(x, y);
            if (got != want) {
                char text[96];
                std::snprintf(text, sizeof text, "first difference at (%d, %d): got 0x%08X, expected 0x%08X",
                              x, y, got, want);
                return ::testing::AssertionFailure() << text;
            }
        }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameImage(const TImage& a, const TImage& b) {
    if (a.Width != b.Width || a.Height != b.Height) return ::testing::AssertionFailure() << "sizes differ";
    return PixelsAre(a, [&](std::int32_t x, std::int32_t y) { return b.At(x, y); });
}

class CanvasPixels : public test::CanvasFixture {
protected:
    void SetUp() override {
        ConfigureCanvas();
        ASSERT_TRUE(m_device.Initialize());
    }
    void TearDown() override {
        m_monos.clear();
        CanvasFixture::TearDown();
    }

    std::int32_t AddTarget(std::int32_t size) {
        EXPECT_TRUE(m_textures.AddRenderTargets(1, size, size, aqHigh, alFull));
        return m_textures.Count() - 1;
    }

    // Clears target index to clear (a canvas colour), draws, and reads the target back.
    TImage Render(std::int32_t index, TCanvasColor clear, const std::function<void()>& draw) {
        EXPECT_TRUE(m_textures.RenderIntoTarget(
            index, clear, [&](TVornTextures*) { draw(); }, true));
        return ReadBack(*m_textures.GetTarget(index));
    }

    TImage ReadBack(TRenderTarget& target) {
        TImage image;
        std::string failure;
        std::vector<std::uint32_t> texels = test::ReadTarget(m_device, target, &failure);
        if (!failure.empty()) {
            ADD_FAILURE() << failure;
            return image;
        }
        image.Width = target.Width();
        image.Height = target.Height();
        image.Pixels = std::move(texels);
        return image;
    }

    // Writes texel(n, x, y) (0xAARRGGBB) into every sub-texture of an A8R8G8B8 texture.
    static void Fill(TDXBaseTexture& texture, std::int32_t count,
                     const std::function<std::uint32_t(std::int32_t, std::int32_t, std::int32_t)>& texel) {
        for (std::int32_t n = 0; n < count; ++n) {
            TLockedTexels info;
            ASSERT_TRUE(texture.Lock(n, laWrite, info));
            ASSERT_EQ(info.Format, tfA8R8G8B8);
            for (std::int32_t y = 0; y < texture.Height(); ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(info.Bits) +
                                                             static_cast<std::ptrdiff_t>(y) * info.Pitch);
                for (std::int32_t x = 0; x < texture.Width(); ++x) row[x] = texel(n, x, y);
            }
            texture.Unlock(n);
        }
    }

    TVornImage*
    MakeImage(std::int32_t width, std::int32_t height, std::int32_t count, TIntSize pattern, TIntSize visible,
              const std::function<std::uint32_t(std::int32_t, std::int32_t, std::int32_t)>& texel) {
        TVornImage* image = AddReadyImage(width, height, count, pattern, visible);
        EXPECT_EQ(image->Format(), D3DFMT_A8R8G8B8);
        Fill(*image, count, texel);
        return image;
    }

    TDXMonoTexture*
    MakeTexture(std::int32_t width, std::int32_t height,
                const std::function<std::uint32_t(std::int32_t, std::int32_t, std::int32_t)>& texel) {
        auto texture = std::make_unique<TDXMonoTexture>(&m_device, tkManaged);
        texture->SetMipmapping(false);
        texture->SetSize(width, height);
        texture->SetFormat(D3DFMT_A8R8G8B8);
        texture->ChangeState(tsReady);
        EXPECT_EQ(texture->State(), tsReady);
        Fill(*texture, 1, texel);
        m_monos.push_back(std::move(texture));
        return m_monos.back().get();
    }

    std::vector<std::unique_ptr<TDXMonoTexture>> m_monos;
};

constexpr TCanvasColor Transparent = 0x00000000u;
// Canvas colours are 0xAABBGGRR; read back as 0xAARRGGBB.
constexpr TCanvasColor Orange = 0xFF3366CCu; // red CC, green 66, blue 33
constexpr std::uint32_t OrangeArgb = 0xFFCC6633u;

// ---- coverage of fills and frames ----

TEST_F(CanvasPixels, NegativeExtentsFillTheSameRectangle) {
    const std::int32_t target = AddTarget(32);
    const TImage positive =
        Render(target, Transparent, [&] { m_canvas->FillSolidRect(4, 8, 6, 4, Orange, beOpaque); });
    EXPECT_TRUE(PixelsAre(positive, [](std::int32_t x, std::int32_t y) {
        return x >= 4 && x < 10 && y >= 8 && y < 12 ? OrangeArgb : 0u;
    }));
    const TImage both =
        Render(target, Transparent, [&] { m_canvas->FillSolidRect(10, 12, -6, -4, Orange, beOpaque); });
    EXPECT_TRUE(SameImage(both, positive));
    const TImage width =
        Render(target, Transparent, [&] { m_canvas->FillSolidRect(10, 8, -6, 4, Orange, beOpaque); });
    EXPECT_TRUE(SameImage(width, positive));
    const TImage height =
        Render(target, Transparent, [&] { m_canvas->FillSolidRect(4, 12, 6, -4, Orange, beOpaque); });
    EXPECT_TRUE(SameImage(height, positive));
}

TEST_F(CanvasPixels, FullSizeFillCoversExactlyItsPixels) {
    // A target larger than the rectangle shows where it stops.
    const std::int32_t target = AddTarget(1040);
    const TImage image =
        Render(target, Transparent, [&] { m_canvas->FillSolidRect(0, 0, 1024, 1024, Orange, beOpaque); });
    EXPECT_TRUE(PixelsAre(
        image, [](std::int32_t x, std::int32_t y) { return x < 1024 && y < 1024 ? OrangeArgb : 0u; }));
}

TEST_F(CanvasPixels, FrameLightsEachBorderPixelOnce) {
    const std::int32_t target = AddTarget(16);
    auto border = [](std::int32_t x, std::int32_t y) {
        return x <= 9 && y <= 9 && (x == 0 || x == 9 || y == 0 || y == 9);
    };
    const TImage opaque =
        Render(target, Transparent, [&] { m_canvas->FrameSolidRect(0, 0, 10, 10, Orange, beOpaque); });
    EXPECT_TRUE(
        PixelsAre(opaque, [&](std::int32_t x, std::int32_t y) { return border(x, y) ? OrangeArgb : 0u; }));
    // Added twice a corner would read 80: Mul8(40, 255) = 40 per pass, alpha Mul8(255, 255) = 255.
    const TImage added =
        Render(target, 0xFF000000u, [&] { m_canvas->FrameSolidRect(0, 0, 10, 10, 0xFF000028u, beAlphaAdd); });
    EXPECT_TRUE(PixelsAre(
        added, [&](std::int32_t x, std::int32_t y) { return border(x, y) ? 0xFF280000u : 0xFF000000u; }));
}

// ---- texels onto pixels ----

// A texel value that differs for every (x, y) of a 1024 x 1024 texture.
std::uint32_t Signature(std::int32_t x, std::int32_t y) {
    return 0xFF000000u | (std::uint32_t(x & 0xFF) << 16) | (std::uint32_t(y & 0xFF) << 8) |
           std::uint32_t((x >> 8) << 4 | (y >> 8));
}

TEST_F(CanvasPixels, FullSizeTextureMapsTexelToPixel) {
    const std::int32_t target = AddTarget(1024);
    TDXMonoTexture* texture =
        MakeTexture(1024, 1024, [](std::int32_t, std::int32_t x, std::int32_t y) { return Signature(x, y); });
    const TFloatQuad quad = QuadFromRect(TIntRect{0, 0, 1024, 1024});
    for (bool antialias : {true, false}) {
        SCOPED_TRACE(antialias ? "linear" : "point");
        m_canvas->SetAntialias(antialias);
        const TImage image = Render(target, Transparent, [&] {
            m_canvas->DrawTexturedQuad(texture, quad, ColorQuadWhite, SelectionWhole, beOpaque);
        });
        EXPECT_TRUE(PixelsAre(image, Signature));
    }
}

TEST_F(CanvasPixels, FullSizeImageMapsTexelToPixel) {
    const std::int32_t target = AddTarget(1024);
    TVornImage* image =
        MakeImage(1024, 1024, 1, {0, 0}, {0, 0},
                  [](std::int32_t, std::int32_t x, std::int32_t y) { return Signature(x, y); });
    const TImage drawn = Render(target, Transparent, [&] {
        m_canvas->DrawRotatedScaled(image, 0xFFFFFFFFu, 512, 512, 0.0, 1.0, 0, beOpaque);
    });
    EXPECT_TRUE(PixelsAre(drawn, Signature));
}

// ---- patterns of an image ----

// 64 x 64 texture, 16 x 16 cells in a 4 x 4 grid, visible 8 x 8 (offset 4, 4 in its cell).
// Texel = cell number in red, x and y within the cell in green and blue.
std::uint32_t CellTexel(std::int32_t, std::int32_t x, std::int32_t y) {
    const std::uint32_t cell = std::uint32_t((y / 16) * 4 + x / 16);
    return 0xFF000000u | (cell << 16) | (std::uint32_t(x % 16) << 8) | std::uint32_t(y % 16);
}
std::uint32_t CellPixel(std::uint32_t cell, std::int32_t cx, std::int32_t cy) {
    return 0xFF000000u | (cell << 16) | (std::uint32_t(cx) << 8) | std::uint32_t(cy);
}

struct TPatternPixelCase {
    const char* Name;
    std::int32_t Pattern;
    bool Mirror, Flip;
    std::uint32_t Cell;
};

TEST_F(CanvasPixels, PatternsDrawTheirCells) {
    const std::int32_t target = AddTarget(32);
    TVornImage* image = MakeImage(64, 64, 1, {16, 16}, {8, 8}, CellTexel);
    m_canvas->SetAntialias(false);
    const TPatternPixelCase cases[] = {
        {"pattern 5", 5, false, false, 5},
        {"below 0 draws the first", -3, false, false, 0},
        {"past the last draws the last", 99, false, false, 15},
        {"mirror", 10, true, false, 10},
        {"flip", 10, false, true, 10},
        {"mirror and flip", 7, true, true, 7},
    };
    for (const TPatternPixelCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPatternSelection selection = SelectionOfPattern(c.Pattern);
        selection.Mirror = c.Mirror ? 1 : 0;
        selection.Flip = c.Flip ? 1 : 0;
        // The 8 x 8 quad covers pixels 12..19 in both directions.
        const TImage drawn = Render(target, Transparent, [&] {
            m_canvas->DrawTexturedQuad(image, QuadFromBounds(12, 12, 8, 8), ColorQuadWhite, selection,
                                       beOpaque);
        });
        EXPECT_TRUE(PixelsAre(drawn, [&](std::int32_t x, std::int32_t y) -> std::uint32_t {
            if (x < 12 || x >= 20 || y < 12 || y >= 20) return 0u;
            const std::int32_t k = x - 12;
            const std::int32_t m = y - 12;
            return CellPixel(c.Cell, 4 + (c.Mirror ? 7 - k : k), 4 + (c.Flip ? 7 - m : m));
        }));
    }
}

// ---- the generator's effects on a tinted brush texel ----

// Brush texel T = (a 128, r 200, g 100, b 50); tint D = (a 192, r 255, g 128, b 64), canvas
// 0xC04080FF; background B = (a 255, r 40, g 80, b 160), canvas 0xFFA05028.
// MODULATE source S = (Mul8(128,192), Mul8(200,255), Mul8(100,128), Mul8(50,64)) = (96, 200, 50, 13);
// 255 - 96 = 159.
constexpr std::uint32_t BrushTexel = 0x80C86432u;
constexpr TCanvasColor Tint = 0xC04080FFu;
constexpr TCanvasColor Background = 0xFFA05028u;
constexpr std::uint32_t BackgroundArgb = 0xFF2850A0u;

// Blend: Mul8(S, 96) + Mul8(B, 159): a 36 + 159 = 195, r 75 + 25 = 100, g 19 + 50 = 69,
// b 5 + 100 = 105.
constexpr std::uint32_t BlendResult = 0xC3644569u;

struct TEffectCase {
    const char* Name;
    std::uint32_t Expected;
};

TEST_F(CanvasPixels, GeneratorEffectsOnATintedBrushTexel) {
    const TEffectCase cases[GeneratorEffects.size()] = {
        {"Blend", BlendResult},
        // Add: Mul8(S, 96) + B: a 36 + 255 -> 255, r 75 + 40 = 115, g 19 + 80 = 99, b 5 + 160 = 165.
        {"Add", 0xFF7363A5u},
        // Sub (reverse subtract, B - Mul8(S, 96)): a 255 - 36 = 219, r 40 - 75 -> 0, g 80 - 19 = 61,
        // b 160 - 5 = 155.
        {"Sub", 0xDB003D9Bu},
        // Color (multiply-add): rgb = min(255, D + Mul8(T, D)) = (255, 128 + 50, 64 + 13) = (255, 178, 77),
        // alpha 96; blended as Blend: r Mul8(255,96) + 25 = 121, g 67 + 50 = 117, b 29 + 100 = 129, a 195.
        {"Color", 0xC3797581u},
        // Shadow: 0 + Mul8(B, 159): a 159, r 25, g 50, b 100.
        {"Shadow", 0x9F193264u},
        // Light (modulate 2x, dest colour, one): rgb = min(255, round(2 T D / 255)) = (255, 100, 25),
        // alpha 96; Mul8(S, B) + B: a 96 + 255 -> 255, r 40 + 40 = 80, g 31 + 80 = 111, b 16 + 160 = 176.
        {"Light", 0xFF506FB0u},
        // Max: max(S, B) per channel: a 255, r 200, g 80, b 160.
        {"Max", 0xFFC850A0u},
        {"Shift", BlendResult},
        {"Glow", BlendResult},
        {"Stroke", BlendResult},
    };
    const std::int32_t target = AddTarget(16);
    TVornImage* brush = MakeImage(4, 4, 1, {4, 4}, {4, 4},
                                  [](std::int32_t, std::int32_t, std::int32_t) { return BrushTexel; });
    for (std::size_t i = 0; i < GeneratorEffects.size(); ++i) {
        SCOPED_TRACE(cases[i].Name);
        // A 4 x 4 stamp around (8, 8): pixels 6..9.
        const TImage drawn = Render(target, Background, [&] {
            m_canvas->DrawRotatedScaled(brush, Tint, 8, 8, 0.0, 1.0, 0, GeneratorEffects[i]);
        });
        EXPECT_TRUE(PixelsAre(drawn, [&](std::int32_t x, std::int32_t y) {
            return x >= 6 && x < 10 && y >= 6 && y < 10 ? cases[i].Expected : BackgroundArgb;
        }));
    }
}

// Blended stamps leave out the pixels whose texels are all transparent, found once per texture;
// a texture written again is looked at again.
TEST_F(CanvasPixels, AStampFollowsItsBrushWrittenAgain) {
    const std::int32_t target = AddTarget(16);
    // 6 x 6 with a transparent border, so the stamp's pixels can be cut to its inside.
    const auto border = [](std::int32_t x, std::int32_t y) { return x == 0 || y == 0 || x == 5 || y == 5; };
    TVornImage* brush = MakeImage(6, 6, 1, {6, 6}, {6, 6}, [&](std::int32_t, std::int32_t x, std::int32_t y) {
        return border(x, y) || x < 3 ? 0x00FFFFFFu : BrushTexel;
    });
    const auto stamp = [&] {
        // Twice the size, so that every pixel reads two texels across.
        return Render(target, Background,
                      [&] { m_canvas->DrawRotatedScaled(brush, Tint, 8, 8, 0.0, 2.0, 0, beAlphaBlend); });
    };
    const TImage before = stamp();
    EXPECT_EQ(before.At(4, 8), BackgroundArgb) << "left of the brush's opaque half";
    EXPECT_NE(before.At(10, 8), BackgroundArgb);
    Fill(*brush, 1, [&](std::int32_t, std::int32_t x, std::int32_t y) {
        return border(x, y) || x >= 3 ? 0x00FFFFFFu : BrushTexel;
    });
    const TImage after = stamp();
    EXPECT_NE(after.At(4, 8), BackgroundArgb) << "drawn as the brush was first";
    EXPECT_EQ(after.At(10, 8), BackgroundArgb);
}

TEST_F(CanvasPixels, OpaqueOverwritesTheDestinationAlphaIncluded) {
    const std::int32_t target = AddTarget(16);
    TVornImage* brush = MakeImage(4, 4, 1, {4, 4}, {4, 4},
                                  [](std::int32_t, std::int32_t, std::int32_t) { return BrushTexel; });
    const TImage drawn = Render(
        target, Background, [&] { m_canvas->DrawRotatedScaled(brush, Tint, 8, 8, 0.0, 1.0, 0, beOpaque); });
    // S itself: (96, 200, 50, 13).
    EXPECT_EQ(drawn.At(7, 7), 0x60C8320Du);
    EXPECT_EQ(drawn.At(5, 7), BackgroundArgb);
}

// With beCoverageAlpha the alpha blends as "over" while the colour blends as the code says: half
// red over a transparent target twice is premultiplied red of coverage 1/2, then 3/4. The next
// code without the bit blends alpha by the effect again. Mul8(128, 127) = 64, Mul8(128, 128) = 64.
TEST_F(CanvasPixels, CoverageAlphaBlendsAlphaAsOver) {
    const std::int32_t target = AddTarget(16);
    constexpr TCanvasColor HalfRed = 0x800000FFu;
    const auto draws = [&](std::initializer_list<TBlendEffect> effects) {
        return Render(target, Transparent, [&] {
            for (const TBlendEffect effect : effects) m_canvas->FillSolidRect(4, 4, 8, 8, HalfRed, effect);
        });
    };
    const TBlendEffect cover = beAlphaBlend | beCoverageAlpha;
    const struct {
        std::initializer_list<TBlendEffect> effects;
        std::uint32_t expected;
    } cases[] = {
        {{cover}, 0x80800000u},               // a 128, r Mul8(255, 128) = 128
        {{cover, cover}, 0xC0C00000u},        // a and r 128 + 64
        {{cover, beAlphaBlend}, 0x80C00000u}, // a Mul8(128, 128) + 64 = 128, r 192
        {{beAlphaBlend}, 0x40800000u},        // the device's own: a Mul8(128, 128)
    };
    for (const auto& c : cases) {
        const TImage drawn = draws(c.effects);
        EXPECT_EQ(drawn.At(6, 6), c.expected) << c.effects.size();
        EXPECT_EQ(drawn.At(2, 2), 0u);
    }
}

} // namespace
} // namespace vorn
