// Pattern kind cells: Worley (Voronoi) cells with one jittered point per lattice cell, drawn as
// stones in their joints, cracked plates, overlapping scales or flat tinted cells. Float
// arithmetic; see gen/Pattern.h for the field's conventions.
#pragma once

#include <span>

#include "gen/Pattern.h"

namespace vorn {

// The kind's parameters, in the order of TPatternParams::values: cells, jitter, form, gap, bevel,
// variation.
std::span<const TPatternParam> CellsParams();
// Rows rowBegin .. rowEnd - 1 of the field (sized already); other rows are left as they are.
void DrawCells(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field);

} // namespace vorn
