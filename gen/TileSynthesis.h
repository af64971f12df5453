// The tile synthesis: an optional background and a random brush walk on the 1024 x 1024 tile.
// Mirror tiling draws every stamp at its point and at its mirror images x -> 1024 - x,
// y -> 1024 - y; a wrap mode draws it once, plus copies shifted by 1024 across the edges it
// tiles across. The order of the random draws is the texture; every draw comes from vorn::random.
#pragma once

#include <cstdint>

#include "engine/VornDef.h"
#include "gen/GenSettings.h"

namespace vorn {

inline constexpr std::int32_t TileSize = 1024;
// Image list positions: the background circle, then eight brushes (2 + 2 * size + type).
inline constexpr std::int32_t CircleImage = 1;
constexpr std::int32_t BrushImage(int sizeIndex, int typeIndex) {
    return 2 + 2 * sizeIndex + typeIndex;
}

// Receives the canvas calls of one synthesis, in order. DrawRotatedScaled names the image by its
// position in the image list; the receiver draws nothing when that image is missing.
class TTilePainter {
public:
    virtual ~TTilePainter() = default;
    virtual void FillGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect) = 0;
    virtual void FillSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                               TCanvasColor color, TBlendEffect effect) = 0;
    virtual void DrawRotatedScaled(std::int32_t image, TCanvasColor color, double x, double y, double angle,
                                   double scale, std::int32_t pattern, TBlendEffect effect) = 0;
    // Half the larger visible side of image at scale 1, in tile pixels; negative when not known. A
    // wrapped stamp gets a copy across an edge only where it reaches it, or, not known, always one
    // across the nearer edge. Copies wholly outside the tile draw nothing, so the texture is the same.
    virtual double ImageHalfSide(std::int32_t /*image*/) const { return -1.0; }
};

// Paints one texture through painter. Settings outside their controls' ranges are clamped into
// them. batchRunning is read at the start, at every step and at the end: while it is set the
// progress hooks are left alone. hooks.PumpMessages runs once per step, then hooks.StopRequested,
// which ends the walk there. True when the walk ran to its end.
bool SynthesizeTile(const TGenSettingsSource& settings, TCanvasColor backgroundColor,
                    const bool& batchRunning, TGenHooks& hooks, TTilePainter& painter);

} // namespace vorn
