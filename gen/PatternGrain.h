// Pattern kind grain: wood, as growth rings (level sets of the coordinate across the grain, bent by
// periodic noise) with fibres (streaks of noise stretched along the grain) for planks, or deep furrows
// between ridged plates for bark. See gen/Pattern.h for the field's conventions.
#pragma once

#include <span>

#include "gen/Pattern.h"

namespace vorn {

// The kind's parameters, in the order of TPatternParams::values.
std::span<const TPatternParam> GrainParams();
void DrawGrain(const TPatternParams& params, int size, TPatternField& field);

} // namespace vorn
