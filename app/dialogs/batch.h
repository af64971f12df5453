// Batch export: the dialog TFVornBE (destination folder, file type, count, maps), the folder and
// documents-folder helpers, FormatElapsed, and RunBatchExport, the body of the main window's
// "Batch Export" command. Messages go through the dialog's TMessagePresenter; the folder
// browser, the documents folder and the tick count through the dialog's TBatchPlatform.
#pragma once

#include "export/MaterialMaps.h"

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

#include "app/widgets/FormKitQt.h"
#include "export/ExportFormats.h"
#include "gen/BatchLoop.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vorn {

class TMapChoiceQt;

class TFileWriter;
class TGenerator;
class TFVornBP;
class TFVornS;

// The platform services the batch uses: QFileDialog, QStandardPaths and a millisecond tick
// count that wraps at 2^32 like the system's. Tests pass their own.
class TBatchPlatform {
public:
    virtual ~TBatchPlatform() = default;
    virtual QString BrowseFolder(QWidget* owner, const QString& title, const QString& initialFolder,
                                 bool allowNewFolder);
    virtual QString DocumentsLocation(); // empty when there is none
    virtual std::uint32_t TickCount();
};

TBatchPlatform& SystemBatchPlatform();

// The extension of the file-type list's position index ("bmp", "png", "jpg" for 0, 1, 2, the order
// of ExportFileTypes); empty for any other index.
QString GetFileType(int index);

// The user's documents folder (not created when missing). When there is none: an empty string
// with noError, otherwise std::runtime_error("Could not get My Documents folder location.").
QString MyDocumentsFolder(bool noError, TBatchPlatform& platform = SystemBatchPlatform());

// The folder the user picked in the folder browser; empty when cancelled.
QString SelectFolder(const QString& title, const QString& initialFolder, bool allowNewFolder,
                     TBatchPlatform& platform = SystemBatchPlatform());

// Elapsed time between two tick counts (ms, unsigned 32-bit, so a wrap between them is handled)
// as hh:mm:ss, each at least two digits; hours above 99 keep all their digits.
QString FormatElapsed(std::uint32_t start, std::uint32_t end);

class TFVornBE : public QDialog {
    Q_OBJECT

public:
    // platform: the services this dialog and the batch it starts use (nullptr = the system's);
    // messages shows what both report.
    explicit TFVornBE(QWidget* owner = nullptr, TBatchPlatform* platform = nullptr,
                      TMessagePresenter& messages = MessageBoxPresenter());
    TBatchPlatform& Platform() const { return *m_platform; }
    TMessagePresenter& Messages() const { return m_messages; }

    QString Folder; // as typed or chosen
    QString FileType = ExportFileTypes[DefaultExportType].extension;
    int Count = DefaultBatchCount; // MinBatchCount..MaxBatchCount after Export
    bool Accepted = false;         // true only when Export closed the dialog in the current showing
    bool WriteMaps = false;        // the check box: also write each texture's maps
    TMapOptions MapChoice = TMapOptions::Both(true); // which maps, with what settings
    // The maps each texture gets: MapChoice's while WriteMaps, else none.
    TMapOptions Maps() const { return WriteMaps ? MapChoice : TMapOptions(); }

    QLineEdit* EditDestinationFolder = nullptr;
    QComboBox* ComboFileType = nullptr;
    QLineEdit* EditCount = nullptr;
    QCheckBox* CheckMaps = nullptr;
    TMapChoiceQt* MapControls = nullptr; // below CheckMaps, enabled with it
    QPushButton* ButtonExport = nullptr;
    QPushButton* ButtonClose = nullptr;

    void ButtonExportClick();
    void ButtonCloseClick();
    void EditDestinationFolderDblClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TBatchPlatform* m_platform;
    TMessagePresenter& m_messages;
    void FormShow();
    void EditDestinationFolderChange(const QString& text);
    // Asks once when files the batch would write exist already; true: go on and replace them.
    bool ReplaceExisting();
};

// The pieces of the main window a batch works with.
struct TBatchWindow {
    QWidget* owner = nullptr; // the main window: owns the message boxes
    TGenerator* generator = nullptr;
    QWidget* panelSettings = nullptr;
    QWidget* panelControls = nullptr;
    QProgressBar* progressBar = nullptr;
    TFVornBE* batchDialog = nullptr;
    TFVornBP* progressWindow = nullptr;
    int jpegQuality = DefaultJpegQuality;
    TFileWriter* writer = nullptr; // what the files are written through; nullptr = the system
    bool overlap = true;           // a texture is written while the next one is generated
    TFVornS* settings = nullptr;   // where the maps' choice is remembered; nullptr: the dialog's own
    // The recipe code to put into the texture just generated's file; empty: none.
    std::function<std::string()> recipe;
};

// The "Batch Export" command: asks for folder, type, count and maps, then generates and writes the
// textures image000... (and their maps image000_height.png, image000_normal.png, ...) with the
// progress window shown, stopping on request or at the first file
// that cannot be written, and reports the result. Returns the number of files written.
int RunBatchExport(const TBatchWindow& window);

} // namespace vorn
