// The main window's status bar: the progress bar of a synthesis (moved at most once a frame), and
// beside it the brush set in use ("Brushes: ink") or, for a while, a note that says why something
// did not happen.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>

class QLabel;
class QProgressBar;
class QWidget;

namespace vorn {

class TStatusQt : public QObject {
    Q_OBJECT

public:
    // The text's label goes into statusBar (the window places it); progressBar is the window's.
    TStatusQt(QWidget* statusBar, QProgressBar* progressBar);

    QLabel* Text;
    static constexpr int NoteMs = 10000;

    // The brush set in use: its installed name, else the archive's file name.
    void ShowBrushes(const QString& archiveFile, std::uint32_t brushSetHash);
    // note for NoteMs, then the brush set again.
    void Note(const QString& note);
    // Note, unless the same note was shown before in this session.
    void NoteOnce(const QString& note);

    // The synthesis' progress; ProgressDone is how far it has come, 0 to 1 (0 when none runs).
    void SetProgressMaximum(int max);
    void SetProgressPosition(int position);
    double ProgressDone() const;

private:
    void ShowBrushSet();

    QString m_brushes; // "Brushes: ink"
    QString m_brushesFile;
    QSet<QString> m_noted; // by NoteOnce
    QTimer m_note;         // while it runs a note is shown
    QProgressBar* m_bar;
    int m_progress = 1; // the synthesis' step, shown at most once a frame
    std::chrono::steady_clock::time_point m_lastShown;
};

} // namespace vorn
