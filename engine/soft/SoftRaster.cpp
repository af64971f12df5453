#include "engine/soft/SoftRaster.h"

#include "engine/soft/SoftRasterDetail.h"
#include "engine/soft/SoftRasterPool.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

namespace vorn::sd {

namespace detail {

namespace {

std::int64_t TexCoordOf(float u, std::int32_t size) {
    double v = static_cast<double>(u) * size * static_cast<double>(1 << TexCoordBits);
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -static_cast<double>(MaxVertexTexCoord), static_cast<double>(MaxVertexTexCoord));
    return static_cast<std::int64_t>(std::nearbyint(v));
}

// The exact plane through three oriented vertices, rounded to the plane's fixed point.
Plane TrianglePlane(const TriangleSetup& t, int attr) {
    const FixedVertex& v0 = t.v[0];
    const FixedVertex& v1 = t.v[1];
    const FixedVertex& v2 = t.v[2];
    const std::int64_t a0 = v0.attr[attr];
    if (a0 == v1.attr[attr] && a0 == v2.attr[attr])
        return Plane{a0 * (std::int64_t(1) << PlaneFractionBits), 0, 0};
    const Int128 d1 = v1.attr[attr] - a0;
    const Int128 d2 = v2.attr[attr] - a0;
    const Int128 nX = d1 * (v2.y - v0.y) - d2 * (v1.y - v0.y); // d(attr)/dX * area
    const Int128 nY = d2 * (v1.x - v0.x) - d1 * (v2.x - v0.x); // d(attr)/dY * area
    const Int128 area = t.area;
    constexpr Int128 one = Int128(1) << PlaneFractionBits;
    Plane p;
    p.dx = RoundDivClamped(nX * SubPixelOne * one, area, MaxPlaneGradient);
    p.dy = RoundDivClamped(nY * SubPixelOne * one, area, MaxPlaneGradient);
    p.c = RoundDivClamped((Int128(a0) * area - nX * v0.x - nY * v0.y) * one, area, MaxPlaneConstant);
    return p;
}

std::uint32_t ArgValue(const DrawState& st, DWORD arg, std::uint32_t tex, std::uint32_t dif) {
    std::uint32_t v = 0;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
    case D3DTA_CURRENT: // at stage 0 the current colour is the diffuse colour
        v = dif;
        break;
    case D3DTA_TEXTURE:
        v = tex;
        break;
    case D3DTA_TFACTOR:
        v = st.textureFactor;
        break;
    default: // specular, temporary and constant registers hold black here
        v = 0;
        break;
    }
    if (arg & D3DTA_ALPHAREPLICATE) v = (v >> 24) * 0x01010101u;
    if (arg & D3DTA_COMPLEMENT) v = ~v;
    return v;
}

std::uint32_t OpChannel(DWORD op, std::uint32_t a0, std::uint32_t a1, std::uint32_t a2) {
    switch (op) {
    case D3DTOP_SELECTARG2:
        return a2;
    case D3DTOP_MODULATE:
        return Mul8(a1, a2);
    case D3DTOP_MODULATE2X:
        return std::min<std::uint32_t>(255, (2 * a1 * a2 + 127) / 255);
    case D3DTOP_MODULATE4X:
        return std::min<std::uint32_t>(255, (4 * a1 * a2 + 127) / 255);
    case D3DTOP_ADD:
        return std::min<std::uint32_t>(255, a1 + a2);
    case D3DTOP_MULTIPLYADD:
        return std::min<std::uint32_t>(255, a0 + Mul8(a1, a2));
    default: // SELECTARG1 and the operations this layer does not offer
        return a1;
    }
}

std::uint32_t BlendFactor(DWORD factor, int k, std::uint32_t src, std::uint32_t dst) {
    const std::uint32_t sa = src >> 24;
    const std::uint32_t da = dst >> 24;
    switch (factor) {
    case D3DBLEND_ONE:
        return 255;
    case D3DBLEND_SRCCOLOR:
        return Channel(src, k);
    case D3DBLEND_INVSRCCOLOR:
        return 255 - Channel(src, k);
    case D3DBLEND_SRCALPHA:
        return sa;
    case D3DBLEND_INVSRCALPHA:
        return 255 - sa;
    case D3DBLEND_DESTALPHA:
        return da;
    case D3DBLEND_INVDESTALPHA:
        return 255 - da;
    case D3DBLEND_DESTCOLOR:
        return Channel(dst, k);
    case D3DBLEND_INVDESTCOLOR:
        return 255 - Channel(dst, k);
    case D3DBLEND_SRCALPHASAT:
        return k == 3 ? 255 : std::min(sa, 255 - da);
    default: // ZERO and unknown factors
        return 0;
    }
}

std::uint32_t BlendChannel(DWORD op, DWORD srcFactor, DWORD dstFactor, int k, std::uint32_t src,
                           std::uint32_t dst) {
    const std::uint32_t s = Channel(src, k);
    const std::uint32_t d = Channel(dst, k);
    switch (op) {
    case D3DBLENDOP_MIN:
        return std::min(s, d);
    case D3DBLENDOP_MAX:
        return std::max(s, d);
    default:
        break;
    }
    const auto sf = static_cast<std::int32_t>(Mul8(s, BlendFactor(srcFactor, k, src, dst)));
    const auto df = static_cast<std::int32_t>(Mul8(d, BlendFactor(dstFactor, k, src, dst)));
    std::int32_t r = 0;
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        r = sf - df;
        break;
    case D3DBLENDOP_REVSUBTRACT:
        r = df - sf;
        break;
    default: // ADD and unknown operations
        r = sf + df;
        break;
    }
    return static_cast<std::uint32_t>(std::clamp(r, 0, 255));
}

// ---- the reference rasteriser: every pixel of the bounding box tested on its own ----

void RasterTriangleReference(const DrawState& st, const TriangleSetup& t, const RowBand& band) {
    const TargetView& target = st.target;
    const auto [x0, x1, y0, y1] = BoundingPixels(t, target, band);
    Edge e0, e1, e2;
    e0.Init(t.v[1], t.v[2]);
    e1.Init(t.v[2], t.v[0]);
    e2.Init(t.v[0], t.v[1]);
    const DWORD filter = ChooseFilter(st, t.planes);
    for (std::int64_t py = y0; py <= y1; ++py)
        for (std::int64_t px = x0; px <= x1; ++px)
            if (e0.At(px, py) >= 0 && e1.At(px, py) >= 0 && e2.At(px, py) >= 0)
                ShadePixel(st, filter, t.planes, px, py);
}

} // namespace

bool SnapVertex(const RasterVertex& in, const DrawState& st, FixedVertex& out) {
    const double x = in.x;
    const double y = in.y;
    if (!(std::fabs(x) <= GuardBand) || !(std::fabs(y) <= GuardBand)) return false;
    out.x = static_cast<std::int64_t>(std::nearbyint(x * SubPixelOne));
    out.y = static_cast<std::int64_t>(std::nearbyint(y * SubPixelOne));
    for (int k = 0; k < 4; ++k) out.attr[k] = Channel(in.diffuse, k);
    out.attr[AttrS] = st.hasTexture ? TexCoordOf(in.u, st.texture.width) : 0;
    out.attr[AttrT] = st.hasTexture ? TexCoordOf(in.v, st.texture.height) : 0;
    return true;
}

bool SetupTriangle(const DrawState& st, const FixedVertex& a, const FixedVertex& b, const FixedVertex& c,
                   TriangleSetup& out) {
    std::int64_t area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (area == 0) return false;
    // area > 0: clockwise on the screen (y down).
    if (Culled(st.cullMode, area)) return false;
    out.v[0] = a;
    out.v[1] = area > 0 ? b : c;
    out.v[2] = area > 0 ? c : b;
    out.area = area > 0 ? area : -area;
    for (int k = 0; k < AttrCount; ++k) {
        if ((k == AttrS || k == AttrT) && !st.hasTexture) {
            out.planes.attr[k] = Plane{};
        } else if (k < 4 && st.flatShading) {
            out.planes.attr[k] = Plane{a.attr[k] * (std::int64_t(1) << PlaneFractionBits), 0, 0};
        } else {
            out.planes.attr[k] = TrianglePlane(out, k);
        }
    }
    return true;
}

std::size_t ClipToGuardBand(const RasterVertex* tri, RasterVertex* out) {
    struct V {
        double x, y, u, v, c[4];
    };
    V poly[16];
    int n = 0;
    for (int i = 0; i < 3; ++i) {
        const RasterVertex& r = tri[i];
        if (!std::isfinite(r.x) || !std::isfinite(r.y)) return 0;
        V& p = poly[n++];
        p.x = r.x;
        p.y = r.y;
        p.u = r.u;
        p.v = r.v;
        for (int k = 0; k < 4; ++k) p.c[k] = Channel(r.diffuse, k);
    }
    const double limit = GuardBand - 1.0;
    // Sutherland-Hodgman against the four sides of the band.
    for (int side = 0; side < 4; ++side) {
        auto dist = [&](const V& p) {
            switch (side) {
            case 0:
                return limit + p.x;
            case 1:
                return limit - p.x;
            case 2:
                return limit + p.y;
            default:
                return limit - p.y;
            }
        };
        V next[16];
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const V& p = poly[i];
            const V& q = poly[(i + 1) % n];
            const double dp = dist(p);
            const double dq = dist(q);
            if (dp >= 0) next[m++] = p;
            if ((dp >= 0) != (dq >= 0) && m < 16) {
                const double f = dp / (dp - dq);
                V r;
                r.x = p.x + (q.x - p.x) * f;
                r.y = p.y + (q.y - p.y) * f;
                r.u = p.u + (q.u - p.u) * f;
                r.v = p.v + (q.v - p.v) * f;
                for (int k = 0; k < 4; ++k) r.c[k] = p.c[k] + (q.c[k] - p.c[k]) * f;
                next[m++] = r;
            }
        }
        n = std::min(m, 9);
        std::copy(next, next + n, poly);
        if (n < 3) return 0;
    }
    std::size_t count = 0;
    auto toRaster = [](const V& p) {
        RasterVertex r;
        r.x = static_cast<float>(std::clamp(p.x, -GuardBand, GuardBand));
        r.y = static_cast<float>(std::clamp(p.y, -GuardBand, GuardBand));
        r.u = static_cast<float>(p.u);
        r.v = static_cast<float>(p.v);
        std::uint32_t c = 0;
        for (int k = 0; k < 4; ++k)
            c |= static_cast<std::uint32_t>(std::clamp(std::lround(p.c[k]), 0L, 255L)) << (8 * k);
        r.diffuse = c;
        return r;
    };
    for (int i = 1; i + 1 < n && count < 7; ++i, ++count) {
        out[3 * count] = toRaster(poly[0]);
        out[3 * count + 1] = toRaster(poly[i]);
        out[3 * count + 2] = toRaster(poly[i + 1]);
    }
    return count;
}

DWORD ChooseFilter(const DrawState& st, const Planes& planes) {
    auto normal = [](DWORD f) {
        return f == D3DTEXF_LINEAR || f > D3DTEXF_LINEAR ? DWORD(D3DTEXF_LINEAR) : DWORD(D3DTEXF_POINT);
    };
    const DWORD mag = normal(st.magFilter);
    const DWORD min = normal(st.minFilter);
    if (mag == min) return mag;
    const Plane& s = planes.attr[AttrS];
    const Plane& t = planes.attr[AttrT];
    auto mag1 = [](std::int64_t d) { return d <= TexelOne && d >= -TexelOne; };
    return mag1(s.dx) && mag1(s.dy) && mag1(t.dx) && mag1(t.dy) ? mag : min;
}

std::uint32_t CombineStage0(const DrawState& st, std::uint32_t tex, std::uint32_t dif) {
    if (st.colorOp == D3DTOP_DISABLE) return dif;
    const std::uint32_t c0 = ArgValue(st, st.colorArg0, tex, dif);
    const std::uint32_t c1 = ArgValue(st, st.colorArg1, tex, dif);
    const std::uint32_t c2 = ArgValue(st, st.colorArg2, tex, dif);
    if (st.colorOp == D3DTOP_DOTPRODUCT3) {
        std::int32_t sum = 0;
        for (int k = 0; k < 3; ++k)
            sum += (2 * static_cast<std::int32_t>(Channel(c1, k)) - 255) *
                   (2 * static_cast<std::int32_t>(Channel(c2, k)) - 255);
        const std::uint32_t v = sum <= 0 ? 0 : std::min<std::uint32_t>(255, (sum + 127) / 255);
        return v * 0x01010101u;
    }
    std::uint32_t out = 0;
    for (int k = 0; k < 3; ++k)
        out |= OpChannel(st.colorOp, Channel(c0, k), Channel(c1, k), Channel(c2, k)) << (8 * k);
    std::uint32_t alpha = dif >> 24;
    if (st.alphaOp != D3DTOP_DISABLE) {
        alpha =
            OpChannel(st.alphaOp, ArgValue(st, st.alphaArg0, tex, dif) >> 24,
                      ArgValue(st, st.alphaArg1, tex, dif) >> 24, ArgValue(st, st.alphaArg2, tex, dif) >> 24);
    }
    return out | alpha << 24;
}

bool AlphaTestPasses(DWORD func, std::uint32_t alpha, std::uint32_t ref) {
    switch (func) {
    case D3DCMP_NEVER:
        return false;
    case D3DCMP_LESS:
        return alpha < ref;
    case D3DCMP_EQUAL:
        return alpha == ref;
    case D3DCMP_LESSEQUAL:
        return alpha <= ref;
    case D3DCMP_GREATER:
        return alpha > ref;
    case D3DCMP_NOTEQUAL:
        return alpha != ref;
    case D3DCMP_GREATEREQUAL:
        return alpha >= ref;
    default:
        return true;
    }
}

std::uint32_t BlendPixel(const DrawState& st, std::uint32_t src, std::uint32_t dst) {
    if (st.target.opaqueAlpha) dst |= 0xFF000000u;
    std::uint32_t out = src;
    if (st.blend) {
        out = 0;
        for (int k = 0; k < 3; ++k)
            out |= BlendChannel(st.blendOp, st.srcBlend, st.destBlend, k, src, dst) << (8 * k);
        const bool sep = st.separateAlpha;
        out |= BlendChannel(sep ? st.blendOpAlpha : st.blendOp, sep ? st.srcBlendAlpha : st.srcBlend,
                            sep ? st.destBlendAlpha : st.destBlend, 3, src, dst)
               << 24;
    }
    if ((st.colorWriteMask & 0xF) != 0xF) {
        const std::uint32_t m = WriteMaskBits(st.colorWriteMask);
        out = (out & m) | (dst & ~m);
    }
    if (st.target.opaqueAlpha) out |= 0xFF000000u;
    return out;
}

void DrawTrianglesReference(const DrawState& st, const RasterVertex* vertices, std::size_t count,
                            const RowBand& band) {
    for (std::size_t i = 0; i < count; ++i)
        ForEachTriangle(st, vertices + 3 * i,
                        [&](const TriangleSetup& t) { RasterTriangleReference(st, t, band); });
}

// ---- lines: the diamond-exit rule ----

namespace {

struct LinePoint {
    std::int64_t x, y;
    std::int64_t attr[AttrCount];
};

// Clips the segment to the guard band in floating point; false when nothing is left.
bool ClipLine(RasterVertex& a, RasterVertex& b) {
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y))
        return false;
    double t0 = 0, t1 = 1;
    const double limit = GuardBand - 1.0;
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x + limit, limit - a.x, a.y + limit, limit - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
    }
    if (t0 > t1) return false;
    auto lerp = [&](double t) {
        RasterVertex r;
        r.x = static_cast<float>(a.x + dx * t);
        r.y = static_cast<float>(a.y + dy * t);
        r.u = static_cast<float>(a.u + (double(b.u) - a.u) * t);
        r.v = static_cast<float>(a.v + (double(b.v) - a.v) * t);
        std::uint32_t c = 0;
        for (int k = 0; k < 4; ++k) {
            const double ca = Channel(a.diffuse, k), cb = Channel(b.diffuse, k);
            c |= static_cast<std::uint32_t>(std::clamp(std::lround(ca + (cb - ca) * t), 0L, 255L)) << (8 * k);
        }
        r.diffuse = c;
        return r;
    };
    const RasterVertex na = lerp(t0), nb = lerp(t1);
    a = na;
    b = nb;
    return true;
}

// Nearest pixel centre of a fixed-point coordinate (halves go up).
std::int64_t NearestPixel(std::int64_t v) {
    return FloorDiv64(v + SubPixelOne / 2, SubPixelOne);
}

bool InDiamond(std::int64_t x, std::int64_t y, std::int64_t px, std::int64_t py) {
    const std::int64_t dx = x - px * SubPixelOne;
    const std::int64_t dy = y - py * SubPixelOne;
    return (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy) < SubPixelOne / 2;
}

void ShadeLinePixel(const DrawState& st, DWORD filter, const FixedVertex& a, const FixedVertex& b,
                    std::int64_t num, std::int64_t den, std::int64_t px, std::int64_t py) {
    if (px < 0 || py < 0 || px >= st.target.width || py >= st.target.height) return;
    // Attributes at parameter num / den along a->b (den > 0), as plane values.
    Planes p;
    constexpr Int128 one = Int128(1) << PlaneFractionBits;
    for (int k = 0; k < AttrCount; ++k) {
        const Int128 n = (Int128(a.attr[k]) * den + Int128(b.attr[k] - a.attr[k]) * num) * one;
        p.attr[k] = Plane{RoundDivClamped(n, den, MaxPlaneConstant), 0, 0};
    }
    if (st.flatShading)
        for (int k = 0; k < 4; ++k) p.attr[k].c = a.attr[k] * (std::int64_t(1) << PlaneFractionBits);
    // Constant planes evaluated at (0, 0) give the values; the pixel is passed separately.
    const std::uint32_t tex =
        st.hasTexture ? SampleTexture(st, filter, p.attr[AttrS].c, p.attr[AttrT].c) : 0xFFFFFFFFu;
    const std::uint32_t src = CombineStage0(st, tex, ColorFromPlanes(p, 0, 0));
    if (st.alphaTest && !AlphaTestPasses(st.alphaFunc, src >> 24, st.alphaRef)) return;
    std::uint32_t* pixel = TargetRow(st.target, py) + px;
    *pixel = BlendPixel(st, src, *pixel);
}

void RasterLine(const DrawState& st, const FixedVertex& a, const FixedVertex& b) {
    const std::int64_t dx = b.x - a.x;
    const std::int64_t dy = b.y - a.y;
    if (dx == 0 && dy == 0) return;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    // Major axis as (m, n): position along the major axis and across it.
    const std::int64_t m0 = xMajor ? a.x : a.y, m1 = xMajor ? b.x : b.y;
    const std::int64_t n0 = xMajor ? a.y : a.x, n1 = xMajor ? b.y : b.x;
    const std::int64_t dm = m1 - m0, dn = n1 - n0;
    const std::int64_t sign = dm > 0 ? 1 : -1;
    const std::int64_t den = dm * sign; // > 0
    Planes planes;                      // for the filter choice only: texels per pixel along the line
    constexpr Int128 perPixel = Int128(SubPixelOne) << PlaneFractionBits;
    for (int k : {AttrS, AttrT})
        planes.attr[k].dx = RoundDivClamped(Int128(b.attr[k] - a.attr[k]) * perPixel, den, MaxPlaneGradient);
    const DWORD filter = ChooseFilter(st, planes);

    // The diamond holding the end point is never left, so its pixel is not lit.
    const std::int64_t endX = NearestPixel(b.x), endY = NearestPixel(b.y);
    const bool endInside = InDiamond(b.x, b.y, endX, endY);
    auto lit = [&](std::int64_t px, std::int64_t py) { return !(endInside && px == endX && py == endY); };

    // The diamond holding the start point is left, so its pixel is lit.
    const std::int64_t startX = NearestPixel(a.x), startY = NearestPixel(a.y);
    bool startPending = InDiamond(a.x, a.y, startX, startY);

    // Every pixel centre line of the major axis crossed from start (inclusive) to end (inclusive).
    std::int64_t first, last;
    if (sign > 0) {
        first = FloorDiv64(m0 + SubPixelOne - 1, SubPixelOne);
        last = FloorDiv64(m1, SubPixelOne);
    } else {
        first = FloorDiv64(m0, SubPixelOne);
        last = FloorDiv64(m1 + SubPixelOne - 1, SubPixelOne);
    }
    for (std::int64_t c = first; sign > 0 ? c <= last : c >= last; c += sign) {
        const std::int64_t num = (c * SubPixelOne - m0) * sign; // 0..den
        // Position across the major axis at that centre line, rounded to the nearest pixel.
        const std::int64_t across =
            FloorDiv64(n0 * den + dn * num + den * (SubPixelOne / 2), den * SubPixelOne);
        const std::int64_t px = xMajor ? c : across;
        const std::int64_t py = xMajor ? across : c;
        if (startPending) {
            startPending = false;
            if ((px != startX || py != startY) && lit(startX, startY))
                ShadeLinePixel(st, filter, a, b, 0, den, startX, startY);
        }
        if (lit(px, py)) ShadeLinePixel(st, filter, a, b, num, den, px, py);
    }
    if (startPending && lit(startX, startY)) ShadeLinePixel(st, filter, a, b, 0, den, startX, startY);
}

} // namespace

void DrawLinesAll(const DrawState& st, const RasterVertex* vertices, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        RasterVertex a = vertices[2 * i];
        RasterVertex b = vertices[2 * i + 1];
        FixedVertex fa, fb;
        if (!SnapVertex(a, st, fa) || !SnapVertex(b, st, fb)) {
            if (!ClipLine(a, b) || !SnapVertex(a, st, fa) || !SnapVertex(b, st, fb)) continue;
        }
        RasterLine(st, fa, fb);
    }
}

} // namespace detail

namespace {
bool TargetUsable(const TargetView& t) {
    return t.bits && t.width > 0 && t.height > 0 && t.pitch >= 4 * t.width;
}
bool TextureUsable(const DrawState& st) {
    return !st.hasTexture || (st.texture.texels && st.texture.width > 0 && st.texture.height > 0 &&
                              st.texture.pitch >= st.texture.width);
}
} // namespace

namespace {

constexpr std::int32_t MinBandRows = 16;
constexpr int MaxBands = 32;

// How a draw's rows are shared out. Row y and its mirror row height - 1 - y form pair
// min(y, height - 1 - y); band k takes the pairs [pairEnd[k], pairEnd[k + 1]), so a primitive and
// its mirror image across the middle row are drawn by the same band (which can reuse what it
// sampled for the one in the other), and a primitive meets a second band only where it crosses
// a boundary.
struct BandLayout {
    int bands = 1;
    std::int64_t pairEnd[MaxBands + 1] = {};
};

// The work of each row pair, estimated from the primitives' bounding boxes: the pixels of a box
// in a row, and an allowance for setting the row up. Summed through diff (pairs + 1 entries)
// from steps at the boxes' edges; answers the whole.
double RowPairWork(const TargetView& target, const RasterVertex* v, std::size_t count,
                   std::vector<double>& diff) {
    constexpr double RowSetup = 16; // pixels
    const std::int64_t height = target.height, pairs = (height + 1) / 2;
    diff.assign(std::size_t(pairs) + 1, 0.0);
    double whole = 0;
    auto add = [&](std::int64_t from, std::int64_t to, double work) {
        if (from >= to) return;
        diff[std::size_t(from)] += work;
        diff[std::size_t(to)] -= work;
        whole += work * double(to - from);
    };
    for (std::size_t i = 0; i < 3 * count; i += 3) {
        const float x0 = std::min({v[i].x, v[i + 1].x, v[i + 2].x});
        const float x1 = std::max({v[i].x, v[i + 1].x, v[i + 2].x});
        const float y0 = std::min({v[i].y, v[i + 1].y, v[i + 2].y});
        const float y1 = std::max({v[i].y, v[i + 1].y, v[i + 2].y});
        const double w = std::min<double>(x1, target.width) - std::max<double>(x0, 0);
        // Rows whose centres may lie inside: [floor(y0), ceil(y1)) within the target; false for
        // NaN, so such a primitive adds nothing.
        const double top = std::max<double>(std::floor(y0), 0),
                     bottom = std::min<double>(std::ceil(y1), double(height));
        if (!(w > 0) || !(top < bottom)) continue;
        const std::int64_t a = std::int64_t(top), b = std::int64_t(bottom);
        const double work = w + RowSetup;
        add(a, std::min(b, pairs), work);                   // rows above the middle
        add(height - b, height - std::max(a, pairs), work); // rows below it, as pairs
    }
    return whole;
}

// bands bands of about the same work each, from the pairs' work in diff.
BandLayout BalancedBands(int bands, std::int64_t height, const std::vector<double>& diff, double whole) {
    BandLayout layout;
    layout.bands = bands;
    const std::int64_t pairs = (height + 1) / 2;
    double running = 0, done = 0;
    int k = 1;
    for (std::int64_t p = 0; p < pairs && k < bands; ++p) {
        running += diff[std::size_t(p)];
        done += running;
        while (k < bands && done >= whole * k / bands) layout.pairEnd[k++] = p + 1;
    }
    while (k < bands) layout.pairEnd[k++] = pairs;
    layout.pairEnd[bands] = pairs;
    return layout;
}

struct BandJob {
    const DrawState* state;
    const RasterVertex* vertices;
    std::size_t count;
    BandLayout layout;
};

void DrawBand(void* context, int band) {
    const BandJob& job = *static_cast<const BandJob*>(context);
    if (job.state->options.bandStarts) job.state->options.bandStarts(band);
    const std::int64_t height = job.state->target.height;
    detail::RowBand rows[2] = {{0, height}};
    std::size_t count = 1;
    if (job.layout.bands > 1) {
        const std::int64_t a = job.layout.pairEnd[band], b = job.layout.pairEnd[band + 1];
        if (a >= b) return;
        // The pairs' upper rows and their mirrors, one strip where the two meet in the middle.
        if (height - b <= b) {
            rows[0] = {a, height - a};
        } else {
            rows[0] = {a, b};
            rows[1] = {height - b, height - a};
            count = 2;
        }
    }
    const std::span<const detail::RowBand> strip(rows, count);
    if (job.state->options.reference) {
        for (const detail::RowBand& b : strip)
            detail::DrawTrianglesReference(*job.state, job.vertices, job.count, b);
    } else {
        detail::DrawTrianglesSpans(*job.state, job.vertices, job.count, strip);
    }
}

} // namespace

std::vector<TexelRowSpan> FindAlphaRows(const TextureView& view) {
    std::vector<TexelRowSpan> rows(std::size_t(std::max(view.height, 0)));
    for (std::int32_t y = 0; y < view.height; ++y) {
        const std::uint32_t* row = view.texels + std::size_t(y) * std::size_t(view.pitch);
        TexelRowSpan& span = rows[std::size_t(y)];
        for (std::int32_t x = 0; x < view.width; ++x) {
            if ((row[x] >> 24) == 0) continue;
            if (span.first > span.last) span.first = x;
            span.last = x;
        }
    }
    return rows;
}

bool MirroredInX(const TextureView& view) {
    for (std::int32_t y = 0; y < view.height; ++y) {
        const std::uint32_t* row = view.texels + std::size_t(y) * std::size_t(view.pitch);
        if (!std::equal(row, row + view.width / 2, std::make_reverse_iterator(row + view.width)))
            return false;
    }
    return true;
}

bool MirroredInY(const TextureView& view) {
    for (std::int32_t y = 0; y < view.height / 2; ++y) {
        const std::uint32_t* top = view.texels + std::size_t(y) * std::size_t(view.pitch);
        const std::uint32_t* bottom =
            view.texels + std::size_t(view.height - 1 - y) * std::size_t(view.pitch);
        if (!std::equal(top, top + view.width, bottom)) return false;
    }
    return true;
}

void DrawTriangles(const DrawState& state, const RasterVertex* vertices, std::size_t count) {
    if (!vertices || count == 0 || !TargetUsable(state.target) || !TextureUsable(state)) return;
    const int threads = state.options.threads > 0 ? state.options.threads : RasterThreads();
    // Every band draws every primitive in order, clipped to its rows: each pixel sees its draws
    // in the order given, whatever the number of bands. The bands share the draw's estimated
    // work evenly, one per thread: more bands would cut more stamps in two, each part set up and
    // sampled on its own.
    const int bands = std::clamp(state.target.height / MinBandRows, 1, std::min(threads, MaxBands));
    BandJob job{&state, vertices, count, {}};
    if (threads > 1 && bands > 1) {
        static thread_local std::vector<double> diff;
        const double whole = RowPairWork(state.target, vertices, count, diff);
        // Waking the workers for a small draw would cost more than it saves.
        const double limit = state.options.minPixelsToSplit;
        if (limit <= 0 || whole >= limit) job.layout = BalancedBands(bands, state.target.height, diff, whole);
    }
    if (job.layout.bands == 1)
        DrawBand(&job, 0);
    else
        detail::RasterPool::Shared().Run(job.layout.bands, threads, DrawBand, &job);
}

void DrawLines(const DrawState& state, const RasterVertex* vertices, std::size_t count) {
    if (!vertices || count == 0 || !TargetUsable(state.target) || !TextureUsable(state)) return;
    detail::DrawLinesAll(state, vertices, count);
}

namespace {

struct FillJob {
    TargetView target;
    std::int32_t left, top, right, bottom;
    D3DCOLOR color;
    int bands;
};

void FillBand(void* context, int band) {
    const FillJob& job = *static_cast<const FillJob*>(context);
    const std::int64_t rows = job.bottom - job.top;
    const auto y0 = std::int32_t(job.top + rows * band / job.bands);
    const auto y1 = std::int32_t(job.top + rows * (band + 1) / job.bands);
    for (std::int32_t y = y0; y < y1; ++y) {
        std::uint32_t* row = detail::TargetRow(job.target, y);
        std::fill(row + job.left, row + job.right, job.color);
    }
}

} // namespace

void FillRect(const TargetView& target, std::int32_t left, std::int32_t top, std::int32_t right,
              std::int32_t bottom, D3DCOLOR color) {
    if (!TargetUsable(target)) return;
    FillJob job{target,
                std::max(left, 0),
                std::max(top, 0),
                std::min(right, target.width),
                std::min(bottom, target.height),
                target.opaqueAlpha ? color | 0xFF000000u : color,
                1};
    if (job.left >= job.right || job.top >= job.bottom) return;
    // A clear of a large target (a tile's background) is shared out in row bands like a draw.
    constexpr std::int64_t MinPixelsToSplit = std::int64_t(1) << 18;
    const int threads = RasterThreads();
    if (threads > 1 && std::int64_t(job.right - job.left) * (job.bottom - job.top) >= MinPixelsToSplit)
        job.bands = std::min(threads, job.bottom - job.top);
    if (job.bands == 1)
        FillBand(&job, 0);
    else
        detail::RasterPool::Shared().Run(job.bands, threads, FillBand, &job);
}

} // namespace vorn::sd
