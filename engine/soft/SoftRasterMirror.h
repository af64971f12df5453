// The samples of a blended rectangle kept for its mirror images: the generator stamps every brush
// at x and y and at the tile's size - x and - y, and a texture symmetric across the mirror's axis
// is sampled by a mirror rectangle in the same values, mirrored in order. One rectangle of a draw
// records its rows; the rectangles after it that match take their samples from the record and
// only blend them. A private header of engine/soft, used by the span path.
#pragma once

#include "engine/soft/SoftMemory.h"
#include "engine/soft/SoftRasterSpanDetail.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vorn::sd::detail {

// The most samples one rectangle keeps (512 KiB per thread): the stamps, not a background drawn
// across the target.
inline constexpr std::int64_t MostKeptSamples = std::int64_t(1) << 17;

struct MirrorSource {
    struct RowRange {
        std::int64_t xl = 0, xr = 0; // the pixels sampled; none when xl >= xr
        std::size_t offset = 0;      // of pixel xl in samples
        bool seen = false;           // the row was drawn (and cut) at all
    };
    bool valid = false;
    bool whole = false; // the rectangle's columns all lie in the target
    const std::uint32_t* texels = nullptr;
    Plane s, t;                                // the rectangle's texel planes
    std::int64_t firstColumn = 0, columns = 0; // the pixel columns the rectangle covers, unclipped
    std::int64_t firstRow = 0, rowCount = 0;   // and its pixel rows
    std::int64_t keptRow = 0;                  // the first of rows
    std::vector<RowRange> rows;
    ZeroedMemory sampleMemory; // grows and is kept: its first `used` samples are in use
    std::size_t used = 0;

    std::uint32_t* Samples() const { return reinterpret_cast<std::uint32_t*>(sampleMemory.data()); }

    // Starts a record of the rectangle r (columns and rows from first, unclipped) drawn from
    // texels: rows [y0, y1) may be kept, count of them with columns [x0, x1) at most.
    void Start(const RectSetup& r, const std::uint32_t* texels, std::int64_t firstColumn,
               std::int64_t columns, std::int64_t firstRow, std::int64_t rowCount, std::int64_t x0,
               std::int64_t x1, std::int64_t y0, std::int64_t y1, std::int64_t count);
    // Notes row y: its pixels [xl, xr) are sampled into samples from used on, or none when not
    // visible (a row with nothing to draw is kept too: its mirror has nothing either).
    void Keep(std::int64_t y, bool visible, std::int64_t xl, std::int64_t xr) {
        rows[std::size_t(y - keptRow)] = {visible ? xl : 0, visible ? xr : 0, used, true};
        if (visible) used += std::size_t(xr - xl);
    }
};

// How a rectangle takes its samples from the kept one: pixel (x, y) from (sumX - x, sumY - y)
// where flipped, else from (x + sumX, y + sumY).
struct MirrorMap {
    bool flipX = false, flipY = false;
    std::int64_t sumX = 0, sumY = 0;

    std::int64_t KeptY(std::int64_t y) const { return flipY ? sumY - y : y + sumY; }
};

// The kept row that row y of a rectangle mapped by map takes its samples from; null when none
// was kept.
const MirrorSource::RowRange* KeptRow(const MirrorSource& m, const MirrorMap& map, std::int64_t y);

// Whether r (pixel columns and rows from first, unclipped) samples in every pixel what the kept
// rectangle samples in one pixel of it: the same rectangle, or its mirror image across a vertical
// or horizontal line, or both, drawn from a texture that is symmetric across that line. Where a
// symmetric texture allows both, the same rows are taken unless flipRows asks for the mirror
// rows (a band keeps only its own rows, and the mirror of one of them is in the band as well).
bool MatchKept(const MirrorSource& m, const RectSetup& r, std::int64_t firstColumn, std::int64_t columns,
               std::int64_t firstRow, std::int64_t rowCount, const TextureView& texture, MirrorMap& map,
               bool flipRows = false);

// Whether the kept rectangle has most of the rows [from[k], to[k]) map to. A band keeps only the
// rows of its own strips, and a copy of the kept stamp moved up or down reads rows another band
// drew; such a copy is better kept afresh, so that its own mirror images take their samples from it.
bool KeptCovers(const MirrorSource& m, const MirrorMap& map, std::span<const std::int64_t> from,
                std::span<const std::int64_t> to);

} // namespace vorn::sd::detail
