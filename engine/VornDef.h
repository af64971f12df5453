// Value types and small pure helpers shared by the engine and the generator: points, quads,
// canvas colours (red in bits 0-7, blue in bits 16-23, alpha 24-31), pattern selections,
// blend effect codes, the HSL colour function and the program-wide random source.
#pragma once

#include <array>
#include <cstdint>

namespace vorn {

struct TFloatPoint {
    float X = 0.0f;
    float Y = 0.0f;
    friend bool operator==(const TFloatPoint&, const TFloatPoint&) = default;
};

// Vertex 0 (Left, Top), 1 (Right, Top), 2 (Right, Bottom), 3 (Left, Bottom).
using TFloatQuad = std::array<TFloatPoint, 4>;

// 32-bit colour: bits 0-7 red, 8-15 green, 16-23 blue, 24-31 alpha (255 = opaque).
using TCanvasColor = std::uint32_t;

// One colour per quad corner, in the order of TFloatQuad.
using TColorQuad = std::array<TCanvasColor, 4>;

struct TPatternSelection {
    std::int32_t Pattern = 0;
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint8_t Flip = 0;
    std::uint8_t Mirror = 0;
    friend bool operator==(const TPatternSelection&, const TPatternSelection&) = default;
};

// Blend effect: byte 0 source-factor index, byte 1 destination-factor index, byte 2
// blend-operation index; byte 3 is not read but for bit 31 (beCoverageAlpha). 0x7FFFFFF0..0x7FFFFFF6
// are special codes.
using TBlendEffect = std::uint32_t;

// Added to any code: the alpha channel blends as "over" (src + dst * (1 - src alpha)) whatever
// the colour channels do, so alpha drawn over a transparent target is the coverage of what was
// drawn, and the colour the premultiplied colour of the ordinary Blend effects. Bit 31 is free
// in every code, the special ones included.
inline constexpr TBlendEffect beCoverageAlpha = 0x80000000u;

inline constexpr TBlendEffect beOpaque = 0x00000001;
inline constexpr TBlendEffect beAlphaBlend = 0x00000504;
inline constexpr TBlendEffect beAlphaAdd = 0x00000104;
inline constexpr TBlendEffect beAlphaRevSub = 0x00010104;
inline constexpr TBlendEffect beShadow = 0x00000500;
inline constexpr TBlendEffect beMax = 0x00040101;
inline constexpr TBlendEffect beAdd2x = 0x7FFFFFF0;
inline constexpr TBlendEffect beLight2x = 0x7FFFFFF1;
inline constexpr TBlendEffect beLight4x = 0x7FFFFFF2;
inline constexpr TBlendEffect beBlend2x = 0x7FFFFFF3;
inline constexpr TBlendEffect beBlend4x = 0x7FFFFFF4;
inline constexpr TBlendEffect beDotProduct = 0x7FFFFFF5;
inline constexpr TBlendEffect beBlendMultiplyAdd = 0x7FFFFFF6;

// The generator's effect list, indexed by the Effect combo position.
inline constexpr std::array<TBlendEffect, 10> GeneratorEffects = {
    beAlphaBlend,       // "Blend"
    beAlphaAdd,         // "Add"
    beAlphaRevSub,      // "Sub"
    beBlendMultiplyAdd, // "Color"
    beShadow,           // "Shadow"
    beLight2x,          // "Light"
    beMax,              // "Max"
    beAlphaBlend,       // "Shift"
    beAlphaBlend,       // "Glow"
    beAlphaBlend,       // "Stroke"
};

inline constexpr TColorQuad ColorQuadWhite = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
inline constexpr TPatternSelection SelectionWhole{};

struct TIntRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

TFloatPoint MakeFloatPoint(double x, double y);
TFloatQuad QuadFromRect(const TIntRect& rect);
TFloatQuad QuadFromBounds(double x, double y, double width, double height);
TFloatQuad RotatedQuad(TFloatPoint position, TFloatPoint size, TFloatPoint middle, double angle,
                       double scale);
TColorQuad ColorQuadOf(TCanvasColor color);
TColorQuad MakeColorQuad(TCanvasColor topLeft, TCanvasColor topRight, TCanvasColor bottomRight,
                         TCanvasColor bottomLeft);
TPatternSelection SelectionOfPattern(std::int32_t pattern);

// Canvas colour (0xAABBGGRR) to the device's vertex colour (0xAARRGGBB): swaps bytes 0 and 2.
constexpr std::uint32_t CanvasToD3DColor(TCanvasColor c) {
    return (c & 0xFF00FF00u) | ((c & 0xFFu) << 16) | ((c >> 16) & 0xFFu);
}

// Hue, saturation, lightness in 0..1 to a 24-bit colour with the HSL red in bits 16-23 and
// alpha 0; callers add the alpha. Float32 arithmetic throughout; each channel is clamped to
// 0..255 before truncation, so inputs outside 0..1 (or NaN) cannot spill into other bytes.
std::uint32_t HslToColor(float hue, float saturation, float lightness);
// One HSL channel in 0..1 from the hue offset t (wrapped once into 0..1) and the bounds q, p.
double HueToChannel(double t, double q, double p);

// The program-wide linear congruential random source: seed := seed * 134775813 + 1 before
// every draw. One instance per thread (a program draws its textures on one thread); Reseed is
// called once at start-up.
// RandomInt(n) with n < 1 still advances the seed and returns 0.
namespace random {
std::uint32_t Seed();
void SetSeed(std::uint32_t seed);
void Reseed();                          // from the low 32 bits of the monotonic clock in ns
std::int32_t RandomInt(std::int32_t n); // 0..n-1 for n >= 1: floor(n * seed / 2^32)
double RandomFloat();                   // [0, 1): seed / 2^32, exact
} // namespace random

} // namespace vorn
