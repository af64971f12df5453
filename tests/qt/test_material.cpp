// The Material menu and the layer list as a user meets them: a preset draws what the core draws
// from the same settings and seed (what generate --preset NAME --seed S writes), every edit in the
// layer list reaches the controls' stack, the recipe code and Live, the list follows the history
// and pasted recipes, and the Material View lights a texture of layers with its own relief.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/LayerListQt.h"
#include "app/LiveQt.h"
#include "app/MaterialMenuQt.h"
#include "app/MaterialViewQt.h"
#include "app/MenuBarQt.h"
#include "app/WindowCommandsQt.h"
#include "export/MaterialLight.h"
#include "gen/OutputTexture.h"
#include "gen/Producer.h"
#include "gen/Recipe.h"
#include "gen/Shortcuts.h"
#include "shown_window.h"

namespace vorn {
namespace {

const std::string Archive = std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat";

class Material : public test::ShownWindow {
protected:
    TMaterialMenuQt& M() { return *W().MenuBar->Material; }
    TLayerListQt& L() { return *M().LayerList; }
    std::size_t PresetIndex(const std::string& name) {
        for (std::size_t i = 0; i < M().Presets().size(); ++i)
            if (M().Presets()[i].name == name) return i;
        ADD_FAILURE() << "no preset " << name;
        return 0;
    }
    static bool SameBytes(const TBitmap32& a, const TBitmap32& b) {
        return a.Width() == b.Width() && a.Height() == b.Height() &&
               std::memcmp(a.Bits(), b.Bits(), a.Pitch() * std::size_t(a.Height())) == 0;
    }
};

// Choosing a preset sets the controls from it and draws, byte for byte, the texture a generator of
// its own draws from the defaults, the preset's fields and the palette they name, at the window's
// size from the same seed.
TEST_F(Material, APresetDrawsWhatTheCoreDrawsFromItsFields) {
    ASSERT_EQ(M().Presets().size(), M().ActionPresets.size());
    ASSERT_GE(M().Presets().size(), 20u);
    // Opening the menu starts the thumbnails, drawn by the tool while the window goes on.
    M().SetCliPath(QStringLiteral(PALLIMOR_BUILD_DIR "/pallimor-cli"));
    EXPECT_TRUE(M().ActionPresets[0]->icon().isNull());
    emit M().MenuMaterial->aboutToShow();
    EXPECT_TRUE(M().DrawingThumbnails());
    const std::string exeDir = QCoreApplication::applicationDirPath().toStdString();
    TGenSettings none;
    TGenerator fresh(none);
    fresh.ComponentsInit();
    ASSERT_EQ(fresh.Startup(nullptr, Archive).failure, TStartupFailure::None);

    struct TCase {
        const char* preset;
        std::uint32_t seed;
    };
    // A named palette and a tile layer over patterns; typed colours and patterns alone, over a
    // preset that set the brush (which goes back to its defaults); a third over those.
    for (const TCase& c : {TCase{"moss", 0x2Au}, {"brick-wall", 0x3Bu}, {"marble", 0x4Cu}}) {
        const TPreset& preset = M().Presets()[PresetIndex(c.preset)];
        TGenSettings settings;
        settings.size = W().Generator().TextureSize;
        std::string palette;
        ASSERT_EQ(ApplyPresetFields(preset, settings, palette), "") << c.preset;
        const TPaletteResult resolved = ResolvePalette(palette, 0, exeDir);
        ASSERT_TRUE(resolved.ok()) << c.preset << ": " << resolved.error;
        settings.palette = resolved.palette;
        ASSERT_FALSE(settings.layers.Empty()) << c.preset;

        random::SetSeed(c.seed);
        M().ActionPresets[PresetIndex(c.preset)]->trigger();
        EXPECT_EQ(W().Generator().TextureSeed(), c.seed) << c.preset;
        EXPECT_TRUE(SameSettings(W().Controls(), settings)) << c.preset;
        EXPECT_TRUE(W().Generator().OutputComposed()) << c.preset;
        EXPECT_EQ(L().List->count(), int(settings.layers.layers.size())) << c.preset;

        TDrawRequest request;
        request.settings = settings;
        request.seed = c.seed;
        ASSERT_TRUE(DrawTexture(fresh, request).ok()) << c.preset;
        TBitmap32 expected, actual;
        ASSERT_TRUE(ReadOutputTexture(fresh, expected));
        ASSERT_TRUE(ReadOutputTexture(W().Generator(), actual));
        EXPECT_TRUE(SameBytes(actual, expected)) << c.preset;
        // The recipe brings the layers and the palette back.
        const TRecipeDecoding decoded = DecodeRecipe(W().History->RecipeText().toStdString());
        ASSERT_TRUE(decoded.ok()) << c.preset;
        EXPECT_EQ(decoded.recipe.links.back().settings.layers, settings.layers) << c.preset;
        EXPECT_EQ(decoded.recipe.links.back().settings.palette, settings.palette) << c.preset;
    }
    EXPECT_TRUE(m_recorder->messages.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return M().ThumbnailsDone(); }, 120000));
    for (const QAction* action : M().ActionPresets)
        EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
}

// Each edit in the layer list, in the order a user makes them, and the stack's text form after it.
TEST_F(Material, LayerListEditsReachTheStackTheRecipeAndLive) {
    // The menu's own keys: none is taken by another command of the window.
    for (const char* command : {"Layers", "Clear Layers"}) {
        const QList<QKeySequence> keys = ShortcutKeys(command);
        ASSERT_FALSE(keys.isEmpty()) << command;
        for (const TShortcut& row : Shortcuts) {
            if (*row.window || std::string(row.command) == command) continue;
            for (const QKeySequence& other : QKeySequence::listFromString(QString::fromLatin1(row.keys))) {
                EXPECT_FALSE(keys.contains(other)) << command << " and " << row.command;
            }
        }
    }
    EXPECT_EQ(M().ActionLayers->shortcuts(), ShortcutKeys("Layers"));
    M().ActionLayers->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&L()));

    const auto box = [this](const char* name) {
        QSpinBox* found = L().ValueBox(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    };
    struct TStep {
        const char* what;
        std::function<void()> act;
        const char* text; // LayerStackText afterwards
    };
    const auto kind = [this](TPatternKind k) { return L().ActionAddKind[std::size_t(k)]; };
    const TStep steps[] = {
        {"add cells", [&] { kind(TPatternKind::Cells)->trigger(); }, "cells"},
        {"cells to 12", [&] { box("cells")->setValue(12); }, "cells:cells=12"},
        {"blend multiply", [&] { emit L().BlendBox->activated(int(TLayerBlend::Multiply)); },
         "cells:cells=12:blend=multiply"},
        {"the tile above", [&] { L().ActionAddTile->trigger(); }, "cells:cells=12:blend=multiply,tile"},
        {"its opacity by the slider",
         [&] { box("opacity")->parentWidget()->findChild<QSlider*>()->setValue(60); },
         "cells:cells=12:blend=multiply,tile:opacity=60"},
        {"the tile down", [&] { L().ButtonDown->click(); }, "tile:opacity=60,cells:cells=12:blend=multiply"},
        {"noise above the tile", [&] { kind(TPatternKind::Noise)->trigger(); },
         "tile:opacity=60,noise,cells:cells=12:blend=multiply"},
        {"the top one selected in the list", [&] { L().List->setCurrentRow(0); },
         "tile:opacity=60,noise,cells:cells=12:blend=multiply"},
        {"its variant", [&] { box("variant")->setValue(3); },
         "tile:opacity=60,noise,cells:cells=12:blend=multiply:variant=3"},
        {"removed", [&] { L().ButtonRemove->click(); }, "tile:opacity=60,noise"},
    };
    for (const TStep& step : steps) {
        step.act();
        EXPECT_EQ(LayerStackText(W().Layers()), step.text) << step.what;
        EXPECT_EQ(L().List->count(), int(W().Layers().layers.size())) << step.what;
        EXPECT_EQ(L().ActionAddTile->isEnabled(),
                  LayerStackText(W().Layers()).find("tile") == std::string::npos)
            << step.what;
        // Generate draws the stack and its recipe code carries it.
        W().ButtonGenerateClick();
        EXPECT_EQ(W().Generator().TextureSettings().layers, W().Layers()) << step.what;
        const TRecipeDecoding decoded = DecodeRecipe(W().History->RecipeText().toStdString());
        ASSERT_TRUE(decoded.ok()) << step.what;
        EXPECT_EQ(LayerStackText(decoded.recipe.links.back().settings.layers), step.text) << step.what;
    }

    // Back through the history: the list shows the texture's stack.
    ASSERT_TRUE(W().History->Back());
    EXPECT_EQ(LayerStackText(W().Layers()), "tile:opacity=60,noise,cells:cells=12:blend=multiply:variant=3");
    EXPECT_EQ(L().List->count(), 3);
    L().Select(2);
    EXPECT_EQ(L().List->currentRow(), 0);
    EXPECT_EQ(L().ValueBox("cells")->value(), 12);
    EXPECT_EQ(L().ValueBox("variant")->value(), 3);
    EXPECT_EQ(L().BlendBox->currentIndex(), int(TLayerBlend::Multiply));
    // A pasted recipe: the list shows its stack.
    TRecipe recipe = DecodeRecipe(W().History->RecipeText().toStdString()).recipe;
    recipe.links.back().settings.layers = ParseLayerStack("bricks:rows=5,tile").stack;
    QGuiApplication::clipboard()->setText(QString::fromStdString(EncodeRecipe(recipe)));
    W().History->ActionPasteRecipe->trigger();
    EXPECT_EQ(LayerStackText(W().Layers()), "bricks:rows=5,tile");
    ASSERT_EQ(L().List->count(), 2);
    EXPECT_TRUE(L().List->item(0)->text().contains("Tile"));

    // With Live an edit redraws at once, with the new stack.
    W().Live->ActionLive->setChecked(true);
    const std::uint64_t serial = W().Generator().OutputSerial();
    L().Select(0);
    box("rows")->setValue(10);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return W().Generator().OutputSerial() != serial && W().Ready(); }, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !W().Live->Running(); }, 60000));
    EXPECT_EQ(LayerStackText(W().Generator().TextureSettings().layers), "bricks:rows=10,tile");
    W().Live->ActionLive->setChecked(false);

    // Clear Layers: the tile alone, as drawn without layers; the list is empty.
    M().ActionClearLayers->trigger();
    EXPECT_TRUE(W().Layers().Empty());
    EXPECT_EQ(L().List->count(), 0);
    EXPECT_FALSE(M().ActionClearLayers->isEnabled());
    EXPECT_TRUE(m_recorder->messages.empty());
}

// The Material View of a texture of layers shades the maps of its relief, reduced as the view
// reduces the texture: the frame is the one shaded from PrepareMaterialSurface, not from the
// lightness.
TEST_F(Material, TheMaterialViewLightsTheLayersRelief) {
    // A flat relief under a busy texture gives a flat surface; the lightness would not.
    TBitmap32 busy(64, 64);
    for (std::int32_t y = 0; y < 64; ++y)
        for (std::int32_t x = 0; x < 64; ++x)
            for (int ch = 0; ch < 3; ++ch) busy.Row(y)[4 * x + ch] = (x / 8 + y / 8) % 2 ? 255 : 0;
    TSurfaceRelief flat;
    flat.height = {64, 64, std::vector<std::uint16_t>(64 * 64, 30000)};
    flat.roughness.assign(64 * 64, 100);
    TMaterialSurface fromRelief, fromLightness;
    ASSERT_TRUE(PrepareMaterialSurface(busy, {}, fromRelief, 32, 1, &flat));
    ASSERT_TRUE(PrepareMaterialSurface(busy, {}, fromLightness, 32, 1));
    ASSERT_EQ(fromRelief.width, 32);
    for (std::int32_t y = 0; y < 32; ++y)
        for (std::int32_t x = 0; x < 32; ++x) {
            EXPECT_EQ(fromRelief.Row(mpNormalX, y)[x], 0.0f);
            EXPECT_EQ(fromRelief.Row(mpNormalY, y)[x], 0.0f);
        }
    const float* across = fromLightness.Row(mpNormalX, 5);
    EXPECT_TRUE(std::any_of(across, across + 32, [](float x) { return x != 0.0f; }));
    EXPECT_EQ(ReducedRelief(flat, 2).height.values, std::vector<std::uint16_t>(32 * 32, 30000));

    random::SetSeed(0x5D);
    M().ActionPresets[PresetIndex("brick-wall")]->trigger();
    const std::shared_ptr<const TSurfaceRelief> relief = W().Generator().Relief();
    ASSERT_NE(relief, nullptr);
    W().Commands->ActionMaterialView->trigger();
    TMaterialViewQt* view = W().Commands->MaterialView();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->Frame().isNull(); }, 20000));

    TBitmap32 texture;
    ASSERT_TRUE(ReadOutputTexture(W().Generator(), texture));
    const TTileAxes axes = W().Generator().TileAxes();
    TMaterialLight light;
    light.point = true;
    const auto shade = [&](const TMaterialSurface& surface) {
        light.x = float(surface.width);
        light.y = float(surface.height);
        light.z = MaterialLightHeight * float(std::max(surface.width, surface.height));
        TBitmap32 frame;
        EXPECT_TRUE(ShadeMaterial(surface, light, frame, 1));
        return frame;
    };
    TMaterialSurface surface, lightness;
    ASSERT_TRUE(
        PrepareMaterialSurface(texture, {axes.x, axes.y}, surface, MaterialTileSide, 0, relief.get()));
    ASSERT_TRUE(PrepareMaterialSurface(texture, {axes.x, axes.y}, lightness));
    const TBitmap32 expected = shade(surface);
    const QImage shown = view->Frame();
    ASSERT_EQ(shown.width(), expected.Width());
    TBitmap32 actual(shown.width(), shown.height());
    for (int y = 0; y < shown.height(); ++y)
        std::memcpy(actual.Row(y), shown.constScanLine(y), actual.Pitch());
    EXPECT_TRUE(SameBytes(actual, expected));
    EXPECT_FALSE(SameBytes(actual, shade(lightness)));
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
