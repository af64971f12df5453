// The rasteriser's texel fetching for one primitive (a private header of engine/soft, used by the
// span path only): a per-draw sampler that precomputes what every row of a primitive shares.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/soft/SoftRasterSpanDetail.h"

namespace vorn::sd::detail {

// What one pixel row of a primitive samples: its pixels [xl, xr), the texel rows the filter reads
// and the weight between them, and whether the pixels were cut to those reading texels not all
// transparent. Made by Sampler::PlanRow and passed to the row's work.
struct RowPlan {
    std::int64_t y = 0;
    std::int64_t xl = 0, xr = 0;
    std::int64_t top = 0, bottom = 0; // point: the texel row (top); linear: the two texel rows
    std::uint32_t fraction = 0;       // linear: the weight of the bottom row, in 256ths
    bool rows = false;                // top, bottom and fraction are set
    bool cut = false;
};

// Texel fetching for one primitive. Separable samplers precompute per-column work once, since
// with s independent of y and t independent of x every row reads the same columns.
struct Sampler {
    enum class Kind { None, Generic, SeparablePoint, SeparableLinear };
    Kind kind = Kind::None;
    const DrawState* st = nullptr;
    const Kernels* k = nullptr;
    DWORD filter = D3DTEXF_POINT;
    Plane s, t;
    std::int64_t x0 = 0;                     // first column of the tables
    std::vector<std::int32_t> column;        // point: texel column; linear: index of the left column
    std::vector<std::uint32_t> weights;      // linear: PackWeights per pixel
    std::vector<std::int32_t> listCols;      // linear, per pixel: left and right texel column of each
    std::vector<TexelColumn> filtered;       // linear: the current row filtered vertically
    std::vector<std::int64_t> startOf;       // linear, alphaClip: the first pixel of each texel x
    std::int32_t firstCol = 0, colCount = 0; // linear, shared columns: range filtered per row
    bool perPixel = false;
    // Linear, shared columns: rows may be cut to the pixels whose texels are not all transparent
    // (Cut); a cut row filters only the columns it reads.
    bool alphaClip = false;
    std::int64_t xEnd = 0;                         // linear: the tables run over [x0, xEnd)
    bool tablesReady = false, startsReady = false; // linear: EnsureTables and EnsureStarts ran

    // clipTransparent: pixels whose texels all have alpha 0 may be left out (the blend keeps
    // the target there).
    void Begin(const DrawState& state, const Kernels& kernels, const Planes& planes, std::int64_t xa,
               std::int64_t xb, bool clipTransparent) {
        st = &state;
        k = &kernels;
        alphaClip = false;
        if (!state.hasTexture) {
            kind = Kind::None;
            return;
        }
        filter = ChooseFilter(state, planes);
        s = planes.attr[AttrS];
        t = planes.attr[AttrT];
        const bool separable = s.dy == 0 && t.dx == 0 && state.addressU != D3DTADDRESS_BORDER &&
                               state.addressV != D3DTADDRESS_BORDER;
        const bool linear = filter == D3DTEXF_LINEAR;
        if (!separable || (linear && (state.addressU != D3DTADDRESS_WRAP))) {
            kind = Kind::Generic;
            return;
        }
        x0 = xa;
        const auto width = static_cast<std::size_t>(xb - xa);
        const std::int64_t w = state.texture.width;
        column.resize(width);
        if (!linear) {
            kind = Kind::SeparablePoint;
            for (std::size_t i = 0; i < width; ++i)
                column[i] = static_cast<std::int32_t>(
                    AddressTexel(s.At(xa + std::int64_t(i), 0) >> TexelShift, w, state.addressU));
            return;
        }
        kind = Kind::SeparableLinear;
        xEnd = xb;
        tablesReady = startsReady = false;
        perPixel = false;
        // Columns left to right within one turn of the texture: texel x from -1 (the wrapped last
        // column) to w - 1, as a stamp of the whole texture reads them.
        alphaClip = clipTransparent && state.texture.alphaRows && s.dx > 0 && width > 0 &&
                    ((s.At(xa, 0) - LinearOrigin) >> TexelShift) >= -1 &&
                    ((s.At(xb - 1, 0) - LinearOrigin) >> TexelShift) <= w - 1;
    }

    // The per-pixel tables of a bilinear primitive, made when a row first needs them (a row
    // blended from kept samples does not).
    void EnsureTables() {
        if (kind != Kind::SeparableLinear || tablesReady) return;
        tablesReady = true;
        const auto width = static_cast<std::size_t>(xEnd - x0);
        const std::int64_t w = st->texture.width;
        column.resize(width);
        weights.resize(width);
        std::int64_t cmin = w, cmax = -1;
        // x = s - LinearOrigin steps by s.dx; its texel column wraps into [0, w - 1].
        std::int64_t x = s.At(x0, 0) - LinearOrigin;
        std::int64_t c = AddressTexel(x >> TexelShift, w, D3DTADDRESS_WRAP);
        std::int64_t whole = x >> TexelShift;
        for (std::size_t i = 0; i < width; ++i, x += s.dx) {
            const std::int64_t next = x >> TexelShift;
            if (next != whole) {
                c = (next - whole == 1)    ? (c + 1 == w ? 0 : c + 1)
                    : (next - whole == -1) ? (c == 0 ? w - 1 : c - 1)
                                           : AddressTexel(next, w, D3DTADDRESS_WRAP);
                whole = next;
            }
            column[i] = static_cast<std::int32_t>(c);
            weights[i] = PackWeights(static_cast<std::uint32_t>((x >> (TexelShift - 8)) & 0xFF));
            cmin = std::min(cmin, c);
            cmax = std::max(cmax, c);
        }
        // Filter each texel column once per row when the pixels share columns; otherwise filter
        // the two columns of every pixel.
        const std::int64_t range = width ? cmax - cmin + 1 : 0;
        perPixel = range > 2 * std::int64_t(width) + 16;
        if (perPixel) {
            listCols.resize(2 * width);
            for (std::size_t i = 0; i < width; ++i) {
                listCols[2 * i] = column[i];
                listCols[2 * i + 1] = static_cast<std::int32_t>(column[i] + 1 == w ? 0 : column[i] + 1);
                column[i] = static_cast<std::int32_t>(2 * i);
            }
            filtered.resize(2 * width);
        } else {
            firstCol = static_cast<std::int32_t>(cmin);
            colCount = static_cast<std::int32_t>(range);
            for (std::size_t i = 0; i < width; ++i) column[i] -= firstCol;
            filtered.resize(static_cast<std::size_t>(range) + 1);
        }
    }

    // startOf[u + 1]: the first pixel whose left texel x is u or more.
    void EnsureStarts() {
        if (startsReady) return;
        startsReady = true;
        const std::int64_t w = st->texture.width;
        startOf.resize(static_cast<std::size_t>(w) + 2);
        std::int64_t* const start = startOf.data();
        std::int64_t u = -1;
        std::int64_t sx = s.At(x0, 0) - LinearOrigin;
        for (std::int64_t px = x0; px < xEnd; ++px, sx += s.dx)
            for (const std::int64_t left = sx >> TexelShift; u <= left; ++u) start[u + 1] = px;
        for (; u <= w; ++u) start[u + 1] = xEnd;
    }

    // The plan of pixel row y over [xl, xr), uncut; its texel rows are found when first needed
    // (a row blended from kept samples needs none).
    static RowPlan PlanRow(std::int64_t y, std::int64_t xl, std::int64_t xr) {
        RowPlan plan;
        plan.y = y;
        plan.xl = xl;
        plan.xr = xr;
        return plan;
    }

    void FindRows(RowPlan& plan) const {
        if (plan.rows) return;
        plan.rows = true;
        const std::int64_t y = plan.y;
        const TextureView& tv = st->texture;
        if (kind == Kind::SeparablePoint) {
            plan.top = AddressTexel(t.At(0, y) >> TexelShift, tv.height, st->addressV);
        } else if (kind == Kind::SeparableLinear) {
            const std::int64_t v = t.At(0, y) - LinearOrigin;
            const std::int64_t j = v >> TexelShift;
            plan.fraction = static_cast<std::uint32_t>((v >> (TexelShift - 8)) & 0xFF);
            plan.top = AddressTexel(j, tv.height, st->addressV);
            plan.bottom = AddressTexel(j + 1, tv.height, st->addressV);
        }
    }

    // Cuts the plan's pixels to those reading a texel whose alpha is not zero; false when none
    // does. Only where the transparent texels include the first and last column, so that the
    // wrapped neighbours of the cut pixels are transparent too.
    bool Cut(RowPlan& plan) {
        if (!alphaClip) return true;
        const TextureView& tv = st->texture;
        FindRows(plan);
        EnsureStarts();
        const TexelRowSpan a = tv.alphaRows[plan.top];
        const TexelRowSpan b = tv.alphaRows[plan.bottom];
        const bool emptyA = a.first > a.last, emptyB = b.first > b.last;
        if (emptyA && emptyB) return false;
        const std::int64_t lo = emptyA ? b.first : emptyB ? a.first : std::min(a.first, b.first);
        const std::int64_t hi = emptyA ? b.last : emptyB ? a.last : std::max(a.last, b.last);
        if (lo < 1 || hi > tv.width - 2) return true;
        // Pixel x reads texel x u and u + 1, u growing with x: it is kept for lo - 1 <= u <= hi.
        plan.xl = std::max(plan.xl, startOf[std::size_t(lo)]);
        plan.xr = std::min(plan.xr, startOf[std::size_t(hi + 2)]);
        plan.cut = true;
        return plan.xl < plan.xr;
    }

    // Row work before the spans of the plan's row inside its pixels: its texel rows, and the
    // vertical filter pass.
    void BeginRow(RowPlan& plan) {
        FindRows(plan);
        if (kind != Kind::SeparableLinear) return;
        EnsureTables();
        const TextureView& tv = st->texture;
        const std::uint32_t* r0 = tv.texels + plan.top * tv.pitch;
        const std::uint32_t* r1 = tv.texels + plan.bottom * tv.pitch;
        const std::uint32_t fy = plan.fraction;
        if (perPixel) {
            const std::size_t off = 2 * std::size_t(plan.xl - x0);
            k->verticalList(r0, r1, fy, listCols.data() + off, 2 * int(plan.xr - plan.xl), filtered.data() + off);
        } else if (plan.cut) {
            // Columns u .. u + 1 of the pixels kept, none wrapped.
            const std::int32_t a = column[std::size_t(plan.xl - x0)], b = column[std::size_t(plan.xr - 1 - x0)];
            k->verticalRange(r0, r1, fy, firstCol + a, b - a + 2, filtered.data() + a);
        } else if (firstCol + colCount < tv.width) {
            // The columns of the range, then the one right of its last (wrapped).
            k->verticalRange(r0, r1, fy, firstCol, colCount + 1, filtered.data());
        } else {
            k->verticalRange(r0, r1, fy, firstCol, colCount, filtered.data());
            k->verticalRange(r0, r1, fy, 0, 1, filtered.data() + colCount);
        }
    }

    // Pixels [x, x + n) of the plan's row, after BeginRow.
    void Sample(const RowPlan& plan, std::int64_t x, int n, std::uint32_t* out) const {
        switch (kind) {
        case Kind::SeparablePoint: {
            const std::uint32_t* row = st->texture.texels + plan.top * st->texture.pitch;
            const std::int32_t* c = column.data() + (x - x0);
            for (int i = 0; i < n; ++i) out[i] = row[c[i]];
            break;
        }
        case Kind::SeparableLinear:
            k->horizontal(filtered.data(), column.data() + (x - x0), weights.data() + (x - x0), n, out);
            break;
        case Kind::Generic: {
            std::int64_t sv = s.At(x, plan.y), tv = t.At(x, plan.y);
            for (int i = 0; i < n; ++i, sv += s.dx, tv += t.dx) out[i] = SampleTexture(*st, filter, sv, tv);
            break;
        }
        case Kind::None:
            std::fill(out, out + n, 0xFFFFFFFFu);
            break;
        }
    }
};

} // namespace vorn::sd::detail
