// pallimor-cli generate: textures from the command line with the window's defaults, the same
// random sequence, synthesis and export; a recipe code brings back a texture; optionally a
// trace of every drawing call and a JSON list of the textures made. A run is planned first
// (cli/GeneratePlan: its sources, files and the existing-file check), then the generator is
// started once and every source of the plan produced. The options are read by
// cli/GenerateOptions.
#include <fcntl.h>
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
#include <system_error>
#include <variant>
#include <vector>

#include "PallimorVersion.h"
#include "cli/Cli.h"
#include "cli/GenerateOptions.h"
#include "cli/GeneratePlan.h"
#include "engine/VornCanvas.h"
#include "engine/VornDef.h"
#include "engine/soft/SoftHost.h"
#include "export/EmbeddedRecipe.h"
#include "export/TileExport.h"
#include "gen/ArchiveChoice.h"
#include "gen/BatchLoop.h"
#include "gen/DataSetRun.h"
#include "gen/GenSettings.h"
#include "gen/Generator.h"
#include "gen/JsonText.h"
#include "gen/OutputTexture.h"
#include "gen/Recipe.h"
#include "gen/SeedText.h"
#include "gen/SingleTexture.h"
#include "gen/TileTrace.h"
#include "io/FileBytes.h"
#include "io/LockedFile.h"
#include "io/SafeFile.h"
#include "io/TarStream.h"

namespace {

using namespace vorn;

constexpr const char* Program = "pallimor-cli generate: ";

using TOptions = TGenerateOptions;

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

// What --json tells of each texture, or of a --recipes line that could not be made.
struct TTextureEntry {
    int index = 0;                     // its number in the batch, from 0
    std::size_t line = 0;              // its --recipes line, from 1; 0: not from one
    std::uint32_t seed = 0;            // the random source before it
    std::optional<std::string> recipe; // none for a chain too long
    std::optional<std::string> file;   // none when not written
    std::optional<std::string> error;  // why it was not made
};

// Around each texture of one source: its trace seeds and, for --json and --embed-recipe, an entry
// with its seed, recipe and file, appended to entries.
class TTextureLog final : public TTraceSeeds {
public:
    TTextureLog(std::FILE* trace, const TOptions& options, const TPlannedSource& source,
                std::vector<TTextureEntry>& entries, TProgressLine* progress, int done)
        : TTraceSeeds(trace), m_options(options), m_source(source), m_entries(entries),
          m_first(entries.size()), m_progress(progress), m_done(done) {}

    // The seed before the texture drawn last.
    std::uint32_t Seed() const { return m_seed; }

    void Generated(int number) override {
        TTraceSeeds::Generated(number);
        if (m_progress) m_progress->Update(m_done + number);
    }
    void Drawn(int number, const TDrawnTexture& texture) override {
        m_seed = texture.seedBefore;
        if (!m_options.json && !m_options.embedRecipe) return;
        TTextureEntry& entry = m_entries.emplace_back();
        entry.index = m_source.firstIndex + number - 1;
        entry.line = m_source.line;
        entry.seed = m_seed;
        if (!texture.code.empty()) entry.recipe = texture.code;
    }
    // Written(number) may come after the next texture was generated: its entry is found by number.
    void Written(int number) override {
        if (TTextureEntry* entry = Entry(number))
            entry->file = BatchFileOf(m_options, m_source, number - 1, entry->seed);
    }

    // The entry of texture number (from 1) of this source; none without --json or --embed-recipe.
    TTextureEntry* Entry(int number) {
        const std::size_t at = m_first + std::size_t(number) - 1;
        return number >= 1 && at < m_entries.size() ? &m_entries[at] : nullptr;
    }
    // The recipe code of texture number to put into its file; empty without --embed-recipe.
    std::string RecipeOf(int number) {
        const TTextureEntry* entry = m_options.embedRecipe ? Entry(number) : nullptr;
        return entry ? entry->recipe.value_or(std::string()) : std::string();
    }

private:
    const TOptions& m_options;
    const TPlannedSource& m_source;
    std::vector<TTextureEntry>& m_entries;
    std::size_t m_first;       // the entry of this source's first texture
    TProgressLine* m_progress; // none: no progress shown
    int m_done;                // textures of the run before this source's
    std::uint32_t m_seed = 0;
};

// A failure while running: the program's own message, one line on stderr.
int Fail(const std::string& text) {
    std::fprintf(stderr, "%s\n", OneLine(text).c_str());
    return 1;
}

// A run refused before anything is drawn, as a usage error.
int Usage(const std::string& text) {
    std::fprintf(stderr, "%s%s\n", Program, OneLine(text).c_str());
    return 2;
}

// Text on standard output, flushed: 0, or 1 with the reason on stderr (a full device, a pipe
// closed).
int PrintOut(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) return 0;
    return Fail(std::string("Cannot write to standard output: ") + std::strerror(errno));
}

int PrintJson(const std::vector<TTextureEntry>& entries) {
    std::string json = "{\"textures\":[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TTextureEntry& e = entries[i];
        json += i > 0 ? ",{" : "{";
        json += "\"index\":" + std::to_string(e.index);
        if (e.line != 0) json += ",\"line\":" + std::to_string(e.line);
        json += ",\"file\":" + (e.file ? JsonString(*e.file) : "null") + ",\"seed\":\"" + SeedText(e.seed) +
                "\",\"recipe\":" + (e.recipe ? JsonString(*e.recipe) : "null");
        if (e.error) json += ",\"error\":" + JsonString(*e.error);
        json += "}";
    }
    json += "]}\n";
    return PrintOut(json);
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

// A line worth telling beside a success, on stderr once a run (not for every texture of a batch
// or of --recipes); none with --quiet.
void Note(const TOptions& o, const std::string& text) {
    static std::string told;
    if (text.empty() || o.quiet || text == told) return;
    told = text;
    std::fprintf(stderr, "%s\n", OneLine(text).c_str());
}

// The texture of generator to standard output in the format --type names; empty, or why not.
std::string WriteToStdout(const TGenerator& generator, const TOptions& o, const std::string& recipe) {
    TBitmap32 bitmap;
    const TExportFormat format = ExportFormatOfFile(o.fileType());
    if (!ReadOutputAs(generator, format, bitmap))
        return "Cannot write to stdout: reading the texture from the device failed";
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!EncodeExport(bitmap, format, o.jpegQuality(), bytes, &reason))
        return "Cannot write to stdout: " + reason;
    if (!recipe.empty()) EmbedRecipe(format, bytes, recipe);
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        return std::string("Cannot write to stdout: ") + std::strerror(errno);
    return {};
}

// Makes folder (and the folders above it): empty, or why it cannot be made.
std::string MakeFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error) return {};
    return "Cannot make the folder " + folder + ": " + std::generic_category().message(error.value());
}

// Starts generator with the plan's archive (or the one the search finds): 0, or the exit status.
int StartGenerator(const TRunPlan& plan, TGenerator& generator) {
    const std::string failed = StartHeadless(generator, plan.archive, ExecutableFolder());
    return failed.empty() ? 0 : Fail(failed);
}

// Draws and writes the textures of one source of the plan, their entries appended to entries;
// done: the run's textures before them. Empty, or why the source could not be made.
std::string Produce(const TOptions& o, const TRunPlan& plan, const TPlannedSource& source,
                    TGenerator& generator, std::FILE* trace, TProgressLine* progress, int done,
                    std::vector<TTextureEntry>& entries) {
    if (source.recipe) {
        if (std::string why = UseBrushesOf(*source.recipe, plan.archive, ExecutableFolder(), generator);
            !why.empty())
            return why;
    }
    // The first texture starts from a transparent tile, unless the recipe draws it over others.
    TDrawRequest first;
    first.settings = source.settings;
    first.recipe = source.recipe;
    first.seed = source.seed;
    TTraceSeeds seeds(trace);
    first.hooks = &seeds;
    if (!source.recipe && !source.seed) {
        random::Reseed();
        if (!o.json && !o.quiet) std::fprintf(stderr, "seed 0x%s\n", SeedText(random::Seed()).c_str());
    }

    TTextureLog log(trace, o, source, entries, progress, done);
    if (!o.folder.empty()) {
        if (std::string why = MakeFolder(o.folder); !why.empty()) return why;
        TBatchOptions batch;
        batch.folder = o.folder;
        batch.fileType = o.fileType();
        batch.count = source.count;
        batch.jpegQuality = o.jpegQuality();
        batch.first = first;
        batch.saveMode = o.force ? smReplace : smNoReplace; // also a file made since the plan's check
        batch.maps = o.maps;
        batch.fileName = [&](int number) { return BatchFileOf(o, source, number - 1, log.Seed()); };
        batch.recipe = [&](int number) { return log.RecipeOf(number); };
        const TBatchResult result = RunBatch(generator, batch, log);
        if (result.ok) Note(o, TransparencyNote(generator, ExportFormatOfFile(o.fileType())));
        return result.ok ? std::string() : result.error;
    }
    TDrawSequence sequence(generator, first, log);
    while (sequence.Number() < source.count)
        if (const TDrawnTexture& drawn = sequence.Next(); !drawn.ok()) return drawn.error;
    if (o.out == "-") {
        std::string failed = WriteToStdout(generator, o, log.RecipeOf(source.count));
        if (failed.empty()) Note(o, TransparencyNote(generator, ExportFormatOfFile(o.fileType())));
        return failed;
    }
    if (o.out.empty()) return {};
    const TExportResult result =
        ExportOutputTexture(generator, o.out, o.jpegQuality(), SystemFileWriter(),
                            o.force ? smReplace : smNoReplace, o.maps, log.RecipeOf(source.count));
    if (!result.ok) return result.error;
    Note(o, result.note);
    if (TTextureEntry* entry = log.Entry(source.count)) entry->file = result.writtenFile;
    return {};
}

// The run options ask for: planned, the generator started once, then every source produced. A
// --recipes line that cannot be made is reported with its line and the others are made.
int Run(const TOptions& o) {
    std::variant<TRunPlan, TPlanFailure> planned = PlanRun(o);
    if (const TPlanFailure* failure = std::get_if<TPlanFailure>(&planned)) {
        std::fprintf(stderr, "%s\n", OneLine(failure->text).c_str());
        // A caller that reads --json learns every file that would be replaced, to ask about.
        if (o.json && !failure->existing.empty()) {
            std::string json = "{\"textures\":[],\"existing\":[";
            for (std::size_t i = 0; i < failure->existing.size(); ++i) {
                if (i > 0) json += ',';
                json += JsonString(failure->existing[i]);
            }
            std::fputs((json + "]}\n").c_str(), stdout);
        }
        return failure->status;
    }
    const TRunPlan& plan = std::get<TRunPlan>(planned);

    TGenerator generator(plan.sources.front().settings);
    if (const int status = StartGenerator(plan, generator); status != 0) return status;

    TTraceFile trace;
    if (!o.trace.empty()) {
        // Without --force a file made since the plan's check is not replaced either.
        trace.file = OpenStreamForWriting(o.trace, o.force ? smReplace : smNoReplace);
        if (!trace.file && errno == EEXIST) return Fail("File " + o.trace + " exists; --force replaces it");
        if (!trace.file) return Fail("Cannot write " + o.trace + ": " + std::strerror(errno));
        WriteTraceHeader(trace.file);
    }
    // The generator writes into the trace while it is open, and no longer.
    struct TTraceAttach {
        TGenerator& generator;
        TTraceAttach(TGenerator& g, std::FILE* file) : generator(g) { generator.SetTrace(file); }
        ~TTraceAttach() { generator.SetTrace(nullptr); }
    } attach(generator, trace.file);

    const int total = plan.TextureCount();
    std::optional<TProgressLine> progress;
    if (total > 1 && !o.quiet && isatty(STDERR_FILENO)) progress.emplace(total);
    std::vector<TTextureEntry> entries;
    bool failed = false;
    int done = 0;
    std::vector<std::string> said; // warnings about an archive, each told once
    for (const TPlannedSource& source : plan.sources) {
        const std::size_t first = entries.size();
        std::string why =
            Produce(o, plan, source, generator, trace.file, progress ? &*progress : nullptr, done, entries);
        done += source.count;
        for (const TBadTwin& twin : generator.BadTwins()) {
            std::string text = BadTwinText(twin);
            if (std::find(said.begin(), said.end(), text) != said.end()) continue;
            if (progress) progress->Finish();
            std::fprintf(stderr, "%s%s\n", Program, OneLine(text).c_str());
            said.push_back(std::move(text));
        }
        if (why.empty()) continue;
        if (progress) progress->Finish();
        if (source.line == 0) return Fail(why);
        // A --recipes line: one line naming it, an entry with the reason, and on to the next.
        std::fprintf(stderr, "%s\n",
                     OneLine(Program + std::string("--recipes: line ") + std::to_string(source.line) +
                             " of " + plan.recipesFile + ": " + why)
                         .c_str());
        failed = true;
        if (!o.json) continue;
        if (entries.size() == first) {
            TTextureEntry& entry = entries.emplace_back();
            entry.index = source.firstIndex;
            entry.line = source.line;
            entry.seed = source.KnownSeed(0).value_or(0);
            entry.recipe = source.code;
        }
        entries.back().file.reset();
        entries.back().error = why;
    }
    if (progress) progress->Finish();
    if (trace.file && !trace.Close()) return Fail("Cannot write " + o.trace + ": the trace is incomplete");
    if (o.json && PrintJson(entries) != 0) return 1;
    return failed ? 1 : 0;
}

// The tar members of one texture, WebDataset's way: KEY.EXT for the texture, KEY.height.png and
// the like for the files beside it, KEY.json for its manifest line, each with the file it holds
// (none for the line). KEY is the texture's file name without its extension, its dots made '_'.
std::vector<std::pair<std::string, std::string>> TarMembers(const TDataSetTexture& texture) {
    const std::filesystem::path first(texture.files.front());
    const std::string stem = first.stem().string();
    std::string key = stem;
    std::replace(key.begin(), key.end(), '.', '_');
    std::vector<std::pair<std::string, std::string>> members;
    for (const std::string& file : texture.files) {
        std::string rest = std::filesystem::path(file).filename().string();
        rest = rest.starts_with(stem) ? rest.substr(stem.size()) : "." + rest;
        if (!rest.empty() && (rest[0] == '_' || rest[0] == '.')) rest.erase(0, 1);
        members.emplace_back(key + "." + rest, file);
    }
    members.emplace_back(key + ".json", std::string());
    return members;
}

bool AddToTar(TTarStream& tar, const TDataSetTexture& texture, const std::string& line) {
    for (const auto& [name, file] : TarMembers(texture)) {
        std::vector<std::uint8_t> bytes;
        if (file.empty())
            bytes.assign(line.begin(), line.end());
        else if (ReadFileBytes(file, std::size_t(1) << 31, bytes) != 0)
            return false;
        if (!tar.Add(name, bytes.data(), bytes.size())) return false;
    }
    return true;
}

// The hidden temporary files a killed run may have left for the names of textures, removed
// (only regular files named as SafeFile names them).
class TStrayTemporaries {
public:
    explicit TStrayTemporaries(const std::string& folder) : m_folder(folder) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 8 && name[0] == '.' && name[name.size() - 7] == '.') m_found.emplace_back(name);
        }
    }
    // Removes those left for file.
    void Remove(const std::string& file) {
        if (m_found.empty()) return;
        const std::string pattern = std::filesystem::path(SafeFileTemplate(file)).filename().string();
        const std::string_view head = std::string_view(pattern).substr(0, pattern.size() - 6);
        for (const std::string& name : m_found) {
            if (!name.starts_with(head) || name.size() != pattern.size()) continue;
            const std::filesystem::path path = std::filesystem::path(m_folder) / name;
            std::error_code error;
            if (std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::regular)
                std::filesystem::remove(path, error);
        }
    }

private:
    std::string m_folder;
    std::vector<std::string> m_found;
};

// The most bytes a manifest may hold: a million lines of a few KiB.
constexpr std::size_t MaxManifestBytes = std::size_t(1) << 32;

// A data set (--shard, --vary, --manifest, --resume, --tar): the run's textures in range, each
// written, then its manifest line appended and its tar members added.
int RunDataSetCli(const TOptions& o) {
    const TTextureRange whole{0, o.count};
    const TTextureRange shard = o.shard ? ShardRange(o.count, o.shard->first, o.shard->count) : whole;
    std::uint32_t runSeed = 0;
    if (o.seed) {
        runSeed = *o.seed;
    } else {
        random::Reseed();
        runSeed = random::Seed();
        if (!o.json && !o.quiet) std::fprintf(stderr, "seed 0x%s\n", SeedText(runSeed).c_str());
    }
    // The plan checks the shard's files (all of them the resumed run may replace).
    TOptions planned = o;
    planned.firstIndex = shard.first;
    planned.count = shard.count;
    planned.force = o.force || o.resume;
    if (shard.first > 0) planned.seed.reset(); // {seed} names are looked for, not known
    std::variant<TRunPlan, TPlanFailure> planning = PlanRun(planned);
    if (const TPlanFailure* failure = std::get_if<TPlanFailure>(&planning)) {
        // Files of an earlier run of the same manifest: most likely one that was stopped.
        if (!failure->existing.empty() && !o.manifest.empty())
            return Fail("File " + failure->existing.front() +
                        " exists; --resume takes its run up again, --force replaces it");
        std::fprintf(stderr, "%s\n", OneLine(failure->text).c_str());
        return failure->status;
    }
    const TRunPlan& plan = std::get<TRunPlan>(planning);
    const TPlannedSource& source = plan.sources.front();
    std::error_code ignored;
    if (!o.force && !o.resume) {
        if (!o.manifest.empty() &&
            std::filesystem::exists(std::filesystem::symlink_status(o.manifest, ignored)))
            return Fail("File " + o.manifest +
                        " exists; --resume takes its run up again, --force replaces it");
        if (!o.tar.empty() && o.tar != "-" &&
            std::filesystem::exists(std::filesystem::symlink_status(o.tar, ignored)))
            return Fail("File " + o.tar + " exists; --force replaces it");
    }

    TGenerator generator(source.settings);
    if (const int status = StartGenerator(plan, generator); status != 0) return status;

    TDataSetOptions run;
    run.total = o.count;
    run.range = shard;
    run.runSeed = runSeed;
    run.base = source.settings;
    run.vary = o.vary;
    run.jpegQuality = o.jpegQuality();
    run.maps = o.maps;
    // A name is replaced itself, never what a link planted there points to.
    run.saveMode = o.force || o.resume ? smReplaceEntry : smNoReplace;
    run.embedRecipe = o.embedRecipe;
    run.fileName = [&](int index, std::uint32_t seed, const TGenSettings& settings) {
        TPlannedSource named = source;
        named.firstIndex = 0;
        named.settings = settings;
        return BatchFileOf(o, named, index, seed);
    };

    // Before anything is drawn: no texture's file may be the manifest or the tar, and every tar
    // member name must fit.
    TPathKeys keys;
    const std::string manifestKey = o.manifest.empty() ? std::string() : keys.Of(o.manifest);
    const std::string tarKey = o.tar.empty() || o.tar == "-" ? std::string() : keys.Of(o.tar);
    if (!manifestKey.empty() && manifestKey == tarKey)
        return Usage("--manifest and --tar name one file, " + o.tar);
    {
        // The shard's seeds are walked to once, for every step below.
        TSeedWalk seeds(run);
        std::vector<std::uint32_t> shardSeeds;
        shardSeeds.reserve(static_cast<std::size_t>(shard.count));
        for (int index = shard.first; index < shard.first + shard.count; ++index)
            shardSeeds.push_back(seeds.SeedBefore(index));
        run.seeds = std::move(shardSeeds);
        run.seedsFirst = shard.first;
        for (int index = shard.first; index < shard.first + shard.count; ++index) {
            const TDataSetTexture texture = PlannedTexture(
                run, index, run.seeds[std::size_t(index - shard.first)], generator.BrushSetHash);
            for (const std::string& file : texture.files) {
                const std::string key = keys.Of(file);
                if (key == manifestKey) return Usage("--manifest " + o.manifest + " is a texture's file");
                if (key == tarKey) return Usage("--tar " + o.tar + " is a texture's file");
            }
            if (o.tar.empty()) continue;
            for (const auto& member : TarMembers(texture))
                if (member.first.size() > TTarStream::MaxName)
                    return Usage("--tar: the member name " + member.first + " is longer than " +
                                 std::to_string(TTarStream::MaxName) + " bytes; shorten --name");
        }
    }
    if (std::string why = MakeFolder(o.folder); !why.empty()) return Fail(why);

    // The manifest, locked for the run: an earlier run's leading lines that this run would write
    // as they are, files included, are kept; the rest is cut away.
    TTextureRange range = shard;
    const std::string manifestFolder =
        o.manifest.empty() ? o.folder : std::filesystem::path(o.manifest).parent_path().string();
    TLockedFile manifest;
    if (!o.manifest.empty()) {
        const TLockedFile::TOpen how = o.resume  ? TLockedFile::loExisting
                                       : o.force ? TLockedFile::loEmptied
                                                 : TLockedFile::loNew;
        if (std::string why = manifest.Open(o.manifest, how); !why.empty())
            return Fail(o.manifest + " " + why);
    }
    if (o.resume) {
        std::string content;
        if (std::string why = manifest.Read(MaxManifestBytes, content); !why.empty())
            return Fail(o.manifest + " " + why);
        TSeedWalk seeds(run);
        TResumeCheck check;
        check.first = shard.first;
        check.count = shard.count;
        check.planned = [&](int index) {
            return PlannedTexture(run, index, seeds.SeedBefore(index), generator.BrushSetHash);
        };
        check.folder = manifestFolder;
        check.version = PallimorVersion;
        const TResumePoint point = ResumePointOf(content, check);
        if (point.foreign) {
            std::fprintf(stderr, "%s--resume: %s is not this run's manifest (%s); it was left as it is\n",
                         Program, OneLine(o.manifest).c_str(), OneLine(point.why).c_str());
            return 2;
        }
        if (!point.why.empty() && !o.quiet)
            std::fprintf(stderr, "%s--resume: %s %s; made again from there\n", Program,
                         OneLine(o.manifest).c_str(), OneLine(point.why).c_str());
        if (point.past > 0 && !o.quiet)
            std::fprintf(stderr, "%s--resume: %s: %d line%s after this run's last texture cut\n", Program,
                         OneLine(o.manifest).c_str(), point.past, point.past == 1 ? "" : "s");
        if (point.bytes < content.size()) {
            if (const int error = manifest.Truncate(point.bytes); error != 0)
                return Fail("Cannot write " + o.manifest + ": " + std::strerror(error));
        }
        range.first += point.lines;
        range.count -= point.lines;
        if (!o.quiet && !o.json)
            std::fprintf(stderr, "%d textures kept, %d to make\n", point.lines, range.count);
    }
    if (o.resume || o.force) {
        TStrayTemporaries stray(o.folder);
        TSeedWalk seeds(run);
        for (int index = range.first; index < range.first + range.count; ++index)
            for (const std::string& file :
                 PlannedTexture(run, index, seeds.SeedBefore(index), generator.BrushSetHash).files)
                stray.Remove(file);
    }
    std::optional<TTarStream> tar;
    if (!o.tar.empty()) {
        tar.emplace(o.tar, o.force);
        if (!tar->ok()) return Fail(tar->errorString());
    }

    std::optional<TProgressLine> progress;
    if (range.count > 1 && !o.quiet && isatty(STDERR_FILENO)) progress.emplace(range.count);
    std::vector<TTextureEntry> entries;
    run.range = range;
    run.made = [&](const TDataSetTexture& texture) -> std::string {
        const std::string line = ManifestLine(texture, manifestFolder, PallimorVersion);
        if (manifest.IsOpen()) {
            if (const int error = manifest.Append(line); error != 0)
                return "Cannot write " + o.manifest + ": " + std::strerror(error);
        }
        if (tar && !AddToTar(*tar, texture, line)) return tar->errorString();
        if (o.json) {
            TTextureEntry& entry = entries.emplace_back();
            entry.index = texture.index;
            entry.seed = texture.seed;
            entry.recipe = texture.recipe;
            entry.file = texture.files.front();
        }
        if (progress) progress->Update(texture.index - range.first + 1);
        return {};
    };
    const TDataSetResult result = RunDataSet(generator, run);
    if (progress) progress->Finish();
    if (!result.ok) return Fail(result.error);
    if (tar && !tar->Close()) return Fail(tar->errorString());
    if (const int error = manifest.Close(); error != 0)
        return Fail("Cannot write " + o.manifest + ": " + std::strerror(error));
    Note(o, TransparencyNote(generator, ExportFormatOfFile(o.fileType())));
    if (o.json) return PrintJson(entries);
    return 0;
}

} // namespace

std::string OneLine(std::string_view text) {
    constexpr std::size_t Limit = 400;
    std::string line;
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
            line += escaped;
        } else {
            line += c;
        }
    }
    if (line.size() <= Limit) return line;
    std::size_t cut = Limit - 3;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
        --cut; // a whole UTF-8 character
    return line.substr(0, cut) + "...";
}

std::string ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

int CliGenerate(int argc, char** argv) {
    TOptions options;
    try {
        options = ParseGenerateOptions(argc, argv);
        if (!options.help) ApplyPresetOption(options, ExecutableFolder());
    } catch (const TUsageError& error) {
        std::fprintf(stderr, "%s%s\n", Program, OneLine(error.text).c_str());
        return 2;
    }
    if (options.help) {
        PrintGenerateUsage(stdout);
        return 0;
    }
    if (options.threads) sd::SetRasterThreads(*options.threads);
    return options.DataSet() ? RunDataSetCli(options) : Run(options);
}
