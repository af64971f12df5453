// The rasteriser behind the software device: triangles and lines of pre-transformed vertices
// drawn into a 32-bit render target with the fixed-function stage-0 pipeline (sample, combine,
// alpha test, blend). Colours are A8R8G8B8 values (0xAARRGGBB); pixel (x, y) has its centre at
// the integer coordinates (x, y); y grows downwards.
//
// Numeric model (every path — reference, span, rectangle, SIMD — gives the same bytes):
// - Channels are 8-bit integers. A product of two channels is Mul8(a, b) = round(a * b / 255),
//   computed as t = a * b + 128; (t + (t >> 8)) >> 8 (exact for all a, b in 0..255).
// - Vertex positions are snapped to 1/256 pixel (round to nearest, ties to even). Triangle edges
//   are exact 64-bit edge functions; a pixel centre on an edge belongs to the triangle only when
//   that edge is a top or a left edge. Both windings are drawn unless culling asks otherwise.
// - Vertex attributes become integers: colour channels 0..255, texture coordinates in texels
//   scaled by 2^16 (u * width * 65536, rounded). Across a triangle each attribute is the plane
//   value(px, py) = c + dx * px + dy * py in 64-bit integers with 16 more fraction bits; c, dx and
//   dy are the exact rational plane rounded to nearest (halves up), so coplanar triangles get the
//   very same plane. Colour channels are then rounded to 8 bits (halves up) and clamped.
// - Sampling reads level 0 as A8R8G8B8. Point: texel floor(u * W). Linear: x = u * W - 0.5, the
//   four texels around it with weights rounded to the nearest 1/256 (computed as the top bits of
//   the fraction of x + 1/512, so mirrored samples get mirrored weights), result =
//   round(sum(texel * wx * wy) / 65536) per channel (halves up). Addressing wraps by default.
// - Colour operations per channel: MODULATE = Mul8(a1, a2); MODULATE2X/4X = min(255,
//   round(k * a1 * a2 / 255)); ADD = min(255, a1 + a2); MULTIPLYADD = min(255, a0 + Mul8(a1, a2));
//   DOTPRODUCT3 = clamp(round(sum((2 * a1 - 255) * (2 * a2 - 255)) / 255)) into all four channels.
// - Blending: result = op(Mul8(src, srcFactor), Mul8(dst, dstFactor)) per channel, clamped to
//   0..255; MIN and MAX use src and dst unscaled. X8R8G8B8 targets read and store alpha 255.
#pragma once

#include "engine/soft/SoftDevice.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn::sd {

// round(a * b / 255) for a, b in 0..255.
constexpr std::uint32_t Mul8(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

// One vertex as the rasteriser reads it (the FVF_CANVAS layout without Z and RHW).
struct RasterVertex {
    float x = 0;
    float y = 0;
    D3DCOLOR diffuse = 0;
    float u = 0;
    float v = 0;
};

// A 32-bit surface the rasteriser writes (A8R8G8B8 or X8R8G8B8).
struct TargetView {
    std::uint8_t* bits = nullptr;
    std::int32_t pitch = 0; // bytes
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool opaqueAlpha = false; // X8R8G8B8: alpha reads and stores as 255
};

// The columns of one texel row whose alpha is not zero: [first, last], empty when first > last.
struct TexelRowSpan {
    std::int32_t first = 0;
    std::int32_t last = -1;
};

// Level 0 of the bound texture as A8R8G8B8 texels.
struct TextureView {
    const std::uint32_t* texels = nullptr;
    std::int32_t pitch = 0; // texels
    std::int32_t width = 0;
    std::int32_t height = 0;
    // One span per texel row, or null when not known (a render target changes under the draws).
    // Lets a blend that leaves the target alone where the texture is transparent skip those pixels.
    const TexelRowSpan* alphaRows = nullptr;
    // Every row reads the same from right to left, every column from bottom to top (known only
    // where alphaRows is).
    bool mirroredX = false;
    bool mirroredY = false;
};

// The alpha spans of every texel row of view (alphaRows ignored).
std::vector<TexelRowSpan> FindAlphaRows(const TextureView& view);
// Whether every texel row of view is its own mirror image; every column.
bool MirroredInX(const TextureView& view);
bool MirroredInY(const TextureView& view);

enum class SimdLevel : int { Scalar = 0, Sse2 = 1, Sse41 = 2, Avx2 = 3, Avx512 = 4 };

// Which implementation draws and on how many threads. The device draws with the defaults (and
// the process's thread count); tests pick paths to compare them. Every choice gives the same bytes.
struct RasterOptions {
    bool reference = false;                // the plain per-pixel pipeline instead of spans
    bool rectFastPath = true;              // axis-aligned rectangles drawn as one block
    bool quadFastPath = true;              // two triangles forming a convex quad drawn as one polygon
    SimdLevel maxSimd = SimdLevel::Avx512; // upper bound for the kernels chosen
    int threads = 1;                       // bands of the target drawn at once; 0 = RasterThreads()
    double minPixelsToSplit = 32768;       // smaller draws (bounding boxes summed) stay on one thread
    // Called with its number as each band of a draw starts, on the thread that draws it; none by
    // default. A test passes one that throws to see a failing band reach the draw's caller.
    void (*bandStarts)(int band) = nullptr;
};

// Everything a draw needs, copied from the device state at the draw call.
struct DrawState {
    TargetView target;
    bool hasTexture = false;
    TextureView texture;
    DWORD magFilter = D3DTEXF_POINT;
    DWORD minFilter = D3DTEXF_POINT;
    DWORD addressU = D3DTADDRESS_WRAP;
    DWORD addressV = D3DTADDRESS_WRAP;
    D3DCOLOR borderColor = 0;

    DWORD colorOp = D3DTOP_MODULATE;
    DWORD colorArg0 = D3DTA_CURRENT;
    DWORD colorArg1 = D3DTA_TEXTURE;
    DWORD colorArg2 = D3DTA_CURRENT;
    DWORD alphaOp = D3DTOP_SELECTARG1;
    DWORD alphaArg0 = D3DTA_CURRENT;
    DWORD alphaArg1 = D3DTA_TEXTURE;
    DWORD alphaArg2 = D3DTA_CURRENT;
    D3DCOLOR textureFactor = 0xFFFFFFFF;

    bool alphaTest = false;
    DWORD alphaFunc = D3DCMP_ALWAYS;
    std::uint32_t alphaRef = 0;

    bool blend = false;
    DWORD srcBlend = D3DBLEND_ONE;
    DWORD destBlend = D3DBLEND_ZERO;
    DWORD blendOp = D3DBLENDOP_ADD;
    bool separateAlpha = false;
    DWORD srcBlendAlpha = D3DBLEND_ONE;
    DWORD destBlendAlpha = D3DBLEND_ZERO;
    DWORD blendOpAlpha = D3DBLENDOP_ADD;
    DWORD colorWriteMask = 0xF;

    DWORD cullMode = D3DCULL_CCW;
    bool flatShading = false;

    RasterOptions options;
};

// The best kernel level this processor and the cap allow.
SimdLevel ActiveSimdLevel(SimdLevel cap = SimdLevel::Avx512);

// vertices holds 3 * count vertices (triangle i = vertices 3i..3i+2).
void DrawTriangles(const DrawState& state, const RasterVertex* vertices, std::size_t count);
// vertices holds 2 * count vertices (line i = vertices 2i, 2i+1).
void DrawLines(const DrawState& state, const RasterVertex* vertices, std::size_t count);
// Fills the rectangle [left, right) x [top, bottom) (clipped to the target) with one colour.
void FillRect(const TargetView& target, std::int32_t left, std::int32_t top, std::int32_t right,
              std::int32_t bottom, D3DCOLOR color);

} // namespace vorn::sd
