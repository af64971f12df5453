#include "gen/PatternScratches.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gen/PatternNoise.h"

namespace vorn {

namespace {

constexpr TPatternParam ParamTable[] = {
    {"count", 1, 4000, 400, "scratches per tile"},
    {"length", 1, 100, 30, "longest scratch in percent of the tile"},
    {"directions", 0, 2, 0, "0 along x, 1 along x and y, 2 any direction"},
    {"width", 1, 8, 1, "scratch width in texels at 1024"},
    {"depth", 0, 100, 60, "deepest scratch in percent of the height"},
    {"streaks", 0, 100, 0, "strength of the grime streaks along x"},
};

inline float Clamp01(float x) {
    return std::min(std::max(x, 0.0f), 1.0f);
}

// One segment in texel coordinates (texel i's centre at x = i): its start, unit direction, length,
// depth and the reach of its antialiased edge.
struct TSegment {
    float x, y, dx, dy, length, depth, reach, taper;
};

// Marks the texels within reach of the segment, clipped to the field's rows rowBegin .. rowEnd - 1:
// cut keeps the deepest cut, cover the strongest coverage. Only the span of each row the segment
// can reach is visited.
void DrawSegment(const TSegment& s, int size, int rowBegin, int rowEnd, TPatternField& field) {
    const float endY = s.y + s.length * s.dy;
    const int top = std::max(rowBegin, static_cast<int>(std::ceil(std::min(s.y, endY) - s.reach)));
    const int bottom = std::min(rowEnd - 1, static_cast<int>(std::floor(std::max(s.y, endY) + s.reach)));
    const float reach2 = s.reach * s.reach;
    for (int j = top; j <= bottom; ++j) {
        const float ry = static_cast<float>(j) - s.y;
        // The part of the segment within reach of this row, as distances along it.
        float t0 = 0.0f, t1 = s.length;
        if (std::fabs(s.dy) > 1e-6f) {
            const float a = (ry - s.reach) / s.dy, b = (ry + s.reach) / s.dy;
            t0 = std::max(t0, std::min(a, b));
            t1 = std::min(t1, std::max(a, b));
            if (t0 > t1) continue;
        } else if (std::fabs(ry) >= s.reach) {
            continue;
        }
        const float xa = s.x + t0 * s.dx, xb = s.x + t1 * s.dx;
        const int left = std::max(0, static_cast<int>(std::ceil(std::min(xa, xb) - s.reach)));
        const int right = std::min(size - 1, static_cast<int>(std::floor(std::max(xa, xb) + s.reach)));
        float* cutRow = field.Height(j);
        float* coverRow = field.Roughness(j);
        for (int i = left; i <= right; ++i) {
            const float rx = static_cast<float>(i) - s.x;
            const float along = rx * s.dx + ry * s.dy;
            const float t = std::min(std::max(along, 0.0f), s.length);
            const float px = rx - t * s.dx, py = ry - t * s.dy;
            const float d2 = px * px + py * py;
            if (d2 >= reach2) continue;
            // Coverage of a line reach - 0.5 either side, box-filtered over a texel; fading out
            // towards both ends as a scratch does.
            const float coverage = std::min(1.0f, s.reach - std::sqrt(d2));
            const float ends = Clamp01(std::min(along, s.length - along) / s.taper);
            const float w = coverage * ends;
            cutRow[i] = std::max(cutRow[i], s.depth * w);
            coverRow[i] = std::max(coverRow[i], w);
        }
    }
}

// A unit direction from the segment's hashes: near x, near x or y, or any, without trigonometry.
void Direction(std::uint32_t seed, int index, int directions, float& dx, float& dy) {
    const std::uint32_t h = PatternHash(seed, index, 4);
    if (directions < 2) {
        const float jitter = (PatternUnit(h) - 0.5f) * 0.06f; // within about 2 degrees
        const float n = std::sqrt(1.0f + jitter * jitter);
        const bool alongY = directions == 1 && (h & 1u) != 0;
        dx = (alongY ? jitter : 1.0f) / n;
        dy = (alongY ? 1.0f : jitter) / n;
        return;
    }
    // A point in the unit disc by rejection (a few tries), then normalised.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const float a = PatternUnit(PatternHash(seed, index, 5 + 2 * attempt)) * 2.0f - 1.0f;
        const float b = PatternUnit(PatternHash(seed, index, 6 + 2 * attempt)) * 2.0f - 1.0f;
        const float r2 = a * a + b * b;
        if (r2 > 0.01f && r2 <= 1.0f) {
            const float n = std::sqrt(r2);
            dx = a / n;
            dy = b / n;
            return;
        }
    }
    dx = 1.0f;
    dy = 0.0f;
}

} // namespace

std::span<const TPatternParam> ScratchesParams() {
    return ParamTable;
}

void DrawScratches(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field) {
    const int count = params.values[0];
    const float length = static_cast<float>(params.values[1]) / 100.0f;
    const int directions = params.values[2];
    const float halfWidth = static_cast<float>(params.values[3]) * static_cast<float>(size) / 2048.0f;
    const float depth = static_cast<float>(params.values[4]) / 100.0f;
    const float streaks = static_cast<float>(params.values[5]) / 100.0f;
    const float side = static_cast<float>(size);

    // Height holds the deepest cut and roughness the strongest coverage until the last pass.
    for (int k = 0; k < count; ++k) {
        const float cx = PatternUnit(PatternHash(params.seed, k, 0));
        const float cy = PatternUnit(PatternHash(params.seed, k, 1));
        const float len = length * (0.5f + 0.5f * PatternUnit(PatternHash(params.seed, k, 2))) * side;
        TSegment s{};
        Direction(params.seed, k, directions, s.dx, s.dy);
        s.length = len;
        s.depth = depth * (0.35f + 0.65f * PatternUnit(PatternHash(params.seed, k, 3)));
        s.reach = halfWidth + 0.5f;
        s.taper = std::max(0.15f * len, 1.0f);
        const float startX = cx * side - 0.5f - 0.5f * len * s.dx;
        const float startY = cy * side - 0.5f - 0.5f * len * s.dy;
        // Copies one tile over along the repeating axes carry the parts that cross an edge; along
        // the others the segment is cut at the edge.
        for (int oy = -1; oy <= 1; ++oy) {
            if (oy != 0 && !params.axes.y) continue;
            for (int ox = -1; ox <= 1; ++ox) {
                if (ox != 0 && !params.axes.x) continue;
                TSegment copy = s;
                copy.x = startX + static_cast<float>(ox) * side;
                copy.y = startY + static_cast<float>(oy) * side;
                const float endX = copy.x + len * s.dx, endY = copy.y + len * s.dy;
                if (std::max(copy.x, endX) + copy.reach < 0.0f || std::min(copy.x, endX) - copy.reach > side)
                    continue;
                if (std::max(copy.y, endY) + copy.reach < 0.0f || std::min(copy.y, endY) - copy.reach > side)
                    continue;
                DrawSegment(copy, size, rowBegin, rowEnd, field);
            }
        }
    }

    // Grime: coarse along x, fine across, so it lies in streaks.
    TPeriodicFbm streakNoise(PatternHash(params.seed, 0x53545245), 2, 24, 3, 0.5f, params.axes,
                             TNoiseBasis::Gradient, streaks > 0.0f ? size : 0);
    std::vector<float> streak(std::size_t(size), 0.0f);
    for (int j = rowBegin; j < rowEnd; ++j) {
        if (streaks > 0.0f) streakNoise.Row((j + 0.5) / size, streak);
        float* tone = field.Tone(j);
        float* height = field.Height(j);
        float* roughness = field.Roughness(j);
        for (int i = 0; i < size; ++i) {
            const float c = roughness[i];
            const float g = streaks * streak[std::size_t(i)];
            tone[i] = Clamp01(0.5f + 0.3f * c + 0.25f * g);
            height[i] = Clamp01(1.0f - height[i]);
            roughness[i] = Clamp01(0.5f - 0.3f * c + 0.25f * std::max(-g, 0.0f));
        }
    }
}

} // namespace vorn
