// The Tiled View: a separate, resizable window filled with the output texture repeated edge to
// edge, so that seams can be hunted. At 100 % one texel covers one device pixel; the mouse wheel
// zooms about the cursor from 400 % down to 25 %, or further until at least 3 x 3 copies fit the
// view; dragging pans. A tile corner starts at the centre. Ctrl+0 fits 3 x 3 copies, 0 shows
// 100 %, N the texture's normal map instead of its colour, and back, O moves the copies by half a
// tile, bringing a tile's edges to where its middle was (the keys of gen/Shortcuts.h). A texture
// that tiles across one axis only is repeated along that axis, on black.
#pragma once

#include <QImage>
#include <QPointF>
#include <QWidget>

#include "gen/GenParams.h"

namespace vorn {

class TTiledViewQt : public QWidget {
    Q_OBJECT

public:
    explicit TTiledViewQt(QWidget* owner = nullptr);

    // The texture to repeat (texels as 0xAARRGGBB; alpha is ignored, as on the preview), with the
    // axes its tile repeats across: those it is repeated across, and those its normals wrap.
    void SetTexture(QImage texture, TTileAxes axes = {});
    bool RepeatsX() const { return m_repeatX; }
    bool RepeatsY() const { return m_repeatY; }
    const QImage& Texture() const { return m_texture; }
    // What is repeated: the texture, or its normal map while ShowsNormals.
    const QImage& Shown() const { return m_showNormals ? m_normals : m_texture; }
    bool ShowsNormals() const { return m_showNormals; }
    void SetShowNormals(bool on);
    // The half-tile offset, along the axes the texture repeats across.
    bool HalfOffset() const { return m_halfOffset; }
    void SetHalfOffset(bool on);

    // Zoom in percent, in steps of a half octave: 400, 283, 200, 141, 100, 71, 50, 35, 25 and,
    // for a texture that large, below until 3 x 3 copies fit (4 for 4096 in 640 pixels).
    int ZoomPercent() const;
    // Steps of the wheel: positive zooms in, about the point at (in widget coordinates).
    void ZoomBy(int steps, const QPointF& at);
    // The largest zoom at which 3 x 3 copies fit the view, with the copies' block centred.
    void ZoomToFit();
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
    // The largest zoom step at which 3 x 3 copies fit the view; the least step the view allows.
    int FitStep() const;
    int MinStep() const;

    QImage m_texture;
    QImage m_normals; // of m_texture with the default settings; null until shown
    bool m_showNormals = false;
    bool m_repeatX = true, m_repeatY = true;
    bool m_halfOffset = false;
    int m_zoomStep = 0; // zoom = 2^(step / 2), step in MinStep()..4
    QPointF m_origin;
    bool m_centred = false;
    bool m_dragging = false;
    QPointF m_dragFrom;
    int m_wheelRest = 0; // wheel angle not yet turned into a step (high-resolution wheels)
};

} // namespace vorn
