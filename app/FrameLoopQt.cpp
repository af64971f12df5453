#include "app/FrameLoopQt.h"

namespace vorn {

TFrameLoopQt::TFrameLoopQt(QObject* parent, std::function<bool()> enabled, std::function<bool()> step)
    : QObject(parent), m_enabled(std::move(enabled)), m_step(std::move(step)) {
    m_idle.setInterval(0);
    connect(&m_idle, &QTimer::timeout, this, [this] { OnIdle(); });
}

void TFrameLoopQt::Wake() {
    m_unchangedFrames = 0;
    m_idle.start(0);
}

void TFrameLoopQt::OnIdle() {
    if (pumping) return;
    if (!m_enabled()) {
        m_idle.stop();
        return;
    }
    if (m_step()) {
        m_unchangedFrames = 0;
        if (m_idle.interval() != 0) m_idle.start(0);
    } else if (++m_unchangedFrames == FramesBeforeRest) {
        // Nothing to show for a while: look less often until something changes again.
        m_idle.start(RestInterval);
    }
}

} // namespace vorn
