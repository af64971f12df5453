#include "app/dialogs/batch.h"

#include "app/dialogs/mapchoice.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <chrono>
#include <stdexcept>

#include "app/dialogs/progress.h"
#include "app/dialogs/settings.h"
#include "app/widgets/FormKitQt.h"
#include "export/MaterialSets.h"
#include "gen/BatchLoop.h"
#include "gen/Generator.h"

namespace vorn {

namespace {

QString QtBrowseFolder(QWidget* owner, const QString& title, const QString& initialFolder,
                       bool allowNewFolder) {
    // Starts at the desktop unless a folder is given; without new folders the view is read-only.
    const QString start = initialFolder.isEmpty()
                              ? QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
                              : initialFolder;
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    if (!allowNewFolder) options |= QFileDialog::ReadOnly;
    return QFileDialog::getExistingDirectory(owner, title, start, options);
}

std::uint32_t SteadyTickCount() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count()); // wraps like a 32-bit tick count
}

QGroupBox* Group(QWidget* parent, const QString& caption, int left, int top, int width, int height) {
    auto* group = new QGroupBox(caption, parent);
    group->setGeometry(left, top, width, height);
    return group;
}

} // namespace

QString TBatchPlatform::BrowseFolder(QWidget* owner, const QString& title, const QString& initialFolder,
                                     bool allowNewFolder) {
    return QtBrowseFolder(owner, title, initialFolder, allowNewFolder);
}

QString TBatchPlatform::DocumentsLocation() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

std::uint32_t TBatchPlatform::TickCount() {
    return SteadyTickCount();
}

TBatchPlatform& SystemBatchPlatform() {
    static TBatchPlatform platform;
    return platform;
}

QString GetFileType(int index) {
    if (index < 0 || index >= ExportFileTypeCount) return {};
    return QString::fromLatin1(ExportFileTypes[index].extension);
}

QString MyDocumentsFolder(bool noError, TBatchPlatform& platform) {
    const QString folder = platform.DocumentsLocation();
    if (folder.isEmpty() && !noError) throw std::runtime_error("Could not get My Documents folder location.");
    return folder;
}

QString SelectFolder(const QString& title, const QString& initialFolder, bool allowNewFolder,
                     TBatchPlatform& platform) {
    QWidget* owner = QApplication::activeWindow();
    return platform.BrowseFolder(owner, title, initialFolder, allowNewFolder);
}

QString FormatElapsed(std::uint32_t start, std::uint32_t end) {
    // Unsigned arithmetic: a wrap of the tick count in between still gives the difference.
    const std::uint32_t seconds = (end - start) / 1000;
    const std::uint32_t hours = seconds / 3600;
    const std::uint32_t minutes = (seconds - 3600 * hours) / 60;
    const std::uint32_t rest = seconds - 3600 * hours - 60 * minutes;
    const auto two = [](std::uint32_t value) { return QString("%1").arg(value, 2, 10, QChar('0')); };
    return two(hours) + ":" + two(minutes) + ":" + two(rest);
}

// ---- the dialog ----

TFVornBE::TFVornBE(QWidget* owner, TBatchPlatform* platform, TMessagePresenter& messages)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_platform(platform ? platform : &SystemBatchPlatform()), m_messages(messages) {
    setObjectName("FVornBE");
    setWindowTitle(" Batch Export");
    setFont(FormFont());
    setFixedSize(352, 226);

    QGroupBox* groupFolder = Group(this, "Destination Folder", 8, 4, 336, 48);
    EditDestinationFolder = new QLineEdit(groupFolder);
    EditDestinationFolder->setObjectName("EditDestinationFolder");
    EditDestinationFolder->setGeometry(12, 18, 312, 21);
    EditDestinationFolder->setToolTip("Double-click to select destination folder");

    QGroupBox* groupType = Group(this, "File Type", 8, 56, 272, 48);
    ComboFileType = new QComboBox(groupType);
    ComboFileType->setObjectName("ComboFileType");
    ComboFileType->setGeometry(12, 18, 248, 21);
    ComboFileType->addItems(ExportFilterList());
    ComboFileType->setCurrentIndex(DefaultExportType);

    QGroupBox* groupCount = Group(this, "Count", 284, 56, 60, 48);
    EditCount = new QLineEdit(QString::number(DefaultBatchCount), groupCount);
    EditCount->setObjectName("EditCount");
    EditCount->setGeometry(12, 18, 36, 21);
    EditCount->setMaxLength(4);
    EditCount->setToolTip(
        QString("Number of textures to be generated [%1..%2]").arg(MinBatchCount).arg(MaxBatchCount));

    CheckMaps = new QCheckBox(WriteMapsCaption, this);
    CheckMaps->setObjectName("CheckMaps");
    CheckMaps->setGeometry(20, 112, 324, 20);
    CheckMaps->setToolTip("The maps below beside each texture: NAME_height.png, NAME_normal.png, ...");
    MapControls = new TMapChoiceQt(this);
    MapControls->setGeometry(20, 134, 324, 50);
    MapControls->setEnabled(false); // with the box

    ButtonExport = new QPushButton("Export", this);
    ButtonExport->setObjectName("ButtonExport");
    ButtonExport->setGeometry(188, 192, 75, 25);
    ButtonClose = new QPushButton("Close", this);
    ButtonClose->setObjectName("ButtonClose");
    ButtonClose->setGeometry(269, 192, 75, 25);
    // Enter runs Export only from the count box, never through a default button.
    ButtonExport->setAutoDefault(false);
    ButtonClose->setAutoDefault(false);

    connect(EditDestinationFolder, &QLineEdit::textChanged, this, &TFVornBE::EditDestinationFolderChange);
    connect(CheckMaps, &QCheckBox::toggled, this, [this](bool on) {
        WriteMaps = on;
        MapControls->setEnabled(on);
    });
    connect(MapControls, &TMapChoiceQt::Changed, this, [this] { MapChoice = MapControls->Choice(); });
    connect(ButtonExport, &QPushButton::clicked, this, &TFVornBE::ButtonExportClick);
    connect(ButtonClose, &QPushButton::clicked, this, &TFVornBE::ButtonCloseClick);
    EditDestinationFolder->installEventFilter(this);
    EditCount->installEventFilter(this);
}

void TFVornBE::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

bool TFVornBE::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EditDestinationFolder && event->type() == QEvent::MouseButtonDblClick) {
        EditDestinationFolderDblClick();
        return true;
    }
    if (watched == EditCount && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ButtonExportClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFVornBE::FormShow() {
    Accepted = false;
    CheckMaps->setChecked(WriteMaps);
    MapControls->Show(MapChoice);
    MapControls->setEnabled(WriteMaps);
    CenterOnOwner(this);
    if (EditDestinationFolder->text().isEmpty())
        EditDestinationFolder->setText(MyDocumentsFolder(true, *m_platform));
}

void TFVornBE::EditDestinationFolderChange(const QString& text) {
    Folder = text;
}

void TFVornBE::EditDestinationFolderDblClick() {
    EditDestinationFolder->selectAll();
    Folder = SelectFolder("Select destination folder", QString(), true, *m_platform);
    EditDestinationFolder->setText(Folder);
}

void TFVornBE::ButtonExportClick() {
    if (EditDestinationFolder->text().isEmpty()) {
        ShowMessageBox(m_messages, "Please select destination folder!  ", "Alert!", TMsgButtons::Ok,
                       TMsgIcon::None, this);
        return;
    }
    // One level only; a folder that cannot be made shows up as the first failed write.
    if (!QDir(Folder).exists()) QDir().mkdir(Folder);

    bool valid = false;
    Count = EditCount->text().toInt(&valid, 10);
    if (!valid) {
        EditCount->setText(QString::number(DefaultBatchCount));
        Count = DefaultBatchCount;
    }
    if (Count < MinBatchCount) {
        Count = MinBatchCount;
    } else if (Count > MaxBatchCount) {
        ShowMessageBox(m_messages, QString("Maximum texture count is %1!  ").arg(MaxBatchCount), "Alert!",
                       TMsgButtons::Ok, TMsgIcon::None, this);
        Count = MaxBatchCount;
    }
    FileType = GetFileType(ComboFileType->currentIndex());
    // A set the chosen type cannot carry (glTF and BMP): the dialog stays for another type.
    const std::string problem =
        MaterialSetProblem(BatchFileName(QFile::encodeName(Folder).toStdString(), 0, FileType.toStdString()), Maps());
    if (!problem.empty()) {
        ShowMessageBox(m_messages, QString::fromStdString(problem), "Alert!", TMsgButtons::Ok, TMsgIcon::None, this);
        return;
    }
    if (!ReplaceExisting()) return; // No: the dialog stays for another folder or type
    Accepted = true;
    accept();
}

bool TFVornBE::ReplaceExisting() {
    const std::string folder = QFile::encodeName(Folder).toStdString();
    const std::string type = FileType.toStdString();
    int existing = 0;
    QString first;
    for (int index = 0; index < Count; ++index) {
        for (const std::string& file : ExportedFileNames(BatchFileName(folder, index, type), Maps())) {
            const QString name = QFile::decodeName(file.c_str());
            if (!QFileInfo(name).exists() && !QFileInfo(name).isSymLink()) continue;
            if (existing++ == 0) first = QFileInfo(name).fileName();
        }
    }
    if (existing == 0) return true;
    const QString question =
        existing == 1
            ? QString("%1 exists already in this folder. Replace it?  ").arg(first)
            : QString("%1 files of this batch exist already in this folder, %2 first. Replace them?  ")
                  .arg(existing)
                  .arg(first);
    return ShowMessageBox(m_messages, question, "Alert!", TMsgButtons::YesNo, TMsgIcon::None, this) ==
           TMsgResult::Yes;
}

void TFVornBE::ButtonCloseClick() {
    Accepted = false;
    reject();
}

namespace {

// The window's side of each texture: one round of events, the counter, the progress bar and
// the stop question.
class TWindowBatchHooks final : public TBatchHooks {
public:
    TWindowBatchHooks(const TBatchWindow& window, int count)
        : m_window(window), m_count(count), m_ownerShown(window.owner->isVisible()) {}

    // The main window was closed while the batch ran: the program is ending.
    bool OwnerClosed() const { return m_ownerShown && !m_window.owner->isVisible(); }

    void BeforeTexture(int number) override {
        // Qt has no "one message" call: one processEvents handles what is pending now (input,
        // paints, the zero-interval idle timer that draws the preview) and returns at once.
        QCoreApplication::processEvents();
        m_window.progressWindow->Update(number);
    }

    void Written(int number) override {
        // The synthesis moves the bar itself while BatchRunning is cleared, so the range is set again.
        m_window.progressBar->setRange(1, m_count);
        m_window.progressBar->setValue(number);
    }

    bool Continue(int /*number*/) override {
        TGenerator& generator = *m_window.generator;
        TFVornBP& progress = *m_window.progressWindow;
        if (OwnerClosed()) return false; // nobody left to ask
        if (generator.BatchRunning && !progress.CancelRequested) return true;
        progress.hide();
        if (ShowMessageBox(m_window.batchDialog->Messages(), "Do you really want to stop batch export?  ",
                           "Alert!", TMsgButtons::YesNo, TMsgIcon::None, m_window.owner) == TMsgResult::Yes)
            return false;
        progress.show(); // clears CancelRequested
        generator.BatchRunning = true;
        return true;
    }

private:
    const TBatchWindow& m_window;
    int m_count;
    bool m_ownerShown;
};

} // namespace

int RunBatchExport(const TBatchWindow& window) {
    TGenerator& generator = *window.generator;
    TFVornBE& dialog = *window.batchDialog;
    TFVornBP& progress = *window.progressWindow;

    if (window.settings) {
        dialog.WriteMaps = window.settings->WriteMaps;
        dialog.MapChoice = window.settings->MapChoice;
    }
    dialog.exec();
    if (window.settings && dialog.WriteMaps != window.settings->WriteMaps)
        window.settings->ChooseWriteMaps(dialog.WriteMaps);
    if (window.settings && dialog.Maps().Any() &&
        !SameMapChoice(dialog.MapChoice, window.settings->MapChoice))
        window.settings->ChooseMapChoice(dialog.MapChoice);
    if (!dialog.Accepted) {
        generator.BatchRunning = false;
        return 0;
    }
    progress.Total = dialog.Count;
    progress.show();
    window.panelSettings->setEnabled(false);
    window.panelControls->setEnabled(false);
    window.progressBar->setRange(1, dialog.Count);

    TBatchOptions options;
    options.folder = QFile::encodeName(dialog.Folder).toStdString();
    options.fileType = dialog.FileType.toStdString();
    options.count = dialog.Count;
    options.jpegQuality = window.jpegQuality;
    options.writer = window.writer;
    options.overlap = window.overlap;
    if (window.recipe) options.recipe = [&window](int) { return window.recipe(); };
    options.maps = dialog.Maps();
    TWindowBatchHooks hooks(window, dialog.Count);

    generator.BatchRunning = true;
    const std::uint32_t start = dialog.Platform().TickCount();
    const TBatchResult result = RunBatch(generator, options, hooks);
    const std::uint32_t end = dialog.Platform().TickCount();

    if (hooks.OwnerClosed()) {
        // Closed during the batch: it ends quietly after the texture in hand.
    } else if (result.ok) {
        ShowMessageBox(dialog.Messages(),
                       QString::number(result.written) + " textures exported successfully in " +
                           FormatElapsed(start, end) + "!  ",
                       "Done!", TMsgButtons::Ok, TMsgIcon::None, window.owner);
    } else {
        // Worded as the single export reports it. The files written so far stay; the one that
        // failed was not left behind half-written.
        ShowMessageBox(dialog.Messages(), QString::fromStdString(result.error), "Pallimor", TMsgButtons::Ok,
                       TMsgIcon::None, window.owner);
    }
    window.panelSettings->setEnabled(true);
    window.panelControls->setEnabled(true);
    window.progressBar->setValue(1);
    progress.hide();
    generator.BatchRunning = false;
    return result.written;
}

} // namespace vorn
