#include "cli/GeneratePlan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "cli/Cli.h"
#include "export/MaterialMaps.h"
#include "gen/ArchiveChoice.h"
#include "gen/BatchLoop.h"
#include "gen/Favourites.h"
#include "gen/GenParams.h"
#include "gen/SeedText.h"
#include "io/FileBytes.h"

namespace vorn {

namespace {

constexpr const char* Program = "pallimor-cli generate: ";
constexpr std::string_view NameField = "{name}";

using TOptions = TGenerateOptions;

TPlanFailure Usage(const std::string& text) {
    return {2, Program + text};
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
}

// Whether name is pattern with each "{seed}" standing for a seed's SeedText.
bool MatchesSeeded(std::string_view name, std::string_view pattern) {
    constexpr std::string_view Field = "{seed}";
    while (true) {
        const std::size_t field = pattern.find(Field);
        if (field == std::string_view::npos) return name == pattern;
        if (name.substr(0, field) != pattern.substr(0, field) ||
            !IsSeedText(name.substr(field, SeedTextLength)))
            return false;
        name.remove_prefix(field + SeedTextLength);
        pattern.remove_prefix(field + Field.size());
    }
}

// The archive --brushes names: a file, else the installed set of that name; empty: neither.
std::string BrushesPath(const std::string& brushes) {
    if (std::error_code error; std::filesystem::is_regular_file(brushes, error)) return brushes;
    for (const TBrushSet& set : InstalledBrushSets(ExecutableFolder()))
        if (set.name == brushes) return set.path;
    return {};
}

// Every recipe of the --recipes file as a source of one texture, numbered in file order.
std::variant<std::vector<TPlannedSource>, TPlanFailure> RecipeSources(const std::string& file,
                                                                      const std::string& shown) {
    std::vector<std::uint8_t> bytes;
    if (const int error = ReadFileBytes(file == "-" ? "/dev/stdin" : file, MaxFavouritesBytes, bytes);
        error != 0)
        return TPlanFailure{1, "Cannot read " + shown + ": " + std::strerror(error)};
    const TFavouritesText parsed =
        ParseFavourites({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    if (!parsed.notRecipes.empty()) {
        const TFavouriteLine& bad = parsed.notRecipes.front();
        return Usage("--recipes: line " + std::to_string(bad.number) + " of " + shown +
                     " is not a recipe: " + bad.error);
    }
    // With no line set aside, the lines kept are the file's lines in order.
    std::vector<TPlannedSource> sources;
    for (std::size_t i = 0; i < parsed.lines.size(); ++i) {
        if (!parsed.lines[i].favourite) continue;
        const TFavourite& favourite = *parsed.lines[i].favourite;
        TPlannedSource& source = sources.emplace_back();
        source.line = i + 1;
        source.code = favourite.code;
        source.recipe = DecodeRecipe(favourite.code).recipe;
        source.settings = source.recipe->links.back().settings;
        source.name = FileSafeName(favourite.name);
        source.firstIndex = static_cast<int>(sources.size() - 1);
    }
    if (sources.empty()) return TPlanFailure{1, shown + " holds no recipe"};
    return sources;
}

// With --recipes and a --name without {n}: no two recipes may give one file.
std::optional<TPlanFailure> SharedFile(const TOptions& o, const TRunPlan& plan) {
    std::map<std::string, std::size_t> lines; // file -> the line giving it
    for (const TPlannedSource& source : plan.sources) {
        for (const std::string& file :
             ExportedFileNames(BatchFileOf(o, source, 0, source.KnownSeed(0)), o.maps)) {
            const auto [at, added] = lines.emplace(file, source.line);
            if (!added)
                return Usage("--recipes: lines " + std::to_string(at->second) + " and " +
                             std::to_string(source.line) + " of " + plan.recipesFile + " both give " + file +
                             "; add {n} to --name");
        }
    }
    return std::nullopt;
}

// The files the run would replace, in the order of writing; empty: nothing is replaced. A batch
// name with a seed not known before drawing counts every file its pattern could give.
std::vector<std::string> ExistingFiles(const TOptions& o, const TRunPlan& plan) {
    std::vector<std::string> existing;
    const auto add = [&existing](const std::string& file) {
        if (std::find(existing.begin(), existing.end(), file) == existing.end()) existing.push_back(file);
    };
    if (!o.trace.empty() && Exists(o.trace)) add(o.trace);
    if (!o.out.empty() && o.out != "-") {
        for (const std::string& name : ExportedFileNames(o.out, o.maps))
            if (Exists(name)) add(name);
    }
    if (o.folder.empty()) return existing;
    std::optional<std::vector<std::string>> present; // the folder's names, read when first needed
    for (const TPlannedSource& source : plan.sources) {
        for (int index = 0; index < source.count; ++index) {
            const std::optional<std::uint32_t> seed = source.KnownSeed(index);
            for (const std::string& file : ExportedFileNames(BatchFileOf(o, source, index, seed), o.maps)) {
                const std::string pattern = std::filesystem::path(file).filename().string();
                if (pattern.find("{seed}") == std::string::npos) {
                    if (Exists(file)) add(file);
                    continue;
                }
                if (!present) {
                    present.emplace();
                    std::error_code error;
                    for (const auto& entry : std::filesystem::directory_iterator(o.folder, error))
                        present->push_back(entry.path().filename().string());
                    std::sort(present->begin(), present->end());
                }
                for (const std::string& name : *present)
                    if (MatchesSeeded(name, pattern)) add(o.folder + "/" + name);
            }
        }
    }
    return existing;
}

// The trace must not be one of the files the run writes: they would overwrite each other.
std::optional<TPlanFailure> TraceCollision(const TOptions& o, const TRunPlan& plan) {
    if (o.trace.empty()) return std::nullopt;
    TPathKeys keys;
    const std::string trace = keys.Of(o.trace);
    std::vector<std::string> files;
    if (!o.out.empty() && o.out != "-") files = ExportedFileNames(o.out, o.maps);
    if (!o.folder.empty()) {
        for (const TPlannedSource& source : plan.sources)
            for (int index = 0; index < source.count; ++index)
                for (std::string& file :
                     ExportedFileNames(BatchFileOf(o, source, index, source.KnownSeed(index)), o.maps))
                    files.push_back(std::move(file));
    }
    for (const std::string& file : files)
        if (keys.Of(file) == trace) return Usage("--trace " + o.trace + " is also a texture's file, " + file);
    return std::nullopt;
}

} // namespace

std::string TPathKeys::Of(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
    const std::string parent = absolute.parent_path().string();
    auto folder = m_folders.find(parent);
    if (folder == m_folders.end()) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(parent, error);
        folder = m_folders.emplace(parent, error ? parent : resolved.string()).first;
    }
    return (std::filesystem::path(folder->second) / absolute.filename()).string();
}

std::optional<std::uint32_t> TPlannedSource::KnownSeed(int index) const {
    if (index != 0) return std::nullopt;
    // A recipe's last link is drawn from its own seed.
    if (recipe) return recipe->links.back().seed;
    return seed;
}

int TRunPlan::TextureCount() const {
    int count = 0;
    for (const TPlannedSource& source : sources) count += source.count;
    return count;
}

std::string FileSafeName(std::string_view name) {
    std::string safe;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '_' || c == '-' || c == ' ';
        safe += kept ? char(c) : '_';
        // The continuation bytes of a UTF-8 sequence belong to its '_'.
        if (c >= 0xC0)
            while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) ++i;
    }
    const auto trim = [&safe] {
        safe.erase(0, std::min(safe.find_first_not_of(". "), safe.size()));
        safe.erase(std::min(safe.find_last_not_of(' ') + 1, safe.size()));
    };
    trim();
    if (safe.size() > MaxFileSafeName) {
        safe.resize(MaxFileSafeName);
        trim();
    }
    return safe;
}

std::string BatchFileOf(const TOptions& o, const TPlannedSource& source, int index,
                        std::optional<std::uint32_t> seed) {
    // {name} first: a name made safe holds no braces, so nothing in it reads as a field.
    std::string pattern = o.name;
    const std::string name = source.name.empty() ? "{seed}" : source.name;
    for (std::size_t at = pattern.find(NameField); at != std::string::npos;
         at = pattern.find(NameField, at + name.size()))
        pattern.replace(at, NameField.size(), name);
    const std::string effect = ParamValueText(GenParam(gpEffect), source.settings.effect);
    return o.folder + "/" +
           FileNameOf(pattern, source.firstIndex + index, seed, effect, source.settings.size) + "." +
           o.fileType();
}

std::variant<TRunPlan, TPlanFailure> PlanRun(const TOptions& o) {
    TRunPlan plan;
    if (o.recipesFile.empty()) {
        TPlannedSource& source = plan.sources.emplace_back();
        source.recipe = o.recipe;
        if (o.recipe) source.code = EncodeRecipe(*o.recipe);
        source.seed = o.seed;
        // With a recipe, its last link's settings; the links before it are drawn first.
        source.settings = o.recipe ? o.recipe->links.back().settings : o.settings;
        source.firstIndex = o.firstIndex;
        source.count = o.count;
    } else {
        plan.recipesFile = o.recipesFile == "-" ? "standard input" : o.recipesFile;
        auto sources = RecipeSources(o.recipesFile, plan.recipesFile);
        if (auto* failure = std::get_if<TPlanFailure>(&sources)) return *failure;
        plan.sources = std::move(std::get<std::vector<TPlannedSource>>(sources));
        if (o.name.find("{n}") == std::string::npos) {
            if (std::optional<TPlanFailure> shared = SharedFile(o, plan)) return *shared;
        }
    }

    if (!o.palette.empty()) {
        TPaletteResult palette = ResolvePalette(o.palette, o.paletteColors, ExecutableFolder());
        if (!palette.ok()) return Usage("--palette: " + palette.error);
        plan.sources.front().settings.palette = std::move(palette.palette);
    }

    plan.archive = o.brushes.empty() ? o.archive : BrushesPath(o.brushes);
    if (!o.brushes.empty() && plan.archive.empty())
        return Usage("--brushes: no brush set or archive file '" + o.brushes +
                     "' (installed: " + InstalledBrushSetNames(ExecutableFolder()) + ")");

    if (std::optional<TPlanFailure> collision = TraceCollision(o, plan)) return *collision;
    if (!o.force) {
        if (std::vector<std::string> existing = ExistingFiles(o, plan); !existing.empty()) {
            TPlanFailure failure{1, "File " + existing.front() + " exists; --force replaces it"};
            failure.existing = std::move(existing);
            return failure;
        }
    }
    return plan;
}

} // namespace vorn
