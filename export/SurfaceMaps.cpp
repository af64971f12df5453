#include "export/SurfaceMaps.h"

#include "export/MapIndex.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

namespace vorn {

namespace {

__extension__ typedef unsigned __int128 TUint128;

// ---- occlusion ----

constexpr float Diagonal = 0.70710678118654752440f;
constexpr float DirectionX[OcclusionDirections] = {1, Diagonal, 0, -Diagonal, -1, -Diagonal, 0, Diagonal};
constexpr float DirectionY[OcclusionDirections] = {0, Diagonal, 1, Diagonal, 0, -Diagonal, -1, -Diagonal};
// The steps' distances in parts of the radius: short near the pixel, longer further out.
constexpr float StepFraction[OcclusionSteps] = {1.0f / 16, 1.0f / 8, 1.0f / 4, 3.0f / 8,
                                                9.0f / 16, 3.0f / 4, 1};

// One sample of every pixel of a row: the offset split into whole pixels and bilinear weights
// (the same for every pixel, so a row's samples are one pass over two rows of the grid).
struct TTap {
    std::int32_t dx = 0, dy = 0;
    float w00 = 1, w10 = 0, w01 = 0, w11 = 0;
    float inverseDistance = 1;
};

// The reduced relief with a margin of border pixels on every side, filled as the edges read.
struct TReliefGrid {
    std::int32_t width = 0, height = 0, border = 0, stride = 0;
    std::vector<float> cells;

    float* Row(std::int32_t y) { return cells.data() + std::size_t(y + border) * stride + border; }
    const float* Row(std::int32_t y) const {
        return cells.data() + std::size_t(y + border) * stride + border;
    }
};

// The horizon tangents along one tap: horizon[x] = max(horizon[x], (h(sample) - h(x)) / distance).
void HorizonSpan(const float* __restrict centre, const float* __restrict near, const float* __restrict far,
                 std::int32_t width, const TTap& tap, float* __restrict horizon) {
    const float inv = tap.inverseDistance;
    const float w00 = tap.w00, w10 = tap.w10, w01 = tap.w01, w11 = tap.w11;
    if (w01 == 0 && w11 == 0) {
        for (std::int32_t x = 0; x < width; ++x) {
            const float h = w00 * near[x] + w10 * near[x + 1];
            horizon[x] = std::max(horizon[x], (h - centre[x]) * inv);
        }
    } else if (w10 == 0 && w11 == 0) {
        for (std::int32_t x = 0; x < width; ++x) {
            const float h = w00 * near[x] + w01 * far[x];
            horizon[x] = std::max(horizon[x], (h - centre[x]) * inv);
        }
    } else {
        for (std::int32_t x = 0; x < width; ++x) {
            const float h = w00 * near[x] + w10 * near[x + 1] + w01 * far[x] + w11 * far[x + 1];
            horizon[x] = std::max(horizon[x], (h - centre[x]) * inv);
        }
    }
}

void AddSines(const float* horizon, std::int32_t width, float* sum) {
    for (std::int32_t x = 0; x < width; ++x) {
        const float t = horizon[x];
        sum[x] += t / std::sqrt(1.0f + t * t);
    }
}

// Row y of the reduced occlusion, 1 - mean sine; horizon and sum are scratch of the grid's width.
void OcclusionRow(const TReliefGrid& grid, std::int32_t y, const TTap* taps, float* horizon, float* sum,
                  float* out) {
    const std::int32_t w = grid.width;
    std::fill(sum, sum + w, 0.0f);
    const float* centre = grid.Row(y);
    for (int d = 0; d < OcclusionDirections; ++d) {
        std::fill(horizon, horizon + w, 0.0f);
        for (int s = 0; s < OcclusionSteps; ++s) {
            const TTap& tap = taps[d * OcclusionSteps + s];
            const float* near = grid.Row(y + tap.dy) + tap.dx;
            HorizonSpan(centre, near, near + grid.stride, w, tap, horizon);
        }
        AddSines(horizon, w, sum);
    }
    for (std::int32_t x = 0; x < w; ++x) out[x] = 1.0f - sum[x] / float(OcclusionDirections);
}

std::vector<TTap> MakeTaps(double radius) {
    std::vector<TTap> taps;
    for (int d = 0; d < OcclusionDirections; ++d)
        for (int s = 0; s < OcclusionSteps; ++s) {
            const double distance = radius * StepFraction[s];
            const double ox = DirectionX[d] * distance;
            const double oy = DirectionY[d] * distance;
            const double fx = std::floor(ox);
            const double fy = std::floor(oy);
            const float ax = float(ox - fx);
            const float ay = float(oy - fy);
            TTap tap;
            tap.dx = std::int32_t(fx);
            tap.dy = std::int32_t(fy);
            tap.w00 = (1 - ax) * (1 - ay);
            tap.w10 = ax * (1 - ay);
            tap.w01 = (1 - ax) * ay;
            tap.w11 = ax * ay;
            tap.inverseDistance = float(1.0 / distance);
            taps.push_back(tap);
        }
    return taps;
}

// Rows y0 .. y1 - 1 of the grid: the relief of height box-averaged over factor x factor pixels.
void ReduceRows(const THeightMap& height, std::int32_t factor, double scale, std::int32_t y0, std::int32_t y1,
                TReliefGrid& grid, std::uint32_t* sums) {
    for (std::int32_t y = y0; y < y1; ++y) {
        std::fill(sums, sums + grid.width, 0u);
        for (std::int32_t k = 0; k < factor; ++k) {
            const std::uint16_t* row = height.Row(y * factor + k);
            for (std::int32_t x = 0; x < height.width; ++x) sums[x / factor] += row[x];
        }
        float* out = grid.Row(y);
        for (std::int32_t x = 0; x < grid.width; ++x) out[x] = float(double(sums[x]) * scale);
    }
}

// Fills the grid's margins from its inside as the edges read.
void FillBorder(TReliefGrid& grid, TMapEdges edges) {
    const std::int32_t b = grid.border;
    for (std::int32_t y = 0; y < grid.height; ++y) {
        float* row = grid.Row(y);
        for (std::int32_t x = 1; x <= b; ++x) {
            row[-x] = row[EdgeIndex(-x, grid.width, edges.wrapX)];
            row[grid.width - 1 + x] = row[EdgeIndex(grid.width - 1 + x, grid.width, edges.wrapX)];
        }
    }
    const std::size_t bytes = std::size_t(grid.stride) * sizeof(float);
    for (std::int32_t y = 1; y <= b; ++y) {
        std::memcpy(grid.Row(-y) - b, grid.Row(EdgeIndex(-y, grid.height, edges.wrapY)) - b, bytes);
        const std::int32_t below = grid.height - 1 + y;
        std::memcpy(grid.Row(below) - b, grid.Row(EdgeIndex(below, grid.height, edges.wrapY)) - b, bytes);
    }
}

std::uint8_t ToByte(float value) {
    return std::uint8_t(std::clamp(std::int32_t(255.0f * value + 0.5f), 0, 255));
}

// Where full-size pixel i falls on a grid reduced by factor: cells first and first + 1 (wrapped or
// clamped) with weight of the second.
struct TSpot {
    std::int32_t first = 0, second = 0;
    float weight = 0;
};

TSpot SpotOf(std::int32_t i, std::int32_t factor, std::int32_t cells, bool wraps) {
    const double u = (double(i) + 0.5) / factor - 0.5;
    const double f = std::floor(u);
    return {EdgeIndex(std::int64_t(f), cells, wraps), EdgeIndex(std::int64_t(f) + 1, cells, wraps),
            float(u - f)};
}

// Rows y0 .. y1 - 1 of the full-size map, the reduced occlusion scaled up bilinearly.
void UpsampleRows(const std::vector<float>& reduced, std::int32_t rw, std::int32_t rh, std::int32_t factor,
                  const std::vector<TSpot>& across, TMapEdges edges, std::int32_t y0, std::int32_t y1,
                  std::int32_t width, float* column, std::uint8_t* out) {
    for (std::int32_t y = y0; y < y1; ++y) {
        const TSpot down = SpotOf(y, factor, rh, edges.wrapY);
        const float* a = reduced.data() + std::size_t(down.first) * rw;
        const float* b = reduced.data() + std::size_t(down.second) * rw;
        for (std::int32_t x = 0; x < rw; ++x) column[x] = (1 - down.weight) * a[x] + down.weight * b[x];
        std::uint8_t* row = out + std::size_t(y) * width;
        for (std::int32_t x = 0; x < width; ++x) {
            const TSpot& s = across[std::size_t(x)];
            row[x] = ToByte((1 - s.weight) * column[s.first] + s.weight * column[s.second]);
        }
    }
}

bool Occlusion(const THeightMap& height, double radiusFraction, double reliefFraction, TMapEdges edges,
               std::vector<std::uint8_t>& out, int threads) {
    std::int32_t factor = 1;
    while (height.width / factor > OcclusionMaxGrid && height.width % (2 * factor) == 0 &&
           height.height % (2 * factor) == 0)
        factor *= 2;
    TReliefGrid grid;
    grid.width = height.width / factor;
    grid.height = height.height / factor;
    const double radius = std::max(1.0, radiusFraction * height.width) / factor;
    grid.border = std::int32_t(std::ceil(radius)) + 2;
    grid.stride = grid.width + 2 * grid.border;
    grid.cells.assign(std::size_t(grid.stride) * std::size_t(grid.height + 2 * grid.border), 0.0f);
    const double scale = reliefFraction * grid.width / (65535.0 * factor * factor);
    const std::vector<TTap> taps = MakeTaps(radius);
    const std::size_t rw = std::size_t(grid.width);

    const int bands = BandCount(threads, grid.height);
    std::vector<std::uint32_t> sums(std::size_t(bands) * rw);
    RunBands(grid.height, bands, [&](int b, std::int32_t y0, std::int32_t y1) {
        ReduceRows(height, factor, scale, y0, y1, grid, sums.data() + std::size_t(b) * rw);
    });
    FillBorder(grid, edges);

    std::vector<std::uint8_t> map(height.values.size());
    std::vector<float> scratch(std::size_t(bands) * 3 * rw);
    std::vector<float> reduced(factor == 1 ? 0 : rw * std::size_t(grid.height));
    RunBands(grid.height, bands, [&](int b, std::int32_t y0, std::int32_t y1) {
        float* horizon = scratch.data() + std::size_t(b) * 3 * rw;
        float* sum = horizon + rw;
        float* row = sum + rw;
        for (std::int32_t y = y0; y < y1; ++y) {
            float* target = factor == 1 ? row : reduced.data() + std::size_t(y) * rw;
            OcclusionRow(grid, y, taps.data(), horizon, sum, target);
            if (factor == 1) {
                std::uint8_t* bytes = map.data() + std::size_t(y) * rw;
                for (std::size_t x = 0; x < rw; ++x) bytes[x] = ToByte(row[x]);
            }
        }
    });
    if (factor > 1) {
        std::vector<TSpot> across(std::size_t(height.width));
        for (std::int32_t x = 0; x < height.width; ++x)
            across[std::size_t(x)] = SpotOf(x, factor, grid.width, edges.wrapX);
        const int upBands = BandCount(threads, height.height);
        std::vector<float> columns(std::size_t(upBands) * rw);
        RunBands(height.height, upBands, [&](int b, std::int32_t y0, std::int32_t y1) {
            UpsampleRows(reduced, grid.width, grid.height, factor, across, edges, y0, y1, height.width,
                         columns.data() + std::size_t(b) * rw, map.data());
        });
    }
    out.swap(map);
    return true;
}

// ---- roughness ----

// Column sums of the luminance and its square over a window of rows.
struct TColumnSums {
    std::vector<std::uint64_t> s1, s2;
    std::vector<std::uint16_t> add, sub;
};

void AddRow(TColumnSums& sums, const std::uint16_t* row, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) {
        const std::uint64_t v = row[x];
        sums.s1[std::size_t(x)] += v;
        sums.s2[std::size_t(x)] += v * v;
    }
}

// The window moves down a row: add comes in, sub goes out.
void SlideRows(TColumnSums& sums, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) {
        const std::uint64_t a = sums.add[std::size_t(x)];
        const std::uint64_t s = sums.sub[std::size_t(x)];
        sums.s1[std::size_t(x)] = sums.s1[std::size_t(x)] + a - s;
        sums.s2[std::size_t(x)] = sums.s2[std::size_t(x)] + a * a - s * s;
    }
}

struct TRoughness {
    std::int32_t radius = 1;
    double minimum = 0, maximum = 1;
    std::vector<std::int32_t> enter, leave; // columns entering and leaving the box as x moves on
};

// One row of roughness from the column sums of its box and the height row.
void RoughnessRow(const TColumnSums& sums, const std::uint16_t* heights, std::int32_t width, bool wraps,
                  const TRoughness& r, std::uint8_t* out) {
    const std::uint64_t side = 2u * std::uint64_t(r.radius) + 1u;
    const TUint128 count = side * side;
    const double countSquared = double(side * side) * double(side * side);
    std::uint64_t s1 = 0, s2 = 0;
    for (std::int64_t k = -r.radius; k <= r.radius; ++k) {
        const std::size_t c = std::size_t(EdgeIndex(k, width, wraps));
        s1 += sums.s1[c];
        s2 += sums.s2[c];
    }
    const double span = r.maximum - r.minimum;
    for (std::int32_t x = 0; x < width; ++x) {
        // count * s2 - s1^2 >= 0 exactly, so a constant box has no deviation at all.
        const TUint128 spread = count * s2 - TUint128(s1) * s1;
        const double deviation = std::sqrt(double(spread) / countSquared);
        const double contrast = std::min(1.0, deviation / RoughnessContrastFull);
        const double gloss = 0.5 * (contrast + double(heights[x]) / 65535.0);
        out[x] = std::uint8_t(std::clamp(std::int32_t(255.0 * (r.maximum - span * gloss) + 0.5), 0, 255));
        const std::size_t in = std::size_t(r.enter[std::size_t(x)]);
        const std::size_t gone = std::size_t(r.leave[std::size_t(x)]);
        s1 = s1 + sums.s1[in] - sums.s1[gone];
        s2 = s2 + sums.s2[in] - sums.s2[gone];
    }
}

void RoughnessRows(const TBitmap32& texture, const THeightMap& height, TMapEdges edges, const TRoughness& r,
                   std::int32_t y0, std::int32_t y1, TColumnSums& sums, std::uint8_t* out) {
    const std::int32_t w = height.width;
    const std::int32_t h = height.height;
    const auto luminance = [&](std::int64_t y, std::uint16_t* row) {
        LuminanceRow(texture.Row(EdgeIndex(y, h, edges.wrapY)), w, row);
    };
    std::fill(sums.s1.begin(), sums.s1.end(), 0u);
    std::fill(sums.s2.begin(), sums.s2.end(), 0u);
    for (std::int64_t k = std::int64_t(y0) - r.radius; k <= std::int64_t(y0) + r.radius; ++k) {
        luminance(k, sums.add.data());
        AddRow(sums, sums.add.data(), w);
    }
    for (std::int32_t y = y0; y < y1; ++y) {
        RoughnessRow(sums, height.Row(y), w, edges.wrapX, r, out + std::size_t(y) * std::size_t(w));
        if (y + 1 == y1) break;
        luminance(std::int64_t(y) + r.radius + 1, sums.add.data());
        luminance(std::int64_t(y) - r.radius, sums.sub.data());
        SlideRows(sums, w);
    }
}

bool Roughness(const TBitmap32& texture, const THeightMap& height, double minRoughness, double maxRoughness,
               double radiusFraction, TMapEdges edges, std::vector<std::uint8_t>& out, int threads) {
    const std::int32_t w = height.width;
    TRoughness r;
    r.minimum = minRoughness;
    r.maximum = maxRoughness;
    r.radius = std::max<std::int32_t>(1, std::int32_t(std::floor(radiusFraction * w + 0.5)));
    r.enter.resize(std::size_t(w));
    r.leave.resize(std::size_t(w));
    for (std::int32_t x = 0; x < w; ++x) {
        r.enter[std::size_t(x)] = EdgeIndex(std::int64_t(x) + r.radius + 1, w, edges.wrapX);
        r.leave[std::size_t(x)] = EdgeIndex(std::int64_t(x) - r.radius, w, edges.wrapX);
    }
    const int bands = BandCount(threads, height.height);
    std::vector<TColumnSums> sums(static_cast<std::size_t>(bands));
    for (TColumnSums& s : sums) {
        s.s1.resize(std::size_t(w));
        s.s2.resize(std::size_t(w));
        s.add.resize(std::size_t(w));
        s.sub.resize(std::size_t(w));
    }
    std::vector<std::uint8_t> map(height.values.size());
    RunBands(height.height, bands, [&](int b, std::int32_t y0, std::int32_t y1) {
        RoughnessRows(texture, height, edges, r, y0, y1, sums[std::size_t(b)], map.data());
    });
    out.swap(map);
    return true;
}

bool InUnit(double v) {
    return v >= 0.0 && v <= 1.0;
} // false for NaN too

} // namespace

bool MakeOcclusionMap(const THeightMap& height, double radiusFraction, double reliefFraction, TMapEdges edges,
                      std::vector<std::uint8_t>& out, int threads) {
    if (!ValidHeight(height) || !(radiusFraction > 0.0 && radiusFraction <= MaxSurfaceRadius) ||
        !(reliefFraction >= 0.0 && reliefFraction <= MaxOcclusionRelief))
        return false;
    try {
        return Occlusion(height, radiusFraction, reliefFraction, edges, out, threads);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool MakeRoughnessMap(const TBitmap32& texture, const THeightMap& height, double minRoughness,
                      double maxRoughness, double radiusFraction, TMapEdges edges,
                      std::vector<std::uint8_t>& out, int threads) {
    if (!ValidHeight(height) || texture.Width() != height.width || texture.Height() != height.height ||
        !InUnit(minRoughness) || !InUnit(maxRoughness) || minRoughness > maxRoughness ||
        !(radiusFraction > 0.0 && radiusFraction <= MaxSurfaceRadius))
        return false;
    try {
        return Roughness(texture, height, minRoughness, maxRoughness, radiusFraction, edges, out, threads);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool MakeTileOcclusionMap(const THeightMap& height, const TMapOptions& options,
                          std::vector<std::uint8_t>& out) {
    const int width = height.width;
    if (width <= 0) return false;
    return MakeOcclusionMap(height, double(options.occlusionRadius) / MapReferenceSide,
                            ScaledReliefPixels(options.normalStrength, width) / width, options.edges, out);
}

bool MakeTileRoughnessMap(const TBitmap32& texture, const THeightMap& height, const TMapOptions& options,
                          std::vector<std::uint8_t>& out) {
    if (const TSurfaceRelief* relief = ReliefFor(texture, options)) {
        if (!InUnit(options.roughnessMin) || !InUnit(options.roughnessMax) ||
            options.roughnessMin > options.roughnessMax)
            return false;
        // The layers' roughness spread over the range asked for.
        const double low = options.roughnessMin, span = options.roughnessMax - options.roughnessMin;
        out.resize(relief->roughness.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = std::uint8_t(255.0 * (low + span * relief->roughness[i] / 255.0) + 0.5);
        return true;
    }
    return MakeRoughnessMap(texture, height, options.roughnessMin, options.roughnessMax,
                            double(RoughnessContrastRadius) / MapReferenceSide, options.edges, out);
}

} // namespace vorn
