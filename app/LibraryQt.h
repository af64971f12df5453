// The Library (View > Library, Ctrl+H): a window with this session's history and the favourites
// as thumbnails. A click on a history entry shows it (as Back and Forward do; the current one is
// marked); a favourite can be opened, renamed, removed, have its recipe copied, and the selected
// ones exported as a batch. Texture > Add to Favourites (Ctrl+D) keeps the current texture's
// recipe with an optional name. The favourites live in the data folder the program gives
// (gen/Favourites.h); without one they last until the window closes. Thumbnails and the batch
// are drawn by pallimor-cli generate --recipes in a process of its own, so the window never waits
// for them and the program's random source is not touched.
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
class QListWidget;
class QListWidgetItem;
class QProcess;
class QPushButton;

namespace vorn {

class TFOrlu;

class TLibraryQt : public QWidget {
    Q_OBJECT

public:
    explicit TLibraryQt(TFOrlu& window);
    ~TLibraryQt() override;

    QAction* ActionAddFavourite;
    QAction* ActionLibrary;

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
    // The command-line tool that draws thumbnails and batches (default: beside the program).
    void SetCliPath(const QString& path) { m_cliPath = path; }

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
    void CopyFavourite(int index);
    // The favourites at indexes into folder as a numbered batch of fileType files (in the
    // background); the message says when they are written.
    bool ExportFavourites(const QList<int>& indexes, const QString& folder, const QString& fileType);

    // The thumbnail of a recipe code once drawn; null before.
    QIcon Thumbnail(const QString& code) const { return m_thumbnails.value(code); }
    // Thumbnails are being drawn or wait to be.
    bool DrawingThumbnails() const;

    // The lists from the history and the favourites.
    void Refresh();

private:
    void SaveFailed(const std::string& why);
    void RequestThumbnails(const QStringList& codes);
    void DrawNextThumbnails();
    QList<int> SelectedFavourites() const;
    void ShowItem(QListWidgetItem* item, const QString& code);

    TFOrlu& m_window;
    TFavourites m_favourites;
    QString m_cliPath;
    QTemporaryDir m_thumbnailFolder;
    QHash<QString, QIcon> m_thumbnails;
    QStringList m_waiting; // codes whose thumbnails are still to be drawn
    QStringList m_drawing; // those the process draws now
    QProcess* m_process;   // thumbnails
    QProcess* m_exporting; // a batch of favourites
    int m_runs = 0;
};

} // namespace vorn
