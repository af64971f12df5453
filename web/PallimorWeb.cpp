// The page's entry into the core, built to WebAssembly: one generator with the controls' values,
// its history and Live re-drawing, the preview frames, recipes and exports, as C functions the
// page calls (web/pallimor.js). Files live in the module's memory file system: the brush archive,
// palettes and presets at /, exports under /out. Strings returned stay valid until the next call.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/VornDef.h"
#include "engine/VornDevices.h"
#include "engine/soft/SoftHost.h"
#include "export/ExportFormats.h"
#include "gen/ArchiveChoice.h"
#include "gen/BatchLoop.h"
#include "gen/GenParams.h"
#include "gen/GenSettings.h"
#include "gen/Generator.h"
#include "gen/History.h"
#include "gen/JsonText.h"
#include "gen/Layers.h"
#include "gen/LiveRedraw.h"
#include "gen/OutputTexture.h"
#include "gen/Palette.h"
#include "gen/Pattern.h"
#include "gen/Presets.h"
#include "gen/Producer.h"
#include "gen/Randomize.h"
#include "gen/Recipe.h"
#include "gen/Shortcuts.h"

namespace {

using namespace vorn;

constexpr const char* DataFolder = "/";
constexpr const char* ArchivePath = "/vorn.dat";

// The last frame Present delivered, as the canvas takes it: R, G, B, A bytes, rows top first.
class TFrameSink final : public sd::HostSink {
public:
    void PresentImage(const std::uint32_t* pixels, int width, int height, int pitchBytes) override {
        m_width = width;
        m_rgba.resize(std::size_t(width) * std::size_t(height) * 4);
        std::uint8_t* out = m_rgba.data();
        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(
                reinterpret_cast<const std::uint8_t*>(pixels) + std::size_t(y) * std::size_t(pitchBytes));
            for (int x = 0; x < width; ++x, out += 4) {
                const std::uint32_t argb = row[x]; // 0xAARRGGBB
                out[0] = std::uint8_t(argb >> 16);
                out[1] = std::uint8_t(argb >> 8);
                out[2] = std::uint8_t(argb);
                out[3] = 0xFF;
            }
        }
    }
    const std::uint8_t* Pixels() const { return m_rgba.data(); }
    int Width() const { return m_width; }

private:
    std::vector<std::uint8_t> m_rgba;
    int m_width = 0;
};

// The parameter table, the shortcuts, the shipped palettes and presets and the layers' kinds and
// blends as one JSON object, for the page to build its panel and menus from.
std::string TableJson(const std::vector<TNamedPalette>& palettes, const std::vector<TPreset>& presets) {
    static constexpr const char* Kinds[] = {"size", "color", "list", "track"};
    static constexpr const char* Resets[] = {"none", "click", "double-click"};
    std::string json = "{\"panelCount\":" + std::to_string(PanelParamCount) + ",\"params\":[";
    for (const TGenParam& p : GenParams) {
        if (p.id != 0) json += ',';
        json += "{\"id\":" + std::to_string(p.id) + ",\"name\":" + JsonString(p.name) +
                ",\"caption\":" + JsonString(p.caption) + ",\"kind\":\"" + Kinds[p.kind] +
                "\",\"min\":" + std::to_string(p.min) + ",\"max\":" + std::to_string(p.max) +
                ",\"default\":" + std::to_string(p.defaultValue) +
                ",\"lineStep\":" + std::to_string(p.lineStep) +
                ",\"pageStep\":" + std::to_string(p.pageStep) +
                ",\"tick\":" + std::to_string(p.tickInterval) + ",\"reset\":\"" + Resets[p.reset] +
                "\",\"randomizable\":" + (Randomizable(p.id) ? "true" : "false") +
                ",\"help\":" + JsonString(p.help) + ",\"items\":[";
        for (std::size_t i = 0; i < p.items.size(); ++i) json += (i ? "," : "") + JsonString(p.items[i]);
        json += "]}";
    }
    json += "],\"shortcuts\":[";
    bool first = true;
    for (const TShortcut& s : Shortcuts) {
        if (*s.window) continue; // the Tiled and Material Views are not on the page
        json += (first ? "{" : ",{") + std::string("\"menu\":") + JsonString(s.menu) +
                ",\"command\":" + JsonString(s.command) + ",\"keys\":" + JsonString(s.keys) +
                ",\"help\":" + JsonString(s.help) + "}";
        first = false;
    }
    json += "],\"palettes\":[";
    for (std::size_t i = 0; i < palettes.size(); ++i) json += (i ? "," : "") + JsonString(palettes[i].name);
    json += "],\"presets\":[";
    for (std::size_t i = 0; i < presets.size(); ++i)
        json += (i ? ",{" : "{") + std::string("\"name\":") + JsonString(presets[i].name) +
                ",\"description\":" + JsonString(presets[i].description) + "}";
    json += "],\"layerKinds\":[\"tile\"";
    for (const TPatternKindInfo& kind : PatternKinds()) json += "," + JsonString(kind.name);
    json += "],\"layerBlends\":[";
    bool firstBlend = true;
    for (const TLayerBlendInfo& blend : LayerBlends()) {
        json += (firstBlend ? "" : ",") + JsonString(blend.name);
        firstBlend = false;
    }
    return json + "]}";
}

// What the page drives: the controls' values, the generator drawing with them, the history of
// what it showed and Live.
class TWebSession {
public:
    TWebSession()
        : m_generator(m_controls), m_live([] { return emscripten_get_now(); }),
          m_random(std::random_device{}()) {
        m_generator.RecordCalls = true; // the size can be raised after a texture is made
        m_generator.OnTextureMade = [this](std::uint32_t seedBefore, bool clearedTile) {
            m_history.TextureMade(m_generator.TextureSettings(), seedBefore, m_generator.TextureSize,
                                  m_generator.BackgroundColor, clearedTile, m_generator.BrushSetHash);
        };
    }

    // Start-up with the archive at ArchivePath: empty, or the program's message.
    std::string Start() {
        m_generator.ComponentsInit();
        const TStartupResult startup = m_generator.Startup(&m_sink, std::string(ArchivePath));
        if (startup.failure != TStartupFailure::None) return StartupFailureText(startup, ArchiveFileName);
        if (!startup.archive.Complete()) return IncompleteArchiveText(startup.archive);
        random::Reseed(); // each visit starts from a seed of its own, as each start of the window
        const TPaletteFileResult shipped = LoadShippedPalettes(DataFolder);
        if (shipped.ok()) m_palettes = shipped.palettes;
        const TPresetFileResult presets = LoadShippedPresets(DataFolder);
        if (presets.ok()) m_presets = presets.presets;
        return {};
    }

    TGenSettings& Controls() { return m_controls; }
    const std::vector<TNamedPalette>& Palettes() const { return m_palettes; }
    const std::vector<TPreset>& Presets() const { return m_presets; }

    // The controls of the preset called name: its fields over the defaults, the size kept, as
    // pallimor-cli generate --preset NAME --size N starts from them. Empty, or why not (the
    // controls unchanged).
    std::string ApplyPreset(std::string_view name) {
        const TPreset* preset = FindPreset(m_presets, name);
        if (!preset) return "No preset called '" + std::string(name) + "'";
        TPresetSettings made = PresetSettings(*preset, m_controls.size, DataFolder);
        if (!made.ok()) return made.error;
        m_controls = std::move(made.settings);
        return {};
    }

    // The output of the size selected, redrawn from the tile by the size arrows.
    void ApplySize() {
        while (m_generator.TextureSize < m_controls.size && m_generator.TextureSize < GenParam(gpSize).max)
            m_generator.SizeUp();
        while (m_generator.TextureSize > m_controls.size && m_generator.TextureSize > GenParam(gpSize).min)
            m_generator.SizeDown();
        m_controls.size = m_generator.TextureSize;
        m_history.RedrawLarge(m_generator);
        m_live.OutputResized(m_generator);
    }

    // A new texture with the controls: the first over a cleared tile, as the window's first showing.
    bool Generate() { return Record(DrawTexture(m_generator, RequestOf(m_controls, !m_made)).ok()); }

    bool Randomize(std::string_view locks) {
        TParamLocks locked{};
        for (std::size_t i = 0; i < locked.size() && i < locks.size(); ++i) locked[i] = locks[i] == '1';
        const TPalette palette = m_controls.palette;
        static_cast<TGenValues&>(m_controls) = RandomizeSettings(m_controls, locked, m_random);
        m_controls.palette = palette;
        return Generate();
    }

    // Back (-1) or Forward (+1): the entry's texture and the controls it was made with.
    bool Step(int step) {
        if (!m_history.Step(m_generator, step)) return false;
        m_controls = m_history.Current()->controls;
        return true;
    }

    // The texture of code, or false with the decoder's message in error.
    bool MakeRecipe(std::string_view code, std::string& error) {
        const TRecipeDecoding decoding = DecodeRecipe(code);
        if (!decoding.ok()) {
            error = decoding.error;
            return false;
        }
        const TRecipe& recipe = decoding.recipe;
        if (recipe.brushes != m_generator.BrushSetHash) {
            error = "Recipe " + BrushSetMissingText(DataFolder, recipe.brushes);
            return false;
        }
        if (!RegenerateRecipe(m_generator, recipe)) {
            error = DrawFailedText;
            return false;
        }
        m_controls = recipe.links.back().settings;
        m_controls.size = recipe.size;
        m_controls.bgColor = static_cast<int>(RgbOfCanvasColor(recipe.background));
        return Record(true);
    }

    // The recipe of the texture shown, at the size selected since; empty when it has none.
    std::string RecipeCode() const {
        TRecipe recipe = m_history.TileRecipe();
        recipe.size = m_generator.TextureSize;
        for (TRecipeLink& link : recipe.links) link.settings.size = recipe.size;
        return EncodeRecipe(recipe);
    }

    void SetLive(bool on) { m_live.SetEnabled(on); }
    // A control changed: with Live on, the texture re-made with the new values.
    bool LiveChanged() {
        if (!m_live.Enabled() || !m_made) return false;
        m_live.Changed();
        if (!m_live.TakeChange()) return false;
        m_generator.BackgroundColor = CanvasColorOfRgb(static_cast<std::uint32_t>(m_controls.bgColor));
        return m_live.Redraw(m_generator, m_history);
    }
    // After the changes settled: the re-made texture becomes a history entry.
    bool LiveRecord() {
        if (!m_live.Unrecorded() || !m_live.RecordDue()) return false;
        m_history.Add(m_generator, m_controls);
        m_live.Recorded();
        return true;
    }

    // The preview surface (512 x 512), with the 3 x 3 pane when pane: the tile texel for texel, or
    // for a texture of layers at a size other than the tile's, which the tile does not show, the
    // device's frame (its output scaled, as the window shows it).
    const TFrameSink* Preview(bool pane) {
        m_generator.PreviewPaneVisible = pane;
        if (m_generator.PresentPreview(1)) return &m_sink;
        TVornDevice* device = m_generator.Device.get();
        if (m_generator.OutputComposed() && device && device->RenderFrame(0, true) && device->PresentFrame())
            return &m_sink;
        return nullptr;
    }

    // The output texture as file name's type would hold it, written under /out (and its maps).
    TExportResult Export(const std::string& name, int quality, const TMapOptions& maps) {
        return ExportOutputTexture(m_generator, "/out/" + name, quality, SystemFileWriter(), smReplace, maps);
    }

    bool CanStepBack() const { return m_history.At(-1) != nullptr; }
    bool CanStepForward() const { return m_history.At(1) != nullptr; }
    std::uint32_t Seed() const { return m_generator.TextureSeed(); }

private:
    bool Record(bool made) {
        if (!made || m_generator.DrawFailed()) return false;
        m_made = true;
        m_history.Add(m_generator, m_controls);
        return true;
    }

    TGenSettings m_controls;
    TFrameSink m_sink;
    TGenerator m_generator;
    TTextureHistory m_history;
    TLiveRedraw m_live;
    std::mt19937 m_random; // Randomize's own source: never the one recipes follow
    std::vector<TNamedPalette> m_palettes;
    std::vector<TPreset> m_presets;
    bool m_made = false;
};

std::unique_ptr<TWebSession> g_session;
std::string g_text; // the last string handed to the page
// The most rasteriser threads, as the page allows (web/pallimor.js), and the count pw_start was
// given, which the page loaded workers for.
constexpr int MaxThreads = 8;
int g_startThreads = 1;

const char* Hand(std::string text) {
    g_text = std::move(text);
    return g_text.c_str();
}

} // namespace

extern "C" {

// Starts the generator with threads rasteriser threads (1 in the build without workers, at most
// 8): empty, or the program's message.
EMSCRIPTEN_KEEPALIVE const char* pw_start(int threads) {
    g_startThreads = std::clamp(threads, 1, MaxThreads);
    sd::SetRasterThreads(g_startThreads);
    g_session = std::make_unique<TWebSession>();
    return Hand(g_session->Start());
}

// At most the count started with: the page loaded workers for that many.
EMSCRIPTEN_KEEPALIVE void pw_set_threads(int threads) {
    sd::SetRasterThreads(std::clamp(threads, 1, g_startThreads));
}

EMSCRIPTEN_KEEPALIVE const char* pw_table() {
    return Hand(TableJson(g_session->Palettes(), g_session->Presets()));
}

EMSCRIPTEN_KEEPALIVE int pw_get(int id) {
    return g_session->Controls().Value(TGenParamId(id));
}
EMSCRIPTEN_KEEPALIVE void pw_set(int id, int value) {
    if (id >= 0 && id < GenParamCount) g_session->Controls().SetValue(TGenParamId(id), value);
}

// The strokes' palette: "walk", a shipped palette's name or typed colours. Empty, or why not.
EMSCRIPTEN_KEEPALIVE const char* pw_set_palette(const char* text) {
    const TPaletteResult result = ResolvePalette(text, 0, DataFolder);
    if (result.ok()) g_session->Controls().palette = result.palette;
    return Hand(result.error);
}
// The palette as a recipe writes it; empty for the walk's colours.
EMSCRIPTEN_KEEPALIVE const char* pw_palette() {
    return Hand(PaletteColorsText(g_session->Controls().palette));
}
// The shipped palette's name of the current colours; empty when none is.
EMSCRIPTEN_KEEPALIVE const char* pw_palette_name() {
    for (const TNamedPalette& named : g_session->Palettes())
        if (named.palette == g_session->Controls().palette) return Hand(named.name);
    return Hand("");
}

// The controls of a shipped preset (ApplyPresetFields over the defaults). Empty, or why not.
EMSCRIPTEN_KEEPALIVE const char* pw_apply_preset(const char* name) {
    return Hand(g_session->ApplyPreset(name));
}

// The layers as --layers takes them ("" or "none": the tile alone). Empty, or the parser's line
// (the layers unchanged).
EMSCRIPTEN_KEEPALIVE const char* pw_set_layers(const char* text) {
    TLayerStackParse parsed = ParseLayerStack(text);
    if (parsed.ok()) g_session->Controls().layers = std::move(parsed.stack);
    return Hand(parsed.error);
}
// The layers as a recipe writes them; empty for the tile alone.
EMSCRIPTEN_KEEPALIVE const char* pw_layers() {
    return Hand(LayerStackText(g_session->Controls().layers));
}

EMSCRIPTEN_KEEPALIVE int pw_apply_size() {
    g_session->ApplySize();
    return g_session->Controls().size;
}
EMSCRIPTEN_KEEPALIVE int pw_generate() {
    return g_session->Generate();
}
// locks: one '1' or '0' per parameter in table order.
EMSCRIPTEN_KEEPALIVE int pw_randomize(const char* locks) {
    return g_session->Randomize(locks);
}
EMSCRIPTEN_KEEPALIVE int pw_step(int step) {
    return g_session->Step(step);
}
EMSCRIPTEN_KEEPALIVE int pw_can_step(int step) {
    return step < 0 ? g_session->CanStepBack() : g_session->CanStepForward();
}

// The texture of the recipe code: empty, or the recipe decoder's message.
EMSCRIPTEN_KEEPALIVE const char* pw_recipe(const char* code) {
    std::string error;
    g_session->MakeRecipe(code, error);
    return Hand(error);
}
EMSCRIPTEN_KEEPALIVE const char* pw_recipe_code() {
    return Hand(g_session->RecipeCode());
}
EMSCRIPTEN_KEEPALIVE const char* pw_seed() {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", g_session->Seed());
    return Hand(text);
}

EMSCRIPTEN_KEEPALIVE void pw_set_live(int on) {
    g_session->SetLive(on != 0);
}
EMSCRIPTEN_KEEPALIVE int pw_live_changed() {
    return g_session->LiveChanged();
}
EMSCRIPTEN_KEEPALIVE int pw_live_record() {
    return g_session->LiveRecord();
}

// The preview's RGBA bytes (512 x 512); null when there is nothing to show.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pw_preview(int pane) {
    const TFrameSink* sink = g_session->Preview(pane != 0);
    return sink ? sink->Pixels() : nullptr;
}

// Writes /out/NAME (its type from the extension) and, when maps, NAME_height.png and
// NAME_normal.png beside it, made from the layers' relief as the command line's (MapOptionsOf in
// ExportOutputTexture): empty, or the export's message.
EMSCRIPTEN_KEEPALIVE const char* pw_export(const char* name, int quality, int maps) {
    TMapOptions options;
    options.height = options.normal = maps != 0;
    const TExportResult result = g_session->Export(name, quality > 0 ? quality : DefaultJpegQuality, options);
    return Hand(result.ok ? std::string() : result.error);
}

} // extern "C"
