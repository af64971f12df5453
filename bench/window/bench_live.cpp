// Live in the window, measured as a user meets it (offscreen platform): a slider dragged at 60
// steps a second for a few seconds, counting the textures finished and stopped and the longest
// gap between two steps handled (how long the window went without answering) and the time from a
// change to the stop of the texture it stops; then single changes after a pause, timing each from
// the change to the surface's paint of its finished texture. Medians over the runs. Default and
// heavy-hard settings; the finish budget as built, or 0 (every change stops the texture in
// flight) with --stop-always.
// Usage: bench_live [--seconds N] [--stop-always] [--only default|heavy-hard]
#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/LiveQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/gen.h"
#include "bench/BenchArchive.h"

namespace {

using namespace vorn;

class TQuiet final : public TMessagePresenter {
public:
    TMsgResult Show(const TMessageRequest& request, QWidget*) override {
        std::fprintf(stderr, "message: %s\n", request.text.toLocal8Bit().constData());
        return TMsgResult::Ok;
    }
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs the event loop until done() or timeoutMs.
template <class F> bool Spin(F done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void Measure(TFOrlu& window, const char* name, const TGenSettings& settings, double seconds, int runs) {
    window.Live->ActionLive->setChecked(false);
    TGenSettings values = settings;
    values.size = 256;
    window.SetControls(values);
    window.ButtonGenerateClick();
    window.Live->ActionLive->setChecked(true);
    TLiveRedraw& live = window.Live->Live();
    QSlider* slider = window.Track(gpAngleSpeed);

    std::vector<double> rates, stops, gaps, stopLatencies;
    for (int run = 0; run < runs; ++run) {
        const std::uint64_t finished = live.Finished();
        const std::uint64_t stopped = live.Stopped();
        QElapsedTimer clock, tick;
        clock.start();
        tick.start();
        double longest = 0;
        std::uint64_t stoppedSeen = live.Stopped();
        int value = 1, direction = 1;
        QTimer drag;
        drag.setInterval(16);
        // The timer fires inside the synthesis' message pump as a mouse would; it ends the drag.
        QObject::connect(&drag, &QTimer::timeout, [&] {
            if (clock.elapsed() >= seconds * 1000) {
                drag.stop();
                return;
            }
            longest = std::max(longest, double(tick.nsecsElapsed()) / 1e6);
            if (live.Stopped() != stoppedSeen) {
                stoppedSeen = live.Stopped();
                stopLatencies.push_back(live.LastStopLatency());
            }
            tick.restart();
            value += direction;
            if (value == 100 || value == 1) direction = -direction;
            slider->setValue(value);
        });
        drag.start();
        Spin([&] { return !drag.isActive(); }, int(seconds * 1000) + 60000);
        const double elapsed = double(clock.nsecsElapsed()) / 1e9;
        rates.push_back(double(live.Finished() - finished) / elapsed);
        stops.push_back(double(live.Stopped() - stopped) / elapsed);
        gaps.push_back(longest);
        Spin([&] { return !window.Live->Running() && !live.ChangePending(); }, 60000);
    }

    std::vector<double> latencies;
    for (int i = 0; i < 15; ++i) {
        Spin([] { return false; }, 300); // at rest
        const std::uint64_t finished = live.Finished();
        TPanelSurfaceQt* surface = window.PanelSurface;
        int painted = -1;
        QElapsedTimer clock;
        clock.start();
        slider->setValue(slider->value() == 50 ? 51 : 50);
        const bool shown = Spin(
            [&] {
                if (painted < 0 && live.Finished() > finished) painted = surface->PaintCount();
                return painted >= 0 && surface->PaintCount() > painted;
            },
            5000);
        if (shown) latencies.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("%-12s textures/s during a drag %6.1f (stopped/s %5.1f, change to stop %5.1f ms, longest gap "
                "%5.1f ms)   change to screen %6.1f ms  [medians of %d drags of %.0f s and %zu changes]\n",
                name, Median(rates), Median(stops), Median(stopLatencies), Median(gaps), Median(latencies),
                runs, seconds, latencies.size());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    double seconds = 3;
    bool stopAlways = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atof(argv[++i]);
        if (!std::strcmp(argv[i], "--stop-always")) stopAlways = true;
        if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = argv[++i];
    }
    TQuiet messages;
    TFOrlu window([] { return bench::ArchivePath(); }, nullptr, {}, messages);
    window.show();
    window.activateWindow(); // frames are drawn while the program is active
    if (!Spin(
            [&] {
                return window.PanelSurface->PresentCount() > 0 && window.Ready() && window.FramesRunning();
            },
            60000)) {
        std::fprintf(stderr, "the window showed no texture\n");
        return 1;
    }
    if (stopAlways) window.Live->Live().SetFinishBudget(0);
    std::printf("finish budget %.1f ms\n", stopAlways ? 0.0 : TLiveRedraw::FinishBudgetMs);

    if (only.empty() || only == "default") Measure(window, "default", TGenSettings(), seconds, 5);
    if (!only.empty() && only != "heavy-hard") return 0;
    TGenSettings heavy;
    heavy.steps = 2048;
    heavy.brushSize = 3; // 128
    heavy.brushType = 0; // Hard
    heavy.effect = 7;    // Shift
    Measure(window, "heavy-hard", heavy, seconds, 3);
    return 0;
}
