// Randomize in the main window (Texture > Randomize, Ctrl+R): every unlocked generation parameter
// gets a random value (gen/Randomize.h) and a texture is made as Generate makes it, one history
// entry. A parameter is locked, until the window closes, from its control's context menu or by
// Ctrl+clicking its group; a locked group's caption carries a mark. The random source is this
// object's own, seeded from the system once.
#pragma once

#include <QObject>
#include <QString>
#include <random>

#include "gen/GenParams.h"
#include "gen/Randomize.h"

class QAction;
class QPoint;
class QWidget;

namespace vorn {

class TFOrlu;

class TRandomizeQt : public QObject {
    Q_OBJECT

public:
    // seed: the source's start; 0 = one from std::random_device.
    explicit TRandomizeQt(TFOrlu& window, std::uint32_t seed = 0);
    ~TRandomizeQt() override;

    QAction* ActionRandomize;

    // Ctrl+R; false when refused (a texture or a batch is being made).
    bool Randomize();

    bool Locked(TGenParamId id) const { return m_locked[id]; }
    // Locks or unlocks id (only Randomizable ones) and marks its caption.
    void SetLocked(TGenParamId id, bool locked);
    // The parameter whose group box is group and that can be locked; -1 when none.
    int LockableOfGroup(const QObject* group) const;

    // A locked group's caption: the mark, then the caption.
    static QString LockedCaption(const char* caption);

private:
    void PopupLockMenu(TGenParamId id, QWidget* control, const QPoint& at);

    TFOrlu& m_window;
    std::mt19937 m_random;
    TParamLocks m_locked{};
};

} // namespace vorn
