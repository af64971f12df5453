#include "engine/VornDef.h"

#include <chrono>
#include <cmath>

namespace vorn {

TFloatPoint MakeFloatPoint(double x, double y) {
    return {static_cast<float>(x), static_cast<float>(y)};
}

TFloatQuad QuadFromRect(const TIntRect& rect) {
    const float left = static_cast<float>(rect.Left);
    const float top = static_cast<float>(rect.Top);
    const float right = static_cast<float>(rect.Right);
    const float bottom = static_cast<float>(rect.Bottom);
    return {TFloatPoint{left, top}, TFloatPoint{right, top}, TFloatPoint{right, bottom},
            TFloatPoint{left, bottom}};
}

TFloatQuad QuadFromBounds(double x, double y, double width, double height) {
    const float left = static_cast<float>(x);
    const float top = static_cast<float>(y);
    const float right = static_cast<float>(x + width);
    const float bottom = static_cast<float>(y + height);
    return {TFloatPoint{left, top}, TFloatPoint{right, top}, TFloatPoint{right, bottom},
            TFloatPoint{left, bottom}};
}

// Screen coordinates grow downwards, so x' = x cos - y sin, y' = y cos + x sin turns a positive
// angle clockwise on screen. Each stored value is rounded to float; the products and sums
// inside one expression are evaluated in double.
TFloatQuad RotatedQuad(TFloatPoint position, TFloatPoint size, TFloatPoint middle, double angle,
                       double scale) {
    TFloatQuad quad = QuadFromBounds(-middle.X, -middle.Y, size.X, size.Y);
    // Unrotated (every stamp of the generator): the very values cos and sin give for 0 and -0.
    const double c = angle == 0 ? 1.0 : std::cos(angle);
    const double s = angle == 0 ? angle : std::sin(angle);
    for (TFloatPoint& corner : quad) {
        const float x = static_cast<float>(corner.X * scale);
        const float y = static_cast<float>(corner.Y * scale);
        const float xr = static_cast<float>(x * c - y * s);
        const float yr = static_cast<float>(y * c + x * s);
        corner.X = static_cast<float>(xr + position.X);
        corner.Y = static_cast<float>(yr + position.Y);
    }
    return quad;
}

TColorQuad ColorQuadOf(TCanvasColor color) {
    return {color, color, color, color};
}

TColorQuad MakeColorQuad(TCanvasColor topLeft, TCanvasColor topRight, TCanvasColor bottomRight,
                         TCanvasColor bottomLeft) {
    return {topLeft, topRight, bottomRight, bottomLeft};
}

TPatternSelection SelectionOfPattern(std::int32_t pattern) {
    TPatternSelection selection;
    selection.Pattern = pattern;
    return selection;
}

double HueToChannel(double t, double q, double p) {
    if (t < 0.0) t = t + 1.0;
    if (t > 1.0) t = t - 1.0;
    if (6.0 * t < 1.0) return p + (q - p) * 6.0 * t;
    if (2.0 * t < 1.0) return q;
    if (3.0 * t < 2.0) return p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return p;
}

namespace {

// Truncates a channel in 0..255 towards zero; anything outside (or NaN) is clamped first,
// since converting an out-of-range float to an integer is undefined.
std::uint32_t TruncChannel(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<std::uint32_t>(v);
}

} // namespace

std::uint32_t HslToColor(float hue, float saturation, float lightness) {
    float r;
    float g;
    float b;
    if (saturation == 0.0f) {
        r = g = b = lightness * 255.0f;
    } else {
        // Intermediates in double; only the three channel values are stored as float.
        const double h = hue, s = saturation, l = lightness;
        const double q = l < 0.5 ? l * (1.0 + s) : l + s - l * s;
        const double p = 2.0 * l - q;
        r = static_cast<float>(HueToChannel(h + 1.0 / 3.0, q, p) * 255.0);
        g = static_cast<float>(HueToChannel(h, q, p) * 255.0);
        b = static_cast<float>(HueToChannel(h - 1.0 / 3.0, q, p) * 255.0);
    }
    // The HSL red goes to bits 16-23: read as a canvas colour, red and blue are exchanged.
    return (TruncChannel(r) << 16) + (TruncChannel(g) << 8) + TruncChannel(b);
}

namespace random {

namespace {

constexpr std::uint32_t Multiplier = 134775813u; // 0x08088405
// One sequence per thread: a thread that draws a texture sees only its own draws, so textures
// made on several threads at once (the Python module) are each what one thread alone makes.
thread_local std::uint32_t g_seed = 0;

// seed := seed * 134775813 + 1 (mod 2^32), done before every draw.
std::uint32_t Advance() {
    g_seed = g_seed * Multiplier + 1u;
    return g_seed;
}

} // namespace

std::uint32_t Seed() {
    return g_seed;
}

void SetSeed(std::uint32_t seed) {
    g_seed = seed;
}

void Reseed() {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    g_seed = static_cast<std::uint32_t>(static_cast<std::uint64_t>(ns.count()));
}

std::int32_t RandomInt(std::int32_t n) {
    const std::uint32_t seed = Advance();
    if (n < 1) return 0;
    // floor(n * seed / 2^32) < n, so it fits the signed result.
    return static_cast<std::int32_t>((static_cast<std::uint64_t>(n) * seed) >> 32);
}

double RandomFloat() {
    // A 32-bit value times 2^-32 is exact in a double and at most 1 - 2^-32.
    return static_cast<double>(Advance()) * 0x1p-32;
}

} // namespace random

} // namespace vorn
