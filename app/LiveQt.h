// Live in the main window (Texture > Live, Ctrl+L): while it is checked, a change of a generation
// control, the size or the colour re-makes the current texture (gen/LiveRedraw.h) without
// Generate, the panels staying enabled. The re-making starts from the event loop; a change that
// arrives through the synthesis' message pump stops the texture in flight (when it is not about
// to finish) and the newest values follow at once. Settled changes become one history entry.
// The preview shows only finished tiles, never one as it grows. At 2048 and 4096 the large output
// is drawn once the controls rest (with the history entry, or at once when a slider is released),
// and before anything reads it. Over a chain too long for a recipe nothing is re-made, and the
// status bar says why once.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "app/widgets/ControlsQt.h"
#include "gen/LiveRedraw.h"

class QAction;

namespace vorn {

class TFOrlu;

class TLiveQt : public QObject {
    Q_OBJECT

public:
    explicit TLiveQt(TFOrlu& window);
    ~TLiveQt() override;

    QAction* ActionLive; // checkable, off at start

    TLiveRedraw& Live() { return m_live; }
    // A generation control, the size or the colour changed (by the user: changes made while the
    // panels are disabled are the window's own and ignored).
    void Changed();
    // A size arrow pressed while a texture is re-made: applied before the next one.
    void DeferSizeClick(TUDBtnType button);
    // A texture is being re-made (the synthesis' pump is below on the stack).
    bool Running() const { return m_running; }
    // The window's hooks ask this once per step.
    bool StopRequested() const;
    // The large output Live left pending drawn now, for what reads it (Export, Copy, the views).
    // True when none is pending afterwards.
    bool FinishLarge() { return MakeLarge(false); }

private:
    void Run();
    void RecordWhenSettled();
    bool MakeLarge(bool stoppable);
    // Says in the status bar why Live draws nothing over this texture.
    void SayTooLong();

    TFOrlu& m_window;
    QElapsedTimer m_clock;
    TLiveRedraw m_live;
    QTimer m_start;  // zero timer: the re-making starts from the event loop
    QTimer m_settle; // the history entry once the changes have settled
    QTimer m_large;  // zero timer: the large output after a slider's release
    bool m_released = false; // a slider was released while a texture was re-made
    bool m_running = false;
    std::vector<TUDBtnType> m_sizeClicks;
    bool m_saidTooLong = false;
    std::uint64_t m_tooLongSerial = 0; // the texture it was said for
};

} // namespace vorn
