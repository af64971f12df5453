#include "gen/LargeTile.h"

namespace vorn {

void TRecordingPainter::FillGradientRect(const TIntRect& rect, const TColorQuad& colors,
                                         TBlendEffect effect) {
    TPaintCall call;
    call.kind = TPaintCall::Gradient;
    call.effect = effect;
    call.rect = rect;
    call.colors = colors;
    m_chain.Add(call);
    m_next.FillGradientRect(rect, colors, effect);
}

void TRecordingPainter::FillSolidRect(std::int32_t left, std::int32_t top, std::int32_t width,
                                      std::int32_t height, TCanvasColor color, TBlendEffect effect) {
    TPaintCall call;
    call.kind = TPaintCall::Solid;
    call.effect = effect;
    call.rect = {left, top, width, height};
    call.color = color;
    m_chain.Add(call);
    m_next.FillSolidRect(left, top, width, height, color, effect);
}

void TRecordingPainter::DrawRotatedScaled(std::int32_t image, TCanvasColor color, double x, double y,
                                          double angle, double scale, std::int32_t pattern,
                                          TBlendEffect effect) {
    TPaintCall call;
    call.kind = TPaintCall::Stamp;
    call.effect = effect;
    call.image = image;
    call.pattern = pattern;
    call.color = color;
    call.x = x;
    call.y = y;
    call.angle = angle;
    call.scale = scale;
    m_chain.Add(call);
    m_next.DrawRotatedScaled(image, color, x, y, angle, scale, pattern, effect);
}

void ReplayCall(const TPaintCall& call, int factor, TLargePainter& painter) {
    const std::int32_t k = factor;
    const TIntRect& r = call.rect;
    switch (call.kind) {
    case TPaintCall::Gradient:
        painter.FillGradientRect({r.Left * k, r.Top * k, r.Right * k, r.Bottom * k}, call.colors,
                                 call.effect);
        break;
    case TPaintCall::Solid:
        // Extents may be negative (a rectangle beyond its corner); they scale all the same.
        painter.FillSolidRect(r.Left * k, r.Top * k, r.Right * k, r.Bottom * k, call.color, call.effect);
        break;
    case TPaintCall::Stamp: {
        const std::int32_t twin = call.image - FirstTwinImage;
        const bool hasTwin = twin >= 0 && twin < TwinImages &&
                             painter.DrawTwin(twin, call.color, call.x * k, call.y * k, call.angle,
                                              call.scale * k / HighResFactor, call.pattern, call.effect);
        if (!hasTwin)
            painter.DrawRotatedScaled(call.image, call.color, call.x * k, call.y * k, call.angle,
                                      call.scale * k, call.pattern, call.effect);
        break;
    }
    }
}

} // namespace vorn
