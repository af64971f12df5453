// A tar stream (POSIX ustar, through libarchive) written member by member as the data comes, to
// a file or to standard output; no blocking, so a reader sees each member once it is added.
// Members are plain files, mode 0644, dated 1970 so that equal inputs give equal streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct archive;

namespace vorn {

class TTarStream {
public:
    // file "-" is standard output; replace false: a file of the name already there fails.
    TTarStream(const std::string& file, bool replace);
    ~TTarStream();
    TTarStream(const TTarStream&) = delete;
    TTarStream& operator=(const TTarStream&) = delete;

    bool ok() const { return m_archive != nullptr && m_error.empty(); }
    const std::string& errorString() const { return m_error; }

    bool Add(const std::string& name, const std::uint8_t* data, std::size_t size);
    // Writes the end of the archive; false (with errorString) when anything failed.
    bool Close();

private:
    struct archive* m_archive = nullptr;
    int m_fd = -1;
    bool m_ownFd = false;
    std::string m_error;
};

} // namespace vorn
