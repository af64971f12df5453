// One texture made headless, start to end, for a front end that wants its pixels rather than a
// file (the Python module): a generator of its own is started with the brush archive the command
// line would read, the texture is drawn from a seed or a recipe as `pallimor-cli generate` draws
// it, and read back as its PNG file holds it. Everything lives in the call, so calls on several
// threads at once do not meet (the random source is the thread's own).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "export/ImageWriters.h"
#include "export/MaterialMaps.h"
#include "gen/GenParams.h"
#include "gen/GenSettings.h"
#include "gen/Recipe.h"

namespace vorn {

class TGenerator;

// Starts generator headless with the archive at archive, or the first complete one of
// ArchiveCandidates(exeDir) when archive is empty. Empty, or the program's own line why not.
std::string StartHeadless(TGenerator& generator, const std::string& archive, const std::string& exeDir);

// Makes generator draw with the brush set recipe names: empty, or why it cannot. The installed
// set of that name is used unless archive (the one asked for) is given; another set would make
// another texture.
std::string UseBrushesOf(const TRecipe& recipe, const std::string& archive, const std::string& exeDir,
                         TGenerator& generator);

struct TTextureRequest {
    std::optional<TRecipe> recipe;     // the recipe's texture; none: settings from seed
    std::optional<std::uint32_t> seed; // none (without a recipe): one from the clock
    TGenSettings settings;             // without a recipe; size and bg-color included
    std::string archive;               // empty: the search from exeDir
};

struct TTextureResult {
    std::string error;      // empty: made; otherwise the program's own line
    TBitmap32 bitmap;       // B, G, R, A bytes; HasAlpha for a transparent tile (straight)
    TTileAxes axes;         // the edges the texture repeats across
    std::uint32_t seed = 0; // the random source before the texture
    std::string recipe;     // its code, as pallimor-cli generate --json gives it; empty: a chain too long
    std::shared_ptr<const TSurfaceRelief> relief; // its layers' height and roughness; null: none
    bool ok() const { return error.empty(); }
};

// The texture request asks for, the first of a run as pallimor-cli generate --out FILE.png makes
// it; threads: the rasteriser's threads for this call (0: the process's count).
TTextureResult MakeTexture(const TTextureRequest& request, const std::string& exeDir, int threads = 0);

} // namespace vorn
