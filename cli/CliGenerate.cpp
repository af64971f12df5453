// pallimor-cli generate: textures from the command line with the window's defaults, the same
// random sequence, synthesis and export; a recipe code brings back a texture; optionally a
// trace of every drawing call and a JSON list of the textures made. The generation options
// and the others are read by cli/GenerateOptions.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/Cli.h"
#include "cli/GenerateOptions.h"
#include "engine/VornDef.h"
#include "engine/soft/SoftHost.h"
#include "export/EmbeddedRecipe.h"
#include "export/TileExport.h"
#include "gen/BatchLoop.h"
#include "gen/Favourites.h"
#include "gen/GenParams.h"
#include "gen/GenSettings.h"
#include "gen/Generator.h"
#include "gen/OutputTexture.h"
#include "gen/Recipe.h"
#include "gen/SeedText.h"
#include "gen/TileTrace.h"
#include "io/FileBytes.h"
#include "io/SafeFile.h"

namespace {

using namespace vorn;

constexpr const char* Program = "pallimor-cli generate: ";

using TOptions = TGenerateOptions;

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

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
}

// The files a run writes. A batch name with {seed} is known only once its texture is generated,
// so before the run every file the pattern could give for that number counts as taken.
class TOutputNames {
public:
    TOutputNames(const TOptions& options, const TGenSettings& settings)
        : m_options(options), m_effect(ParamValueText(GenParam(gpEffect), settings.effect)),
          m_size(settings.size) {}

    std::string Batch(int index, std::optional<std::uint32_t> seed) const {
        return m_options.folder + "/" +
               FileNameOf(m_options.name, m_options.firstIndex + index, seed, m_effect, m_size) + "." +
               m_options.fileType();
    }

    // The first file the run would replace, in the order of writing; none: nothing is replaced.
    std::optional<std::string> FirstExisting() const {
        if (!m_options.trace.empty() && Exists(m_options.trace)) return m_options.trace;
        if (!m_options.out.empty() && m_options.out != "-") {
            for (const std::string& name : ExportedFileNames(m_options.out, m_options.maps))
                if (Exists(name)) return name;
        }
        if (m_options.folder.empty()) return std::nullopt;
        if (m_options.name.find("{seed}") == std::string::npos) {
            for (int index = 0; index < m_options.count; ++index) {
                for (const std::string& name : ExportedFileNames(Batch(index, std::nullopt), m_options.maps))
                    if (Exists(name)) return name;
            }
            return std::nullopt;
        }
        std::vector<std::string> present;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(m_options.folder, error))
            present.push_back(entry.path().filename().string());
        std::sort(present.begin(), present.end());
        for (int index = 0; index < m_options.count; ++index) {
            for (const std::string& file : ExportedFileNames(Batch(index, std::nullopt), m_options.maps)) {
                const std::string pattern = std::filesystem::path(file).filename().string();
                for (const std::string& name : present) {
                    if (MatchesSeeded(name, pattern)) return m_options.folder + "/" + name;
                }
            }
        }
        return std::nullopt;
    }

private:
    const TOptions& m_options;
    std::string m_effect;
    int m_size;
};

std::string Clock(std::chrono::steady_clock::duration duration) {
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

// A batch's progress on stderr, one line rewritten after each texture: n / N, the time since the
// start and the time left at the pace so far.
class TProgressLine {
public:
    explicit TProgressLine(int count) : m_count(count), m_start(std::chrono::steady_clock::now()) {}

    void Update(int done) {
        const auto elapsed = std::chrono::steady_clock::now() - m_start;
        const auto left = elapsed / done * (m_count - done);
        std::fprintf(stderr, "\r%d / %d  elapsed %s  left %s\x1b[K", done, m_count, Clock(elapsed).c_str(),
                     Clock(left).c_str());
        std::fflush(stderr);
        m_shown = true;
    }
    // Ends the line, so that what follows starts on a line of its own.
    void Finish() {
        if (m_shown) std::fputc('\n', stderr);
        m_shown = false;
    }

private:
    int m_count;
    std::chrono::steady_clock::time_point m_start;
    bool m_shown = false;
};

// Writes the random seed before and after each texture's block of the trace.
class TTraceSeeds : public TBatchHooks {
public:
    explicit TTraceSeeds(std::FILE* trace) : m_trace(trace) {}
    void BeforeTexture(int) override { WriteTraceSeed(m_trace, "seed-before", random::Seed()); }
    void Generated(int) override { WriteTraceSeed(m_trace, "seed-after", random::Seed()); }

private:
    std::FILE* m_trace;
};

// What --json tells of each texture.
struct TTextureEntry {
    std::uint32_t seed = 0;            // the random source before it
    std::optional<std::string> recipe; // none for a chain too long
    std::optional<std::string> file;   // none when not written
};

// Around each texture: its trace seeds and, for --json, its seed, recipe and file.
class TTextureLog final : public TTraceSeeds {
public:
    TTextureLog(std::FILE* trace, const TGenerator& generator, const TOptions& options,
                const TOutputNames& names, TProgressLine* progress, std::optional<TRecipe> drawnOver)
        : TTraceSeeds(trace), m_generator(generator), m_options(options), m_names(names),
          m_progress(progress), m_previous(std::move(drawnOver)) {}

    // The seed before the texture last begun.
    std::uint32_t Seed() const { return m_seed; }

    void BeforeTexture(int number) override {
        TTraceSeeds::BeforeTexture(number);
        m_seed = random::Seed();
    }
    void Generated(int number) override {
        TTraceSeeds::Generated(number);
        if (m_progress) m_progress->Update(number);
        if (!m_options.json && !m_options.embedRecipe) return;
        m_previous =
            NextRecipe(m_previous ? &*m_previous : nullptr, m_generator.Settings(), m_seed,
                       m_generator.TextureSize, m_generator.BackgroundColor, m_generator.BrushSetHash);
        TTextureEntry& entry = Entries.emplace_back();
        entry.seed = m_seed;
        if (std::string code = EncodeRecipe(*m_previous); !code.empty()) entry.recipe = std::move(code);
    }
    // Written(number) may come after the next texture was generated: its entry is found by number.
    void Written(int number) override {
        if (number < 1 || std::size_t(number) > Entries.size()) return;
        TTextureEntry& entry = Entries[std::size_t(number) - 1];
        entry.file = m_names.Batch(number - 1, entry.seed);
    }

    // The recipe code of texture number (from 1) to put into its file; empty without --embed-recipe.
    std::string RecipeOf(int number) const {
        if (!m_options.embedRecipe || number < 1 || std::size_t(number) > Entries.size()) return {};
        return Entries[std::size_t(number) - 1].recipe.value_or(std::string());
    }

    std::vector<TTextureEntry> Entries;

private:
    const TGenerator& m_generator;
    const TOptions& m_options;
    const TOutputNames& m_names;
    TProgressLine* m_progress;         // none: no progress shown
    std::optional<TRecipe> m_previous; // the chain the next texture is drawn over
    std::uint32_t m_seed = 0;
};

// A JSON string: quotes, backslashes and control characters escaped; other bytes as they are.
std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + '"';
}

void PrintJson(const std::vector<TTextureEntry>& entries) {
    std::string json = "{\"textures\":[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TTextureEntry& e = entries[i];
        json += i > 0 ? ",{" : "{";
        json += "\"index\":" + std::to_string(i) + ",\"file\":" + (e.file ? JsonString(*e.file) : "null") +
                ",\"seed\":\"" + SeedText(e.seed) +
                "\",\"recipe\":" + (e.recipe ? JsonString(*e.recipe) : "null") + "}";
    }
    json += "]}\n";
    std::fputs(json.c_str(), stdout);
}

// Closes the trace file; a trace that could not be written completely is an error.
struct TTraceFile {
    std::FILE* file = nullptr;
    ~TTraceFile() {
        if (file) std::fclose(file);
    }
    bool Close() {
        const bool ok = std::ferror(file) == 0;
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        return ok && closed;
    }
};

// The archive --brushes names: a file, else the installed set of that name; empty: neither.
std::string BrushesPath(const std::string& brushes) {
    if (std::error_code error; std::filesystem::is_regular_file(brushes, error)) return brushes;
    for (const TBrushSet& set : InstalledBrushSets(ExecutableFolder()))
        if (set.name == brushes) return set.path;
    return {};
}

// A failure while running: the program's own message, one line on stderr.
int Fail(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
}

// The texture of generator to standard output in the format --type names.
int WriteToStdout(const TGenerator& generator, const TOptions& o, const std::string& recipe) {
    TBitmap32 bitmap;
    if (!ReadOutputTexture(generator, bitmap))
        return Fail("Cannot write to stdout: reading the texture from the device failed");
    const TExportFormat format = ExportFormatOfFile(o.fileType());
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!EncodeExport(bitmap, format, o.jpegQuality(), bytes, &reason))
        return Fail("Cannot write to stdout: " + reason);
    if (!recipe.empty()) EmbedRecipe(format, bytes, recipe);
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        return Fail(std::string("Cannot write to stdout: ") + std::strerror(errno));
    return 0;
}

// Starts generator with the archive o names (or the installed one): 0, or the exit status.
int StartGenerator(const TOptions& o, TGenerator& generator, std::string& archive) {
    generator.ComponentsInit();
    archive = o.brushes.empty() ? o.archive : BrushesPath(o.brushes);
    if (!o.brushes.empty() && archive.empty()) {
        std::string names;
        for (const TBrushSet& set : InstalledBrushSets(ExecutableFolder()))
            names += (names.empty() ? "" : ", ") + set.name;
        std::fprintf(stderr, "%s--brushes: no brush set or archive file '%s' (installed: %s)\n", Program,
                     o.brushes.c_str(), names.c_str());
        return 2;
    }
    const TStartupResult startup = archive.empty()
                                       ? generator.Startup(nullptr, ArchiveCandidates(ExecutableFolder()))
                                       : generator.Startup(nullptr, archive);
    if (startup.failure != TStartupFailure::None) {
        return Fail(StartupFailureText(startup, archive.empty() ? std::string(ArchiveFileName) : archive));
    }
    // A texture without brushes is no texture: refuse before anything is written.
    if (!startup.archive.Complete()) return Fail(IncompleteArchiveText(startup.archive));
    return 0;
}

// Makes o's textures; with started, on that generator (started by an earlier run when it has
// been), else on one of its own.
int Run(const TOptions& o, TGenerator* started = nullptr) {
    // With a recipe, its last link's settings; the links before it are drawn first.
    const TGenSettings settings = o.recipe ? o.recipe->links.back().settings : o.settings;
    const TOutputNames names(o, settings);
    if (!o.force) {
        if (const std::optional<std::string> existing = names.FirstExisting())
            return Fail("File " + *existing + " exists; --force replaces it");
    }

    std::optional<TGenerator> own;
    TGenerator& generator = started ? *started : own.emplace(settings);
    std::string archive = o.brushes.empty() ? o.archive : BrushesPath(o.brushes);
    if (generator.StartupIncomplete) { // not yet started by an earlier run
        if (const int status = StartGenerator(o, generator, archive); status != 0) return status;
    }
    generator.SetSettings(settings);
    // A shared generator outlives this run's trace file.
    struct TTraceDetach {
        TGenerator& generator;
        ~TTraceDetach() { generator.SetTrace(nullptr); }
    } detach{generator};
    // A recipe names its brush set: the installed one of that name is used unless an archive was
    // asked for; another set would make another texture.
    if (o.recipe && o.recipe->brushes != generator.BrushSetHash) {
        const std::string installed =
            archive.empty() ? FindBrushSet(ExecutableFolder(), o.recipe->brushes) : "";
        if (installed.empty() || !generator.LoadBrushes(installed).Complete())
            return Fail("Recipe made with brushes " + SeedText(o.recipe->brushes) + "; this archive is " +
                        SeedText(generator.BrushSetHash));
    }

    generator.TextureSize = settings.size;
    generator.BackgroundColor = CanvasColorOfRgb(static_cast<std::uint32_t>(settings.bgColor));

    TTraceFile trace;
    if (!o.trace.empty()) {
        // Without --force a file made since the check above is not replaced either.
        trace.file = OpenStreamForWriting(o.trace, o.force ? smReplace : smNoReplace);
        if (!trace.file && errno == EEXIST) return Fail("File " + o.trace + " exists; --force replaces it");
        if (!trace.file) return Fail("Cannot write " + o.trace + ": " + std::strerror(errno));
        generator.SetTrace(trace.file);
        WriteTraceHeader(trace.file);
    }

    // The first texture starts from a transparent tile, unless the recipe draws it over others.
    std::optional<TRecipe> drawnOver;
    if (o.recipe) {
        TTraceSeeds seeds(trace.file);
        PrepareRecipe(generator, *o.recipe, &seeds);
        drawnOver = *o.recipe;
        drawnOver->links.pop_back();
    } else if (o.seed) {
        random::SetSeed(*o.seed);
    } else {
        random::Reseed();
        if (!o.json && !o.quiet) std::fprintf(stderr, "seed 0x%s\n", SeedText(random::Seed()).c_str());
    }
    const bool clearFirstTile = !drawnOver || drawnOver->links.empty();
    if (drawnOver && drawnOver->links.empty()) drawnOver.reset();

    std::optional<TProgressLine> progress;
    if (o.count > 1 && !o.quiet && isatty(STDERR_FILENO)) progress.emplace(o.count);
    TTextureLog log(trace.file, generator, o, names, progress ? &*progress : nullptr, std::move(drawnOver));
    if (!o.folder.empty()) {
        // A folder that cannot be made shows as its first file failing to be written.
        std::error_code ignored;
        std::filesystem::create_directories(o.folder, ignored);
        TBatchOptions batch;
        batch.folder = o.folder;
        batch.fileType = o.fileType();
        batch.count = o.count;
        batch.jpegQuality = o.jpegQuality();
        batch.clearFirstTile = clearFirstTile;
        batch.saveMode = o.force ? smReplace : smNoReplace; // also a file made since the check above
        batch.maps = o.maps;
        batch.fileName = [&](int number) { return names.Batch(number - 1, log.Seed()); };
        batch.recipe = [&](int number) { return log.RecipeOf(number); };
        const TBatchResult result = RunBatch(generator, batch, log);
        if (progress) progress->Finish();
        if (!result.ok) return Fail(result.error);
    } else {
        for (int number = 1; number <= o.count; ++number) {
            log.BeforeTexture(number);
            if (number == 1 && clearFirstTile) {
                generator.FirstRender();
            } else {
                generator.Generate();
            }
            log.Generated(number);
        }
        if (progress) progress->Finish();
        if (o.out == "-") {
            if (const int status = WriteToStdout(generator, o, log.RecipeOf(o.count)); status != 0)
                return status;
        } else if (!o.out.empty()) {
            const TExportResult result =
                ExportOutputTexture(generator, o.out, o.jpegQuality(), SystemFileWriter(),
                                    o.force ? smReplace : smNoReplace, o.maps, log.RecipeOf(o.count));
            if (!result.ok) return Fail(result.error);
            if (!log.Entries.empty()) log.Entries.back().file = result.writtenFile;
        }
    }
    if (trace.file && !trace.Close()) return Fail("Cannot write " + o.trace + ": the trace is incomplete");
    if (o.json) PrintJson(log.Entries);
    return 0;
}

// --recipes: every recipe of the file, one run each, numbered as one batch.
int RunRecipes(const TOptions& o) {
    const std::string& file = o.recipesFile;
    std::vector<std::uint8_t> bytes;
    if (const int error = ReadFileBytes(file == "-" ? "/dev/stdin" : file, MaxFavouritesBytes, bytes);
        error != 0)
        return Fail("Cannot read " + file + ": " + std::strerror(error));
    const TFavouritesText parsed =
        ParseFavourites({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    if (!parsed.notRecipes.empty()) {
        const TFavouriteLine& bad = parsed.notRecipes.front();
        std::fprintf(stderr, "%s--recipes: line %zu of %s is not a recipe: %s\n", Program, bad.number,
                     file.c_str(), bad.error.c_str());
        return 2;
    }
    if (parsed.favourites.empty()) return Fail(file + " holds no recipe");
    if (parsed.favourites.size() > 1 && o.name.find("{n}") == std::string::npos) {
        std::fprintf(stderr, "%s--name needs {n} for more than one recipe (got '%s')\n", Program,
                     o.name.c_str());
        return 2;
    }
    // One generator for them all: started once, it takes each recipe's brush set as needed.
    const TGenSettings none;
    TGenerator generator(none);
    for (std::size_t i = 0; i < parsed.favourites.size(); ++i) {
        TOptions one = o;
        one.recipesFile.clear();
        one.recipe = DecodeRecipe(parsed.favourites[i].code).recipe;
        one.firstIndex = static_cast<int>(i);
        if (const int status = Run(one, &generator); status != 0) return status;
    }
    return 0;
}

} // namespace

std::string ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

int CliGenerate(int argc, char** argv) {
    TOptions options;
    try {
        options = ParseGenerateOptions(argc, argv);
    } catch (const TUsageError& error) {
        std::fprintf(stderr, "%s%s\n", Program, error.text.c_str());
        return 2;
    }
    if (options.help) {
        PrintGenerateUsage(stdout);
        return 0;
    }
    if (options.threads) sd::SetRasterThreads(*options.threads);
    return options.recipesFile.empty() ? Run(options) : RunRecipes(options);
}
