// Layer stacks: their text form, and composition worked out by hand for stacks whose result is
// known without the patterns' values (opacity 0, the tile alone, multiply over a flat ground, a
// mask that hides everything but its peaks), and the same bytes in any number of bands.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gen/LayerCompose.h"
#include "gen/Layers.h"

namespace vorn {
namespace {

TEST(LayerText, ReadsAndWritesTheCanonicalForm) {
    struct TCase {
        const char* text;
        const char* canonical;
    };
    const TCase cases[] = {
        {"none", ""},
        {"tile", "tile"},
        {"cells", "cells"},
        {"cells:cells=8", "cells"}, // a default is left out
        {"bricks:opacity=40:rows=6:blend=multiply", "bricks:rows=6:blend=multiply:opacity=40"},
        {"noise:variant=3,tile:blend=mask-low:mask-to=30", "noise:variant=3,tile:blend=mask-low:mask-to=30"},
    };
    for (const TCase& c : cases) {
        const TLayerStackParse parsed = ParseLayerStack(c.text);
        ASSERT_TRUE(parsed.ok()) << c.text << ": " << parsed.error;
        EXPECT_EQ(LayerStackText(parsed.stack), c.canonical) << c.text;
        EXPECT_EQ(ParseLayerStack(LayerStackText(parsed.stack)).stack, parsed.stack) << c.text;
    }
}

TEST(LayerText, RefusesWhatIsNotAStack) {
    struct TCase {
        const char* text;
        const char* says;
    };
    const TCase cases[] = {
        {"clouds", "unknown layer 'clouds'"},
        {"cells:cells=1", "cells=1 is not a whole number from 2 to 64"},
        {"cells:cells=8x", "is not a whole number"},
        {"cells:rows=3", "unknown value 'rows'"},
        {"cells:cells", "'cells' has no value"},
        {"cells:cells=4:cells=5", "given twice"},
        {"tile:blend=screen", "unknown blend 'screen'"},
        {"tile,noise,tile", "more than one tile layer"},
        {"noise,,noise", "an empty layer"},
        {"noise,noise,noise,noise,noise,noise,noise,noise,noise", "more than 8 layers"},
    };
    for (const TCase& c : cases) {
        const TLayerStackParse parsed = ParseLayerStack(c.text);
        EXPECT_NE(parsed.error.find(c.says), std::string::npos) << c.text << ": " << parsed.error;
        EXPECT_TRUE(parsed.stack.Empty()) << c.text;
    }
}

constexpr int Side = 64;

struct TComposed {
    std::vector<std::uint8_t> texels; // BGRA
    TSurfaceRelief relief;
};

// stack over a tile whose every texel is tile (B, G, R, A), the BG Color background.
TComposed Compose(const char* stack, std::uint32_t tile, std::uint32_t background, bool transparent = false,
                  int threads = 1, TPalette palette = {}) {
    TComposeFrame frame;
    frame.size = Side;
    frame.seed = 1234;
    frame.background = background;
    frame.tileTransparent = transparent;
    frame.palette = std::move(palette);
    TComposed out;
    out.texels.resize(std::size_t(Side) * Side * 4);
    for (std::size_t i = 0; i < out.texels.size(); i += 4)
        for (int k = 0; k < 4; ++k) out.texels[i + k] = std::uint8_t(tile >> (8 * k));
    const TLayerStackParse parsed = ParseLayerStack(stack);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    ComposeLayers(parsed.stack, frame, out.texels.data(), Side * 4, out.relief, threads);
    return out;
}

TEST(LayerCompose, StacksWhoseResultIsKnown) {
    struct TCase {
        const char* stack;
        std::uint32_t tile; // A R G B as 0xAARRGGBB (bytes B, G, R, A)
        bool transparent;
        std::uint32_t colour;   // every texel's 0xRRGGBB
        std::uint16_t height;   // every texel's
        std::uint8_t roughness; // every texel's
    };
    // The background is 0x204060 (R 0x20, G 0x40, B 0x60). Height 0.5 is 32767.5 + 0.5 -> 32768;
    // roughness 0.5 is 128 (127.5 + 0.5), the tile's 0.55 is 140.25 + 0.5 -> 140.
    const TCase cases[] = {
        // Nothing shows: the ground as it is.
        {"cells:opacity=0", 0xFF000000, false, 0x204060, 32768, 128},
        // An opaque tile covers it with its colour; its relief is flat.
        {"tile", 0xFF102030, false, 0x102030, 32768, 140},
        // A transparent tile fully covered: straight colour (premultiplied by 255 as it is), height
        // its coverage 1.
        {"tile", 0xFF102030, true, 0x102030, 65535, 140},
        // ... and a tile with no coverage leaves the ground and its relief.
        {"tile", 0x00000000, true, 0x204060, 32768, 128},
        // Multiply by a grey of 0x80: each channel c -> c * 128 / 255, rounded half up:
        // 0x20 -> 16.06 -> 16, 0x40 -> 32.1 -> 32, 0x60 -> 48.2 -> 48.
        {"tile:blend=multiply", 0xFF808080, false, 0x102030, 32768, 140},
        // Half the opacity mixes half way: 0x60 + (0x30 - 0x60) / 2 = 0x48, and so on; roughness
        // (0.5 + 0.55) / 2 = 0.525 -> 133.9 + 0.5 -> 134.
        {"tile:opacity=50", 0xFF001030, false, 0x102848, 32768, 134},
        // A relief of 0 keeps the tile's height at the middle whatever its coverage.
        {"tile:relief=0", 0xFF102030, true, 0x102030, 32768, 140},
        // The height blend adds relief only: the colour stays the ground's.
        {"tile:blend=height", 0xFF102030, true, 0x204060, 65535, 140},
        // A mask whose edge lies above the top hides the next layer everywhere.
        {"noise:blend=mask:mask-from=100:mask-to=100,tile", 0xFF102030, false, 0x204060, 32768, 128},
    };
    // The mask case needs a noise whose height stays below the top.
    TPatternField noise;
    DrawPattern(LayerPattern(DefaultLayer(TPatternKind::Noise), 1234, {}), Side, noise, 1);
    for (const float h : noise.height) ASSERT_LT(h, 1.0f);
    for (const TCase& c : cases) {
        const TComposed out = Compose(c.stack, c.tile, 0x204060, c.transparent);
        const std::uint8_t b = std::uint8_t(c.colour), g = std::uint8_t(c.colour >> 8),
                           r = std::uint8_t(c.colour >> 16);
        for (std::size_t i = 0; i < out.texels.size() / 4; ++i) {
            ASSERT_EQ(out.texels[4 * i], b) << c.stack << " texel " << i;
            ASSERT_EQ(out.texels[4 * i + 1], g) << c.stack << " texel " << i;
            ASSERT_EQ(out.texels[4 * i + 2], r) << c.stack << " texel " << i;
            ASSERT_EQ(out.texels[4 * i + 3], 0xFF) << c.stack << " texel " << i;
            ASSERT_EQ(out.relief.height.values[i], c.height) << c.stack << " texel " << i;
            ASSERT_EQ(out.relief.roughness[i], c.roughness) << c.stack << " texel " << i;
        }
    }
}

TEST(LayerCompose, BandsAndPalettesLeaveTheReliefAlone) {
    const char* stack =
        "cells:cells=5,noise:blend=overlay:opacity=60,bricks:blend=mask-low,tile:blend=multiply";
    const TComposed one = Compose(stack, 0xFF8090A0, 0x204060, false, 1);
    const TComposed three = Compose(stack, 0xFF8090A0, 0x204060, false, 3);
    EXPECT_EQ(one.texels, three.texels);
    EXPECT_EQ(one.relief.height.values, three.relief.height.values);
    EXPECT_EQ(one.relief.roughness, three.relief.roughness);
    // Another palette and another ground change the colours, never the relief.
    const TComposed other = Compose(stack, 0xFF8090A0, 0xF0E0D0, false, 2, TPalette{{0x112233, 0xFFEEDD}});
    EXPECT_NE(one.texels, other.texels);
    EXPECT_EQ(one.relief.height.values, other.relief.height.values);
    EXPECT_EQ(one.relief.roughness, other.relief.roughness);
}

} // namespace
} // namespace vorn
