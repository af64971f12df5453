// Preview frames composed on the CPU straight from the render targets, with the geometry of
// DeviceRender: the tile at half size filling the 512 x 512 surface and, when the pane is shown,
// the view target 1:1 with its centre at (436, 436). For the frames the device cannot draw: while
// the tile target is bound for drawing (the tile as it grows), and at twice the size for
// high-density screens. Frames are 0xAARRGGBB, alpha always 0xFF, rows top first, packed.
#pragma once

#include <cstdint>
#include <vector>

namespace vorn {

class TRenderTarget;

inline constexpr int PreviewSize = 512;          // the surface, in logical pixels
inline constexpr double PreviewPaneCentre = 436; // the view target's centre on the surface
inline constexpr int PreviewPaneSize = 256;

// Fills frame with the preview at scale 1 (512 x 512) or 2 (1024 x 1024). Scale 1 gives each
// pixel the rounded mean of its 2 x 2 tile texels, (a + b + c + d + 2) / 4 per channel, which is
// exactly what the device's bilinear draw at half size gives; scale 2 shows the tile texel for
// pixel and the pane doubled. view == nullptr: no pane. False (frame unspecified) when a target
// cannot be read or is not 32 bits per texel of the expected size. matte (0xAABBGGRR): a
// transparent tile's premultiplied texels are shown over that colour, C + M * (1 - A) per channel
// after the halving; nullptr: the tile's colour as it is.
bool ComposePreview(TRenderTarget& tile, TRenderTarget* view, int scale, std::vector<std::uint32_t>& frame,
                    const std::uint32_t* matte = nullptr);

} // namespace vorn
