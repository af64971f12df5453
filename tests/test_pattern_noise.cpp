// What is particular to the noise, grain and scratches pattern kinds: the periodic sampler's lattice,
// ridged and billowed forms against plain noise, whole rings per tile, thin scratches, and the
// parameters' extremes. Periodicity, determinism and the 4096/1024 likeness of every kind are tested
// with the patterns themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "gen/Pattern.h"
#include "gen/PatternNoise.h"

using namespace vorn;

namespace {

std::size_t At(int size, int i, int j) {
    return std::size_t(j) * std::size_t(size) + std::size_t(i);
}

} // namespace

// Gradient noise is 0 at each lattice point and value noise is not; with cells differing per axis,
// the noise repeats after one tile along the repeating axis only.
TEST(PatternNoise, SamplerLatticeAndPeriod) {
    struct TCase {
        int cellsX, cellsY;
    };
    for (const TCase c : {TCase{3, 5}, TCase{8, 2}, TCase{1, 16}}) {
        SCOPED_TRACE(testing::Message() << c.cellsX << " x " << c.cellsY);
        const TTileAxes xOnly{true, false};
        float largestValue = 0.0f;
        for (int a = 0; a <= c.cellsX; ++a)
            for (int b = 0; b <= c.cellsY; ++b) {
                const double u = double(a) / c.cellsX, v = double(b) / c.cellsY;
                EXPECT_NEAR(PeriodicNoise(11, u, v, c.cellsX, c.cellsY, xOnly), 0.0f, 1e-5f);
                const float value = PeriodicNoise(11, u, v, c.cellsX, c.cellsY, xOnly, TNoiseBasis::Value);
                EXPECT_LE(std::fabs(value), 1.0f);
                largestValue = std::max(largestValue, std::fabs(value));
            }
        EXPECT_GT(largestValue, 0.1f);
        int differentAcrossY = 0;
        for (int k = 0; k < 50; ++k) {
            const double u = 0.0137 * k + 0.003, v = 0.0191 * k + 0.007;
            const float n = PeriodicNoise(11, u, v, c.cellsX, c.cellsY, xOnly);
            EXPECT_NEAR(PeriodicNoise(11, u + 1.0, v, c.cellsX, c.cellsY, xOnly), n, 1e-5f);
            if (std::fabs(PeriodicNoise(11, u, v + 1.0, c.cellsX, c.cellsY, xOnly) - n) > 1e-3f)
                ++differentAcrossY;
        }
        EXPECT_GT(differentAcrossY, 25);
    }
}

// With one octave, ridged noise is (1 - |n|)^2 of the plain noise n: its ridges (height near 1) lie
// where plain noise crosses the middle and it is low where plain noise is far from it; billowed noise
// is |n|, so it is near 0 where plain noise crosses the middle.
TEST(PatternNoise, RidgesWherePlainNoiseCrossesTheMiddle) {
    const int size = 256; // one octave at 1024 stays one octave here
    TPatternField plain, ridged, billowed;
    TPatternParams params = DefaultPattern(TPatternKind::Noise, 5);
    params.values = {4, 1, 50, 0, 1, 0};
    DrawPattern(params, size, plain);
    params.values[3] = 1;
    DrawPattern(params, size, ridged);
    params.values[3] = 2;
    DrawPattern(params, size, billowed);
    int nearMiddle = 0, farFromMiddle = 0;
    for (std::size_t k = 0; k < plain.height.size(); ++k) {
        const float offMiddle = std::fabs(plain.height[k] - 0.5f);
        if (offMiddle < 0.008f) { // |n| < 0.01 at the plain form's contrast of at most 0.8 per unit
            ++nearMiddle;
            EXPECT_GT(ridged.height[k], 0.98f);
            EXPECT_LT(billowed.height[k], 0.02f);
        } else if (offMiddle > 0.3f) { // |n| > 0.375
            ++farFromMiddle;
            EXPECT_LT(ridged.height[k], 0.4f);
        }
        EXPECT_EQ(ridged.tone[k], ridged.height[k]);
    }
    EXPECT_GT(nearMiddle, 20);
    EXPECT_GT(farFromMiddle, 20);
}

// Unbent and without fibres, a plank's tone along a line across the grain steps up from dark late
// wood to light early wood exactly once per ring.
TEST(PatternGrain, RingsAcrossTheTileMatchTheParameter) {
    struct TCase {
        int rings, direction;
    };
    const int size = 1024;
    for (const TCase c : {TCase{1, 0}, TCase{12, 0}, TCase{64, 0}, TCase{12, 1}, TCase{64, 1}}) {
        SCOPED_TRACE(testing::Message() << c.rings << " rings, direction " << c.direction);
        TPatternParams params = DefaultPattern(TPatternKind::Grain, 9);
        params.values = {c.rings, 0, 0, 0, c.direction, 0};
        TPatternField field;
        DrawPattern(params, size, field);
        // Across the grain: down a column when the grain runs along x, along a row otherwise.
        const auto tone = [&](int k) {
            return field.tone[c.direction == 0 ? At(size, 100, k) : At(size, k, 100)];
        };
        float low = 1.0f, high = 0.0f;
        for (int k = 0; k < size; ++k) low = std::min(low, tone(k)), high = std::max(high, tone(k));
        const float middle = 0.5f * (low + high);
        int steps = 0;
        for (int k = 0; k < size; ++k)
            if (tone(k) < middle && tone((k + 1) % size) >= middle) ++steps;
        EXPECT_EQ(steps, c.rings);
    }
}

// Default scratches leave most texels untouched (height 1, tone and roughness 0.5); the touched ones
// are lower, lighter and glossier, and no deeper than the depth. 400 segments of at most 30% of 1024
// texels, each touching about two texels per unit of length, cover at most about a quarter.
TEST(PatternScratches, ThinLinesCutIntoTheSurface) {
    const int size = 1024;
    TPatternField field;
    DrawPattern(DefaultPattern(TPatternKind::Scratches, 3), size, field);
    std::size_t touched = 0;
    float lowest = 1.0f;
    for (std::size_t k = 0; k < field.height.size(); ++k) {
        lowest = std::min(lowest, field.height[k]);
        EXPECT_GE(field.tone[k], 0.5f);
        EXPECT_LE(field.roughness[k], 0.5f);
        if (field.height[k] < 1.0f) {
            ++touched;
        } else {
            EXPECT_NEAR(field.tone[k], 0.5f, 1e-6f);
            EXPECT_NEAR(field.roughness[k], 0.5f, 1e-6f);
        }
    }
    const double fraction = double(touched) / double(field.height.size());
    EXPECT_GT(fraction, 0.03);
    EXPECT_LT(fraction, 0.25);
    EXPECT_GE(lowest, 0.4f - 1e-6f); // depth 60%
    EXPECT_LT(lowest, 0.9f);
}

// Every parameter at its minimum, or every one at its maximum, still fills the field with finite
// values in 0..1, whether or not the tile repeats.
TEST(PatternNoiseKinds, ExtremesStayFiniteAndInRange) {
    for (const TPatternKind kind : {TPatternKind::Noise, TPatternKind::Grain, TPatternKind::Scratches})
        for (const bool highest : {false, true})
            for (const TTileAxes axes :
                 {TTileAxes{true, true}, TTileAxes{false, true}, TTileAxes{false, false}}) {
                const TPatternKindInfo& info = PatternKindInfo(kind);
                SCOPED_TRACE(testing::Message()
                             << info.name << (highest ? " max" : " min") << " axes " << axes.x << axes.y);
                TPatternParams params = DefaultPattern(kind, 21, axes);
                for (std::size_t i = 0; i < info.params.size(); ++i)
                    params.values[i] = highest ? info.params[i].max : info.params[i].min;
                TPatternField field;
                DrawPattern(params, 64, field);
                int bad = 0;
                for (const TPatternPlane* channel : {&field.tone, &field.height, &field.roughness})
                    for (const float x : *channel)
                        if (!std::isfinite(x) || x < 0.0f || x > 1.0f) ++bad;
                EXPECT_EQ(bad, 0);
            }
}
