// The Library and the favourites in the window: Ctrl+D keeps the texture's recipe in the data
// folder's file, a file with a line that is no recipe loads the rest with one message, the
// history list marks the current entry and a click goes there, thumbnails arrive from the
// command-line tool without the window waiting, and a favourite opens its texture.
#include <QAction>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QInputDialog>
#include <QListWidget>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include "app/HistoryQt.h"
#include "app/LibraryQt.h"
#include "shown_window.h"

namespace vorn {
namespace {

class Library : public test::ShownWindow {
protected:
    void SetUp() override {
        ShownWindow::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(m_data.isValid());
        W().Library->SetCliPath(QStringLiteral(PALLIMOR_BUILD_DIR "/pallimor-cli"));
    }
    TLibraryQt& L() { return *W().Library; }
    QTemporaryDir m_data;
};

TEST_F(Library, FavouritesAreKeptInTheDataFolderAndABadLineIsNamedOnce) {
    QFile file(m_data.filePath(FavouritesFileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("P1.seed=0000002A old one\nnot a recipe\n");
    file.close();
    L().SetDataFolder(m_data.path());
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_TRUE(m_recorder->messages[0].text.contains(QStringLiteral("line 2: not a recipe")))
        << m_recorder->messages[0].text.toStdString();
    ASSERT_EQ(L().Favourites().Items().size(), 1u);

    W().ButtonGenerateClick();
    const QString code = W().History->RecipeText();
    test::AnswerNextDialog<QInputDialog>(&W(), [](QInputDialog* question) {
        question->setTextValue(QStringLiteral("mine"));
        question->accept();
    });
    QTest::keyClick(&W(), Qt::Key_D, Qt::ControlModifier);
    TFavourites restarted(QFile::encodeName(m_data.path()).toStdString());
    std::string why;
    ASSERT_TRUE(restarted.Load(why)) << why;
    ASSERT_EQ(restarted.Items().size(), 2u);
    EXPECT_EQ(restarted.Items()[1].code, code.toStdString());
    EXPECT_EQ(restarted.Items()[1].name, "mine");
    EXPECT_EQ(m_recorder->messages.size(), 1u);
}

TEST_F(Library, HistoryAndFavouritesShowAsThumbnailsAndOpen) {
    W().ButtonGenerateClick();
    W().ButtonGenerateClick();
    const TTextureHistory& history = W().History->History();
    ASSERT_TRUE(L().AddFavouriteNamed(QStringLiteral("last")));
    QTest::keyClick(&W(), Qt::Key_H, Qt::ControlModifier);
    ASSERT_TRUE(L().isVisible());
    ASSERT_EQ(L().ListHistory->count(), int(history.Count()));
    EXPECT_TRUE(L().ListHistory->item(int(history.Position()))->text().endsWith(QStringLiteral("(current)")));
    EXPECT_EQ(L().ListFavourites->item(0)->text(), QString("last"));

    // The window answers while the tool draws.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !L().DrawingThumbnails(); }, 60000));
    const QString code = L().ListFavourites->item(0)->toolTip();
    const QImage thumbnail = L().Thumbnail(code).pixmap(96, 96).toImage();
    ASSERT_FALSE(thumbnail.isNull());
    EXPECT_NE(thumbnail.pixel(10, 10), thumbnail.pixel(60, 47)) << "a flat thumbnail";

    QTest::mouseClick(L().ListHistory->viewport(), Qt::LeftButton, {},
                      L().ListHistory->visualItemRect(L().ListHistory->item(0)).center());
    EXPECT_EQ(history.Position(), 0u);
    EXPECT_TRUE(L().ListHistory->item(0)->text().endsWith(QStringLiteral("(current)")));

    // After the first entry, as a new texture after a step back is.
    ASSERT_TRUE(L().OpenFavourite(0));
    EXPECT_EQ(history.Count(), 2u);
    EXPECT_EQ(history.Position(), 1u);
    EXPECT_EQ(W().History->RecipeText(), code);
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
