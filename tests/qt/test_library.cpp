// The Library and the favourites in the window: Ctrl+D keeps the texture's recipe in the data
// folder's file, a file with a line that is no recipe loads the rest with one message, the
// history list marks the current entry and a click goes there, thumbnails arrive from the
// command-line tool without the window waiting, each recipe with its own result, and a favourite
// opens its texture. A tool that cannot be started is said once; an export asks before it
// replaces files, and closing the window during one asks first.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QSet>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include "app/HistoryQt.h"
#include "app/LibraryQt.h"
#include "shown_window.h"

namespace vorn {
namespace {

// The distinct colours of image: a drawn texture has many, a blank or failed thumbnail a few (two
// chosen pixels of a random texture may match, its many colours do not).
qsizetype ColourCount(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    return colours.size();
}

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
    EXPECT_GT(ColourCount(thumbnail), 16) << "a flat thumbnail";

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

TEST_F(Library, AToolThatCannotStartIsSaidOnceAndExportSaysTheSame) {
    const QString missing = m_data.filePath(QStringLiteral("nowhere/pallimor-cli"));
    L().SetCliPath(missing);
    W().ButtonGenerateClick();
    ASSERT_TRUE(L().AddFavouriteNamed(QStringLiteral("mine")));
    L().ShowLibrary();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_recorder->messages.empty(); }, 10000));
    EXPECT_FALSE(L().DrawingThumbnails());
    // More thumbnails to draw: not tried again, no second message.
    W().ButtonGenerateClick();
    L().Refresh();
    QCoreApplication::processEvents();
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    const QString said = m_recorder->messages[0].text.trimmed();
    EXPECT_TRUE(said.contains(missing)) << said.toStdString();
    EXPECT_FALSE(L().LabelStatus->isHidden());
    EXPECT_EQ(L().LabelStatus->text(), said);
    EXPECT_FALSE(L().DrawingThumbnails());
    EXPECT_TRUE(L().Thumbnail(L().ListFavourites->item(0)->toolTip()).isNull()) << "blank, not failed";

    QTemporaryDir out;
    ASSERT_TRUE(L().ExportFavourites({0}, out.path(), QStringLiteral("png")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_recorder->messages.size() == 2; }, 10000));
    EXPECT_EQ(m_recorder->messages[1].text.trimmed(), said);
    EXPECT_FALSE(L().ExportRunning());
}

TEST_F(Library, ARecipeTheToolCannotDrawGetsItsOwnFailedThumbnail) {
    const QString good[] = {QStringLiteral("P1.seed=0000002A"),
                            QStringLiteral("P1.size=128.seed=00000007.effect=add")};
    const QString unknownBrushes = QStringLiteral("P1.brushes=12345678.seed=00000005");
    QFile file(m_data.filePath(FavouritesFileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write((good[0] + '\n' + unknownBrushes + '\n' + good[1] + '\n').toLatin1());
    file.close();
    L().SetDataFolder(m_data.path());
    ASSERT_EQ(L().Favourites().Items().size(), 3u);
    L().ShowLibrary();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !L().DrawingThumbnails(); }, 60000));

    const QString problem = L().ThumbnailProblem(unknownBrushes);
    EXPECT_FALSE(problem.isEmpty());
    EXPECT_EQ(L().ListFavourites->item(1)->toolTip(), problem);
    EXPECT_FALSE(L().Thumbnail(unknownBrushes).isNull()) << "marked failed";
    for (const QString& code : good) {
        SCOPED_TRACE(code.toStdString());
        EXPECT_TRUE(L().ThumbnailProblem(code).isEmpty()) << L().ThumbnailProblem(code).toStdString();
        const QImage thumbnail = L().Thumbnail(code).pixmap(96, 96).toImage();
        ASSERT_FALSE(thumbnail.isNull());
        EXPECT_GT(ColourCount(thumbnail), 16) << "a flat thumbnail";
    }
    EXPECT_TRUE(m_recorder->messages.empty());
}

// A set chosen through "Other archive...", one that is not installed: the tool is told where it is.
TEST_F(Library, TheBrushesOfAnArchiveFromElsewhereDrawTheirThumbnails) {
    const QString cli = QStringLiteral(PALLIMOR_BUILD_DIR "/pallimor-cli");
    const QString images = m_data.filePath(QStringLiteral("images"));
    const QString archive = m_data.filePath(QStringLiteral("elsewhere.dat"));
    ASSERT_EQ(QProcess::execute(cli, {QStringLiteral("archive"), QStringLiteral("unpack"),
                                      QStringLiteral(PALLIMOR_BUILD_DIR "/vorn-ink.dat"), images}),
              0);
    // One texel changed: a set of its own.
    QImage background(images + QStringLiteral("/background.png"));
    ASSERT_FALSE(background.isNull());
    background.setPixel(0, 0, ~background.pixel(0, 0));
    ASSERT_TRUE(background.save(images + QStringLiteral("/background.png")));
    ASSERT_EQ(QProcess::execute(cli, {QStringLiteral("archive"), QStringLiteral("pack"), images, archive}),
              0);
    ASSERT_TRUE(W().UseBrushes(archive));

    W().ButtonGenerateClick();
    ASSERT_TRUE(L().AddFavouriteNamed(QStringLiteral("elsewhere")));
    L().ShowLibrary();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !L().DrawingThumbnails(); }, 60000));
    const QString code = L().ListFavourites->item(0)->data(Qt::UserRole).toString();
    ASSERT_TRUE(code.contains(QStringLiteral("brushes="))) << code.toStdString();
    EXPECT_TRUE(L().ThumbnailProblem(code).isEmpty()) << L().ThumbnailProblem(code).toStdString();
    EXPECT_FALSE(L().Thumbnail(code).isNull());
}

TEST_F(Library, AnExportOntoExistingFilesAsksAndOnNoWritesNothing) {
    W().ButtonGenerateClick();
    ASSERT_TRUE(L().AddFavouriteNamed(QStringLiteral("mine")));
    QTemporaryDir out;
    QFile existing(out.filePath(QStringLiteral("mine.png")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("mine already");
    existing.close();

    ASSERT_TRUE(L().ExportFavourites({0}, out.path(), QStringLiteral("png")));
    EXPECT_TRUE(L().ExportRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_recorder->messages.empty(); }, 60000));
    // The recorder answers the question with no Yes.
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_EQ(m_recorder->messages[0].buttons, TMsgButtons::YesNo);
    EXPECT_TRUE(m_recorder->messages[0].text.contains(QStringLiteral("mine.png")))
        << m_recorder->messages[0].text.toStdString();
    EXPECT_FALSE(L().ExportRunning()) << "not run again with --force";
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("mine.png")});
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("mine already"));
}

// Closing the window while the favourites are exported asks first: No keeps both, Yes stops the
// export and closes.
TEST_F(Library, ClosingDuringAnExportAsksAndNoKeepsItRunning) {
    const QString slow = m_data.filePath(QStringLiteral("slow-cli"));
    QFile script(slow);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec sleep 60\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    W().ButtonGenerateClick();
    ASSERT_TRUE(L().AddFavouriteNamed(QStringLiteral("mine")));
    L().SetCliPath(slow);
    QTemporaryDir out;
    ASSERT_TRUE(L().ExportFavourites({0}, out.path(), QStringLiteral("png")));
    ASSERT_TRUE(L().ExportRunning());

    W().close(); // the recorder answers No
    ASSERT_FALSE(m_recorder->messages.empty());
    EXPECT_TRUE(m_recorder->messages[0].text.contains(QStringLiteral("export")))
        << m_recorder->messages[0].text.toStdString();
    EXPECT_TRUE(W().isVisible());
    EXPECT_TRUE(L().ExportRunning());

    m_recorder->answer = TMsgResult::Yes;
    W().close();
    EXPECT_FALSE(W().isVisible());
    EXPECT_FALSE(L().ExportRunning());
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
