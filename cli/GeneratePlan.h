// The plan of a `pallimor-cli generate` run, made before anything is drawn: the sources of its
// textures (the settings from a seed, a recipe, or every recipe of a --recipes file), the files
// they go to, the archive asked for, and the check that none of those files exists yet. The run
// then starts the generator once and produces the plan (cli/CliGenerate.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "cli/GenerateOptions.h"
#include "gen/GenSettings.h"
#include "gen/Recipe.h"

namespace vorn {

// One source of textures: count textures continuing one random sequence, numbered in the batch
// from firstIndex on.
struct TPlannedSource {
    std::size_t line = 0;              // its line in the --recipes file, from 1; 0: not from one
    std::optional<TRecipe> recipe;     // none: settings drawn from seed
    std::string code;                  // the recipe's code as given; empty without a recipe
    std::optional<std::uint32_t> seed; // without a recipe: --seed (none: one from the clock)
    TGenSettings settings;             // with a recipe, its last link's
    std::string name;                  // what {name} stands for; empty: the texture's seed
    int firstIndex = 0;
    int count = 1;

    // The seed before texture index of this source when it is known before drawing.
    std::optional<std::uint32_t> KnownSeed(int index) const;
};

struct TRunPlan {
    std::vector<TPlannedSource> sources; // in the order they are made
    std::string archive;                 // the archive --archive or --brushes names; empty: the search
    std::string recipesFile;             // --recipes' file as messages name it
    int TextureCount() const;
};

// Why a run cannot be made: its exit status (1 failed, 2 bad usage) and one line for stderr.
struct TPlanFailure {
    TPlanFailure(int status, std::string text) : status(status), text(std::move(text)) {}
    int status = 1;
    std::string text;
    std::vector<std::string> existing; // the files that exist already, when that is why
};

// The plan of the run options ask for, with every file it writes checked: none may exist yet
// (unless --force), and with --recipes no two recipes may give one file.
std::variant<TRunPlan, TPlanFailure> PlanRun(const TGenerateOptions& options);

// The file texture index (from 0) of source goes to in --folder, without the maps beside it;
// seed: the seed before it, none when not yet known ("{seed}" is then left in the name).
std::string BatchFileOf(const TGenerateOptions& options, const TPlannedSource& source, int index,
                        std::optional<std::uint32_t> seed);

// Paths as a run compares them with the others it writes: absolute, their folder's links
// resolved. Each folder is resolved once, however many files of it are asked for.
class TPathKeys {
public:
    std::string Of(const std::string& path);

private:
    std::map<std::string, std::string> m_folders; // absolute folder -> resolved
};

// A name as a part of a file name: every character other than A-Z, a-z, 0-9, '.', '_', '-' and
// space becomes '_' (a UTF-8 sequence one '_'), without leading dots or surrounding spaces, at
// most MaxFileSafeName bytes; empty when nothing is left.
inline constexpr std::size_t MaxFileSafeName = 100;
std::string FileSafeName(std::string_view name);

} // namespace vorn
