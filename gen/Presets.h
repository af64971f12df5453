// Named materials: each a starting point of settings (Wrap tiling, a palette, layers, the walk's
// parameters) kept in one data file shipped with the program, presets.txt, one a line:
//     NAME FIELDS DESCRIPTION...
// NAME lower case letters, digits and '-'; FIELDS the settings as NAME=VALUE joined by '.', each
// as the option of that name takes it ("tiling=wrap.palette=stone.layers=cells:cells=9"); the rest
// of the line a short description. Blank lines and lines whose first
// non-blank character is '#' are skipped. A front end applies the fields through its options
// (gen/TextureOptions.h), so that what is given beside a preset wins over it. No Qt.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gen/GenSettings.h"

namespace vorn {

inline constexpr const char* PresetFileName = "presets.txt";

struct TPreset {
    std::string name;
    std::string description;
    // (name, value) in the order written: a parameter's option name, "palette" or "layers".
    std::vector<std::pair<std::string, std::string>> fields;
};

struct TPresetFileResult {
    std::vector<TPreset> presets; // in file order
    std::string error;            // "line 7: ..." naming the first bad line; empty: good
    bool ok() const { return error.empty(); }
};

// Reads the file's text. Each field must name a generation parameter, "palette" or "layers",
// once; the values are checked where they are applied. A name appears once.
TPresetFileResult ParsePresetFile(std::string_view text);
// The preset called name, or nullptr.
const TPreset* FindPreset(const std::vector<TPreset>& presets, std::string_view name);

// Sets settings from preset's fields (the parameters and the layers) and palette to its palette
// field as --palette takes it (left as it was when it has none), skipping every field whose name
// keep says to keep. The error names the preset and the field; empty: done.
std::string ApplyPresetFields(const TPreset& preset, TGenSettings& settings, std::string& palette,
                              const std::function<bool(std::string_view name)>& keep = {});

struct TPresetSettings {
    TGenSettings settings;
    std::string error; // the preset's bad field or palette; empty: good
    bool ok() const { return error.empty(); }
};
// What preset makes: every value at its default, then the preset's fields, its palette resolved
// as --palette resolves it (shipped names beside exeDir); the output at size.
TPresetSettings PresetSettings(const TPreset& preset, int size, const std::string& exeDir);

// The shipped presets: presets.txt where the installed files are looked for (ArchiveChoice.h),
// parsed. Errors name the file, or say that none was found.
TPresetFileResult LoadShippedPresets(const std::string& exeDir);

} // namespace vorn
