// The Library (View > Library, Ctrl+H): a window with this session's history and the favourites
// as thumbnails. A click on a history entry shows it (as Back and Forward do; the current one is
// marked); a favourite can be opened, renamed, removed, have its recipe copied, and the selected
// ones exported as a batch. Texture > Add to Favourites (Ctrl+D) keeps the current texture's
// recipe with an optional name. The favourites live in the data folder the program gives
// (gen/Favourites.h), a file other windows may share; without one they last until the window
// closes. Thumbnails and the export are drawn by pallimor-cli generate --recipes in a process of
// its own (app/CliJobQt.h), told of the brush archive in use, so the window never waits for them and
// the program's random source is not touched. A line at the top of the window says what keeps
// them from working: favourites that cannot be read, a pallimor-cli that cannot be started.
#pragma once

#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>

#include "gen/Favourites.h"

class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace vorn {

class TFOrlu;
class TCliJobQt;
struct TCliJobReport;

class TLibraryQt : public QWidget {
    Q_OBJECT

public:
    explicit TLibraryQt(TFOrlu& window);
    ~TLibraryQt() override;

    QAction* ActionAddFavourite;
    QAction* ActionLibrary;

    // What keeps the favourites or the thumbnails from working; hidden when nothing does.
    QLabel* LabelStatus;
    QListWidget* ListHistory;
    QListWidget* ListFavourites;
    QPushButton* ButtonOpen;
    QPushButton* ButtonRename;
    QPushButton* ButtonRemove;
    QPushButton* ButtonCopyRecipe;
    QPushButton* ButtonExport;

    // Where the favourites are kept; reads them, saying once which lines were no recipe. Empty:
    // kept in memory only.
    void SetDataFolder(const QString& folder);
    // The command-line tool that draws thumbnails and exports (default: beside the program); a
    // new path is tried again even after the last one could not be started.
    void SetCliPath(const QString& path);

    TFavourites& Favourites() { return m_favourites; }

    // Ctrl+D: asks for a name and keeps the current texture's recipe; false when refused.
    bool AddFavourite();
    // The same with name given (no question).
    bool AddFavouriteNamed(const QString& name);
    // Ctrl+H: the window, in front.
    void ShowLibrary();

    // Favourite index: its texture in the main window; its name; gone; its code on the clipboard.
    bool OpenFavourite(int index);
    bool RenameFavourite(int index, const QString& name);
    bool RemoveFavourite(int index);
    // Several at once (one change of the file); false when none of them is in the list.
    bool RemoveFavourites(const QList<int>& indexes);
    void CopyFavourite(int index);
    // The favourites at indexes into folder as fileType files named after them (in the
    // background), with the settings' choices of recipes in files and maps. When some of the
    // files exist already the user is asked before they are replaced; the message says when they
    // are written. False when an export still runs or no index is a favourite.
    bool ExportFavourites(const QList<int>& indexes, const QString& folder, const QString& fileType);
    // An export started here has not ended yet.
    bool ExportRunning() const;
    // Before the main window closes: while an export runs, asks whether to stop it; Yes stops it
    // (the files written so far stay whole) and answers true, No answers false. True when none runs.
    bool ConfirmStopExport();

    // The thumbnail of a recipe code once drawn (or marked failed); null before.
    QIcon Thumbnail(const QString& code) const { return m_thumbnails.value(code); }
    // Why the thumbnail of code could not be drawn; empty when it was or is not yet.
    QString ThumbnailProblem(const QString& code) const { return m_thumbnailProblems.value(code); }
    // Thumbnails are being drawn or wait to be.
    bool DrawingThumbnails() const;

    // The favourites read again, and the lists from the history and the favourites.
    void Refresh();

private:
    void SaveFailed(const std::string& why);
    // The favourites file as it is now; says which lines were moved aside.
    void ReadFavourites(bool sayReadFailure);
    void SayNotRecipes();
    // The lists as they are, and the status line.
    void ShowLists();
    void ShowStatus();
    void RequestThumbnails(const QStringList& codes);
    void DrawNextThumbnails();
    void ThumbnailsDone(const TCliJobReport& report);
    // The export of m_exportLines; force replaces existing files.
    void StartExport(bool force);
    void ExportDone(const TCliJobReport& report);
    // A job could not start pallimor-cli: the status line says so, and a message the first time
    // (every time with say).
    void CliCannotStart(const TCliJobReport& report, bool say);
    QString CliProblemText() const;
    // --brushes and the archive the window's generator draws with, when the tool would not find
    // that set itself (none when it has no file).
    QStringList BrushesArguments() const;
    QList<int> SelectedFavourites() const;
    void ShowItem(QListWidgetItem* item, const QString& code);

    TFOrlu& m_window;
    TFavourites m_favourites;
    QString m_cliPath;
    QString m_cliProblem;   // why m_cliPath could not be started; empty: no such failure
    bool m_cliSaid = false; // the message about it was shown
    QTemporaryDir m_thumbnailFolder;
    QHash<QString, QIcon> m_thumbnails;
    QHash<QString, QString> m_thumbnailProblems;
    QStringList m_waiting; // codes whose thumbnails are still to be drawn
    QStringList m_drawing; // those the process draws now
    TCliJobQt* m_thumbnailJob;
    TCliJobQt* m_exportJob;
    int m_runs = 0;
    // The export in progress: its favourites' lines and names, folder, file type, name pattern,
    // and whether it replaces existing files.
    QByteArray m_exportLines;
    QStringList m_exportNames;
    QString m_exportFolder;
    QString m_exportType;
    QString m_exportName;
    bool m_exportForced = false;
};

} // namespace vorn
