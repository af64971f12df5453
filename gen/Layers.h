// A texture as a stack of layers, bottom first: the tile (the background and the brush walk, as
// drawn without layers) is one kind of layer, the patterns (gen/Pattern.h) are the others. Each
// layer gives a colour, a height and a roughness at every texel and goes over the layers below
// it with a blend and an opacity; a mask layer says where the next layer shows. An empty stack
// is the tile alone, drawn as it always was. The text form ("cells:cells=12,tile:blend=mask")
// is what recipes, presets and the --layers option carry. No Qt.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gen/Pattern.h"

namespace vorn {

enum class TLayerBlend {
    Normal,   // the layer's colour over what is below
    Add,      // its colour added (the walk's Add)
    Sub,      // its colour taken away (the walk's Sub)
    Multiply, // what is below darkened by its colour
    Overlay,  // contrast: dark parts darken, light parts lighten
    Height,   // no colour: its relief and roughness added to what is below
    Mask,     // no colour or relief: the next layer shows where this one stands high
    MaskLow,  // ... where it lies low (mortar, cracks, grooves)
};

struct TLayerBlendInfo {
    TLayerBlend blend;
    const char* name; // as the text form and the options spell it
    const char* help;
};
std::span<const TLayerBlendInfo> LayerBlends();

inline constexpr std::size_t MaxLayers = 8;

struct TLayer {
    bool tile = false; // the tile; otherwise a pattern of kind
    TPatternKind kind = TPatternKind::Noise;
    std::array<int, MaxPatternValues> values = {}; // the kind's parameters, in its table's order
    TLayerBlend blend = TLayerBlend::Normal;
    int opacity = 100; // percent
    int relief = 100;  // percent of its height's rise and fall the stack gets
    // The part of the palette a pattern's tones read, in percent of its length.
    int toneLow = 0, toneHigh = 100;
    int variant = 0; // another pattern of the same kind and values (its own seed)
    // A mask's edge: the mask is 0 below maskFrom and full above maskTo (percent of the height).
    int maskFrom = 0, maskTo = 100;

    bool operator==(const TLayer&) const = default;
};

struct TLayerStack {
    std::vector<TLayer> layers; // bottom first
    bool Empty() const { return layers.empty(); }
    // The texture shows the tile: no layers, or a tile layer among them.
    bool ShowsTile() const {
        return layers.empty() || std::any_of(layers.begin(), layers.end(), [](const TLayer& l) { return l.tile; });
    }
    bool operator==(const TLayerStack&) const = default;
};

// The layer's own settings beside its kind's values: name, range, default.
struct TLayerSetting {
    const char* name;
    int min, max, defaultValue;
    int TLayer::*field;
    const char* help;
};
std::span<const TLayerSetting> LayerSettings();

// A layer of kind with its defaults; tile: the tile layer.
TLayer DefaultLayer(TPatternKind kind);
TLayer TileLayer();

// Text form: layers bottom first joined by ',', each its kind ("tile", "noise", "cells", ...)
// then ':name=value' for each value that is not its default, the kind's values first in their
// table's order, then blend and the layer's settings (LayerSettings). Empty for an empty stack.
std::string LayerStackText(const TLayerStack& stack);

struct TLayerStackParse {
    TLayerStack stack;
    std::string error; // one line naming what is wrong; empty: good
    bool ok() const { return error.empty(); }
};
// Reads the text form (values in any order, each once; "none" or "" is the empty stack).
// Refused: an unknown kind or name, a value out of range, more than MaxLayers layers, more than
// one tile layer.
TLayerStackParse ParseLayerStack(std::string_view text);

// The pattern a layer draws for a texture of seed repeating across axes.
TPatternParams LayerPattern(const TLayer& layer, std::uint32_t textureSeed, TTileAxes axes);

} // namespace vorn
