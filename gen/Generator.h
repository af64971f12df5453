// The texture generator: the engine objects of the main window, start-up, the tile synthesis
// (a mirrored random brush walk on a 1024 x 1024 tile), the seven render targets and the preview
// composition. No Qt here: the window and the command-line tool both drive this class, the
// window through the settings source and hooks it implements.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/VornDef.h"

namespace vorn {

namespace sd {
class HostSink;
}
class TVornDevice;
class TVornCanvas;
class TVornDb;
class TVornImages;
class TVornTextures;
class TVornTimer;

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
    virtual void PumpMessages() {}                 // let the window process pending messages
    virtual void SetProgressMaximum(int /*max*/) {} // the status bar's progress bar
    virtual void SetProgressPosition(int /*position*/) {}
};

enum class TStartupFailure {
    None,
    Device,       // "Initializing device failed!  " / "Error"
    Archive,      // "File vorn.dat not found! Try reinstalling the application!  " / "Error!"
    RenderTarget, // "Adding render target N x N failed!  " / "Error", N = failedTargetSize
};

struct TStartupResult {
    TStartupFailure failure = TStartupFailure::None;
    int failedTargetSize = 0;
};

inline constexpr const char* ArchiveFileName = "vorn.dat";

class TGenerator {
public:
    TGenerator(const TGenSettingsSource& settings, TGenHooks* hooks = nullptr);
    ~TGenerator(); // disables the timer, then finalises the device

    TGenerator(const TGenerator&) = delete;
    TGenerator& operator=(const TGenerator&) = delete;

    // Creates and configures the engine objects (device, canvas, archive, images, targets,
    // timer) in that order, with the application's settings.
    void ComponentsInit();

    // The rest of the main window's creation: binds the device to sink (nullptr = headless),
    // initialises it, checks for the archive at archivePath, loads the images and adds the
    // seven render targets. Leaves StartupIncomplete false and the timer enabled on success.
    TStartupResult Startup(sd::HostSink* sink, const std::string& archivePath);

    // Where the program looks for vorn.dat: the bare name in the current directory, then
    // beside the executable (exeDir), then in the installed data folder. Empty when none has it.
    static std::string FindArchive(const std::string& exeDir);

    // First showing: the three renderings of Generate, the tile target cleared first.
    void FirstRender();
    // One new texture: tile, view, output of the current size. False (and nothing done) when
    // a generation is already running.
    bool Generate();
    bool Generating() const { return m_generating; }
    // The size arrows: Up doubles (at most 1024), Down halves (at least 64); redraws only the
    // output target of the new size.
    void SizeUp();
    void SizeDown();

    static int GetIndex(int size); // 128 -> 5, 256 -> 4, 512 -> 3, 1024 -> 2, other -> 6

    // Render callbacks (RenderIntoTarget) and the device's OnRender handler.
    void TileRender(TVornTextures* sender);
    void ViewRender(TVornTextures* sender);
    void SizeRender(TVornTextures* sender);
    void DeviceRender(TVornDevice* sender);

    // One frame of the frame timer (TimerTimer): render, present, process. Presents only when
    // a target or the preview pane changed since the last presented frame.
    void TimerTimer();
    void MarkDirty() { m_dirty = true; }

    // Every canvas call of TileRender is written here when set (pallimor-cli --trace).
    void SetTrace(std::FILE* trace) { m_trace = trace; }

    // Program-wide values of the main window.
    int TextureSize = 256;
    TCanvasColor BackgroundColor = 0xFFFF8000u;
    bool BatchRunning = false;
    bool PreviewPaneVisible = false;
    bool StartupIncomplete = true;

    // The engine objects; the canvas is owned by the device.
    std::unique_ptr<TVornDevice> Device;
    TVornCanvas* Canvas = nullptr;
    std::unique_ptr<TVornDb> Archive;
    std::unique_ptr<TVornImages> Images;
    std::unique_ptr<TVornTextures> Textures;
    std::unique_ptr<TVornTimer> FrameTimer;

private:
    const TGenSettingsSource& m_settings;
    TGenHooks* m_hooks;
    TGenHooks m_noHooks;
    bool m_generating = false;
    bool m_dirty = true;
    std::FILE* m_trace = nullptr;
};

} // namespace vorn
