// Pattern kind bricks: courses of bricks in mortar, running bond or stack bond, planks with a
// random offset per course, or a grid of square floor tiles. Float arithmetic; see gen/Pattern.h
// for the field's conventions.
#pragma once

#include <span>

#include "gen/Pattern.h"

namespace vorn {

// The kind's parameters, in the order of TPatternParams::values: columns, rows, offset, mortar,
// bevel, pattern.
std::span<const TPatternParam> BricksParams();
// Rows rowBegin .. rowEnd - 1 of the field (sized already); other rows are left as they are.
void DrawBricks(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field);

} // namespace vorn
