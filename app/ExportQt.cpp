#include "app/ExportQt.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMetaObject>
#include <memory>

#include "app/HistoryQt.h"
#include "app/LiveQt.h"
#include "app/StatusQt.h"
#include "app/dialogs/settings.h"
#include "app/gen.h"
#include "app/widgets/FormKitQt.h"
#include "export/ExportFormats.h"
#include "export/MaterialMaps.h"
#include "export/MaterialSets.h"
#include "gen/OutputTexture.h"

namespace vorn {

namespace {

// The extension a name typed without one gets: that of the chosen filter, JPEG's for any other.
QString SuffixOfFilter(const QString& filter) {
    const qsizetype index = TFOrlu::SaveFilters.indexOf(filter);
    return QString::fromLatin1(ExportFileTypes[index >= 0 ? index : DefaultExportType].extension);
}

// "a.png", "a.png and b.png", "a.png, b.png and c.png".
QString JoinedNames(const QStringList& names) {
    if (names.size() < 2) return names.value(0);
    return QStringList(names.mid(0, names.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
           names.last();
}

} // namespace

TExportQt::TExportQt(TFOrlu& window)
    : m_window(window), m_filter(TFOrlu::SaveFilters.value(DefaultExportType)) {}

TExportQt::~TExportQt() {
    if (m_saving.joinable()) m_saving.join();
}

void TExportQt::FinishSaving() {
    if (!m_saving.joinable()) return;
    m_saving.join();
    Report(m_saved, QFileInfo(QString::fromStdString(m_saved.writtenFile)).fileName());
}

void TExportQt::Report(const TExportResult& result, const QString& saved) {
    if (!result.ok)
        ShowMessageBox(m_window.Messages(), QString::fromStdString(result.error), QStringLiteral("Pallimor"),
                       TMsgButtons::Ok, TMsgIcon::Critical, &m_window);
    else if (!result.note.empty()) // a transparent texture in a JPEG or BMP
        m_window.Status->Note(QString::fromStdString(result.note));
    else if (!saved.isEmpty())
        m_window.Status->Note(QStringLiteral("Saved %1").arg(saved));
}

QStringList TExportQt::ExistingFiles(const QString& fileName, const TMapOptions& maps, bool textureAsked) {
    QStringList existing;
    const std::vector<std::string> files = ExportedFileNames(QFile::encodeName(fileName).toStdString(), maps);
    for (std::size_t i = textureAsked ? 1 : 0; i < files.size(); ++i) {
        const QString file = QFile::decodeName(QByteArray::fromStdString(files[i]));
        if (QFileInfo::exists(file)) existing << file;
    }
    return existing;
}

bool TExportQt::MayReplace(const QString& fileName, const TMapOptions& maps, bool textureAsked) {
    const QStringList existing = ExistingFiles(fileName, maps, textureAsked);
    if (existing.isEmpty()) return true;
    QStringList names;
    for (const QString& file : existing) names << QFileInfo(file).fileName();
    const bool texture = existing.first() == fileName;
    QString text;
    if (texture && names.size() == 1)
        text = QStringLiteral("%1 already exists. Replace it?").arg(names.first());
    else if (texture)
        text = QStringLiteral("%1 and its maps %2 already exist. Replace them?")
                   .arg(names.first(), JoinedNames(names.mid(1)));
    else
        text = QStringLiteral("The %1 %2 of %3 already %4. Replace %5?")
                   .arg(names.size() == 1 ? QStringLiteral("map") : QStringLiteral("maps"),
                        JoinedNames(names), QFileInfo(fileName).fileName(),
                        names.size() == 1 ? QStringLiteral("exists") : QStringLiteral("exist"),
                        names.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    return ShowMessageBox(m_window.Messages(), text, QStringLiteral("Export"), TMsgButtons::YesNo,
                          TMsgIcon::Question, &m_window) == TMsgResult::Yes;
}

void TExportQt::Run() {
    // A fresh dialog each time starts with an empty file name; the filter and folder carry over.
    QFileDialog dialog(&m_window);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(TFOrlu::SaveFilters);
    dialog.selectNameFilter(m_filter);
    if (!m_directory.isEmpty()) dialog.setDirectory(m_directory);
    TFVornS* settings = m_window.FVornS;
    // The dialog asks about the texture's file itself, unless maps are written too: then the one
    // question afterwards names them all.
    const auto askInDialog = [&dialog](bool maps) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite, maps);
    };
    askInDialog(settings && settings->WriteMaps);
    if (settings)
        if (QCheckBox* box = settings->OfferMaps(dialog))
            QObject::connect(box, &QCheckBox::toggled, &dialog, askInDialog);

    const bool accepted = dialog.exec() == QDialog::Accepted;
    m_filter = dialog.selectedNameFilter();
    m_directory = dialog.directory().absolutePath();
    const QString chosen = accepted ? dialog.selectedFiles().value(0) : QString();
    if (chosen.isEmpty()) return;
    QString fileName = chosen;
    // A name typed without the extension of a type written here ("tex4", "tex4.gif") gets the one
    // of the chosen filter ("jpg" at first), so the name says what the file holds.
    if (!ExportFileTypeOfFile(QFileInfo(fileName).suffix().toStdString()))
        fileName += QLatin1Char('.') + SuffixOfFilter(m_filter);
    const TMapOptions maps = settings ? settings->MapOptions() : TMapOptions();
    if (const std::string problem = MaterialSetProblem(QFile::encodeName(fileName).toStdString(), maps);
        !problem.empty()) {
        ShowMessageBox(m_window.Messages(), QString::fromStdString(problem), QStringLiteral("Export"),
                       TMsgButtons::Ok, TMsgIcon::Warning, &m_window);
        return;
    }
    const bool textureAsked = !dialog.testOption(QFileDialog::DontConfirmOverwrite) && fileName == chosen;
    if (!MayReplace(fileName, maps, textureAsked)) return;

    const std::string recipe =
        settings && settings->EmbedRecipe ? m_window.History->RecipeText().toStdString() : std::string();
    FinishSaving(); // one save at a time, in the order asked
    // The texture at its size, not the output of an earlier one that Live has yet to replace.
    if (m_window.Live && !m_window.Live->FinishLarge()) return;
    const TGenerator& generator = m_window.Generator();
    if (generator.TextureSize <= BackgroundExportSide) {
        Report(ExportOutputTexture(generator, fileName.toStdString(), m_window.JpegQuality(), *Writer,
                                   smReplace, maps, recipe));
        return;
    }
    // Large: read back now, written on a thread of its own.
    auto job = std::make_shared<TOutputExport>();
    const TExportResult read = ReadOutputExport(generator, fileName.toStdString(), maps, *job);
    if (!read.ok) return Report(read);
    m_window.Status->Note(QStringLiteral("Saving %1...").arg(QFileInfo(fileName).fileName()));
    const std::uint64_t save = ++m_saves;
    m_saving = std::thread([this, job, recipe, save, quality = m_window.JpegQuality(), writer = Writer] {
        m_saved = WriteOutputExport(*job, quality, *writer, smReplace, recipe);
        {
            const std::lock_guard lock(m_mutex);
            m_ended = save;
        }
        // Dropped with this object, whose end joins this thread.
        QMetaObject::invokeMethod(this, "SaveEnded", Qt::QueuedConnection);
    });
}

void TExportQt::SaveEnded() {
    std::uint64_t ended = 0;
    {
        const std::lock_guard lock(m_mutex);
        ended = m_ended;
    }
    if (ended == m_saves) FinishSaving();
}

} // namespace vorn
