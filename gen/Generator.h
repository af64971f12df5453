// The texture generator: the engine objects of the main window, start-up, the tile synthesis
// (a mirrored random brush walk on a 1024 x 1024 tile), the seven render targets and the preview
// composition. No Qt here: the window and the command-line tool both drive this class, the
// window through the settings source and hooks it implements.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/BrushFolder.h"
#include "engine/VornDef.h"
#include "engine/soft/SoftHost.h"
#include "export/MaterialMaps.h"
#include "gen/ArchiveChoice.h"
#include "gen/GenSettings.h"
#include "gen/LargeOutput.h"
#include "gen/LargeTile.h"

namespace vorn {

class TVornDevice;
class TVornCanvas;
class TVornDb;
class TVornImage;
class TVornImages;
class TVornTextures;
class TVornTimer;
class TRenderTarget;

enum class TStartupFailure {
    None,
    Device,       // "Initializing device failed!  " / "Error"
    Archive,      // "File vorn.dat not found! Try reinstalling the application!  " / "Error!"
    RenderTarget, // "Adding render target N x N failed!  " / "Error", N = failedTargetSize
};

struct TStartupResult {
    TStartupFailure failure = TStartupFailure::None;
    int failedTargetSize = 0;
    // The archive read and how many images it yielded (fewer than ArchiveImagesNeeded leaves
    // brushes missing, which is no start-up failure).
    TArchiveChoice archive;
};

// Sets a flag for the lifetime of a run and clears it on every way out.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~TFlagScope() { m_flag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& m_flag;
};

// Why a texture is missing when DrawFailed: the program's own line.
inline constexpr const char* DrawFailedText =
    "Drawing the texture failed: the renderer ran out of memory or refused a draw";

// Why a drawn texture could not be read back from its target (out of memory, say).
inline constexpr const char* ReadBackFailedText = "Reading the texture from the device failed";

// The program's own message and caption for a start-up failure (empty for None); archiveName
// is the archive named in the Archive message.
std::string StartupFailureText(const TStartupResult& result,
                               const std::string& archiveName = ArchiveFileName);
std::string StartupFailureCaption(const TStartupResult& result);

class TGenerator {
public:
    // createDirect3D reaches the device (empty = the software layer's own).
    TGenerator(const TGenSettingsSource& settings, TGenHooks* hooks = nullptr,
               sd::Direct3DFactory createDirect3D = {});
    ~TGenerator(); // disables the timer, then finalises the device

    TGenerator(const TGenerator&) = delete;
    TGenerator& operator=(const TGenerator&) = delete;

    // Creates and configures the engine objects (device, canvas, archive, images, targets,
    // timer) in that order, with the application's settings.
    void ComponentsInit();

    // The rest of the main window's creation: binds the device to sink (nullptr = headless),
    // initialises it, loads the images of the archive ChooseArchive picks among the candidates
    // (an Archive failure when none exists) and adds the seven render targets. Leaves
    // StartupIncomplete false and the timer enabled on success.
    TStartupResult Startup(sd::HostSink* sink, const std::vector<std::string>& archiveCandidates);
    // The one archive at archivePath (none when empty).
    TStartupResult Startup(sd::HostSink* sink, const std::string& archivePath);

    // Another brush set for the textures from now on: the images of archivePath replace the
    // list's when it yields every image the generator draws; otherwise nothing changes. The
    // answer says which archive was read and how many images it yielded. Refused (nothing read)
    // before start-up completed or while a generation runs.
    TArchiveChoice LoadBrushes(const std::string& archivePath);

    // The first of ArchiveCandidates(exeDir) that is a file; empty when none is.
    static std::string FindArchive(const std::string& exeDir);

    // One new texture drawn with settings, which are copied before it begins: tile (cleared first
    // with clearTile, otherwise as the settings say), view, output of the current size; with
    // deferLarge a large output is left pending (LargePending). False (and nothing done) when a
    // generation is already running (a click arriving through the per-step message pump) or
    // start-up has not completed.
    bool Draw(const TGenSettings& settings, bool clearTile, bool deferLarge = false);
    // Draw with the controls the generator was made with, as they are now: FirstRender over a
    // cleared tile (the first showing), Generate as the settings say.
    bool FirstRender() { return Draw(SettingsOf(m_controls), true); }
    bool Generate() { return Draw(SettingsOf(m_controls), false); }
    bool Generating() const { return m_generating; }
    // The last synthesis ran to its end (false when the hooks stopped it: the tile target holds
    // the part drawn, and neither the view, the output nor OnTextureMade followed).
    bool TextureFinished() const { return m_tileFinished; }
    // The device refused a draw of the last FirstRender or Generate (out of memory, say): the
    // targets miss a part of the texture, which is no texture to show or write.
    bool DrawFailed() const { return m_drawFailed; }
    // The size arrows: Up doubles (at most MaxTextureSize), Down halves (at least 64); redraws
    // only the output target of the new size. Nothing changes while a drawing runs.
    void SizeUp();
    void SizeDown();

    // 128 -> 5, 256 -> 4, 512 -> 3, 1024 -> 2, 2048 and 4096 -> 7 (the large target, made when
    // first drawn and freed at the smaller sizes), other -> 6.
    static int GetIndex(int size);
    // Whether the output of a size above 1024 shows the texture drawn at its resolution. False
    // when the calls that made the tile are unknown (a tile put back by ShowTile, a Keep chain
    // past TPaintChain::MaxCalls): the output is then the tile magnified, and drawing the
    // texture's recipe again at this size makes it exact.
    bool LargeExact() const {
        return IsLargeSize(TextureSize) && !m_largePending &&
               (m_large.ExactSize() == TextureSize || m_outputHidesTile);
    }
    // At 2048 and 4096 with deferLarge, a new texture (or a tile shown) draws the tile, the view and no
    // output: the output is pending until MakeLarge (or anything else that redraws the output) draws it.
    bool LargePending() const { return m_largePending && IsLargeSize(TextureSize); }
    // Draws the pending output from the tile's calls (the tile magnified when they are unknown).
    // True when nothing is pending afterwards; false when the hooks stopped it (it stays pending)
    // or a drawing runs.
    bool MakeLarge();
    // The twins of the brush set that large textures leave unused, found when the first large
    // texture since start-up or LoadBrushes loaded them (none before that).
    const std::vector<TBadTwin>& BadTwins() const { return m_large.BadTwins(); }

    // Render callbacks (RenderIntoTarget) and the device's OnRender handler.
    void TileRender(TVornTextures* sender);
    void ViewRender(TVornTextures* sender);
    void SizeRender(TVornTextures* sender);
    void DeviceRender(TVornDevice* sender);

    // One frame of the frame timer (TimerTimer): render, present, process. Does all three only
    // when a target or the preview pane changed since the last frame shown; a frame that fails
    // (as every frame does while a synthesis holds the device) is tried again next time.
    void TimerTimer();
    void MarkDirty() { m_dirty = true; }

    // The random source's value just before the current texture's generation began, and a
    // count that moves whenever the output target is redrawn (a new texture, another size).
    std::uint32_t TextureSeed() const { return m_textureSeed; }
    std::uint64_t OutputSerial() const { return m_outputSerial; }

    // The tile as it grows: while a texture is synthesised outside a batch, every intervalMs at
    // most, the quads drawn so far are flushed into the tile target and a preview frame at scale
    // is composed from the targets and presented to the device's host sink. No frame clears,
    // rebinds or begins a scene while the tile target is being drawn. 0 = none (the default).
    void SetGrowthFrames(int intervalMs, int scale = 1);
    // Composes the preview at scale 1 (512) or 2 (1024, the tile texel for pixel) from the
    // targets (PreviewCompose.h) and presents it to the host sink. False without a sink.
    bool PresentPreview(int scale);

    // Called after each new texture (FirstRender, Generate, also inside a batch or a recipe) with
    // the random source's value before it and whether the tile was cleared first.
    std::function<void(std::uint32_t seedBefore, bool clearedTile)> OnTextureMade;

    // The tile target's texels as stored (32 bits each, rows top first, packed), for keeping a
    // texture aside. False when the target cannot be read or is not 32 bits per texel.
    bool ReadTile(std::vector<std::uint32_t>& texels) const;
    // Puts texels as ReadTile gave them back into the tile target and draws the view and the
    // output of the current size from it, as the end of a generation does; seed becomes
    // TextureSeed. False, with nothing drawn, when the target cannot take them or a generation
    // runs. OnTextureMade is not called: no texture is made.
    // axes: those the texels' tile repeats across, as TileAxes gave them; transparent: as
    // TileTransparent said of them.
    // drawnWith: the settings the texels' texture was drawn with, whose layers and palette are
    // composed over the output (TextureSettings); null: those of the last texture drawn.
    bool ShowTile(const std::vector<std::uint32_t>& texels, std::uint32_t seed, TTileAxes axes,
                  bool transparent = false, bool deferLarge = false, const TGenSettings* drawnWith = nullptr);
    // The axes the tile in the tile target repeats across: the Tiling it was drawn with, and
    // over a Keep chain the axes every link's Tiling shares. The pane, the Tiled View and the
    // maps follow it, not the Tiling chosen since.
    TTileAxes TileAxes() const { return m_tileAxes; }
    // The tile was drawn without a fill over a transparent tile (BG Fill None with Clear, or a
    // Keep chain of None textures back to one): its texels hold premultiplied colour and the
    // coverage in alpha, and the output keeps that alpha. Keep with None over an opaque tile
    // stays opaque.
    bool TileTransparent() const { return m_tileTransparent; }
    // The output texture was composed of layers (the settings' stack): it is opaque, and Relief
    // holds its height and roughness; otherwise Relief is null.
    bool OutputComposed() const { return m_relief != nullptr; }
    std::shared_ptr<const TSurfaceRelief> Relief() const { return m_relief; }
    // The output as the files hold it: with premultiplied colour and coverage (TileTransparent),
    // unless layers were composed over it.
    bool OutputTransparent() const { return m_tileTransparent && !m_relief; }
    // The BG Color a transparent tile is shown and flattened over: the one it was made with (or
    // shown with), not one picked since, so the output stays what its recipe makes.
    TCanvasColor TileBackground() const { return m_tileBackground; }

    // Every drawing call of TileRender is written here when set (pallimor-cli --trace), in the
    // format of gen/TileTrace.h; a missing image is traced but draws nothing.
    void SetTrace(std::FILE* trace) { m_trace = trace; }

    // The controls FirstRender and Generate read (the window's, or the values the generator was
    // made with); they must outlive the generator.
    const TGenSettingsSource& Controls() const { return m_controls; }
    // The settings the last texture was drawn with, as its recipe records them.
    const TGenSettings& TextureSettings() const { return m_drawing; }

    // Program-wide values of the main window.
    int TextureSize = 256;
    TCanvasColor BackgroundColor = 0xFFFF8000u;
    bool BatchRunning = false;
    bool PreviewPaneVisible = false;
    bool StartupIncomplete = true;
    // Keep the calls of every texture, not only of those made at a large size, so that raising
    // the size afterwards draws the same texture (the window sets it; a command-line run knows
    // its size beforehand).
    bool RecordCalls = false;
    // The brush set the images come from (BrushSetHash of the archive loaded).
    std::uint32_t BrushSetHash = ShippedBrushSetHash;

    // The engine objects; the canvas is owned by the device.
    std::unique_ptr<TVornDevice> Device;
    TVornCanvas* Canvas = nullptr;
    std::unique_ptr<TVornDb> Archive;
    std::unique_ptr<TVornImages> Images;
    std::unique_ptr<TVornTextures> Textures;
    std::unique_ptr<TVornTimer> FrameTimer;

private:
    // The three renderings of a new texture: tile (cleared first or drawn over), view, output.
    void RenderAll(bool clearTile, bool deferLarge);
    // Redraws the output target of the current size from the tile; with deferLarge a large one
    // is left pending instead.
    void RenderSize(bool deferLarge = false);
    // The settings' layers composed over the output target of the current size (Relief); none
    // without layers.
    void ComposeOutput();
    // The view and the output of the current size from the tile, and a new output serial.
    void RenderViewAndSize(bool deferLarge);
    // Draws render target index as an axis-aligned square of side size centred at (x, y); with
    // overBackground its premultiplied texels over the BG Color.
    void DrawTarget(std::int32_t index, double x, double y, double size, bool overBackground = false);
    // What the large output draws with: the engine objects of the moment.
    TLargeSources LargeSources();
    // The tile's calls are no longer known (nor what the large target holds).
    void ForgetCalls();

    const TGenSettingsSource& m_controls;
    TGenSettings m_drawing; // what the synthesis reads: the settings of the texture being drawn
    TTileAxes m_tileAxes;
    bool m_tileTransparent = false;
    TCanvasColor m_tileBackground = 0; // BackgroundColor when the tile was made or shown
    TGenHooks* m_hooks;
    sd::Direct3DFactory m_createDirect3D;
    TGenHooks m_noHooks;
    bool m_generating = false;
    bool m_tileFinished = true;
    bool m_drawFailed = false;
    bool m_dirty = true;
    std::uint32_t m_textureSeed = 0;
    std::uint64_t m_outputSerial = 0;
    bool m_largePending = false; // the large output does not show the tile yet
    int m_growthInterval = 0;    // ms; 0 = no frames while the tile grows
    int m_growthScale = 1;
    std::vector<std::uint32_t> m_previewFrame; // kept between frames: no allocation per frame
    std::FILE* m_trace = nullptr;
    // The calls that drew the tile since it was last cleared or covered.
    TPaintChain m_chain;
    std::shared_ptr<const TSurfaceRelief> m_relief; // the composed output's, or null
    bool m_outputHidesTile = false; // the output's layers draw every texel without the tile
    // The output of 2048 and 4096, drawn from m_chain (after the engine objects: its twins'
    // images go before the device).
    TLargeOutput m_large;
};

} // namespace vorn
