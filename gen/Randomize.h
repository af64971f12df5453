// Randomize: new values for the generation parameters, each drawn uniformly across its range in
// the parameter table, from a random source of the caller's own (never vorn::random, whose
// sequence every recipe depends on). Locked parameters keep their values. No Qt.
#pragma once

#include <array>
#include <random>

#include "gen/GenSettings.h"

namespace vorn {

using TParamLocks = std::array<bool, GenParamCount>;

// The parameters Randomize changes: the lists, the sliders and the colour. Not the size (it only
// scales the output), nor Image (whether the walk starts afresh or draws over the tile), nor the
// Tiling (how the texture repeats is the user's choice of use, not of look).
constexpr bool Randomizable(TGenParamId id) {
    return id != gpSize && id != gpImage && id != gpTiling;
}

// The largest value Randomize draws: the row's maximum, but below None for the BG Fill, so that
// random textures stay opaque and draw as many values as before it was added.
constexpr int RandomMax(const TGenParam& param) {
    return param.id == gpBGFill ? BGFillNone - 1 : param.max;
}

// current's values with every unlocked Randomizable parameter drawn from random.
TGenSettings RandomizeSettings(const TGenSettingsSource& current, const TParamLocks& locked,
                               std::mt19937& random);

} // namespace vorn
