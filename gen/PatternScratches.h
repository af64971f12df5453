// Pattern kind scratches: many fine straight segments (brushed or worn metal) with an optional
// low-frequency streak tone along them (grime). Each segment is drawn only over the texels near it,
// wrapping across the tile's repeating edges. See gen/Pattern.h for the field's conventions.
#pragma once

#include <span>

#include "gen/Pattern.h"

namespace vorn {

// The kind's parameters, in the order of TPatternParams::values.
std::span<const TPatternParam> ScratchesParams();
void DrawScratches(const TPatternParams& params, int size, TPatternField& field);

} // namespace vorn
