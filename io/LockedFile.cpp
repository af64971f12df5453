#include "io/LockedFile.h"

#include <cerrno>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {

namespace {

std::string ErrnoText(int err) {
    return std::error_code(err, std::generic_category()).message();
}

} // namespace

TLockedFile::~TLockedFile() {
    if (m_fd >= 0) ::close(m_fd);
}

std::string TLockedFile::Open(const std::string& path, TOpen how) {
    if (m_fd >= 0) Close();
    // O_NONBLOCK: opening a FIFO must not wait for a writer; O_NOFOLLOW: a link is refused
    // (ELOOP) instead of redirecting the writes.
    int flags = O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    if (how == loNew) flags |= O_EXCL;
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        if (err == ELOOP && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return "is a symbolic link";
        if (err == EEXIST) return "exists";
        return "cannot be opened: " + ErrnoText(err);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return "is not a regular file";
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? "is in use by another run" : "cannot be locked: " + ErrnoText(err);
    }
    // Regular file reads and writes block as usual from here on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    if (how == loEmptied && ::ftruncate(fd, 0) != 0) {
        const int err = errno;
        Close();
        return "cannot be emptied: " + ErrnoText(err);
    }
    return {};
}

std::string TLockedFile::Read(std::size_t maxBytes, std::string& content) {
    content.clear();
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return "cannot be read: " + ErrnoText(errno);
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        return "is over " + std::to_string(maxBytes) + " bytes";
    content.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t got =
            ::pread(m_fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return "cannot be read: " + ErrnoText(errno);
        if (got == 0) break; // cut by someone since fstat: what is there is read
        done += static_cast<std::size_t>(got);
    }
    content.resize(done);
    return {};
}

int TLockedFile::Truncate(std::size_t size) {
    return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int TLockedFile::Append(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t put = ::write(m_fd, text.data() + at, text.size() - at);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        if (put == 0) return EIO;
        at += static_cast<std::size_t>(put);
    }
    return 0;
}

int TLockedFile::Close() {
    if (m_fd < 0) return 0;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 ? 0 : errno;
}

} // namespace vorn
