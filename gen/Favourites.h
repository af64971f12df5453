// The favourites: recipes the user keeps, each with an optional name, in a plain text file of the
// user's data folder, one a line: the recipe code, then a space and the name. Lines starting with
// '#' and empty lines are no entries. Every change is saved at once through a safe save; a line
// that is no recipe is moved, as written, to a file of its own beside it (FavouritesAsideName),
// so the rest load and nothing the user wrote is lost. No Qt; failures come back as reasons.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

inline constexpr const char* FavouritesFileName = "favourites.txt";
inline constexpr const char* FavouritesAsideName = "favourites-not-recipes.txt";
// A file larger than this is not read (it is no list of recipes).
inline constexpr std::size_t MaxFavouritesBytes = 16 * 1024 * 1024;

struct TFavourite {
    std::string code; // a recipe code (EncodeRecipe's)
    std::string name; // may be empty; one line
};

struct TFavouriteLine {
    std::size_t number = 0; // from 1
    std::string text;
    std::string error; // why it is no recipe
};

struct TFavouritesText {
    std::vector<TFavourite> favourites;
    std::vector<TFavouriteLine> notRecipes;
};

// Reads the file format (lines end in "\n" or "\r\n"; a name's surrounding spaces are dropped).
TFavouritesText ParseFavourites(std::string_view text);
// The file: a comment line, then one favourite a line.
std::string FormatFavourites(const std::vector<TFavourite>& favourites);

class TFavourites {
public:
    // folder: where the file lives (made when first saved); empty keeps the list in memory only.
    explicit TFavourites(std::string folder);

    const std::string& Folder() const { return m_folder; }
    std::string FilePath() const;
    std::string AsidePath() const;

    // Reads the file (none yet: no favourites). Lines that are no recipe are appended to the
    // aside file and the file is saved without them; NotRecipes names them. False with why when
    // the file cannot be read or the lines cannot be moved (the list then holds what was read).
    bool Load(std::string& why);
    const std::vector<TFavouriteLine>& NotRecipes() const { return m_notRecipes; }

    const std::vector<TFavourite>& Items() const { return m_items; }
    // Each change is saved at once; false with why when the save failed (the change stays in
    // memory). Out-of-range indexes change nothing.
    bool Add(TFavourite favourite, std::string& why);
    bool Rename(std::size_t index, const std::string& name, std::string& why);
    bool Remove(std::size_t index, std::string& why);

private:
    bool Save(std::string& why) const;

    std::string m_folder;
    std::vector<TFavourite> m_items;
    std::vector<TFavouriteLine> m_notRecipes;
};

} // namespace vorn
