#include "gen/DataSetRun.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <string_view>

#include "gen/Generator.h"
#include "gen/JsonText.h"
#include "gen/OutputTexture.h"
#include "gen/Producer.h"
#include "gen/Recipe.h"
#include "gen/SeedText.h"
#include "io/Sha256.h"

namespace vorn {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The JSON string starting at text[at] (its opening quote), unescaped; at moves past it. None
// when there is no whole string there or an escape is not one JSON knows.
std::optional<std::string> ReadString(std::string_view text, std::size_t& at) {
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string value;
    for (++at; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '"') {
            ++at;
            return value;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++at >= text.size()) return std::nullopt;
        if (text[at] == 'u') { // only control characters are written so
            if (at + 4 >= text.size()) return std::nullopt;
            int code = 0;
            for (std::size_t i = 1; i <= 4; ++i) {
                const int digit = HexDigit(text[at + i]);
                if (digit < 0) return std::nullopt;
                code = code * 16 + digit;
            }
            if (code > 0x7F) return std::nullopt;
            value += static_cast<char>(code);
            at += 4;
        } else if (std::string_view("\"\\/").find(text[at]) != std::string_view::npos) {
            value += text[at];
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Moves at past the value the manifest writes there: a string, an integer, an array of strings or
// an object of strings; false when there is none.
bool SkipValue(std::string_view text, std::size_t& at) {
    if (at >= text.size()) return false;
    if (text[at] == '"') return ReadString(text, at).has_value();
    if (text[at] == '[' || text[at] == '{') {
        const char close = text[at] == '[' ? ']' : '}';
        const bool pairs = close == '}';
        ++at;
        for (bool first = true; at < text.size() && text[at] != close; first = false) {
            if (!first && text[at++] != ',') return false;
            if (!ReadString(text, at)) return false;
            if (pairs && (at >= text.size() || text[at++] != ':' || !ReadString(text, at))) return false;
        }
        return at++ < text.size();
    }
    const std::size_t begin = at;
    if (text[at] == '-') ++at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    return at > begin && text[at - 1] != '-';
}

// A manifest line's fields in order, each name with its value's JSON text; none when the line is
// no object of the shape the manifest writes.
using TLineFields = std::vector<std::pair<std::string, std::string_view>>;
std::optional<TLineFields> FieldsOf(std::string_view line) {
    TLineFields fields;
    std::size_t at = 0;
    if (line.empty() || line[at++] != '{') return std::nullopt;
    while (at < line.size() && line[at] != '}') {
        if (!fields.empty() && line[at++] != ',') return std::nullopt;
        std::optional<std::string> name = ReadString(line, at);
        if (!name || at >= line.size() || line[at++] != ':') return std::nullopt;
        const std::size_t value = at;
        if (!SkipValue(line, at)) return std::nullopt;
        fields.emplace_back(std::move(*name), line.substr(value, at - value));
    }
    if (at + 1 != line.size()) return std::nullopt; // the closing brace ends the line
    return fields;
}

std::optional<std::string_view> FieldOf(const TLineFields& fields, std::string_view name) {
    for (const auto& [key, value] : fields)
        if (key == name) return value;
    return std::nullopt;
}

// A value as a message quotes it: a string without its quotes, at most 40 characters.
std::string Shown(std::string_view json) {
    std::size_t at = 0;
    std::string text =
        json.starts_with('"') ? ReadString(json, at).value_or(std::string(json)) : std::string(json);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text.size() <= 40 ? text : text.substr(0, 37) + "...";
}

std::string RelativeTo(const std::string& file, const std::string& folder) {
    const std::filesystem::path base =
        std::filesystem::absolute(folder.empty() ? "." : folder).lexically_normal();
    return std::filesystem::absolute(file).lexically_normal().lexically_relative(base).string();
}

// Why line (without its '\n') is not expected, the line this run writes for the texture planned
// (whose sha256 are those of the files now); empty when it is.
std::string LineDifference(std::string_view line, std::string_view expected, const TDataSetTexture& planned,
                           const std::string& folder) {
    const std::optional<TLineFields> have = FieldsOf(line);
    if (!have) return "it is not a whole manifest line";
    const TLineFields want = *FieldsOf(expected);
    const auto differs = [&](std::string_view name) {
        const std::optional<std::string_view> a = FieldOf(*have, name), b = FieldOf(want, name);
        return a != b;
    };
    const auto value = [&](std::string_view name) { return Shown(FieldOf(*have, name).value_or("none")); };
    if (differs("index"))
        return "it is texture " + value("index") + "'s, this run's is " + Shown(*FieldOf(want, "index"));
    if (differs("seed"))
        return "made with seed " + value("seed") + ", this run has " + Shown(*FieldOf(want, "seed"));
    if (differs("version"))
        return "made by version " + value("version") + ", this is " + Shown(*FieldOf(want, "version"));
    for (const auto& [name, wanted] : want) {
        if (name == "sha256") {
            for (std::size_t i = 0; i < planned.files.size(); ++i) {
                const std::string shown = Shown(JsonString(RelativeTo(planned.files[i], folder)));
                if (planned.sha256[i].empty()) return shown + " is missing or cannot be read";
            }
            if (!differs(name)) continue;
            for (std::size_t i = 0; i < planned.files.size(); ++i) {
                const std::string entry =
                    JsonString(RelativeTo(planned.files[i], folder)) + ':' + JsonString(planned.sha256[i]);
                if (FieldOf(*have, name)->find(entry) == std::string_view::npos)
                    return Shown(JsonString(RelativeTo(planned.files[i], folder))) + " has changed since";
            }
        }
        if (differs(name)) return "its " + name + " is " + value(name) + ", this run's is " + Shown(wanted);
    }
    return "it is not written as this run writes it";
}

} // namespace

TTextureRange ShardRange(int total, int k, int n) {
    const auto edge = [&](int shard) { return static_cast<int>(static_cast<long long>(total) * shard / n); };
    return {edge(k), edge(k + 1) - edge(k)};
}

TGenSettings TextureSettings(const TGenSettings& base, const std::optional<TParamLocks>& vary,
                             std::uint32_t runSeed, int index) {
    if (!vary) return base;
    // seed_seq's mixing is fixed by the standard: the same pair gives the same generator.
    std::seed_seq seeds{runSeed, static_cast<std::uint32_t>(index)};
    std::mt19937 random(seeds);
    TGenSettings settings = RandomizeSettings(base, *vary, random);
    return settings;
}

std::uint32_t TSeedWalk::SeedBefore(int index) {
    const std::size_t known = static_cast<std::size_t>(index - m_options.seedsFirst);
    if (index >= m_options.seedsFirst && known < m_options.seeds.size()) return m_options.seeds[known];
    for (; m_index < index; ++m_index)
        m_seed =
            SeedAfter(TextureSettings(m_options.base, m_options.vary, m_options.runSeed, m_index), m_seed);
    return m_seed;
}

TDataSetTexture PlannedTexture(const TDataSetOptions& options, int index, std::uint32_t seed,
                               std::uint32_t brushes) {
    TDataSetTexture texture;
    texture.index = index;
    texture.seed = seed;
    texture.settings = TextureSettings(options.base, options.vary, options.runSeed, index);
    const TCanvasColor background = CanvasColorOfRgb(static_cast<std::uint32_t>(texture.settings.bgColor));
    texture.recipe =
        EncodeRecipe(NextRecipe(nullptr, texture.settings, seed, texture.settings.size, background, brushes));
    texture.files = ExportedFileNames(options.fileName(index, seed, texture.settings), options.maps);
    return texture;
}

TDataSetResult RunDataSet(TGenerator& generator, const TDataSetOptions& options) {
    TDataSetResult result;
    TSeedWalk seeds(options);
    const TFlagScope running(generator.BatchRunning);
    const auto fail = [&](std::string why) {
        result.ok = false;
        result.error = std::move(why);
        return result;
    };
    const int end = options.range.first + options.range.count;
    for (int index = options.range.first; index < end; ++index) {
        TDataSetTexture texture =
            PlannedTexture(options, index, seeds.SeedBefore(index), generator.BrushSetHash);
        // A cleared tile each time: the texture is its recipe's alone, wherever a shard starts.
        TDrawRequest draw;
        draw.settings = texture.settings;
        draw.seed = texture.seed;
        if (const TDrawnTexture drawn = DrawTexture(generator, draw); !drawn.ok()) return fail(drawn.error);
        const TExportResult written = ExportOutputTexture(
            generator, texture.files.front(), options.jpegQuality, SystemFileWriter(), options.saveMode,
            options.maps, options.embedRecipe ? texture.recipe : std::string());
        if (!written.ok) return fail(written.error);
        texture.files = ExportedFileNames(written.writtenFile, options.maps);
        for (const std::string& name : texture.files) {
            texture.sha256.push_back(FileSha256Hex(name));
            // A file that cannot be read back has no digest: the line would vouch for nothing.
            if (texture.sha256.back().empty()) return fail("Cannot read " + name + " back to hash it");
        }
        ++result.made;
        if (options.made) {
            if (std::string why = options.made(texture); !why.empty()) return fail(std::move(why));
        }
    }
    return result;
}

std::string ManifestLine(const TDataSetTexture& texture, const std::string& folder,
                         const std::string& version) {
    std::vector<std::string> names;
    for (const std::string& file : texture.files) names.push_back(RelativeTo(file, folder));
    std::string line = "{\"file_name\":";
    line += JsonString(names.empty() ? std::string() : names.front());
    line += ",\"index\":";
    line += std::to_string(texture.index);
    line += ",\"seed\":\"";
    line += SeedText(texture.seed);
    line += "\",\"recipe\":";
    line += JsonString(texture.recipe);
    for (const TGenParam& param : GenParams) {
        const int value = texture.settings.Value(param.id);
        const bool text = param.kind == pkList || param.kind == pkColor;
        line += ',';
        line += JsonString(param.name);
        line += ':';
        line += text ? JsonString(ParamValueText(param, value)) : std::to_string(value);
    }
    line += ",\"maps\":[";
    for (std::size_t i = 1; i < names.size(); ++i) {
        if (i > 1) line += ',';
        line += JsonString(names[i]);
    }
    line += "],\"sha256\":{";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) line += ',';
        line += JsonString(names[i]);
        line += ':';
        line += JsonString(texture.sha256[i]);
    }
    line += "},\"version\":";
    line += JsonString(version);
    line += "}\n";
    return line;
}

TResumePoint ResumePointOf(std::string_view manifest, const TResumeCheck& check) {
    TResumePoint point;
    std::size_t at = 0;
    const auto lineText = [](int number) { return "line " + std::to_string(number) + ": "; };
    // Another run's manifest (another shard's, or no manifest at all) is not this one's to cut.
    if (!manifest.empty()) {
        const std::string_view first = manifest.substr(0, manifest.find('\n'));
        constexpr std::string_view Opening = "{\"file_name\":";
        const std::optional<TLineFields> fields = FieldsOf(first);
        const std::string index =
            fields ? std::string(FieldOf(*fields, "index").value_or("")) : std::string();
        if (first.empty() || !Opening.starts_with(first.substr(0, Opening.size()))) {
            point.foreign = true;
            point.why = "its first line is no manifest line";
        } else if (!index.empty() && index != std::to_string(check.first)) {
            point.foreign = true;
            point.why = "its first line is texture " + index + "'s, this run starts at texture " +
                        std::to_string(check.first);
        }
        if (point.foreign) return point;
    }
    while (at < manifest.size()) {
        const std::size_t end = manifest.find('\n', at);
        const int number = point.lines + 1;
        if (end == std::string_view::npos) { // a line cut short by a kill
            point.why = lineText(number) + "it was cut short";
            break;
        }
        if (point.lines == check.count) {
            for (std::size_t next = at; next < manifest.size(); ++point.past)
                next = std::min(manifest.find('\n', next), manifest.size() - 1) + 1;
            break;
        }
        const std::string_view line = manifest.substr(at, end - at);
        TDataSetTexture planned = check.planned(check.first + point.lines);
        for (const std::string& file : planned.files) planned.sha256.push_back(FileSha256Hex(file));
        std::string expected = ManifestLine(planned, check.folder, check.version);
        expected.pop_back();
        const bool unread = std::ranges::any_of(planned.sha256, &std::string::empty);
        if (unread || line != expected) {
            point.why = lineText(number) + LineDifference(line, expected, planned, check.folder);
            break;
        }
        ++point.lines;
        at = end + 1;
        point.bytes = at;
    }
    return point;
}

} // namespace vorn
