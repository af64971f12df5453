// The pattern kinds built of cells: bricks lie in courses with mortar at the expected lines and
// uniform faces, Voronoi cells have their joints along the cell borders and their forms' shapes,
// and woven threads pass over and under as each weave says.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gen/Pattern.h"

namespace vorn {
namespace {

TPatternField Draw(TPatternKind kind, std::array<int, MaxPatternValues> values, int size,
                   TTileAxes axes = {true, true}) {
    TPatternParams params;
    params.kind = kind;
    params.seed = 2024;
    params.axes = axes;
    params.values = values;
    TPatternField field;
    DrawPattern(params, size, field);
    return field;
}

float At(const TPatternPlane& plane, int size, int i, int j) {
    return plane[std::size_t(j) * std::size_t(size) + std::size_t(i)];
}

// The number of runs of true in flags taken as a ring: the last entry meets the first.
int RingRuns(const std::vector<bool>& flags) {
    int runs = 0;
    for (std::size_t k = 0; k < flags.size(); ++k)
        if (flags[k] && !flags[(k + flags.size() - 1) % flags.size()]) ++runs;
    return runs;
}

enum { RunningBond = 0, RandomOffset = 1, SquareGrid = 2 };

struct TCourseCase {
    int pattern, columns, rows, offset;
    TTileAxes axes;
    int courses, bricksPerCourse; // seen down the tile and along a course
};

// Courses are counted by the texel rows that are mortar all across, bricks by the mortar joints
// along a course (where the tile does not repeat, the courses start part way into a brick, so the
// tile's edges need not lie on joints). A running bond repeating down raises an odd row count to even;
// the grid of square tiles takes columns for both axes.
TEST(Bricks, CoursesAndBricksCountedAlongLines) {
    const TCourseCase cases[] = {
        {RunningBond, 4, 8, 50, {true, true}, 8, 4},  {RunningBond, 4, 7, 50, {true, true}, 8, 4},
        {RunningBond, 4, 7, 50, {true, false}, 7, 4}, {RandomOffset, 2, 16, 100, {true, true}, 16, 2},
        {SquareGrid, 5, 8, 50, {true, true}, 5, 5},   {RunningBond, 3, 6, 50, {false, false}, 6, 3},
    };
    const int size = 512;
    for (const TCourseCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "pattern " << c.pattern << ", " << c.columns << " x " << c.rows
                                        << ", repeats " << c.axes.x << c.axes.y);
        const TPatternField f =
            Draw(TPatternKind::Bricks, {c.columns, c.rows, c.offset, 10, 30, c.pattern}, size, c.axes);
        std::vector<bool> mortarRow(size), mortarAlong(size);
        for (int j = 0; j < size; ++j) {
            bool all = true;
            for (int i = 0; i < size && all; ++i) all = At(f.height, size, i, j) == 0.0f;
            mortarRow[std::size_t(j)] = all;
        }
        // The row with the least mortar runs along a course's face, crossing only its joints.
        int along = 0, fewest = size + 1;
        for (int j = 0; j < size; ++j) {
            int mortar = 0;
            for (int i = 0; i < size; ++i) mortar += At(f.height, size, i, j) == 0.0f;
            if (mortar < fewest) {
                fewest = mortar;
                along = j;
            }
        }
        for (int i = 0; i < size; ++i) mortarAlong[std::size_t(i)] = At(f.height, size, i, along) == 0.0f;
        EXPECT_EQ(RingRuns(mortarRow), c.courses);
        EXPECT_EQ(RingRuns(mortarAlong), c.bricksPerCourse);
    }
}

// Running bond, 4 x 8 bricks at 256: a course is 32 texels high and a brick 64 wide; odd courses
// shift half a brick. The mortar (half width at most 0.0625 of a course, 2 texels) holds the two
// texel rows around each course line and is the lowest height; a brick's face more than the
// joint and the bevel (0.15 of a course, 4.8 texels) from its edges is one height and one tone.
TEST(Bricks, MortarLinesAreLowestAndFacesUniform) {
    const int size = 256;
    const TPatternField f = Draw(TPatternKind::Bricks, {4, 8, 50, 10, 30, RunningBond}, size);
    EXPECT_EQ(*std::min_element(f.height.begin(), f.height.end()), 0.0f);
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < size; ++i) {
            EXPECT_EQ(At(f.height, size, i, (32 * k + size - 1) % size), 0.0f) << "course line " << k;
            EXPECT_EQ(At(f.height, size, i, 32 * k), 0.0f) << "course line " << k;
        }
    // Joints in course 0 at u = k / 4, in course 1 half a brick along.
    EXPECT_EQ(At(f.height, size, 63, 16), 0.0f);
    EXPECT_EQ(At(f.height, size, 64, 16), 0.0f);
    EXPECT_GT(At(f.height, size, 32, 16), 0.0f);
    EXPECT_EQ(At(f.height, size, 31, 48), 0.0f);
    EXPECT_EQ(At(f.height, size, 32, 48), 0.0f);
    EXPECT_GT(At(f.height, size, 64, 48), 0.0f);

    std::set<float> faceTones;
    for (int course = 0; course < 2; ++course)
        for (int brick = 0; brick < 4; ++brick) {
            const int left = 64 * brick - 32 * course, top = 32 * course;
            const int i0 = (left + 7 + size) % size, j0 = top + 7;
            const float tone = At(f.tone, size, i0, j0), height = At(f.height, size, i0, j0);
            EXPECT_GT(height, 0.8f);
            EXPECT_GT(tone, 0.3f);
            faceTones.insert(tone);
            for (int j = top + 7; j <= top + 24; ++j)
                for (int di = 7; di <= 56; ++di) {
                    const int i = (left + di + size) % size;
                    ASSERT_EQ(At(f.tone, size, i, j), tone) << "brick " << brick << " of course " << course;
                    ASSERT_EQ(At(f.height, size, i, j), height)
                        << "brick " << brick << " of course " << course;
                }
        }
    EXPECT_GT(faceTones.size(), 1u) << "every brick its own tint";
}

enum { Stones = 0, Cracks = 1, Scales = 2, Flat = 3 };

// Without jitter the cells are the squares of the lattice: 8 per tile at 256 makes each 32 texels,
// texel k of a cell's row 0.5 + k texels from its left border. With gap 15 the joint reaches 2.4
// texels each side of a border (k = 0, 1, 30, 31); stones round over 0.2 of a cell (6.4 texels)
// inside it, so k = 9..22 is the flat top; cracks round over 2 * 0.075 * 0.4 of a cell (1.9
// texels), so k = 4..27 is plate at height 1.
TEST(Cells, WithoutJitterTheCellsAreTheLatticeSquares) {
    const int size = 256;
    const auto inRange = [](int k, int lo, int hi) { return k >= lo && k <= hi; };
    const auto inJoint = [](int k) { return k < 2 || k > 29; };
    for (const int form : {Stones, Cracks, Scales, Flat}) {
        SCOPED_TRACE(testing::Message() << "form " << form);
        const TPatternField f = Draw(TPatternKind::Cells, {8, 0, form, 15, 40, 50}, size);
        std::set<float> cellTones;
        for (int cy = 0; cy < 8; ++cy)
            for (int cx = 0; cx < 8; ++cx) {
                const float midTone = At(f.tone, size, 32 * cx + 16, 32 * cy + 16);
                const float midHeight = At(f.height, size, 32 * cx + 16, 32 * cy + 16);
                cellTones.insert(midTone);
                for (int ky = 0; ky < 32; ++ky)
                    for (int kx = 0; kx < 32; ++kx) {
                        const float tone = At(f.tone, size, 32 * cx + kx, 32 * cy + ky);
                        const float height = At(f.height, size, 32 * cx + kx, 32 * cy + ky);
                        const bool joint = inJoint(kx) || inJoint(ky);
                        if (form == Flat) {
                            ASSERT_EQ(tone, midTone);
                            ASSERT_EQ(height, midHeight);
                        } else if (joint) {
                            ASSERT_EQ(height, 0.0f) << kx << ", " << ky;
                            ASSERT_LT(tone, midTone);
                        } else if (form == Stones && inRange(kx, 9, 22) && inRange(ky, 9, 22)) {
                            ASSERT_EQ(height, midHeight);
                            ASSERT_EQ(tone, midTone);
                        } else if (form == Cracks && inRange(kx, 4, 27) && inRange(ky, 4, 27)) {
                            ASSERT_EQ(height, 1.0f);
                            ASSERT_EQ(tone, midTone);
                        }
                    }
                if (form == Scales) {
                    // Down the cell's middle: its upper end runs on under the scale above at
                    // about half height; its free lower rim rounds down into the joint; the
                    // dome peaks below the middle.
                    const std::size_t column = std::size_t(32 * cx + 16);
                    std::vector<float> down;
                    for (int ky = 0; ky < 32; ++ky)
                        down.push_back(f.height[std::size_t(32 * cy + ky) * size + column]);
                    EXPECT_GT(down[2], 0.4f);
                    EXPECT_LT(down[29], 0.2f);
                    EXPECT_GT(std::max_element(down.begin(), down.end()) - down.begin(), 16);
                }
            }
        EXPECT_GT(cellTones.size(), 32u) << "every cell its own tint";
    }
}

// With jittered points the borders are no longer known, but the flat form shows them: wherever
// two neighbouring texels lie in different cells, a border passes within a texel of each, well
// inside the stones' joint (2.4 texels each side), so both are at height 0. Where a 7 x 7 block
// of texels lies in one cell the cell (convex) holds the block's square, so the border is at
// least 3 texels away and the stone stands above its joint.
TEST(Cells, StoneJointsFollowTheCellBorders) {
    const int size = 256;
    for (const int jitter : {60, 100}) {
        SCOPED_TRACE(testing::Message() << "jitter " << jitter);
        const TPatternField flat = Draw(TPatternKind::Cells, {8, jitter, Flat, 15, 40, 100}, size);
        const TPatternField stones = Draw(TPatternKind::Cells, {8, jitter, Stones, 15, 40, 100}, size);
        int borders = 0, inside = 0;
        for (int j = 0; j < size; ++j)
            for (int i = 0; i < size; ++i) {
                const float here = At(flat.tone, size, i, j);
                for (const auto& [di, dj] : {std::pair{1, 0}, std::pair{0, 1}}) {
                    const int i2 = (i + di) % size, j2 = (j + dj) % size;
                    if (At(flat.tone, size, i2, j2) == here) continue;
                    ++borders;
                    ASSERT_EQ(At(stones.height, size, i, j), 0.0f) << i << ", " << j;
                    ASSERT_EQ(At(stones.height, size, i2, j2), 0.0f) << i2 << ", " << j2;
                }
                bool oneCell = true;
                for (int dj = -3; dj <= 3 && oneCell; ++dj)
                    for (int di = -3; di <= 3 && oneCell; ++di)
                        oneCell = At(flat.tone, size, (i + di + size) % size, (j + dj + size) % size) == here;
                if (!oneCell) continue;
                ++inside;
                ASSERT_GT(At(stones.height, size, i, j), 0.0f) << i << ", " << j;
            }
        EXPECT_GT(borders, 8 * size);
        EXPECT_GT(inside, size * size / 4);
    }
}

struct TWeaveCase {
    int pattern, threads;
    TTileAxes axes;
    int drawn; // whole threads per tile drawn (both axes repeat, or neither)
    // Which thread is on top at crossing (column c, row r), c and r modulo 4: 'W' the warp
    // (running down, tone 0.6), 'w' the weft (across, tone 0.4).
    const char* over[4];
};

// With no variation and no fibres the tone tells the threads apart: warp 0.6, weft 0.4. At the
// middle of each crossing the thread on top shows and is the highest of that crossing's square,
// but for the half texel (1/64 of the spacing) the middle texel lies off the crossing: a thread
// diving there has dropped 0.25 * 2 * 3 / 64^2 < 0.0004. The square's corner lies between the
// threads (width 85: a thread's half width is at most 0.425 of the spacing, the corner's centre
// 0.484 from both threads' middles) at height 0.
TEST(Weave, OverAndUnderFollowTheWeave) {
    const TWeaveCase cases[] = {
        {0, 8, {true, true}, 8, {"WwWw", "wWwW", "WwWw", "wWwW"}},
        {1, 8, {true, true}, 8, {"WWww", "WwwW", "wwWW", "wWWw"}},
        {2, 8, {true, true}, 8, {"WWww", "WWww", "wwWW", "wwWW"}},
        {1, 6, {true, true}, 8, {"WWww", "WwwW", "wwWW", "wWWw"}},
        {0, 5, {false, false}, 5, {"WwWw", "wWwW", "WwWw", "wWwW"}},
    };
    for (const TWeaveCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "pattern " << c.pattern << ", " << c.threads << " threads");
        // Along an axis that does not repeat the tile holds half a thread more.
        const int pitch = 32, size = pitch * c.drawn + (c.axes.x ? 0 : pitch / 2);
        const TPatternField f = Draw(TPatternKind::Weave, {c.threads, 85, c.pattern, 0, 0}, size, c.axes);
        for (int r = 0; r < c.drawn; ++r)
            for (int col = 0; col < c.drawn; ++col) {
                const bool warp = c.over[r % 4][col % 4] == 'W';
                const int i = col * pitch + pitch / 2, j = r * pitch + pitch / 2;
                EXPECT_EQ(At(f.tone, size, i, j), warp ? 0.6f : 0.4f) << "crossing " << col << ", " << r;
                float highest = 0.0f;
                for (int dj = 0; dj < pitch; ++dj)
                    for (int di = 0; di < pitch; ++di)
                        highest = std::max(highest, At(f.height, size, col * pitch + di, r * pitch + dj));
                EXPECT_GE(At(f.height, size, i, j), highest - 0.0004f) << "crossing " << col << ", " << r;
                EXPECT_EQ(At(f.height, size, col * pitch, r * pitch), 0.0f)
                    << "crossing " << col << ", " << r;
            }
    }
}

} // namespace
} // namespace vorn
