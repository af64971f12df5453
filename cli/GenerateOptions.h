// The command line of `pallimor-cli generate`: its options as tables (the generation parameters
// come from gen/GenParams.h, the others from the tables here), the parser and the --help text.
// The man page and the bash completion are drawn from the same tables (tools/mkmanual.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/ExportFormats.h"
#include "export/MaterialMaps.h"
#include "gen/BatchLoop.h"
#include "gen/DataSetRun.h"
#include "gen/GenSettings.h"
#include "gen/OptionValues.h"
#include "gen/Recipe.h"
#include "gen/TextureOptions.h"

namespace vorn {

// The texture's options (gen/TextureOptions.h), then the command line's own.
struct TGenerateOptions : TTextureOptions {
    std::string recipesFile; // --recipes: a favourites file, "-" for standard input; read when run
    int firstIndex = 0;      // the batch number of the first texture written, from 0
    int count = 1;
    std::string countText; // --count as given, for the batch's own limit
    std::string out;    // after parsing: the file written (".TYPE" added when it had no extension),
                        // "-" for standard output, or empty
    std::string folder; // the batch's folder, or empty
    std::string name;   // the batch's file name pattern, without the extension
    std::optional<std::string> type;
    std::optional<int> quality;
    std::string archive;
    std::string brushes; // an installed brush set's name or an archive file; resolved when run
    std::string trace;
    bool force = false;
    std::optional<int> threads; // rasteriser threads; none: the environment's or one per core
    bool json = false;
    bool embedRecipe = false; // each PNG or JPEG file carries its texture's recipe code
    bool quiet = false;
    bool help = false;
    // A data set: shard k of n (from 0), the parameters drawn afresh for each texture (true in
    // vary: the parameter keeps its value), the manifest, resumption and the tar stream.
    std::optional<TTextureRange> shard; // first: k, count: n
    std::string shardText;              // --shard as given
    std::optional<TParamLocks> vary;
    std::vector<std::string> locked; // --lock's parameters, applied once all options are read
    std::string manifest;
    bool resume = false;
    std::string tar; // "-": standard output

    bool DataSet() const { return shard || vary || !manifest.empty() || resume || !tar.empty(); }

    // For --folder and --out -.
    std::string fileType() const { return type.value_or(ExportFileTypes[DefaultExportType].extension); }
    int jpegQuality() const { return quality.value_or(DefaultJpegQuality); }
};

// An option other than the generation parameters: how --help shows it and what it sets.
struct TCliOption {
    const char* name;     // without "--"
    const char* argument; // nullptr: the option takes no value
    const char* help;     // '\n' continues the text on the next line
    TCompletion completion;
    const char* words; // coWords: the values, separated by '|'
    void (*apply)(TGenerateOptions& o, const std::string& option, const std::string& value);
    // A texture option's row (apply is then none).
    const TTextureOption* texture = nullptr;
};

// Shown before the generation parameters, and after them.
std::span<const TCliOption> SourceOptions();
std::span<const TCliOption> OutputOptions();

// The fields of a --name pattern: the batch's (gen/BatchLoop.h), then {name}.
std::span<const TNameField> GenerateNameFields();

// argv[0] is the command's name. Throws TUsageError.
TGenerateOptions ParseGenerateOptions(int argc, char** argv);

// Whether a command-line argument that names no file was meant as one: it holds a '/', or a
// '.' but no '=' (recipe codes hold both '.' and '=').
bool LooksLikePath(std::string_view argument);

// The recipe code an argument gives: itself, or the code written into the image file it names
// (one that exists, or is missing but LooksLikePath). Empty, with why set ("FILE: no such file",
// "FILE holds no recipe (...)"), for a file without one.
std::string RecipeCodeOfArgument(const std::string& argument, std::string& why);

void PrintGenerateUsage(std::FILE* out);

} // namespace vorn
