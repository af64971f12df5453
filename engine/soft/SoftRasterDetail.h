// Private parts of the rasteriser shared by its reference, span and SIMD code: triangle and line
// setup in fixed point, attribute planes, and the per-pixel formulas of the numeric model
// described in SoftRaster.h. Channel index k addresses bits 8k..8k+7 of an A8R8G8B8 value
// (0 blue, 1 green, 2 red, 3 alpha).
#pragma once

#include "engine/soft/SoftRaster.h"

#include <algorithm>
#include <cstdint>
#include <span>

namespace vorn::sd::detail {

__extension__ typedef __int128 Int128;

constexpr int SubPixelBits = 8; // vertex positions in 1/256 pixel
constexpr std::int64_t SubPixelOne = std::int64_t(1) << SubPixelBits;
constexpr double GuardBand = 16384.0; // pixels; farther vertices are clipped in floating point
constexpr int PlaneFractionBits = 16; // extra fraction bits of a plane over its vertex values
constexpr int TexCoordBits = 16;      // vertex texture coordinates in texels * 2^16
constexpr int TexelShift = PlaneFractionBits + TexCoordBits; // plane values: texels * 2^32
constexpr std::int64_t TexelOne = std::int64_t(1) << TexelShift;
// Linear filtering samples around x = u * W - 1/2 + 1/512: the extra 1/512 texel makes the
// fraction's top 8 bits the weight rounded to the nearest 1/256 (a weight of 256 carries into
// the texel index). Rounding instead of truncating keeps a mirrored sample's weights mirrored:
// 1 - f rounds to 256 - round(256 f), so a symmetric brush stamped at mirrored points gives
// mirrored pixels, which the seamless tiles rely on.
constexpr std::int64_t LinearOrigin = TexelOne / 2 - (TexelOne >> 9);
constexpr std::int64_t MaxVertexTexCoord = std::int64_t(1) << 40; // +-2^24 texels
constexpr std::int64_t MaxPlaneGradient = std::int64_t(1) << 48;
constexpr std::int64_t MaxPlaneConstant = std::int64_t(1) << 61;

// value(px, py) = c + dx * px + dy * py. With |px|, |py| < 2^13 (the largest target) and the
// clamps above the sum stays far inside 64 bits.
struct Plane {
    std::int64_t c = 0;
    std::int64_t dx = 0;
    std::int64_t dy = 0;
    std::int64_t At(std::int64_t px, std::int64_t py) const { return c + dx * px + dy * py; }
    friend bool operator==(const Plane&, const Plane&) = default;
};

enum Attribute { AttrBlue = 0, AttrGreen, AttrRed, AttrAlpha, AttrS, AttrT, AttrCount };

// All interpolated values of one primitive.
struct Planes {
    Plane attr[AttrCount];
    friend bool operator==(const Planes&, const Planes&) = default;
};

// A vertex in the rasteriser's integers.
struct FixedVertex {
    std::int64_t x = 0; // 1/256 pixel
    std::int64_t y = 0;
    std::int64_t attr[AttrCount] = {};
};

// A triangle ready to scan: vertices in clockwise screen order (area > 0).
struct TriangleSetup {
    FixedVertex v[3];
    std::int64_t area = 0; // twice the area in (1/256 pixel)^2
    Planes planes;
};

// floor(n / d) and round(n / d) (halves up) for d > 0.
inline Int128 FloorDiv(Int128 n, Int128 d) {
    Int128 q = n / d;
    if (n % d != 0 && n < 0) --q;
    return q;
}
inline std::int64_t FloorDiv64(std::int64_t n, std::int64_t d) {
    std::int64_t q = n / d;
    if (n % d != 0 && n < 0) --q;
    return q;
}
inline std::int64_t RoundDivClamped(Int128 n, Int128 d, std::int64_t limit) {
    const Int128 num = 2 * n + d, den = 2 * d;
    // In 64 bits where both fit: the same quotient without the library's 128-bit division.
    const bool narrow =
        num == Int128(static_cast<std::int64_t>(num)) && den == Int128(static_cast<std::int64_t>(den));
    const Int128 q = narrow
                         ? Int128(FloorDiv64(static_cast<std::int64_t>(num), static_cast<std::int64_t>(den)))
                         : FloorDiv(num, den);
    return q > limit ? limit : q < -limit ? -limit : static_cast<std::int64_t>(q);
}

// Whether the cull mode drops a triangle of this signed area (> 0: clockwise on the screen).
inline bool Culled(DWORD cullMode, std::int64_t area) {
    return (cullMode == D3DCULL_CW && area > 0) || (cullMode == D3DCULL_CCW && area < 0);
}

// Channel bits of D3DRS_COLORWRITEENABLE (red 1, green 2, blue 4, alpha 8) as an ARGB mask.
inline std::uint32_t WriteMaskBits(DWORD mask) {
    return ((mask & 1) ? 0x00FF0000u : 0) | ((mask & 2) ? 0x0000FF00u : 0) | ((mask & 4) ? 0x000000FFu : 0) |
           ((mask & 8) ? 0xFF000000u : 0);
}

// A band of a draw split among workers is at most this many strips of rows.
constexpr int MaxStrips = 8;

// The pixel rows [top, bottom) one worker draws; every path clips its primitives to it.
struct RowBand {
    std::int64_t top = 0;
    std::int64_t bottom = 0;
};

// Whether a triangle (three vertices) surely has no pixel in the band: all its vertices lie more
// than a pixel above it or below it. NaN coordinates never count as outside.
inline bool OutsideBand(const RasterVertex* v, const RowBand& band) {
    const float top = static_cast<float>(band.top) - 1, bottom = static_cast<float>(band.bottom) + 1;
    return (v[0].y < top && v[1].y < top && v[2].y < top) ||
           (v[0].y > bottom && v[1].y > bottom && v[2].y > bottom);
}

// Converts a vertex; false when a coordinate is not finite or lies outside the guard band.
bool SnapVertex(const RasterVertex& in, const DrawState& state, FixedVertex& out);
// Orients, culls and computes the planes; false when nothing is to be drawn.
bool SetupTriangle(const DrawState& state, const FixedVertex& a, const FixedVertex& b, const FixedVertex& c,
                   TriangleSetup& out);
// Splits a triangle that leaves the guard band into pieces inside it (at most 7 triangles).
std::size_t ClipToGuardBand(const RasterVertex* tri, RasterVertex* out);

// Snaps, clips to the guard band when needed, orients and culls one triangle (three vertices),
// then calls raster(setup) for it or for each of its pieces.
template <class Raster> void ForEachTriangle(const DrawState& st, const RasterVertex* v, Raster&& raster) {
    FixedVertex f[3];
    bool inside = true;
    for (int i = 0; i < 3; ++i) inside = SnapVertex(v[i], st, f[i]) && inside;
    TriangleSetup setup;
    if (inside) {
        if (SetupTriangle(st, f[0], f[1], f[2], setup)) raster(setup);
        return;
    }
    RasterVertex pieces[3 * 7];
    const std::size_t n = ClipToGuardBand(v, pieces);
    for (std::size_t i = 0; i < n; ++i) {
        bool ok = true;
        for (int k = 0; k < 3; ++k) ok = SnapVertex(pieces[3 * i + k], st, f[k]) && ok;
        if (ok && SetupTriangle(st, f[0], f[1], f[2], setup)) raster(setup);
    }
}

// Edge function of edge a->b at pixel (px, py), biased so that ">= 0" means inside.
struct Edge {
    std::int64_t dx = 0, dy = 0; // b - a in 1/256 pixel
    std::int64_t ax = 0, ay = 0;
    std::int64_t bias = 0; // 0 for top and left edges, -1 otherwise
    void Init(const FixedVertex& a, const FixedVertex& b) {
        dx = b.x - a.x;
        dy = b.y - a.y;
        ax = a.x;
        ay = a.y;
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        bias = topLeft ? 0 : -1;
    }
    std::int64_t At(std::int64_t px, std::int64_t py) const {
        return dx * (py * SubPixelOne - ay) - dy * (px * SubPixelOne - ax) + bias;
    }
};

// ---- per-pixel formulas ----

inline std::uint32_t Channel(std::uint32_t c, int k) {
    return (c >> (8 * k)) & 0xFF;
}
inline std::uint32_t ColorFromPlanes(const Planes& p, std::int64_t px, std::int64_t py) {
    std::uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const std::int64_t v =
            (p.attr[k].At(px, py) + (std::int64_t(1) << (PlaneFractionBits - 1))) >> PlaneFractionBits;
        out |= static_cast<std::uint32_t>(std::clamp<std::int64_t>(v, 0, 255)) << (8 * k);
    }
    return out;
}

// Texel index i (any integer) mapped into [0, size - 1] by the address mode; -1 = border colour.
inline std::int64_t AddressTexel(std::int64_t i, std::int64_t size, DWORD mode) {
    if (static_cast<std::uint64_t>(i) < static_cast<std::uint64_t>(size))
        return i; // inside: every mode agrees
    switch (mode) {
    case D3DTADDRESS_CLAMP:
        return std::clamp<std::int64_t>(i, 0, size - 1);
    case D3DTADDRESS_BORDER:
        return i < 0 || i >= size ? -1 : i;
    case D3DTADDRESS_MIRROR: {
        const std::int64_t m = ((i % (2 * size)) + 2 * size) % (2 * size);
        return m < size ? m : 2 * size - 1 - m;
    }
    default: // wrap, also for negative i
        return ((i % size) + size) % size;
    }
}

inline std::uint32_t FetchTexel(const DrawState& st, std::int64_t i, std::int64_t j) {
    const std::int64_t x = AddressTexel(i, st.texture.width, st.addressU);
    const std::int64_t y = AddressTexel(j, st.texture.height, st.addressV);
    if (x < 0 || y < 0) return st.borderColor;
    return st.texture.texels[y * st.texture.pitch + x];
}

// round(sum(t * wx * wy) / 65536) with wx0 = 256 - fx, wx1 = fx (same for y).
inline std::uint32_t Bilinear(std::uint32_t t00, std::uint32_t t10, std::uint32_t t01, std::uint32_t t11,
                              std::uint32_t fx, std::uint32_t fy) {
    std::uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const std::uint32_t left = Channel(t00, k) * (256 - fy) + Channel(t01, k) * fy;
        const std::uint32_t right = Channel(t10, k) * (256 - fy) + Channel(t11, k) * fy;
        out |= ((left * (256 - fx) + right * fx + 32768) >> 16) << (8 * k);
    }
    return out;
}

// s, t: plane values (texels * 2^32).
inline std::uint32_t SampleTexture(const DrawState& st, DWORD filter, std::int64_t s, std::int64_t t) {
    if (filter == D3DTEXF_LINEAR) {
        const std::int64_t x = s - LinearOrigin;
        const std::int64_t y = t - LinearOrigin;
        const std::int64_t i = x >> TexelShift;
        const std::int64_t j = y >> TexelShift;
        const auto fx = static_cast<std::uint32_t>((x >> (TexelShift - 8)) & 0xFF);
        const auto fy = static_cast<std::uint32_t>((y >> (TexelShift - 8)) & 0xFF);
        return Bilinear(FetchTexel(st, i, j), FetchTexel(st, i + 1, j), FetchTexel(st, i, j + 1),
                        FetchTexel(st, i + 1, j + 1), fx, fy);
    }
    return FetchTexel(st, s >> TexelShift, t >> TexelShift);
}

// The pixels whose centres lie in a triangle's bounding box, clipped to the target and the band;
// empty when x0 > x1 or y0 > y1.
struct PixelBox {
    std::int64_t x0, x1, y0, y1;
};
inline PixelBox BoundingPixels(const TriangleSetup& t, const TargetView& target, const RowBand& band) {
    const std::int64_t minX = std::min({t.v[0].x, t.v[1].x, t.v[2].x});
    const std::int64_t maxX = std::max({t.v[0].x, t.v[1].x, t.v[2].x});
    const std::int64_t minY = std::min({t.v[0].y, t.v[1].y, t.v[2].y});
    const std::int64_t maxY = std::max({t.v[0].y, t.v[1].y, t.v[2].y});
    return {std::max<std::int64_t>(0, FloorDiv64(minX + SubPixelOne - 1, SubPixelOne)),
            std::min<std::int64_t>(target.width - 1, FloorDiv64(maxX, SubPixelOne)),
            std::max<std::int64_t>(band.top, FloorDiv64(minY + SubPixelOne - 1, SubPixelOne)),
            std::min<std::int64_t>({target.height - 1, band.bottom - 1, FloorDiv64(maxY, SubPixelOne)})};
}

// Calls kernel.template operator()<Op>() with the blend operation as a compile-time value, so a
// span kernel is specialised once per draw; unknown operations add.
template <class Kernel> void WithBlendOp(DWORD op, Kernel&& kernel) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return kernel.template operator()<D3DBLENDOP_SUBTRACT>();
    case D3DBLENDOP_REVSUBTRACT:
        return kernel.template operator()<D3DBLENDOP_REVSUBTRACT>();
    case D3DBLENDOP_MIN:
        return kernel.template operator()<D3DBLENDOP_MIN>();
    case D3DBLENDOP_MAX:
        return kernel.template operator()<D3DBLENDOP_MAX>();
    default:
        return kernel.template operator()<D3DBLENDOP_ADD>();
    }
}

// Mag filter when one pixel step covers at most one texel, else min filter.
DWORD ChooseFilter(const DrawState& st, const Planes& planes);

// The stage-0 combination of texel and diffuse colour into the source colour.
std::uint32_t CombineStage0(const DrawState& st, std::uint32_t tex, std::uint32_t dif);
bool AlphaTestPasses(DWORD func, std::uint32_t alpha, std::uint32_t ref);
// The colour written for source src over destination dst (blend, write mask, X8 alpha).
std::uint32_t BlendPixel(const DrawState& st, std::uint32_t src, std::uint32_t dst);

inline std::uint32_t* TargetRow(const TargetView& t, std::int64_t y) {
    return reinterpret_cast<std::uint32_t*>(t.bits + y * t.pitch);
}

// The full per-pixel pipeline at one pixel whose attributes come from planes.
inline void ShadePixel(const DrawState& st, DWORD filter, const Planes& planes, std::int64_t px,
                       std::int64_t py) {
    const std::uint32_t tex = st.hasTexture ? SampleTexture(st, filter, planes.attr[AttrS].At(px, py),
                                                            planes.attr[AttrT].At(px, py))
                                            : 0xFFFFFFFFu;
    const std::uint32_t src = CombineStage0(st, tex, ColorFromPlanes(planes, px, py));
    if (st.alphaTest && !AlphaTestPasses(st.alphaFunc, src >> 24, st.alphaRef)) return;
    std::uint32_t* pixel = TargetRow(st.target, py) + px;
    *pixel = BlendPixel(st, src, *pixel);
}

// ---- span kernels: a scalar set and SIMD twins that give the same bytes ----

// One texel column filtered vertically: per channel (blue, green, red, alpha) the value
// v = top * (256 - fy) + bottom * fy, stored as v - 32768 so that it fits a signed 16-bit lane.
struct TexelColumn {
    std::int16_t v[4];
};

// Horizontal weights of one pixel packed as (256 - fx) | fx << 16.
inline std::uint32_t PackWeights(std::uint32_t fx) {
    return (256 - fx) | fx << 16;
}

struct Kernels {
    // out[i] = column first + i of the two texel rows (no wrap inside the range).
    void (*verticalRange)(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                          std::int32_t first, int count, TexelColumn* out);
    // out[i] = column cols[i] of the two texel rows.
    void (*verticalList)(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                         const std::int32_t* cols, int count, TexelColumn* out);
    // out[i] = round((left * (256 - fx) + right * fx) / 65536) per channel, where left and right
    // are columns[index[i]] and columns[index[i] + 1].
    void (*horizontal)(const TexelColumn* columns, const std::int32_t* index, const std::uint32_t* weights,
                       int n, std::uint32_t* out);
    // out = Mul8(tex, dif) per channel, dif one colour or one colour per pixel.
    void (*modulateConst)(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* out, int n);
    void (*modulate)(const std::uint32_t* tex, const std::uint32_t* dif, std::uint32_t* out, int n);
    // dst = min(255, Mul8(src, As) + Mul8(dst, 255 - As)) per channel.
    void (*blendSrcAlpha)(const std::uint32_t* src, std::uint32_t* dst, int n);
    // The same with src = Mul8(tex, dif) per channel: a tinted texture blended in one pass.
    void (*blendSrcAlphaTinted)(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* dst, int n);
    // out = op(Mul8(src, fs), Mul8(dst, fd)) per channel, clamped; MIN and MAX read src and dst only.
    void (*blendOp)(DWORD op, const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                    const std::uint32_t* fd, std::uint32_t* out, int n);
    // blendSrcAlphaTinted of texels read backwards: pixel i takes texLast[-i].
    void (*blendSrcAlphaTintedReversed)(const std::uint32_t* texLast, std::uint32_t dif, std::uint32_t* dst,
                                        int n);
    // The three above with the alpha blended as "over", As + Mul8(Ad, 255 - As) (separate alpha
    // factors ONE and INVSRCALPHA); the colour channels as they blend.
    void (*coverSrcAlpha)(const std::uint32_t* src, std::uint32_t* dst, int n);
    void (*coverSrcAlphaTinted)(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* dst, int n);
    void (*coverSrcAlphaTintedReversed)(const std::uint32_t* texLast, std::uint32_t dif, std::uint32_t* dst,
                                        int n);
};

const Kernels& ScalarKernels();
// nullptr when the processor lacks the instructions (or is not x86).
const Kernels* Avx512Kernels();
const Kernels* Avx2Kernels();
const Kernels* Sse41Kernels();
// The best set the processor and the cap allow.
const Kernels& ActiveKernels(SimdLevel cap);

// ---- entry points of the implementations ----
void DrawTrianglesReference(const DrawState& state, const RasterVertex* vertices, std::size_t count,
                            const RowBand& band);
// Each primitive in turn in every band of bands (one or two strips of rows).
void DrawTrianglesSpans(const DrawState& state, const RasterVertex* vertices, std::size_t count,
                        std::span<const RowBand> bands);
void DrawLinesAll(const DrawState& state, const RasterVertex* vertices, std::size_t count);

} // namespace vorn::sd::detail
