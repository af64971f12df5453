#include "gen/History.h"

#include <algorithm>

#include "engine/VornDef.h"
#include "gen/Generator.h"

namespace vorn {

TTextureHistory::TTextureHistory(std::size_t maxEntries, std::size_t maxTiles)
    : m_maxEntries(std::max<std::size_t>(maxEntries, 1)), m_maxTiles(maxTiles) {}

void TTextureHistory::TextureMade(const TGenSettingsSource& settings, std::uint32_t seedBefore, int size,
                                  TCanvasColor background, bool clearedTile, std::uint32_t brushes) {
    m_tileRecipe =
        NextRecipe(clearedTile ? nullptr : &m_tileRecipe, settings, seedBefore, size, background, brushes);
    m_unrecorded = true;
}

const THistoryEntry* TTextureHistory::Current() const {
    return m_entries.empty() ? nullptr : &m_entries[m_position];
}

const THistoryEntry* TTextureHistory::At(int step) const {
    if (m_entries.empty()) return nullptr;
    const auto index = static_cast<std::ptrdiff_t>(m_position) + step;
    if (index < 0 || index >= static_cast<std::ptrdiff_t>(m_entries.size())) return nullptr;
    return &m_entries[static_cast<std::size_t>(index)];
}

void TTextureHistory::Add(TGenerator& generator, const TGenSettings& controls) {
    // As a browser does: a new texture after a step back replaces the ones ahead.
    if (!m_entries.empty())
        m_entries.erase(m_entries.begin() + std::ptrdiff_t(m_position) + 1, m_entries.end());
    m_entries.push_back({m_tileRecipe, controls, generator.TextureSeed(), m_nextId++});
    if (m_entries.size() > m_maxEntries) m_entries.erase(m_entries.begin());
    m_position = m_entries.size() - 1;
    m_unrecorded = false;
    KeepTile(generator, m_entries.back());
}

bool TTextureHistory::Step(TGenerator& generator, int step) {
    const THistoryEntry* target = At(step);
    if (!target) return false;
    const auto index = static_cast<std::size_t>(target - m_entries.data());
    if (target->recipe.links.empty() && !FindTile(*target)) {
        DropEntry(index); // its tile is gone and no recipe makes it again
        return false;
    }
    if (!Draw(generator, *target)) return false;
    m_position = index;
    return true;
}

void TTextureHistory::DropEntry(std::size_t index) {
    m_entries.erase(m_entries.begin() + std::ptrdiff_t(index));
    if (index < m_position || m_position == m_entries.size()) m_position = m_position ? m_position - 1 : 0;
}

const TTextureHistory::TKeptTile* TTextureHistory::FindTile(const THistoryEntry& entry) const {
    for (const TKeptTile& tile : m_tiles)
        if (tile.entry == entry.id || SameTile(tile.recipe, entry.recipe)) return &tile;
    return nullptr;
}

const TTextureHistory::TKeptTile* TTextureHistory::FindChainStart(const TRecipe& recipe) const {
    const TKeptTile* best = nullptr;
    for (const TKeptTile& tile : m_tiles) {
        if (StartsChain(tile.recipe, recipe) &&
            (!best || tile.recipe.links.size() > best->recipe.links.size()))
            best = &tile;
    }
    return best;
}

bool TTextureHistory::Draw(TGenerator& generator, const THistoryEntry& entry) {
    const std::uint32_t saved = random::Seed();
    const int savedSize = generator.TextureSize;
    const TCanvasColor savedColor = generator.BackgroundColor;
    generator.TextureSize = entry.controls.size;
    // Drawn again from its seeds only with the brush set it was made with.
    const bool remake = !entry.recipe.links.empty() && entry.recipe.brushes == generator.BrushSetHash;
    // A kept tile is 1024 x 1024: a larger texture is drawn again at its size when it can be.
    const bool large = IsLargeSize(entry.controls.size);
    bool drawn = false;
    if (!(large && remake))
        if (const TKeptTile* kept = FindTile(entry))
            drawn = generator.ShowTile(kept->texels, entry.seed, kept->axes, TransparentTile(kept->recipe), false,
                                       entry.recipe.links.empty() ? &entry.controls
                                                                  : &entry.recipe.links.back().settings);
    if (!drawn && remake) {
        // Redrawn from its seeds, a Keep chain over the nearest kept tile it was drawn over.
        std::size_t firstLink = 0;
        const TKeptTile* start = large ? nullptr : FindChainStart(entry.recipe);
        if (start && generator.ShowTile(start->texels, start->recipe.links.back().seed, start->axes,
                                        TransparentTile(start->recipe)))
            firstLink = start->recipe.links.size();
        drawn = RegenerateRecipe(generator, entry.recipe, nullptr, firstLink);
    }
    random::SetSeed(saved);
    if (!drawn) {
        // Nothing was drawn (a generation holds the generator): the size and colour stay those
        // of the texture shown.
        generator.TextureSize = savedSize;
        generator.BackgroundColor = savedColor;
        return false;
    }
    generator.TextureSize = entry.controls.size;
    generator.BackgroundColor = CanvasColorOfRgb(static_cast<std::uint32_t>(entry.controls.bgColor));
    m_tileRecipe = entry.recipe;
    m_unrecorded = false;
    KeepTile(generator, entry);
    return true;
}

bool TTextureHistory::RedrawLarge(TGenerator& generator) {
    if (!IsLargeSize(generator.TextureSize) || generator.LargeExact()) return true;
    if (m_tileRecipe.links.empty() || m_tileRecipe.brushes != generator.BrushSetHash) return false;
    TRecipe recipe = m_tileRecipe;
    recipe.size = generator.TextureSize;
    // The same texture drawn again: the random source, the colour chosen since and the history's
    // own state stay as they are.
    const std::uint32_t seed = random::Seed();
    const TCanvasColor color = generator.BackgroundColor;
    const TRecipe tile = m_tileRecipe;
    const bool unrecorded = m_unrecorded;
    const bool drawn = RegenerateRecipe(generator, recipe);
    random::SetSeed(seed);
    generator.BackgroundColor = color;
    m_tileRecipe = tile;
    m_unrecorded = unrecorded;
    return drawn;
}

void TTextureHistory::KeepTile(TGenerator& generator, const THistoryEntry& entry) {
    if (m_maxTiles == 0) return;
    for (TKeptTile& tile : m_tiles) {
        if (tile.entry == entry.id || SameTile(tile.recipe, entry.recipe)) {
            tile.entry = entry.id;
            tile.lastUse = ++m_clock;
            return;
        }
    }
    TKeptTile kept{entry.id, entry.recipe, {}, ++m_clock, generator.TileAxes()};
    if (!generator.ReadTile(kept.texels)) return;
    if (m_tiles.size() == m_maxTiles) {
        const auto oldest =
            std::min_element(m_tiles.begin(), m_tiles.end(),
                             [](const auto& a, const auto& b) { return a.lastUse < b.lastUse; });
        *oldest = std::move(kept);
    } else {
        m_tiles.push_back(std::move(kept));
    }
}

std::size_t TTextureHistory::MemoryBytes() const {
    std::size_t bytes = sizeof(*this) + m_entries.capacity() * sizeof(THistoryEntry) +
                        m_tiles.capacity() * sizeof(TKeptTile) +
                        m_tileRecipe.links.capacity() * sizeof(TRecipeLink);
    for (const THistoryEntry& entry : m_entries) bytes += entry.recipe.links.capacity() * sizeof(TRecipeLink);
    for (const TKeptTile& tile : m_tiles)
        bytes += tile.texels.capacity() * sizeof(std::uint32_t) +
                 tile.recipe.links.capacity() * sizeof(TRecipeLink);
    return bytes;
}

} // namespace vorn
