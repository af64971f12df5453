#include "app/PanelSurfaceQt.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vorn {

TPanelSurfaceQt::TPanelSurfaceQt(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPanelSurfaceQt::PresentImage(const std::uint32_t* pixels, int width, int height, int pitchBytes) {
    if (!pixels || width <= 0 || height <= 0 || pitchBytes < width * 4) return;
    if (m_frame.width() != width || m_frame.height() != height)
        m_frame = QImage(width, height, QImage::Format_RGB32);
    const auto* source = reinterpret_cast<const unsigned char*>(pixels);
    for (int y = 0; y < height; ++y) {
        const auto* from =
            reinterpret_cast<const std::uint32_t*>(source + static_cast<std::ptrdiff_t>(y) * pitchBytes);
        auto* to = reinterpret_cast<std::uint32_t*>(m_frame.scanLine(y));
        // The back buffer's alpha byte is undefined for display; RGB32 wants it 0xFF.
        for (int x = 0; x < width; ++x) to[x] = from[x] | 0xFF000000u;
    }
    ++m_presentCount;
    if (OnPresent) OnPresent(m_frame);
    // Painted from the event loop: frames presented in a row (the device's, then a detailed one)
    // become one paint.
    update();
}

void TPanelSurfaceQt::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_frame.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), m_frame);
    ++m_paintCount;
}

void TPanelSurfaceQt::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void TPanelSurfaceQt::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click && OnClick) OnClick();
}

void TPanelSurfaceQt::contextMenuEvent(QContextMenuEvent* event) {
    if (!OnContextMenu) {
        event->ignore();
        return;
    }
    event->accept();
    OnContextMenu(event->globalPos());
}

} // namespace vorn
