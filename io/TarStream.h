// A tar stream (POSIX ustar) written member by member as the data comes, to a file or to
// standard output, so a reader sees each member once it is added. Members are plain files, mode
// 0644, owner 0, dated 1970, so that equal inputs give equal streams. Written here rather than
// with libarchive: that library brings libxml2 and ICU (30 MB mapped) into every program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorn {

class TTarStream {
public:
    // file "-" is standard output; replace false: a file of the name already there fails.
    TTarStream(const std::string& file, bool replace);
    ~TTarStream();
    TTarStream(const TTarStream&) = delete;
    TTarStream& operator=(const TTarStream&) = delete;

    bool ok() const { return m_fd >= 0 && m_error.empty(); }
    const std::string& errorString() const { return m_error; }

    // The longest member name: the ustar name field (no prefix is used).
    static constexpr std::size_t MaxName = 100;
    // name: 1 to MaxName bytes.
    bool Add(const std::string& name, const std::uint8_t* data, std::size_t size);
    // Writes the two zero blocks that end the archive; false (with errorString) when anything failed.
    bool Close();

private:
    bool Write(const void* data, std::size_t size);

    int m_fd = -1;
    bool m_ownFd = false;
    std::string m_name; // for the messages
    std::string m_error;
};

} // namespace vorn
