// Pattern kind grain: wood, as growth rings (level sets of the coordinate across the grain, bent by
// periodic noise) with fibres (streaks of noise stretched along the grain) for planks, or deep furrows
// between ridged plates for bark. See gen/Pattern.h for the field's conventions.
#pragma once

#include <span>

#include "gen/Pattern.h"

namespace vorn {

// The kind's parameters, in the order of TPatternParams::values.
std::span<const TPatternParam> GrainParams();
// Rows rowBegin .. rowEnd - 1 of the field (sized already); other rows are left as they are.
void DrawGrain(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field);

} // namespace vorn
