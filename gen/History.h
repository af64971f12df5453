// The window's texture history: every texture it shows, oldest first, kept as the recipe that
// makes it again and the control values it was made with, plus the tiles of the few entries used
// last (4 MiB each at 1024 x 1024), so that most steps only redraw the view and the output from a
// kept tile and a Keep chain is redrawn from its nearest kept start. A step leaves the random
// source as it found it. No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gen/GenSettings.h"
#include "gen/Recipe.h"

namespace vorn {

class TGenerator;

struct THistoryEntry {
    TRecipe recipe;         // tooLong: only a kept tile brings the texture back
    TGenSettings controls;  // the controls, size and colour it was made with
    std::uint32_t seed = 0; // the random source before its (last) generation
    std::uint64_t id = 0;
};

class TTextureHistory {
public:
    static constexpr std::size_t DefaultEntries = 50;
    static constexpr std::size_t DefaultTiles = 8;

    explicit TTextureHistory(std::size_t maxEntries = DefaultEntries, std::size_t maxTiles = DefaultTiles);

    // Follows every texture the generator makes (a batch's and a recipe's too), so that the
    // recipe of the tile in the tile target is always known: settings as the synthesis read
    // them, the random source before it, size and colour, and whether the tile was cleared.
    void TextureMade(const TGenSettingsSource& settings, std::uint32_t seedBefore, int size,
                     TCanvasColor background, bool clearedTile, std::uint32_t brushes = ShippedBrushSetHash);
    const TRecipe& TileRecipe() const { return m_tileRecipe; }
    // The tile target was given recipe's tile back (a kept tile): what follows is drawn over it.
    void TileReplaced(const TRecipe& recipe) { m_tileRecipe = recipe; }
    // A texture was made since the last Add.
    bool Unrecorded() const { return m_unrecorded; }

    // The texture in generator's targets becomes the newest entry, after the current one (the
    // entries after that are dropped); its tile is kept. The oldest entry goes beyond the limit.
    void Add(TGenerator& generator, const TGenSettings& controls);

    std::size_t Count() const { return m_entries.size(); }
    std::size_t Position() const { return m_position; } // of the current entry; Count() when none
    const THistoryEntry* Current() const;
    // The entry step places from the current one (-1 back, +1 forward); nullptr when none.
    const THistoryEntry* At(int step) const;

    // Makes the entry step places away the current one and draws its texture into generator's
    // targets exactly as it was made (size and colour as it had; the caller sets the controls).
    // The random source is restored. False, with nothing changed, when there is no such entry or
    // the generator cannot draw now (a generation runs); an entry that can be neither drawn again
    // nor taken from a kept tile is dropped (false too).
    bool Step(TGenerator& generator, int step);

    // When generator's size is above 1024 and its output is not exact (the tile came back from a
    // kept tile), draws the shown texture again from its recipe at that size. True when the
    // output is exact afterwards. The random source, colour and recipe stay.
    bool RedrawLarge(TGenerator& generator);

    std::size_t KeptTiles() const { return m_tiles.size(); }
    // What the history holds in memory: entries, their recipes and the kept tiles.
    std::size_t MemoryBytes() const;

private:
    struct TKeptTile {
        std::uint64_t entry = 0;
        TRecipe recipe;
        std::vector<std::uint32_t> texels;
        std::uint64_t lastUse = 0;
        TTileAxes axes;
    };

    // Keeps the tile in generator's tile target as that of entry.
    void KeepTile(TGenerator& generator, const THistoryEntry& entry);
    const TKeptTile* FindTile(const THistoryEntry& entry) const;
    const TKeptTile* FindChainStart(const TRecipe& recipe) const;
    bool Draw(TGenerator& generator, const THistoryEntry& entry);
    void DropEntry(std::size_t index);

    std::size_t m_maxEntries;
    std::size_t m_maxTiles;
    std::vector<THistoryEntry> m_entries;
    std::size_t m_position = 0;
    std::vector<TKeptTile> m_tiles;
    TRecipe m_tileRecipe;
    bool m_unrecorded = false;
    std::uint64_t m_nextId = 1;
    std::uint64_t m_clock = 0;
};

} // namespace vorn
