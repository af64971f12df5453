#include "app/TiledViewQt.h"

#include "app/BitmapImageQt.h"

#include <QBrush>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "export/MaterialMaps.h"
#include "gen/GenParams.h"

namespace vorn {

namespace {

constexpr int MinZoomStep = -4; // 25 %, or less where 3 x 3 copies need it
constexpr int MaxZoomStep = 4;  // 400 %
constexpr int FitCopies = 3;    // copies across the view that the least zoom shows
constexpr int WheelNotch = 120; // angle delta of one wheel notch, in eighths of a degree

// The normal map of an RGB32 texture, as RGB32, wrapping across edges; null when it cannot be made.
QImage NormalImage(const QImage& texture, TMapEdges edges) {
    TMapOptions defaults;
    defaults.edges = edges;
    THeightMap height;
    {
        // A TBitmap32 row is blue, green, red, alpha: the memory layout of RGB32. The copy goes
        // before the normal map is made (64 MiB each at 4096).
        TBitmap32 bitmap(texture.width(), texture.height());
        for (int y = 0; y < texture.height(); ++y)
            std::memcpy(bitmap.Row(y), texture.constScanLine(y), bitmap.Pitch());
        if (!MakeTileHeightMap(bitmap, defaults, height)) return {};
    }
    TBitmap32 normal;
    if (!MakeTileNormalMap(height, defaults, normal)) return {};
    return ImageOfBitmap(std::move(normal), QImage::Format_RGB32);
}

// a reduced into [-period, 0): the origin of the copy at or left of (above) the window's edge.
double WrapOrigin(double a, double period) {
    if (period <= 0) return a;
    const double r = std::fmod(a, period);
    return r >= 0 ? r - period : r;
}

} // namespace

TTiledViewQt::TTiledViewQt(QWidget* owner) : QWidget(owner, Qt::Window) {
    setWindowTitle(QStringLiteral("Tiled View"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::OpenHandCursor);
    setMinimumSize(64, 64);
    resize(sizeHint());
}

void TTiledViewQt::SetTexture(QImage texture, TTileAxes axes) {
    m_repeatX = axes.x;
    m_repeatY = axes.y;
    // Shown opaque, as the preview shows it: the alpha byte is not part of what is seen. The old
    // texture and normals go first, and the new one is taken over, not copied.
    m_texture = QImage();
    m_normals = QImage();
    m_texture = std::move(texture).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < m_texture.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_texture.scanLine(y));
        for (int x = 0; x < m_texture.width(); ++x) row[x] |= 0xFF000000u;
    }
    m_texture.reinterpretAsFormat(QImage::Format_RGB32);
    m_normals = m_showNormals ? NormalImage(m_texture, {m_repeatX, m_repeatY}) : QImage();
    update();
}

void TTiledViewQt::SetHalfOffset(bool on) {
    if (on == m_halfOffset) return;
    m_halfOffset = on;
    // Half a tile further (or back), along the repeated axes only.
    const QImage& shown = Shown();
    const double half = (on ? 0.5 : -0.5) * Scale();
    m_origin += QPointF(m_repeatX ? half * shown.width() : 0.0, m_repeatY ? half * shown.height() : 0.0);
    update();
}

void TTiledViewQt::SetShowNormals(bool on) {
    m_showNormals = on;
    if (on && m_normals.isNull()) m_normals = NormalImage(m_texture, {m_repeatX, m_repeatY});
    setWindowTitle(on ? QStringLiteral("Tiled View: Normal Map") : QStringLiteral("Tiled View"));
    update();
}

int TTiledViewQt::ZoomPercent() const {
    return static_cast<int>(std::lround(100.0 * std::exp2(m_zoomStep / 2.0)));
}

double TTiledViewQt::Scale() const {
    // 100 % is one texel per device pixel, also on a high-density screen.
    return std::exp2(m_zoomStep / 2.0) / devicePixelRatioF();
}

int TTiledViewQt::FitStep() const {
    const QImage& shown = Shown();
    const int side = std::max(shown.width(), shown.height());
    const int view = std::min(width(), height());
    if (side <= 0 || view <= 0) return 0;
    // 2^(step / 2) / dpr * side * FitCopies <= view  <=>  step <= 2 log2(view * dpr / (side * FitCopies))
    const double fit = view * devicePixelRatioF() / (double(side) * FitCopies);
    return std::min(int(std::floor(2.0 * std::log2(fit))), MaxZoomStep);
}

int TTiledViewQt::MinStep() const {
    return std::min(MinZoomStep, FitStep());
}

void TTiledViewQt::ZoomToFit() {
    m_zoomStep = FitStep();
    // The block of 3 x 3 copies centred in the view.
    const QImage& shown = Shown();
    const QPointF centre = QRectF(rect()).center();
    m_origin = centre - QPointF(shown.width(), shown.height()) * (Scale() * FitCopies / 2.0);
    update();
}

void TTiledViewQt::ZoomBy(int steps, const QPointF& at) {
    const int step = std::clamp(m_zoomStep + steps, MinStep(), MaxZoomStep);
    if (step == m_zoomStep) return;
    // The texel under `at` stays under it.
    const double before = Scale();
    const QPointF texel = (at - m_origin) / before;
    m_zoomStep = step;
    m_origin = at - texel * Scale();
    update();
}

void TTiledViewQt::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage& shown = Shown();
    if (shown.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const double scale = Scale();
    const double tileWidth = shown.width() * scale, tileHeight = shown.height() * scale;
    QTransform placement;
    placement.translate(m_repeatX ? WrapOrigin(m_origin.x(), tileWidth) : m_origin.x(),
                        m_repeatY ? WrapOrigin(m_origin.y(), tileHeight) : m_origin.y());
    placement.scale(scale, scale);
    QBrush tiles(shown);
    tiles.setTransform(placement);
    // Texels stay sharp squares when enlarged (seams must not be blurred away); reductions are
    // filtered so they do not shimmer.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_zoomStep < 0);
    // Along an axis the texture does not repeat across, one band of copies on black.
    const QRectF view(rect());
    const QRectF band(m_repeatX ? view.left() : m_origin.x(), m_repeatY ? view.top() : m_origin.y(),
                      m_repeatX ? view.width() : tileWidth, m_repeatY ? view.height() : tileHeight);
    if (!m_repeatX || !m_repeatY) painter.fillRect(view, Qt::black);
    painter.fillRect(band, tiles);
}

void TTiledViewQt::wheelEvent(QWheelEvent* event) {
    m_wheelRest += event->angleDelta().y();
    const int steps = m_wheelRest / WheelNotch;
    m_wheelRest -= steps * WheelNotch;
    if (steps != 0) {
        ZoomBy(steps, event->position());
        QToolTip::showText(event->globalPosition().toPoint(), QStringLiteral("%1 %").arg(ZoomPercent()),
                           this);
    }
    event->accept();
}

void TTiledViewQt::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    m_dragging = true;
    m_dragFrom = event->position();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void TTiledViewQt::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) return QWidget::mouseMoveEvent(event);
    m_origin += event->position() - m_dragFrom;
    m_dragFrom = event->position();
    update();
    event->accept();
}

void TTiledViewQt::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragging) return QWidget::mouseReleaseEvent(event);
    m_dragging = false;
    setCursor(Qt::OpenHandCursor);
    event->accept();
}

void TTiledViewQt::keyPressEvent(QKeyEvent* event) {
    const QPointF centre = QRectF(rect()).center();
    switch (event->key()) {
    case Qt::Key_Escape:
        close(); // only this window
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomBy(1, centre);
        break;
    case Qt::Key_Minus:
        ZoomBy(-1, centre);
        break;
    case Qt::Key_0:
        if (event->modifiers() & Qt::ControlModifier)
            ZoomToFit();
        else
            ZoomBy(-m_zoomStep, centre);
        break;
    case Qt::Key_N:
        SetShowNormals(!m_showNormals);
        break;
    case Qt::Key_O:
        SetHalfOffset(!m_halfOffset);
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    event->accept();
}

void TTiledViewQt::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_centred) return;
    m_centred = true;
    // A corner where four copies meet sits in the middle: both seams cross there.
    m_origin = QPointF(width() / 2, height() / 2);
}

} // namespace vorn
