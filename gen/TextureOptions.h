// The options of a texture that every front end reads the same way: the generation parameters,
// the palette, the seed or recipe, and the maps and material files written beside the texture.
// One table gives their names, help and values to the command line (its options, --help, the man
// page and the completion), the Python module (its keyword arguments) and the Library's child run
// (the arguments that ask for the maps an export writes), with the rules between them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/MaterialMaps.h"
#include "gen/GenSettings.h"
#include "gen/Presets.h"
#include "gen/Recipe.h"

namespace vorn {

struct TTextureOptions {
    TGenSettings settings;
    std::string settingsOption; // the first generation option given, for --recipe's usage error
    std::optional<std::uint32_t> seed;
    std::optional<TRecipe> recipe;
    std::string palette;          // as given; resolved when drawn (a name, a file or colours)
    int paletteColors = 0;        // 0: the default of an image's palette
    TMapOptions maps;             // the maps and their settings
    std::string blurOption;       // "--height-blur" when given, for the usage errors
    std::string normalOption;     // the first of the normal map's options given
    std::string occlusionOption;  // "--ao-radius" when given
    std::string roughnessOption;  // "--roughness" when given
    std::string mapFormatOption;  // "--map-format" when given
    std::string heightFromOption; // "--height-from" when given
    std::string materialOption;   // "--material" when given
    std::string metallicOption;   // "--metallic" when given
    std::string preset;           // --preset's name; applied by ApplyPresetOption
    std::array<bool, GenParamCount> givenParams = {}; // set by an option, not by the preset
    bool layersGiven = false;
};

// What a value completes to in the shell.
enum TCompletion { coNone, coFile, coFolder, coWords };

// What an option changes: the texture itself, the pixels of its maps, or which files are written
// beside it (a front end that writes no files, such as the module, takes the first two only).
enum TOptionUse { ouTexture, ouMaps, ouFiles };

struct TTextureOption {
    const char* name;     // without "--"
    const char* argument; // how --help names the value
    const char* help;     // '\n' continues the text on the next line
    TCompletion completion;
    const char* words; // coWords: the values, separated by '|'
    TOptionUse use;
    void (*apply)(TTextureOptions& o, const std::string& option, const std::string& value);
    // The value that asks for what maps holds; none where it is the default or no file written
    // with maps depends on it (the command line refuses it there). Only for the maps' options.
    std::optional<std::string> (*valueOf)(const TMapOptions& maps);
};

// --palette, --palette-colors and the maps' options, in the order --help lists them.
std::span<const TTextureOption> TextureOptions();
const TTextureOption* FindTextureOption(std::string_view name);

// A generation parameter's value given as option (--size, --effect, ...): set, and noted for
// --recipe's rule.
void ApplyGenParam(TTextureOptions& o, const TGenParam& param, const std::string& option,
                   const std::string& value);

// The preset's fields as options, each unless an option given set it already (so that options
// given beside a preset win, whatever their order). Throws TUsageError for a bad field.
void ApplyPreset(TTextureOptions& o, const TPreset& preset);
// With --preset: the shipped presets read (exeDir as ResolvePalette's) and the one named applied;
// throws TUsageError for an unknown name or a preset file that cannot be read.
void ApplyPresetOption(TTextureOptions& o, const std::string& exeDir);

// The rules between the options, once all are read; throws TUsageError.
void CheckTextureOptions(const TTextureOptions& o);

// The arguments that ask the command line for the maps of maps (in the table's order), read back
// by its parser as exactly maps.
std::vector<std::string> MapArguments(const TMapOptions& maps);

} // namespace vorn
