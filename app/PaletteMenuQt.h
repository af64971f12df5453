// The Palette in the window: the Texture menu's Palette entries (Walk and the shipped palettes in a
// submenu, each with its colours as a strip, and the commands of gen/Shortcuts.h: next and
// previous palette, a palette from an image, typed colours) and, in the menu bar's right corner,
// the current palette as a strip of swatches (hidden for Walk). The palette is the window's
// (TFOrlu::Palette), so Live, the history, recipes and batches follow it.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gen/Palette.h"

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QWidget;

namespace vorn {

class TFOrlu;

// The palette's colours as equal swatches side by side, framed in dark grey.
QPixmap PaletteStripPixmap(const TPalette& palette, QSize size);

class TPaletteMenuQt : public QObject {
    Q_OBJECT

public:
    // Adds the entries to texture and the strip to menuBar's corner; shipped names the palettes
    // offered (the palette file's, or none when it cannot be read: shippedError says why).
    TPaletteMenuQt(TFOrlu& window, QMenu* texture, QMenuBar* menuBar, std::vector<TNamedPalette> shipped,
                   const QString& shippedError = {});
    ~TPaletteMenuQt() override;

    QMenu* MenuPalette;                  // the submenu: Walk, then the shipped palettes
    QAction* ActionWalk;                 // checked while the strokes take the walk's colours
    std::vector<QAction*> ActionShipped; // in the file's order
    QAction* ActionOwn;                  // disabled; checked for colours of the user's own
    QAction* ActionNext;                 // Walk, the shipped palettes, Walk again
    QAction* ActionPrevious;
    QAction* ActionFromImage;
    QAction* ActionTyped;
    QWidget* Strip; // the menu bar's corner widget

    // The palette chosen: refused (the checks put back) while the panels are disabled.
    void Choose(const TPalette& palette);
    // Next (+1) or previous (-1) along Walk and the shipped palettes.
    void Step(int step);
    // The palette of a PNG or JPEG file, of count colours, read on a thread of its own while the
    // window goes on; chosen when read, or reported when the file gives none. Asked again while
    // one is read, the latest request replaces any still waiting, and only its palette is chosen.
    void ChooseImage(const QString& path, int count);
    // Whether an image's palette is being read.
    bool ReadingImage() const { return m_reading.joinable(); }
    // Typed colours "RRGGBB,RRGGBB,..."; bad text is reported and nothing changes.
    void ChooseTyped(const QString& text);
    // The checks and the strip follow the window's palette.
    void SyncChecks();

private:
    struct TImageRequest {
        std::string path; // as the file system names it
        int count;
    };

    void StartReading(const TImageRequest& request);
    // On the window's thread once the reading thread is done (queued by name, as the export's end
    // is: nothing of ours is allocated on that thread for the window's to read).
    Q_INVOKABLE void ImageRead();
    void AskImage();
    void AskTyped();
    // The shipped palette equal to the window's, -1 for Walk, ActionShipped.size() for none.
    int CurrentIndex() const;

    TFOrlu& m_window;
    std::vector<TNamedPalette> m_shipped;
    QActionGroup* m_group;
    int m_imageColors = DefaultImagePaletteColors; // the count the last image was asked with
    std::thread m_reading;                         // an image's palette being read, until joined
    TPaletteResult m_read;                         // what it gave, written by that thread before it ends
    std::optional<TImageRequest> m_next;           // asked for while reading: read next, chosen instead
};

} // namespace vorn
