#include "io/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace vorn {

namespace {

// A file descriptor closed when it goes.
struct TFd {
    int fd = -1;
    ~TFd() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

int ReadFileBytes(const std::string& fileName, std::size_t maxBytes, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rbe"),
                                                               &std::fclose);
    if (!file) return errno;
    std::uint8_t buffer[64 * 1024];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        if (got > maxBytes - bytes.size()) return EFBIG;
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (got < sizeof buffer) break;
    }
    if (std::ferror(file.get())) return errno ? errno : EIO;
    return 0;
}

int ReadFileHead(const std::string& fileName, std::size_t maxBytes,
                 const std::function<bool(std::span<const std::uint8_t> bytes)>& wantsMore,
                 std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one.
    TFd file{::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0) return errno;
    struct stat status {};
    if (::fstat(file.fd, &status) != 0) return errno;
    if (S_ISDIR(status.st_mode)) return EISDIR;
    if (!S_ISREG(status.st_mode)) return EINVAL;

    std::size_t piece = 64 * 1024;
    bool atEnd = false;
    while (!atEnd && bytes.size() < maxBytes) {
        const std::size_t start = bytes.size();
        const std::size_t want = std::min(piece, maxBytes - start);
        bytes.resize(start + want);
        std::size_t got = 0;
        while (got < want) {
            const ssize_t n = ::read(file.fd, bytes.data() + start + got, want - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                const int error = errno;
                bytes.clear();
                return error;
            }
            if (n == 0) {
                atEnd = true;
                break;
            }
            got += std::size_t(n);
        }
        bytes.resize(start + got);
        if (!wantsMore(bytes)) break;
        piece *= 2;
    }
    return 0;
}

} // namespace vorn
