#include "gen/DataSetRun.h"

#include <filesystem>
#include <random>
#include <string_view>

#include "gen/Generator.h"
#include "gen/JsonText.h"
#include "gen/OutputTexture.h"
#include "gen/Recipe.h"
#include "gen/SeedText.h"
#include "io/Sha256.h"

namespace vorn {

namespace {

// The JSON string starting at text[at] (its opening quote), unescaped; at moves past it. None
// when there is no string there.
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
            value += static_cast<char>(std::stoi(std::string(text.substr(at + 1, 4)), nullptr, 16));
            at += 4;
        } else {
            value += text[at];
        }
    }
    return std::nullopt;
}

std::string RelativeTo(const std::string& file, const std::string& folder) {
    const std::filesystem::path base =
        std::filesystem::absolute(folder.empty() ? "." : folder).lexically_normal();
    return std::filesystem::absolute(file).lexically_normal().lexically_relative(base).string();
}

// Whether a manifest line is texture index's, with every file it names of its sha256.
bool LineHolds(std::string_view line, const std::string& folder, int index) {
    std::string indexField = ",\"index\":";
    indexField += std::to_string(index);
    indexField += ',';
    if (line.find(indexField) == std::string_view::npos) return false;
    constexpr std::string_view ShaField = "\"sha256\":{";
    std::size_t at = line.find(ShaField);
    if (at == std::string_view::npos) return false;
    at += ShaField.size();
    bool any = false;
    while (at < line.size() && line[at] != '}') {
        if (any && line[at++] != ',') return false;
        const std::optional<std::string> name = ReadString(line, at);
        if (!name || at >= line.size() || line[at++] != ':') return false;
        const std::optional<std::string> sha = ReadString(line, at);
        if (!sha) return false;
        const std::string file = (std::filesystem::path(folder.empty() ? "." : folder) / *name).string();
        if (FileSha256Hex(file) != *sha) return false;
        any = true;
    }
    return any;
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

TDataSetResult RunDataSet(TGenerator& generator, const TDataSetOptions& options) {
    TDataSetResult result;
    std::uint32_t seed = options.runSeed;
    for (int index = 0; index < options.range.first; ++index)
        seed = SeedAfter(TextureSettings(options.base, options.vary, options.runSeed, index), seed);

    const TFlagScope running(generator.BatchRunning);
    // Each texture's settings are the generator's while it is drawn and written; the caller's
    // come back at the end.
    struct TSettingsBack {
        TGenerator& generator;
        const TGenSettingsSource& original;
        ~TSettingsBack() { generator.SetSettings(original); }
    } back{generator, generator.Settings()};
    const int end = options.range.first + options.range.count;
    for (int index = options.range.first; index < end; ++index) {
        TDataSetTexture texture;
        texture.index = index;
        texture.seed = seed;
        texture.settings = TextureSettings(options.base, options.vary, options.runSeed, index);
        generator.SetSettings(texture.settings);
        generator.TextureSize = texture.settings.size;
        generator.BackgroundColor = CanvasColorOfRgb(static_cast<std::uint32_t>(texture.settings.bgColor));
        random::SetSeed(seed);
        // A cleared tile each time: the texture is its recipe's alone, wherever a shard starts.
        generator.FirstRender();
        if (generator.DrawFailed()) {
            result.ok = false;
            result.error = DrawFailedText;
            return result;
        }
        seed = random::Seed();
        texture.recipe =
            EncodeRecipe(NextRecipe(nullptr, texture.settings, texture.seed, texture.settings.size,
                                    generator.BackgroundColor, generator.BrushSetHash));
        const std::string file = options.fileName(index, texture.seed, texture.settings);
        const TExportResult written =
            ExportOutputTexture(generator, file, options.jpegQuality, SystemFileWriter(), options.saveMode,
                                options.maps, options.embedRecipe ? texture.recipe : std::string());
        if (!written.ok) {
            result.ok = false;
            result.error = written.error;
            generator.SetSettings(back.original);
            return result;
        }
        texture.files = ExportedFileNames(written.writtenFile, options.maps);
        for (const std::string& name : texture.files) texture.sha256.push_back(FileSha256Hex(name));
        ++result.made;
        if (options.made) {
            if (std::string why = options.made(texture); !why.empty()) {
                result.ok = false;
                result.error = std::move(why);
                generator.SetSettings(back.original);
                return result;
            }
        }
        generator.SetSettings(back.original); // texture.settings ends with this pass
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

TResumePoint ResumePointOf(const std::string& manifest, const std::string& folder, int firstIndex) {
    TResumePoint point;
    for (std::size_t at = 0; at < manifest.size();) {
        const std::size_t end = manifest.find('\n', at);
        if (end == std::string::npos) break; // a line cut short by a kill
        if (!LineHolds(std::string_view(manifest).substr(at, end - at), folder, firstIndex + point.lines))
            break;
        ++point.lines;
        at = end + 1;
        point.bytes = at;
    }
    return point;
}

} // namespace vorn
