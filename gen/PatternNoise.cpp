#include "gen/PatternNoise.h"

#include <algorithm>
#include <cmath>

namespace vorn {

namespace {

constexpr TPatternParam ParamTable[] = {
    {"scale", 1, 64, 4, "lattice cells per tile of the coarsest octave"},
    {"octaves", 1, 10, 5, "octaves at 1024 (one more per doubling of the size)"},
    {"persistence", 20, 80, 50, "percent of an octave's amplitude the next one keeps"},
    {"form", 0, 2, 0, "0 plain, 1 ridged, 2 billowed"},
    {"basis", 0, 1, 1, "0 value noise, 1 gradient noise"},
    {"warp", 0, 100, 0, "domain warp in percent of a coarsest cell"},
};

enum : int { Plain = 0, Ridged = 1, Billowed = 2 };

// Sixteen evenly spread unit gradients.
constexpr float Gradients[16][2] = {
    {1.0f, 0.0f},  {0.92387953f, 0.38268343f},   {0.70710678f, 0.70710678f},   {0.38268343f, 0.92387953f},
    {0.0f, 1.0f},  {-0.38268343f, 0.92387953f},  {-0.70710678f, 0.70710678f},  {-0.92387953f, 0.38268343f},
    {-1.0f, 0.0f}, {-0.92387953f, -0.38268343f}, {-0.70710678f, -0.70710678f}, {-0.38268343f, -0.92387953f},
    {0.0f, -1.0f}, {0.38268343f, -0.92387953f},  {0.70710678f, -0.70710678f},  {0.92387953f, -0.38268343f},
};

// Unit gradients give at most sqrt(1/2) in two dimensions; this brings gradient noise to [-1, 1].
constexpr float GradientGain = 1.41421356f;

// Plain fBm spreads less than one octave; this restores a usable contrast before clamping.
constexpr float PlainContrast = 1.6f;
constexpr float BillowContrast = 1.6f;

inline float Fade(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

// A lattice column's two corners (below and above the sample) blended across y, left as a linear
// function slope * dx + offset of the sample's x offset dx from the column.
struct TColumn {
    float slope, offset;
};

inline TColumn ColumnOf(const float* low, const float* high, float fy, float sy, bool gradient) {
    if (!gradient) return {0.0f, low[0] + sy * (high[0] - low[0])};
    const float slope = low[0] + sy * (high[0] - low[0]);
    const float lowDot = low[1] * fy, highDot = high[1] * (fy - 1.0f);
    const float offset = lowDot + sy * (highDot - lowDot);
    return {slope * GradientGain, offset * GradientGain};
}

inline float Blend(float leftSlope, float leftOffset, float rightSlope, float rightOffset, float fx,
                   float sx) {
    const float left = leftSlope * fx + leftOffset;
    const float right = rightSlope * (fx - 1.0f) + rightOffset;
    return left + sx * (right - left);
}

// Splits a lattice coordinate into its cell and the offset in it; far-off positions are held to a
// range the cell index can take.
inline std::int32_t CellOf(double x, float& offset) {
    x = std::clamp(x, -1.0e9, 1.0e9);
    // Truncation then a step down for negatives: the floor, without a library call.
    std::int32_t cell = static_cast<std::int32_t>(x);
    if (x < static_cast<double>(cell)) --cell;
    offset = static_cast<float>(x - static_cast<double>(cell));
    return cell;
}

inline float Clamp01(float x) {
    return std::min(std::max(x, 0.0f), 1.0f);
}

template <int Form> inline float Shaped(float n) {
    if constexpr (Form == Ridged) {
        const float r = 1.0f - std::fabs(n);
        return r * r;
    } else if constexpr (Form == Billowed) {
        return std::fabs(n);
    } else {
        return n;
    }
}

template <int Form> void Accumulate(const float* noise, float amplitude, float* sum, int count) {
    for (int i = 0; i < count; ++i) sum[i] += amplitude * Shaped<Form>(noise[i]);
}

template <int Form> float WarpedSum(TPeriodicFbm& noise, int octaves, double u, double v) {
    float sum = 0.0f;
    for (int k = 0; k < octaves; ++k) sum += noise.Amplitude(k) * Shaped<Form>(noise.Octave(k, u, v));
    return sum;
}

} // namespace

TPeriodicFbm::TPeriodicFbm(std::uint32_t seed, int cellsX, int cellsY, int octaves, float persistence,
                           TTileAxes axes, TNoiseBasis basis, int rowSize)
    : m_axes(axes), m_basis(basis), m_rowSize(std::max(rowSize, 0)) {
    cellsX = std::max(cellsX, 1);
    cellsY = std::max(cellsY, 1);
    octaves = std::max(octaves, 1);
    float amplitude = 1.0f;
    std::int32_t maxCells = 1;
    for (int k = 0; k < octaves; ++k) {
        const std::int32_t cx = std::int32_t(cellsX) << k, cy = std::int32_t(cellsY) << k;
        TOctave octave{PatternHash(seed, 0x4E4F4953, k), cx, cy, amplitude, 0, 0, false, {}, {}, {}, {}};
        if (m_rowSize > 0) {
            octave.cell.resize(std::size_t(m_rowSize));
            octave.offset.resize(std::size_t(m_rowSize));
            octave.fade.resize(std::size_t(m_rowSize));
            for (int i = 0; i < m_rowSize; ++i) {
                const double u = (i + 0.5) / m_rowSize;
                float fx;
                octave.cell[std::size_t(i)] = CellOf(u * cx, fx);
                octave.offset[std::size_t(i)] = fx;
                octave.fade[std::size_t(i)] = Fade(fx);
            }
        }
        m_octaves.push_back(std::move(octave));
        m_amplitudeSum += amplitude;
        amplitude *= persistence;
        maxCells = std::max(maxCells, cx);
        if (cx >= (1 << 20) || cy >= (1 << 20)) break; // finer than any field could show
    }
    if (m_rowSize > 0) {
        m_columnSlope.resize(std::size_t(maxCells) + 1);
        m_columnOffset.resize(std::size_t(maxCells) + 1);
        m_rowSum.resize(std::size_t(m_rowSize));
    }
}

void TPeriodicFbm::Corner(const TOctave& octave, std::int32_t x, std::int32_t y, float* out) const {
    const std::uint32_t h = PatternHash(octave.seed, x, y);
    if (m_basis == TNoiseBasis::Gradient) {
        out[0] = Gradients[h >> 28][0];
        out[1] = Gradients[h >> 28][1];
    } else {
        out[0] = PatternUnit(h) * 2.0f - 1.0f;
        out[1] = 0.0f;
    }
}

float TPeriodicFbm::Octave(int index, double u, double v) {
    TOctave& o = m_octaves[std::size_t(index)];
    float fx, fy;
    const std::int32_t ix = CellOf(u * o.cellsX, fx), iy = CellOf(v * o.cellsY, fy);
    if (!o.cached || ix != o.cachedX || iy != o.cachedY) {
        const std::int32_t x0 = LatticeIndex(ix, o.cellsX, m_axes.x);
        const std::int32_t x1 = LatticeIndex(ix + 1, o.cellsX, m_axes.x);
        const std::int32_t y0 = LatticeIndex(iy, o.cellsY, m_axes.y);
        const std::int32_t y1 = LatticeIndex(iy + 1, o.cellsY, m_axes.y);
        Corner(o, x0, y0, o.corner[0]);
        Corner(o, x1, y0, o.corner[1]);
        Corner(o, x0, y1, o.corner[2]);
        Corner(o, x1, y1, o.corner[3]);
        o.cachedX = ix;
        o.cachedY = iy;
        o.cached = true;
    }
    const bool gradient = m_basis == TNoiseBasis::Gradient;
    const float sy = Fade(fy);
    const TColumn left = ColumnOf(o.corner[0], o.corner[2], fy, sy, gradient);
    const TColumn right = ColumnOf(o.corner[1], o.corner[3], fy, sy, gradient);
    return Blend(left.slope, left.offset, right.slope, right.offset, fx, Fade(fx));
}

float TPeriodicFbm::At(double u, double v) {
    float sum = 0.0f;
    for (int k = 0; k < Octaves(); ++k) sum += m_octaves[std::size_t(k)].amplitude * Octave(k, u, v);
    return std::clamp(sum / m_amplitudeSum, -1.0f, 1.0f);
}

void TPeriodicFbm::OctaveRow(int index, double v, std::span<float> out) {
    const TOctave& o = m_octaves[std::size_t(index)];
    float fy;
    const std::int32_t iy = CellOf(v * o.cellsY, fy);
    const std::int32_t y0 = LatticeIndex(iy, o.cellsY, m_axes.y);
    const std::int32_t y1 = LatticeIndex(iy + 1, o.cellsY, m_axes.y);
    const float sy = Fade(fy);
    const bool gradient = m_basis == TNoiseBasis::Gradient;
    // Every texel of the row lies in cells 0..cellsX - 1, so columns 0..cellsX cover it.
    for (std::int32_t x = 0; x <= o.cellsX; ++x) {
        const std::int32_t lx = LatticeIndex(x, o.cellsX, m_axes.x);
        float low[2], high[2];
        Corner(o, lx, y0, low);
        Corner(o, lx, y1, high);
        const TColumn column = ColumnOf(low, high, fy, sy, gradient);
        m_columnSlope[std::size_t(x)] = column.slope;
        m_columnOffset[std::size_t(x)] = column.offset;
    }
    const std::int32_t* cell = o.cell.data();
    const float* fx = o.offset.data();
    const float* sx = o.fade.data();
    const float* slope = m_columnSlope.data();
    const float* offset = m_columnOffset.data();
    const int count = std::min(m_rowSize, static_cast<int>(out.size()));
    for (int i = 0; i < count; ++i) {
        const std::int32_t c = cell[i];
        out[std::size_t(i)] = Blend(slope[c], offset[c], slope[c + 1], offset[c + 1], fx[i], sx[i]);
    }
}

void TPeriodicFbm::Row(double v, std::span<float> out) {
    const int count = std::min(m_rowSize, static_cast<int>(out.size()));
    std::fill(out.begin(), out.begin() + count, 0.0f);
    for (int k = 0; k < Octaves(); ++k) {
        OctaveRow(k, v, m_rowSum);
        const float amplitude = m_octaves[std::size_t(k)].amplitude;
        for (int i = 0; i < count; ++i) out[std::size_t(i)] += amplitude * m_rowSum[std::size_t(i)];
    }
    for (int i = 0; i < count; ++i)
        out[std::size_t(i)] = std::clamp(out[std::size_t(i)] / m_amplitudeSum, -1.0f, 1.0f);
}

float PeriodicNoise(std::uint32_t seed, double u, double v, int cellsX, int cellsY, TTileAxes axes,
                    TNoiseBasis basis) {
    TPeriodicFbm noise(seed, cellsX, cellsY, 1, 1.0f, axes, basis);
    return std::clamp(noise.Octave(0, u, v), -1.0f, 1.0f);
}

std::span<const TPatternParam> NoiseParams() {
    return ParamTable;
}

void DrawNoise(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field) {
    const int scale = params.values[0];
    const int octaves1024 = params.values[1];
    const float persistence = static_cast<float>(params.values[2]) / 100.0f;
    const int form = params.values[3];
    const TNoiseBasis basis = params.values[4] == 0 ? TNoiseBasis::Value : TNoiseBasis::Gradient;
    const int warp = params.values[5];

    // Octaves finer than two texels would only alias, so they are left out. Plain noise is normalised
    // by the octaves a 1024 field carries, so a larger field adds fine detail (averaging to nothing)
    // without changing its coarser octaves. Ridged and billowed octaves do not average to 0, so they
    // are normalised by the octaves drawn, which keeps their mean the same at every size.
    int octaves = OctavesAt(octaves1024, size);
    while (octaves > 1 && (std::int64_t(scale) << (octaves - 1)) * 2 > size) --octaves;
    int octavesNormalised = octaves;
    if (form == Plain) {
        octavesNormalised = octaves1024;
        while (octavesNormalised > 1 && (std::int64_t(scale) << (octavesNormalised - 1)) * 2 > 1024)
            --octavesNormalised;
    }
    float norm = 0.0f, amplitude = 1.0f;
    for (int k = 0; k < octavesNormalised; ++k, amplitude *= persistence) norm += amplitude;

    TPeriodicFbm noise(params.seed, scale, scale, octaves, persistence, params.axes, basis,
                       warp > 0 ? 0 : size);
    std::vector<float> sum(static_cast<std::size_t>(size)), octave(static_cast<std::size_t>(size));
    std::vector<float> warpX, warpY;
    // The warp: two coarse noises shifting each sample by up to warp percent of a coarsest cell.
    TPeriodicFbm warpNoiseX(PatternHash(params.seed, 0x57415250, 1), scale, scale, 2, 0.5f, params.axes,
                            TNoiseBasis::Gradient, warp > 0 ? size : 0);
    TPeriodicFbm warpNoiseY(PatternHash(params.seed, 0x57415250, 2), scale, scale, 2, 0.5f, params.axes,
                            TNoiseBasis::Gradient, warp > 0 ? size : 0);
    if (warp > 0) {
        warpX.resize(std::size_t(size));
        warpY.resize(std::size_t(size));
    }
    const double warpAmount = warp / 100.0 / scale;

    for (int j = rowBegin; j < rowEnd; ++j) {
        const double v = (j + 0.5) / size;
        if (warp == 0) {
            std::fill(sum.begin(), sum.end(), 0.0f);
            for (int k = 0; k < octaves; ++k) {
                noise.OctaveRow(k, v, octave);
                const float a = noise.Amplitude(k);
                if (form == Ridged)
                    Accumulate<Ridged>(octave.data(), a, sum.data(), size);
                else if (form == Billowed)
                    Accumulate<Billowed>(octave.data(), a, sum.data(), size);
                else
                    Accumulate<Plain>(octave.data(), a, sum.data(), size);
            }
        } else {
            warpNoiseX.Row(v, warpX);
            warpNoiseY.Row(v, warpY);
            for (int i = 0; i < size; ++i) {
                const double u = (i + 0.5) / size;
                const double wu = u + warpAmount * warpX[std::size_t(i)];
                const double wv = v + warpAmount * warpY[std::size_t(i)];
                sum[std::size_t(i)] = form == Ridged     ? WarpedSum<Ridged>(noise, octaves, wu, wv)
                                      : form == Billowed ? WarpedSum<Billowed>(noise, octaves, wu, wv)
                                                         : WarpedSum<Plain>(noise, octaves, wu, wv);
            }
        }
        float* tone = field.Tone(j);
        float* height = field.Height(j);
        float* roughness = field.Roughness(j);
        for (int i = 0; i < size; ++i) {
            const float n = sum[std::size_t(i)] / norm;
            float h;
            if (form == Ridged)
                h = Clamp01(n);
            else if (form == Billowed)
                h = Clamp01(n * BillowContrast);
            else
                h = Clamp01(0.5f + 0.5f * PlainContrast * n);
            tone[i] = h;
            height[i] = h;
            roughness[i] = Clamp01(0.5f + 0.4f * (0.5f - h));
        }
    }
}

} // namespace vorn
