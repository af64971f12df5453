// Batch export: the helpers of the batch unit, the dialog's validation and whole batch runs on a
// headless generator (64 x 64, the cheapest settings) and with the real main window.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "app/dialogs/batch.h"
#include "app/dialogs/mapchoice.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/settings.h"
#include "app/gen.h"
#include "app/widgets/FormKitQt.h"
#include "gen/Generator.h"
#include "io/SafeFile.h"
#include "tests/support/FailingFileWriter.h"
#include "tests/support/FakeBatchPlatform.h"

// Readable QString output in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace vorn {
namespace {

constexpr const char* ArchivePath = PALLIMOR_BUILD_DIR "/vorn.dat";
constexpr qint64 BmpSize64 = 54 + 64 * 64 * 4;

// Every message shown, and the answers to give to the stop question (Yes when none is queued).
class MessageLog final : public TMessagePresenter {
public:
    MessageLog() = default;
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    TMsgResult Show(const TMessageRequest& request, QWidget* /*owner*/) override {
        m_requests.push_back(request);
        if (onMessage) onMessage(request);
        if (request.buttons == TMsgButtons::Ok) return TMsgResult::Ok;
        if (m_answers.empty()) return TMsgResult::Yes;
        const TMsgResult answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    void Clear() { m_requests.clear(); }

    void Answer(TMsgResult answer) { m_answers.push_back(answer); }
    const std::vector<TMessageRequest>& Requests() const { return m_requests; }
    QStringList Texts() const {
        QStringList texts;
        for (const TMessageRequest& request : m_requests) texts << request.caption + "|" + request.text;
        return texts;
    }
    std::function<void(const TMessageRequest&)> onMessage;

private:
    std::vector<TMessageRequest> m_requests;
    std::deque<TMsgResult> m_answers;
};

// The platform services a test hands to the batch dialog: a clock that stands still.
class PlatformScope : public test::FakeBatchPlatform {
public:
    PlatformScope() {
        tickCount = [] { return std::uint32_t(5000); };
    }
};

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QStringList Numbered(int count, const QString& type) {
    QStringList names;
    for (int i = 0; i < count; ++i) names << QString("image%1.%2").arg(i, 3, 10, QChar('0')).arg(type);
    return names;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

bool IsBmp64(const QString& path) {
    const QByteArray bytes = ReadAll(path);
    return bytes.size() == BmpSize64 && bytes.startsWith("BM");
}

// ---- helpers of the unit ----

TEST(BatchHelpers, GetFileTypeByListPosition) {
    EXPECT_EQ(GetFileType(0), "bmp");
    EXPECT_EQ(GetFileType(1), "png");
    EXPECT_EQ(GetFileType(2), "jpg");
    EXPECT_EQ(GetFileType(-1), "");
    EXPECT_EQ(GetFileType(3), "");
}

TEST(BatchHelpers, FormatElapsed) {
    EXPECT_EQ(FormatElapsed(0, 0), "00:00:00");
    EXPECT_EQ(FormatElapsed(1000, 1999), "00:00:00") << "whole seconds, rounded down";
    EXPECT_EQ(FormatElapsed(0, (3 * 3600 + 2 * 60 + 5) * 1000), "03:02:05");
    EXPECT_EQ(FormatElapsed(500, 500 + 59'999), "00:00:59");
    // The tick count wrapped between start and end: 0xFFFFF000 + 7000 ms = 2904 after the wrap.
    EXPECT_EQ(FormatElapsed(0xFFFFF000u, 2904u), "00:00:07");
    EXPECT_EQ(FormatElapsed(0, 100u * 3600 * 1000), "100:00:00");
    // The longest span a 32-bit tick count holds: 4294967 s = 1193 h 2 min 47 s.
    EXPECT_EQ(FormatElapsed(1, 0), "1193:02:47");
}

TEST(BatchHelpers, MyDocumentsFolder) {
    PlatformScope scope;
    scope.documentsLocation = [] { return QString("/home/someone/Documents"); };
    EXPECT_EQ(MyDocumentsFolder(true, scope), "/home/someone/Documents");
    EXPECT_EQ(MyDocumentsFolder(false, scope), "/home/someone/Documents");

    scope.documentsLocation = [] { return QString(); };
    EXPECT_EQ(MyDocumentsFolder(true, scope), "");
    try {
        MyDocumentsFolder(false, scope);
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Could not get My Documents folder location.");
    }
}

// ---- the dialog ----

TEST(BatchDialog, LooksAsAtStart) {
    QWidget owner;
    TFVornBE dialog(&owner);
    EXPECT_EQ(dialog.windowTitle(), " Batch Export");
    EXPECT_EQ(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_EQ(dialog.size(), QSize(352, 226)); // the design's 174, and a row for the maps' settings
    EXPECT_FALSE(dialog.isVisible());

    QStringList captions;
    for (const QGroupBox* group : dialog.findChildren<QGroupBox*>()) captions << group->title();
    EXPECT_EQ(captions, QStringList({"Destination Folder", "File Type", "Count"}));

    EXPECT_EQ(dialog.EditDestinationFolder->text(), "");
    EXPECT_EQ(dialog.EditDestinationFolder->width(), 312);
    EXPECT_EQ(dialog.EditDestinationFolder->toolTip(), "Double-click to select destination folder");
    EXPECT_EQ(dialog.EditCount->text(), "10");
    EXPECT_EQ(dialog.EditCount->maxLength(), 4);
    EXPECT_EQ(dialog.EditCount->toolTip(), "Number of textures to be generated [1..1000]");
    ASSERT_EQ(dialog.ComboFileType->count(), 3);
    EXPECT_FALSE(dialog.ComboFileType->isEditable());
    EXPECT_EQ(dialog.ComboFileType->itemText(0), "Microsoft Windows Bitmap (*.BMP)");
    EXPECT_EQ(dialog.ComboFileType->itemText(1), "Portable Network Graphics (*.PNG)");
    EXPECT_EQ(dialog.ComboFileType->itemText(2), "Joint Photographic Experts Group (*.JPG)");
    EXPECT_EQ(dialog.ComboFileType->currentIndex(), 2);
    EXPECT_EQ(dialog.CheckMaps->text(), "Also write maps");
    EXPECT_FALSE(dialog.CheckMaps->isChecked());
    EXPECT_TRUE(SameMapChoice(dialog.MapControls->Choice(), TMapOptions::Both(true)));
    EXPECT_FALSE(dialog.MapControls->isEnabled());
    EXPECT_EQ(dialog.ButtonExport->text(), "Export");
    EXPECT_EQ(dialog.ButtonClose->text(), "Close");
}

TEST(BatchDialog, ShowingFillsAnEmptyFolderWithTheDocumentsFolderAndCentres) {
    PlatformScope scope;
    scope.documentsLocation = [] { return QString("/home/someone/Documents"); };
    QWidget owner;
    owner.setGeometry(120, 80, 708, 544);
    owner.show();
    TFVornBE dialog(&owner, &scope);
    dialog.show();
    EXPECT_EQ(dialog.EditDestinationFolder->text(), "/home/someone/Documents");
    EXPECT_EQ(dialog.Folder, "/home/someone/Documents");
    EXPECT_EQ(dialog.geometry().center(), owner.geometry().center());
    dialog.hide();

    dialog.EditDestinationFolder->setText("/kept");
    dialog.show();
    EXPECT_EQ(dialog.EditDestinationFolder->text(), "/kept");

    // No documents folder: the field stays empty, nothing is raised.
    scope.documentsLocation = [] { return QString(); };
    dialog.hide();
    dialog.EditDestinationFolder->clear();
    dialog.show();
    EXPECT_EQ(dialog.EditDestinationFolder->text(), "");
}

TEST(BatchDialog, EmptyFolderIsRefusedAndTheDialogStays) {
    PlatformScope scope;
    scope.documentsLocation = [] { return QString(); };
    MessageLog log;
    TFVornBE dialog(nullptr, &scope, log);
    dialog.show();
    dialog.ButtonExportClick();
    EXPECT_EQ(log.Texts(), QStringList({"Alert!|Please select destination folder!  "}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.Accepted);
}

TEST(BatchDialog, CountValidation) {
    PlatformScope scope;
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    MessageLog log;
    TFVornBE dialog(nullptr, &scope, log);
    dialog.EditDestinationFolder->setText(temp.path());

    struct Case {
        const char* typed;
        int count;
        const char* boxAfter;
        bool warned;
    };
    const Case cases[] = {
        {"1", 1, "1", false},         {"10", 10, "10", false},      {"1000", 1000, "1000", false},
        {"0", 1, "0", false},         {"-5", 1, "-5", false},       {"abc", 10, "10", false},
        {"", 10, "10", false},        {"1500", 1000, "1500", true}, {"1001", 1000, "1001", true},
        {"9999", 1000, "9999", true}, {"-999", 1, "-999", false},
    };
    for (const Case& c : cases) {
        log.Clear();
        dialog.show();
        dialog.EditCount->setText(c.typed);
        dialog.ButtonExportClick();
        EXPECT_TRUE(dialog.Accepted) << c.typed;
        EXPECT_FALSE(dialog.isVisible()) << c.typed;
        EXPECT_EQ(dialog.Count, c.count) << c.typed;
        EXPECT_EQ(dialog.EditCount->text(), c.boxAfter) << c.typed;
        EXPECT_EQ(log.Texts(),
                  c.warned ? QStringList({"Alert!|Maximum texture count is 1000!  "}) : QStringList())
            << c.typed;
    }
}

TEST(BatchDialog, EnterInTheCountBoxExports) {
    QTemporaryDir temp;
    TFVornBE dialog;
    dialog.EditDestinationFolder->setText(temp.path());
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        dialog.show();
        dialog.EditCount->setText("7");
        QTest::keyClick(dialog.EditCount, key);
        EXPECT_TRUE(dialog.Accepted);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.Count, 7);
    }
    // Elsewhere Enter does not export.
    dialog.show();
    QTest::keyClick(dialog.EditDestinationFolder, Qt::Key_Return);
    EXPECT_FALSE(dialog.Accepted);
    EXPECT_TRUE(dialog.isVisible());
}

TEST(BatchDialog, CloseButtonAndCloseBoxLeaveAcceptedFalse) {
    QTemporaryDir temp;
    TFVornBE dialog;
    dialog.EditDestinationFolder->setText(temp.path());
    dialog.show();
    dialog.ButtonExportClick();
    ASSERT_TRUE(dialog.Accepted);

    dialog.show(); // a new showing starts unaccepted
    EXPECT_FALSE(dialog.Accepted);
    dialog.ButtonClose->click();
    EXPECT_FALSE(dialog.Accepted);
    EXPECT_FALSE(dialog.isVisible());

    dialog.show();
    dialog.close();
    EXPECT_FALSE(dialog.Accepted);
}

TEST(BatchDialog, MissingFolderIsCreatedOneLevelDeep) {
    QTemporaryDir temp;
    TFVornBE dialog;
    const QString fresh = temp.path() + "/fresh";
    dialog.EditDestinationFolder->setText(fresh);
    dialog.show();
    dialog.ButtonExportClick();
    EXPECT_TRUE(dialog.Accepted);
    EXPECT_TRUE(QDir(fresh).exists());

    // Two missing levels: not made, and not reported here (the first write fails instead).
    const QString deep = temp.path() + "/a/b";
    dialog.EditDestinationFolder->setText(deep);
    dialog.show();
    dialog.ButtonExportClick();
    EXPECT_TRUE(dialog.Accepted);
    EXPECT_FALSE(QDir(temp.path() + "/a").exists());
}

TEST(BatchDialog, DoubleClickBrowsesForTheFolder) {
    PlatformScope scope;
    QString answer = "/picked/folder";
    QString title, initial;
    bool allowNew = false;
    int calls = 0;
    scope.browseFolder = [&](QWidget*, const QString& t, const QString& i, bool a) {
        ++calls;
        title = t;
        initial = i;
        allowNew = a;
        return answer;
    };
    MessageLog log;
    TFVornBE dialog(nullptr, &scope, log);
    dialog.EditDestinationFolder->setText("/typed");
    dialog.show();
    QTest::mouseDClick(dialog.EditDestinationFolder, Qt::LeftButton);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(title, "Select destination folder");
    EXPECT_EQ(initial, "");
    EXPECT_TRUE(allowNew);
    EXPECT_EQ(dialog.EditDestinationFolder->text(), "/picked/folder");
    EXPECT_EQ(dialog.Folder, "/picked/folder");

    // Cancelling the browser empties the field; Export then asks for a folder.
    answer.clear();
    QTest::mouseDClick(dialog.EditDestinationFolder, Qt::LeftButton);
    EXPECT_EQ(dialog.EditDestinationFolder->text(), "");
    EXPECT_EQ(dialog.Folder, "");
    dialog.ButtonExportClick();
    EXPECT_EQ(log.Texts(), QStringList({"Alert!|Please select destination folder!  "}));
    EXPECT_TRUE(dialog.isVisible());
}

// ---- batch runs on a headless generator ----

// The generator's hooks: the synthesis calls PumpMessages once per step, so a test can act in
// the middle of a texture.
class StepHooks final : public TGenHooks {
public:
    void PumpMessages() override {
        if (onStep) onStep();
    }
    std::function<void()> onStep;
};

// Each batch test runs with the files written one after the other and with the writing
// overlapped (the window's own way).
class BatchRun : public ::testing::TestWithParam<bool> {
protected:
    static bool Overlap() { return GetParam(); }

    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        m_folder = m_temp.path() + "/out";
        // The cheapest texture: 1024 steps of small hard brushes drawn over the old tile, 64 x 64.
        m_settings.image = 1;
        m_settings.steps = 0;
        m_settings.brushSize = 0;
        m_settings.brushType = 0;
        m_settings.bgFill = 0;
        m_settings.bgForm = 0;
        m_settings.effect = 0;
        m_generator = std::make_unique<TGenerator>(m_settings, &m_hooks);
        m_generator->ComponentsInit();
        ASSERT_EQ(m_generator->Startup(nullptr, ArchivePath).failure, TStartupFailure::None);
        m_generator->TextureSize = 64;

        m_owner.setGeometry(100, 100, 708, 544);
        m_progressBar = new QProgressBar(&m_owner);
        m_progressBar->setRange(1, 10);
        m_progressBar->setValue(1);
        m_panelSettings = new QWidget(&m_owner);
        m_panelControls = new QWidget(&m_owner);
        m_dialog = new TFVornBE(&m_owner, &m_platform, m_log);
        m_progress = new TFVornBP(&m_owner);
        m_owner.show();
    }

    TBatchWindow Window() {
        return {&m_owner,
                m_generator.get(),
                m_panelSettings,
                m_panelControls,
                m_progressBar,
                m_dialog,
                m_progress,
                95,
                &m_writer,
                Overlap(),
                {},
                {}};
    }

    // Fills the dialog as a user would, presses Export while it is shown modally, runs the batch.
    int Run(const QString& count, int typeIndex, const QString& folder = {}) {
        m_dialog->EditDestinationFolder->setText(folder.isEmpty() ? m_folder : folder);
        m_dialog->EditCount->setText(count);
        m_dialog->ComboFileType->setCurrentIndex(typeIndex);
        QTimer::singleShot(0, m_dialog, [this] {
            m_dialog->ButtonExportClick();
            if (m_dialog->isVisible()) m_dialog->ButtonCloseClick(); // never leave a test waiting
        });
        return RunBatchExport(Window());
    }

    // The window is back to normal after a batch.
    void ExpectIdle() {
        EXPECT_TRUE(m_panelSettings->isEnabled());
        EXPECT_TRUE(m_panelControls->isEnabled());
        EXPECT_EQ(m_progressBar->value(), 1);
        EXPECT_FALSE(m_progress->isVisible());
        EXPECT_FALSE(m_generator->BatchRunning);
    }

    // Runs action once, during the generation of texture number of count.
    void DuringTexture(int number, int count, std::function<void()> action) {
        const QString counter =
            QString("%1 / %2").arg(number, 4, 10, QChar('0')).arg(count, 4, 10, QChar('0'));
        m_hooks.onStep = [this, counter, action, done = false]() mutable {
            if (!done && m_progress->CounterText() == counter) {
                done = true;
                action();
            }
        };
    }

    QTemporaryDir m_temp;
    QString m_folder;
    PlatformScope m_platform;
    TGenSettings m_settings;
    StepHooks m_hooks;
    std::unique_ptr<TGenerator> m_generator;
    QWidget m_owner;
    QProgressBar* m_progressBar = nullptr;
    QWidget* m_panelSettings = nullptr;
    QWidget* m_panelControls = nullptr;
    TFVornBE* m_dialog = nullptr;
    TFVornBP* m_progress = nullptr;
    test::FailingFileWriter m_writer;
    MessageLog m_log; // what the dialog and the batch report
};

TEST_P(BatchRun, CountOneWritesOnlyImage000) {
    MessageLog& log = m_log;
    EXPECT_EQ(Run("1", 2), 1);
    EXPECT_EQ(FilesIn(m_folder), QStringList({"image000.jpg"})) << "the folder was made one level deep";
    EXPECT_TRUE(ReadAll(m_folder + "/image000.jpg").startsWith("\xFF\xD8\xFF"));
    EXPECT_EQ(m_progress->CounterText(), "0001 / 0001");
    EXPECT_EQ(log.Texts(), QStringList({"Done!|1 textures exported successfully in 00:00:00!  "}));
    ExpectIdle();
}

TEST_P(BatchRun, InvalidCountWritesTen) {
    MessageLog& log = m_log;
    EXPECT_EQ(Run("abc", 0), 10);
    EXPECT_EQ(m_dialog->EditCount->text(), "10");
    EXPECT_EQ(FilesIn(m_folder), Numbered(10, "bmp"));
    EXPECT_EQ(log.Texts(), QStringList({"Done!|10 textures exported successfully in 00:00:00!  "}));
}

TEST_P(BatchRun, TooManyWritesTheMaximumOfAThousand) {
    MessageLog& log = m_log;
    EXPECT_EQ(Run("1500", 0), 1000);
    EXPECT_EQ(FilesIn(m_folder), Numbered(1000, "bmp"));
    EXPECT_TRUE(IsBmp64(m_folder + "/image999.bmp"));
    EXPECT_EQ(m_progress->CounterText(), "1000 / 1000");
    EXPECT_EQ(log.Texts(), QStringList({"Alert!|Maximum texture count is 1000!  ",
                                        "Done!|1000 textures exported successfully in 00:00:00!  "}));
    ExpectIdle();
}

TEST_P(BatchRun, FinalMessageGivesTheElapsedTimeAcrossATickWrap) {
    MessageLog& log = m_log;
    std::deque<std::uint32_t> ticks = {0xFFFFE380u, 204u}; // 7500 ms apart, across the wrap
    m_platform.tickCount = [&ticks] {
        const std::uint32_t tick = ticks.front();
        if (ticks.size() > 1) ticks.pop_front();
        return tick;
    };
    EXPECT_EQ(Run("2", 0), 2);
    EXPECT_EQ(log.Texts(), QStringList({"Done!|2 textures exported successfully in 00:00:07!  "}));
}

// Files the batch would write exist: one question. No keeps the dialog (and the files); Yes
// replaces them and nothing beyond the batch.
TEST_P(BatchRun, ExistingFilesAreReplacedOnlyAfterAsking) {
    QDir().mkpath(m_folder);
    WriteText(m_folder + "/image000.bmp", "stale");
    WriteText(m_folder + "/image001.bmp", "stale");
    WriteText(m_folder + "/image002.bmp", "beyond the batch");
    const QString question =
        "Alert!|2 files of this batch exist already in this folder, image000.bmp first. Replace them?  ";
    MessageLog& log = m_log;
    log.Answer(TMsgResult::No);
    EXPECT_EQ(Run("2", 0), 0);
    EXPECT_EQ(log.Texts(), QStringList({question}));
    EXPECT_EQ(ReadAll(m_folder + "/image000.bmp"), "stale");
    log.Clear();
    EXPECT_EQ(Run("2", 0), 2);
    EXPECT_TRUE(IsBmp64(m_folder + "/image000.bmp"));
    EXPECT_TRUE(IsBmp64(m_folder + "/image001.bmp"));
    EXPECT_EQ(ReadAll(m_folder + "/image002.bmp"), "beyond the batch");
    EXPECT_EQ(log.Texts(), QStringList({question, "Done!|2 textures exported successfully in 00:00:00!  "}));
    log.Clear();
    Run("1", 2);
    Run("1", 2);
    EXPECT_EQ(log.Texts()[1], "Alert!|image000.jpg exists already in this folder. Replace it?  ");
}

// Ticked, each texture gets the maps chosen below the box beside it (the height a 16-bit grey
// PNG, the occlusion an 8-bit grey one), and the choice is remembered in the settings.
TEST_P(BatchRun, TheMapsCheckBoxWritesEachTexturesMapsAndIsRemembered) {
    QSettings("Quorvane", "Vorn").remove("Settings/Maps"); // off, as at the first start
    QSettings("Quorvane", "Vorn").remove("Settings/MapKinds");
    {
        TFVornS settings(&m_owner, m_log);
        TBatchWindow window = Window();
        window.settings = &settings;
        m_dialog->EditDestinationFolder->setText(m_folder);
        m_dialog->EditCount->setText("2");
        m_dialog->ComboFileType->setCurrentIndex(1);
        QTimer::singleShot(0, m_dialog, [this] {
            m_dialog->CheckMaps->click();
            m_dialog->MapControls->CheckNormal->click();
            m_dialog->MapControls->CheckOcclusion->click();
            m_dialog->ButtonExportClick();
        });
        EXPECT_EQ(RunBatchExport(window), 2);
        EXPECT_TRUE(settings.WriteMaps);
        EXPECT_TRUE(settings.MapChoice.occlusion && !settings.MapChoice.normal);
    }
    EXPECT_EQ(FilesIn(m_folder), QStringList({"image000.png", "image000_ao.png", "image000_height.png",
                                              "image001.png", "image001_ao.png", "image001_height.png"}));
    // IHDR's bit depth and colour type.
    EXPECT_EQ(ReadAll(m_folder + "/image001_height.png").mid(24, 2), QByteArray("\x10\x00", 2));
    EXPECT_EQ(ReadAll(m_folder + "/image001_ao.png").mid(24, 2), QByteArray("\x08\x00", 2));
    EXPECT_EQ(QSettings("Quorvane", "Vorn").value("Settings/Maps").toString(), "true");
    EXPECT_EQ(QSettings("Quorvane", "Vorn").value("Settings/MapKinds").toString(), "height,ao");
    TFVornS again(&m_owner, m_log);
    again.Load();
    EXPECT_TRUE(SameMapChoice(again.MapOptions(), m_dialog->MapChoice));
    QSettings("Quorvane", "Vorn").remove("Settings/Maps");
    QSettings("Quorvane", "Vorn").remove("Settings/MapKinds");
}

// An engine's set chosen below the box: every texture gets the set's files, the replace question
// counts each of them, the set's packed maps' own controls rest, the choice is remembered; a
// glTF set refuses BMP and keeps the dialog.
TEST_P(BatchRun, AMaterialSetWritesItsFilesAndTheQuestionCountsThemAll) {
    for (const char* key : {"Settings/Maps", "Settings/MapKinds", "Settings/Material"})
        QSettings("Quorvane", "Vorn").remove(key);
    QDir().mkpath(m_folder);
    WriteText(m_folder + "/image000_ORM.png", "stale");
    WriteText(m_folder + "/image001_import.txt", "stale");
    {
        TFVornS settings(&m_owner, m_log);
        TBatchWindow window = Window();
        window.settings = &settings;
        m_dialog->EditDestinationFolder->setText(m_folder);
        m_dialog->EditCount->setText("2");
        m_dialog->ComboFileType->setCurrentIndex(0); // BMP: refused for glTF
        QTimer::singleShot(0, m_dialog, [this] {
            m_dialog->CheckMaps->click();
            m_dialog->MapControls->CheckHeight->click(); // off
            m_dialog->MapControls->ComboMaterial->setCurrentIndex(1);
            m_dialog->ButtonExportClick();
            EXPECT_TRUE(m_dialog->isVisible());
            m_dialog->ComboFileType->setCurrentIndex(1);
            m_dialog->MapControls->ComboMaterial->setCurrentIndex(5);
            EXPECT_FALSE(m_dialog->MapControls->CheckNormal->isEnabled());
            m_dialog->ButtonExportClick();
        });
        EXPECT_EQ(RunBatchExport(window), 2);
        EXPECT_EQ(settings.MapChoice.material, TMaterialSet::Unreal);
    }
    EXPECT_EQ(m_log.Texts().mid(0, 2),
              QStringList({"Alert!|A glTF material needs a PNG or JPEG texture",
                           "Alert!|2 files of this batch exist already in this folder, image000_ORM.png first. "
                           "Replace them?  "}));
    EXPECT_EQ(FilesIn(m_folder),
              QStringList({"image000.png", "image000_N.png", "image000_ORM.png", "image000_import.txt",
                           "image001.png", "image001_N.png", "image001_ORM.png", "image001_import.txt"}));
    EXPECT_EQ(QSettings("Quorvane", "Vorn").value("Settings/Material").toString(), "unreal");
    for (const char* key : {"Settings/Maps", "Settings/MapKinds", "Settings/Material"})
        QSettings("Quorvane", "Vorn").remove(key);
}

TEST_P(BatchRun, WhileRunningTheWindowBelongsToTheBatch) {
    int checked = 0;
    m_hooks.onStep = [&] {
        if (m_progress->CounterText() != "0003 / 0004" || checked++) return;
        EXPECT_FALSE(m_panelSettings->isEnabled());
        EXPECT_FALSE(m_panelControls->isEnabled());
        EXPECT_TRUE(m_progress->isVisible());
        EXPECT_TRUE(m_generator->BatchRunning);
        EXPECT_EQ(m_progressBar->minimum(), 1);
        EXPECT_EQ(m_progressBar->maximum(), 4);
        // With overlap texture 2 is being written meanwhile.
        EXPECT_EQ(m_progressBar->value(), Overlap() ? 1 : 2) << "the number of the texture written last";
        EXPECT_EQ(m_progress->Total, 4);
    };
    EXPECT_EQ(Run("4", 0), 4);
    EXPECT_EQ(checked, 1024) << "one message pump per synthesis step";
    ExpectIdle();
}

TEST_P(BatchRun, CloseRunsNothing) {
    MessageLog& log = m_log;
    m_generator->BatchRunning = true;
    m_dialog->EditDestinationFolder->setText(m_folder);
    QTimer::singleShot(0, m_dialog, [this] { m_dialog->ButtonCloseClick(); });
    EXPECT_EQ(RunBatchExport(Window()), 0);
    EXPECT_FALSE(QDir(m_folder).exists());
    EXPECT_TRUE(log.Requests().empty());
    ExpectIdle();
}

TEST_P(BatchRun, EscapeOnTheMainWindowThenYesStopsAfterTheCurrentTexture) {
    MessageLog& log = m_log;
    bool progressShownDuringQuestion = true;
    log.onMessage = [&](const TMessageRequest&) { progressShownDuringQuestion = m_progress->isVisible(); };
    DuringTexture(5, 10,
                  [this] { m_generator->BatchRunning = false; }); // what Escape on the main window does
    log.Answer(TMsgResult::Yes);
    EXPECT_EQ(Run("10", 0), 5);
    EXPECT_EQ(FilesIn(m_folder), Numbered(5, "bmp"));
    EXPECT_TRUE(IsBmp64(m_folder + "/image004.bmp"));
    EXPECT_EQ(log.Texts(), QStringList({"Alert!|Do you really want to stop batch export?  ",
                                        "Done!|5 textures exported successfully in 00:00:00!  "}));
    EXPECT_EQ(log.Requests()[0].buttons, TMsgButtons::YesNo);
    EXPECT_FALSE(progressShownDuringQuestion);
    ExpectIdle();
}

TEST_P(BatchRun, EscapeOnTheProgressWindowThenNoGoesOn) {
    MessageLog& log = m_log;
    log.Answer(TMsgResult::No);
    DuringTexture(5, 10, [this] { QTest::keyClick(m_progress, Qt::Key_Escape); });
    bool checkedSix = false;
    auto escape = m_hooks.onStep;
    m_hooks.onStep = [&, escape] {
        escape();
        if (!checkedSix && m_progress->CounterText() == "0006 / 0010") {
            checkedSix = true;
            EXPECT_TRUE(m_progress->isVisible()) << "shown again after No";
            EXPECT_FALSE(m_progress->CancelRequested);
            EXPECT_TRUE(m_generator->BatchRunning);
            EXPECT_EQ(m_progressBar->value(), Overlap() ? 4 : 5);
            EXPECT_EQ(m_progressBar->maximum(), 10);
        }
    };
    EXPECT_EQ(Run("10", 0), 10);
    EXPECT_TRUE(checkedSix);
    EXPECT_EQ(FilesIn(m_folder), Numbered(10, "bmp"));
    EXPECT_EQ(log.Texts(), QStringList({"Alert!|Do you really want to stop batch export?  ",
                                        "Done!|10 textures exported successfully in 00:00:00!  "}));
    ExpectIdle();
}

TEST_P(BatchRun, WriteFailureStopsReportsAndLeavesTheWindowUsable) {
    QDir().mkpath(m_folder);
    WriteText(m_folder + "/image003.bmp", "earlier file");
    MessageLog& log = m_log;
    // Each 64 x 64 BMP is one write call: the fourth file's write fails with ENOSPC.
    m_writer.writesBeforeFailure = 3;
    EXPECT_EQ(Run("10", 0), 3);

    ASSERT_EQ(log.Requests().size(), 2u);
    EXPECT_EQ(log.Requests()[0].text, "image003.bmp exists already in this folder. Replace it?  ");
    const TMessageRequest& report = log.Requests()[1];
    EXPECT_EQ(report.caption, "Pallimor");
    EXPECT_EQ(report.buttons, TMsgButtons::Ok);
    EXPECT_TRUE(report.text.contains(m_folder + "/image003.bmp")) << report.text.toStdString();
    EXPECT_TRUE(report.text.contains("No space left on device")) << report.text.toStdString();
    ExpectIdle();

    // The files written before stay whole, the one that failed is neither half-written nor
    // lost, and no temporary file is left behind.
    QStringList expected = Numbered(4, "bmp");
    EXPECT_EQ(FilesIn(m_folder), expected);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(IsBmp64(m_folder + "/" + expected[i])) << i;
    EXPECT_EQ(ReadAll(m_folder + "/image003.bmp"), "earlier file");

    // The next batch works normally.
    m_writer = test::FailingFileWriter{};
    EXPECT_EQ(Run("5", 0), 5);
    EXPECT_EQ(FilesIn(m_folder), Numbered(5, "bmp"));
    EXPECT_EQ(log.Texts().last(), "Done!|5 textures exported successfully in 00:00:00!  ");
    ExpectIdle();
}

TEST_P(BatchRun, ClosingTheMainWindowEndsTheBatchQuietly) {
    MessageLog& log = m_log;
    DuringTexture(3, 10, [this] { m_owner.close(); });
    EXPECT_EQ(Run("10", 0), 3);
    EXPECT_EQ(FilesIn(m_folder), Numbered(3, "bmp"));
    EXPECT_TRUE(log.Requests().empty()) << "no question and no report once the program is closing";
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Writing, BatchRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Overlapped" : "Sequential";
                         });

// ---- with the real main window ----

TEST(BatchMainWindow, EscapeOnTheMainWindowAsksAndTheWindowReturnsToNormal) {
    PlatformScope scope;
    MessageLog log;
    QTemporaryDir temp;
    TFOrlu window([] { return std::string(ArchivePath); }, nullptr, {}, log);
    window.Track(gpSteps)->setValue(0);
    window.List(gpBrushSize)->setCurrentIndex(0);
    window.List(gpBGForm)->setCurrentIndex(0);
    window.Generator().TextureSize = 64;
    TFVornBE dialog(&window, &scope, log);
    TFVornBP progress(&window);
    window.show();

    // Escape reaches the main window during texture 2 of 3; answering Yes ends the batch there.
    QTimer poll;
    bool pressed = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!pressed && progress.CounterText() == "0002 / 0003") {
            pressed = true;
            // Twice: a second Escape before the question only asks again, it never closes.
            QTest::keyClick(&window, Qt::Key_Escape);
            QTest::keyClick(&window, Qt::Key_Escape);
        }
    });
    poll.start(0);
    log.Answer(TMsgResult::Yes);
    dialog.EditDestinationFolder->setText(temp.path());
    dialog.EditCount->setText("3");
    dialog.ComboFileType->setCurrentIndex(1);
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.ButtonExportClick(); });
    window.FVornBE = &dialog;
    window.FVornBP = &progress;
    window.ButtonBatch->click(); // the "Batch Export" button runs the batch
    poll.stop();

    EXPECT_TRUE(pressed);
    EXPECT_EQ(FilesIn(temp.path()), Numbered(2, "png"));
    EXPECT_EQ(log.Texts(), QStringList({"Alert!|Do you really want to stop batch export?  ",
                                        "Done!|2 textures exported successfully in 00:00:00!  "}));
    EXPECT_TRUE(window.isVisible()) << "Escape during a batch does not close the window";
    EXPECT_TRUE(window.PanelSettings->isEnabled());
    EXPECT_TRUE(window.PanelControls->isEnabled());
    EXPECT_EQ(window.ProgressBar->value(), 1);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(window.Generator().BatchRunning);
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
