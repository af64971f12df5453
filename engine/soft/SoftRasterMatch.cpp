// Recognition of triangle pairs the span path draws as one primitive: two triangles sharing an
// edge with the same planes (a quad), and two that tile an axis-aligned rectangle.
#include "engine/soft/SoftRasterSpanDetail.h"

#include <algorithm>

namespace vorn::sd {

namespace detail {

namespace {

// The exact plane through the corner values a00 (xa, ya), a10 (xb, ya) and a01 (xa, yb). It is
// the same rational plane as that of either triangle, so it rounds to the same integers.
Plane RectPlane(const RectSetup& r, std::int64_t a00, std::int64_t a10, std::int64_t a01) {
    if (a00 == a10 && a00 == a01) return Plane{a00 * (std::int64_t(1) << PlaneFractionBits), 0, 0};
    const Int128 w = r.xb - r.xa, h = r.yb - r.ya;
    const Int128 dx = a10 - a00, dy = a01 - a00;
    constexpr Int128 one = Int128(1) << PlaneFractionBits;
    Plane p;
    p.dx = RoundDivClamped(dx * SubPixelOne * one, w, MaxPlaneGradient);
    p.dy = RoundDivClamped(dy * SubPixelOne * one, h, MaxPlaneGradient);
    p.c =
        RoundDivClamped((Int128(a00) * w * h - dx * r.xa * h - dy * r.ya * w) * one, w * h, MaxPlaneConstant);
    return p;
}

} // namespace

bool MatchQuad(const DrawState& st, const RasterVertex* a, const RasterVertex* b, QuadSetup& q) {
    FixedVertex f[6];
    for (int i = 0; i < 3; ++i)
        if (!SnapVertex(a[i], st, f[i]) || !SnapVertex(b[i], st, f[3 + i])) return false;
    auto same = [](const FixedVertex& u, const FixedVertex& v) {
        return u.x == v.x && u.y == v.y && std::equal(u.attr, u.attr + AttrCount, v.attr);
    };
    int shared = 0, ownA = -1, ownB = -1;
    bool inB[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool found = false;
        for (int j = 0; j < 3 && !found; ++j)
            if (!inB[j] && same(f[i], f[3 + j])) inB[j] = found = true;
        if (found)
            ++shared;
        else
            ownA = i;
    }
    if (shared != 2) return false;
    for (int j = 0; j < 3; ++j)
        if (!inB[j]) ownB = 3 + j;
    if (!SetupTriangle(st, f[0], f[1], f[2], q.tri[0]) || !SetupTriangle(st, f[3], f[4], f[5], q.tri[1]))
        return false;
    if (!(q.tri[0].planes == q.tri[1].planes)) return false;
    // The two own vertices on opposite sides of the shared edge: the triangles do not overlap.
    const FixedVertex& p = f[(ownA + 1) % 3];
    const FixedVertex& r = f[(ownA + 2) % 3];
    auto side = [&](const FixedVertex& v) { return (r.x - p.x) * (v.y - p.y) - (r.y - p.y) * (v.x - p.x); };
    const std::int64_t sa = side(f[ownA]), sb = side(f[ownB]);
    return (sa > 0 && sb < 0) || (sa < 0 && sb > 0);
}

// Whether triangles a and b (three vertices each) tile an axis-aligned rectangle along one of its
// diagonals, with attributes that are one affine function over both.
bool MatchRectangle(const DrawState& st, const RasterVertex* a, const RasterVertex* b, RectSetup& r) {
    FixedVertex f[6];
    for (int i = 0; i < 3; ++i)
        if (!SnapVertex(a[i], st, f[i]) || !SnapVertex(b[i], st, f[3 + i])) return false;
    r.xa = r.xb = f[0].x;
    r.ya = r.yb = f[0].y;
    for (const FixedVertex& v : f) {
        r.xa = std::min(r.xa, v.x);
        r.xb = std::max(r.xb, v.x);
        r.ya = std::min(r.ya, v.y);
        r.yb = std::max(r.yb, v.y);
    }
    if (r.xa == r.xb || r.ya == r.yb) return false;
    // Corner numbers: bit 0 = right, bit 1 = bottom. corner[c] = the vertex sitting there.
    const FixedVertex* corner[4] = {};
    int maskA = 0, maskB = 0;
    for (int i = 0; i < 6; ++i) {
        const bool right = f[i].x == r.xb, bottom = f[i].y == r.yb;
        if (!right && f[i].x != r.xa) return false;
        if (!bottom && f[i].y != r.ya) return false;
        const int c = (right ? 1 : 0) | (bottom ? 2 : 0);
        int& mask = i < 3 ? maskA : maskB;
        if (mask & (1 << c)) return false; // a degenerate triangle
        mask |= 1 << c;
        if (corner[c]) {
            for (int k = 0; k < AttrCount; ++k)
                if (corner[c]->attr[k] != f[i].attr[k]) return false;
        } else {
            corner[c] = &f[i];
        }
    }
    // Each triangle misses one corner; the two missing corners must be opposite (0 and 3, or 1 and 2).
    const int missA = 0xF & ~maskA, missB = 0xF & ~maskB;
    if (!((missA == 1 && missB == 8) || (missA == 8 && missB == 1) || (missA == 2 && missB == 4) ||
          (missA == 4 && missB == 2)))
        return false;
    // Culling: each triangle on its own.
    if (st.cullMode == D3DCULL_CW || st.cullMode == D3DCULL_CCW) {
        for (int tri = 0; tri < 2; ++tri) {
            const FixedVertex* v = f + 3 * tri;
            const std::int64_t area =
                (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[1].y - v[0].y) * (v[2].x - v[0].x);
            if (Culled(st.cullMode, area)) return false;
        }
    }
    for (int k = 0; k < AttrCount; ++k) {
        if ((k == AttrS || k == AttrT) && !st.hasTexture) {
            r.planes.attr[k] = Plane{};
            continue;
        }
        if (k < 4 && st.flatShading) {
            // Each triangle takes the colour of its first vertex.
            if (f[0].attr[k] != f[3].attr[k]) return false;
            r.planes.attr[k] = Plane{f[0].attr[k] * (std::int64_t(1) << PlaneFractionBits), 0, 0};
            continue;
        }
        const std::int64_t a00 = corner[0]->attr[k], a10 = corner[1]->attr[k];
        const std::int64_t a01 = corner[2]->attr[k], a11 = corner[3]->attr[k];
        if (a11 - a10 != a01 - a00) return false; // not affine
        r.planes.attr[k] = RectPlane(r, a00, a10, a01);
    }
    return true;
}

} // namespace detail

} // namespace vorn::sd
