// Recipe codes: one line of printable ASCII that brings back one texture exactly. A texture is
// fixed by the random seed before its generation, its settings, the output size and the
// background colour; a "Keep" texture also by the generations it was drawn over, back to the
// last "Clear" one or to the transparent tile the first texture starts from. The format is
// described in docs/formats.md ("Recipe codes").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/BrushFolder.h"
#include "engine/VornDef.h"
#include "gen/GenSettings.h"

namespace vorn {

class TGenerator;
class TBatchHooks;

inline constexpr const char* RecipeVersion = "P1";
// The most generations one code may chain; a longer Keep chain has no code.
inline constexpr std::size_t MaxRecipeLinks = 64;

// One generation: the random source's value before it and the settings it read.
struct TRecipeLink {
    std::uint32_t seed = 0;
    TGenSettings settings; // size and bg-color are the recipe's
};

struct TRecipe {
    int size = GenParam(gpSize).defaultValue;
    TCanvasColor background = CanvasColorOfRgb(GenParam(gpBGColor).defaultValue);
    // Oldest first. links[0] is drawn over a transparent tile (it is a "Clear" generation or the
    // first of all); every later link is a "Keep" generation.
    std::vector<TRecipeLink> links;
    // The chain grew past MaxRecipeLinks, or was drawn with two brush sets: links is empty and
    // there is no code.
    bool tooLong = false;
    // With tooLong: the reason is a chain drawn with two brush sets (a code names one set).
    bool mixedBrushes = false;
    // The brush set it was drawn with (BrushSetHash); the shipped one's is left out of the code.
    std::uint32_t brushes = ShippedBrushSetHash;
};

// The recipe of the texture just made: drawn with settings (size and colour as given) from
// seedBefore over the tile that previous made, nullptr for the transparent starting tile. A
// "Clear" generation starts a new chain; "Keep" adds a link to previous's chain, whose
// background colour stays the one its "Clear" link painted.
// brushes names the brush set; a Keep generation with another set than its chain's has no code.
TRecipe NextRecipe(const TRecipe* previous, const TGenSettingsSource& settings, std::uint32_t seedBefore,
                   int size, TCanvasColor background, std::uint32_t brushes = ShippedBrushSetHash);

// The code; empty when the recipe has no links or is too long. Values equal to the defaults
// are left out, and so is a link's seed when it continues the previous link's sequence.
std::string EncodeRecipe(const TRecipe& recipe);

struct TRecipeDecoding {
    TRecipe recipe;            // with every link's seed filled in
    std::string error;         // empty: the code was good; otherwise one line naming what is wrong
    std::size_t badCharAt = 0; // a character no code holds (space, control, not ASCII): its position from 1
    bool ok() const { return error.empty(); }
};
TRecipeDecoding DecodeRecipe(std::string_view code);

// The random source's value after a generation with settings from seedBefore, found by running
// the synthesis without drawing. The random source is left as it was.
std::uint32_t SeedAfter(const TGenSettingsSource& settings, std::uint32_t seedBefore);

// Sets the recipe's size and colour on generator and draws every link but the last, each from
// its own seed with its own settings, the first over a cleared tile; hooks (when given) hear
// each of them, numbered from 1. Then seeds the random source for the last link: generating it with its
// settings (over a cleared tile when it is the only link) makes the recipe's texture. With
// deferLarge the links leave a large output pending. False when a link drew nothing (a
// generation already running, start-up incomplete).
bool PrepareRecipe(TGenerator& generator, const TRecipe& recipe, TBatchHooks* hooks = nullptr,
                   bool deferLarge = false);

// PrepareRecipe and the last generation: the recipe's texture in the output target of its size.
// firstLink > 0: the tile target holds the texture of the links before it already, and only
// the links from firstLink on are drawn, each from its own seed. False when the recipe has no
// links or a link drew nothing.
bool RegenerateRecipe(TGenerator& generator, const TRecipe& recipe, TBatchHooks* hooks = nullptr,
                      std::size_t firstLink = 0);

// Whether the recipe's tile is transparent (TGenerator::TileTransparent): every link drawn
// without a fill, the first over the transparent tile.
bool TransparentTile(const TRecipe& recipe);

// The same tile: equal background and links (the size only scales the output).
bool SameTile(const TRecipe& a, const TRecipe& b);
// a's links start b's chain: b's tile is drawn over a's (a has fewer links, same background).
bool StartsChain(const TRecipe& a, const TRecipe& b);

} // namespace vorn
