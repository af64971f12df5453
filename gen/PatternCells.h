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
void DrawCells(const TPatternParams& params, int size, TPatternField& field);

} // namespace vorn
