#include "engine/soft/SoftRasterMirror.h"

#include <algorithm>

namespace vorn::sd::detail {

void MirrorSource::Start(const RectSetup& r, const std::uint32_t* texture, std::int64_t first,
                         std::int64_t count, std::int64_t top, std::int64_t height, std::int64_t x0,
                         std::int64_t x1, std::int64_t y0, std::int64_t y1, std::int64_t rowsDrawn) {
    valid = true;
    texels = texture;
    s = r.planes.attr[AttrS];
    t = r.planes.attr[AttrT];
    firstColumn = first;
    columns = count;
    firstRow = top;
    rowCount = height;
    whole = x0 == first && x1 == first + count;
    keptRow = y0;
    rows.assign(std::size_t(y1 - y0), {});
    used = 0;
    // Room for the most a rectangle keeps, at once: one huge page rather than a vector grown and
    // faulted in page by page.
    const std::size_t bytes = std::size_t(x1 - x0) * std::size_t(rowsDrawn) * 4;
    if (sampleMemory.size() < bytes)
        sampleMemory = ZeroedMemory(std::max(bytes, std::size_t(MostKeptSamples) * 4));
}

const MirrorSource::RowRange* KeptRow(const MirrorSource& m, const MirrorMap& map, std::int64_t y) {
    const std::int64_t ya = map.KeptY(y);
    if (ya < m.keptRow || ya >= m.keptRow + std::int64_t(m.rows.size())) return nullptr;
    const MirrorSource::RowRange& a = m.rows[std::size_t(ya - m.keptRow)];
    return a.seen ? &a : nullptr;
}

bool MatchKept(const MirrorSource& m, const RectSetup& r, std::int64_t firstColumn, std::int64_t columns,
               std::int64_t firstRow, std::int64_t rowCount, const TextureView& texture, MirrorMap& map,
               bool flipRows) {
    const Plane& sb = r.planes.attr[AttrS];
    const Plane& tb = r.planes.attr[AttrT];
    if (!m.valid || m.texels != texture.texels || m.columns != columns || m.rowCount != rowCount ||
        m.s.dx != sb.dx || m.t.dy != tb.dy || sb.dy != 0 || tb.dx != 0)
        return false;
    // Along one axis, with a and b the kept and new plane's values at their first pixel: pixel k
    // of r against pixel k of the kept one (the very same positions), or, where the texture is
    // symmetric, against its pixel count - 1 - k: positions in 256ths of a texel, which mirrored
    // across the texture become 256 (size - 1) - q.
    auto mirrors = [](std::int64_t a, std::int64_t b, std::int64_t step, std::int64_t count,
                      std::int32_t size) {
        constexpr int shift = TexelShift - 8;
        const std::int64_t mirrored = 256 * std::int64_t(size - 1);
        a += (count - 1) * step - LinearOrigin;
        b -= LinearOrigin;
        for (std::int64_t k = 0; k < count; ++k, a -= step, b += step)
            if ((a >> shift) + (b >> shift) != mirrored) return false;
        return true;
    };
    // Same positions, or (preferred where preferFlip) mirrored ones on a symmetric texture.
    auto axis = [&](std::int64_t a, std::int64_t b, std::int64_t step, std::int64_t count, bool symmetric,
                    std::int32_t size, std::int64_t firstA, std::int64_t firstB, bool& flip,
                    std::int64_t& sum, bool preferFlip = false) {
        const bool same = a == b;
        flip = symmetric && (preferFlip || !same) && mirrors(a, b, step, count, size);
        sum = flip ? firstA + firstB + count - 1 : firstA - firstB;
        return flip || same;
    };
    return axis(m.s.At(m.firstColumn, 0), sb.At(firstColumn, 0), sb.dx, columns, texture.mirroredX,
                texture.width, m.firstColumn, firstColumn, map.flipX, map.sumX) &&
           axis(m.t.At(0, m.firstRow), tb.At(0, firstRow), tb.dy, rowCount, texture.mirroredY, texture.height,
                m.firstRow, firstRow, map.flipY, map.sumY, flipRows);
}

bool KeptCovers(const MirrorSource& m, const MirrorMap& map, std::span<const std::int64_t> from,
                std::span<const std::int64_t> to) {
    std::int64_t rows = 0, kept = 0;
    for (std::size_t k = 0; k < from.size(); ++k)
        for (std::int64_t y = from[k]; y < to[k]; ++y, ++rows) kept += KeptRow(m, map, y) != nullptr;
    return 2 * kept >= rows;
}

} // namespace vorn::sd::detail
