// Live in the main window: a change re-makes the current texture from its seed with the new value,
// byte for byte as a fresh generator makes that recipe (a Keep chain over its tile below), a
// change during a synthesis stops it and the newest value follows, and a drag is one history
// entry.
#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QProgressBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "app/HistoryQt.h"
#include "app/LiveQt.h"
#include "app/MenuBarQt.h"
#include "app/PaletteMenuQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/TilingMenuQt.h"
#include "app/WindowCommandsQt.h"
#include "engine/VornTextures.h"
#include "export/TileExport.h"
#include "gen/PreviewCompose.h"
#include "gen/Recipe.h"
#include "shown_window.h"

namespace vorn {
namespace {

const std::string Archive = std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat";

class Live : public test::ShownWindow {
protected:
    TLiveRedraw& L() { return W().Live->Live(); }
    void WaitIdle() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !W().Live->Running() && !L().ChangePending(); }, 60000));
    }
    // The output at 256 of recipe, drawn by a generator of its own.
    static TBitmap32 Expected(const TRecipe& recipe) {
        TGenSettings none;
        TGenerator fresh(none);
        fresh.ComponentsInit();
        EXPECT_EQ(fresh.Startup(nullptr, Archive).failure, TStartupFailure::None);
        EXPECT_TRUE(RegenerateRecipe(fresh, recipe));
        TBitmap32 bitmap;
        EXPECT_TRUE(CopyToBitmap(*fresh.Textures, TGenerator::GetIndex(recipe.size), recipe.size, bitmap));
        return bitmap;
    }
    void ExpectOutput(const TRecipe& recipe, const std::string& what) {
        const TBitmap32 expected = Expected(recipe);
        TBitmap32 actual;
        const int size = recipe.size;
        ASSERT_TRUE(CopyToBitmap(*W().Generator().Textures, TGenerator::GetIndex(size), size, actual));
        EXPECT_EQ(std::memcmp(actual.Bits(), expected.Bits(), std::size_t(actual.Pitch()) * size), 0) << what;
    }
};

// At 2048 too: the texture is drawn at its size, not magnified from the tile put back.
TEST_F(Live, AChangeRemakesTheTextureFromItsSeedOverItsTileBelow) {
    for (const auto& [size, keep] : {std::pair{256, false}, {256, true}, {2048, true}}) {
        const std::string what = std::string(keep ? "keep chain at " : "clear at ") + std::to_string(size);
        W().Live->ActionLive->setChecked(false);
        while (W().Generator().TextureSize < size) W().UpDownSize->Press(btNext);
        W().List(gpImage)->setCurrentIndex(0);
        W().Track(gpLightness)->setValue(50);
        random::SetSeed(0x2A);
        W().ButtonGenerateClick();
        TRecipe recipe;
        recipe.size = size;
        recipe.links.push_back({0x2A, W().Controls()});
        if (keep) { // two links over the first: the tile below the last is drawn from two
            W().List(gpImage)->setCurrentIndex(1);
            for (const std::uint32_t seed : {0x3Bu, 0x4Cu}) {
                random::SetSeed(seed);
                W().ButtonGenerateClick();
                recipe.links.push_back({seed, W().Controls()});
                W().Track(gpSaturation)->setValue(70);
            }
            W().Track(gpSaturation)->setValue(50);
        }
        W().Live->ActionLive->setChecked(true);
        const std::uint64_t finished = L().Finished();
        W().Track(gpLightness)->setValue(90);
        WaitIdle();
        // A large output follows once the change has settled.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !W().Generator().LargePending(); }, 60000)) << what;
        EXPECT_EQ(L().Finished(), finished + 1) << what;
        recipe.links.back().settings.lightness = 90;
        recipe.links.back().settings.saturation = W().Track(gpSaturation)->value();
        ExpectOutput(recipe, what);
        EXPECT_EQ(W().Generator().TextureSeed(), recipe.links.back().seed) << what;
    }
}

// The Tiling and the Palette, chosen in the Texture menu, are controls Live follows; the texture is
// the recipe's, the palette carried in its code.
TEST_F(Live, TheMenusTilingAndPaletteRemakeTheTextureAsItsRecipeDoes) {
    W().Live->ActionLive->setChecked(false);
    random::SetSeed(0x2A);
    W().ButtonGenerateClick();
    TRecipe recipe;
    recipe.size = W().Generator().TextureSize;
    recipe.links.push_back({0x2A, W().Controls()});
    W().Live->ActionLive->setChecked(true);
    W().MenuBar->Tiling->ActionTiling[tmWrapX]->trigger();
    WaitIdle();
    W().MenuBar->Palette->ActionNext->trigger();
    WaitIdle();
    ASSERT_FALSE(W().Palette().colors.empty());
    recipe.links.back().settings.tiling = tmWrapX;
    recipe.links.back().settings.palette = W().Palette();
    ExpectOutput(recipe, "wrap x with the first shipped palette");
    const std::string code = EncodeRecipe(W().History->History().TileRecipe());
    EXPECT_EQ(code, EncodeRecipe(recipe));
    EXPECT_NE(code.find(".palette=" + PaletteRecipeText(W().Palette())), std::string::npos) << code;
}

TEST_F(Live, AChangeDuringASynthesisStopsItAndTheNewestValueFollows) {
    W().Live->ActionLive->setChecked(true);
    L().SetFinishBudget(0); // every change stops the texture in flight
    random::SetSeed(7);
    W().ButtonGenerateClick();
    bool changed = false;
    QObject::connect(W().ProgressBar, &QProgressBar::valueChanged, &W(), [&](int value) {
        if (value > 1 && !changed && W().Live->Running()) {
            changed = true;
            W().Track(gpSaturation)->setValue(10);
        }
    });
    const std::uint64_t stopped = L().Stopped();
    const std::uint64_t finished = L().Finished();
    W().Track(gpSaturation)->setValue(95);
    WaitIdle();
    EXPECT_TRUE(changed);
    EXPECT_EQ(L().Stopped(), stopped + 1);
    EXPECT_EQ(L().Finished(), finished + 1);
    EXPECT_TRUE(W().PanelControls->isEnabled());
    TRecipe recipe;
    recipe.links.push_back({7, W().Controls()});
    EXPECT_EQ(recipe.links[0].settings.saturation, 10);
    ExpectOutput(recipe, "after the stop");
}

TEST_F(Live, ADragIsOneHistoryEntry) {
    W().Live->ActionLive->setChecked(true);
    W().ButtonGenerateClick();
    const std::size_t count = W().History->History().Count();
    for (int value = 20; value <= 80; value += 5) {
        W().Track(gpAngleSpeed)->setValue(value);
        QTest::qWait(20);
    }
    WaitIdle();
    EXPECT_EQ(W().History->History().Count(), count) << "recorded before the changes settled";
    ASSERT_TRUE(QTest::qWaitFor([&] { return W().History->History().Count() == count + 1; }, 5000));
    QTest::qWait(int(TLiveRedraw::SettleMs) + 200);
    EXPECT_EQ(W().History->History().Count(), count + 1);
    EXPECT_EQ(W().History->History().Current()->controls.angleSpeed, 80);
    // Back shows the texture before the drag.
    EXPECT_TRUE(W().History->Back());
    EXPECT_EQ(W().Track(gpAngleSpeed)->value(), 50);
}


// At 4096 a drag is followed at the tile's pace: every frame the surface is given is the preview
// of a whole texture of one of the values passed (never a bare background or a walk cut short),
// and the large output is drawn once, after the slider rests, as Generate draws it.
TEST_F(Live, AtALargeSizeADragShowsOnlyWholeTexturesAndDrawsTheOutputOnceAtRest) {
    W().Live->ActionLive->setChecked(false);
    while (W().Generator().TextureSize < 4096) W().UpDownSize->Press(btNext);
    random::SetSeed(0x2A);
    W().ButtonGenerateClick();
    TRecipe recipe;
    recipe.size = 4096;
    recipe.links.push_back({0x2A, W().Controls()});
    W().Live->ActionLive->setChecked(true);
    std::vector<QImage> frames;
    W().PanelSurface->OnPresent = [&](const QImage& frame) { frames.push_back(frame.copy()); };
    const std::uint64_t made = L().LargeMade();
    constexpr int First = 50, Last = 60;
    int value = First;
    QTimer drag; // fires inside the synthesis' message pump, as the mouse would
    drag.setInterval(20);
    QObject::connect(&drag, &QTimer::timeout, &W(), [&] {
        if (value == Last) return drag.stop();
        W().Track(gpLightness)->setValue(++value);
        EXPECT_EQ(L().LargeMade(), made) << "drawn at " << value;
    });
    drag.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !drag.isActive(); }, 20000));
    WaitIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return L().LargeMade() > made; }, 20000));
    QTest::qWait(int(TLiveRedraw::SettleMs) + 100);
    W().PanelSurface->OnPresent = {};
    EXPECT_EQ(L().LargeMade(), made + 1);
    EXPECT_FALSE(W().Generator().LargePending());
    recipe.links[0].settings.lightness = Last;
    ExpectOutput(recipe, "after the drag");

    // The previews of the whole textures, from their tiles.
    TGenSettings none;
    TGenerator fresh(none);
    fresh.ComponentsInit();
    ASSERT_EQ(fresh.Startup(nullptr, Archive).failure, TStartupFailure::None);
    std::vector<std::vector<std::uint32_t>> previews;
    for (int v = First; v <= Last; ++v) {
        TRecipe small = recipe;
        small.size = 256;
        small.links[0].settings.lightness = v;
        ASSERT_TRUE(RegenerateRecipe(fresh, small));
        std::vector<std::uint32_t>& frame = previews.emplace_back();
        ASSERT_TRUE(ComposePreview(*fresh.Textures->GetTarget(1), nullptr, 1, frame));
        for (std::uint32_t& texel : frame) texel |= 0xFF000000u; // as the surface keeps them
    }
    ASSERT_FALSE(frames.empty());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const QImage& frame = frames[i];
        const bool whole = std::any_of(previews.begin(), previews.end(), [&](const auto& preview) {
            return frame.sizeInBytes() == qsizetype(preview.size() * 4) &&
                   std::memcmp(frame.constBits(), preview.data(), preview.size() * 4) == 0;
        });
        EXPECT_TRUE(whole) << "frame " << i << " of " << frames.size() << " is no whole texture";
    }
    // The last one shown is the last value's.
    EXPECT_EQ(std::memcmp(frames.back().constBits(), previews.back().data(), previews.back().size() * 4), 0);
}

// Copy right after a change, before the rest: the output is drawn first and is the texture's at
// its size, not the one before it (Export reads it through the same call).
TEST_F(Live, CopyBeforeTheRestDrawsTheLargeOutputFirst) {
    W().Live->ActionLive->setChecked(false);
    while (W().Generator().TextureSize < 2048) W().UpDownSize->Press(btNext);
    random::SetSeed(0x2A);
    W().ButtonGenerateClick();
    TRecipe recipe;
    recipe.size = 2048;
    recipe.links.push_back({0x2A, W().Controls()});
    W().Live->ActionLive->setChecked(true);
    const std::uint64_t made = L().LargeMade();
    W().Track(gpSaturation)->setValue(80);
    WaitIdle();
    ASSERT_TRUE(W().Commands->CopyImage());
    EXPECT_FALSE(W().Generator().LargePending());
    recipe.links[0].settings.saturation = 80;
    ExpectOutput(recipe, "copied");
    QTest::qWait(int(TLiveRedraw::SettleMs) + 100);
    EXPECT_EQ(L().LargeMade(), made + 1) << "drawn again at rest";
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
