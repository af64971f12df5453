#include "app/MaterialViewQt.h"

#include "app/BitmapImageQt.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "export/MaterialLight.h"

namespace vorn {

// Prepares textures and shades frames off the window's thread. The window hands it the newest
// texture and light; it works on whatever is newest when it is free, and posts one frame at a
// time to the window, shading the next only once the window has taken it.
class TMaterialViewQt::TWorker {
public:
    TWorker(TMaterialViewQt& view, int threads)
        : m_view(view), m_threads(threads), m_thread([this] { Run(); }) {}

    ~TWorker() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void SetTexture(TBitmap32 texture, TMapEdges edges, std::shared_ptr<const TSurfaceRelief> relief) {
        {
            const std::lock_guard lock(m_mutex);
            m_texture = std::move(texture); // one still waiting is dropped
            m_relief = std::move(relief);
            m_edges = edges;
            m_newTexture = m_dirty = true;
        }
        m_wake.notify_one();
    }

    // u, v: the light's place in parts of the frame's width and height.
    void SetLight(float u, float v) {
        {
            const std::lock_guard lock(m_mutex);
            m_u = u;
            m_v = v;
            m_dirty = true;
        }
        m_wake.notify_one();
    }

    // The frame shaded last (empty when the texture could not be prepared); the next may start.
    TBitmap32 TakeFrame() {
        TBitmap32 frame;
        {
            const std::lock_guard lock(m_mutex);
            frame = std::move(m_frame);
            m_frame = TBitmap32();
            m_framePosted = false;
        }
        m_wake.notify_one();
        return frame;
    }

private:
    void Run() {
        TMaterialSurface surface;
        for (;;) {
            TBitmap32 texture;
            std::shared_ptr<const TSurfaceRelief> relief;
            bool newTexture = false;
            TMapEdges edges;
            float u = 0.5f, v = 0.5f;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stop || (m_dirty && !m_framePosted); });
                if (m_stop) return;
                newTexture = m_newTexture;
                if (newTexture) {
                    texture = std::move(m_texture);
                    m_texture = TBitmap32();
                    relief = std::move(m_relief);
                    m_relief.reset();
                    edges = m_edges;
                }
                u = m_u;
                v = m_v;
                m_newTexture = m_dirty = false;
                m_framePosted = true;
            }
            if (newTexture &&
                !PrepareMaterialSurface(texture, edges, surface, MaterialTileSide, m_threads, relief.get()))
                surface = TMaterialSurface();
            texture = TBitmap32();
            relief.reset();
            TBitmap32 frame;
            if (!surface.Empty()) {
                TMaterialLight light;
                light.point = true;
                light.x = u * float(2 * surface.width);
                light.y = v * float(2 * surface.height);
                light.z = MaterialLightHeight * float(std::max(surface.width, surface.height));
                if (!ShadeMaterial(surface, light, frame, m_threads)) frame = TBitmap32();
            }
            {
                const std::lock_guard lock(m_mutex);
                m_frame = std::move(frame);
            }
            // The frame itself goes through the mutex, the event carries nothing of ours; dropped
            // unseen when the window goes first (its destructor joins this thread).
            QMetaObject::invokeMethod(&m_view, "TakeFrame", Qt::QueuedConnection);
        }
    }

    TMaterialViewQt& m_view;
    const int m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    TBitmap32 m_texture;
    std::shared_ptr<const TSurfaceRelief> m_relief; // the texture's, or none
    TMapEdges m_edges;
    TBitmap32 m_frame; // shaded, for the window to take
    bool m_newTexture = false;
    bool m_dirty = false;       // a texture or a light not yet shaded
    bool m_framePosted = false; // a frame is on its way to the window
    bool m_stop = false;
    float m_u = 0.5f, m_v = 0.5f;
    std::thread m_thread; // last: starts once the rest is made
};

TMaterialViewQt::TMaterialViewQt(QWidget* owner, int threads)
    : QWidget(owner, Qt::Window), m_worker(std::make_unique<TWorker>(*this, std::max(threads, 1))) {
    setWindowTitle(QStringLiteral("Material View"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true); // the light follows the pointer without a button held
    setCursor(Qt::CrossCursor);
    setMinimumSize(64, 64);
    resize(sizeHint());
}

// The worker goes first: no frame arrives at a half-destroyed window.
TMaterialViewQt::~TMaterialViewQt() {
    m_worker.reset();
}

void TMaterialViewQt::SetTexture(TBitmap32 texture, TTileAxes axes,
                                 std::shared_ptr<const TSurfaceRelief> relief) {
    m_worker->SetTexture(std::move(texture), {axes.x, axes.y}, std::move(relief));
}

QRectF TMaterialViewQt::FrameRect() const {
    const QSizeF frame = m_frame.isNull() ? QSizeF(1, 1) : QSizeF(m_frame.size());
    const QSizeF fitted = frame.scaled(QSizeF(size()), Qt::KeepAspectRatio);
    return {QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted};
}

void TMaterialViewQt::SetLightAt(const QPointF& at) {
    const QRectF place = FrameRect();
    if (place.isEmpty()) return;
    m_worker->SetLight(float((at.x() - place.left()) / place.width()),
                       float((at.y() - place.top()) / place.height()));
}

void TMaterialViewQt::TakeFrame() {
    m_frame = ImageOfBitmap(m_worker->TakeFrame(), QImage::Format_RGB32);
    ++m_framesShown;
    update();
}

void TMaterialViewQt::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_frame.isNull()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(FrameRect(), m_frame);
}

void TMaterialViewQt::mouseMoveEvent(QMouseEvent* event) {
    SetLightAt(event->position());
    event->accept();
}

void TMaterialViewQt::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
    close(); // only this window
    event->accept();
}

} // namespace vorn
