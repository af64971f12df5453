// What the texture generator asks of its host: the current value of each settings control (read
// when the synthesis needs it) and the hooks it calls once per step. No Qt here: the window
// implements both with its widgets, the command-line tool with plain values.
#pragma once

#include <algorithm>

#include "gen/GenParams.h"
#include "gen/Layers.h"
#include "gen/Palette.h"

namespace vorn {

// "The current value of each control", read when the synthesis needs it; values as GenParams
// describes them (list index, slider position, size in pixels, colour 0xRRGGBB).
class TGenSettingsSource {
public:
    virtual ~TGenSettingsSource() = default;
    virtual int Value(TGenParamId id) const = 0;
    // The strokes' palette; empty is the walk's own colours (the Palette "Walk").
    virtual TPalette Palette() const { return {}; }
    // The layers the texture is composed of; empty: the tile alone.
    virtual TLayerStack Layers() const { return {}; }
};

// Plain values, the table's defaults at first: for the command line, recipes, the synthesis and
// the tests. The fields are TGenValues's, named as the table's rows name them.
struct TGenSettings final : TGenSettingsSource, TGenValues {
    TGenSettings() {
        for (const TGenParam& param : GenParams) this->*param.field = param.defaultValue;
    }

    int Value(TGenParamId id) const override { return this->*GenParam(id).field; }
    void SetValue(TGenParamId id, int value) { this->*GenParam(id).field = value; }
    TPalette Palette() const override { return palette; }
    TLayerStack Layers() const override { return layers; }

    TPalette palette;   // empty: Walk
    TLayerStack layers; // empty: the tile alone
};

// A palette as the synthesis reads it: one of fewer than two or more than sixteen colours is Walk.
inline TPalette UsablePalette(TPalette palette) {
    const auto count = static_cast<int>(palette.colors.size());
    if (count < MinPaletteColors || count > MaxPaletteColors) palette.colors.clear();
    return palette;
}

// Every value, the palette and the layers as the source gives them, unclamped.
inline TGenSettings SettingsOf(const TGenSettingsSource& settings) {
    TGenSettings values;
    for (const TGenParam& param : GenParams) values.SetValue(param.id, settings.Value(param.id));
    values.palette = settings.Palette();
    values.layers = settings.Layers();
    return values;
}

// A value as the synthesis reads it: clamped into the parameter's range.
inline int ClampedValue(const TGenSettingsSource& settings, TGenParamId id) {
    const TGenParam& param = GenParam(id);
    return std::clamp(settings.Value(id), param.min, param.max);
}

// Every value clamped into its range: what one run of the synthesis reads (the panels are
// disabled while a run lasts, so one read sees what every later read would).
inline TGenSettings ClampedSettings(const TGenSettingsSource& settings) {
    TGenSettings clamped;
    for (const TGenParam& param : GenParams) clamped.SetValue(param.id, ClampedValue(settings, param.id));
    clamped.palette = UsablePalette(settings.Palette());
    clamped.layers = settings.Layers();
    return clamped;
}

// The same value for every parameter, the same palette and the same layers.
inline bool SameSettings(const TGenSettingsSource& a, const TGenSettingsSource& b) {
    for (const TGenParam& param : GenParams) {
        if (a.Value(param.id) != b.Value(param.id)) return false;
    }
    return a.Palette() == b.Palette() && a.Layers() == b.Layers();
}

// What the synthesis asks of its host once per step; the defaults do nothing (command line).
class TGenHooks {
public:
    virtual ~TGenHooks() = default;
    virtual void PumpMessages() {}                  // let the window process pending messages
    virtual void SetProgressMaximum(int /*max*/) {} // the status bar's progress bar
    virtual void SetProgressPosition(int /*position*/) {}
    // Asked once per step after the pump: true stops the synthesis there, the tile unfinished.
    virtual bool StopRequested() { return false; }
};

} // namespace vorn
