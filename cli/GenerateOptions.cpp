#include "cli/GenerateOptions.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "export/EmbeddedRecipe.h"
#include "export/MaterialSets.h"
#include "export/TileExport.h"
#include "gen/GenParams.h"
#include "gen/OptionValues.h"
#include "gen/Randomize.h"

namespace vorn {

namespace {

using TOptions = TGenerateOptions;

std::string PathOf(const std::string& option, const std::string& value) {
    if (value.empty()) throw TUsageError{option + " needs a file or folder name"};
    return value;
}

// "a, b, c or d": items as the texts below list them.
std::string Joined(const std::vector<std::string>& items, std::string_view separator, std::string_view last) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? last : separator;
        text += items[i];
    }
    return text;
}

// The extensions of ExportFileTypes, each after prefix; with aliases, each alias after its type.
std::vector<std::string> Extensions(std::string_view prefix, bool aliases) {
    std::vector<std::string> names;
    for (const TExportFileType& type : ExportFileTypes) {
        names.push_back(std::string(prefix) + type.extension);
        if (aliases && type.alias) names.push_back(std::string(prefix) + type.alias);
    }
    return names;
}

// "bmp|png|jpg": --type's values.
const std::string TypeWords = Joined(Extensions("", false), "|", "|");
// ".bmp, .png, .jpg or .jpeg": the extensions --out accepts.
const std::string OutExtensions = Joined(Extensions(".", true), ", ", " or ");
// The batch's fields and one of the command line's own.
const std::vector<TNameField> NameFieldTable = [] {
    std::vector<TNameField> fields(NameFields().begin(), NameFields().end());
    fields.push_back({"{name}", "the name after a --recipes line's code, characters other than letters, "
                                "digits, '.', '_', '-' and space made '_', at most 100 bytes; the seed as "
                                "{seed} gives it when the line has none"});
    return fields;
}();
// "{n}, {seed}, {effect}, {size} and {name}": the placeholders --name knows.
const std::string NameFieldList = [] {
    std::vector<std::string> fields;
    for (const TNameField& field : NameFieldTable) fields.emplace_back(field.field);
    return Joined(fields, ", ", " and ");
}();

const std::string CountHelp = RangeText(MinBatchCount, MaxBatchCount) +
                              " textures continuing one random sequence (default 1); up to " +
                              std::to_string(MaxDataSetCount) + "\nwith --shard, --vary, --manifest or --tar";
const std::string OutHelp = "write the texture to FILE: " + OutExtensions + " in any case; without an\n" +
                            "extension --type's (default ." + ExportFileTypes[BareNameExportType].extension +
                            "); - writes to stdout in --type's format";
const std::string NameHelp = std::string("file names in --folder (default ") + DefaultBatchPattern +
                             "): {n} the number, {seed} the seed\n"
                             "in hex, {effect}, {size}, {name} a --recipes line's name; with --count\n"
                             "above 1 it needs {n}";
const std::string TypeHelp = std::string("file type of --folder (default ") +
                             ExportFileTypes[DefaultExportType].extension +
                             "), --out - and --out FILE without extension";
const std::string QualityHelp = "JPEG quality " + RangeText(MinJpegQuality, MaxJpegQuality) + " (default " +
                                std::to_string(DefaultJpegQuality) + ")";

constexpr TCliOption SourceOptionTable[] = {
    {"seed", "N", "random seed, decimal or 0x-hex (default: from the clock, printed on stderr)", coNone,
     nullptr, [](TOptions& o, const std::string&, const std::string& v) { o.seed = SeedOf(v); }},
    {"recipe", "CODE|FILE",
     "make the texture of a recipe code, at its size and colour, or of the code in a file\n"
     "written with --embed-recipe; excludes --seed and the generation options below",
     coFile, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) {
         std::string why;
         const std::string code = RecipeCodeOfArgument(v, why);
         if (!why.empty()) throw TUsageError{option + ": " + why};
         TRecipeDecoding decoded = DecodeRecipe(code);
         if (!decoded.ok()) throw TUsageError{option + ": " + decoded.error};
         o.recipe = std::move(decoded.recipe);
     }},
    {"recipes", "FILE|-",
     "make the texture of every recipe in FILE (- for standard input), one code a line\n"
     "with its name after it as the window keeps its favourites; numbered in --folder, named\n"
     "with --name {name}; a recipe that cannot be drawn is named by its line, the rest are made",
     coFile, nullptr, [](TOptions& o, const std::string&, const std::string& v) { o.recipesFile = v; }},
};

// "bg-color,effect,...": the parameters --vary and --lock name.
const std::string VaryNames = [] {
    std::string names;
    for (const TGenParam& param : GenParams)
        if (Randomizable(param.id)) names += (names.empty() ? "" : ",") + std::string(param.name);
    return names;
}();
const std::string VaryHelp = "draw new values for each texture, as Randomize does, from the run's seed\n"
                             "and the texture's number: all, or any of " +
                             VaryNames + "\n(the recipe of each remakes it)";

// --vary's or --lock's list: each a Randomizable parameter's name, set in chosen.
void ParamList(const std::string& option, const std::string& value, bool allowAll, TParamLocks& chosen) {
    if (allowAll && value == "all") {
        for (const TGenParam& param : GenParams) chosen[param.id] = Randomizable(param.id);
        return;
    }
    for (std::size_t start = 0; start <= value.size();) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        const TGenParam* param = FindGenParam(std::string_view(value).substr(start, comma - start));
        if (!param || !Randomizable(param->id))
            throw TUsageError{option + " accepts " + (allowAll ? "all or " : "") +
                              "parameters separated by commas from " + VaryNames + " (got '" + value + "')"};
        chosen[param->id] = true;
        start = comma + 1;
    }
}

// The shard number a job array gives its task: the first of these that is set.
std::optional<int> ShardFromEnvironment() {
    for (const char* name : {"SLURM_ARRAY_TASK_ID", "JOB_COMPLETION_INDEX", "AWS_BATCH_JOB_ARRAY_INDEX"}) {
        const char* value = std::getenv(name);
        if (!value) continue;
        // Task numbers beyond a run's count are refused before any arithmetic, so that none overflows.
        const auto number = [](const char* variable, const char* text) {
            const std::optional<long long> n = ParseInteger(text);
            if (!n || *n < 0 || *n > MaxDataSetCount)
                throw TUsageError{std::string("--shard auto: ") + variable + " is not a shard number (got '" +
                                  text + "')"};
            return *n;
        };
        long long k = number(name, value);
        // Slurm numbers its tasks from --array's first index.
        if (const char* min = std::getenv("SLURM_ARRAY_TASK_MIN"); min && name[0] == 'S') {
            const long long low = number("SLURM_ARRAY_TASK_MIN", min);
            if (k < low)
                throw TUsageError{std::string("--shard auto: SLURM_ARRAY_TASK_ID ") + value +
                                  " is below SLURM_ARRAY_TASK_MIN " + min};
            k -= low;
        }
        return static_cast<int>(k);
    }
    return std::nullopt;
}

// --shard K/N or auto/N: K from 0 to N - 1.
void SetShard(TOptions& o, const std::string& option, const std::string& value) {
    const std::size_t slash = value.find('/');
    const auto fail = [&] {
        return TUsageError{option + " accepts K/N or auto/N, K from 0 to N - 1 and N from 1 to " +
                           std::to_string(MaxDataSetCount) + " (got '" + value + "')"};
    };
    if (slash == std::string::npos) throw fail();
    const std::optional<long long> n = ParseInteger(std::string_view(value).substr(slash + 1));
    if (!n || *n < 1 || *n > MaxDataSetCount) throw fail();
    std::optional<long long> k;
    if (value.substr(0, slash) == "auto") {
        const std::optional<int> task = ShardFromEnvironment();
        if (!task)
            throw TUsageError{option + " auto: none of SLURM_ARRAY_TASK_ID, JOB_COMPLETION_INDEX and "
                                       "AWS_BATCH_JOB_ARRAY_INDEX is set"};
        k = *task;
        if (*k >= *n)
            throw TUsageError{option + " auto: the task's shard " + std::to_string(*k) + " is not below " +
                              std::to_string(*n)};
    } else {
        k = ParseInteger(std::string_view(value).substr(0, slash));
        if (!k || *k < 0 || *k >= *n) throw fail();
    }
    o.shard = TTextureRange{static_cast<int>(*k), static_cast<int>(*n)};
    o.shardText = value;
}

// The row of a texture option, as the command line lists it.
TCliOption Shared(std::string_view name) {
    const TTextureOption& row = *FindTextureOption(name);
    return {row.name, row.argument, row.help, row.completion, row.words, nullptr, &row};
}

// Not constexpr: some texts are built from the values above.
const TCliOption OutputOptionTable[] = {
    Shared("preset"),
    Shared("layers"),
    Shared("palette"),
    Shared("palette-colors"),
    {"count", "N", CountHelp.c_str(), coNone, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) {
         o.count = IntegerIn(option, v, MinBatchCount, MaxDataSetCount);
         o.countText = v;
     }},
    {"out", "FILE", OutHelp.c_str(), coFile, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) { o.out = PathOf(option, v); }},
    {"folder", "DIR", "write the textures as DIR/image000.TYPE, image001.TYPE, ...; makes DIR", coFolder,
     nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) { o.folder = PathOf(option, v); }},
    {"name", "PATTERN", NameHelp.c_str(), coNone, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) { o.name = PathOf(option, v); }},
    {"type", TypeWords.c_str(), TypeHelp.c_str(), coWords, TypeWords.c_str(),
     [](TOptions& o, const std::string& option, const std::string& v) {
         if (!ExportFileTypeOf(v)) throw TUsageError{option + " accepts " + TypeWords + " (got '" + v + "')"};
         o.type = v;
     }},
    {"quality", "N", QualityHelp.c_str(), coNone, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) {
         o.quality = IntegerIn(option, v, MinJpegQuality, MaxJpegQuality);
     }},
    Shared("maps"),
    Shared("material"),
    Shared("metallic"),
    Shared("ao-radius"),
    Shared("map-format"),
    Shared("roughness"),
    Shared("normal-strength"),
    Shared("height-blur"),
    Shared("height-from"),
    Shared("normal-y"),
    Shared("normal-filter"),
    {"shard", "K/N",
     "make only part K (from 0) of N of the run: textures\n"
     "count * K / N .. count * (K + 1) / N - 1, each file as the whole run makes it; auto/N takes K\n"
     "from SLURM_ARRAY_TASK_ID (less SLURM_ARRAY_TASK_MIN), JOB_COMPLETION_INDEX or\n"
     "AWS_BATCH_JOB_ARRAY_INDEX; needs --seed",
     coNone, nullptr, SetShard},
    {"vary", "all|LIST", VaryHelp.c_str(), coNone, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) {
         TParamLocks varied{};
         ParamList(option, v, true, varied);
         TParamLocks locks{};
         for (const TGenParam& param : GenParams) locks[param.id] = !varied[param.id];
         o.vary = locks;
     }},
    {"lock", "LIST", "parameters --vary leaves at their values, separated by commas", coNone, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) {
         TParamLocks chosen{};
         ParamList(option, v, false, chosen);
         for (const TGenParam& param : GenParams)
             if (chosen[param.id]) o.locked.emplace_back(param.name);
     }},
    {"manifest", "FILE",
     "write one JSON line per texture as its files are written: file_name, index, seed,\n"
     "recipe, every parameter, maps, sha256 of each file, version (an ImageFolder's\n"
     "metadata.jsonl when FILE is in --folder); shards' manifests join in shard order",
     coFile, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) { o.manifest = PathOf(option, v); }},
    {"resume", nullptr,
     "go on with an earlier run of the same command: the textures of --manifest's whole\n"
     "lines whose files still match their sha256 are kept, the rest are made",
     coNone, nullptr, [](TOptions& o, const std::string&, const std::string&) { o.resume = true; }},
    {"tar", "FILE|-",
     "also write each texture's files and its manifest line as KEY.png, KEY.json, ... (WebDataset)\n"
     "into a tar stream, - for standard output, as the textures finish",
     coFile, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) { o.tar = PathOf(option, v); }},
    {"force", nullptr, "replace existing files (without it nothing is written when one exists)", coNone,
     nullptr, [](TOptions& o, const std::string&, const std::string&) { o.force = true; }},
    {"archive", "FILE",
     "brush archive (default: the first vorn.dat holding all ten brush images,\n"
     "looking in the current folder, beside the program, then in the data folder)",
     coFile, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) { o.archive = PathOf(option, v); }},
    {"brushes", "NAME|FILE",
     "brush set: an installed one by name (pallimor-cli archive list: default, ink, shapes)\n"
     "or an archive file; excludes --archive",
     coFile, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) { o.brushes = PathOf(option, v); }},
    {"trace", "FILE", "write every drawing call of the synthesis to FILE", coFile, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) { o.trace = PathOf(option, v); }},
    {"threads", "N",
     "rasteriser threads 1..64 (default: the PALLIMOR_THREADS environment variable, else one per\n"
     "core); the textures are the same for any count",
     coNone, nullptr,
     [](TOptions& o, const std::string& option, const std::string& v) {
         o.threads = IntegerIn(option, v, 1, 64);
     }},
    {"embed-recipe", nullptr,
     "put each texture's recipe code into its PNG or JPEG file (a text chunk, a comment);\n"
     "pallimor-cli recipe FILE reads it back",
     coNone, nullptr, [](TOptions& o, const std::string&, const std::string&) { o.embedRecipe = true; }},
    {"json", nullptr,
     "print the textures as one JSON object on stdout: index, file, seed, recipe; with\n"
     "--recipes also each line and, for a recipe not made, its error",
     coNone, nullptr, [](TOptions& o, const std::string&, const std::string&) { o.json = true; }},
    {"quiet", nullptr, "print nothing but errors (no seed line, no progress)", coNone, nullptr,
     [](TOptions& o, const std::string&, const std::string&) { o.quiet = true; }},
    {"help", nullptr, "show this text", coNone, nullptr,
     [](TOptions& o, const std::string&, const std::string&) { o.help = true; }},
};

const TCliOption* FindCliOption(std::string_view name) {
    for (const std::span<const TCliOption> options : {SourceOptions(), OutputOptions()}) {
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

// A --name pattern: no folder, only known placeholders, and distinct names for the batch.
void CheckNamePattern(const TOptions& o) {
    if (o.name.find('/') != std::string::npos)
        throw TUsageError{"--name gives file names in --folder and cannot contain '/' (got '" + o.name +
                          "')"};
    bool numbered = false;
    for (std::size_t open = o.name.find('{'); open != std::string::npos; open = o.name.find('{', open + 1)) {
        const std::size_t close = o.name.find('}', open);
        const std::string field =
            close == std::string::npos ? o.name.substr(open) : o.name.substr(open, close - open + 1);
        const auto known =
            std::ranges::find_if(NameFieldTable, [&](const TNameField& f) { return field == f.field; });
        if (known == NameFieldTable.end())
            throw TUsageError{"--name knows " + NameFieldList + " (got '" + field + "')"};
        numbered = numbered || field == "{n}";
    }
    // {seed} alone is no proof of distinct names: two textures of a batch may start from one seed.
    if (o.count > 1 && !numbered)
        throw TUsageError{"--name needs {n} with --count above 1, or the textures would share names (got '" +
                          o.name + "')"};
}

// Rules between options, checked once all are read.
void CheckCombinations(TOptions& o) {
    // A batch keeps its limit; only a data set numbers more.
    if (o.count > MaxBatchCount && !o.DataSet())
        IntegerIn("--count", o.countText, MinBatchCount, MaxBatchCount);
    if (!o.out.empty() && !o.folder.empty()) throw TUsageError{"--out and --folder exclude each other"};
    if (!o.out.empty() && o.count != 1)
        throw TUsageError{"--out writes one texture; use --folder with --count"};
    if (!o.recipesFile.empty()) {
        if (o.folder.empty()) throw TUsageError{"--recipes writes one file per recipe into --folder"};
        if (o.recipe || o.seed || !o.settingsOption.empty() || o.count != 1)
            throw TUsageError{"--recipes fixes every texture; --recipe, --seed, --count and the "
                              "generation options cannot be added"};
    }
    if (o.recipe && !o.settingsOption.empty())
        throw TUsageError{"--recipe fixes every generation setting; " + o.settingsOption +
                          " cannot be added"};
    if (o.json && o.quiet) throw TUsageError{"--json and --quiet exclude each other"};
    if (!o.archive.empty() && !o.brushes.empty())
        throw TUsageError{"--archive and --brushes exclude each other"};
    if (o.out.empty() && o.folder.empty()) {
        if (o.type) throw TUsageError{"--type applies only with --out or --folder"};
        if (o.quality) throw TUsageError{"--quality applies only with --out or --folder"};
    }
    if (!o.name.empty() && o.folder.empty()) throw TUsageError{"--name applies only with --folder"};
    if (o.out.empty() && o.folder.empty() && !o.json && o.trace.empty())
        throw TUsageError{"nothing to write: give --out FILE, --out - or --folder DIR"};
    const bool set = o.maps.material != TMaterialSet::None;
    const std::string mapsOption = set ? o.materialOption : "--maps";
    if (o.maps.Any() && o.out.empty() && o.folder.empty())
        throw TUsageError{mapsOption + " applies only with --out or --folder"};
    if (o.maps.Any() && o.out == "-")
        throw TUsageError{mapsOption + " writes files beside the texture, not with --out -"};
    CheckTextureOptions(o);
    if (!o.locked.empty() && !o.vary) throw TUsageError{"--lock applies only with --vary"};
    for (const std::string& name : o.locked) (*o.vary)[FindGenParam(name)->id] = true;
    if (o.DataSet()) {
        const char* what = o.shard               ? "--shard"
                           : o.vary              ? "--vary"
                           : !o.manifest.empty() ? "--manifest"
                           : o.resume            ? "--resume"
                                                 : "--tar";
        if (o.folder.empty())
            throw TUsageError{std::string(what) + " makes a numbered set of files in --folder"};
        if (o.recipe || !o.recipesFile.empty())
            throw TUsageError{std::string(what) +
                              " draws textures from --seed; --recipe and --recipes cannot be added"};
        if (!o.trace.empty()) throw TUsageError{std::string(what) + " and --trace exclude each other"};
        // A kept tile chains every texture to all before it: no shard could start on its own.
        if (o.settings.image != 0)
            throw TUsageError{std::string(what) +
                              " makes each texture on its own tile; --image keep cannot be added"};
        if ((o.shard || o.resume) && !o.seed)
            throw TUsageError{std::string(o.shard ? "--shard" : "--resume") +
                              " needs --seed, so that every run draws the same textures"};
        if (o.resume && o.manifest.empty())
            throw TUsageError{"--resume needs the --manifest of the earlier run"};
        if (o.resume && !o.tar.empty()) throw TUsageError{"--resume and --tar exclude each other"};
        if (o.tar == "-" && o.json) throw TUsageError{"--tar - and --json both write to stdout"};
    }
    if (!o.folder.empty()) {
        if (o.name.empty()) o.name = DefaultBatchPattern;
        CheckNamePattern(o);
    }

    // The format written: --folder and "-" by --type, a file by its extension (or --type without one).
    const TExportFileType* format = ExportFileTypeOf(o.fileType());
    if (o.out == "-") {
        if (!o.type) throw TUsageError{"--out - needs --type to name the format"};
        if (o.json) throw TUsageError{"--out - and --json both write to stdout"};
    } else if (!o.out.empty()) {
        const std::string_view extension = ExportExtension(o.out);
        if (extension.empty()) {
            if (!o.type) format = &ExportFileTypes[BareNameExportType];
            o.out += std::string(".") + format->extension;
        } else {
            if (o.type)
                throw TUsageError{"--type cannot change the format of " + o.out + ", its extension names it"};
            format = ExportFileTypeOfFile(extension.substr(1));
            if (!format)
                throw TUsageError{"--out accepts " + OutExtensions + " in any case, or no extension (got '" +
                                  o.out + "')"};
        }
    }
    if (o.maps.material == TMaterialSet::Gltf && format->format == TExportFormat::Bmp)
        throw TUsageError{"--material gltf needs a PNG or JPEG texture, not " +
                          std::string(format->extension)};
    if (o.quality && format->format != TExportFormat::Jpeg)
        throw TUsageError{std::string("--quality applies only to JPEG files, not to ") + format->extension};
}

} // namespace

std::span<const TCliOption> SourceOptions() {
    return SourceOptionTable;
}

std::span<const TCliOption> OutputOptions() {
    return OutputOptionTable;
}

std::span<const TNameField> GenerateNameFields() {
    return NameFieldTable;
}

bool LooksLikePath(std::string_view argument) {
    return argument.find('/') != std::string_view::npos ||
           (argument.find('.') != std::string_view::npos && argument.find('=') == std::string_view::npos);
}

std::string RecipeCodeOfArgument(const std::string& argument, std::string& why) {
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::symlink_status(argument, error).type();
    // A name too long for a file (a code of many colours, say) is no file: type none, not not_found.
    const bool exists =
        type != std::filesystem::file_type::not_found && error != std::errc::filename_too_long;
    if (!exists && !LooksLikePath(argument)) return argument;
    const TFileRecipe read = ReadRecipeOfFile(argument);
    if (read.error != 0)
        why = read.reason;
    else if (!read.code)
        why = argument + " holds no recipe (generate --embed-recipe writes one)";
    return read.code.value_or(std::string());
}

TGenerateOptions ParseGenerateOptions(int argc, char** argv) {
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
            ApplyGenParam(o, *param, option, value);
        } else if (cli->texture) {
            cli->texture->apply(o, option, value);
        } else {
            cli->apply(o, option, value);
        }
    }
    if (!o.help) CheckCombinations(o);
    return o;
}

void PrintGenerateUsage(std::FILE* out) {
    std::fputs("usage: pallimor-cli generate [options]\n"
               "Generates textures as the window's \"Generate\" does, with the window's defaults.\n"
               "\n",
               out);
    PrintCliOptions(out, SourceOptions());
    for (const TGenParam& param : GenParams) {
        const std::string argument = param.kind == pkList ? AcceptedValues(param) : param.argument;
        PrintOption(out, std::string("  --") + param.name + " " + argument,
                    std::string(param.help) + " (default " + ParamValueText(param, param.defaultValue) + ")");
    }
    PrintCliOptions(out, OutputOptions());
    std::fputs("\n"
               "Without --out or --folder nothing is written (then --json or --trace is needed); an\n"
               "existing file is never replaced without --force. With --recipes a recipe that cannot\n"
               "be drawn is reported with its line and the others are made. Exit status: 0 done,\n"
               "1 failed, 2 bad usage.\n",
               out);
}

} // namespace vorn
