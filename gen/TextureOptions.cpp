#include "gen/TextureOptions.h"

#include <charconv>
#include <system_error>

#include "export/MaterialSets.h"
#include "gen/OptionValues.h"
#include "gen/Palette.h"

namespace vorn {

namespace {

using TOptions = TTextureOptions;

// The shortest fixed-point decimal that reads back as value (the parser takes no exponent).
std::string DecimalText(double value) {
    char text[400];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return error == std::errc() ? std::string(text, end) : std::string();
}

bool PacksMaps(const TMapOptions& maps) {
    return maps.material != TMaterialSet::None;
}

// The value text when it is not the default and a chosen map (or a material set, which packs the
// normal, roughness and occlusion maps) reads it.
std::optional<std::string> Unless(bool isDefault, bool used, std::string text) {
    if (isDefault || !used) return std::nullopt;
    return text;
}

void NoteSettingsOption(TOptions& o, const std::string& option) {
    if (o.settingsOption.empty()) o.settingsOption = option;
}

void NoteNormalOption(TOptions& o, const std::string& option) {
    if (o.normalOption.empty()) o.normalOption = option;
}

// Built on first use, with its texts, so that other units' tables may be built from it while the
// program starts.
const std::vector<TTextureOption>& Table() {
    // "gltf|godot|unity-urp|unity-hdrp|unreal"
    static const std::string MaterialWords = [] {
        std::string words;
        for (const TMaterialSetInfo& set : MaterialSetTable) {
            if (set.set == TMaterialSet::None) continue;
            if (!words.empty()) words += '|';
            words += set.name;
        }
        return words;
    }();

    static const std::string PaletteColorsHelp =
        "colours taken from --palette FILE's image " + RangeText(MinPaletteColors, MaxPaletteColors) +
        " (default " + std::to_string(DefaultImagePaletteColors) + ")";
    static const std::string MapsHelp =
        std::string("any of height,normal,roughness,ao: also write beside each\n") +
        "texture NAME.TYPE NAME_" + HeightMapKind + ".png (16-bit grey), NAME_" + NormalMapKind +
        ".png (8-bit RGB),\nNAME_" + RoughnessMapKind + ".png, NAME_" + OcclusionMapKind +
        ".png (8-bit grey), which tile as the texture does";
    static const std::string MaterialHelp =
        "also write the maps one engine's standard material reads, packed and\nnamed for it, with its normal "
        "convention: " +
        MaterialWords +
        "\n(glTF: NAME.gltf, Godot: NAME.tres, the others NAME_import.txt naming\nthe import settings); with "
        "--maps height also the height";
    static const std::string OcclusionHelp = "occlusion search radius, N/1024 of the tile's side " +
                                             RangeText(MinOcclusionRadius, MaxOcclusionRadius) +
                                             " (default " + std::to_string(DefaultOcclusionRadius) + ")";
    static const std::string StrengthHelp = "normal map strength " +
                                            RangeText(int(MinNormalStrength), int(MaxNormalStrength)) +
                                            " (default 1): at 1 white stands 8/1024 of the tile's side\n"
                                            "above black in the height the normals are taken from";
    static const std::string BlurHelp =
        "height blur, a wrap-around box of radius N/1024 of the tile's side " +
        RangeText(MinHeightBlur, MaxHeightBlur) + " (default 0)";

    static const std::string LayersHelp = [] {
        std::string kinds = "tile";
        for (const TPatternKindInfo& kind : PatternKinds()) kinds += std::string(", ") + kind.name;
        std::string blends;
        for (const TLayerBlendInfo& blend : LayerBlends())
            blends += (blends.empty() ? "" : ", ") + std::string(blend.name);
        return "compose the texture of layers, bottom first, joined by ',': each a kind\n(" + kinds +
               ") then :NAME=VALUE for its values, :blend=(" + blends +
               "),\n:opacity, :relief, :tone-low, :tone-high and :variant (see pallimor-cli(1))";
    }();

    static const std::vector<TTextureOption> table = {
        {"preset", "NAME",
         "start from a named material (pallimor-cli presets lists them); the options given\nbeside it "
         "change its values",
         coNone, nullptr, ouTexture,
         [](TOptions& o, const std::string& option, const std::string& v) {
             if (v.empty()) throw TUsageError{option + " needs a preset's name"};
             o.preset = v;
             NoteSettingsOption(o, option);
         },
         nullptr},
        {"layers", "LIST", LayersHelp.c_str(), coNone, nullptr, ouTexture,
         [](TOptions& o, const std::string& option, const std::string& v) {
             TLayerStackParse stack = ParseLayerStack(v);
             if (!stack.ok()) throw TUsageError{option + ": " + stack.error};
             o.settings.layers = std::move(stack.stack);
             o.layersGiven = true;
             NoteSettingsOption(o, option);
         },
         nullptr},
        {"palette", "NAME|FILE|RRGGBB,...",
         "stroke colours from a palette (default walk: the walk's own): a shipped one by name\n"
         "(earth, stone, moss, rust, ...), the palette of a PNG or JPEG FILE, or 2 to 16 colours",
         coFile, nullptr, ouTexture,
         [](TOptions& o, const std::string& option, const std::string& v) {
             if (v.empty()) throw TUsageError{option + " needs a palette name, a file or colours"};
             o.palette = v;
             NoteSettingsOption(o, option);
         },
         nullptr},
        {"palette-colors", "N", PaletteColorsHelp.c_str(), coNone, nullptr, ouTexture,
         [](TOptions& o, const std::string& option, const std::string& v) {
             o.paletteColors = IntegerIn(option, v, MinPaletteColors, MaxPaletteColors);
             NoteSettingsOption(o, option);
         },
         nullptr},
        {"maps", "LIST", MapsHelp.c_str(), coWords, "height|normal|roughness|ao|height,normal,roughness,ao",
         ouFiles,
         [](TOptions& o, const std::string& option, const std::string& v) { SetMapList(o.maps, option, v); },
         [](const TMapOptions& maps) -> std::optional<std::string> {
             std::string kinds;
             for (const TMapKind& kind : MapKindTable)
                 if (maps.*kind.wanted) kinds += std::string(kinds.empty() ? "" : ",") + kind.name;
             return Unless(kinds.empty(), true, kinds);
         }},
        {"material", "SET", MaterialHelp.c_str(), coWords, MaterialWords.c_str(), ouFiles,
         [](TOptions& o, const std::string& option, const std::string& v) {
             const TMaterialSetInfo* set = FindMaterialSet(v);
             if (!set || set->set == TMaterialSet::None)
                 throw TUsageError{option + " accepts " + MaterialWords + " (got '" + v + "')"};
             o.maps.material = set->set;
             o.materialOption = option;
         },
         [](const TMapOptions& maps) {
             return Unless(!PacksMaps(maps), true, MaterialSetInfo(maps.material).name);
         }},
        {"metallic", "V", "the material set's metalness, 0..1 (default 0)", coNone, nullptr, ouFiles,
         [](TOptions& o, const std::string& option, const std::string& v) {
             o.maps.metallic = RealIn(option, v, MinMetallic, MaxMetallic);
             o.metallicOption = option;
         },
         [](const TMapOptions& maps) {
             return Unless(maps.metallic == TMapOptions().metallic, PacksMaps(maps),
                           DecimalText(maps.metallic));
         }},
        {"ao-radius", "N", OcclusionHelp.c_str(), coNone, nullptr, ouMaps,
         [](TOptions& o, const std::string& option, const std::string& v) {
             o.maps.occlusionRadius = IntegerIn(option, v, MinOcclusionRadius, MaxOcclusionRadius);
             o.occlusionOption = option;
         },
         [](const TMapOptions& maps) {
             return Unless(maps.occlusionRadius == TMapOptions().occlusionRadius,
                           maps.occlusion || PacksMaps(maps), std::to_string(maps.occlusionRadius));
         }},
        {"map-format", "png|exr",
         "the grey maps' files (height, roughness, ao): png (default; height 16-bit) or exr\n(OpenEXR half "
         "float, one channel Y of 0..1); the normal map stays PNG",
         coWords, "png|exr", ouFiles,
         [](TOptions& o, const std::string& option, const std::string& v) {
             if (v != "png" && v != "exr")
                 throw TUsageError{option + " accepts png or exr (got '" + v + "')"};
             o.maps.format = v == "exr" ? TMapFormat::Exr : TMapFormat::Png;
             o.mapFormatOption = option;
         },
         [](const TMapOptions& maps) {
             return Unless(maps.format == TMapOptions().format, maps.Any(),
                           maps.format == TMapFormat::Exr ? "exr" : "png");
         }},
        {"roughness", "MIN,MAX",
         "the roughness map's range, 0..1 each (default 0.35,0.9): strokes\nglossier, toward MIN; the ground "
         "toward MAX",
         coNone, nullptr, ouMaps,
         [](TOptions& o, const std::string& option, const std::string& v) {
             SetRoughnessRange(o.maps, option, v);
             o.roughnessOption = option;
         },
         [](const TMapOptions& maps) {
             return Unless(maps.roughnessMin == TMapOptions().roughnessMin &&
                               maps.roughnessMax == TMapOptions().roughnessMax,
                           maps.roughness || PacksMaps(maps),
                           DecimalText(maps.roughnessMin) + "," + DecimalText(maps.roughnessMax));
         }},
        {"normal-strength", "K", StrengthHelp.c_str(), coNone, nullptr, ouMaps,
         [](TOptions& o, const std::string& option, const std::string& v) {
             o.maps.normalStrength = RealIn(option, v, MinNormalStrength, MaxNormalStrength);
             NoteNormalOption(o, option);
         },
         [](const TMapOptions& maps) {
             return Unless(maps.normalStrength == TMapOptions().normalStrength,
                           maps.normal || PacksMaps(maps), DecimalText(maps.normalStrength));
         }},
        {"height-blur", "N", BlurHelp.c_str(), coNone, nullptr, ouMaps,
         [](TOptions& o, const std::string& option, const std::string& v) {
             o.maps.heightBlur = IntegerIn(option, v, MinHeightBlur, MaxHeightBlur);
             o.blurOption = option;
         },
         [](const TMapOptions& maps) {
             return Unless(maps.heightBlur == TMapOptions().heightBlur, maps.Any(),
                           std::to_string(maps.heightBlur));
         }},
        {"height-from", "shape|luminance",
         "where the maps' height and roughness come from: shape (default: the layers' own\nrelief, or the "
         "lightness of a texture without layers) or luminance (the lightness)",
         coWords, "shape|luminance", ouMaps,
         [](TOptions& o, const std::string& option, const std::string& v) {
             if (v != "shape" && v != "luminance")
                 throw TUsageError{option + " accepts shape or luminance (got '" + v + "')"};
             o.maps.heightFrom = v == "shape" ? THeightFrom::Shape : THeightFrom::Luminance;
             o.heightFromOption = option;
         },
         [](const TMapOptions& maps) {
             return Unless(maps.heightFrom == TMapOptions().heightFrom, maps.Any(), "luminance");
         }},
        {"normal-y", "up|down", "normal map green axis: up (OpenGL, default) or down (DirectX)", coWords,
         "up|down", ouMaps,
         [](TOptions& o, const std::string& option, const std::string& v) {
             SetNormalY(o.maps, option, v);
             NoteNormalOption(o, option);
         },
         [](const TMapOptions& maps) {
             return Unless(maps.normalY == TMapOptions().normalY, maps.normal || PacksMaps(maps),
                           maps.normalY == TNormalY::Up ? "up" : "down");
         }},
        {"normal-filter", "sobel|scharr", "normal map slope filter: sobel (default) or scharr", coWords,
         "sobel|scharr", ouMaps,
         [](TOptions& o, const std::string& option, const std::string& v) {
             SetNormalFilter(o.maps, option, v);
             NoteNormalOption(o, option);
         },
         [](const TMapOptions& maps) {
             return Unless(maps.normalFilter == TMapOptions().normalFilter, maps.normal || PacksMaps(maps),
                           maps.normalFilter == TNormalFilter::Sobel ? "sobel" : "scharr");
         }},
    };
    return table;
}

} // namespace

std::span<const TTextureOption> TextureOptions() {
    return Table();
}

const TTextureOption* FindTextureOption(std::string_view name) {
    for (const TTextureOption& option : Table())
        if (name == option.name) return &option;
    return nullptr;
}

void ApplyGenParam(TTextureOptions& o, const TGenParam& param, const std::string& option,
                   const std::string& value) {
    o.settings.SetValue(param.id, ParamOf(param, value));
    o.givenParams[param.id] = true;
    NoteSettingsOption(o, option);
}

void ApplyPreset(TTextureOptions& o, const TPreset& preset) {
    const std::string error = ApplyPresetFields(preset, o.settings, o.palette, [&o](std::string_view name) {
        const TGenParam* param = FindGenParam(name);
        return param ? o.givenParams[param->id] : name == "layers" ? o.layersGiven : !o.palette.empty();
    });
    if (!error.empty()) throw TUsageError{"--" + error};
}

void ApplyPresetOption(TTextureOptions& o, const std::string& exeDir) {
    if (o.preset.empty()) return;
    const TPresetFileResult presets = LoadShippedPresets(exeDir);
    if (!presets.ok()) throw TUsageError{"--preset: " + presets.error};
    const TPreset* preset = FindPreset(presets.presets, o.preset);
    if (!preset)
        throw TUsageError{"--preset: no preset called '" + o.preset + "' (pallimor-cli presets lists them)"};
    ApplyPreset(o, *preset);
}

void CheckTextureOptions(const TTextureOptions& o) {
    if (o.recipe && o.seed) throw TUsageError{"--recipe and --seed exclude each other"};
    if (o.recipe && !o.settingsOption.empty())
        throw TUsageError{"--recipe fixes every generation setting; " + o.settingsOption +
                          " cannot be added"};
    const bool set = PacksMaps(o.maps);
    if (!o.metallicOption.empty() && !set)
        throw TUsageError{o.metallicOption + " applies only with --material"};
    if (!o.blurOption.empty() && !o.maps.Any()) throw TUsageError{o.blurOption + " applies only with --maps"};
    if (o.paletteColors != 0 && o.palette.empty())
        throw TUsageError{"--palette-colors applies only with --palette FILE"};
    if (!o.heightFromOption.empty() && !o.maps.Any())
        throw TUsageError{o.heightFromOption + " applies only with --maps or --material"};
    if (!o.mapFormatOption.empty() && !o.maps.Any())
        throw TUsageError{o.mapFormatOption + " applies only with --maps"};
    // A material set packs the normal, roughness and occlusion maps.
    if (!o.occlusionOption.empty() && !o.maps.occlusion && !set)
        throw TUsageError{o.occlusionOption + " applies only with --maps ao or --material"};
    if (!o.roughnessOption.empty() && !o.maps.roughness && !set)
        throw TUsageError{o.roughnessOption + " applies only with --maps roughness or --material"};
    if (!o.normalOption.empty() && !o.maps.normal && !set)
        throw TUsageError{o.normalOption + " applies only with --maps normal or --material"};
}

std::vector<std::string> MapArguments(const TMapOptions& maps) {
    std::vector<std::string> arguments;
    if (!maps.Any()) return arguments;
    for (const TTextureOption& option : Table()) {
        if (!option.valueOf) continue;
        if (std::optional<std::string> value = option.valueOf(maps)) {
            arguments.push_back(std::string("--") + option.name);
            arguments.push_back(std::move(*value));
        }
    }
    return arguments;
}

} // namespace vorn
