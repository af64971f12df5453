#include "gen/Favourites.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "gen/Recipe.h"
#include "io/FileBytes.h"
#include "io/SafeFile.h"

namespace vorn {

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

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

// An exclusive advisory lock (flock) on the lock file while it lives. Every program changing the
// favourites takes it, so their read-change-save steps follow one another.
class TFileLock {
public:
    explicit TFileLock(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            m_error = errno;
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
    ~TFileLock() {
        if (m_fd >= 0) ::close(m_fd); // closing releases the lock
    }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    // 0 when held, else errno.
    int Error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

std::string ReadProblemText(int error) {
    if (error == EFBIG) return "it is larger than 16 MiB";
    return std::strerror(error);
}

} // namespace

TFavouritesText ParseFavourites(std::string_view text) {
    TFavouritesText parsed;
    if (text.starts_with(ByteOrderMark)) {
        text.remove_prefix(ByteOrderMark.size());
        parsed.byteOrderMark = true;
    }
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::string_view content = Trimmed(line);
        if (content.empty() || content.starts_with('#')) {
            parsed.lines.push_back({std::string(line), std::nullopt});
            continue;
        }
        const std::size_t space = content.find_first_of(" \t");
        const std::string_view code = content.substr(0, space);
        const TRecipeDecoding decoded = DecodeRecipe(code);
        if (!decoded.ok()) {
            parsed.notRecipes.push_back({number, std::string(line), decoded.error});
            continue;
        }
        const std::string_view name =
            space == std::string_view::npos ? std::string_view() : content.substr(space);
        TFavourite favourite{std::string(code), std::string(Trimmed(name))};
        parsed.lines.push_back({std::string(line), favourite});
        parsed.favourites.push_back(std::move(favourite));
    }
    return parsed;
}

std::string FavouriteLineText(const TFavourite& favourite) {
    return favourite.name.empty() ? favourite.code : favourite.code + ' ' + favourite.name;
}

std::string FormatFavourites(const std::vector<TFavouritesFileLine>& lines, bool byteOrderMark) {
    std::string text = byteOrderMark ? std::string(ByteOrderMark) : std::string();
    for (const TFavouritesFileLine& line : lines) text += line.text + '\n';
    return text;
}

TFavourites::TFavourites(std::string folder) : m_folder(std::move(folder)) {}

std::string TFavourites::FilePath() const {
    return m_folder + "/" + FavouritesFileName;
}

std::string TFavourites::AsidePath() const {
    return m_folder + "/" + FavouritesAsideName;
}

std::string TFavourites::LockPath() const {
    return m_folder + "/" + FavouritesLockName;
}

bool TFavourites::Read(bool locked, TRead& read, std::string& why) {
    std::vector<std::uint8_t> bytes;
    if (const int error = ReadFileBytes(FilePath(), MaxFavouritesBytes, bytes); error != 0) {
        if (error != ENOENT) {
            // Never replaced while it cannot be read: what it holds would be lost.
            m_readProblem = ReadProblemText(error);
            why = "Cannot read " + FilePath() + ": " + m_readProblem;
            return false;
        }
        read.text = {};
        read.text.lines.push_back({FavouritesHeader, std::nullopt}); // a new file starts with it
    } else {
        read.text = ParseFavourites({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }
    m_readProblem.clear();
    m_notRecipes = read.text.notRecipes;
    if (read.text.notRecipes.empty() || !locked) return true;
    // Appended to what was set aside before; the file is then saved without them.
    std::string aside;
    std::vector<std::uint8_t> earlier;
    if (ReadFileBytes(AsidePath(), MaxFavouritesBytes, earlier) == 0)
        aside.assign(reinterpret_cast<const char*>(earlier.data()), earlier.size());
    if (!aside.empty() && !aside.ends_with('\n')) aside += '\n';
    for (const TFavouriteLine& line : read.text.notRecipes) aside += line.text + '\n';
    if (!Write(AsidePath(), aside, why)) return false;
    read.mustSave = true;
    return true;
}

void TFavourites::Keep(TFavouritesText text) {
    m_lines = std::move(text.lines);
    m_byteOrderMark = text.byteOrderMark;
    m_items.clear();
    for (const TFavouritesFileLine& line : m_lines)
        if (line.favourite) m_items.push_back(*line.favourite);
}

bool TFavourites::Load(std::string& why) {
    m_notRecipes.clear();
    if (m_folder.empty()) return true;
    // Reading needs no lock (a save replaces the file whole); moving lines aside does.
    const TFileLock lock(LockPath());
    TRead read;
    if (!Read(lock.Error() == 0, read, why)) return false;
    Keep(read.text);
    if (lock.Error() != 0 && !m_notRecipes.empty()) {
        why = "Cannot lock " + LockPath() + ": " + std::strerror(lock.Error()) +
              "; the lines that are no recipe stay in the file";
        return false;
    }
    if (!read.mustSave) return true;
    return Write(FilePath(), FormatFavourites(m_lines, m_byteOrderMark), why);
}

bool TFavourites::Change(const std::function<bool(std::vector<TFavouritesFileLine>&)>& change,
                         std::string& why) {
    if (m_folder.empty()) {
        TFavouritesText text{{}, {}, m_lines, m_byteOrderMark};
        change(text.lines);
        Keep(std::move(text));
        return true;
    }
    std::error_code ignored;
    std::filesystem::create_directories(m_folder, ignored); // a failure shows as the lock's
    const TFileLock lock(LockPath());
    if (lock.Error() != 0) {
        why = "Cannot lock " + LockPath() + ": " + std::strerror(lock.Error());
        return false;
    }
    TRead read;
    if (!Read(true, read, why)) return false;
    TFavouritesText changed = read.text;
    if (!change(changed.lines) && !read.mustSave) {
        Keep(std::move(read.text));
        return true;
    }
    if (!Write(FilePath(), FormatFavourites(changed.lines, changed.byteOrderMark), why)) {
        Keep(std::move(read.text)); // what the file still holds
        return false;
    }
    Keep(std::move(changed));
    return true;
}

std::optional<std::size_t> TFavourites::Find(std::size_t index,
                                             const std::vector<TFavouritesFileLine>& lines) const {
    const TFavourite& wanted = m_items[index];
    // Equal entries cannot be told apart; the n-th of them, or the last when fewer are left.
    const auto before = std::count(m_items.begin(), m_items.begin() + std::ptrdiff_t(index), wanted);
    std::optional<std::size_t> found;
    std::ptrdiff_t seen = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].favourite != wanted) continue;
        found = i;
        if (seen++ == before) break;
    }
    return found;
}

bool TFavourites::Add(TFavourite favourite, std::string& why) {
    favourite.name = OneLine(std::move(favourite.name));
    return Change(
        [&favourite](std::vector<TFavouritesFileLine>& lines) {
            lines.push_back({FavouriteLineText(favourite), favourite});
            return true;
        },
        why);
}

bool TFavourites::Rename(std::size_t index, const std::string& name, std::string& why) {
    if (index >= m_items.size()) return true;
    const std::string oneLine = OneLine(name);
    return Change(
        [&](std::vector<TFavouritesFileLine>& lines) {
            const std::optional<std::size_t> at = Find(index, lines);
            if (!at) return false; // removed meanwhile
            TFavourite& favourite = *lines[*at].favourite;
            if (favourite.name == oneLine) return false;
            favourite.name = oneLine;
            lines[*at].text = FavouriteLineText(favourite);
            return true;
        },
        why);
}

bool TFavourites::Remove(std::size_t index, std::string& why) {
    return Remove(std::vector<std::size_t>{index}, why);
}

bool TFavourites::Remove(const std::vector<std::size_t>& indexes, std::string& why) {
    return Change(
        [&](std::vector<TFavouritesFileLine>& lines) {
            std::vector<std::size_t> at;
            for (const std::size_t index : indexes)
                if (index < m_items.size())
                    if (const std::optional<std::size_t> line = Find(index, lines)) at.push_back(*line);
            // From the end, so that the places found stay right; one place found twice goes once.
            std::sort(at.begin(), at.end(), std::greater<>());
            at.erase(std::unique(at.begin(), at.end()), at.end());
            for (const std::size_t line : at) lines.erase(lines.begin() + std::ptrdiff_t(line));
            return !at.empty();
        },
        why);
}

} // namespace vorn
