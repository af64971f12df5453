// The synthesis' calls drawn with the canvas and the images of the list, and for a large replay
// the brushes' high-resolution twins. A missing image (or twin) draws nothing.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "archive/VornImages.h"
#include "engine/VornCanvas.h"
#include "gen/LargeTile.h"

namespace vorn {

class TCanvasPainter final : public TLargePainter {
public:
    using TTwins = std::array<TVornImage*, TwinImages>;

    // twins: the twin of each brush (nullptr where none), or none at all.
    TCanvasPainter(TVornCanvas& canvas, const TVornImages& images, const TTwins* twins = nullptr)
        : m_canvas(canvas), m_images(images), m_twins(twins) {}

    void FillGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect) override {
        m_canvas.FillGradientRect(rect, colors, effect);
    }
    void FillSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                       TCanvasColor color, TBlendEffect effect) override {
        m_canvas.FillSolidRect(left, top, width, height, color, effect);
    }
    void DrawRotatedScaled(std::int32_t image, TCanvasColor color, double x, double y, double angle,
                           double scale, std::int32_t pattern, TBlendEffect effect) override {
        Stamp(m_images.Item(image), color, x, y, angle, scale, pattern, effect);
    }
    double ImageHalfSide(std::int32_t image) const override {
        const TVornImage* item = m_images.Item(image);
        if (!item) return 0.0; // draws nothing
        const TIntSize size = item->VisibleSize();
        return 0.5 * std::max(size.Width, size.Height);
    }
    bool DrawTwin(std::int32_t twin, TCanvasColor color, double x, double y, double angle, double scale,
                  std::int32_t pattern, TBlendEffect effect) override {
        TVornImage* item = m_twins ? (*m_twins)[std::size_t(twin)] : nullptr;
        Stamp(item, color, x, y, angle, scale, pattern, effect);
        return item != nullptr;
    }

private:
    void Stamp(TVornImage* item, TCanvasColor color, double x, double y, double angle, double scale,
               std::int32_t pattern, TBlendEffect effect) {
        if (item) m_canvas.DrawRotatedScaled(item, color, x, y, angle, scale, pattern, effect);
    }

    TVornCanvas& m_canvas;
    const TVornImages& m_images;
    const TTwins* m_twins;
};

} // namespace vorn
