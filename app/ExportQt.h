// The Export command of the main window: a save dialog (its filter and folder kept between
// showings, the file name empty each time), then the texture at the selected size written with
// its maps when the settings ask for them. Nothing is replaced without a question: the dialog
// asks about the texture's file, or, when maps are written too or the name got the filter's
// extension, one question names every file that would be replaced. A texture larger than
// BackgroundExportSide is read back at once and written on a thread of its own while the window
// goes on ("Saving NAME..." in the status bar); each file still appears only when whole, and the
// window waits for the save before it closes or starts the next.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <mutex>
#include <thread>

#include "export/MaterialMaps.h"
#include "export/TileExport.h"

namespace vorn {

class TFOrlu;

// Textures up to this side are written before Export returns.
inline constexpr int BackgroundExportSide = 1024;

class TExportQt : public QObject {
    Q_OBJECT

public:
    explicit TExportQt(TFOrlu& window);
    ~TExportQt(); // waits for a save in flight

    // Shows the save dialog and exports; failures are said in one message.
    void Run();

    // Of the files an export to fileName writes (the texture's, then the maps'), those that
    // exist, leaving out the texture's when the dialog asked about it already.
    static QStringList ExistingFiles(const QString& fileName, const TMapOptions& maps, bool textureAsked);

    // A large texture is being saved.
    bool Saving() const { return m_saving.joinable(); }
    // Waits for the save in flight, if any, and says how it went.
    void FinishSaving();

    TFileWriter* Writer = &SystemFileWriter(); // where the files go (a test's double)

private:
    // Posted by a save as it ends (no data rides on the event): tells its end unless the next
    // export or closing waited for it already.
    Q_INVOKABLE void SaveEnded();
    // True when nothing would be replaced or the user agreed to replace it.
    bool MayReplace(const QString& fileName, const TMapOptions& maps, bool textureAsked);
    // The outcome of an export: a failure in one message, a note in the status bar.
    void Report(const TExportResult& result, const QString& saved = {});

    std::thread m_saving;      // the save of a large texture, until joined
    TExportResult m_saved;     // its result, written by it before it ends
    std::uint64_t m_saves = 0; // counts the saves started, so each one's end is told once
    std::mutex m_mutex;
    std::uint64_t m_ended = 0; // the save that ended last, under m_mutex

    TFOrlu& m_window;
    QString m_filter;    // the save dialog's filter, kept between showings
    QString m_directory; // and its folder
};

} // namespace vorn
