#include "gen/Generator.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>

#include "archive/VornDb.h"
#include "archive/VornImages.h"
#include "engine/DXTextures.h"
#include "engine/VornCanvas.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "engine/VornTimers.h"
#include "gen/CanvasPainter.h"
#include "gen/LayerCompose.h"
#include "gen/PreviewCompose.h"
#include "gen/TileSynthesis.h"
#include "gen/TileTrace.h"
#include "pixel/VornTexels.h"

namespace vorn {

namespace {

// Render-target positions.
constexpr std::int32_t ViewTarget = 0;
constexpr std::int32_t TileTarget = 1;

// A transparent tile's premultiplied texels over what is drawn beneath: source one, destination
// one minus source alpha.
constexpr TBlendEffect bePremultipliedOver = 0x00000501;

// The high-resolution twins are no images of the list: the list keeps the positions the
// synthesis names, whatever an archive holds after them.
bool IsTwinKey(const std::string& key) {
    const std::string_view suffix = HighResSuffix;
    return key.size() > suffix.size() && key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void SkipTwins(TVornImages& images) {
    images.OnVornDbLoad = [](TVornImages*, const std::string& key, std::int32_t, bool& accept, std::string&,
                             TVornQuality&, TAlphaLevel&) { accept = !IsTwinKey(key); };
}

// Copies the whole of a 32-bit target to packed texels (rows top first), or them into it when
// toTarget. False when count is not the target's texel count or the target cannot be locked.
bool CopyTileTexels(TRenderTarget& target, std::uint32_t* texels, std::size_t count, bool toTarget) {
    const std::size_t width = std::size_t(target.Width());
    const std::size_t height = std::size_t(target.Height());
    TLockedTexels info;
    if (count != width * height || !target.Lock(0, toTarget ? laWrite : laRead, info)) return false;
    const std::size_t rowBytes = width * 4;
    const bool fits =
        BytesPerTexel(info.Format) == 4 && info.Pitch >= 0 && std::size_t(info.Pitch) >= rowBytes;
    for (std::size_t y = 0; fits && y < height; ++y) {
        auto* row = static_cast<std::uint8_t*>(info.Bits) + y * std::size_t(info.Pitch);
        if (toTarget)
            std::memcpy(row, texels + y * width, rowBytes);
        else
            std::memcpy(texels + y * width, row, rowBytes);
    }
    target.Unlock(0);
    return fits;
}
// Sizes of the seven targets, in the order of their positions.
constexpr std::int32_t TargetSizes[] = {256, 1024, 1024, 512, 256, 128, 64};

// The synthesis' hooks with the growing tile's frames in front of the message pump: a frame when
// interval has passed since the last one ended (so a slow frame never queues the next).
class TGrowthHooks final : public TGenHooks {
public:
    using TClock = std::chrono::steady_clock;

    TGrowthHooks(TGenHooks& inner, std::chrono::milliseconds interval, const bool& batchRunning,
                 std::function<void()> frame)
        : m_inner(inner), m_interval(interval), m_batchRunning(batchRunning), m_frame(std::move(frame)),
          m_last(TClock::now()) {}

    void PumpMessages() override {
        if (!m_batchRunning && TClock::now() - m_last >= m_interval) {
            m_frame();
            m_last = TClock::now();
        }
        m_inner.PumpMessages();
    }
    void SetProgressMaximum(int max) override { m_inner.SetProgressMaximum(max); }
    void SetProgressPosition(int position) override { m_inner.SetProgressPosition(position); }
    bool StopRequested() override { return m_inner.StopRequested(); }

private:
    TGenHooks& m_inner;
    std::chrono::milliseconds m_interval;
    const bool& m_batchRunning;
    std::function<void()> m_frame;
    TClock::time_point m_last;
};

} // namespace

TGenerator::TGenerator(const TGenSettingsSource& settings, TGenHooks* hooks,
                       sd::Direct3DFactory createDirect3D)
    : m_controls(settings), m_hooks(hooks ? hooks : &m_noHooks), m_createDirect3D(std::move(createDirect3D)) {
}

TGenerator::~TGenerator() {
    if (FrameTimer) FrameTimer->SetEnabled(false);
    if (Device) Device->Finalize();
}

void TGenerator::ComponentsInit() {
    Device = std::make_unique<TVornDevice>(m_createDirect3D);
    Device->SetWidth(512);
    Device->SetHeight(512);
    Device->SetRefresh(0);
    Device->SetWindowed(true);
    Device->SetVSync(false);
    Device->SetHardwareTL(true);
    Device->SetDepthBuffer(false);
    Device->OnRender = [this](TVornDevice* sender) { DeviceRender(sender); };

    Canvas = Device->OwnComponent(std::make_unique<TVornCanvas>());
    Canvas->SetPublisher(Device.get());
    Canvas->SetAlphaTesting(false);
    Canvas->SetVertexCache(4096);
    Canvas->SetAntialias(true);
    Canvas->SetDithering(false);

    Archive = std::make_unique<TVornDb>();
    Archive->SetFileName(ArchiveFileName);
    Archive->SetOpenMode(opUpdate);

    Images = std::make_unique<TVornImages>();
    Images->SetPublisher(Device.get());
    Images->SetMipMappping(false);
    SkipTwins(*Images);

    Textures = std::make_unique<TVornTextures>();
    Textures->SetPublisher(Device.get());

    FrameTimer = std::make_unique<TVornTimer>();
    FrameTimer->SetSpeed(60.0);
    FrameTimer->SetMaxFPS(200);
    FrameTimer->SetEnabled(false);
    FrameTimer->OnTimer = [this](TVornTimer*) { TimerTimer(); };
    FrameTimer->OnProcess = [](TVornTimer*) {}; // nothing runs per process tick
}

TStartupResult TGenerator::Startup(sd::HostSink* sink, const std::vector<std::string>& archiveCandidates) {
    if (!Device) ComponentsInit();
    Device->SetWindowHandle(sink);
    TextureSize = 256;
    BackgroundColor = 0xFFFF8000u;
    if (!Device->Initialize()) return {TStartupFailure::Device, 0, {}};

    // Each candidate is loaded into the image list; the list ends up holding the chosen one's.
    // With cores to spare the records' checksums are worked out beside the loading.
    Images->SetChecksumThread(sd::RasterThreads() > 1);
    std::string loaded;
    const auto load = [&](const std::string& path) {
        // Only an existing file: opening a missing one for update would create an empty archive.
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) return -1;
        Images->RemoveAll();
        Archive->SetFileName(path);
        Images->LoadFromVornDb(*Archive); // whatever loads is used; missing images draw nothing
        loaded = path;
        return static_cast<int>(Images->Count());
    };
    const TArchiveChoice archive = ChooseArchive(archiveCandidates, load);
    if (archive.path.empty()) return {TStartupFailure::Archive, 0, {}};
    if (loaded != archive.path) load(archive.path);
    BrushSetHash = vorn::BrushSetHash(*Archive);

    for (const std::int32_t size : TargetSizes) {
        if (!Textures->AddRenderTargets(1, size, size, aqHigh, alFull)) {
            return {TStartupFailure::RenderTarget, size, archive};
        }
    }
    StartupIncomplete = false;
    FrameTimer->SetEnabled(true);
    return {TStartupFailure::None, 0, archive};
}

TStartupResult TGenerator::Startup(sd::HostSink* sink, const std::string& archivePath) {
    return Startup(sink, archivePath.empty() ? std::vector<std::string>() : std::vector{archivePath});
}

TArchiveChoice TGenerator::LoadBrushes(const std::string& archivePath) {
    if (StartupIncomplete || m_generating || !Device) return {};
    std::error_code error;
    if (!std::filesystem::is_regular_file(archivePath, error)) return {archivePath, 0};
    auto archive = std::make_unique<TVornDb>();
    archive->SetFileName(archivePath);
    archive->SetOpenMode(opReadOnly);
    auto images = std::make_unique<TVornImages>();
    images->SetPublisher(Device.get());
    images->SetMipMappping(false);
    images->SetChecksumThread(sd::RasterThreads() > 1);
    SkipTwins(*images);
    images->LoadFromVornDb(*archive);
    const TArchiveChoice choice{archivePath, static_cast<int>(images->Count())};
    if (!choice.Complete()) return choice;
    BrushSetHash = vorn::BrushSetHash(*archive);
    Images = std::move(images);
    Archive = std::move(archive);
    // The textures to come use the new brushes; the tile shown was drawn with the old ones, so its
    // calls no longer draw it.
    m_large.ForgetTwins();
    ForgetCalls();
    return choice;
}

std::string StartupFailureText(const TStartupResult& result, const std::string& archiveName) {
    switch (result.failure) {
    case TStartupFailure::Device:
        return "Initializing device failed!  ";
    case TStartupFailure::Archive:
        return "File " + archiveName + " not found! Try reinstalling the application!  ";
    case TStartupFailure::RenderTarget: {
        const std::string n = std::to_string(result.failedTargetSize);
        return "Adding render target " + n + " x " + n + " failed!  ";
    }
    case TStartupFailure::None:
        break;
    }
    return {};
}

std::string StartupFailureCaption(const TStartupResult& result) {
    return result.failure == TStartupFailure::Archive ? "Error!" : "Error";
}

std::string TGenerator::FindArchive(const std::string& exeDir) {
    std::error_code error;
    for (const std::string& path : ArchiveCandidates(exeDir))
        if (std::filesystem::is_regular_file(path, error)) return path;
    return {};
}

int TGenerator::GetIndex(int size) {
    switch (size) {
    case 128:
        return 5;
    case 256:
        return 4;
    case 512:
        return 3;
    case 1024:
        return 2;
    case 2048:
    case 4096:
        return LargeTargetIndex;
    default:
        return 6;
    }
}

void TGenerator::RenderAll(bool clearTile, bool deferLarge) {
    const TFlagScope running(m_generating);
    // Whatever way this ends, a draw the device refused on the way is known afterwards.
    struct TFailedDraws {
        TGenerator& generator;
        const std::uint64_t before = generator.Canvas ? generator.Canvas->FailedDraws() : 0;
        ~TFailedDraws() {
            generator.m_drawFailed = generator.Canvas && generator.Canvas->FailedDraws() != before;
        }
    } failedDraws{*this};
    m_dirty = true;
    m_textureSeed = random::Seed();
    // A cleared tile, or one the background covers, starts the calls that make it anew.
    const TTileAxes axes = TileAxesOf(ClampedValue(m_drawing, gpTiling));
    const bool noFill = ClampedValue(m_drawing, gpBGFill) == BGFillNone;
    if (clearTile || ClampedSettings(m_drawing).image == 0) {
        m_chain.Restart();
        m_large.Forget();
        m_tileAxes = axes;
        m_tileTransparent = noFill; // the cleared tile, or None's, is transparent
    } else {
        m_tileAxes = CommonAxes(m_tileAxes, axes);
        m_tileTransparent = m_tileTransparent && noFill;
    }
    m_tileBackground = BackgroundColor;
    m_tileFinished = true;
    Textures->RenderIntoTarget(
        TileTarget, 0, [this](TVornTextures* sender) { TileRender(sender); }, clearTile);
    if (!m_tileFinished) {
        ForgetCalls(); // stopped: the calls kept are a part of the tile's; the next texture follows
        return;
    }
    RenderViewAndSize(deferLarge);
    if (!m_tileFinished) return; // stopped while the large output was drawn
    if (OnTextureMade) OnTextureMade(m_textureSeed, clearTile);
}

void TGenerator::RenderViewAndSize(bool deferLarge) {
    Textures->RenderIntoTarget(
        ViewTarget, 0, [this](TVornTextures* sender) { ViewRender(sender); }, true);
    RenderSize(deferLarge);
}

bool TGenerator::ReadTile(std::vector<std::uint32_t>& texels) const {
    TRenderTarget* tile = Textures ? Textures->GetTarget(TileTarget) : nullptr;
    if (!tile) return false;
    texels.resize(std::size_t(tile->Width()) * std::size_t(tile->Height()));
    return CopyTileTexels(*tile, texels.data(), texels.size(), false);
}

bool TGenerator::ShowTile(const std::vector<std::uint32_t>& texels, std::uint32_t seed, TTileAxes axes,
                          bool transparent, bool deferLarge, const TGenSettings* drawnWith) {
    if (StartupIncomplete || m_generating) return false;
    TRenderTarget* tile = Textures ? Textures->GetTarget(TileTarget) : nullptr;
    if (!tile || !CopyTileTexels(*tile, const_cast<std::uint32_t*>(texels.data()), texels.size(), true))
        return false;
    const TFlagScope running(m_generating);
    m_textureSeed = seed;
    m_tileAxes = axes;
    m_tileTransparent = transparent;
    m_tileBackground = BackgroundColor;
    if (drawnWith) m_drawing = *drawnWith;
    ForgetCalls(); // the calls that made these texels are not known
    RenderViewAndSize(deferLarge);
    return true;
}

bool TGenerator::Draw(const TGenSettings& settings, bool clearTile, bool deferLarge) {
    if (StartupIncomplete || m_generating) return false;
    m_drawing = settings;
    RenderAll(clearTile, deferLarge);
    return true;
}

void TGenerator::SizeUp() {
    // Refused while a drawing runs (a click reaching the message pump): its output is of one size.
    if (m_generating) return;
    TextureSize = std::min(TextureSize * 2, MaxTextureSize);
    const TFlagScope running(m_generating);
    RenderSize();
}

void TGenerator::SizeDown() {
    if (m_generating) return;
    TextureSize = std::max(TextureSize / 2, 64);
    const TFlagScope running(m_generating);
    RenderSize();
}

bool TGenerator::MakeLarge() {
    if (StartupIncomplete || m_generating) return false;
    if (!LargePending()) return true;
    const TFlagScope running(m_generating);
    // The tile is finished; only a stopped replay of its calls leaves the output pending.
    const bool tileFinished = m_tileFinished;
    m_tileFinished = true;
    RenderSize();
    const bool made = m_tileFinished;
    m_tileFinished = tileFinished;
    m_largePending = !made;
    return made;
}

void TGenerator::RenderSize(bool deferLarge) {
    if (StartupIncomplete) return;
    m_dirty = true;
    m_largePending = deferLarge && IsLargeSize(TextureSize);
    if (m_largePending) {
        // The tile's calls stay recorded for MakeLarge; the target keeps what it held.
        ++m_outputSerial;
        return;
    }
    m_outputHidesTile = !m_drawing.layers.ShowsTile();
    if (IsLargeSize(TextureSize) && m_outputHidesTile) {
        // Layers without the tile draw every texel: the walk is not drawn again at the size.
        m_large.Reserve(TextureSize, *Textures);
    } else if (IsLargeSize(TextureSize)) {
        // A stopped replay leaves a part of the texture in the target: a newer texture follows.
        if (m_large.Render(TextureSize, m_chain, LargeSources(), *m_hooks) == TLargeResult::Stopped)
            m_tileFinished = false;
    } else {
        m_large.Free(*Textures); // 64 MiB at 4096, not kept for a size not shown
        Textures->RenderIntoTarget(
            GetIndex(TextureSize), 0, [this](TVornTextures* sender) { SizeRender(sender); }, true);
    }
    ComposeOutput();
    ++m_outputSerial;
}

void TGenerator::ComposeOutput() {
    m_relief.reset();
    if (m_drawing.layers.Empty() || !m_tileFinished) return;
    TRenderTarget* target = Textures->GetTarget(GetIndex(TextureSize));
    TLockedTexels info;
    if (!target || target->Width() != TextureSize || !target->Lock(0, laNone, info)) return;
    if (BytesPerTexel(info.Format) == 4 && info.Pitch >= TextureSize * 4) {
        TComposeFrame frame;
        frame.size = TextureSize;
        frame.seed = m_textureSeed;
        frame.axes = m_tileAxes;
        frame.palette = UsablePalette(m_drawing.palette);
        frame.background = RgbOfCanvasColor(m_tileBackground);
        frame.tileTransparent = m_tileTransparent;
        auto relief = std::make_shared<TSurfaceRelief>();
        ComposeLayers(m_drawing.layers, frame, static_cast<std::uint8_t*>(info.Bits), info.Pitch, *relief);
        m_relief = std::move(relief);
    }
    target->Unlock(0);
}

TLargeSources TGenerator::LargeSources() {
    return {*Textures, TileTarget, Canvas, Images.get(), Archive.get(), Device.get()};
}

void TGenerator::ForgetCalls() {
    m_chain.Forget();
    m_large.Forget();
}

void TGenerator::TileRender(TVornTextures*) {
    if (!Canvas || !Images) return;
    TCanvasPainter canvas(*Canvas, *Images);
    // The calls are kept only where a large texture may be drawn from them: a run that never
    // leaves the small sizes does not pay for them (8,000 calls, 700 KiB, at the defaults).
    const bool record = RecordCalls || IsLargeSize(TextureSize);
    if (!record) m_chain.Forget();
    TRecordingPainter recorded(m_chain, canvas);
    TTilePainter& next = record ? static_cast<TTilePainter&>(recorded) : canvas;
    TTracePainter traced(m_trace, &next);
    TTilePainter& painter = m_trace ? static_cast<TTilePainter&>(traced) : next;
    if (m_growthInterval <= 0 || !Device || !Device->WindowHandle()) {
        m_tileFinished = SynthesizeTile(m_drawing, BackgroundColor, BatchRunning, *m_hooks, painter);
        return;
    }
    TGrowthHooks growth(*m_hooks, std::chrono::milliseconds(m_growthInterval), BatchRunning, [this] {
        Canvas->Flush(); // what is batched reaches the tile target, as at the scene's end
        PresentPreview(m_growthScale);
    });
    m_tileFinished = SynthesizeTile(m_drawing, BackgroundColor, BatchRunning, growth, painter);
}

void TGenerator::SetGrowthFrames(int intervalMs, int scale) {
    m_growthInterval = std::max(intervalMs, 0);
    m_growthScale = scale == 2 ? 2 : 1;
}

bool TGenerator::PresentPreview(int scale) {
    sd::HostSink* sink = Device ? Device->WindowHandle() : nullptr;
    // A texture of layers shows its output, which has the tile's side only at 1024; the device's
    // frame shows the others.
    const bool composed = OutputComposed();
    if (composed && TextureSize != TileSize) return false;
    TRenderTarget* tile =
        Textures ? Textures->GetTarget(composed ? GetIndex(TileSize) : TileTarget) : nullptr;
    if (!sink || !tile) return false;
    TRenderTarget* view = PreviewPaneVisible ? Textures->GetTarget(ViewTarget) : nullptr;
    const TCanvasColor matte = m_tileBackground;
    if (!ComposePreview(*tile, view, scale, m_previewFrame,
                        m_tileTransparent && !composed ? &matte : nullptr))
        return false;
    const int size = PreviewSize * scale;
    sink->PresentImage(m_previewFrame.data(), size, size, size * 4);
    return true;
}

void TGenerator::DrawTarget(std::int32_t index, double x, double y, double size, bool overBackground) {
    TRenderTarget* target = Textures ? Textures->GetTarget(index) : nullptr;
    if (!Canvas || !target) return;
    const TFloatQuad quad = RotatedQuad(MakeFloatPoint(x, y), MakeFloatPoint(size, size),
                                        MakeFloatPoint(size / 2, size / 2), 0.0, 1.0);
    if (!overBackground) {
        Canvas->DrawTexturedQuad(target, quad, ColorQuadWhite, SelectionWhole, beOpaque);
        return;
    }
    // A transparent tile is shown over the BG Color, as JPEG and BMP files hold it.
    const auto side = static_cast<std::int32_t>(size);
    Canvas->FillSolidRect(static_cast<std::int32_t>(x - size / 2), static_cast<std::int32_t>(y - size / 2),
                          side, side, m_tileBackground | 0xFF000000u, beOpaque);
    Canvas->DrawTexturedQuad(target, quad, ColorQuadWhite, SelectionWhole, bePremultipliedOver);
}

void TGenerator::ViewRender(TVornTextures*) {
    if (!Canvas) return;
    // A double grey frame, then eight small copies of the tile around an empty centre cell. A tile
    // that repeats across one axis only is shown as three copies in a line along it, centre included.
    for (int i = 0; i < 2; ++i) {
        Canvas->FrameSolidRect(2 + i, 2 + i, 200 - 2 * i, 200 - 2 * i, 0xFF808080u + i * 0x00202020u,
                               beOpaque);
    }
    const bool acrossX = m_tileAxes.x, acrossY = m_tileAxes.y;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            // A tile that repeats across neither axis is shown once, in the middle.
            const bool shown = acrossX && acrossY ? !(i == 1 && j == 1)
                               : acrossX          ? j == 1
                               : acrossY          ? i == 1
                                                  : i == 1 && j == 1;
            if (!shown) continue;
            DrawTarget(TileTarget, 0.5 * 64 + 6 + i * 64, 0.5 * 64 + 6 + j * 64, 64, m_tileTransparent);
        }
    }
}

void TGenerator::SizeRender(TVornTextures*) {
    // The whole tile scaled to the output size (one to one at 1024).
    DrawTarget(TileTarget, TextureSize / 2, TextureSize / 2, TextureSize);
}

void TGenerator::DeviceRender(TVornDevice*) {
    // The tile at half size fills the surface (a texture of layers: its output, which they are
    // composed over); the pane lies across its lower right corner.
    if (OutputComposed())
        DrawTarget(GetIndex(TextureSize), PreviewSize / 2, PreviewSize / 2, PreviewSize);
    else
        DrawTarget(TileTarget, PreviewSize / 2, PreviewSize / 2, PreviewSize, m_tileTransparent);
    if (PreviewPaneVisible) DrawTarget(ViewTarget, PreviewPaneCentre, PreviewPaneCentre, PreviewPaneSize);
}

void TGenerator::TimerTimer() {
    if (!Device || !FrameTimer) return;
    if (!m_dirty) return; // nothing changed since the last frame shown
    // A frame that fails (during a synthesis, or on a lost device) is drawn again next time.
    const bool rendered = Device->RenderFrame(0, true);
    const bool presented = Device->PresentFrame();
    if (rendered && presented) m_dirty = false;
    FrameTimer->Process();
}

} // namespace vorn
