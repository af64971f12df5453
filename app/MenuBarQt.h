// The main window's menu bar above its client area: File, Edit, Texture, Material, View and Help, each
// opened with Alt and its underlined letter. The entries are the window's own commands (the
// same QActions its shortcuts and the preview's menu use), so each shows its shortcut; the keys
// are those of gen/Shortcuts.h. Commands refused while a texture is made refuse from here too.
#pragma once

#include <QMenuBar>
#include <QString>

class QAction;
class QMenu;

namespace vorn {

class TFOrlu;
class TTilingMenuQt;
class TPaletteMenuQt;
class TMaterialMenuQt;

class TMenuBarQt : public QMenuBar {
    Q_OBJECT

public:
    // Builds the menus from the window's commands; call once they exist.
    explicit TMenuBarQt(TFOrlu& window);
    ~TMenuBarQt() override;

    QMenu* MenuFile;
    QMenu* MenuEdit;
    QMenu* MenuTexture;
    QMenu* MenuMaterial;
    QMenu* MenuView;
    QMenu* MenuHelp;

    // The entries the menu bar adds itself (the others belong to the window's command units).
    QAction* ActionQuit;
    QAction* ActionSettings;
    QAction* ActionPreviewPane; // checked while the 3 x 3 pane is shown
    QAction* ActionShortcuts;
    QAction* ActionAbout;
    TTilingMenuQt* Tiling;     // the Texture menu's Tiling entries and the View menu's half-tile offset
    TPaletteMenuQt* Palette;   // the Texture menu's Palette entries and the strip in the corner
    TMaterialMenuQt* Material; // the Material menu: the presets and the layer list

    // The keys of gen/Shortcuts.h as a two-column table (rich text), menu by menu (the Material
    // menu's own keys before the View menu's where the table has none), then the Tiled View's.
    static QString ShortcutsText();
    // F1: ShortcutsText in a message box.
    void ShowShortcuts();
    // The Preview Pane entry follows the window's flag.
    void SyncChecks();

private:
    QAction* AddAction(QMenu* menu, const QString& text, void (TMenuBarQt::*run)(), bool checkable = false);

    TFOrlu& m_window;
};

} // namespace vorn
