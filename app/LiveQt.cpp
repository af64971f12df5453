#include "app/LiveQt.h"

#include <QAction>
#include <QSlider>

#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/StatusQt.h"
#include "app/gen.h"

namespace vorn {

TLiveQt::TLiveQt(TFOrlu& window)
    : QObject(&window), m_window(window), m_live([this] { return double(m_clock.nsecsElapsed()) / 1e6; }) {
    m_clock.start();
    ActionLive = AddWindowCommand(m_window, this, QStringLiteral("Live"), "Live");
    ActionLive->setCheckable(true);
    connect(ActionLive, &QAction::toggled, this, [this](bool on) {
        m_live.SetEnabled(on);
        if (!on) m_large.start(); // the texture left is made whole
    });

    m_start.setSingleShot(true);
    m_start.setInterval(0);
    connect(&m_start, &QTimer::timeout, this, [this] { Run(); });
    m_settle.setSingleShot(true);
    m_settle.setInterval(int(TLiveRedraw::SettleMs));
    connect(&m_settle, &QTimer::timeout, this, [this] { RecordWhenSettled(); });
    m_large.setSingleShot(true);
    m_large.setInterval(0);
    connect(&m_large, &QTimer::timeout, this, [this] {
        if (!m_live.ChangePending() && m_window.Ready()) MakeLarge(true);
    });
    // A slider let go rests: its large output need not wait for the history's delay.
    for (const TGenParam& param : GenParams) {
        if (QSlider* track = m_window.Track(param.id))
            connect(track, &QSlider::sliderReleased, this, [this] {
                if (m_running)
                    m_released = true;
                else
                    m_large.start();
            });
    }
}

TLiveQt::~TLiveQt() = default;

void TLiveQt::Changed() {
    if (!m_live.Enabled()) return;
    if (!m_running && !m_window.Ready()) return;
    m_live.Changed();
    m_settle.start();
    if (!m_running) m_start.start();
}

void TLiveQt::DeferSizeClick(TUDBtnType button) {
    if (!m_running) return;
    m_sizeClicks.push_back(button);
    m_live.Changed();
}

bool TLiveQt::StopRequested() const {
    return m_live.StopRequested(m_window.ProgressDone());
}

void TLiveQt::Run() {
    if (m_running) return;
    if (!m_window.Ready()) {
        // Another texture is being made (Generate came first): it is drawn with these values.
        m_live.TakeChange();
        return;
    }
    m_running = true;
    for (;;) {
        // The arrows pressed meanwhile, each as if pressed now (each is a change of its own).
        while (!m_sizeClicks.empty()) {
            const TUDBtnType button = m_sizeClicks.front();
            m_sizeClicks.erase(m_sizeClicks.begin());
            m_window.UpDownSizeClick(button);
            m_live.OutputResized(m_window.Generator());
        }
        if (!m_live.TakeChange()) break;
        // The preview keeps the last finished texture until the next one is finished: a tile
        // shown as it grows (its background bare, its walk cut short when a change stops it)
        // flickers while a slider moves.
        m_window.Generator().SetGrowthFrames(0);
        // Each finished texture reaches the surface at once, also when the next one follows
        // straight away (a drag) and would draw over the tile before a frame shows it.
        if (m_live.Redraw(m_window.Generator(), m_window.History->History()))
            m_window.Generator().PresentPreview(m_window.PanelSurface->FrameScale());
        else if (m_live.TileTooLong())
            SayTooLong();
        m_window.TextureShown();
    }
    m_running = false;
    m_settle.start();
    if (m_released) {
        m_released = false;
        m_large.start();
    }
}

bool TLiveQt::MakeLarge(bool stoppable) {
    TGenerator& generator = m_window.Generator();
    if (!generator.LargePending()) return true;
    if (m_running) return false;
    m_running = true; // changes meanwhile wait for it (or stop it) as for a re-making
    generator.SetGrowthFrames(0);
    const bool made = m_live.MakeLarge(generator, m_window.History->History(), stoppable);
    m_running = false;
    m_window.TextureShown();
    if (m_live.ChangePending() || !m_sizeClicks.empty()) m_start.start();
    return made;
}

void TLiveQt::SayTooLong() {
    // Once for each texture shown, not at every move of a slider.
    const std::uint64_t serial = m_window.Generator().OutputSerial();
    if (m_saidTooLong && serial == m_tooLongSerial) return;
    m_saidTooLong = true;
    m_tooLongSerial = serial;
    m_window.Status->Note(
        QStringLiteral("Live cannot re-make this texture: it is drawn over a chain too long "
                       "for a recipe"));
}

void TLiveQt::RecordWhenSettled() {
    const bool largePending = m_window.Generator().LargePending();
    if (m_running || !m_window.Ready() || m_live.ChangePending() || (!largePending && !m_live.RecordDue())) {
        if (m_live.Unrecorded() || largePending) m_settle.start();
        return;
    }
    // The controls rest: the large output first, then the entry of the texture it completes.
    if (!MakeLarge(true)) { // a change stopped it: the next texture follows
        if (!m_live.ChangePending()) m_settle.start();
        return;
    }
    if (!m_live.RecordDue()) {
        if (m_live.Unrecorded()) m_settle.start();
        return;
    }
    m_window.History->Record();
    m_live.Recorded();
}

} // namespace vorn
