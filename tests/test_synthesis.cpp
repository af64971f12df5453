// The tile synthesis on its own: the calls it makes and the random draws it consumes, checked
// against a separate linear congruential stream worked from the drawing rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "engine/VornDef.h"
#include "gen/GenSettings.h"
#include "gen/TileSynthesis.h"
#include "gen/TileTrace.h"

using namespace vorn;

namespace {

// An independent copy of the program's random source, to predict draws.
struct TStream {
    std::uint32_t seed;
    std::uint32_t Next() { return seed = seed * 134775813u + 1u; }
    int Int(int n) { return static_cast<int>((static_cast<std::uint64_t>(n) * Next()) >> 32); }
    double Float() { return Next() * 0x1p-32; }
};

struct TCall {
    enum Kind { Gradient, Solid, Stamp } kind;
    TIntRect rect{};
    TColorQuad colors{};
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    TCanvasColor color = 0;
    std::int32_t image = 0;
    double x = 0, y = 0, angle = 0, scale = 0;
    std::int32_t pattern = 0;
    TBlendEffect effect = 0;
};

class TRecorder : public TTilePainter {
public:
    std::vector<TCall> calls;
    void FillGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect) override {
        TCall c{TCall::Gradient};
        c.rect = rect;
        c.colors = colors;
        c.effect = effect;
        calls.push_back(c);
    }
    void FillSolidRect(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h, TCanvasColor color,
                       TBlendEffect effect) override {
        TCall c{TCall::Solid};
        c.left = l, c.top = t, c.width = w, c.height = h, c.color = color, c.effect = effect;
        calls.push_back(c);
    }
    void DrawRotatedScaled(std::int32_t image, TCanvasColor color, double x, double y, double angle,
                           double scale, std::int32_t pattern, TBlendEffect effect) override {
        TCall c{TCall::Stamp};
        c.image = image, c.color = color, c.x = x, c.y = y, c.angle = angle, c.scale = scale;
        c.pattern = pattern, c.effect = effect;
        calls.push_back(c);
    }
    // The walk's stamps: every stamp after the background (brush images are 2..9).
    std::vector<TCall> Brush() const {
        std::vector<TCall> out;
        for (const TCall& c : calls)
            if (c.kind == TCall::Stamp && c.image >= 2) out.push_back(c);
        return out;
    }
};

struct THookLog : TGenHooks {
    int pumps = 0;
    int maximum = -1;
    std::vector<int> positions;
    void PumpMessages() override { ++pumps; }
    void SetProgressMaximum(int max) override { maximum = max; }
    void SetProgressPosition(int position) override { positions.push_back(position); }
};

struct TRun {
    TRecorder painter;
    THookLog hooks;
    std::uint32_t seedBefore = 0, seedAfter = 0;
};

TRun Synthesize(const TGenSettings& settings, std::uint32_t seed, TCanvasColor background = 0xFFFF8000u,
                bool batchRunning = false) {
    TRun run;
    random::SetSeed(seed);
    run.seedBefore = seed;
    SynthesizeTile(settings, background, batchRunning, run.hooks, run.painter);
    run.seedAfter = random::Seed();
    return run;
}

// Plain settings whose walk is easy to follow: Keep (no background), Hard, Blend.
TGenSettings WalkOnly() {
    TGenSettings s;
    s.image = 1;
    s.brushType = 0;
    s.effect = 0;
    return s;
}

TCanvasColor Stroke(float hue, int saturation = 50, int lightness = 50) {
    return HslToColor(hue, static_cast<float>(saturation / 100.0), static_cast<float>(lightness / 100.0));
}

// The walk worked from the drawing rules, draw by draw.
struct TWalkReplay {
    TStream r;
    const TGenSettings& s;
    float x, y, radius = 0, angle, scale = 1, rs, as, ss, hue;
    int rSign, aSign, sSign;
    bool cosX;
    int turns = 0;
    double dx = 0, dy = 0; // Shift's offsets of the last step

    TWalkReplay(std::uint32_t seed, const TGenSettings& settings) : r{seed}, s(settings) {
        x = static_cast<float>(256.0 - 256.0 * r.Float());
        y = static_cast<float>(256.0 - 256.0 * r.Float());
        angle = static_cast<float>(r.Float() * 2.0 * std::numbers::pi);
        rs = Speed(s.radiusSpeed);
        as = Speed(s.angleSpeed);
        ss = Speed(s.scaleSpeed);
        rSign = 1 - 2 * r.Int(2);
        aSign = 1 - 2 * r.Int(2);
        sSign = 1 - 2 * r.Int(2);
        hue = static_cast<float>(r.Float());
        cosX = r.Int(2) == 1;
    }
    float Speed(int slider) { return static_cast<float>(0.005 + 0.05 * (slider / 100.0) * r.Float()); }

    TCanvasColor Step() {
        const double c = std::cos(double(angle)), n = std::sin(double(angle));
        x = static_cast<float>(x + (cosX ? c : n) * radius);
        y = static_cast<float>(y + (cosX ? n : c) * radius);
        radius = static_cast<float>(radius + rSign * double(rs));
        angle = static_cast<float>(angle + aSign * double(as));
        if (x < 0 || x > 1024 || y < 0 || y > 1024 || r.Int(256) == 128) {
            ++turns;
            if (r.Int(2) == 0) {
                x = static_cast<float>(256.0 - 256.0 * r.Float());
                y = static_cast<float>(256.0 - 256.0 * r.Float());
            }
            if (r.Int(2) == 0) rs = Speed(s.radiusSpeed);
            if (r.Int(2) == 0) as = Speed(s.angleSpeed);
            rSign = -rSign;
        }
        const int divisor = 100 - s.turnFreq;
        if (divisor < 99 && r.Int(divisor + 1) == divisor / 2) aSign = -aSign;
        hue = static_cast<float>(hue + 0.05 * (s.hueSwitch / 100.0) * r.Float());
        if (hue > 1.0f) hue = 0.0f;
        const TCanvasColor stroke = Stroke(hue, s.saturation, s.lightness);
        if (s.brushType == 1) {
            scale = static_cast<float>(scale + sSign * double(ss));
            if (scale > 1.0f) ss = Speed(s.scaleSpeed), sSign = -sSign, scale = 1.0f;
            if (scale < 0.0f) ss = Speed(s.scaleSpeed), sSign = -sSign, scale = 0.0f;
        } else {
            scale = 1.0f;
        }
        if (s.effect == 7) {
            dx = 16.0 * r.Float();
            dy = 16.0 * r.Float();
        }
        return stroke;
    }
};

// Follows the replay against every recorded stamp of the walk; answers the replay (its seed
// afterwards is where the walk's draws end).
TWalkReplay FollowWalk(const TRun& run, const TGenSettings& settings, std::uint32_t walkSeed) {
    TWalkReplay replay(walkSeed, settings);
    const std::vector<TCall> stamps = run.painter.Brush();
    const std::size_t perStep = settings.effect >= 7 ? 8 : 4;
    EXPECT_EQ(stamps.size(), perStep * static_cast<std::size_t>(settings.steps + 1024));
    for (std::size_t k = 0; k + perStep <= stamps.size(); k += perStep) {
        const TCanvasColor stroke = replay.Step();
        const TCall& main = stamps[k + perStep - 4];
        const double qx = std::trunc(replay.x), qy = std::trunc(replay.y);
        if (main.color != stroke + 0xC0000000u || main.x != qx || main.y != qy ||
            main.scale != replay.scale || (settings.effect == 7 && stamps[k].x != qx + replay.dx)) {
            ADD_FAILURE() << "step " << k / perStep << ": stamp (" << main.x << ", " << main.y << ") colour "
                          << std::hex << main.color << " scale " << main.scale << ", replay (" << qx << ", "
                          << qy << ") colour " << stroke + 0xC0000000u << " scale " << replay.scale;
            break;
        }
    }
    EXPECT_EQ(replay.r.seed, run.seedAfter) << "the walk's draws do not end where the run's do";
    return replay;
}

} // namespace

TEST(SynthesisSteps, StepCountIsStepsPlus1024WithProgressAndOnePumpPerStep) {
    for (const int steps : {0, 1, 1024, 2048}) {
        TGenSettings s;
        s.steps = steps;
        s.effect = 0;
        s.bgFill = 0;
        s.bgForm = 0;
        const TRun run = Synthesize(s, 7u);
        const int expected = steps + 1024;
        EXPECT_EQ(run.hooks.pumps, expected) << "Steps " << steps;
        EXPECT_EQ(run.painter.Brush().size(), static_cast<std::size_t>(4 * expected)) << "Steps " << steps;
        EXPECT_EQ(run.hooks.maximum, expected);
        // Position 1 at the start, one more per step, back to 1 at the end.
        ASSERT_EQ(run.hooks.positions.size(), static_cast<std::size_t>(expected + 2));
        EXPECT_EQ(run.hooks.positions.front(), 1);
        EXPECT_EQ(run.hooks.positions[static_cast<std::size_t>(expected)], expected + 1);
        EXPECT_EQ(run.hooks.positions.back(), 1);
    }
}

TEST(SynthesisSteps, ABatchLeavesTheProgressBarAlone) {
    const TRun run = Synthesize(TGenSettings{}, 11u, 0xFFFF8000u, true);
    EXPECT_EQ(run.hooks.pumps, 2048);
    EXPECT_EQ(run.hooks.maximum, -1);
    EXPECT_TRUE(run.hooks.positions.empty());
}

TEST(SynthesisSteps, OutOfRangeSettingsAreClamped) {
    TGenSettings wild;
    wild.effect = 42;
    wild.bgFill = -3;
    wild.brushSize = 9;
    wild.steps = 100000;
    wild.turnFreq = 0;
    TGenSettings tame;
    tame.effect = 9;
    tame.bgFill = 0;
    tame.brushSize = 3;
    tame.steps = 2048;
    tame.turnFreq = 1;
    const TRun a = Synthesize(wild, 5u);
    const TRun b = Synthesize(tame, 5u);
    EXPECT_EQ(a.seedAfter, b.seedAfter);
    EXPECT_EQ(a.painter.calls.size(), b.painter.calls.size());
}

TEST(SynthesisEffects, StampsPerStepExtraPassesAndEffectCodes) {
    for (int effect = 0; effect < 10; ++effect) {
        TGenSettings s = WalkOnly();
        s.effect = effect;
        s.steps = 0;
        const TRun run = Synthesize(s, 1234u + static_cast<std::uint32_t>(effect));
        const std::vector<TCall> stamps = run.painter.Brush();
        const bool extra = effect >= 7;
        const std::size_t perStep = extra ? 8 : 4;
        ASSERT_EQ(stamps.size(), perStep * 1024) << "effect " << effect;
        for (std::size_t step = 0; step < 1024; ++step) {
            const TCall* group = &stamps[step * perStep];
            const TCall* main = group + (extra ? 4 : 0);
            for (int i = 0; i < 4; ++i) {
                SCOPED_TRACE("effect " + std::to_string(effect) + " step " + std::to_string(step));
                EXPECT_EQ(main[i].effect, GeneratorEffects[static_cast<std::size_t>(effect)]);
                EXPECT_EQ(main[i].color, main[0].color);
                EXPECT_EQ(main[i].color >> 24, 0xC0u);
                EXPECT_EQ(main[i].scale, 1.0); // Hard
                EXPECT_EQ(main[i].image, BrushImage(2, 0));
                EXPECT_EQ(main[i].angle, 0.0);
                EXPECT_EQ(main[i].pattern, 0);
                if (!extra) continue;
                const TCall& e = group[i];
                EXPECT_EQ(e.effect, beAlphaBlend);
                EXPECT_EQ(e.image, main[i].image);
                if (effect == 7) {
                    EXPECT_EQ(e.color, (main[0].color - 0xC0000000u) ^ 0x7FFFFFFFu);
                    EXPECT_EQ(e.scale, 2.0);
                    // The offset lies in [0, 16) and is mirrored with the point.
                    const double dx = i % 2 == 0 ? e.x - main[i].x : main[i].x - e.x;
                    const double dy = i < 2 ? e.y - main[i].y : main[i].y - e.y;
                    EXPECT_GE(dx, 0.0);
                    EXPECT_LT(dx, 16.0);
                    EXPECT_GE(dy, 0.0);
                    EXPECT_LT(dy, 16.0);
                    EXPECT_EQ(e.x, i % 2 == 0 ? group[0].x : 1024.0 - group[0].x);
                    EXPECT_EQ(e.y, i < 2 ? group[0].y : 1024.0 - group[0].y);
                } else {
                    EXPECT_EQ(e.color, effect == 8 ? 0x7FFFFF00u : 0x7F000000u);
                    EXPECT_EQ(e.scale, 1.4);
                    EXPECT_EQ(e.x, main[i].x);
                    EXPECT_EQ(e.y, main[i].y);
                }
            }
            // The four main points: (x, y), (1024 - x, y), (x, 1024 - y), (1024 - x, 1024 - y),
            // x and y whole numbers.
            EXPECT_EQ(main[0].x, std::trunc(main[0].x));
            EXPECT_EQ(main[0].y, std::trunc(main[0].y));
            EXPECT_EQ(main[1].x, 1024.0 - main[0].x);
            EXPECT_EQ(main[1].y, main[0].y);
            EXPECT_EQ(main[2].x, main[0].x);
            EXPECT_EQ(main[2].y, 1024.0 - main[0].y);
            EXPECT_EQ(main[3].x, 1024.0 - main[0].x);
            EXPECT_EQ(main[3].y, 1024.0 - main[0].y);
        }
    }
}

TEST(SynthesisEffects, BrushImageFollowsSizeAndType) {
    for (int size = 0; size < 4; ++size) {
        for (int type = 0; type < 2; ++type) {
            TGenSettings s = WalkOnly();
            s.brushSize = size;
            s.brushType = type;
            const TRun run = Synthesize(s, 99u);
            for (const TCall& c : run.painter.Brush()) ASSERT_EQ(c.image, 2 + 2 * size + type);
        }
    }
}

TEST(SynthesisBackground, KeepMakesNoBackgroundDrawsAndStartsTheWalkAtTheFirstDraw) {
    TGenSettings s = WalkOnly();
    const TRun run = Synthesize(s, 0xC0FFEEu);
    ASSERT_FALSE(run.painter.calls.empty());
    for (const TCall& c : run.painter.calls) ASSERT_EQ(c.kind, TCall::Stamp);
    FollowWalk(run, s, 0xC0FFEEu);
}

TEST(SynthesisBackground, ColorWithNoFormMakesExactlyTwoDraws) {
    TGenSettings s;
    s.bgFill = 0;
    s.bgForm = 0;
    s.brushType = 0;
    s.effect = 0;
    const TCanvasColor background = 0xFF204060u;
    const TRun run = Synthesize(s, 77u, background);
    ASSERT_GE(run.painter.calls.size(), 2u);
    const TCall& fill = run.painter.calls[0];
    EXPECT_EQ(fill.kind, TCall::Gradient);
    EXPECT_EQ(fill.rect.Left, 0);
    EXPECT_EQ(fill.rect.Top, 0);
    EXPECT_EQ(fill.rect.Right, 1024);
    EXPECT_EQ(fill.rect.Bottom, 1024);
    EXPECT_EQ(fill.colors, ColorQuadOf(background));
    EXPECT_EQ(fill.effect, beOpaque);
    EXPECT_EQ(run.painter.calls[1].kind, TCall::Stamp);
    // The walk starts two draws after the seed.
    TStream skip{77u};
    skip.Next();
    skip.Next();
    FollowWalk(run, s, skip.seed);
}

TEST(SynthesisBackground, RandomFillAlwaysPaintsThePlainFillAndEachGradientOnAFreshDraw) {
    int seen[2][2] = {};
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        TGenSettings s;
        s.bgForm = 0;
        const TCanvasColor background = 0xFFA0C0E0u;
        const TRun run = Synthesize(s, seed, background);
        TStream r{seed};
        const TCanvasColor a = (static_cast<TCanvasColor>(r.Int(192)) * 0x010101u + 0xFF404040u) & background;
        const TCanvasColor b = (static_cast<TCanvasColor>(r.Int(192)) * 0x010101u + 0xFF404040u) & background;
        const bool h = r.Int(2) == 0;
        const bool v = r.Int(2) == 0;
        ++seen[h][v];
        std::vector<TCall> expected;
        const auto add = [&](TIntRect rect, TColorQuad colors) {
            TCall c{TCall::Gradient};
            c.rect = rect;
            c.colors = colors;
            expected.push_back(c);
        };
        add({0, 0, 1024, 1024}, ColorQuadOf(background));
        if (h) add({0, 0, 512, 1024}, {a, b, b, a}), add({512, 0, 1024, 1024}, {b, a, a, b});
        if (v) add({0, 0, 1024, 512}, {a, a, b, b}), add({0, 512, 1024, 1024}, {b, b, a, a});
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const TCall& c = run.painter.calls[i];
            ASSERT_EQ(c.kind, TCall::Gradient) << "seed " << seed << " call " << i;
            EXPECT_EQ(c.rect.Left, expected[i].rect.Left);
            EXPECT_EQ(c.rect.Top, expected[i].rect.Top);
            EXPECT_EQ(c.rect.Right, expected[i].rect.Right);
            EXPECT_EQ(c.rect.Bottom, expected[i].rect.Bottom);
            EXPECT_EQ(c.colors, expected[i].colors) << "seed " << seed << " call " << i;
            EXPECT_EQ(c.effect, beOpaque);
        }
        EXPECT_EQ(run.painter.calls[expected.size()].kind, TCall::Stamp) << "seed " << seed;
        SCOPED_TRACE("seed " + std::to_string(seed));
        FollowWalk(run, s, r.seed);
    }
    for (int h = 0; h < 2; ++h)
        for (int v = 0; v < 2; ++v) EXPECT_GT(seen[h][v], 0) << "combination " << h << v << " never seen";
}

// The squares worked from the rules: hue, corner, spacing, count, one hue draw per square.
TEST(SynthesisBackground, SquaresFollowTheirDrawsAndAHuePastOneDropsToZero) {
    bool sawCorner = false, sawDrop = false, sawNegative = false;
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        TGenSettings s;
        s.bgFill = 0;
        s.bgForm = 2;
        s.hueSwitch = 100;
        const TRun run = Synthesize(s, seed);
        TStream r{seed};
        r.Next(); // the two shades
        r.Next();
        double h = r.Float();
        int px = 0, py = 0;
        if (r.Int(4) == 0) {
            py = r.Int(256);
            px = r.Int(256);
            sawCorner = sawCorner || px != 0 || py != 0;
        }
        const int d = r.Int(64) + 8;
        const int n = r.Int(16) + 1;
        ASSERT_GE(run.painter.calls.size(), static_cast<std::size_t>(n + 1));
        for (int i = 0; i < n; ++i) {
            const double before = h;
            h = (h + 0.05) + 0.05 * r.Float();
            if (h > 1) h = 0, sawDrop = sawDrop || before > 0.5;
            const TCall& c = run.painter.calls[static_cast<std::size_t>(1 + i)];
            ASSERT_EQ(c.kind, TCall::Solid) << "seed " << seed << " square " << i;
            EXPECT_EQ(c.left, px + d * i);
            EXPECT_EQ(c.top, py + d * i);
            EXPECT_EQ(c.width, 1024 - 2 * d * i - 2 * px);
            EXPECT_EQ(c.height, 1024 - 2 * d * i - 2 * py);
            sawNegative = sawNegative || c.width < 0;
            EXPECT_EQ(c.color, HslToColor(static_cast<float>(h), 1.0f, 0.5f) + 0x80000000u)
                << "seed " << seed << " square " << i;
            EXPECT_EQ(c.effect, beAlphaBlend);
        }
        EXPECT_EQ(run.painter.calls[static_cast<std::size_t>(n + 1)].kind, TCall::Stamp);
        SCOPED_TRACE("seed " + std::to_string(seed));
        FollowWalk(run, s, r.seed);
    }
    EXPECT_TRUE(sawCorner);
    EXPECT_TRUE(sawDrop);
    EXPECT_TRUE(sawNegative);
}

TEST(SynthesisBackground, CirclesOnlyFollowTheirDraws) {
    TGenSettings s;
    s.bgFill = 0;
    s.bgForm = 1;
    s.hueSwitch = 30;
    const std::uint32_t seed = 2024u;
    const TRun run = Synthesize(s, seed);
    TStream r{seed};
    r.Next();
    r.Next();
    double scale = r.Float() + 1.0;
    double h = r.Float();
    const int n = r.Int(8) + 5;
    for (int i = 0; i < n; ++i) {
        h = (h + 0.05) + 0.05 * 0.3 * r.Float();
        if (h > 1) h = 0;
        if (r.Int(2) == 0) scale = scale - 0.2 * scale * r.Float();
        const TCall& c = run.painter.calls[static_cast<std::size_t>(1 + i)];
        ASSERT_EQ(c.kind, TCall::Stamp);
        EXPECT_EQ(c.image, CircleImage);
        EXPECT_EQ(c.scale, scale) << "circle " << i;
        EXPECT_EQ(c.color, HslToColor(static_cast<float>(h), 1.0f, 0.5f) + 0x80000000u) << "circle " << i;
    }
    EXPECT_EQ(run.painter.calls[static_cast<std::size_t>(n + 1)].image, BrushImage(2, 1));
    FollowWalk(run, s, r.seed);
}

// Turn Freq decides whether each step makes a reversal draw; the replay stays in line with every
// recorded stamp only when the draw counts agree.
TEST(SynthesisWalk, WholeWalksFollowTheirDrawsForEveryTurnFrequencyAndEffect) {
    int turns = 0;
    for (const int turnFreq : {1, 2, 50, 99, 100}) {
        for (const int effect : {0, 7, 9}) {
            for (const int brushType : {0, 1}) {
                TGenSettings s = WalkOnly();
                s.turnFreq = turnFreq;
                s.effect = effect;
                s.brushType = brushType;
                s.steps = 512;
                const std::uint32_t seed = 0x5EEDu + static_cast<std::uint32_t>(turnFreq * 31 + effect);
                SCOPED_TRACE("Turn Freq " + std::to_string(turnFreq) + " effect " + std::to_string(effect) +
                             " type " + std::to_string(brushType));
                const TRun run = Synthesize(s, seed);
                turns += FollowWalk(run, s, seed).turns;
            }
        }
    }
    EXPECT_GT(turns, 30); // the replays went through turns, inside and outside the tile
}

TEST(SynthesisWalk, TurnFrequencyOneNeverReversesAndHundredReversesEveryStep) {
    TGenSettings s = WalkOnly();
    s.radiusSpeed = 100;
    s.angleSpeed = 100;
    for (const int turnFreq : {1, 100}) {
        s.turnFreq = turnFreq;
        TWalkReplay replay(0xABCDu, s);
        int flips = 0;
        for (int step = 0; step < 1000; ++step) {
            const int before = replay.aSign;
            replay.Step();
            flips += replay.aSign != before;
        }
        EXPECT_EQ(flips, turnFreq == 1 ? 0 : 1000);
        FollowWalk(Synthesize(s, 0xABCDu), s, 0xABCDu);
    }
}

TEST(SynthesisWalk, AHuePastOneDropsToZero) {
    TGenSettings s = WalkOnly();
    s.hueSwitch = 100;
    int drops = 0;
    for (std::uint32_t seed = 100; seed < 104; ++seed) {
        const TRun run = Synthesize(s, seed);
        FollowWalk(run, s, seed);
        // Hue 0 is pure HSL red, which lands in the blue byte of a canvas colour.
        for (const TCall& c : run.painter.Brush()) drops += c.color == Stroke(0.0f) + 0xC0000000u;
    }
    EXPECT_GT(drops, 4 * 10);
}

// A wrapped stamp is one call at its point in the tile plus its copies shifted by 1024 toward the
// nearer edge along each wrapped axis (the corner copy last); four walks of Steps + 1024 steps each.
TEST(SynthesisWrap, EachStampIsDrawnOnceWithItsEdgeCopiesOverFourWalks) {
    const struct { int tiling, copies; } cases[] = {{tmWrap, 4}, {tmWrapX, 2}, {tmWrapY, 2}};
    for (const auto& c : cases) {
        TGenSettings s = WalkOnly();
        s.tiling = c.tiling;
        const TRun run = Synthesize(s, 0xC0FFEEu);
        const int steps = 4 * (s.steps + 1024);
        EXPECT_EQ(run.hooks.maximum, steps);
        EXPECT_EQ(run.hooks.pumps, steps);
        const std::vector<TCall> stamps = run.painter.Brush();
        ASSERT_EQ(stamps.size(), static_cast<std::size_t>(steps * c.copies)) << "tiling " << c.tiling;
        const bool wrapX = TilesAcrossX(c.tiling), wrapY = TilesAcrossY(c.tiling);
        int outsideY = 0;
        for (std::size_t i = 0; i < stamps.size(); i += static_cast<std::size_t>(c.copies)) {
            const TCall& at = stamps[i];
            if (wrapX) {
                ASSERT_TRUE(at.x >= 0 && at.x < 1024) << at.x;
            }
            if (wrapY) {
                ASSERT_TRUE(at.y >= 0 && at.y < 1024) << at.y;
            }
            outsideY += at.y < 0 || at.y > 1024;
            const double sx = at.x < 512 ? 1024 : -1024, sy = at.y < 512 ? 1024 : -1024;
            std::vector<std::pair<double, double>> expected;
            if (wrapX) expected.push_back({at.x + sx, at.y});
            if (wrapY) expected.push_back({at.x, at.y + sy});
            if (wrapX && wrapY) expected.push_back({at.x + sx, at.y + sy});
            for (std::size_t k = 0; k < expected.size(); ++k) {
                const TCall& copy = stamps[i + 1 + k];
                EXPECT_EQ(copy.x, expected[k].first);
                EXPECT_EQ(copy.y, expected[k].second);
                EXPECT_EQ(copy.color, at.color);
                EXPECT_EQ(copy.scale, at.scale);
            }
        }
        // Across an axis it does not wrap the walk still leaves the tile and turns back.
        if (!wrapY) {
            EXPECT_GT(outsideY, 0);
        }
    }
}

// With the brush's size known, a wrapped stamp gets its copies only across the edges it reaches:
// half its side times its scale, plus a pixel for the rounded corners.
TEST(SynthesisWrap, AStampOfAKnownSizeIsCopiedOnlyAcrossTheEdgesItReaches) {
    struct TSized : TRecorder {
        double ImageHalfSide(std::int32_t) const override { return 32.0; }
    };
    TGenSettings s = WalkOnly();
    s.tiling = tmWrap;
    s.brushType = 1; // Soft: the scale sweeps
    random::SetSeed(0xBEEF);
    TSized painter;
    THookLog hooks;
    SynthesizeTile(s, 0xFF000000u, false, hooks, painter);
    const std::vector<TCall> stamps = painter.Brush();
    int copied = 0;
    for (std::size_t i = 0; i < stamps.size();) {
        const TCall& at = stamps[i];
        const double half = 32.0 * at.scale + 1.0;
        const auto shifts = [half](double c) {
            std::vector<double> out{0.0};
            if (c - half < 0) out.push_back(1024);
            if (c + half > 1024) out.push_back(-1024);
            return out;
        };
        const std::vector<double> sx = shifts(at.x), sy = shifts(at.y);
        for (const double dy : sy)
            for (const double dx : sx) {
                ASSERT_LT(i, stamps.size());
                EXPECT_EQ(stamps[i].x, at.x + dx);
                EXPECT_EQ(stamps[i].y, at.y + dy);
                ++i;
            }
        copied += sx.size() * sy.size() > 1;
    }
    EXPECT_GT(copied, 0);
    EXPECT_LT(copied, int(stamps.size()) / 2);
}

// A palette changes the colours only: the same draws, the same stamps at the same places. At the
// sliders' defaults every stroke and shape colour lies on the palette's gradient (within a step
// of the rounding), and the Glow and Stroke copies take its lightest and darkest colour.
TEST(SynthesisPalette, ColoursComeFromTheGradientAndNothingElseChanges) {
    const TPalette palette{{0x203040u, 0xC08040u, 0x60A020u}};
    std::vector<std::uint32_t> gradient; // canvas colours along the gradient, finely sampled
    for (int i = 0; i < (1 << 14); ++i) {
        const std::uint32_t rgb = ColorAt(palette, i / double(1 << 14));
        gradient.push_back(CanvasColorOfRgb(rgb) & 0xFFFFFFu);
    }
    const auto onGradient = [&](TCanvasColor color) {
        for (const std::uint32_t g : gradient) {
            int most = 0;
            for (const int shift : {0, 8, 16})
                most = std::max(most, std::abs(int(color >> shift & 0xFFu) - int(g >> shift & 0xFFu)));
            if (most <= 1) return true;
        }
        return false;
    };
    const struct {
        int effect, bgForm;
        TCanvasColor copy; // the copies' colour with its alpha
    } cases[] = {{8, 2, 0x7F000000u | (CanvasColorOfRgb(0xC08040u) & 0xFFFFFFu)},
                 {9, 1, 0x7F000000u | (CanvasColorOfRgb(0x203040u) & 0xFFFFFFu)}};
    for (const auto& c : cases) {
        TGenSettings walk;
        walk.effect = c.effect;
        walk.bgForm = c.bgForm;
        walk.steps = 0;
        TGenSettings painted = walk;
        painted.palette = palette;
        const TRun a = Synthesize(walk, 77), b = Synthesize(painted, 77);
        EXPECT_EQ(a.seedAfter, b.seedAfter);
        ASSERT_EQ(a.painter.calls.size(), b.painter.calls.size());
        int strokes = 0, shapes = 0, copies = 0;
        for (std::size_t i = 0; i < b.painter.calls.size(); ++i) {
            const TCall &x = a.painter.calls[i], &y = b.painter.calls[i];
            ASSERT_EQ(x.kind, y.kind);
            EXPECT_EQ(x.x, y.x);
            EXPECT_EQ(x.y, y.y);
            EXPECT_EQ(x.scale, y.scale);
            const TCanvasColor alpha = y.color & 0xFF000000u;
            if (alpha == 0xC0000000u || alpha == 0x80000000u) {
                EXPECT_TRUE(onGradient(y.color & 0xFFFFFFu)) << std::hex << y.color;
                (alpha == 0xC0000000u ? strokes : shapes) += 1;
            } else if (alpha == 0x7F000000u) {
                EXPECT_EQ(y.color, c.copy);
                ++copies;
            }
        }
        EXPECT_EQ(strokes, 4 * 1024); // mirrored: four stamps a step
        EXPECT_EQ(copies, 4 * 1024);
        EXPECT_GT(shapes, 0);
    }
}

TEST(SynthesisTrace, LinesHaveTheTraceFormat) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    TRecorder next;
    TTracePainter trace(file, &next);
    WriteTraceHeader(file);
    WriteTraceSeed(file, "seed-before", 0x0000ABCDu);
    trace.FillGradientRect({0, 512, 1024, 1024}, {0xFF0000FFu, 1u, 0x80808080u, 0u}, beOpaque);
    trace.FillSolidRect(16, 16, -8, 992, 0x80FF0000u, beAlphaBlend);
    trace.DrawRotatedScaled(5, 0xC0123456u, 1000.25, 3, 0, 1.4, 0, beBlendMultiplyAdd);
    WriteTraceSeed(file, "seed-after", 0xFEDCBA98u);
    std::rewind(file);
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, file)) text += buffer;
    std::fclose(file);
    EXPECT_EQ(text, "# pallimor-trace 1\n"
                    "# seed-before 0000ABCD\n"
                    "FillGradientRect 0 512 1024 1024 FF0000FF 00000001 80808080 00000000 00000001\n"
                    "FillSolidRect 16 16 -8 992 80FF0000 00000504\n"
                    "DrawRotatedScaled 5 C0123456 1000.25 3 0 1.3999999999999999 0 7FFFFFF6\n"
                    "# seed-after FEDCBA98\n");
    EXPECT_EQ(next.calls.size(), 3u); // and every call is handed on
}
