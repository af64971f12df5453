// Pattern kind scratches: many fine straight segments (brushed or worn metal) with an optional
// low-frequency streak tone along them (grime). Each segment is drawn only over the texels near it,
// wrapping across the tile's repeating edges. See gen/Pattern.h for the field's conventions.
#pragma once

#include <span>

#include "gen/Pattern.h"

namespace vorn {

// The kind's parameters, in the order of TPatternParams::values.
std::span<const TPatternParam> ScratchesParams();
// Rows rowBegin .. rowEnd - 1 of the field (sized already); other rows are left as they are.
void DrawScratches(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field);

} // namespace vorn
