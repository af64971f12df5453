// The Tiled View: a separate, resizable window filled with the output texture repeated edge to
// edge, so that seams can be hunted. At 100 % one texel covers one device pixel; the mouse wheel
// zooms from 25 % to 400 % about the cursor, dragging pans. A tile corner starts at the centre.
// The key N shows the texture's normal map instead of its colour, and back.
#pragma once

#include <QImage>
#include <QPointF>
#include <QWidget>

namespace vorn {

class TTiledViewQt : public QWidget {
    Q_OBJECT

public:
    explicit TTiledViewQt(QWidget* owner = nullptr);

    // The texture to repeat (texels as 0xAARRGGBB; alpha is ignored, as on the preview).
    void SetTexture(QImage texture);
    const QImage& Texture() const { return m_texture; }
    // What is repeated: the texture, or its normal map while ShowsNormals.
    const QImage& Shown() const { return m_showNormals ? m_normals : m_texture; }
    bool ShowsNormals() const { return m_showNormals; }
    void SetShowNormals(bool on);

    // Zoom in percent, one of 25, 35, 50, 71, 100, 141, 200, 283, 400 (steps of a half octave).
    int ZoomPercent() const;
    // Steps of the wheel: positive zooms in, about the point at (in widget coordinates).
    void ZoomBy(int steps, const QPointF& at);
    // Where texel (0, 0) of one copy lies, in widget coordinates.
    QPointF Origin() const { return m_origin; }

    QSize sizeHint() const override { return {640, 640}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Logical pixels per texel at the current zoom on this screen.
    double Scale() const;

    QImage m_texture;
    QImage m_normals; // of m_texture with the default settings; null until shown
    bool m_showNormals = false;
    int m_zoomStep = 0; // zoom = 2^(step / 2), step in -4..4
    QPointF m_origin;
    bool m_centred = false;
    bool m_dragging = false;
    QPointF m_dragFrom;
    int m_wheelRest = 0; // wheel angle not yet turned into a step (high-resolution wheels)
};

} // namespace vorn
