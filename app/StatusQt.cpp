#include "app/StatusQt.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "gen/ArchiveChoice.h"

namespace vorn {

namespace {

// The progress bar moves at most this often during a synthesis.
constexpr std::chrono::milliseconds ProgressFrame(16);

} // namespace

TStatusQt::TStatusQt(QWidget* statusBar, QProgressBar* progressBar)
    : QObject(statusBar), Text(new QLabel(statusBar)), m_bar(progressBar) {
    Text->setTextFormat(Qt::PlainText);
    m_note.setSingleShot(true);
    m_note.setInterval(NoteMs);
    connect(&m_note, &QTimer::timeout, this, [this] { ShowBrushSet(); });
}

void TStatusQt::ShowBrushes(const QString& archiveFile, std::uint32_t brushSetHash) {
    QString name = QString::fromStdString(
        BrushSetName(QCoreApplication::applicationDirPath().toStdString(), brushSetHash));
    if (name.isEmpty()) name = QFileInfo(archiveFile).fileName();
    m_brushes = QStringLiteral("Brushes: %1").arg(name);
    m_brushesFile = archiveFile;
    m_note.stop();
    ShowBrushSet();
}

void TStatusQt::Note(const QString& note) {
    Text->setText(note);
    Text->setToolTip(note);
    m_note.start();
}

void TStatusQt::NoteOnce(const QString& note) {
    if (m_noted.contains(note)) return;
    m_noted.insert(note);
    Note(note);
}

void TStatusQt::ShowBrushSet() {
    Text->setText(m_brushes);
    Text->setToolTip(m_brushesFile);
}

void TStatusQt::SetProgressMaximum(int max) {
    m_bar->setMaximum(std::max(max, m_bar->minimum()));
    m_progress = std::min(m_progress, m_bar->maximum());
}

void TStatusQt::SetProgressPosition(int position) {
    // A progress bar repaints itself at once whenever its value moves a pixel, which once per step
    // costs as much as the synthesis itself: the bar follows once a frame, and at once when it
    // starts over or reaches its end.
    m_progress = std::clamp(position, m_bar->minimum(), m_bar->maximum());
    const auto now = std::chrono::steady_clock::now();
    if (m_progress == m_bar->minimum() || m_progress == m_bar->maximum() ||
        now - m_lastShown >= ProgressFrame) {
        m_lastShown = now;
        m_bar->setValue(m_progress);
    }
}

double TStatusQt::ProgressDone() const {
    const int span = m_bar->maximum() - m_bar->minimum();
    return span > 0 ? double(m_progress - m_bar->minimum()) / span : 0.0;
}

} // namespace vorn
