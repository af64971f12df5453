// One texture drawn from a request value, the same way for every front end that makes textures:
// the settings with their size and colour, a recipe or a seed, a cleared tile or the one drawn
// before. What comes back is a value as well: the seeds before and after, the recipe, the axes,
// transparency, or why it failed in the program's own words. The generator keeps the engine
// objects and the drawn targets. No Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gen/GenParams.h"
#include "gen/GenSettings.h"
#include "gen/Recipe.h"

namespace vorn {

class TBatchHooks;
class TGenerator;

struct TDrawRequest {
    TGenSettings settings;             // size and BG Color included; with a recipe, its last link's
    std::optional<TRecipe> recipe;     // its links before the last are drawn first, each from its seed
    std::optional<std::uint32_t> seed; // without a recipe; none: the random sequence as it stands
    bool clear = true;                 // a cleared tile first; false: as the settings say (Keep draws over)
    std::optional<TRecipe> drawnOver;  // the chain a Keep texture continues, for its recipe
    TBatchHooks* hooks = nullptr;      // told of a recipe's earlier links
};

struct TDrawnTexture {
    std::string error;            // empty: drawn
    std::uint32_t seedBefore = 0; // the random source before the texture
    std::uint32_t seedAfter = 0;  // and after it
    TRecipe recipe;               // what remakes it
    std::string code;             // its code; empty for a chain too long to write
    TTileAxes axes;               // the edges it repeats across
    bool transparent = false;     // drawn without a fill over a transparent tile
    bool ok() const { return error.empty(); }
};

// A request for a texture of controls as they are now, over a cleared tile or as they say.
TDrawRequest RequestOf(const TGenSettingsSource& controls, bool clear);

// Draws request with generator; its size and colour stay the texture's (the output and the
// export follow them).
TDrawnTexture DrawTexture(TGenerator& generator, const TDrawRequest& request);

// Textures drawn one after another from one request: the first as the request says, each next one
// with the same settings over the one before, the random sequence going on (a batch, --count).
// hooks hear each texture, numbered from 1: BeforeTexture once a recipe's earlier links are drawn,
// then Generated and Drawn.
class TDrawSequence {
public:
    TDrawSequence(TGenerator& generator, TDrawRequest first, TBatchHooks& hooks);
    // The next texture; a failure ends the sequence (Next then answers the same failure).
    const TDrawnTexture& Next();
    int Number() const { return m_number; }

private:
    TGenerator& m_generator;
    TDrawRequest m_request;
    TBatchHooks& m_hooks;
    TDrawnTexture m_last;
    int m_number = 0;
};

} // namespace vorn
