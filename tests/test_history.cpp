// The window's texture history on a headless generator: a step shows each texture with the
// output bytes it had when made (Keep chains too, whether redrawn from seeds, from a kept chain
// start or taken from a kept tile), leaves the random source alone, and fits its memory limit.
// Textures above 1024 are the same whichever way they are reached.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "export/TileExport.h"
#include "gen/Generator.h"
#include "gen/History.h"

namespace vorn {
namespace {

struct Session {
    explicit Session(std::size_t keptTiles) : history(TTextureHistory::DefaultEntries, keptTiles) {
        gen.ComponentsInit();
        EXPECT_EQ(gen.Startup(nullptr, std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat").failure,
                  TStartupFailure::None);
        gen.OnTextureMade = [this](std::uint32_t seed, bool cleared) {
            history.TextureMade(gen.TextureSettings(), seed, gen.TextureSize, gen.BackgroundColor, cleared);
        };
        settings.steps = 0;
    }
    TBitmap32 Output() {
        TBitmap32 bitmap;
        EXPECT_TRUE(
            CopyToBitmap(*gen.Textures, TGenerator::GetIndex(gen.TextureSize), gen.TextureSize, bitmap));
        return bitmap;
    }
    void Add() {
        TGenSettings controls = settings;
        controls.size = gen.TextureSize;
        controls.bgColor = static_cast<int>(RgbOfCanvasColor(gen.BackgroundColor));
        history.Add(gen, controls);
        made.push_back(Output());
    }

    TGenSettings settings;
    TGenerator gen{settings};
    TTextureHistory history;
    std::vector<TBitmap32> made;
};

bool SameBytes(const TBitmap32& a, const TBitmap32& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           std::memcmp(a.Bits(), b.Bits(), std::size_t(a.Pitch()) * a.Height()) == 0;
}

class HistorySteps : public ::testing::TestWithParam<std::size_t> {};

// 0 kept tiles: every step redraws from seeds; 1: a Keep texture is drawn over its kept chain
// start; 8: every step takes a kept tile.
TEST_P(HistorySteps, ShowEachTextureAsMadeAndLeaveTheRandomSourceAlone) {
    Session s(GetParam());
    random::SetSeed(11);
    s.gen.FirstRender(); // A: Clear, 256
    s.Add();
    s.settings.image = 1; // B, C: Keep, drawn over A, at other sizes and effects
    s.settings.effect = 7;
    s.gen.TextureSize = 128;
    s.gen.BackgroundColor = CanvasColorOfRgb(0x00FF00); // read by no Keep generation
    s.gen.Generate();
    s.Add();
    s.settings.effect = 1;
    s.gen.TextureSize = 512;
    s.gen.Generate();
    s.Add();
    s.settings.image = 0; // D: Clear in the new colour
    s.gen.Generate();
    s.Add();
    const std::uint32_t seed = random::Seed();

    const struct {
        int step;
        std::size_t shows;
        int size;
    } walk[] = {{-1, 2, 512}, {-1, 1, 128}, {-1, 0, 256}, {-1, 0, 256},
                {1, 1, 128},  {1, 2, 512},  {-1, 1, 128}};
    for (std::size_t i = 0; i < std::size(walk); ++i) {
        const bool moved = s.history.Step(s.gen, walk[i].step);
        EXPECT_EQ(moved, i != 3) << "step " << i;
        EXPECT_EQ(s.history.Position(), walk[i].shows) << "step " << i;
        EXPECT_EQ(s.gen.TextureSize, walk[i].size) << "step " << i;
        EXPECT_TRUE(SameBytes(s.Output(), s.made[walk[i].shows])) << "step " << i;
        EXPECT_EQ(random::Seed(), seed) << "step " << i;
    }

    // A new texture at B continues the random sequence and replaces C and D.
    s.settings.image = 0;
    s.gen.Generate();
    s.Add();
    EXPECT_EQ(s.gen.TextureSeed(), seed);
    EXPECT_EQ(s.history.Count(), 3u);
    EXPECT_EQ(s.history.At(1), nullptr);
    ASSERT_TRUE(s.history.Step(s.gen, -1));
    EXPECT_TRUE(SameBytes(s.Output(), s.made[1]));
}

INSTANTIATE_TEST_SUITE_P(KeptTiles, HistorySteps, ::testing::Values(0u, 1u, 8u));

// A step the generator cannot draw (it refuses while busy, as while starting up) changes nothing:
// not the entry, not the size or colour shown, and the entry is still there to step to later.
TEST(History, AStepThatCannotDrawChangesNothing) {
    for (std::size_t keptTiles : {0u, 8u}) {
        Session s(keptTiles);
        random::SetSeed(5);
        s.gen.FirstRender();
        s.Add();
        s.gen.TextureSize = 512;
        s.gen.BackgroundColor = CanvasColorOfRgb(0x0000FF);
        s.gen.Generate();
        s.Add();
        s.gen.StartupIncomplete = true;
        EXPECT_FALSE(s.history.Step(s.gen, -1)) << keptTiles;
        EXPECT_EQ(s.history.Position(), 1u) << keptTiles;
        EXPECT_EQ(s.history.Count(), 2u) << keptTiles;
        EXPECT_EQ(s.gen.TextureSize, 512) << keptTiles;
        EXPECT_EQ(s.gen.BackgroundColor, CanvasColorOfRgb(0x0000FF)) << keptTiles;
        s.gen.StartupIncomplete = false;
        EXPECT_TRUE(SameBytes(s.Output(), s.made[1])) << keptTiles;
        ASSERT_TRUE(s.history.Step(s.gen, -1)) << keptTiles;
        EXPECT_EQ(s.gen.TextureSize, 256) << keptTiles;
        EXPECT_TRUE(SameBytes(s.Output(), s.made[0])) << keptTiles;
    }
}

// Mean absolute difference per channel between large box-filtered down to small's side and small.
double MeanDifferenceAfterBoxFilter(const TBitmap32& large, const TBitmap32& small) {
    const int k = large.Width() / small.Width();
    double sum = 0.0;
    for (int y = 0; y < small.Height(); ++y) {
        for (int x = 0; x < small.Width() * 4; ++x) {
            int box = 0;
            for (int j = 0; j < k; ++j)
                for (int i = 0; i < k; ++i) box += large.Row(y * k + j)[(x / 4 * k + i) * 4 + x % 4];
            sum += std::abs(double(box) / (k * k) - small.Row(y)[x]);
        }
    }
    return sum / (double(small.Width()) * small.Height() * 4);
}

// A 2048 texture is one walk drawn at its size: made at 2048, raised from 1024 after it was made
// (from the calls kept), stepped back to in the history (drawn again from its recipe, not from the
// 1024 tile kept), or raised after its tile was put back (magnified until its recipe draws it).
// Filtered down, it stays within 4 levels of the 1024 texture. Hard brushes, Keep chain.
TEST(LargeSizes, A2048TextureIsTheSameWhicheverWayItIsReached) {
    Session s(TTextureHistory::DefaultTiles);
    s.gen.RecordCalls = true; // as the window does
    s.settings.brushType = 0;
    s.settings.brushSize = 1;
    const auto chain = [&](int size) {
        random::SetSeed(11);
        s.gen.TextureSize = size;
        s.settings.image = 0;
        s.gen.FirstRender();
        s.Add();
        s.settings.image = 1;
        s.gen.Generate();
        s.Add();
    };
    chain(2048);
    const TBitmap32 direct = s.made[1];
    chain(1024);
    const TBitmap32 small = s.made[3];
    s.gen.SizeUp();
    EXPECT_TRUE(s.gen.LargeExact());
    EXPECT_TRUE(SameBytes(s.Output(), direct)) << "raised from 1024";
    EXPECT_LE(MeanDifferenceAfterBoxFilter(direct, small), 4.0);

    const std::uint32_t seed = random::Seed();
    ASSERT_TRUE(s.history.Step(s.gen, -2)); // the Keep link at 2048, its tile kept at 1024
    EXPECT_EQ(s.gen.TextureSize, 2048);
    EXPECT_TRUE(SameBytes(s.Output(), direct)) << "stepped back to";

    std::vector<std::uint32_t> tile;
    s.gen.SizeDown();
    ASSERT_TRUE(s.gen.ReadTile(tile));
    ASSERT_TRUE(s.gen.ShowTile(tile, s.gen.TextureSeed(), s.gen.TileAxes()));
    s.gen.SizeUp();
    EXPECT_FALSE(s.gen.LargeExact());
    EXPECT_FALSE(SameBytes(s.Output(), direct)) << "a magnified tile is not the texture";
    EXPECT_TRUE(s.history.RedrawLarge(s.gen));
    EXPECT_TRUE(s.gen.LargeExact());
    EXPECT_TRUE(SameBytes(s.Output(), direct)) << "drawn again from its recipe";
    EXPECT_EQ(random::Seed(), seed);
}

TEST(History, FiftyEntriesStayWithinTheMemoryLimit) {
    Session s(TTextureHistory::DefaultTiles);
    s.settings.image = 1; // long Keep chains: the largest recipes
    for (int i = 0; i < 60; ++i) {
        s.gen.Generate();
        s.history.Add(s.gen, s.settings);
    }
    EXPECT_EQ(s.history.Count(), TTextureHistory::DefaultEntries);
    EXPECT_EQ(s.history.KeptTiles(), TTextureHistory::DefaultTiles);
    EXPECT_LE(s.history.MemoryBytes(), std::size_t(64) << 20);
    std::printf("history memory at %zu entries: %zu bytes\n", s.history.Count(), s.history.MemoryBytes());
}

} // namespace
} // namespace vorn
