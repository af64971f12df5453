// Pattern kind weave: warp threads running down the tile and weft threads across it, each passing
// over and under the other as a plain, twill or basket weave says: fabric, wicker, mesh. Float
// arithmetic; see gen/Pattern.h for the field's conventions.
#pragma once

#include <span>

#include "gen/Pattern.h"

namespace vorn {

// The kind's parameters, in the order of TPatternParams::values: threads, width, pattern, fibres,
// variation.
std::span<const TPatternParam> WeaveParams();
// Rows rowBegin .. rowEnd - 1 of the field (sized already); other rows are left as they are.
void DrawWeave(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field);

} // namespace vorn
