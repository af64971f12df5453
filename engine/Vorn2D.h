// The quad canvas: collects pre-transformed, coloured, optionally textured vertices into a
// batch in system memory and hands it to the device as one indexed draw whenever the next
// primitive needs other state or more room, or the scene ends. Every operation carries a
// blend effect code (TBlendEffect) that selects blending and texture-stage state.
// Coordinates are pixels of the current render target; colours are TCanvasColor (0xAABBGGRR).
#pragma once

#include <cstdint>

#include "engine/VornDef.h"
#include "engine/VornSubsc.h"

namespace vorn {

class TDXBaseTexture;

class TVorn2D : public TVornDeviceSubscriber {
public:
    TVorn2D();
    ~TVorn2D() override;

    // Texture may be an image (its pattern geometry gives the coordinates) or a single texture.
    void DrawTexturedQuad(TDXBaseTexture* texture, const TFloatQuad& quad, const TColorQuad& colors,
                          const TPatternSelection& selection, TBlendEffect effect);
    // One image pattern centred at (x, y), scaled and rotated; draws nothing unless texture is
    // an image.
    void DrawRotatedScaled(TDXBaseTexture* texture, TCanvasColor color, double x, double y, double angle,
                           double scale, std::int32_t pattern, TBlendEffect effect);
    void FillQuad(const TFloatQuad& quad, const TColorQuad& colors, TBlendEffect effect);
    void FillGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect);
    void FillRectColor(const TIntRect& rect, TCanvasColor color, TBlendEffect effect);
    void FillSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                       TCanvasColor color, TBlendEffect effect);
    void DrawLine(TFloatPoint p1, TFloatPoint p2, TCanvasColor color1, TCanvasColor color2, TBlendEffect effect);
    void FrameQuad(const TFloatQuad& quad, const TColorQuad& colors, TBlendEffect effect);
    void FrameGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect);
    void FrameRectColor(const TIntRect& rect, TCanvasColor color, TBlendEffect effect);
    void FrameSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                        TCanvasColor color, TBlendEffect effect);
    void Flush();

    std::int32_t VertexCache() const;
    void SetVertexCache(std::int32_t value);
    bool AlphaTesting() const;
    void SetAlphaTesting(bool value);
    bool Antialias() const;
    void SetAntialias(bool value);
    bool Dithering() const;
    void SetDithering(bool value);

    bool HandleNotification(std::uint32_t message) override;

    // (implementation members follow; this header is owned by the canvas unit)
};

} // namespace vorn
