// The main window's frame loop: one step of the generator's frame timer whenever the event loop
// is idle, from a zero timer while frames change; after FramesBeforeRest steps without a new frame
// it looks only every RestInterval ms, so an idle window costs almost nothing.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace vorn {

class TFrameLoopQt : public QObject {
    Q_OBJECT

public:
    static constexpr int FramesBeforeRest = 50;
    static constexpr int RestInterval = 40;

    // step runs one frame step and answers whether a frame was presented; while enabled answers
    // false (the frame timer is off) the loop stops.
    TFrameLoopQt(QObject* parent, std::function<bool()> enabled, std::function<bool()> step);

    // Something may have changed: frames at full rate again.
    void Wake();
    void Stop() { m_idle.stop(); }
    bool Running() const { return m_idle.isActive(); }
    // Inside the synthesis' message pump no step runs (a frame step there would sleep inside it).
    bool pumping = false;

private:
    void OnIdle();

    std::function<bool()> m_enabled;
    std::function<bool()> m_step;
    QTimer m_idle;
    int m_unchangedFrames = 0; // idle steps in a row that presented nothing
};

} // namespace vorn
