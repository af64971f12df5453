#include "gen/PatternGrain.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gen/PatternNoise.h"

namespace vorn {

namespace {

constexpr TPatternParam ParamTable[] = {
    {"rings", 1, 64, 12, "growth rings (bark: furrows) across the tile"},
    {"fibres", 0, 100, 50, "strength of the fine streaks along the grain"},
    {"warp", 0, 100, 40, "how far noise bends the rings"},
    {"form", 0, 1, 0, "0 plank, 1 bark"},
    {"direction", 0, 1, 0, "the grain runs 0 along x, 1 along y"},
};

inline float Clamp01(float x) {
    return std::min(std::max(x, 0.0f), 1.0f);
}

// The floor of a value well within the int range, without a library call.
inline std::int32_t Floor(double x) {
    const std::int32_t i = static_cast<std::int32_t>(x);
    return x < static_cast<double>(i) ? i - 1 : i;
}

inline float Smooth(float x) {
    return x * x * (3.0f - 2.0f * x);
}

// Lattice cells along and across the grain, as (x, y) cells for the grain's direction.
inline void Cells(bool alongY, int along, int across, int& cellsX, int& cellsY) {
    cellsX = alongY ? across : along;
    cellsY = alongY ? along : across;
}

} // namespace

std::span<const TPatternParam> GrainParams() {
    return ParamTable;
}

void DrawGrain(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field) {
    const int rings = params.values[0];
    const float fibres = static_cast<float>(params.values[1]) / 100.0f;
    const double bend = params.values[2] / 100.0 * 0.3; // in tiles, at full noise
    const bool bark = params.values[3] == 1;
    const bool alongY = params.values[4] == 1;

    // The bend: coarse noise stretched along the grain, added to the coordinate across it. It repeats
    // with the tile, and the rings per tile are whole, so the bent rings repeat as well.
    int cx, cy;
    Cells(alongY, 2, 3, cx, cy);
    TPeriodicFbm bendNoise(PatternHash(params.seed, 0x42454E44), cx, cy, 3, 0.5f, params.axes,
                           TNoiseBasis::Gradient, size);
    // The fibres: fine across the grain, long along it; sampled at the bent position so they follow
    // the rings.
    Cells(alongY, 6, 128, cx, cy);
    TPeriodicFbm fibreNoise(PatternHash(params.seed, 0x46494252), cx, cy, 2, 0.5f, params.axes);
    // Bark: how wide each plate between furrows is, varying along it and from plate to plate.
    Cells(alongY, 4, 2 * rings, cx, cy);
    TPeriodicFbm plateNoise(PatternHash(params.seed, 0x504C4154), cx, cy, 2, 0.5f, params.axes);

    // The step from a ring's late wood to the next ring's early wood is spread over 1.5 texels at 1024
    // (the same part of the tile at larger sizes, so they draw it alike; more texels at smaller ones).
    const float edge =
        std::min(1.5f * static_cast<float>(rings) / static_cast<float>(std::min(size, 1024)), 0.5f);
    std::vector<float> bendRow(static_cast<std::size_t>(size));
    for (int j = rowBegin; j < rowEnd; ++j) {
        const double v = (j + 0.5) / size;
        bendNoise.Row(v, bendRow);
        float* tone = field.Tone(j);
        float* height = field.Height(j);
        float* roughness = field.Roughness(j);
        for (int i = 0; i < size; ++i) {
            const double u = (i + 0.5) / size;
            const double shift = bend * bendRow[std::size_t(i)];
            const double bu = alongY ? u + shift : u, bv = alongY ? v : v + shift;
            const double phase = rings * (alongY ? bu : bv);
            const float t = static_cast<float>(phase - static_cast<double>(Floor(phase)));
            const float fibre = fibres > 0.0f ? fibreNoise.At(bu, bv) : 0.0f;
            if (!bark) {
                // Early wood light and soft, darkening into the dense late wood, then a sharp step.
                const float late = Smooth(Clamp01((t - 0.5f) * 2.0f)) * Clamp01((1.0f - t) / edge);
                tone[i] = Clamp01(0.72f - 0.42f * late + 0.14f * fibres * fibre);
                height[i] = Clamp01(0.45f + 0.3f * late + 0.25f * fibres * fibre);
                roughness[i] = Clamp01(0.5f - 0.1f * late + 0.35f * fibres * std::max(-fibre, 0.0f));
            } else {
                // A triangle across each furrow spacing, 0 in the furrow; plates stand where it
                // passes a threshold that wanders, so furrows widen, narrow and part.
                const float across = 1.0f - std::fabs(2.0f * t - 1.0f);
                const float wander = plateNoise.At(bu, bv);
                const float plate = Smooth(Clamp01((across - 0.3f - 0.18f * wander) * 3.5f));
                tone[i] = Clamp01(0.22f + 0.45f * plate + 0.12f * fibres * fibre + 0.08f * wander);
                height[i] = Clamp01(0.06f + 0.78f * plate + 0.14f * fibres * fibre);
                roughness[i] = Clamp01(0.92f - 0.3f * plate + 0.08f * fibres * std::fabs(fibre));
            }
        }
    }
}

} // namespace vorn
