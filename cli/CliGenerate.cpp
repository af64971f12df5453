// pallimor-cli generate: textures from the command line with the window's defaults, the same
// random sequence, synthesis and export; a recipe code brings back a texture; optionally a
// trace of every drawing call and a JSON list of the textures made. The generation options
// come from the parameter table (gen/GenParams.h), the others from the tables below.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/Cli.h"
#include "engine/VornDef.h"
#include "export/TileExport.h"
#include "gen/BatchLoop.h"
#include "gen/GenSettings.h"
#include "gen/Generator.h"
#include "gen/Recipe.h"
#include "gen/TileTrace.h"

namespace {

using namespace vorn;

constexpr const char* Program = "pallimor-cli generate: ";

struct TOptions {
    TGenSettings settings;
    std::string settingsOption; // the first generation option given, for --recipe's usage error
    std::optional<std::uint32_t> seed;
    std::optional<TRecipe> recipe;
    int count = 1;
    std::string out;
    std::string folder;
    std::string type = "jpg";
    int quality = 95;
    std::string archive;
    std::string trace;
    bool json = false;
    bool quiet = false;
    bool help = false;
};

// A bad command line; the text names the option and what it accepts.
struct TUsageError {
    std::string text;
};

std::optional<long long> ParseInteger(std::string_view text, int base = 10) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

int IntegerIn(std::string_view option, std::string_view text, int low, int high) {
    const std::optional<long long> value = ParseInteger(text);
    if (!value || *value < low || *value > high) {
        throw TUsageError{std::string(option) + " accepts a whole number from " + std::to_string(low) +
                          " to " + std::to_string(high) + " (got '" + std::string(text) + "')"};
    }
    return static_cast<int>(*value);
}

// A generation parameter's value; a colour may also be written #RRGGBB.
int ParamOf(const TGenParam& param, std::string_view text) {
    const std::string_view digits = param.kind == pkColor && text.starts_with('#') ? text.substr(1) : text;
    const TParsedValue parsed = ParseParamValue(param, digits);
    if (parsed.error != TValueError::None) {
        const char* hash = param.kind == pkColor ? ", optionally after #" : "";
        throw TUsageError{std::string("--") + param.name + " accepts " + AcceptedValues(param) + hash +
                          " (got '" + std::string(text) + "')"};
    }
    return parsed.value;
}

std::uint32_t SeedOf(std::string_view text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::optional<long long> value = hex ? ParseInteger(text.substr(2), 16) : ParseInteger(text);
    if (!value || *value < 0 || *value > 0xFFFFFFFFll) {
        throw TUsageError{"--seed accepts a number from 0 to 4294967295, decimal or 0x-hex (got '" +
                          std::string(text) + "')"};
    }
    return static_cast<std::uint32_t>(*value);
}

std::string PathOf(const std::string& option, const std::string& value) {
    if (value.empty()) throw TUsageError{option + " needs a file or folder name"};
    return value;
}

// An option other than the generation parameters: how --help shows it and what it sets.
struct TCliOption {
    const char* name;     // without "--"
    const char* argument; // nullptr: the option takes no value
    const char* help;     // '\n' continues the text on the next line
    void (*apply)(TOptions& o, const std::string& option, const std::string& value);
};

constexpr const char* FileTypes[] = {"bmp", "png", "jpg"};

// Shown before the generation parameters.
constexpr TCliOption SourceOptions[] = {
    {"seed", "N", "random seed, decimal or 0x-hex (default: from the clock, printed on stderr)",
     [](TOptions& o, const std::string&, const std::string& v) { o.seed = SeedOf(v); }},
    {"recipe", "CODE",
     "make the texture of a recipe code, at its size and colour; excludes --seed\n"
     "and the generation options below",
     [](TOptions& o, const std::string& option, const std::string& v) {
         TRecipeDecoding decoded = DecodeRecipe(v);
         if (!decoded.ok()) throw TUsageError{option + ": " + decoded.error};
         o.recipe = std::move(decoded.recipe);
     }},
};

// Shown after the generation parameters.
constexpr TCliOption OutputOptions[] = {
    {"count", "N", "1..1000 textures continuing one random sequence (default 1)",
     [](TOptions& o, const std::string& option, const std::string& v) {
         o.count = IntegerIn(option, v, 1, 1000);
     }},
    {"out", "FILE",
     "write the texture to FILE: .bmp and .png as named, any other\n"
     "extension JPEG, none adds .bmp; one texture only",
     [](TOptions& o, const std::string& option, const std::string& v) { o.out = PathOf(option, v); }},
    {"folder", "DIR", "write the textures as DIR/image000.TYPE, image001.TYPE, ...",
     [](TOptions& o, const std::string& option, const std::string& v) { o.folder = PathOf(option, v); }},
    {"type", "bmp|png|jpg", "file type for --folder (default jpg)",
     [](TOptions& o, const std::string& option, const std::string& v) {
         const auto known = std::find(std::begin(FileTypes), std::end(FileTypes), v);
         if (known == std::end(FileTypes))
             throw TUsageError{option + " accepts bmp|png|jpg (got '" + v + "')"};
         o.type = v;
     }},
    {"quality", "N", "JPEG quality 1..100 (default 95)",
     [](TOptions& o, const std::string& option, const std::string& v) {
         o.quality = IntegerIn(option, v, 1, 100);
     }},
    {"archive", "FILE",
     "brush archive (default: vorn.dat in the current folder, then beside\n"
     "the program, then in the installed data folder)",
     [](TOptions& o, const std::string& option, const std::string& v) { o.archive = PathOf(option, v); }},
    {"trace", "FILE", "write every drawing call of the synthesis to FILE",
     [](TOptions& o, const std::string& option, const std::string& v) { o.trace = PathOf(option, v); }},
    {"json", nullptr, "print the textures as one JSON object on stdout: index, file, seed, recipe",
     [](TOptions& o, const std::string&, const std::string&) { o.json = true; }},
    {"quiet", nullptr, "print nothing but errors",
     [](TOptions& o, const std::string&, const std::string&) { o.quiet = true; }},
    {"help", nullptr, "show this text",
     [](TOptions& o, const std::string&, const std::string&) { o.help = true; }},
};

const TCliOption* FindCliOption(std::string_view name) {
    using TOptionList = std::span<const TCliOption>;
    for (const TOptionList options : {TOptionList(SourceOptions), TOptionList(OutputOptions)}) {
        for (const TCliOption& option : options) {
            if (name == option.name) return &option;
        }
    }
    return nullptr;
}

// "  --name ARGUMENT" in a column of 20, then the help; a longer head gets a line of its own.
void PrintOption(std::FILE* out, const std::string& head, std::string_view help) {
    constexpr std::size_t Column = 22;
    std::fputs(head.c_str(), out);
    std::size_t used = head.size();
    if (used + 2 > Column) {
        std::fputc('\n', out);
        used = 0;
    }
    for (std::size_t start = 0; start <= help.size();) {
        const std::size_t end = std::min(help.find('\n', start), help.size());
        std::fprintf(out, "%*s%.*s\n", static_cast<int>(Column - used), "", static_cast<int>(end - start),
                     help.data() + start);
        used = 0;
        start = end + 1;
    }
}

void PrintCliOptions(std::FILE* out, std::span<const TCliOption> options) {
    for (const TCliOption& option : options) {
        std::string head = std::string("  --") + option.name;
        if (option.argument) head += std::string(" ") + option.argument;
        PrintOption(out, head, option.help);
    }
}

void PrintUsage(std::FILE* out) {
    std::fputs("usage: pallimor-cli generate [options]\n"
               "Generates textures as the window's \"Generate\" does, with the window's defaults.\n"
               "\n",
               out);
    PrintCliOptions(out, SourceOptions);
    for (const TGenParam& param : GenParams) {
        const std::string argument = param.kind == pkList ? AcceptedValues(param) : param.argument;
        PrintOption(out, std::string("  --") + param.name + " " + argument,
                    std::string(param.help) + " (default " + ParamValueText(param, param.defaultValue) + ")");
    }
    PrintCliOptions(out, OutputOptions);
    std::fputs("\n"
               "Without --out or --folder nothing is written. Exit status: 0 done, 1 failed, 2 bad usage.\n",
               out);
}

TOptions Parse(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        std::optional<std::string> attached; // --option=value
        if (const std::size_t eq = option.find('='); option.rfind("--", 0) == 0 && eq != std::string::npos) {
            attached = option.substr(eq + 1);
            option.resize(eq);
        }
        if (option == "-h") option = "--help";
        const std::string_view name = option.rfind("--", 0) == 0 ? std::string_view(option).substr(2) : "";
        const TGenParam* param = FindGenParam(name);
        const TCliOption* cli = param ? nullptr : FindCliOption(name);
        if (!param && !cli) throw TUsageError{"unknown option '" + option + "' (see --help)"};

        std::string value;
        if (param || cli->argument) {
            if (!attached && i + 1 >= argc) throw TUsageError{option + " needs a value (see --help)"};
            value = attached ? *attached : argv[++i];
        } else if (attached && option != "--help") {
            throw TUsageError{option + " takes no value"};
        }
        if (param) {
            o.settings.SetValue(param->id, ParamOf(*param, value));
            if (o.settingsOption.empty()) o.settingsOption = option;
        } else {
            cli->apply(o, option, value);
        }
    }
    if (!o.out.empty() && !o.folder.empty()) throw TUsageError{"--out and --folder exclude each other"};
    if (!o.out.empty() && o.count != 1)
        throw TUsageError{"--out writes one texture; use --folder with --count"};
    if (o.recipe && o.seed) throw TUsageError{"--recipe and --seed exclude each other"};
    if (o.recipe && !o.settingsOption.empty())
        throw TUsageError{"--recipe fixes every generation setting; " + o.settingsOption +
                          " cannot be added"};
    if (o.json && o.quiet) throw TUsageError{"--json and --quiet exclude each other"};
    return o;
}

// The folder of the running program, for finding the archive beside it.
std::string ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

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
                std::optional<TRecipe> drawnOver)
        : TTraceSeeds(trace), m_generator(generator), m_options(options), m_previous(std::move(drawnOver)) {}

    void BeforeTexture(int number) override {
        TTraceSeeds::BeforeTexture(number);
        m_seed = random::Seed();
    }
    void Generated(int number) override {
        TTraceSeeds::Generated(number);
        if (!m_options.json) return;
        m_previous = NextRecipe(m_previous ? &*m_previous : nullptr, m_generator.Settings(), m_seed,
                                m_generator.TextureSize, m_generator.BackgroundColor);
        TTextureEntry& entry = Entries.emplace_back();
        entry.seed = m_seed;
        if (std::string code = EncodeRecipe(*m_previous); !code.empty()) entry.recipe = std::move(code);
    }
    void Written(int number) override {
        if (!Entries.empty())
            Entries.back().file = BatchFileName(m_options.folder, number - 1, m_options.type);
    }

    std::vector<TTextureEntry> Entries;

private:
    const TGenerator& m_generator;
    const TOptions& m_options;
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
        char seed[12];
        std::snprintf(seed, sizeof seed, "%08" PRIX32, e.seed);
        json += i > 0 ? ",{" : "{";
        json += "\"index\":" + std::to_string(i) + ",\"file\":" + (e.file ? JsonString(*e.file) : "null") +
                ",\"seed\":\"" + seed + "\",\"recipe\":" + (e.recipe ? JsonString(*e.recipe) : "null") + "}";
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

// A failure while running: the program's own message, one line on stderr.
int Fail(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
}

int Run(const TOptions& o) {
    // With a recipe, its last link's settings; the links before it are drawn first.
    const TGenSettings settings = o.recipe ? o.recipe->links.back().settings : o.settings;
    TGenerator generator(settings);
    generator.ComponentsInit();
    const TStartupResult startup = o.archive.empty()
                                       ? generator.Startup(nullptr, ArchiveCandidates(ExecutableFolder()))
                                       : generator.Startup(nullptr, o.archive);
    if (startup.failure != TStartupFailure::None) {
        return Fail(
            StartupFailureText(startup, o.archive.empty() ? std::string(ArchiveFileName) : o.archive));
    }
    // A texture without brushes is no texture: refuse before anything is written.
    if (!startup.archive.Complete())
        return Fail("Brush archive " + startup.archive.path + " holds " +
                    std::to_string(startup.archive.images) + " usable images; the generator needs " +
                    std::to_string(ArchiveImagesNeeded));
    generator.TextureSize = settings.size;
    generator.BackgroundColor = CanvasColorOfRgb(static_cast<std::uint32_t>(settings.bgColor));

    TTraceFile trace;
    if (!o.trace.empty()) {
        trace.file = std::fopen(o.trace.c_str(), "w");
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
        if (!o.json && !o.quiet) std::fprintf(stderr, "seed 0x%08" PRIX32 "\n", random::Seed());
    }
    const bool clearFirstTile = !drawnOver || drawnOver->links.empty();
    if (drawnOver && drawnOver->links.empty()) drawnOver.reset();

    TTextureLog log(trace.file, generator, o, std::move(drawnOver));
    if (!o.folder.empty()) {
        // As the batch dialog does: one level of folder is made when missing.
        std::error_code ignored;
        std::filesystem::create_directory(o.folder, ignored);
        TBatchOptions batch;
        batch.folder = o.folder;
        batch.fileType = o.type;
        batch.count = o.count;
        batch.jpegQuality = o.quality;
        batch.clearFirstTile = clearFirstTile;
        const TBatchResult result = RunBatch(generator, batch, log);
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
        if (!o.out.empty()) {
            const TExportResult result =
                TileExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                           generator.TextureSize, o.out, o.quality);
            if (!result.ok) return Fail(result.error);
            if (!log.Entries.empty()) log.Entries.back().file = result.writtenFile;
        }
    }
    if (trace.file && !trace.Close()) return Fail("Cannot write " + o.trace + ": the trace is incomplete");
    if (o.json) PrintJson(log.Entries);
    return 0;
}

} // namespace

int CliGenerate(int argc, char** argv) {
    TOptions options;
    try {
        options = Parse(argc, argv);
    } catch (const TUsageError& error) {
        std::fprintf(stderr, "%s%s\n", Program, error.text.c_str());
        return 2;
    }
    if (options.help) {
        PrintUsage(stdout);
        return 0;
    }
    return Run(options);
}
