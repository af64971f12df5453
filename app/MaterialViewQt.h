// The Material View: a separate window showing the output texture lit as a surface (its normal,
// roughness and occlusion maps, export/MaterialLight.h; of a texture composed of layers, the maps
// of its own relief), 2 x 2 copies scaled to fit. The light
// stands over the point under the pointer, MaterialLightHeight tiles above the surface; Esc
// closes the window (the keys of gen/Shortcuts.h). Textures are prepared and frames shaded on a
// worker thread of the window's own, so the window never waits for them: a texture or a light
// move that arrives while a frame is shaded replaces any still waiting, and only the newest is
// shaded once the frame is done.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "export/ImageWriters.h"
#include "export/MaterialMaps.h"
#include "gen/GenParams.h"

namespace vorn {

// How high the light stands above the surface, in tile sides.
inline constexpr float MaterialLightHeight = 0.75f;
// Threads a frame is shaded on unless told: the worker and one more (two cores).
inline constexpr int MaterialViewThreads = 2;

class TMaterialViewQt : public QWidget {
    Q_OBJECT

public:
    explicit TMaterialViewQt(QWidget* owner = nullptr, int threads = MaterialViewThreads);
    ~TMaterialViewQt() override;

    // The texture to light (BGRA; alpha ignored), with the axes its tile repeats across and its
    // relief when its layers gave one (the texture's size; none: the lightness is the height).
    void SetTexture(TBitmap32 texture, TTileAxes axes = {},
                    std::shared_ptr<const TSurfaceRelief> relief = {});
    // The light over the point at (in widget coordinates).
    void SetLightAt(const QPointF& at);
    // The newest shaded frame (2 x 2 copies); null before the first.
    const QImage& Frame() const { return m_frame; }
    // Frames shown since the window was made.
    std::uint64_t FramesShown() const { return m_framesShown; }

    QSize sizeHint() const override { return {512, 512}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    // Shows the frame the worker has shaded (queued from the worker).
    void TakeFrame();

private:
    class TWorker;
    // Where the frame is drawn: the largest square (of its aspect) centred in the window.
    QRectF FrameRect() const;

    std::unique_ptr<TWorker> m_worker;
    QImage m_frame;
    std::uint64_t m_framesShown = 0;
};

} // namespace vorn
