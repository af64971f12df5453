// The main window's window-wide commands: shortcuts acting while a slider has the focus, the
// image on the clipboard, the surface's menu and hint with the seed.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFrame>
#include <QImage>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "batch/batch.h"
#include "engine/VornDef.h"
#include "export/TileExport.h"
#include "gen/PanelSurfaceQt.h"
#include "gen/WindowCommandsQt.h"
#include "gen/gen.h"
#include "progress/progress.h"
#include "test_support.h"

namespace vorn {
namespace {

// Runs answer on the modal dialog of type T as soon as the event loop of its exec() runs.
template <class T> void AnswerNextDialog(QObject* context, std::function<void(T*)> answer) {
    auto* poll = new QTimer(context);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, context, [poll, answer] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start();
}

class WindowCommands : public ::testing::Test {
protected:
    void SetUp() override {
        m_recorder = std::make_unique<test::MessageRecorder>();
        m_window = std::make_unique<TFOrlu>([] { return std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat"; });
        W().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&W()));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return W().PanelSurface->PresentCount() > 0 && W().PanelControls->isEnabled(); }, 60000));
        W().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
        W().TrackSteps->setValue(0); // the shortest walk
    }
    void TearDown() override { m_window.reset(); }

    TFOrlu& W() { return *m_window; }

    std::unique_ptr<test::MessageRecorder> m_recorder;
    std::unique_ptr<TFOrlu> m_window;
};

TEST_F(WindowCommands, ShortcutsActWhileASliderHasTheFocus) {
    TFVornBE batchDialog(&W());
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
        W().TrackLightness->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return W().TrackLightness->hasFocus(); }));
        random::SetSeed(4711);
        QTest::keyClick(W().TrackLightness, g.key, g.modifiers);
        EXPECT_EQ(random::Seed(), afterOne) << g.name << " did not generate";
        EXPECT_EQ(W().TrackLightness->value(), 50) << g.name;
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
        W().TrackLightness->setFocus();
        opened = false;
        d.answer();
        QTest::keyClick(W().TrackLightness, d.key, Qt::ControlModifier);
        EXPECT_TRUE(opened) << d.name << " opened no dialog";
        EXPECT_EQ(W().TrackLightness->value(), 50) << d.name;
    }
    EXPECT_TRUE(m_recorder->messages.empty());
}

TEST_F(WindowCommands, CtrlCPutsTheOutputTextureOnTheClipboardByteForByte) {
    W().UpDownSize->Press(btPrev); // 128: the output target of another size than at start
    ASSERT_EQ(W().Generator().TextureSize, 128);
    QGuiApplication::clipboard()->clear();
    W().TrackSteps->setFocus();
    QTest::keyClick(W().TrackSteps, Qt::Key_C, Qt::ControlModifier);

    TGenerator& gen = W().Generator();
    TBitmap32 expected;
    ASSERT_TRUE(CopyToBitmap(*gen.Textures, TGenerator::GetIndex(128), 128, expected));
    const QImage copied = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(copied.size(), QSize(128, 128));
    for (int y = 0; y < 128; ++y)
        ASSERT_EQ(std::memcmp(copied.constScanLine(y), expected.Row(y), expected.Pitch()), 0) << "row " << y;
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
        {"Menu key", [&] { QTest::keyClick(W().TrackSteps, Qt::Key_Menu); }},
    };
    for (const auto& way : ways) {
        W().TrackSteps->setFocus();
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
                  QStringList({"Seed 0000002A", "Generate", "Copy Image", "Export...", "Batch Export..."}))
            << way.name;
        EXPECT_EQ(random::Seed(), before) << way.name << " generated";
        menu->close();
    }
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
