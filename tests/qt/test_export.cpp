// The Export command of the main window with the real engine behind it: the save dialog's name,
// filter and folder, the formats and the JPEG quality, write errors, recipes in files, the
// Settings' brushes, and the questions before existing files are replaced. Modal dialogs are
// answered from a zero timer that runs inside their event loop; message boxes are recorded.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>
#include <cstring>
#include <memory>
#include <string>

#include "app/ExportQt.h"
#include "app/HistoryQt.h"
#include "app/StatusQt.h"
#include "app/dialogs/settings.h"
#include "app/gen.h"
#include "engine/VornDef.h"
#include "engine/soft/SoftDevice.h"
#include "export/EmbeddedRecipe.h"
#include "gen/OutputTexture.h"
#include "test_support.h"

namespace vorn {
namespace {

using test::AnswerNextDialog;

// The first quantisation value (luminance DC) of a baseline JPEG file; -1 when there is none.
int FirstQuantValue(const QByteArray& jpeg) {
    for (int i = 2; i + 5 < jpeg.size();) {
        if (static_cast<unsigned char>(jpeg[i]) != 0xFF) return -1;
        const int marker = static_cast<unsigned char>(jpeg[i + 1]);
        const int length =
            (static_cast<unsigned char>(jpeg[i + 2]) << 8) | static_cast<unsigned char>(jpeg[i + 3]);
        if (marker == 0xDB) return static_cast<unsigned char>(jpeg[i + 5]); // after Pq/Tq
        i += 2 + length;
    }
    return -1;
}

// libjpeg's scaling of the base luminance DC value 16 for a quality, with baseline limits.
int ExpectedDcQuant(int quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    return std::clamp((16 * scale + 50) / 100, 1, 255);
}

class MainWindowExport : public ::testing::Test {
protected:
    void SetUp() override {
        m_recorder = std::make_unique<test::MessageRecorder>();
        m_window = std::make_unique<TFOrlu>([] { return std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat"; },
                                            nullptr, sd::Direct3DFactory{}, *m_recorder);
        ASSERT_TRUE(m_recorder->messages.empty()) << m_recorder->messages[0].text.toStdString();
        ASSERT_FALSE(Gen().StartupIncomplete);
        ASSERT_TRUE(m_folder.isValid());
        m_settings = std::make_unique<TFVornS>(&W(), *m_recorder);
        W().FVornS = m_settings.get();
    }
    void TearDown() override {
        m_settings.reset();
        m_window.reset();
    }

    TGenerator& Gen() { return m_window->Generator(); }
    TFOrlu& W() { return *m_window; }
    static QByteArray Read(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void Write(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // Runs the Export command, answering its save dialog with typed (in the dialog's folder
    // m_folder) after choosing filter, when given. Returns what the dialog showed at first.
    struct Shown {
        QString filter;
        QString fileName;
    };
    Shown Export(const QString& typed, int filter = -1, bool cancel = false) {
        Shown shown;
        AnswerNextDialog<QFileDialog>(&W(), [&](QFileDialog* dialog) {
            shown.filter = dialog->selectedNameFilter();
            if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) shown.fileName = edit->text();
            // The dialog asks about an existing file itself unless maps are written too.
            EXPECT_EQ(dialog->testOption(QFileDialog::DontConfirmOverwrite), m_settings->WriteMaps);
            if (filter >= 0) {
                auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
                ASSERT_NE(types, nullptr);
                types->setCurrentIndex(filter);
                emit types->activated(filter); // as a user's choice
            }
            if (cancel) {
                dialog->reject();
                return;
            }
            dialog->setDirectory(m_folder.path());
            dialog->selectFile(typed);
            static_cast<QDialog*>(dialog)->accept();
        });
        W().ButtonExportClick();
        return shown;
    }

    std::unique_ptr<test::MessageRecorder> m_recorder;
    std::unique_ptr<TFOrlu> m_window;
    QTemporaryDir m_folder;
    std::unique_ptr<TFVornS> m_settings;
};

// A file writer whose writes wait until the test opens the gate.
class GateWriter : public TFileWriter {
public:
    std::atomic<bool> open{false};
    std::atomic<int> waiting{0};
    ssize_t Write(int fd, const void* data, std::size_t size) override {
        ++waiting;
        while (!open) std::this_thread::yield();
        return TFileWriter::Write(fd, data, size);
    }
};

// A texture beyond 1024 is saved on a thread of its own: Export returns while the file is being
// written (the window answers), the file appears only whole, and the status bar tells the end.
TEST_F(MainWindowExport, ALargeTextureIsSavedWhileTheWindowGoesOn) {
    while (Gen().TextureSize < 2048) W().UpDownSize->Press(btNext);
    W().ButtonGenerateClick();
    GateWriter gate;
    W().Export().Writer = &gate;
    Export("large.png");
    EXPECT_TRUE(W().Export().Saving());
    EXPECT_EQ(W().Status->Text->text(), "Saving large.png...");
    while (gate.waiting == 0) std::this_thread::yield(); // the save is writing, the window free
    EXPECT_FALSE(QFile::exists(m_folder.filePath("large.png")));
    QApplication::processEvents(); // the window answers meanwhile
    gate.open = true;
    for (int i = 0; i < 2000 && W().Export().Saving(); ++i) {
        QApplication::processEvents();
        QTest::qWait(5);
    }
    EXPECT_FALSE(W().Export().Saving());
    EXPECT_EQ(W().Status->Text->text(), "Saved large.png");
    const QByteArray file = Read(m_folder.filePath("large.png"));
    ASSERT_GT(file.size(), 24);
    EXPECT_EQ(file.mid(16, 8), QByteArray("\x00\x00\x08\x00\x00\x00\x08\x00", 8)); // IHDR 2048 x 2048
    W().Export().Writer = &SystemFileWriter();
}

TEST_F(MainWindowExport, WritesJpegWithTheQualityOfTheSettings) {
    m_settings->show();
    m_settings->TrackQuality->setValue(40);
    m_settings->close(); // by the close box: the quality holds all the same

    const Shown shown = Export("texture.jpg");
    EXPECT_EQ(shown.filter, TFOrlu::SaveFilters[2]);
    EXPECT_EQ(shown.fileName, QString());

    QFile file(m_folder.filePath("texture.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();
    ASSERT_GE(jpeg.size(), 4);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
    EXPECT_EQ(FirstQuantValue(jpeg), ExpectedDcQuant(40));
    EXPECT_NE(ExpectedDcQuant(40), ExpectedDcQuant(95));
    EXPECT_TRUE(m_recorder->messages.empty());
}

TEST_F(MainWindowExport, FileNameIsClearedAndTheChosenFilterKept) {
    Export("first");
    EXPECT_TRUE(QFile::exists(m_folder.filePath("first.jpg"))) << "JPEG is the filter at first";
    // The PNG filter chosen and a name without extension: the filter's extension is added.
    const Shown second = Export("second", 1);
    EXPECT_EQ(second.fileName, QString()) << "the previous name is not offered again";
    EXPECT_TRUE(QFile::exists(m_folder.filePath("second.png")));
    QFile png(m_folder.filePath("second.png"));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_TRUE(png.read(8) == QByteArray("\x89PNG\r\n\x1a\n", 8));
    // Another extension than the three: the filter's is added; an alias in capitals is kept.
    Export("tex4.gif");
    Export("tex5.JPEG");
    EXPECT_EQ(QDir(m_folder.path()).entryList(QDir::Files),
              (QStringList{"first.jpg", "second.png", "tex4.gif.png", "tex5.JPEG"}));

    const Shown third = Export("", -1, true);
    EXPECT_EQ(third.filter, TFOrlu::SaveFilters[1]);
    EXPECT_TRUE(m_recorder->messages.empty());
}

TEST_F(MainWindowExport, CancelWritesNothing) {
    Export("", -1, true);
    EXPECT_TRUE(QDir(m_folder.path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(m_recorder->messages.empty());
}

TEST_F(MainWindowExport, SizeOfTheExportFollowsTheSizeArrows) {
    W().UpDownSizeClick(btPrev);
    W().UpDownSizeClick(btPrev); // 64
    Export("small.bmp");
    QFile file(m_folder.filePath("small.bmp"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bmp = file.readAll();
    ASSERT_GE(bmp.size(), 26);
    const auto le32 = [&](int at) {
        return int(static_cast<unsigned char>(bmp[at])) | int(static_cast<unsigned char>(bmp[at + 1])) << 8 |
               int(static_cast<unsigned char>(bmp[at + 2])) << 16 |
               int(static_cast<unsigned char>(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    EXPECT_EQ(le32(18), 64); // width
    EXPECT_EQ(le32(22), 64); // height
}

TEST_F(MainWindowExport, WriteErrorIsShownWithFileAndReasonAndTheProgramGoesOn) {
    const QString target = m_folder.filePath("missing/texture.png");
    Export("missing/texture.png");
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    const TMessageRequest& message = m_recorder->messages[0];
    EXPECT_TRUE(message.text.contains(target)) << message.text.toStdString();
    EXPECT_GT(message.text.size(), target.size() + 4) << "the reason follows the name";
    EXPECT_EQ(message.caption, QString("Pallimor"));
    EXPECT_EQ(message.buttons, TMsgButtons::Ok);
    m_recorder->messages.clear();
    EXPECT_TRUE(W().PanelControls->isEnabled());
    // The next export works.
    Export("fine.png");
    EXPECT_TRUE(QFile::exists(m_folder.filePath("fine.png")));
}

// With the setting on, an exported PNG and JPEG carry the texture's recipe; opening either
// (Ctrl+O, a drop) makes that texture again; a file without one is one message.
TEST_F(MainWindowExport, RecipeInTheFileMakesTheTextureAgain) {
    m_settings->ChooseEmbedRecipe(true);
    W().ButtonGenerateClick();
    const std::string code = W().History->RecipeText().toStdString();
    TBitmap32 made;
    ASSERT_TRUE(ReadOutputTexture(Gen(), made));
    Export("with.png");
    Export("with.jpg");
    m_settings->ChooseEmbedRecipe(false);
    Export("without.png");
    for (const char* name : {"with.png", "with.jpg"}) {
        EXPECT_EQ(ReadRecipeOfFile(m_folder.filePath(name).toStdString()).code, code) << name;
        W().ButtonGenerateClick();
        ASSERT_TRUE(W().History->OpenRecipeFile(m_folder.filePath(name))) << name;
        TBitmap32 again;
        ASSERT_TRUE(ReadOutputTexture(Gen(), again));
        EXPECT_EQ(std::memcmp(again.Bits(), made.Bits(), made.Pitch() * std::size_t(made.Height())), 0)
            << name;
    }
    EXPECT_TRUE(m_recorder->messages.empty());
    EXPECT_FALSE(W().History->OpenRecipeFile(m_folder.filePath("without.png")));
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_TRUE(m_recorder->messages[0].text.startsWith("without.png holds no recipe."));
}

// The Settings' Brushes row: another archive applies to the next texture once Save is pressed,
// is remembered and shown in the status bar; one without the ten images is refused with one
// message and the set in use stays.
TEST_F(MainWindowExport, BrushesRowAppliesAndRefusesASet) {
    m_settings->OnBrushes = [this](const QString& path) { return W().UseBrushes(path); };
    const auto choose = [this](const QString& file) {
        AnswerNextDialog<QFileDialog>(&W(), [&](QFileDialog* dialog) {
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
        });
        m_settings->ComboBrushesChoose(m_settings->ComboBrushes->findText("Other archive\u2026"));
        m_settings->ButtonSaveClick();
    };
    EXPECT_EQ(W().Status->Text->text(), QString("Brushes: default"));
    const QString ink = QString(PALLIMOR_BUILD_DIR) + "/vorn-ink.dat";
    choose(ink);
    EXPECT_EQ(m_settings->BrushesPath, ink);
    EXPECT_EQ(m_settings->ComboBrushes->currentText(), QString("vorn-ink.dat"));
    EXPECT_TRUE(W().Status->Text->text().contains("ink")) << W().Status->Text->text().toStdString();
    random::SetSeed(5);
    W().ButtonGenerateClick();
    EXPECT_TRUE(W().History->RecipeText().contains(".brushes=40771028."))
        << W().History->RecipeText().toStdString();
    EXPECT_TRUE(m_recorder->messages.empty());

    choose(QString(PALLIMOR_TEST_DATA) + "/image-format-unknown.dat");
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_TRUE(m_recorder->messages[0].text.contains("usable images; the generator needs 10"));
    EXPECT_EQ(m_settings->BrushesPath, ink);
    EXPECT_EQ(Gen().BrushSetHash, 0x40771028u);
}

// An export onto existing files replaced a large texture and its maps silently. The dialog asks
// about the texture's file (No keeps it); with maps one question names every file replaced.
TEST_F(MainWindowExport, ExportOntoAnExistingFileAsksAndNoKeepsTheFile) {
    const QString texture = m_folder.filePath("tex.png");
    Write(texture, "an earlier texture");
    bool asked = false;
    AnswerNextDialog<QFileDialog>(&W(), [&](QFileDialog* dialog) {
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        dialog->setDirectory(m_folder.path());
        dialog->selectFile("tex.png");
        AnswerNextDialog<QMessageBox>(dialog, [&, dialog](QMessageBox* box) {
            asked = box->text().contains("tex.png");
            box->button(QMessageBox::No)->click();
            QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); }); // and the user gives up
        });
        static_cast<QDialog*>(dialog)->accept();
    });
    W().ButtonExportClick();
    EXPECT_TRUE(asked);
    EXPECT_EQ(Read(texture), QByteArray("an earlier texture"));
    EXPECT_TRUE(m_recorder->messages.empty());

    // With maps: the dialog leaves it to the one question, which names the maps; No keeps all.
    m_settings->ChooseWriteMaps(true);
    const QString height = m_folder.filePath("tex_height.png");
    Write(height, "an earlier map");
    m_recorder->answer = TMsgResult::No;
    Export("tex.png");
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    const TMessageRequest& question = m_recorder->messages[0];
    EXPECT_EQ(question.buttons, TMsgButtons::YesNo);
    EXPECT_EQ(question.text, QString("tex.png and its maps tex_height.png already exist. Replace them?"));
    EXPECT_EQ(Read(texture), QByteArray("an earlier texture"));
    EXPECT_EQ(Read(height), QByteArray("an earlier map"));
    EXPECT_FALSE(QFile::exists(m_folder.filePath("tex_normal.png")));

    m_recorder->answer = TMsgResult::Yes;
    Export("tex.png");
    EXPECT_EQ(m_recorder->messages.size(), 2u);
    EXPECT_TRUE(Read(texture).startsWith("\x89PNG"));
    EXPECT_TRUE(Read(height).startsWith("\x89PNG"));
    EXPECT_TRUE(QFile::exists(m_folder.filePath("tex_normal.png")));
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
