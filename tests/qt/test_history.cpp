// The main window's history and recipes as a user reaches them, with a slider holding the focus:
// Alt+Left / Alt+Right show earlier textures byte for byte with their controls, Ctrl+V makes a
// recipe's texture exactly as a fresh generator does, and a bad recipe changes nothing.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <memory>
#include <string>

#include "app/HistoryQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/WindowCommandsQt.h"
#include "app/gen.h"
#include "engine/VornDef.h"
#include "export/TileExport.h"
#include "gen/Recipe.h"
#include "shown_window.h"
#include "test_support.h"

namespace vorn {
namespace {

const std::string Archive = std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat";

class History : public test::ShownWindow {
protected:
    void SetUp() override {
        ShownWindow::SetUp();
        if (HasFatalFailure()) return;
        W().Track(gpLightness)->setFocus();
    }

    QImage Output() { return W().Commands->OutputImage(); }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(W().Track(gpLightness), key, modifiers);
    }
};

TEST_F(History, AltLeftAndRightShowEachTextureAsMadeWithItsControls) {
    struct Made {
        QImage output;
        TGenSettings controls;
        QString hint;
    };
    std::vector<Made> made;
    const auto generate = [&] {
        W().ButtonGenerateClick();
        made.push_back({Output(), W().Controls(), W().PanelSurface->toolTip()});
    };
    random::SetSeed(0x2A);
    generate();                            // A: Clear
    W().List(gpImage)->setCurrentIndex(1); // B: Keep, drawn over A, at 128 with other lightness
    W().Track(gpLightness)->setValue(90);
    W().UpDownSize->Press(btPrev);
    generate();
    W().List(gpImage)->setCurrentIndex(0); // C: Clear again
    W().Track(gpLightness)->setValue(10);
    generate();
    const std::uint32_t seed = random::Seed();

    const struct {
        Qt::Key key;
        std::size_t shows;
    } walk[] = {{Qt::Key_Left, 1}, {Qt::Key_Left, 0}, {Qt::Key_Right, 1}, {Qt::Key_Right, 2}};
    const std::size_t before = W().History->History().Count() - 3;
    for (const auto& w : walk) {
        Press(w.key, Qt::AltModifier);
        const Made& m = made[w.shows];
        EXPECT_EQ(W().History->History().Position(), before + w.shows);
        EXPECT_EQ(Output(), m.output) << "entry " << w.shows;
        EXPECT_TRUE(SameSettings(W().Controls(), m.controls)) << "entry " << w.shows;
        EXPECT_EQ(W().LabelSize->text(), QString::number(m.controls.size));
        EXPECT_EQ(W().PanelSurface->toolTip(), m.hint);
        EXPECT_EQ(random::Seed(), seed) << "a step touched the random source";
    }
    EXPECT_TRUE(m_recorder->messages.empty());
}

TEST_F(History, CtrlVMakesTheRecipesTextureAndCtrlShiftCCopiesItBack) {
    const std::string code =
        "P1.size=128.bg-color=FF0000.seed=0000002A.steps=0+image=keep.effect=add.steps=0";
    const TRecipeDecoding decoded = DecodeRecipe(code);
    ASSERT_TRUE(decoded.ok()) << decoded.error;
    TGenSettings none;
    TGenerator fresh(none);
    fresh.ComponentsInit();
    ASSERT_EQ(fresh.Startup(nullptr, Archive).failure, TStartupFailure::None);
    RegenerateRecipe(fresh, decoded.recipe);
    TBitmap32 expected;
    ASSERT_TRUE(CopyToBitmap(*fresh.Textures, TGenerator::GetIndex(128), 128, expected));
    const std::uint32_t seedAfter = random::Seed();

    random::SetSeed(99);
    QGuiApplication::clipboard()->setText(QString::fromStdString(code) + "\n");
    const std::size_t count = W().History->History().Count();
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(m_recorder->messages.empty());
    EXPECT_EQ(W().History->History().Count(), count + 1);
    EXPECT_EQ(W().List(gpImage)->currentIndex(), 1);
    EXPECT_EQ(W().List(gpEffect)->currentIndex(), 1);
    EXPECT_EQ(W().LabelSize->text(), QString("128"));
    EXPECT_EQ(W().SwatchColor(), QColor(0xFF, 0, 0));
    EXPECT_EQ(random::Seed(), seedAfter) << "the random source stands where making the texture left it";
    TGenerator& gen = W().Generator();
    TBitmap32 actual;
    ASSERT_TRUE(CopyToBitmap(*gen.Textures, TGenerator::GetIndex(128), 128, actual));
    EXPECT_EQ(std::memcmp(actual.Bits(), expected.Bits(), std::size_t(actual.Pitch()) * 128), 0);

    QGuiApplication::clipboard()->clear();
    Press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), EncodeRecipe(decoded.recipe));
}

TEST_F(History, ABadRecipeIsNamedOnceAndChangesNothing) {
    W().ButtonGenerateClick();
    const QImage output = Output();
    const TGenSettings controls = W().Controls();
    const std::size_t count = W().History->History().Count();
    const struct {
        const char* clipboard;
        const char* named; // part of the decoder's line
    } bad[] = {{"hello", "unknown version 'hello'"},
               {"P1.seed=12345", "truncated: seed=12345 has 5 of 8 hex digits"},
               {"P1.seed=0000002A.steps=9999", "steps=9999 is out of range"},
               {"", "The clipboard holds no recipe code."},
               {" hello world\n",
                "The clipboard holds no recipe code: \u201Chello world\u201D has a space at position 6."},
               {"P1.seed=\t1", "has a tab at position 9."}};
    for (const auto& b : bad) {
        m_recorder->messages.clear();
        QGuiApplication::clipboard()->setText(QString::fromLatin1(b.clipboard));
        random::SetSeed(5);
        Press(Qt::Key_V, Qt::ControlModifier);
        ASSERT_EQ(m_recorder->messages.size(), 1u) << b.clipboard;
        EXPECT_TRUE(m_recorder->messages[0].text.contains(QString::fromUtf8(b.named)))
            << m_recorder->messages[0].text.toStdString();
        EXPECT_EQ(random::Seed(), 5u) << b.clipboard;
        EXPECT_TRUE(SameSettings(W().Controls(), controls)) << b.clipboard;
        EXPECT_EQ(Output(), output) << b.clipboard;
        EXPECT_EQ(W().History->History().Count(), count) << b.clipboard;
    }
}

// A line copied from the favourites ("CODE NAME") is its code; a refusal names where the text
// came from and quotes at most 40 characters of it, however long the paste.
TEST_F(History, PasteTakesAFavouritesLineAndARefusalQuotesAtMost40Characters) {
    const std::string code = "P1.size=128.seed=0000002A.steps=0";
    QGuiApplication::clipboard()->setText(QString::fromStdString(code) + " My brick wall\n");
    const std::size_t count = W().History->History().Count();
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(m_recorder->messages.empty()) << m_recorder->messages[0].text.toStdString();
    EXPECT_EQ(W().History->History().Count(), count + 1);
    EXPECT_EQ(W().History->RecipeText().toStdString(), EncodeRecipe(DecodeRecipe(code).recipe));

    const QString longWord(5000, QLatin1Char('x'));
    const QString pastes[] = {longWord, "hello " + longWord, longWord + " " + QString::fromStdString(code)};
    for (const QString& paste : pastes) {
        m_recorder->messages.clear();
        QGuiApplication::clipboard()->setText(paste);
        Press(Qt::Key_V, Qt::ControlModifier);
        ASSERT_EQ(m_recorder->messages.size(), 1u);
        const QString text = m_recorder->messages[0].text;
        EXPECT_TRUE(text.startsWith("The clipboard holds no recipe")) << text.toStdString();
        EXPECT_FALSE(text.contains(QString(40, QLatin1Char('x')))) << text.toStdString();
        EXPECT_LE(text.size(), 160) << text.toStdString();
    }
    EXPECT_EQ(W().History->History().Count(), count + 1);

    // A favourite and a recipe of brushes not installed are named as a user knows them.
    m_recorder->messages.clear();
    EXPECT_FALSE(W().History->MakeRecipe("", TRecipeSource::Favourite, "Bricks"));
    TRecipe other = DecodeRecipe(code).recipe;
    other.brushes = 0x12345678u;
    EXPECT_FALSE(W().History->MakeRecipe(QString::fromStdString(EncodeRecipe(other))));
    ASSERT_EQ(m_recorder->messages.size(), 2u);
    EXPECT_EQ(m_recorder->messages[0].text, QString("The favourite Bricks holds no recipe code."));
    EXPECT_TRUE(m_recorder->messages[1].text.startsWith(
        "This recipe was made with brushes 12345678, not installed here; installed sets: "))
        << m_recorder->messages[1].text.toStdString();
}

// Back and Forward stayed enabled in the menu bar with nowhere to go.
TEST_F(History, BackAndForwardAreGreyedWhereThereIsNowhereToGo) {
    QAction* back = W().History->ActionBack;
    QAction* forward = W().History->ActionForward;
    ASSERT_EQ(W().History->History().Count(), 1u);
    EXPECT_FALSE(back->isEnabled());
    EXPECT_FALSE(forward->isEnabled());
    W().ButtonGenerateClick();
    EXPECT_TRUE(back->isEnabled());
    EXPECT_FALSE(forward->isEnabled());
    Press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_FALSE(back->isEnabled());
    EXPECT_TRUE(forward->isEnabled());
    Press(Qt::Key_Right, Qt::AltModifier);
    EXPECT_TRUE(back->isEnabled());
    EXPECT_FALSE(forward->isEnabled());
    Press(Qt::Key_Left, Qt::AltModifier);
    // Nowhere to go while a texture is drawn; a new texture drops the ones ahead.
    bool greyedWhileDrawing = false;
    QTimer::singleShot(0, &W(), [&] {
        greyedWhileDrawing = W().Generator().Generating() && !back->isEnabled() && !forward->isEnabled();
    });
    W().ButtonGenerateClick();
    EXPECT_TRUE(greyedWhileDrawing);
    EXPECT_TRUE(back->isEnabled());
    EXPECT_FALSE(forward->isEnabled());
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
