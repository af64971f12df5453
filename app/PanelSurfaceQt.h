// The preview surface: the widget the graphics device presents its back buffer to. Present
// copies the frame (32-bit 0xXXRRGGBB texels, rows top first) and asks for a repaint; a left
// click on the surface fires OnClick, a right click OnContextMenu. A frame larger than the
// surface (on a high-density screen) fills the same logical area with more device pixels.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "engine/soft/SoftHost.h"

namespace vorn {

class TPanelSurfaceQt : public QWidget, public sd::HostSink {
    Q_OBJECT

public:
    explicit TPanelSurfaceQt(QWidget* parent = nullptr);

    void PresentImage(const std::uint32_t* pixels, int width, int height, int pitchBytes) override;

    // The last frame presented (opaque RGB32); null before the first.
    const QImage& Frame() const { return m_frame; }
    int PresentCount() const { return m_presentCount; }
    // Paints of the widget so far: a frame presented is on screen once this has moved on.
    int PaintCount() const { return m_paintCount; }
    // 2 where a logical pixel has two or more device pixels a side (the 1024 tile can then be
    // shown texel for pixel), else 1.
    int FrameScale() const { return devicePixelRatioF() >= 2.0 ? 2 : 1; }

    std::function<void()> OnClick;
    // Each frame as it is presented, before it is painted (frames presented in a row are painted
    // once).
    std::function<void(const QImage& frame)> OnPresent;
    std::function<void(const QPoint& globalPos)> OnContextMenu;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QImage m_frame;
    int m_presentCount = 0;
    int m_paintCount = 0;
    bool m_pressed = false;
};

} // namespace vorn
