// Private parts of the span path shared by its files: the stage functions a draw picks once
// (blend factors, texture stage combination) and the recognition of triangle pairs that form a
// quad or an axis-aligned rectangle.
#pragma once

#include "engine/soft/SoftRasterDetail.h"

#include <cstdint>

namespace vorn::sd::detail {

// ---- blend factors, one span at a time ----

using FactorFn = void (*)(const std::uint32_t* src, const std::uint32_t* dst, std::uint32_t* out, int n);

// The span function of blend factor f; ZERO and unknown factors give 0.
FactorFn PickFactor(DWORD f);

// ---- texture stage combination ----

using CombineFn = void (*)(const DrawState& st, const std::uint32_t* tex, const std::uint32_t* dif,
                           std::uint32_t* out, int n);

// Any stage-0 set-up, one pixel at a time through CombineStage0.
void CombineGeneric(const DrawState& st, const std::uint32_t* tex, const std::uint32_t* dif,
                    std::uint32_t* out, int n);
// Whether op has a span function of its own (PickStandard).
bool IsStandardOp(DWORD op);
// The span function of a standard colour and alpha operation with arg1 = texel and arg0 = arg2 =
// diffuse.
CombineFn PickStandard(DWORD colorOp, DWORD alphaOp);

// ---- triangle pairs drawn as one primitive ----

// Triangles a and b of a quad that share an edge (both ends equal in position and attributes),
// lie on opposite sides of it and have the very same planes, so every pixel of either is shaded
// alike whichever triangle owns it.
struct QuadSetup {
    TriangleSetup tri[2];
};

bool MatchQuad(const DrawState& st, const RasterVertex* a, const RasterVertex* b, QuadSetup& q);

struct RectSetup {
    std::int64_t xa, xb, ya, yb; // corners in 1/256 pixel, xa < xb, ya < yb
    Planes planes;
};

// Whether triangles a and b (three vertices each) tile an axis-aligned rectangle along one of its
// diagonals, with attributes that are one affine function over both.
bool MatchRectangle(const DrawState& st, const RasterVertex* a, const RasterVertex* b, RectSetup& r);

} // namespace vorn::sd::detail
