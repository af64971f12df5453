// The favourites: recipes the user keeps, each with an optional name, in a plain text file of the
// user's data folder, one a line: the recipe code, then a space and the name. Lines starting with
// '#' and empty lines are no entries; they are kept where they are. Several programs may share
// the file: each change takes an advisory lock on a lock file beside it, reads the file again,
// applies itself to what it read and saves through a safe save, so nothing another program wrote
// is lost. A file that exists but cannot be read is never replaced: the list is read-only until it
// reads again. A line that is no recipe is moved, as written, to a file of its own beside it
// (FavouritesAsideName), so the rest load and nothing the user wrote is lost. No Qt; failures
// come back as reasons.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

inline constexpr const char* FavouritesFileName = "favourites.txt";
inline constexpr const char* FavouritesAsideName = "favourites-not-recipes.txt";
// The advisory lock's file beside the favourites (the file itself is replaced by each save).
inline constexpr const char* FavouritesLockName = "favourites.txt.lock";
// A file larger than this is not read (it is no list of recipes).
inline constexpr std::size_t MaxFavouritesBytes = 16 * 1024 * 1024;
// The first line of a new file.
inline constexpr const char* FavouritesHeader = "# Pallimor favourites: a recipe code a line, then its name";

struct TFavourite {
    std::string code; // a recipe code (EncodeRecipe's)
    std::string name; // may be empty; one line
    bool operator==(const TFavourite&) const = default;
};

struct TFavouriteLine {
    std::size_t number = 0; // from 1
    std::string text;
    std::string error; // why it is no recipe
};

// A line of the file as the list keeps it: a favourite, or a comment or blank line written back
// as it was.
struct TFavouritesFileLine {
    std::string text;                    // as written, without its line end
    std::optional<TFavourite> favourite; // set for an entry
};

struct TFavouritesText {
    std::vector<TFavourite> favourites;
    std::vector<TFavouriteLine> notRecipes;
    std::vector<TFavouritesFileLine> lines; // every line but the not-recipes, in order
    bool byteOrderMark = false;             // the text began with a UTF-8 byte-order mark
};

// Reads the file format (lines end in "\n" or "\r\n"; a UTF-8 byte-order mark at the start is
// skipped; a name's surrounding spaces are dropped).
TFavouritesText ParseFavourites(std::string_view text);
// The file of lines: each line's text and "\n", after the byte-order mark when it had one.
std::string FormatFavourites(const std::vector<TFavouritesFileLine>& lines, bool byteOrderMark);
// The line of an entry: the code, then a space and the name when it has one.
std::string FavouriteLineText(const TFavourite& favourite);

class TFavourites {
public:
    // folder: where the file lives (made when first saved); empty keeps the list in memory only.
    explicit TFavourites(std::string folder);

    const std::string& Folder() const { return m_folder; }
    std::string FilePath() const;
    std::string AsidePath() const;
    std::string LockPath() const;

    // Reads the file again (none yet: no favourites). Lines that are no recipe are appended to the
    // aside file and the file is saved without them; NotRecipes names them (empty when this read
    // found none). False with why when the file cannot be read (the list keeps what it held and
    // becomes read-only) or the lines cannot be moved. In memory only: nothing to read.
    bool Load(std::string& why);
    const std::vector<TFavouriteLine>& NotRecipes() const { return m_notRecipes; }

    // The file exists but could not be read at the last attempt: changes are refused until it
    // reads again. ReadProblem says why ("File too large"); empty when it read.
    bool ReadOnly() const { return !m_readProblem.empty(); }
    const std::string& ReadProblem() const { return m_readProblem; }

    const std::vector<TFavourite>& Items() const { return m_items; }
    // Each change is applied to the file as it is now and saved at once; the list then holds what
    // was saved. Rename and Remove find the index-th favourite of Items by its code and name; one
    // that is no longer in the file changes nothing. False with why when the file cannot be read,
    // locked or saved (the list then holds what the file holds). Out-of-range indexes change
    // nothing.
    bool Add(TFavourite favourite, std::string& why);
    bool Rename(std::size_t index, const std::string& name, std::string& why);
    bool Remove(std::size_t index, std::string& why);
    // Several at once, in one change of the file.
    bool Remove(const std::vector<std::size_t>& indexes, std::string& why);

private:
    // The lines of the file as read, and whether a save must follow (lines were moved aside).
    struct TRead {
        TFavouritesText text;
        bool mustSave = false;
    };
    // Reads the file into read; locked: the lock is held, so the not-recipes can be moved aside.
    bool Read(bool locked, TRead& read, std::string& why);
    // Applies change (true when it changed the lines) under the lock, then saves.
    bool Change(const std::function<bool(std::vector<TFavouritesFileLine>&)>& change, std::string& why);
    // The line of the index-th item in lines: the same code and name, counted among equal ones.
    std::optional<std::size_t> Find(std::size_t index, const std::vector<TFavouritesFileLine>& lines) const;
    void Keep(TFavouritesText text);

    std::string m_folder;
    std::vector<TFavouritesFileLine> m_lines;
    bool m_byteOrderMark = false;
    std::vector<TFavourite> m_items;
    std::vector<TFavouriteLine> m_notRecipes;
    std::string m_readProblem;
};

} // namespace vorn
