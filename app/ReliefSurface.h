// The Material View's surface of a texture composed of layers: the height and roughness come from
// the texture's own relief (TSurfaceRelief) rather than from its colour's lightness. The texture
// and the relief are reduced by the power of two PrepareMaterialSurface uses, with the same box
// averages (the map input and the relief as rounded averages, the albedo in linear light), and
// the maps are made from the reduced relief with the default settings, as the exported maps of
// the texture are made from its relief. No Qt.
#pragma once

#include <cstdint>

#include "export/MaterialLight.h"
#include "export/MaterialMaps.h"

namespace vorn {

// The relief reduced by the power-of-two factor k (each side divisible by k): every value the
// rounded average of its k x k box.
TSurfaceRelief ReducedRelief(const TSurfaceRelief& relief, std::int32_t k);

// The surface of texture lit with relief (of texture's size); a relief of another size, or an
// empty one, gives PrepareMaterialSurface's surface of the lightness. False when a map cannot be
// made; out is then untouched.
bool PrepareReliefSurface(const TBitmap32& texture, const TSurfaceRelief& relief, TMapEdges edges,
                          TMaterialSurface& out, std::int32_t maxTileSide = MaterialTileSide,
                          int threads = 0);

} // namespace vorn
