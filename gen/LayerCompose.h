// Composes a layer stack (gen/Layers.h) over the tile drawn at the output's size: each pattern
// layer is drawn at that size in bands of rows on threads, never as a whole field, and every
// layer goes over the ones below it in turn. Gives the texture's colour and its relief (height
// and roughness) from the layers' shapes, not from the colour.
//
// Per texel, bottom up, starting from the BG Color with height 0.5 and roughness 0.5: a layer
// has a colour L (a pattern's tone through its part of the palette; the tile's texel, made
// straight when the tile is transparent), a height l and a roughness g in 0..1 (the tile's height
// is its coverage when transparent, 0.5 otherwise; its roughness TileRoughness), and a coverage
// o = opacity x mask (x the tile's alpha). With e = 0.5 + (l - 0.5) relief:
//   normal, add, sub, multiply, overlay: the colour as the blend says, mixed in by o, and the
//     height and roughness mixed towards e and g by o;
//   height: colour kept, height + (l - 0.5) relief o and roughness + (g - 0.5) o, clamped to 0..1;
//   mask, mask-low: nothing changes; the next layer's mask is 1 + (m - 1) opacity, times any masks
//     before it, with m = (l - from) / max(to - from, 1/256) clamped to 0..1 (mask-low: 1 - that),
//     from and to the layer's mask-from and mask-to.
// Channels are floats (0..255 colour, 0..1 relief) in a fixed order of operations, unfused, so
// every build gives the same bytes; colours round half up, heights to 65535 steps, roughness to 255.
#pragma once

#include <cstddef>
#include <cstdint>

#include "export/MaterialMaps.h"
#include "gen/Layers.h"

namespace vorn {

inline constexpr float TileRoughness = 0.55f;

struct TComposeFrame {
    int size = 0;                 // the output's side
    std::uint32_t seed = 0;       // the texture's seed: the patterns' seeds come from it
    TTileAxes axes;               // the axes the tile repeats across: the patterns repeat likewise
    TPalette palette;             // the texture's palette (the walk's: greys)
    std::uint32_t background = 0; // the BG Color, 0xRRGGBB
    bool tileTransparent = false; // the tile's texels are premultiplied with coverage in alpha
};

// texels: frame.size rows of frame.size BGRA texels, pitch bytes apart: the tile at the output's
// size in, the composed texture (opaque) out. relief: the stack's height and roughness. threads
// as DrawPattern's; the result does not depend on it.
void ComposeLayers(const TLayerStack& stack, const TComposeFrame& frame, std::uint8_t* texels,
                   std::ptrdiff_t pitch, TSurfaceRelief& relief, int threads = 0);

} // namespace vorn
