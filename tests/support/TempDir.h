// Scratch folders and whole-file byte helpers for tests that touch the file system.
// A TempDir is a fresh folder under the system's temporary folder, removed with everything in it
// (write permission given back first); its path is empty when it could not be made.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace vorn::test {

using Bytes = std::vector<std::uint8_t>;

class TempDir {
public:
    // The folder is named prefix followed by six random characters.
    explicit TempDir(const std::string& prefix = "pallimor-test-") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
        if (::mkdtemp(pattern.data())) m_path = pattern;
    }
    ~TempDir() {
        if (m_path.empty()) return;
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Names directly in the folder, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Everything below the folder as paths relative to it ("a", "a/b"), sorted.
    std::vector<std::string> EntriesRecursive() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_path))
            names.push_back(std::filesystem::relative(entry.path(), m_path).string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string m_path;
};

// The whole file; empty when it cannot be read.
inline Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's content with data.
inline void WriteFile(const std::filesystem::path& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

} // namespace vorn::test
