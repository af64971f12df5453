// Value types and pure helpers: quads, colour conversion, HslToColor and RotatedQuad.
#include <cmath>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include "engine/VornDef.h"

namespace vorn {
namespace {

void ExpectQuad(const TFloatQuad& actual, const TFloatQuad& expected) {
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(actual[i].X, expected[i].X) << "vertex " << i << " X";
        EXPECT_EQ(actual[i].Y, expected[i].Y) << "vertex " << i << " Y";
    }
}

TEST(QuadHelpers, QuadFromRectRunsClockwiseFromTopLeft) {
    ExpectQuad(QuadFromRect({1, 2, 30, 40}), {{{1, 2}, {30, 2}, {30, 40}, {1, 40}}});
    // A reversed rectangle keeps its coordinates; the vertex order follows the fields.
    ExpectQuad(QuadFromRect({10, 10, -5, 0}), {{{10, 10}, {-5, 10}, {-5, 0}, {10, 0}}});
}

TEST(QuadHelpers, QuadFromBoundsAddsWidthAndHeight) {
    ExpectQuad(QuadFromBounds(1.5, 2.5, 3.0, 4.0),
               {{{1.5f, 2.5f}, {4.5f, 2.5f}, {4.5f, 6.5f}, {1.5f, 6.5f}}});
    ExpectQuad(QuadFromBounds(-4.0, -2.0, 8.0, 4.0), {{{-4, -2}, {4, -2}, {4, 2}, {-4, 2}}});
}

TEST(QuadHelpers, SmallConstructors) {
    const TFloatPoint p = MakeFloatPoint(0.1, -2.5);
    EXPECT_EQ(p.X, 0.1f);
    EXPECT_EQ(p.Y, -2.5f);

    EXPECT_EQ(ColorQuadOf(0x80112233u), (TColorQuad{0x80112233u, 0x80112233u, 0x80112233u, 0x80112233u}));
    EXPECT_EQ(MakeColorQuad(1, 2, 3, 4), (TColorQuad{1, 2, 3, 4}));
    EXPECT_EQ(ColorQuadWhite, ColorQuadOf(0xFFFFFFFFu));

    const TPatternSelection s = SelectionOfPattern(7);
    EXPECT_EQ(s.Pattern, 7);
    EXPECT_EQ(s.Left, 0);
    EXPECT_EQ(s.Top, 0);
    EXPECT_EQ(s.Width, 0);
    EXPECT_EQ(s.Height, 0);
    EXPECT_EQ(s.Flip, 0);
    EXPECT_EQ(s.Mirror, 0);
    EXPECT_EQ(SelectionOfPattern(0), SelectionWhole);
}

TEST(QuadHelpers, GeneratorEffectListCodes) {
    const std::array<TBlendEffect, 10> expected = {0x00000504, 0x00000104, 0x00010104, 0x7FFFFFF6,
                                                   0x00000500, 0x7FFFFFF1, 0x00040101, 0x00000504,
                                                   0x00000504, 0x00000504};
    EXPECT_EQ(GeneratorEffects, expected);
}

// A quad of 8 x 4 centred on its middle, scaled by 2 and placed at (100, 50): the corners
// before rotation are (-8, -4), (8, -4), (8, 4), (-8, 4). The sine or cosine that should be
// zero is about 1e-16, far below half a float step of the coordinates, so every result is exact.
class RotatedQuadTest : public ::testing::Test {
protected:
    static TFloatQuad Rotate(double angle) {
        return RotatedQuad(TFloatPoint{100, 50}, TFloatPoint{8, 4}, TFloatPoint{4, 2}, angle, 2.0);
    }
};

TEST_F(RotatedQuadTest, AngleZeroOnlyScalesAndMoves) {
    ExpectQuad(Rotate(0.0), {{{92, 46}, {108, 46}, {108, 54}, {92, 54}}});
}

TEST_F(RotatedQuadTest, QuarterTurnIsClockwiseOnScreen) {
    // y grows downwards: the top-left corner moves to the top-right.
    ExpectQuad(Rotate(std::numbers::pi / 2), {{{104, 42}, {104, 58}, {96, 58}, {96, 42}}});
}

TEST_F(RotatedQuadTest, HalfTurnSwapsOppositeCorners) {
    ExpectQuad(Rotate(std::numbers::pi), {{{108, 54}, {92, 54}, {92, 46}, {108, 46}}});
}

TEST_F(RotatedQuadTest, MiddleOffCentreShiftsThePivot) {
    // Pivot at the top-left corner: the quad hangs to the right and below the position.
    ExpectQuad(RotatedQuad(TFloatPoint{10, 20}, TFloatPoint{8, 4}, TFloatPoint{0, 0}, 0.0, 1.0),
               {{{10, 20}, {18, 20}, {18, 24}, {10, 24}}});
}

TEST(CanvasColor, ToD3DColorSwapsRedAndBlue) {
    EXPECT_EQ(CanvasToD3DColor(0x11223344u), 0x11443322u);
    EXPECT_EQ(CanvasToD3DColor(0xFF0000FFu), 0xFFFF0000u); // opaque red
    EXPECT_EQ(CanvasToD3DColor(0x80FF0000u), 0x800000FFu); // half-transparent blue
    EXPECT_EQ(CanvasToD3DColor(0x0000FF00u), 0x0000FF00u); // green stays
    EXPECT_EQ(CanvasToD3DColor(CanvasToD3DColor(0xA1B2C3D4u)), 0xA1B2C3D4u);
    static_assert(CanvasToD3DColor(0xFFFF8000u) == 0xFF0080FFu);
}

TEST(HslToColor, GreyIgnoresHue) {
    EXPECT_EQ(HslToColor(0.0f, 0.0f, 0.0f), 0x00000000u);
    EXPECT_EQ(HslToColor(0.7f, 0.0f, 1.0f), 0x00FFFFFFu);
    EXPECT_EQ(HslToColor(0.3f, 0.0f, 0.5f), 0x007F7F7Fu);  // 127.5 truncates to 127
    EXPECT_EQ(HslToColor(0.0f, 0.0f, 0.25f), 0x003F3F3Fu); // 63.75
}

TEST(HslToColor, PrimariesPutHslRedInBits16To23) {
    EXPECT_EQ(HslToColor(0.0f, 1.0f, 0.5f), 0x00FF0000u);
    EXPECT_EQ(HslToColor(1.0f / 3.0f, 1.0f, 0.5f), 0x0000FF00u);
    EXPECT_EQ(HslToColor(2.0f / 3.0f, 1.0f, 0.5f), 0x000000FFu);
    // As a canvas colour (red in the low byte) the HSL red reads as blue.
    EXPECT_EQ(HslToColor(0.0f, 1.0f, 0.5f) + 0xFF000000u, 0xFFFF0000u);
}

TEST(HslToColor, DarkAndLightShades) {
    // L 0.25: q = 0.5, p = 0, so red = 0.5 * 255 = 127.5.
    EXPECT_EQ(HslToColor(0.0f, 1.0f, 0.25f), 0x007F0000u);
    // L 0.75: q = 1, p = 0.5, so green and blue = 127.5.
    EXPECT_EQ(HslToColor(0.0f, 1.0f, 0.75f), 0x00FF7F7Fu);
}

TEST(HslToColor, OutOfRangeInputsStayInTheirBytes) {
    EXPECT_EQ(HslToColor(0.0f, 0.0f, 2.0f), 0x00FFFFFFu);
    EXPECT_EQ(HslToColor(0.0f, 0.0f, -1.0f), 0x00000000u);
    EXPECT_EQ(HslToColor(0.0f, 0.0f, std::numeric_limits<float>::quiet_NaN()), 0x00000000u);
}

TEST(HslToColor, HueToChannelPieces) {
    // q = 1, p = 0: rising edge, plateau, falling edge, floor; t wraps once.
    EXPECT_EQ(HueToChannel(0.0f, 1.0f, 0.0f), 0.0f);
    EXPECT_EQ(HueToChannel(0.125f, 1.0f, 0.0f), 0.75f);
    EXPECT_EQ(HueToChannel(0.25f, 1.0f, 0.0f), 1.0f);
    EXPECT_EQ(HueToChannel(0.75f, 1.0f, 0.0f), 0.0f);
    EXPECT_EQ(HueToChannel(-0.875f, 1.0f, 0.0f), 0.75f);
    EXPECT_EQ(HueToChannel(1.25f, 1.0f, 0.0f), 1.0f);
}

} // namespace
} // namespace vorn
