// Data-set runs: a numbered batch of any length cut into contiguous shards, each texture's
// parameters optionally drawn afresh from the run's seed, one manifest line per texture, and a
// run taken up again after the manifest's last whole line. Every texture continues the one random
// sequence of vorn::random as a batch does; a shard or a resumed run reaches its first texture by
// running the synthesis of the ones before without drawing (SeedAfter), which consumes exactly
// their draws. Each texture is drawn over a cleared tile ("Keep" chains are not made). No Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/MaterialMaps.h"
#include "gen/GenSettings.h"
#include "gen/Randomize.h"
#include "io/SafeFile.h"

namespace vorn {

class TGenerator;

// The most textures one data-set run may number.
inline constexpr int MaxDataSetCount = 1000000;

// Textures first .. first + count - 1 of a run.
struct TTextureRange {
    int first = 0;
    int count = 0;
};

// Shard k (from 0) of n of a run of total textures: [total * k / n, total * (k + 1) / n).
TTextureRange ShardRange(int total, int k, int n);

// The settings of texture index: base, or with vary, base's unlocked Randomizable parameters
// drawn as Randomize draws them from a generator of their own seeded by (runSeed, index), so
// that every shard agrees and vorn::random's sequence is not touched.
TGenSettings TextureSettings(const TGenSettings& base, const std::optional<TParamLocks>& vary,
                             std::uint32_t runSeed, int index);

// One texture made (or kept), as its manifest line tells it.
struct TDataSetTexture {
    int index = 0;
    std::uint32_t seed = 0; // the random source before it
    TGenSettings settings;
    std::string recipe;              // its recipe code
    std::vector<std::string> files;  // the texture's file, then its maps' and material's
    std::vector<std::string> sha256; // of each file
};

struct TDataSetOptions {
    int total = 1;                   // textures in the whole run
    TTextureRange range;             // those this run makes
    std::uint32_t runSeed = 0;       // the random source before texture 0
    TGenSettings base;               // the settings given (size, colour, palette and the rest)
    std::optional<TParamLocks> vary; // true: the parameter keeps base's value
    int jpegQuality = 95;
    TMapOptions maps;
    TSaveMode saveMode = smNoReplace;
    bool embedRecipe = false;
    // The texture's file for index, seed and settings.
    std::function<std::string(int index, std::uint32_t seed, const TGenSettings& settings)> fileName;
    // The seeds before textures seedsFirst, seedsFirst + 1, ... when the caller has walked to
    // them already (see TSeedWalk); others are walked to from runSeed.
    std::vector<std::uint32_t> seeds;
    int seedsFirst = 0;
    // Told each texture once its files are whole; a non-empty answer (why) ends the run.
    std::function<std::string(const TDataSetTexture& texture)> made;
};

struct TDataSetResult {
    bool ok = true;
    std::string error;
    int made = 0;
};

// The seed before each texture of a run: vorn::random stepped from runSeed through the textures
// before it without drawing them. Indexes asked for must not decrease.
class TSeedWalk {
public:
    explicit TSeedWalk(const TDataSetOptions& options) : m_options(options), m_seed(options.runSeed) {}
    std::uint32_t SeedBefore(int index);

private:
    const TDataSetOptions& m_options;
    int m_index = 0;
    std::uint32_t m_seed;
};

// Texture index as the run will make it, known before drawing: its seed, settings, recipe (drawn
// with the brush set brushes) and files; no sha256 yet.
TDataSetTexture PlannedTexture(const TDataSetOptions& options, int index, std::uint32_t seed,
                               std::uint32_t brushes);

// Steps vorn::random from runSeed through textures 0 .. range.first - 1 without drawing them,
// then draws and writes range's textures in order. The random source is left after the last.
TDataSetResult RunDataSet(TGenerator& generator, const TDataSetOptions& options);

// The manifest's line of texture (ending in '\n'): file_name relative to folder (the manifest's),
// index, seed, recipe, every parameter by its table name, the maps' and material's files, the
// sha256 of each file and the program's version.
std::string ManifestLine(const TDataSetTexture& texture, const std::string& folder,
                         const std::string& version);

// What of an earlier run's manifest a resumed run keeps: the leading lines that are, byte for
// byte, the lines this run would write for its textures first, first + 1, ... (files of the same
// sha256 included), at most count of them.
struct TResumeCheck {
    int first = 0;
    int count = 0;
    std::function<TDataSetTexture(int index)> planned; // asked in increasing order
    std::string folder;                                // the manifest's
    std::string version;
};
struct TResumePoint {
    int lines = 0;         // kept
    std::size_t bytes = 0; // the bytes they take
    // Why the first line not kept is not ("line 4: made with seed 00000001, this run has
    // 00000002"); empty when every line was kept or lines stopped only at the run's end.
    std::string why;
    // The manifest is not this run's (another shard's, or no manifest): nothing may be cut.
    bool foreign = false;
    int past = 0; // whole lines after the run's last texture
};
TResumePoint ResumePointOf(std::string_view manifest, const TResumeCheck& check);

} // namespace vorn
