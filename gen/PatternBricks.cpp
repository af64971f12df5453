#include "gen/PatternBricks.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn {

namespace {

constexpr TPatternParam ParamTable[] = {
    {"columns", 1, 32, 4, "bricks per course across the tile; with the grid pattern, tiles along each axis"},
    {"rows", 1, 64, 8,
     "courses per tile; with running bond and a tile that repeats down, an odd count is raised to even"},
    {"offset", 0, 100, 50,
     "how far courses are shifted, in percent of a brick: running bond 50, stack bond 0; with random "
     "offsets, the most a course may shift"},
    {"mortar", 0, 100, 10, "width of the mortar joints, in percent of a course's height"},
    {"bevel", 0, 100, 30,
     "how rounded the bricks' edges are: the rounded rim's width in percent of half a course"},
    {"pattern", 0, 2, 0,
     "0 running bond (every other course shifted), 1 random offset per course (planks), "
     "2 grid of square tiles"},
};

enum TBond { RunningBond = 0, RandomOffset = 1, SquareGrid = 2 };

constexpr float MortarTone = 0.2f;
constexpr float MortarRoughness = 0.9f;

// The values drawn for one brick.
struct TBrick {
    float tone = 0, roughness = 0, top = 0;
    float halfJoint = 0; // the mortar between this brick and its neighbours, half of it, in courses
};

// The rounded rise of a bevel at t in 0..1 across it: a quarter circle, steep at the foot.
inline float Rounded(float t) {
    return std::sqrt(t * (2.0f - t));
}

} // namespace

std::span<const TPatternParam> BricksParams() {
    return ParamTable;
}

void DrawBricks(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field) {
    const int columns = params.values[0];
    const int offset = params.values[2];
    const int bond = params.values[5];
    int rows = params.values[1];
    if (bond == SquareGrid) rows = columns;
    // Running bond repeats every two courses: a tile repeating down needs an even count of them,
    // or the course at the bottom edge would meet the top course unshifted.
    if (bond == RunningBond && params.axes.y && rows % 2 == 1 && offset % 100 != 0) ++rows;
    const float shiftAmount = bond == SquareGrid ? 0.0f : float(offset) / 100.0f;
    const float halfMortar = float(params.values[3]) / 200.0f;
    const float bevel = float(params.values[4]) / 200.0f;
    // Distances across a brick, in bricks, to distances in courses.
    const float across = float(rows) / float(columns);
    const float stepX = float(columns) / float(size), stepY = float(rows) / float(size);
    // Along an axis the tile does not repeat across, the courses start at a point of their own,
    // a quarter to three quarters into a brick, so the tile's two edges cut through different
    // bricks rather than along a joint.
    const auto phase = [&](std::int32_t axis) {
        return 0.25f + 0.5f * PatternUnit(PatternHash(params.seed ^ 0x68E31DA4u, axis));
    };
    const float phaseX = params.axes.x ? 0.0f : phase(1);
    const float phaseY = params.axes.y ? 0.0f : phase(2);

    // The bricks of one course: a shifted course reaches one brick past the tile's right edge.
    std::vector<TBrick> course(std::size_t(columns) + 1);
    int courseRow = -1;
    float shift = 0.0f;
    for (int j = rowBegin; j < rowEnd; ++j) {
        const float y = (float(j) + 0.5f) * stepY + phaseY;
        const int r = std::min(int(std::floor(y)), rows);
        const float fy = y - float(r);
        if (r != courseRow) {
            courseRow = r;
            const std::int32_t wr = LatticeIndex(r, rows, params.axes.y);
            if (bond == RunningBond)
                shift = (r & 1) != 0 ? shiftAmount : 0.0f;
            else if (bond == RandomOffset)
                shift = PatternUnit(PatternHash(params.seed ^ 0x5BD1E995u, wr)) * shiftAmount;
            else
                shift = 0.0f;
            shift += phaseX;
            shift -= std::floor(shift); // a whole brick's shift is no shift
            for (int c = 0; c <= columns; ++c) {
                const std::uint32_t h = PatternHash(params.seed, LatticeIndex(c, columns, params.axes.x), wr);
                TBrick& b = course[std::size_t(c)];
                b.tone = 0.45f + 0.45f * PatternUnit(h);
                b.roughness = 0.55f + 0.15f * PatternUnit(PatternHash(h, 1));
                b.top = 1.0f - 0.12f * PatternUnit(PatternHash(h, 2));
                // Bricks are laid a little unevenly: each one's joints a little wider or narrower.
                b.halfJoint = halfMortar * (0.75f + 0.5f * PatternUnit(PatternHash(h, 3)));
            }
        }
        const float edgeY = std::min(fy, 1.0f - fy);
        float* tone = field.Tone(j);
        float* height = field.Height(j);
        float* roughness = field.Roughness(j);
        for (int i = 0; i < size; ++i) {
            const float x = (float(i) + 0.5f) * stepX + shift;
            const int c = std::min(int(std::floor(x)), columns);
            const float fx = x - float(c);
            const TBrick& b = course[std::size_t(c)];
            const float edge = std::min(edgeY, std::min(fx, 1.0f - fx) * across);
            if (edge < b.halfJoint) {
                tone[i] = MortarTone;
                height[i] = 0.0f;
                roughness[i] = MortarRoughness;
                continue;
            }
            const float t = bevel > 0.0f ? (edge - b.halfJoint) / bevel : 1.0f;
            const float rise = t >= 1.0f ? 1.0f : Rounded(t);
            tone[i] = b.tone * (0.85f + 0.15f * rise);
            height[i] = b.top * rise;
            roughness[i] = b.roughness;
        }
    }
}

} // namespace vorn
