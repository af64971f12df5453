// The Tiling in the window: a checkable group of four Texture-menu entries (Mirror, Wrap, Wrap X,
// Wrap Y, with the keys of gen/Shortcuts.h) bound to the parameter's hidden list, which holds the
// value as the panel's lists hold theirs (so Live, the history, recipes and batches follow it),
// and the View menu's half-tile offset of the Tiled View.
#pragma once

#include <QObject>
#include <array>

class QAction;
class QActionGroup;
class QMenu;

namespace vorn {

class TFOrlu;

class TTilingMenuQt : public QObject {
    Q_OBJECT

public:
    // Adds the entries to texture and view; the window's lists must exist.
    TTilingMenuQt(TFOrlu& window, QMenu* texture, QMenu* view);
    ~TTilingMenuQt() override;

    std::array<QAction*, 4> ActionTiling{}; // in the list's order
    QAction* ActionHalfOffset;              // checked while the Tiled View shows the offset

    // A Tiling entry: refused (the checks put back) while the panels are disabled.
    void Choose(int tiling);
    // The checks follow the list and the Tiled View.
    void SyncChecks();

private:
    TFOrlu& m_window;
    QActionGroup* m_group;
};

} // namespace vorn
