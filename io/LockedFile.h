// A file one run appends to and holds for its whole length (a data set's manifest): opened
// without following a symbolic link and without blocking, refused unless it is a regular file,
// and locked (flock), so that a second run on it is refused instead of interleaving its lines.
// Failures come back as texts ("is a symbolic link", strerror's). Paths use '/'.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorn {

class TLockedFile {
public:
    TLockedFile() = default;
    ~TLockedFile();
    TLockedFile(const TLockedFile&) = delete;
    TLockedFile& operator=(const TLockedFile&) = delete;

    enum TOpen {
        loExisting, // made when missing; its content stays
        loNew,      // refused when a file of the name exists
        loEmptied,  // made when missing, else emptied once it is locked
    };
    // Opens path for reading and appending. Empty, or why not.
    std::string Open(const std::string& path, TOpen how);

    // The file's content from its start, at most maxBytes ("is over N bytes" beyond). Empty, or why not.
    std::string Read(std::size_t maxBytes, std::string& content);
    // Cuts the file to size bytes; 0 or errno.
    int Truncate(std::size_t size);
    // Appends text whole; 0 or errno.
    int Append(std::string_view text);
    // Closes the file (and so unlocks it); 0 or errno, which reports late write errors.
    int Close();

    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace vorn
