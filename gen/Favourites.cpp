#include "gen/Favourites.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "gen/Recipe.h"
#include "io/FileBytes.h"
#include "io/SafeFile.h"

namespace vorn {

namespace {

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A name on one line: line breaks become spaces.
std::string OneLine(std::string name) {
    for (char& c : name)
        if (c == '\n' || c == '\r') c = ' ';
    return std::string(Trimmed(name));
}

bool Write(const std::string& path, const std::string& text, std::string& why) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (SaveFileSafely(path, {bytes, text.size()}, &why)) return true;
    why = "Cannot save " + path + ": " + why;
    return false;
}

} // namespace

TFavouritesText ParseFavourites(std::string_view text) {
    TFavouritesText parsed;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::string_view content = Trimmed(line);
        if (content.empty() || content.starts_with('#')) continue;
        const std::size_t space = content.find_first_of(" \t");
        const std::string_view code = content.substr(0, space);
        const TRecipeDecoding decoded = DecodeRecipe(code);
        if (!decoded.ok()) {
            parsed.notRecipes.push_back({number, std::string(line), decoded.error});
            continue;
        }
        const std::string_view name =
            space == std::string_view::npos ? std::string_view() : content.substr(space);
        parsed.favourites.push_back({std::string(code), std::string(Trimmed(name))});
    }
    return parsed;
}

std::string FormatFavourites(const std::vector<TFavourite>& favourites) {
    std::string text = "# Pallimor favourites: a recipe code a line, then its name\n";
    for (const TFavourite& favourite : favourites) {
        text += favourite.code;
        if (!favourite.name.empty()) text += ' ' + favourite.name;
        text += '\n';
    }
    return text;
}

TFavourites::TFavourites(std::string folder) : m_folder(std::move(folder)) {}

std::string TFavourites::FilePath() const {
    return m_folder + "/" + FavouritesFileName;
}

std::string TFavourites::AsidePath() const {
    return m_folder + "/" + FavouritesAsideName;
}

bool TFavourites::Load(std::string& why) {
    m_items.clear();
    m_notRecipes.clear();
    if (m_folder.empty()) return true;
    std::vector<std::uint8_t> bytes;
    if (const int error = ReadFileBytes(FilePath(), MaxFavouritesBytes, bytes); error != 0) {
        if (error == ENOENT) return true;
        why = "Cannot read " + FilePath() + ": " + std::strerror(error);
        return false;
    }
    TFavouritesText parsed = ParseFavourites({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    m_items = std::move(parsed.favourites);
    m_notRecipes = std::move(parsed.notRecipes);
    if (m_notRecipes.empty()) return true;
    // Appended to what an earlier start set aside, then the list saved without them.
    std::string aside;
    std::vector<std::uint8_t> earlier;
    if (ReadFileBytes(AsidePath(), MaxFavouritesBytes, earlier) == 0)
        aside.assign(reinterpret_cast<const char*>(earlier.data()), earlier.size());
    if (!aside.empty() && !aside.ends_with('\n')) aside += '\n';
    for (const TFavouriteLine& line : m_notRecipes) aside += line.text + '\n';
    return Write(AsidePath(), aside, why) && Save(why);
}

bool TFavourites::Save(std::string& why) const {
    if (m_folder.empty()) return true;
    std::error_code error;
    std::filesystem::create_directories(m_folder, error); // a failure shows as the save's
    return Write(FilePath(), FormatFavourites(m_items), why);
}

bool TFavourites::Add(TFavourite favourite, std::string& why) {
    favourite.name = OneLine(std::move(favourite.name));
    m_items.push_back(std::move(favourite));
    return Save(why);
}

bool TFavourites::Rename(std::size_t index, const std::string& name, std::string& why) {
    if (index >= m_items.size()) return true;
    m_items[index].name = OneLine(name);
    return Save(why);
}

bool TFavourites::Remove(std::size_t index, std::string& why) {
    if (index >= m_items.size()) return true;
    m_items.erase(m_items.begin() + std::ptrdiff_t(index));
    return Save(why);
}

} // namespace vorn
