// What the texture generator asks of its host: the current value of each settings control (read
// when the synthesis needs it) and the hooks it calls once per step. No Qt here: the window
// implements both with its widgets, the command-line tool with plain values.
#pragma once

#include <algorithm>

#include "gen/GenParams.h"

namespace vorn {

// "The current value of each control", read when the synthesis needs it; values as GenParams
// describes them (list index, slider position, size in pixels, colour 0xRRGGBB).
class TGenSettingsSource {
public:
    virtual ~TGenSettingsSource() = default;
    virtual int Value(TGenParamId id) const = 0;

    int ImageIndex() const { return Value(gpImage); }         // 0 "Clear", 1 "Keep"
    int EffectIndex() const { return Value(gpEffect); }       // 0..9, "Blend" .. "Stroke"
    int BGFillIndex() const { return Value(gpBGFill); }       // 0 "Color", 1 "H-Grad", 2 "V-Grad", 3 "Random"
    int BGFormIndex() const { return Value(gpBGForm); }       // 0 "None", 1 "Circle", 2 "Square", 3 "Random"
    int BrushTypeIndex() const { return Value(gpBrushType); } // 0 "Hard", 1 "Soft"
    int BrushSizeIndex() const { return Value(gpBrushSize); } // 0..3 = "16", "32", "64", "128"
    int Steps() const { return Value(gpSteps); }              // 0..2048
    int HueSwitch() const { return Value(gpHueSwitch); }      // 1..100, as the seven below
    int Saturation() const { return Value(gpSaturation); }
    int Lightness() const { return Value(gpLightness); }
    int RadiusSpeed() const { return Value(gpRadiusSpeed); }
    int AngleSpeed() const { return Value(gpAngleSpeed); }
    int ScaleSpeed() const { return Value(gpScaleSpeed); }
    int TurnFreq() const { return Value(gpTurnFreq); }
};

// Plain values, the table's defaults at first: for the command line, recipes and the tests.
struct TGenSettings final : TGenSettingsSource {
    int size = GenParam(gpSize).defaultValue;
    int bgColor = GenParam(gpBGColor).defaultValue;
    int image = GenParam(gpImage).defaultValue;
    int effect = GenParam(gpEffect).defaultValue;
    int bgFill = GenParam(gpBGFill).defaultValue;
    int bgForm = GenParam(gpBGForm).defaultValue;
    int brushType = GenParam(gpBrushType).defaultValue;
    int brushSize = GenParam(gpBrushSize).defaultValue;
    int steps = GenParam(gpSteps).defaultValue;
    int hueSwitch = GenParam(gpHueSwitch).defaultValue;
    int saturation = GenParam(gpSaturation).defaultValue;
    int lightness = GenParam(gpLightness).defaultValue;
    int radiusSpeed = GenParam(gpRadiusSpeed).defaultValue;
    int angleSpeed = GenParam(gpAngleSpeed).defaultValue;
    int scaleSpeed = GenParam(gpScaleSpeed).defaultValue;
    int turnFreq = GenParam(gpTurnFreq).defaultValue;

    int Value(TGenParamId id) const override { return this->*Fields[id]; }
    void SetValue(TGenParamId id, int value) { this->*Fields[id] = value; }

private:
    // The field of each parameter, in table order.
    static constexpr int TGenSettings::*Fields[GenParamCount] = {
        &TGenSettings::size,        &TGenSettings::bgColor,    &TGenSettings::image,
        &TGenSettings::effect,      &TGenSettings::bgFill,     &TGenSettings::bgForm,
        &TGenSettings::brushType,   &TGenSettings::brushSize,  &TGenSettings::steps,
        &TGenSettings::hueSwitch,   &TGenSettings::saturation, &TGenSettings::lightness,
        &TGenSettings::radiusSpeed, &TGenSettings::angleSpeed, &TGenSettings::scaleSpeed,
        &TGenSettings::turnFreq};
};

// A value as the synthesis reads it: clamped into the parameter's range.
inline int ClampedValue(const TGenSettingsSource& settings, TGenParamId id) {
    const TGenParam& param = GenParam(id);
    return std::clamp(settings.Value(id), param.min, param.max);
}

// The same value for every parameter.
inline bool SameSettings(const TGenSettingsSource& a, const TGenSettingsSource& b) {
    for (const TGenParam& param : GenParams) {
        if (a.Value(param.id) != b.Value(param.id)) return false;
    }
    return true;
}

// What the synthesis asks of its host once per step; the defaults do nothing (command line).
class TGenHooks {
public:
    virtual ~TGenHooks() = default;
    virtual void PumpMessages() {}                  // let the window process pending messages
    virtual void SetProgressMaximum(int /*max*/) {} // the status bar's progress bar
    virtual void SetProgressPosition(int /*position*/) {}
};

} // namespace vorn
