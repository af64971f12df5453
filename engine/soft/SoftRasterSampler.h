// The rasteriser's texel fetching for one primitive (a private header of engine/soft, used by the
// span path only): a per-draw sampler that precomputes what every row of a primitive shares.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/soft/SoftRasterSpanDetail.h"

namespace vorn::sd::detail {

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
    const std::uint32_t* row = nullptr; // point: the texel row of the current pixel row
    std::int64_t rowY = 0;
    // Linear, shared columns: rows may be cut to the pixels whose texels are not all transparent
    // (ClipRow); a cut row filters only the columns it reads.
    bool alphaClip = false;
    bool rowClipped = false;
    std::int64_t xEnd = 0;                         // linear: the tables run over [x0, xEnd)
    bool tablesReady = false, startsReady = false; // linear: EnsureTables and EnsureStarts ran
    std::int64_t rowTop = 0, rowBottom = 0;        // linear: LinearRows of the current row
    std::uint32_t fy = 0;

    // clipTransparent: pixels whose texels all have alpha 0 may be left out (the blend keeps
    // the target there).
    void Begin(const DrawState& state, const Kernels& kernels, const Planes& planes, std::int64_t xa,
               std::int64_t xb, bool clipTransparent) {
        st = &state;
        k = &kernels;
        alphaClip = rowClipped = false;
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

    // Cuts [xl, xr) of pixel row y to the pixels reading a texel whose alpha is not zero; false
    // when none does. Only where the transparent texels include the first and last column, so
    // that the wrapped neighbours of the cut pixels are transparent too.
    bool ClipRow(std::int64_t y, std::int64_t& xl, std::int64_t& xr) {
        rowClipped = false;
        if (!alphaClip) return true;
        const TextureView& tv = st->texture;
        LinearRows(y);
        EnsureStarts();
        const TexelRowSpan a = tv.alphaRows[rowTop];
        const TexelRowSpan b = tv.alphaRows[rowBottom];
        const bool emptyA = a.first > a.last, emptyB = b.first > b.last;
        if (emptyA && emptyB) return false;
        const std::int64_t lo = emptyA ? b.first : emptyB ? a.first : std::min(a.first, b.first);
        const std::int64_t hi = emptyA ? b.last : emptyB ? a.last : std::max(a.last, b.last);
        if (lo < 1 || hi > tv.width - 2) return true;
        // Pixel x reads texel x u and u + 1, u growing with x: it is kept for lo - 1 <= u <= hi.
        xl = std::max(xl, startOf[std::size_t(lo)]);
        xr = std::min(xr, startOf[std::size_t(hi + 2)]);
        rowClipped = true;
        return xl < xr;
    }

    // Row work before the spans of pixel row y covering columns [xl, xr).
    void BeginRow(std::int64_t y, std::int64_t xl, std::int64_t xr) {
        rowY = y;
        const TextureView& tv = st->texture;
        if (kind == Kind::SeparablePoint) {
            row = tv.texels + AddressTexel(t.At(0, y) >> TexelShift, tv.height, st->addressV) * tv.pitch;
        } else if (kind == Kind::SeparableLinear) {
            EnsureTables();
            if (!rowClipped) LinearRows(y); // a cut row has them
            const std::uint32_t* r0 = tv.texels + rowTop * tv.pitch;
            const std::uint32_t* r1 = tv.texels + rowBottom * tv.pitch;
            if (perPixel) {
                const std::size_t off = 2 * std::size_t(xl - x0);
                k->verticalList(r0, r1, fy, listCols.data() + off, 2 * int(xr - xl), filtered.data() + off);
            } else if (rowClipped) {
                // Columns u .. u + 1 of the pixels kept, none wrapped.
                const std::int32_t a = column[std::size_t(xl - x0)], b = column[std::size_t(xr - 1 - x0)];
                k->verticalRange(r0, r1, fy, firstCol + a, b - a + 2, filtered.data() + a);
            } else {
                // The columns of the range, then the one right of its last (wrapped).
                if (firstCol + colCount < tv.width) {
                    k->verticalRange(r0, r1, fy, firstCol, colCount + 1, filtered.data());
                } else {
                    k->verticalRange(r0, r1, fy, firstCol, colCount, filtered.data());
                    k->verticalRange(r0, r1, fy, 0, 1, filtered.data() + colCount);
                }
            }
        }
    }

    // The two texel rows of pixel row y and the weight of the lower one.
    void LinearRows(std::int64_t y) {
        const std::int64_t v = t.At(0, y) - LinearOrigin;
        const std::int64_t j = v >> TexelShift;
        fy = static_cast<std::uint32_t>((v >> (TexelShift - 8)) & 0xFF);
        rowTop = AddressTexel(j, st->texture.height, st->addressV);
        rowBottom = AddressTexel(j + 1, st->texture.height, st->addressV);
    }

    void Sample(std::int64_t x, int n, std::uint32_t* out) const {
        switch (kind) {
        case Kind::SeparablePoint: {
            const std::int32_t* c = column.data() + (x - x0);
            for (int i = 0; i < n; ++i) out[i] = row[c[i]];
            break;
        }
        case Kind::SeparableLinear:
            k->horizontal(filtered.data(), column.data() + (x - x0), weights.data() + (x - x0), n, out);
            break;
        case Kind::Generic: {
            std::int64_t sv = s.At(x, rowY), tv = t.At(x, rowY);
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
