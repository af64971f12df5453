// What the main window offers beside its controls: shortcuts acting while a slider has the
// focus, the image on the clipboard, the surface's menu and hint with the seed, the Tiled View,
// and the tile shown as it grows.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/HistoryQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/TiledViewQt.h"
#include "app/WindowCommandsQt.h"
#include "app/dialogs/batch.h"
#include "app/dialogs/progress.h"
#include "app/gen.h"
#include "app/widgets/ControlsQt.h"
#include "engine/VornDef.h"
#include "export/TileExport.h"
#include "shown_window.h"
#include "test_support.h"

namespace vorn {
namespace {

using test::AnswerNextDialog;

// image as it is seen: every alpha byte 0xFF.
QImage Opaque(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) row[x] |= 0xFF000000u;
    }
    return out;
}

using WindowCommands = test::ShownWindow;

TEST_F(WindowCommands, ShortcutsActWhileASliderHasTheFocus) {
    TFVornBE batchDialog(&W(), nullptr, *m_recorder);
    W().FVornBE = &batchDialog;
    TFVornBP batchProgress(&W());
    W().FVornBP = &batchProgress;

    // What one generation does to the random sequence.
    random::SetSeed(4711);
    W().ButtonGenerateClick();
    const std::uint32_t afterOne = random::Seed();

    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } generators[] = {{"F5", Qt::Key_F5, Qt::NoModifier}, {"Ctrl+G", Qt::Key_G, Qt::ControlModifier}};
    for (const auto& g : generators) {
        W().Track(gpLightness)->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return W().Track(gpLightness)->hasFocus(); }));
        random::SetSeed(4711);
        QTest::keyClick(W().Track(gpLightness), g.key, g.modifiers);
        EXPECT_EQ(random::Seed(), afterOne) << g.name << " did not generate";
        EXPECT_EQ(W().Track(gpLightness)->value(), 50) << g.name;
        EXPECT_EQ(W().PanelSurface->toolTip(), QString("Seed 00001267")) << g.name;
    }

    bool opened = false;
    const struct {
        const char* name;
        Qt::Key key;
        std::function<void()> answer; // closes the dialog the command opens
    } dialogs[] = {
        {"Ctrl+S", Qt::Key_S,
         [&] { AnswerNextDialog<QFileDialog>(&W(), [&](QFileDialog* d) { opened = true, d->reject(); }); }},
        {"Ctrl+B", Qt::Key_B,
         [&] { AnswerNextDialog<TFVornBE>(&W(), [&](TFVornBE* d) { opened = true, d->reject(); }); }},
    };
    for (const auto& d : dialogs) {
        W().activateWindow(); // back from the dialog before
        ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
        W().Track(gpLightness)->setFocus();
        opened = false;
        d.answer();
        QTest::keyClick(W().Track(gpLightness), d.key, Qt::ControlModifier);
        EXPECT_TRUE(opened) << d.name << " opened no dialog";
        EXPECT_EQ(W().Track(gpLightness)->value(), 50) << d.name;
    }
    EXPECT_TRUE(m_recorder->messages.empty());
}

// The colours of the output target, opaque as in every exported file (the tile's alpha varies).
TEST_F(WindowCommands, CtrlCPutsTheOutputTextureOnTheClipboardOpaque) {
    W().UpDownSize->Press(btPrev); // 128: the output target of another size than at start
    ASSERT_EQ(W().Generator().TextureSize, 128);
    QGuiApplication::clipboard()->clear();
    W().Track(gpSteps)->setFocus();
    QTest::keyClick(W().Track(gpSteps), Qt::Key_C, Qt::ControlModifier);

    TGenerator& gen = W().Generator();
    TBitmap32 expected;
    ASSERT_TRUE(CopyToBitmap(*gen.Textures, TGenerator::GetIndex(128), 128, expected));
    const QImage copied = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(copied.size(), QSize(128, 128));
    bool translucent = false;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            std::uint32_t texel = 0; // blue, green, red, alpha in memory
            std::memcpy(&texel, expected.Row(y) + 4 * x, 4);
            translucent |= texel >> 24 != 0xFF;
            ASSERT_EQ(copied.pixel(x, y), texel | 0xFF000000u) << x << "," << y;
        }
    }
    EXPECT_TRUE(translucent) << "the tile has no alpha to leave out";
}

TEST_F(WindowCommands, SurfaceMenuAndHintShowTheSeedOfTheCurrentTexture) {
    random::SetSeed(0x2A);
    W().ButtonGenerateClick();
    EXPECT_EQ(W().Generator().TextureSeed(), 0x2Au);
    EXPECT_EQ(W().PanelSurface->toolTip(), QString("Seed 0000002A"));

    const struct {
        const char* name;
        std::function<void()> open;
    } ways[] = {
        {"right button",
         [&] {
             // What the window system sends on a right click, after the press and release.
             QTest::mouseClick(W().PanelSurface, Qt::RightButton, {}, QPoint(100, 100));
             QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(100, 100),
                                     W().PanelSurface->mapToGlobal(QPoint(100, 100)));
             QApplication::sendEvent(W().PanelSurface, &event);
         }},
        {"Menu key", [&] { QTest::keyClick(W().Track(gpSteps), Qt::Key_Menu); }},
    };
    for (const auto& way : ways) {
        W().Track(gpSteps)->setFocus();
        const std::uint32_t before = random::Seed();
        way.open();
        QMenu* menu = W().Commands->SurfaceMenu();
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); })) << way.name;
        ASSERT_FALSE(menu->actions().isEmpty());
        EXPECT_EQ(menu->actions().first()->text(), QString("Seed 0000002A")) << way.name;
        QStringList entries;
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) entries << a->text();
        EXPECT_EQ(entries,
                  QStringList({"Seed 0000002A", "Back", "Forward", "Copy Recipe", "Paste Recipe", "Generate",
                               "Copy Image", "Export...", "Batch Export...", "Tiled View"}))
            << way.name;
        EXPECT_EQ(random::Seed(), before) << way.name << " generated";
        menu->close();
    }
}

TEST_F(WindowCommands, TiledViewRepeatsTheOutputOneToOneFollowsItAndClosesAlone) {
    W().Track(gpSteps)->setFocus();
    QTest::keyClick(W().Track(gpSteps), Qt::Key_T, Qt::ControlModifier);
    TTiledViewQt* view = W().Commands->TiledView();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    EXPECT_EQ(view->windowTitle(), QString("Tiled View"));
    EXPECT_EQ(view->ZoomPercent(), 100);

    // Window pixel (x, y) shows texel ((x - origin) mod size) of the output at 100 %.
    const auto expectTiles = [&](const char* when) {
        const QImage texture = Opaque(W().Commands->OutputImage());
        const int size = texture.width();
        EXPECT_EQ(Opaque(view->Texture()), texture) << when;
        const QImage shot = view->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QPoint origin = view->Origin().toPoint();
        const auto wrap = [size](int v) { return ((v % size) + size) % size; };
        for (int y = 0; y < shot.height(); y += 37)
            for (int x = 0; x < shot.width(); x += 41)
                ASSERT_EQ(shot.pixel(x, y), texture.pixel(wrap(x - origin.x()), wrap(y - origin.y())))
                    << when << " at (" << x << ", " << y << ")";
    };
    expectTiles("at first");
    W().UpDownSize->Press(btPrev); // 128: smaller than the window, so copies repeat
    expectTiles("after a size change");
    W().ButtonGenerateClick();
    expectTiles("after a new texture");
    // N shows the normal map instead of the colour, and back.
    QTest::keyClick(view, Qt::Key_N);
    EXPECT_EQ(view->windowTitle(), QString("Tiled View: Normal Map"));
    EXPECT_NE(Opaque(view->Shown()), Opaque(view->Texture()));
    QTest::keyClick(view, Qt::Key_N);
    expectTiles("after the normal map");

    view->ZoomBy(20, QPointF(10, 10));
    EXPECT_EQ(view->ZoomPercent(), 400);
    view->ZoomBy(-20, QPointF(10, 10));
    EXPECT_EQ(view->ZoomPercent(), 25);

    const std::uint32_t seed = W().Generator().TextureSeed();
    view->close();
    QTest::qWait(50);
    EXPECT_FALSE(view->isVisible());
    EXPECT_TRUE(W().isVisible());
    EXPECT_EQ(W().Generator().TextureSeed(), seed);
}

TEST_F(WindowCommands, TheTileIsShownAsItGrows) {
    W().Track(gpSteps)->setValue(2048);
    W().List(gpBrushSize)->setCurrentIndex(3); // 128
    // Every frame presented while the synthesis pumps messages is one of the growing tile: the
    // idle loop draws none then.
    std::vector<QImage> frames;
    int seen = W().PanelSurface->PresentCount();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &W(), [&] {
        if (W().PanelSurface->PresentCount() == seen || !W().Generator().Generating()) return;
        seen = W().PanelSurface->PresentCount();
        frames.push_back(W().PanelSurface->Frame().copy());
    });
    watch.start(0);
    W().ButtonGenerateClick();
    watch.stop();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_NE(frames.front(), frames.back()) << "the tile did not grow between frames";
}

TEST_F(WindowCommands, KeyboardReachesEveryControlInOrderAndSliderHintsFollowADrag) {
    const QList<QWidget*> order = {
        W().UpDownSize,           W().PanelColor,          W().List(gpImage),       W().List(gpEffect),
        W().List(gpBGFill),       W().List(gpBGForm),      W().List(gpBrushType),   W().List(gpBrushSize),
        W().Track(gpSteps),       W().Track(gpHueSwitch),  W().Track(gpSaturation), W().Track(gpLightness),
        W().Track(gpRadiusSpeed), W().Track(gpAngleSpeed), W().Track(gpScaleSpeed), W().Track(gpTurnFreq),
        W().ButtonGenerate,       W().ButtonExport,        W().ButtonBatch,         W().ButtonPreview,
        W().ButtonSettings,       W().ButtonAbout,         W().ButtonExit};
    W().UpDownSize->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return W().UpDownSize->hasFocus(); }));
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), order[i]) << "Tab number " << i;
    }

    // The size arrows answer Up and Down.
    W().UpDownSize->setFocus();
    QTest::keyClick(W().UpDownSize, Qt::Key_Up);
    EXPECT_EQ(W().Generator().TextureSize, 512);
    QTest::keyClick(W().UpDownSize, Qt::Key_Down);
    QTest::keyClick(W().UpDownSize, Qt::Key_Down);
    EXPECT_EQ(W().Generator().TextureSize, 128);

    // Space and Enter on the swatch open the colour dialog.
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
        bool opened = false;
        AnswerNextDialog<QColorDialog>(&W(), [&](QColorDialog* d) { opened = true, d->reject(); });
        W().PanelColor->setFocus();
        QTest::keyClick(W().PanelColor, key);
        EXPECT_TRUE(opened) << "key " << key;
    }

    // Dragging: the hint shows each value the slider passes.
    QSlider* steps = W().Track(gpSteps);
    steps->setSliderDown(true);
    steps->setSliderPosition(1536);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QString("1536"));
    steps->setSliderDown(false);
    EXPECT_EQ(steps->toolTip(), QString("1536"));
}

// Drawing disables the panels for a moment; the control that had the focus has it again after a
// generation, a history step and a paste, so a second Space generates again and Tab goes on.
TEST_F(WindowCommands, FocusStaysOnItsControlAcrossDrawing) {
    W().ButtonGenerate->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return W().ButtonGenerate->hasFocus(); }));
    const std::size_t count = W().History->History().Count();
    QTest::keyClick(W().ButtonGenerate, Qt::Key_Space);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(W().History->History().Count(), count + 2);
    EXPECT_EQ(QApplication::focusWidget(), W().ButtonGenerate);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), W().ButtonExport);

    W().Track(gpSteps)->setFocus();
    QTest::keyClick(W().Track(gpSteps), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), W().Track(gpSteps)) << "after Back";
    W().History->CopyRecipe();
    QTest::keyClick(W().Track(gpSteps), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), W().Track(gpSteps)) << "after a paste";
    EXPECT_TRUE(m_recorder->messages.empty());
}

// The view stopped zooming out at 25 %, so a 4096 tile never showed a repeat: it zooms out until
// 3 x 3 copies fit, and Ctrl+0 fits them at once. In 640 pixels: 2^(step / 2) * 4096 * 3 <= 640
// first holds at step -9, 2^-4.5 = 4.4 %.
TEST(TiledView, ZoomReaches3x3CopiesOfA4096Tile) {
    TTiledViewQt view;
    view.resize(640, 640);
    QImage tile(4096, 4096, QImage::Format_RGB32);
    tile.fill(Qt::darkCyan);
    view.SetTexture(tile);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_EQ(view.size(), QSize(640, 640));
    ASSERT_EQ(view.devicePixelRatioF(), 1.0);
    view.ZoomBy(-40, QPointF(320, 320));
    EXPECT_EQ(view.ZoomPercent(), 4);
    view.ZoomBy(40, QPointF(320, 320));
    EXPECT_EQ(view.ZoomPercent(), 400);
    QTest::keyClick(&view, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(view.ZoomPercent(), 4);
    // The block of 3 x 3 copies is centred: 3 * 4096 * 2^-4.5 = 543.1 pixels.
    const double block = 3 * 4096 * std::exp2(-4.5);
    EXPECT_NEAR(view.Origin().x(), 320 - block / 2, 1e-6);
    EXPECT_NEAR(view.Origin().y(), 320 - block / 2, 1e-6);
    QTest::keyClick(&view, Qt::Key_0);
    EXPECT_EQ(view.ZoomPercent(), 100);
}

// A Wrap X texture repeats across x only: one band of copies on black, the band a tile high at
// the origin (the view's centre). O moves the copies by half a tile along x, the axis it repeats
// across, and back; a Wrap texture is moved along both.
TEST(TiledView, AWrapXTextureRepeatsAcrossXOnlyAndOMovesItByHalfATile) {
    TTiledViewQt view;
    view.resize(640, 640);
    QImage tile(64, 64, QImage::Format_RGB32);
    tile.fill(Qt::darkCyan);
    view.SetTexture(tile, TileAxesOf(tmWrapX));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_EQ(view.devicePixelRatioF(), 1.0);
    ASSERT_EQ(view.Origin(), QPointF(320, 320));
    const QImage shown = view.grab().toImage();
    const QRgb cyan = QColor(Qt::darkCyan).rgb(), black = QColor(Qt::black).rgb();
    for (const int x : {0, 100, 639}) {
        EXPECT_EQ(shown.pixel(x, 319), black) << x;
        EXPECT_EQ(shown.pixel(x, 320), cyan) << x;
        EXPECT_EQ(shown.pixel(x, 383), cyan) << x;
        EXPECT_EQ(shown.pixel(x, 384), black) << x;
    }
    QTest::keyClick(&view, Qt::Key_O);
    EXPECT_TRUE(view.HalfOffset());
    EXPECT_EQ(view.Origin(), QPointF(352, 320));
    QTest::keyClick(&view, Qt::Key_O);
    EXPECT_EQ(view.Origin(), QPointF(320, 320));
    view.SetTexture(tile, TileAxesOf(tmWrap));
    view.SetHalfOffset(true);
    EXPECT_EQ(view.Origin(), QPointF(352, 352));
}

// Peak resident memory of this process, from /proc/self/status; 0 when unknown.
std::size_t PeakResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toULongLong() * 1024;
    return 0;
}

// A 4096 texture goes everywhere a texture goes in the window (the Tiled View at 1:1 with its
// normal map, the clipboard, a new texture at that size) within 400 MiB resident.
TEST_F(WindowCommands, A4096TextureInTheWindowStaysWithin400MiB) {
    for (int i = 0; i < 4; ++i) W().UpDownSize->Press(btNext);
    ASSERT_EQ(W().Generator().TextureSize, 4096);
    EXPECT_EQ(W().LabelSize->text(), QString("4096"));
    W().ButtonGenerateClick();
    QTest::keyClick(W().ButtonGenerate, Qt::Key_T, Qt::ControlModifier);
    TTiledViewQt* view = W().Commands->TiledView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->Texture().size(), QSize(4096, 4096));
    EXPECT_EQ(view->ZoomPercent(), 100);
    QTest::keyClick(view, Qt::Key_N);
    EXPECT_EQ(view->Shown().size(), QSize(4096, 4096));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(W().ButtonGenerate, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(4096, 4096));
    const std::size_t peak = PeakResidentBytes();
    std::printf("peak resident with a 4096 texture: %zu MiB\n", peak >> 20);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LE(peak, std::size_t(400) << 20); // sanitizers keep shadow and freed memory
#endif
    view->close();
}

// The arrows stop only at 64 and 4096, however long Up was held and whatever size a history step
// or a recipe set since.
TEST_F(WindowCommands, SizeArrowsFollowTheSizeShown) {
    for (int i = 0; i < 600; ++i) W().UpDownSize->Press(btNext); // held down
    EXPECT_EQ(W().Generator().TextureSize, 4096);
    TGenSettings controls = W().Controls();
    controls.size = 512;
    W().SetControls(controls); // as a history step does
    W().UpDownSize->Press(btNext);
    EXPECT_EQ(W().Generator().TextureSize, 1024);
    for (int i = 0; i < 600; ++i) W().UpDownSize->Press(btPrev);
    EXPECT_EQ(W().Generator().TextureSize, 64);
    controls.size = 128;
    W().SetControls(controls);
    W().UpDownSize->Press(btPrev);
    EXPECT_EQ(W().Generator().TextureSize, 64);
    W().UpDownSize->Press(btNext);
    EXPECT_EQ(W().LabelSize->text(), QString("128"));
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
