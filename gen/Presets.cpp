#include "gen/Presets.h"

#include <algorithm>
#include <cstring>

#include "gen/ArchiveChoice.h"
#include "gen/GenParams.h"
#include "gen/Palette.h"
#include "io/FileBytes.h"

namespace vorn {

namespace {

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

std::string_view NextWord(std::string_view& line) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
    const std::string_view word = line.substr(0, end);
    line.remove_prefix(end);
    return word;
}

// The fields of one preset; error names the first bad one.
std::vector<std::pair<std::string, std::string>> ParseFields(std::string_view text, std::string& error) {
    std::vector<std::pair<std::string, std::string>> fields;
    while (!text.empty()) {
        const std::size_t dot = text.find('.');
        const std::string_view field = text.substr(0, dot);
        text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
        const std::size_t eq = field.find('=');
        const std::string name(field.substr(0, eq));
        if (eq == std::string_view::npos || eq + 1 == field.size()) {
            error = "field '" + name + "' has no value";
            return {};
        }
        const TGenParam* param = FindGenParam(name);
        if ((!param || param->kind == pkSize) && name != "palette" && name != "layers") {
            error = "unknown field '" + name + "'";
            return {};
        }
        if (std::ranges::any_of(fields, [&](const auto& f) { return f.first == name; })) {
            error = "field '" + name + "' given twice";
            return {};
        }
        fields.emplace_back(name, std::string(field.substr(eq + 1)));
    }
    return fields;
}

} // namespace

TPresetFileResult ParsePresetFile(std::string_view text) {
    TPresetFileResult result;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text = end < text.size() ? text.substr(end + 1) : std::string_view();
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        const auto fail = [&](const std::string& why) {
            result.presets.clear();
            result.error = "line " + std::to_string(number) + ": " + why;
        };
        TPreset preset;
        preset.name = NextWord(line);
        if (!std::ranges::all_of(preset.name, IsNameChar)) {
            fail("a preset's name has lower case letters, digits and '-' only: '" + preset.name + "'");
            return result;
        }
        if (FindPreset(result.presets, preset.name)) {
            fail("a second preset called " + preset.name);
            return result;
        }
        const std::string_view fields = NextWord(line);
        std::string error;
        preset.fields = ParseFields(fields, error);
        if (fields.empty()) error = "no settings";
        if (!error.empty()) {
            fail(preset.name + ": " + error);
            return result;
        }
        const std::size_t from = line.find_first_not_of(" \t");
        preset.description = from == std::string_view::npos ? "" : std::string(line.substr(from));
        result.presets.push_back(std::move(preset));
    }
    if (result.presets.empty()) result.error = "no preset";
    return result;
}

const TPreset* FindPreset(const std::vector<TPreset>& presets, std::string_view name) {
    for (const TPreset& preset : presets)
        if (preset.name == name) return &preset;
    return nullptr;
}

std::string ApplyPresetFields(const TPreset& preset, TGenSettings& settings, std::string& palette,
                              const std::function<bool(std::string_view name)>& keep) {
    for (const auto& [name, value] : preset.fields) {
        if (keep && keep(name)) continue;
        const std::string where = "preset " + preset.name + ": " + name + "=" + value + ": ";
        if (const TGenParam* param = FindGenParam(name)) {
            const TParsedValue parsed = ParseParamValue(*param, value);
            if (parsed.error != TValueError::None) return where + "not a value of " + param->name;
            settings.SetValue(param->id, parsed.value);
        } else if (name == "palette") {
            palette = value;
        } else if (name == "layers") {
            TLayerStackParse stack = ParseLayerStack(value);
            if (!stack.ok()) return where + stack.error;
            settings.layers = std::move(stack.stack);
        } else {
            return where + "unknown field";
        }
    }
    return {};
}

TPresetSettings PresetSettings(const TPreset& preset, int size, const std::string& exeDir) {
    TPresetSettings result;
    result.settings.size = size;
    std::string palette;
    result.error = ApplyPresetFields(preset, result.settings, palette);
    if (!result.ok() || palette.empty()) return result;
    const TPaletteResult resolved = ResolvePalette(palette, 0, exeDir);
    if (resolved.ok())
        result.settings.palette = resolved.palette;
    else
        result.error = "preset " + preset.name + ": palette=" + palette + ": " + resolved.error;
    return result;
}

TPresetFileResult LoadShippedPresets(const std::string& exeDir) {
    const std::string path = FindInstalledFile(exeDir, PresetFileName);
    if (path.empty()) return {{}, std::string("no ") + PresetFileName + " was found"};
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t MaxPresetFileBytes = std::size_t(1) << 20;
    if (const int failed = ReadFileBytes(path, MaxPresetFileBytes, bytes); failed != 0)
        return {{}, path + ": " + std::strerror(failed)};
    TPresetFileResult file = ParsePresetFile({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    if (!file.ok()) file.error = path + ": " + file.error;
    return file;
}

} // namespace vorn
