// What the texture generator asks of its host: the current value of each settings control (read
// when the synthesis needs it) and the hooks it calls once per step. No Qt here: the window
// implements both with its widgets, the command-line tool with plain values.
#pragma once

namespace vorn {

// "The current value of each control", read when the synthesis needs it.
class TGenSettingsSource {
public:
    virtual ~TGenSettingsSource() = default;
    virtual int ImageIndex() const = 0;     // 0 "Clear", 1 "Keep"
    virtual int EffectIndex() const = 0;    // 0..9, "Blend" .. "Stroke"
    virtual int BGFillIndex() const = 0;    // 0 "Color", 1 "H-Grad", 2 "V-Grad", 3 "Random"
    virtual int BGFormIndex() const = 0;    // 0 "None", 1 "Circle", 2 "Square", 3 "Random"
    virtual int BrushTypeIndex() const = 0; // 0 "Hard", 1 "Soft"
    virtual int BrushSizeIndex() const = 0; // 0..3 = "16", "32", "64", "128"
    virtual int Steps() const = 0;          // 0..2048
    virtual int HueSwitch() const = 0;      // 1..100, as the seven below
    virtual int Saturation() const = 0;
    virtual int Lightness() const = 0;
    virtual int RadiusSpeed() const = 0;
    virtual int AngleSpeed() const = 0;
    virtual int ScaleSpeed() const = 0;
    virtual int TurnFreq() const = 0;
};

// Plain values with the main window's defaults: for the command line and the tests.
struct TGenSettings final : TGenSettingsSource {
    int image = 0, effect = 9, bgFill = 3, bgForm = 3, brushType = 1, brushSize = 2;
    int steps = 1024, hueSwitch = 50, saturation = 50, lightness = 50;
    int radiusSpeed = 50, angleSpeed = 50, scaleSpeed = 50, turnFreq = 50;

    int ImageIndex() const override { return image; }
    int EffectIndex() const override { return effect; }
    int BGFillIndex() const override { return bgFill; }
    int BGFormIndex() const override { return bgForm; }
    int BrushTypeIndex() const override { return brushType; }
    int BrushSizeIndex() const override { return brushSize; }
    int Steps() const override { return steps; }
    int HueSwitch() const override { return hueSwitch; }
    int Saturation() const override { return saturation; }
    int Lightness() const override { return lightness; }
    int RadiusSpeed() const override { return radiusSpeed; }
    int AngleSpeed() const override { return angleSpeed; }
    int ScaleSpeed() const override { return scaleSpeed; }
    int TurnFreq() const override { return turnFreq; }
};

// What the synthesis asks of its host once per step; the defaults do nothing (command line).
class TGenHooks {
public:
    virtual ~TGenHooks() = default;
    virtual void PumpMessages() {}                  // let the window process pending messages
    virtual void SetProgressMaximum(int /*max*/) {} // the status bar's progress bar
    virtual void SetProgressPosition(int /*position*/) {}
};

} // namespace vorn
