// What a session of the main window holds and how it ends: Escape during a new texture stops it
// and keeps the texture shown before; closing asks once when the history holds textures the user
// made (with a "Don't ask again" box remembered in the settings store); a remembered brush
// archive that is gone is forgotten with one message.
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "app/HistoryQt.h"
#include "app/ProgramQt.h"
#include "app/StatusQt.h"
#include "app/WindowCommandsQt.h"
#include "app/dialogs/settings.h"
#include "engine/VornDef.h"
#include "shown_window.h"

namespace vorn {
namespace {

class Session : public test::ShownWindow {
protected:
    void SetUp() override {
        SettingsStore().remove(QString::fromLatin1(AskBeforeClosingKey));
        ShownWindow::SetUp();
    }
    void TearDown() override {
        ShownWindow::TearDown();
        QSettings store = SettingsStore();
        store.remove(QString::fromLatin1(AskBeforeClosingKey));
        store.remove("Settings/Brushes");
    }
    std::vector<std::uint32_t> Tile() {
        std::vector<std::uint32_t> texels;
        EXPECT_TRUE(W().Generator().ReadTile(texels));
        return texels;
    }
};

// Escape during a long generation did not stop it, and closed the window once it was done.
TEST_F(Session, EscapeDuringAGenerationStopsItAndKeepsTheTextureShownBefore) {
    W().ButtonGenerateClick();
    const QImage output = W().Commands->OutputImage();
    const std::vector<std::uint32_t> tile = Tile();
    const std::size_t count = W().History->History().Count();
    W().Track(gpSteps)->setValue(2048);
    const std::uint32_t seed = random::Seed();
    bool pressed = false;
    QTimer::singleShot(0, &W(), [&] { // from the synthesis' message pump
        pressed = W().Generator().Generating();
        QTest::keyClick(&W(), Qt::Key_Escape);
    });
    W().ButtonGenerateClick();
    ASSERT_TRUE(pressed);
    EXPECT_FALSE(W().Generator().TextureFinished());
    QTest::qWait(20); // an Escape left in the queue would close the window now
    EXPECT_TRUE(W().isVisible());
    EXPECT_TRUE(m_recorder->messages.empty());
    EXPECT_EQ(W().Commands->OutputImage(), output);
    EXPECT_TRUE(Tile() == tile) << "the tile is not the one shown before";
    EXPECT_EQ(W().History->History().Count(), count);
    EXPECT_EQ(random::Seed(), seed) << "the random source moved";
    EXPECT_TRUE(W().PanelControls->isEnabled());
}

// Esc, Exit, Ctrl+Q and the close box closed the window at once, throwing the history away.
TEST_F(Session, ClosingWithAHistoryAsksOnceAndDontAskAgainIsRemembered) {
    W().ButtonGenerateClick();
    W().ButtonGenerateClick();
    m_recorder->answer = TMsgResult::No;
    const std::function<void()> ways[] = {
        [&] { QTest::keyClick(&W(), Qt::Key_Escape); },
        [&] { QTest::mouseClick(W().ButtonExit, Qt::LeftButton); },
        [&] { QTest::keyClick(&W(), Qt::Key_Q, Qt::ControlModifier); }, [&] { W().close(); }, // the close box
    };
    for (const auto& close : ways) {
        m_recorder->messages.clear();
        close();
        EXPECT_TRUE(W().isVisible());
        ASSERT_EQ(m_recorder->messages.size(), 1u);
        const TMessageRequest& question = m_recorder->messages[0];
        EXPECT_EQ(question.text, QString("Close Pallimor? The 3 textures of this session's history are lost "
                                         "(favourites are kept)."));
        EXPECT_EQ(question.buttons, TMsgButtons::YesNo);
        EXPECT_EQ(question.checkBox, QString("Don't ask again"));
    }
    // No with the box ticked remembers nothing; Yes with it does.
    m_recorder->tick = true;
    W().close();
    EXPECT_TRUE(W().isVisible());
    EXPECT_TRUE(SettingsStore().value(AskBeforeClosingKey, true).toBool());
    m_recorder->answer = TMsgResult::Yes;
    W().close();
    EXPECT_FALSE(W().isVisible());
    EXPECT_FALSE(SettingsStore().value(AskBeforeClosingKey, true).toBool());

    m_recorder->messages.clear();
    W().show();
    W().ButtonGenerateClick();
    W().close();
    EXPECT_FALSE(W().isVisible());
    EXPECT_TRUE(m_recorder->messages.empty()) << "asked again";
}

// A remembered archive that was deleted said "holds 0 usable images" at every start.
TEST_F(Session, ARememberedArchiveThatIsGoneIsForgottenWithOneMessage) {
    const QString gone = QString(PALLIMOR_BUILD_DIR) + "/no-such-brushes.dat";
    {
        QSettings store = SettingsStore();
        store.setValue("Settings/Brushes", gone);
        store.sync();
    }
    TFVornS settings(&W(), *m_recorder);
    ASSERT_EQ(settings.BrushesPath, gone);
    const std::uint32_t hash = W().Generator().BrushSetHash;
    UseRememberedBrushes(W(), settings);
    QCoreApplication::processEvents();
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_EQ(m_recorder->messages[0].text,
              "The brush archive " + gone + " chosen in Settings is gone; the default brushes are used.  ");
    EXPECT_TRUE(settings.BrushesPath.isEmpty());
    EXPECT_FALSE(SettingsStore().contains("Settings/Brushes"));
    EXPECT_EQ(W().Generator().BrushSetHash, hash);
    EXPECT_EQ(W().Status->Text->text(), QString("Brushes: default"));
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
