// Soak test of the main window, offscreen: thousands of seeded random user events on the real
// window and its dialogs (clicks on every control, slider drags, wheel, keys and shortcuts,
// recipe pastes, history steps, the Tiled View, exports and batches into a temporary folder with
// Escape at random moments, settings). Events come from a queued tick that every nested event
// loop and every synthesis step delivers, so they also land while a texture or a batch is made
// and inside modal dialogs. It fails on a crash, a sanitizer report, a hang (nothing happened for
// 5 s), a written file that is not a whole image, and an output texture that differs from what
// its recipe makes on a fresh generator. PALLIMOR_SOAK_SEED replays a run's event choices,
// PALLIMOR_SOAK_SECONDS and PALLIMOR_SOAK_EVENTS set its length (both are reached),
// PALLIMOR_SOAK_VERBOSE=1 prints every event.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "app/HistoryQt.h"
#include "app/LiveQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/TiledViewQt.h"
#include "app/WindowCommandsQt.h"
#include "app/dialogs/about.h"
#include "app/dialogs/batch.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/settings.h"
#include "app/gen.h"
#include "gen/OutputTexture.h"
#include "gen/Recipe.h"
#include "test_support.h"
#include "tests/support/FakeBatchPlatform.h"
#include "tests/support/PngDecode.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace vorn {
namespace {

using Clock = std::chrono::steady_clock;
const std::string Archive = std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat";

long EnvNumber(const char* name, long fallback) {
    bool ok = false;
    const long value = qEnvironmentVariable(name).toLong(&ok);
    return ok ? value : fallback;
}

// The last events, for the watchdog and the crash handlers; beats count whatever shows that the
// program is alive (ticks, synthesis steps of the checks, files checked).
struct Trail {
    std::mutex lock;
    std::deque<std::string> lines;
    std::atomic<std::uint64_t> beats{0};
    std::atomic<bool> printed{false};
    unsigned seed = 0;
    bool verbose = false;
} g_trail;

void Note(const std::string& line) {
    if (g_trail.verbose) std::fprintf(stderr, "%s\n", line.c_str());
    const std::lock_guard lock(g_trail.lock);
    g_trail.lines.push_back(line);
    if (g_trail.lines.size() > 60) g_trail.lines.pop_front();
}

void PrintTrail() {
    if (g_trail.printed.exchange(true)) return;
    std::fprintf(stderr, "soak: seed %u (PALLIMOR_SOAK_SEED=%u replays it); the last events:\n", g_trail.seed,
                 g_trail.seed);
    // The thread that crashed may hold the lock: it is given up on after a second.
    std::unique_lock lock(g_trail.lock, std::defer_lock);
    for (int i = 0; i < 100 && !lock.try_lock(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const std::string& line : g_trail.lines) std::fprintf(stderr, "  %s\n", line.c_str());
    std::fflush(stderr);
}

void OnFatalSignal(int signal) {
    std::fprintf(stderr, "soak: signal %d\n", signal);
    PrintTrail();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Each distinct Qt message is printed once; refused clicks on disabled controls are not news.
void OnQtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    static std::set<QString> seen;
    if (text.contains("not accepted by receiving widget")) return;
    Note("   qt: " + text.toStdString());
    if (seen.insert(text).second) std::fprintf(stderr, "soak: qt message: %s\n", qPrintable(text));
    if (type == QtFatalMsg) std::abort();
}

// Aborts with the trail when no beat came for 5 s.
void Watch(std::stop_token stop) {
    std::uint64_t seen = g_trail.beats;
    Clock::time_point since = Clock::now();
    while (!stop.stop_requested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (const std::uint64_t now = g_trail.beats; now != seen) {
            seen = now;
            since = Clock::now();
        } else if (Clock::now() - since > std::chrono::seconds(5)) {
            std::fprintf(stderr, "soak: hang: nothing happened for 5 s\n");
            PrintTrail();
            std::abort();
        }
    }
}

struct BeatHooks final : TGenHooks {
    void PumpMessages() override { ++g_trail.beats; }
};

struct Messages final : TMessagePresenter {
    std::function<TMsgResult(const TMessageRequest&)> show;
    TMsgResult Show(const TMessageRequest& request, QWidget*) override { return show(request); }
};

// Empty when path holds one whole square BMP, PNG or JPEG of an output size; else what is wrong.
std::string BadImage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "cannot be read";
    const QByteArray b = file.readAll();
    const QString ext = QFileInfo(path).suffix().toLower();
    const auto le = [&](int at, int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n && at + i < b.size(); ++i)
            v |= std::uint32_t(std::uint8_t(b[at + i])) << (8 * i);
        return v;
    };
    int width = 0, height = 0;
    if (ext == "bmp") {
        if (b.size() < 54 || !b.startsWith("BM")) return "no BMP header";
        if (le(2, 4) != std::uint32_t(b.size())) return "BMP size field differs from the file's size";
        width = int(le(18, 4));
        height = std::abs(int(le(22, 4)));
        if (le(10, 4) + (qint64(width) * le(28, 2) / 8 + 3) / 4 * 4 * height > b.size())
            return "BMP cut short";
    } else if (ext == "png") {
        if (test::DecodePngRgb(std::vector<std::uint8_t>(b.begin(), b.end()), width, height).empty())
            return "PNG does not decode";
    } else if (ext == "jpg" || ext == "jpeg") {
        if (b.size() < 4 || !b.startsWith("\xFF\xD8") || !b.endsWith("\xFF\xD9"))
            return "JPEG markers missing";
    } else {
        return "not an image the program writes";
    }
    const QImage image = QImage::fromData(b);
    const int side = image.width();
    if (image.isNull()) return "does not decode";
    if ((width && (width != side || height != image.height())) || side != image.height() || side < 64 ||
        side > MaxTextureSize || (side & (side - 1)))
        return "size " + std::to_string(side) + " x " + std::to_string(image.height());
    return {};
}

// One main window with its dialogs, as the program makes them, and the context of its ticks.
struct Session {
    Session(TMessagePresenter& messages, TBatchPlatform& platform)
        : window([] { return Archive; }, nullptr, {}, messages), batch(&window, &platform, messages),
          progress(&window), settings(&window, messages), about(&window) {
        window.FVornBE = &batch;
        window.FVornBP = &progress;
        window.FVornS = &settings;
        window.FVornA = &about;
    }
    TFOrlu window;
    TFVornBE batch;
    TFVornBP progress;
    TFVornS settings;
    TFVornA about;
    QObject ticks; // destroyed first: the ticks still queued are dropped
};

class Soak {
public:
    Soak(unsigned seed, long seconds, long minEvents)
        : m_rng(seed), m_seconds(seconds), m_minEvents(minEvents), m_head(m_headSettings, &m_beatHooks) {
        m_platform.documentsLocation = [this] { return m_folder.path(); };
        m_platform.tickCount = [] { return std::uint32_t(0); };
        m_platform.browseFolder = [this](QWidget*, const QString&, const QString&, bool) {
            return R(4) == 0 ? QString() : m_folder.filePath(Pick<QString>({".", "b0", "b1"}));
        };
        m_messages.show = [this](const TMessageRequest& request) {
            ++m_messageCount;
            const bool yes = m_finishing || R(3) != 0;
            Note("   message " + request.caption.toStdString() + "|" + request.text.toStdString() +
                 (request.buttons == TMsgButtons::YesNo ? (yes ? " -> Yes" : " -> No") : ""));
            if (request.buttons == TMsgButtons::Ok) return TMsgResult::Ok;
            return yes ? TMsgResult::Yes : TMsgResult::No;
        };
        m_head.ComponentsInit();
        EXPECT_EQ(m_head.Startup(nullptr, Archive).failure, TStartupFailure::None);
    }

    void Run() {
        for (m_start = Clock::now(); !m_done;) {
            OpenWindow();
            if (!m_done) QApplication::exec(); // until the run is over or the window was closed
            if (!m_done) Note("session ended: the window was closed");
            if (!m_failed) CheckFiles();
            if (!m_failed && W().Ready()) CheckRecipe(16);
            m_session.reset();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
        std::fprintf(stderr,
                     "soak: seed %u: %ld events in %.1f s (%.0f/s), %d windows, %ld generations, %ld files "
                     "checked, %ld recipe checks, %ld messages, sizes seen:",
                     g_trail.seed, m_events, seconds, m_events / seconds, m_sessions, m_generations, m_files,
                     m_recipeChecks, m_messageCount);
        for (const int size : m_sizes) std::fprintf(stderr, " %d", size);
        std::fprintf(stderr, "\n");
        EXPECT_TRUE(m_failed || m_events >= m_minEvents) << m_events << " events";
    }

private:
    TFOrlu& W() { return m_session->window; }
    int R(int n) { return int(m_rng() % unsigned(n)); }
    template <class T> T Pick(std::initializer_list<T> items) { return items.begin()[R(int(items.size()))]; }
    QPoint Inside(const QWidget* w) { return {R(std::max(1, w->width())), R(std::max(1, w->height()))}; }

    void Event(const std::string& what) {
        char head[40];
        std::snprintf(head, sizeof head, "#%ld d%d ", m_events, m_depth);
        Note(head + what);
    }
    static std::string Name(const QWidget* w) {
        QString text = w->metaObject()->className() + QString(" ") + w->objectName();
        if (const auto* button = qobject_cast<const QAbstractButton*>(w)) text += " '" + button->text() + "'";
        if (const auto* group = qobject_cast<const QGroupBox*>(w)) text += " " + group->title();
        if (const auto* group = qobject_cast<const QGroupBox*>(w->parentWidget()))
            text += " in " + group->title();
        return text.toStdString();
    }

    void Fail(const std::string& what) {
        std::fprintf(stderr, "soak: FAILED: %s\n", what.c_str());
        PrintTrail();
        ADD_FAILURE() << what << " (seed " << g_trail.seed << ")";
        m_failed = m_done = true;
        QCoreApplication::quit();
    }

    void OpenWindow() {
        ++m_sessions;
        m_session = std::make_unique<Session>(m_messages, m_platform);
        W().Generator().OnTextureMade = [this, made = W().Generator().OnTextureMade](std::uint32_t seed,
                                                                                     bool clear) {
            ++m_generations;
            made(seed, clear);
        };
        random::SetSeed(std::uint32_t(m_rng())); // the first texture follows the soak's seed too
        W().Track(gpSteps)->setValue(0);         // cheap textures at first: many events a second
        W().List(gpBrushSize)->setCurrentIndex(0);
        W().show();
        const auto up = [&] { return ++g_trail.beats, W().PanelSurface->PresentCount() > 0 && W().Ready(); };
        if (!QTest::qWaitFor(up, 60000)) return Fail("the first texture did not appear");
        W().activateWindow();
        Post();
    }

    void Post() {
        QMetaObject::invokeMethod(
            &m_session->ticks, [this] { Tick(); }, Qt::QueuedConnection);
    }

    // One tick: a few events (as fast input arrives between two rounds of the event loop, whose
    // idle frames sleep), or a pause counted in ticks while a texture is being made.
    void Tick() {
        ++g_trail.beats;
        if (m_done || !W().isVisible()) return; // closed: the session ends once the stack unwinds
        Post();
        ++m_depth;
        if (W().Ready()) m_wait = 0;
        if (m_wait > 0) --m_wait;
        for (int burst = 1 + R(16); burst > 0 && !m_done && W().isVisible() && m_wait == 0; --burst) Step();
        --m_depth;
    }

    void Step() {
        QWidget* popup = QApplication::activePopupWidget();
        QWidget* modal = QApplication::activeModalWidget();
        TFVornBP& progress = m_session->progress;
        if (m_depth == 1 && !popup && !modal && W().Ready()) Settle();
        if (m_done) return;
        if (m_finishing) { // whatever is open is closed so that the run can settle
            if (++m_finishTicks > 20000) return Fail("the window does not settle after the last event");
            if (popup || modal || progress.isVisible()) Escape(popup ? popup : modal ? modal : &progress);
            return;
        }
        ++m_events;
        if (popup)
            OnPopup(popup);
        else if (modal)
            OnModal(modal);
        else if (progress.isVisible() && R(2))
            Escape(R(3) ? static_cast<QWidget*>(&progress) : &W());
        else
            OnWindow();
        // While a texture or a batch is being made the events come every hundred steps or so.
        if (!W().Ready() && !QApplication::activeModalWidget()) m_wait = 1 + R(150);
    }

    // Nothing runs: files and the recipe are checked, and the run ends when its time is up.
    void Settle() {
        if (m_filesDirty) CheckFiles();
        if (m_events - m_lastRecipeCheck >= 100 && !m_failed) {
            m_lastRecipeCheck = m_events;
            CheckRecipe(6); // longer Keep chains when a window ends only: each link is a generation
        }
        if (!m_finishing && m_events >= m_minEvents &&
            Clock::now() - m_start >= std::chrono::seconds(m_seconds)) {
            Note("finishing");
            m_finishing = true;
        }
        if (m_finishing && !m_session->progress.isVisible()) {
            m_done = true;
            QCoreApplication::quit();
        }
    }

    void Escape(QWidget* w) {
        Event("Escape on " + Name(w));
        Key(w, Qt::Key_Escape);
    }
    void Key(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        QWidget* focus = w->window()->focusWidget();
        QTest::keyClick(focus && focus->isVisible() ? focus : w, key, mods);
    }
    void KeyOn(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        Event("key " + QKeySequence(key | mods).toString().toStdString() + " on " + Name(w));
        QTest::keyClick(w, key, mods);
    }
    void Click(QWidget* w, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        Event("click " + Name(w) + " at " + std::to_string(at.x()) + "," + std::to_string(at.y()));
        QTest::mouseClick(w, button, {}, at);
    }
    void DoubleClick(QWidget* w, QPoint at) {
        Event("double click " + Name(w));
        QTest::mouseClick(w, Qt::LeftButton, {}, at);
        QTest::mouseDClick(w, Qt::LeftButton, {}, at);
        QTest::mouseRelease(w, Qt::LeftButton, {}, at);
    }
    void Wheel(QWidget* w, QPoint at) {
        const int delta = Pick({120, -120, 40, -40, 360, -360});
        Event("wheel " + std::to_string(delta) + " on " + Name(w));
        QWheelEvent wheel(at, w->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &wheel);
    }
    void Drag(QWidget* w, QPoint from, QPoint to) {
        Event("drag " + Name(w) + " to " + std::to_string(to.x()) + "," + std::to_string(to.y()));
        QTest::mousePress(w, Qt::LeftButton, {}, from);
        for (int i = 1; i <= 3; ++i) QTest::mouseMove(w, from + (to - from) * i / 3);
        QTest::mouseRelease(w, Qt::LeftButton, {}, to);
    }

    static QPoint Handle(const QSlider* s) {
        const int length = s->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, s);
        return {QStyle::sliderPositionFromValue(s->minimum(), s->maximum(), s->value(), s->width() - length) +
                    length / 2,
                s->height() / 2};
    }

    void OnSlider(QSlider* s) {
        const int pick = R(4);
        if (pick == 0) // the handle to a place; the Steps slider mostly to its cheap end
            return Drag(s, Handle(s),
                        {s == W().Track(gpSteps) && R(3) ? R(s->width() / 4) : R(s->width()), 5});
        if (pick == 1) return Wheel(s, Inside(s));
        if (pick == 2) return Click(s, Inside(s));
        KeyOn(s, Pick({Qt::Key_Left, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home,
                       Qt::Key_End}));
    }

    // Any control of the window, found among its children, used as its kind is.
    void UseControl() {
        QList<QWidget*> controls;
        for (QWidget* w : W().findChildren<QWidget*>())
            if (w->isVisible() && w->window() == &W() && w != W().ButtonExit &&
                !w->testAttribute(Qt::WA_TransparentForMouseEvents))
                controls << w;
        QWidget* w = controls[R(int(controls.size()))];
        // Mostly small sizes: the up arrow often turns into the down arrow from 256 on, and always
        // from 2048 on (saving a 4096 PNG takes seconds, which the watchdog would take for a hang).
        const int size = W().Generator().TextureSize;
        if (w == W().UpDownSize->UpButton() && ((size >= 256 && R(3)) || size >= 2048))
            w = W().UpDownSize->DownButton();
        if (auto* slider = qobject_cast<QSlider*>(w)) return OnSlider(slider);
        if (qobject_cast<QComboBox*>(w) && R(2)) return R(2) ? Wheel(w, Inside(w)) : KeyOn(w, Qt::Key_Down);
        if (qobject_cast<QGroupBox*>(w) && R(2)) return DoubleClick(w, Inside(w));
        Click(w, Inside(w));
    }

    void OnWindow() {
        if (QApplication::activeWindow() != &W() && R(4)) {
            Event("activate the main window"); // a click on its title bar
            return W().activateWindow();
        }
        static const char* const keys[] = {"F5",        "Ctrl+G",        "Ctrl+S",   "Ctrl+B",    "Ctrl+C",
                                           "Ctrl+T",    "Ctrl+Shift+C",  "Ctrl+O",   "Menu",      "Shift+F10",
                                           "Tab",       "Shift+Backtab", "Left",     "Right",     "Up",
                                           "Down",      "PgUp",          "PgDown",   "Home",      "End",
                                           "Space",     "Return",        "Alt+Left", "Alt+Right", "Alt+Left",
                                           "Alt+Right", "Ctrl+L",        "Ctrl+R",   "F1"};
        QSlider* steps = W().Track(gpSteps);
        const int pick = R(100);
        if (pick < 8 && W().Ready()) { // now and then back to cheap textures: their stamps cost the most
            if (steps->value() > 128) return Drag(steps, Handle(steps), {0, 5});
            return KeyOn(W().List(gpBrushSize), Qt::Key_Home);
        }
        if (pick < 40) return UseControl();
        if (pick < 68) {
            const QKeyCombination key = QKeySequence(keys[R(int(std::size(keys)))])[0];
            QWidget* focus = W().focusWidget();
            return KeyOn(focus && focus->isVisible() ? focus : &W(), key.key(), key.keyboardModifiers());
        }
        if (pick < 78) return PasteRecipe();
        if (pick < 86) return OnTiledView();
        if (pick < 92) {
            const QPoint at = Inside(W().PanelSurface);
            if (R(3)) return Click(W().PanelSurface, at);
            Click(W().PanelSurface, at, Qt::RightButton);
            QContextMenuEvent menu(QContextMenuEvent::Mouse, at, W().PanelSurface->mapToGlobal(at));
            return void(QApplication::sendEvent(W().PanelSurface, &menu));
        }
        if (pick < 96) {
            QPushButton* button =
                Pick({W().ButtonExport, W().ButtonBatch, W().ButtonSettings, W().ButtonAbout});
            return Click(button, Inside(button));
        }
        if (pick < 99) return Wheel(W().PanelSurface, Inside(W().PanelSurface));
        if (R(3) == 0) // the window closes; a new one follows
            return R(2) ? Escape(&W()) : Click(W().ButtonExit, Inside(W().ButtonExit));
    }

    // The clipboard gets a valid code (the window's, a new one, one with a fault) or junk; Ctrl+V.
    void PasteRecipe() {
        std::string code;
        const int kind = R(6);
        if (kind == 0) code = W().History->RecipeText().toStdString();
        if (kind == 1 || kind == 2 || kind == 3) {
            TRecipe recipe;
            const int size = Pick({64, 64, 64, 128, 128, 256, 512, 1024});
            const TCanvasColor bg = CanvasColorOfRgb(m_rng() & 0xFFFFFFu);
            for (int i = 0, links = R(5) ? 1 : 1 + R(4); i < links; ++i) {
                TGenSettings s;
                for (const TGenParam& p : GenParams) s.SetValue(p.id, p.min + R(p.max - p.min + 1));
                s.steps = R(8) ? R(200) : R(2049);
                s.brushSize = R(4) ? R(2) : R(4);
                s.size = size;
                if (i > 0) s.image = 1;
                recipe = NextRecipe(i ? &recipe : nullptr, s, std::uint32_t(m_rng()), size, bg);
            }
            code = EncodeRecipe(recipe);
            if (kind == 3 && !code.empty()) { // one fault: a character changed, or the code cut short
                if (R(2))
                    code[std::size_t(R(int(code.size())))] = char(32 + R(95));
                else
                    code.resize(std::size_t(R(int(code.size()))));
            }
        }
        if (kind == 4)
            for (int n = R(40); n > 0; --n) code += char(R(8) ? 32 + R(95) : R(256));
        if (kind != 5)
            QGuiApplication::clipboard()->setText(QString::fromLatin1(code.data(), qsizetype(code.size())));
        Event("paste " + (kind == 5 ? std::string("the clipboard as it is") : "'" + code + "'"));
        Key(&W(), Qt::Key_V, Qt::ControlModifier);
    }

    void OnTiledView() {
        TTiledViewQt* view = W().Commands->TiledView();
        if (!view || !view->isVisible()) return KeyOn(&W(), Qt::Key_T, Qt::ControlModifier);
        const int pick = R(8);
        if (pick < 2) return Wheel(view, Inside(view));
        if (pick == 2) return Drag(view, Inside(view), Inside(view));
        if (pick < 5)
            return KeyOn(view, Pick({Qt::Key_Plus, Qt::Key_Minus, Qt::Key_0, Qt::Key_Equal, Qt::Key_F5}));
        if (pick == 5) return KeyOn(view, Qt::Key_Left, Qt::AltModifier);
        if (pick == 6) return Escape(view);
        Event("close the Tiled View");
        view->close();
    }

    void OnPopup(QWidget* popup) {
        auto* menu = qobject_cast<QMenu*>(popup);
        const int pick = R(8);
        if (menu && pick < 4)
            return Click(menu,
                         menu->actionGeometry(menu->actions()[R(int(menu->actions().size()))]).center());
        if (pick < 5) return Escape(popup);
        if (pick < 6) return Click(popup, Inside(popup));
        if (pick < 7) return Click(popup, QPoint(-5, popup->height() + 5)); // outside: it closes
        Event("Down, Return in the popup");
        Key(popup, Qt::Key_Down);
        Key(popup, Qt::Key_Return);
    }

    void OnModal(QWidget* modal) {
        m_filesDirty = true;
        if (auto* save = qobject_cast<QFileDialog*>(modal)) return OnSaveDialog(save);
        if (auto* batch = qobject_cast<TFVornBE*>(modal)) return OnBatchDialog(batch);
        if (auto* colour = qobject_cast<QColorDialog*>(modal)) {
            if (R(3) == 0) return Escape(colour);
            colour->setCurrentColor(QColor::fromRgb(m_rng() & 0xFFFFFFu));
            return Click(colour->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), {5, 5});
        }
        if (auto* settings = qobject_cast<TFVornS*>(modal); settings && R(3))
            return R(3) ? OnSlider(settings->TrackQuality) : Click(settings->ButtonSave, {5, 5});
        // Any other dialog (the About box, a message box of the save dialog): a button or Escape.
        QList<QAbstractButton*> buttons;
        for (QAbstractButton* b : modal->findChildren<QAbstractButton*>())
            if (b->isVisible()) buttons << b;
        if (buttons.isEmpty() || R(3) == 0) return Escape(modal);
        Click(buttons[R(int(buttons.size()))], {5, 5});
    }

    void OnSaveDialog(QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        const QList<QAbstractButton*> buttons = dialog->findChild<QDialogButtonBox*>("buttonBox")->buttons();
        const int pick = R(8);
        if (pick == 0) return Escape(dialog);
        if (pick == 1) return Click(buttons.at(R(int(buttons.size()))), {5, 5});
        if (pick == 2)
            return KeyOn(dialog->findChild<QComboBox*>("fileTypeCombo"), Pick({Qt::Key_Up, Qt::Key_Down}));
        if (pick > 4) return KeyOn(name, Qt::Key_Return);
        // A name typed: in the folder or in one that is missing, with any extension the program writes.
        const QString file =
            QString("%1/e%2%3")
                .arg(R(8) ? m_folder.path() : m_folder.filePath("missing"))
                .arg(R(50))
                .arg(Pick<const char*>({"", ".bmp", ".png", ".jpg", ".jpeg", ".PNG", ".Bmp", ".JPG"}));
        Event("type " + file.toStdString());
        name->setText(file);
    }

    void OnBatchDialog(TFVornBE* dialog) {
        const auto type = [&](QLineEdit* edit, const QString& text) {
            Event("type '" + text.toStdString() + "' into " + Name(edit));
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, text);
        };
        const int pick = R(10);
        if (pick == 0) return Escape(dialog);
        if (pick == 1) return Click(dialog->ButtonClose, {5, 5});
        if (pick == 2) return DoubleClick(dialog->EditDestinationFolder, {5, 5});
        if (pick == 3)
            return type(dialog->EditDestinationFolder,
                        Pick({m_folder.path(), m_folder.path(), m_folder.filePath("b3"), QString(),
                              m_folder.filePath("x/y")}));
        if (pick == 4)
            return type(dialog->EditCount,
                        R(40) ? Pick<QString>({"1", "2", "3", "4", "6", "0", "-2", "x", "", "12"}) : "1000");
        if (pick == 5) return KeyOn(dialog->ComboFileType, Pick({Qt::Key_Up, Qt::Key_Down}));
        if (pick == 6) return KeyOn(dialog->EditCount, Qt::Key_Return);
        Click(dialog->ButtonExport, {5, 5});
    }

    // Every file written or changed since the last look must be one whole image.
    void CheckFiles() {
        m_filesDirty = false;
        QDirIterator it(m_folder.path(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            const auto stamp = std::make_pair(info.size(), info.lastModified().toMSecsSinceEpoch());
            auto [at, added] = m_seen.try_emplace(info.filePath(), stamp);
            if (!added && at->second == stamp) continue;
            at->second = stamp;
            ++m_files;
            ++g_trail.beats;
            if (const std::string bad = BadImage(info.filePath()); !bad.empty())
                return Fail("file " + info.filePath().toStdString() + ": " + bad);
        }
        if (m_seen.size() > 300) { // the folder is emptied now and then
            for (const auto& [path, stamp] : m_seen) QFile::remove(path);
            m_seen.clear();
        }
    }

    // The output texture must be the one its recipe makes on a fresh generator.
    void CheckRecipe(std::size_t maxLinks) {
        const QString code = W().History->RecipeText();
        if (code.isEmpty()) return; // a Keep chain too long for a code
        const TRecipeDecoding decoded = DecodeRecipe(code.toStdString());
        if (!decoded.ok())
            return Fail("the window's recipe " + code.toStdString() + " is refused: " + decoded.error);
        if (decoded.recipe.links.size() > maxLinks) return;
        TBitmap32 shown, made;
        // Read as Copy and Export read it: a large output Live left pending is drawn first.
        if (!W().Live->FinishLarge()) return Fail("the pending large output cannot be drawn");
        if (!ReadOutputTexture(W().Generator(), shown)) return Fail("the output texture cannot be read");
        const std::uint32_t seed = random::Seed(); // the window's random sequence goes on undisturbed
        RegenerateRecipe(m_head, decoded.recipe);
        random::SetSeed(seed);
        if (!ReadOutputTexture(m_head, made)) return Fail("the remade texture cannot be read");
        ++m_recipeChecks;
        m_sizes.insert(shown.Width());
        std::size_t differ = 0;
        if (shown.Width() == made.Width() && shown.Height() == made.Height())
            for (std::size_t i = 0; i < shown.Pitch() * std::size_t(shown.Height()); i += 4)
                differ += std::memcmp(shown.Bits() + i, made.Bits() + i, 4) != 0;
        if (shown.Width() != made.Width() || differ)
            Fail("the output (" + std::to_string(shown.Width()) + ", " + std::to_string(differ) +
                 " texels differ) is not what its recipe " + code.toStdString() + " makes");
    }

    std::mt19937 m_rng;
    long m_seconds, m_minEvents;
    Clock::time_point m_start;
    QTemporaryDir m_folder;
    test::FakeBatchPlatform m_platform;
    Messages m_messages;
    BeatHooks m_beatHooks;
    TGenSettings m_headSettings;
    TGenerator m_head; // remakes recipes headlessly
    std::unique_ptr<Session> m_session;
    std::map<QString, std::pair<qint64, qint64>> m_seen;
    std::set<int> m_sizes;
    long m_events = 0, m_generations = 0, m_files = 0, m_recipeChecks = 0, m_messageCount = 0;
    long m_lastRecipeCheck = 0, m_finishTicks = 0;
    int m_sessions = 0, m_depth = 0, m_wait = 0;
    bool m_filesDirty = false, m_finishing = false, m_done = false, m_failed = false;
};

TEST(Soak, RandomUserEventsOnTheWindow) {
    const long seed = EnvNumber("PALLIMOR_SOAK_SEED", long(std::random_device()() & 0x7FFFFFFF));
    g_trail.seed = unsigned(seed);
    g_trail.verbose = EnvNumber("PALLIMOR_SOAK_VERBOSE", 0) != 0;
    const long seconds = EnvNumber("PALLIMOR_SOAK_SECONDS", 10);
    const long events = EnvNumber("PALLIMOR_SOAK_EVENTS", 5000);
    std::fprintf(stderr,
                 "soak: seed %ld (PALLIMOR_SOAK_SEED=%ld replays it), %ld s and %ld events at least\n", seed,
                 seed, seconds, events);
    for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(signal, OnFatalSignal);
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(PrintTrail);
#endif
    qInstallMessageHandler(OnQtMessage);
    const std::jthread watchdog(Watch);
    Soak(unsigned(seed), seconds, events).Run();
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
