// What every pattern kind promises, whatever it draws: it repeats across the tile's repeating axes
// and not across the others, it is a function of the tile (a 4096 field box-filtered to 1024 is the
// 1024 field, give or take the detail 4096 adds), it adds detail with the size, and the same
// parameters draw the same values.
#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

#include "gen/Pattern.h"

namespace vorn {
namespace {

// The mean over the rows of |a - b| of tone and height between column x0 and column x1.
double ColumnStep(const TPatternField& f, int x0, int x1) {
    double sum = 0;
    for (int y = 0; y < f.size; ++y) {
        const std::size_t a = std::size_t(y) * f.size + x0, b = std::size_t(y) * f.size + x1;
        sum += std::fabs(f.tone[a] - f.tone[b]) + std::fabs(f.height[a] - f.height[b]);
    }
    return sum / f.size;
}

// The field turned a quarter, so that rows can be checked as columns.
TPatternField Transposed(const TPatternField& f) {
    TPatternField t;
    t.Resize(f.size);
    for (int y = 0; y < f.size; ++y)
        for (int x = 0; x < f.size; ++x) {
            const std::size_t from = std::size_t(y) * f.size + x, to = std::size_t(x) * f.size + y;
            t.tone[to] = f.tone[from];
            t.height[to] = f.height[from];
            t.roughness[to] = f.roughness[from];
        }
    return t;
}

struct TSeam {
    double seam = 0;    // the step from the last column to the first, where the tile meets its copy
    double largest = 0; // the largest step between neighbouring columns inside the tile
    double mean = 0;    // their mean
};

TSeam SeamOf(const TPatternField& f) {
    TSeam s;
    s.seam = ColumnStep(f, f.size - 1, 0);
    for (int x = 0; x + 1 < f.size; ++x) {
        const double step = ColumnStep(f, x, x + 1);
        s.largest = std::max(s.largest, step);
    }
    return s;
}

class Patterns : public testing::TestWithParam<TPatternKind> {};

// A kind's defaults, with scratches running in every direction: along x only, at the defaults
// none crosses the edges along y, and the tile would repeat that way whatever the axes say.
TPatternParams EdgeReaching(TPatternKind kind, TTileAxes axes) {
    TPatternParams params = DefaultPattern(kind, 1234, axes);
    if (kind == TPatternKind::Scratches) params.values[2] = 2;
    return params;
}

// Across a repeating axis the tile meets its copy as its columns meet each other: the step at the
// seam is no larger than the largest step inside. Across an axis that does not repeat, the
// lattice runs on past the edge instead of wrapping, so the pattern is another one than where it
// repeats that way.
TEST_P(Patterns, RepeatAcrossTheirAxesOnly) {
    TPatternField repeating;
    DrawPattern(EdgeReaching(GetParam(), {}), 256, repeating);
    const TTileAxes cases[] = {{true, true}, {true, false}, {false, true}};
    for (const TTileAxes axes : cases) {
        SCOPED_TRACE(testing::Message() << "repeats across x " << axes.x << ", y " << axes.y);
        TPatternField field;
        DrawPattern(EdgeReaching(GetParam(), axes), 256, field);
        if (axes.x) {
            const TSeam s = SeamOf(field);
            EXPECT_LE(s.seam, s.largest * 1.0001 + 1e-6) << "columns";
        }
        if (axes.y) {
            const TSeam s = SeamOf(Transposed(field));
            EXPECT_LE(s.seam, s.largest * 1.0001 + 1e-6) << "rows";
        }
        if (!axes.x || !axes.y) {
            EXPECT_NE(field.height, repeating.height);
        }
    }
}

// Every value lies in 0..1 and the same parameters draw the same values, in one band or in
// several on threads; another seed another.
TEST_P(Patterns, SameParametersSameValuesInRange) {
    TPatternField a, b, c;
    DrawPattern(DefaultPattern(GetParam(), 77), 128, a, 1);
    DrawPattern(DefaultPattern(GetParam(), 77), 128, b, 5);
    DrawPattern(DefaultPattern(GetParam(), 78), 128, c);
    EXPECT_EQ(a.tone, b.tone);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.roughness, b.roughness);
    EXPECT_NE(a.tone, c.tone);
    for (const TPatternPlane* plane : {&a.tone, &a.height, &a.roughness})
        for (const float v : *plane) ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
}

// The 1024 field enlarged to 4096 as an image viewer would: bilinear, wrapping at the edges.
std::vector<float> Enlarged(const TPatternPlane& plane) {
    std::vector<float> out(std::size_t(4096) * 4096);
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            // The 1024 texel centres are at 4 i + 1.5 in 4096 texels.
            const double u = (x - 1.5) / 4, v = (y - 1.5) / 4;
            const int x0 = int(std::floor(u)), y0 = int(std::floor(v));
            const double fx = u - x0, fy = v - y0;
            const auto at = [&](int i, int j) {
                return double(plane[std::size_t((j + 1024) % 1024) * 1024 + (i + 1024) % 1024]);
            };
            out[std::size_t(y) * 4096 + x] =
                float((at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx) * (1 - fy) +
                      (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy);
        }
    return out;
}

// How much a 4096 plane varies inside each 4 x 4 block: the detail no 1024 texel can hold.
double DetailEnergy(std::span<const float> plane) {
    double energy = 0;
    for (int y = 0; y < 4096; y += 4)
        for (int x = 0; x < 4096; x += 4) {
            double mean = 0;
            for (int dy = 0; dy < 4; ++dy)
                for (int dx = 0; dx < 4; ++dx) mean += plane[std::size_t(y + dy) * 4096 + x + dx] / 16.0;
            for (int dy = 0; dy < 4; ++dy)
                for (int dx = 0; dx < 4; ++dx) {
                    const double d = plane[std::size_t(y + dy) * 4096 + x + dx] - mean;
                    energy += d * d;
                }
        }
    return energy;
}

// A 4096 field is the 1024 one drawn finer. Box-filtered 4 x 4 it equals the 1024 field except
// where a feature edge crosses a 1024 texel (the box averages the two sides where the 1024 texel
// took one) and by the octaves 4096 adds (each at most persistence^octaves of the whole, 0.5^5 at
// the defaults): features at the defaults cover at most a tenth of the tile with their edges, so
// the mean difference stays below 0.1 of the range. And it carries detail the 1024 field enlarged
// does not: inside each 4 x 4 block it varies more than the bilinear enlargement, which holds
// only the slopes between 1024 texels.
TEST_P(Patterns, A4096FieldIsThe1024OneDrawnFiner) {
#if defined(__SANITIZE_THREAD__)
    // Minutes under ThreadSanitizer for no thread the smaller fields do not already run.
    GTEST_SKIP() << "the bands' threads are checked by the smaller fields";
#endif
    TPatternField large, small;
    const TPatternParams params = DefaultPattern(GetParam(), 4242);
    DrawPattern(params, 4096, large);
    DrawPattern(params, 1024, small);
    double difference = 0;
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x) {
            double tone = 0, height = 0;
            for (int dy = 0; dy < 4; ++dy)
                for (int dx = 0; dx < 4; ++dx) {
                    const std::size_t at = std::size_t(4 * y + dy) * 4096 + std::size_t(4 * x + dx);
                    tone += large.tone[at] / 16.0;
                    height += large.height[at] / 16.0;
                }
            const std::size_t at = std::size_t(y) * 1024 + x;
            difference += (std::fabs(tone - small.tone[at]) + std::fabs(height - small.height[at])) / 2;
        }
    EXPECT_LT(difference / (1024.0 * 1024.0), 0.1);
    EXPECT_GT(DetailEnergy(large.height), DetailEnergy(Enlarged(small.height)));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, Patterns,
                         testing::Values(TPatternKind::Noise, TPatternKind::Cells, TPatternKind::Bricks,
                                         TPatternKind::Weave, TPatternKind::Grain, TPatternKind::Scratches),
                         [](const testing::TestParamInfo<TPatternKind>& info) {
                             return std::string(PatternKindInfo(info.param).name);
                         });

// Every kind has a name, a help line and at most MaxPatternValues parameters whose defaults lie
// in their ranges, and is found by its name.
TEST(PatternKinds, TablesAreWhole) {
    for (const TPatternKindInfo& kind : PatternKinds()) {
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(FindPatternKind(kind.name), &kind);
        EXPECT_EQ(&PatternKindInfo(kind.kind), &kind);
        ASSERT_LE(kind.params.size(), std::size_t(MaxPatternValues));
        for (const TPatternParam& p : kind.params)
            EXPECT_TRUE(p.min <= p.defaultValue && p.defaultValue <= p.max);
    }
}

// Tones through a palette, with values worked out by hand: the ends are the first and last
// colours, a tone between two spreads the step 1/256 at a time, rounded half up.
TEST(PatternColours, TonesRunAlongThePalette) {
    struct TCase {
        std::vector<std::uint32_t> colors;
        float tone;
        std::uint32_t rgb;
    };
    const TCase cases[] = {
        {{0x102030, 0xF0E0D0}, 0.0f, 0x102030},
        {{0x102030, 0xF0E0D0}, 1.0f, 0xF0E0D0},
        {{0x000000, 0xFFFFFF}, 0.5f, 0x808080},            // w 128: (255 * 128 + 128) / 256 = 128
        {{0xFF0000, 0x00FF00, 0x0000FF}, 0.5f, 0x00FF00},  // exactly the middle colour
        {{0xFF0000, 0x00FF00, 0x0000FF}, 0.25f, 0x808000}, // half way to green: 255 * 128 / 256
        {{0x000000, 0x000000, 0xFFFFFF}, 0.75f, 0x808080},
        {{}, 0.25f, 0x404040},                   // the walk's own: greys, w 64: (255 * 64 + 128) / 256 = 64
        {{0x123456}, 1.0f, 0xFFFFFF},            // one colour is no palette: greys
        {{0x102030, 0xF0E0D0}, -3.0f, 0x102030}, // outside 0..1: the nearer end
        {{0x102030, 0xF0E0D0}, 7.0f, 0xF0E0D0},
    };
    for (const TCase& c : cases) {
        std::uint8_t bgra[4];
        ColourPatternRow(&c.tone, 1, TPalette{c.colors}, bgra);
        const std::uint32_t rgb = std::uint32_t(bgra[2]) << 16 | std::uint32_t(bgra[1]) << 8 | bgra[0];
        EXPECT_EQ(rgb, c.rgb) << std::hex << "tone " << c.tone << " -> " << rgb;
        EXPECT_EQ(bgra[3], 0xFF);
    }
}

} // namespace
} // namespace vorn
