#include "io/Sha256.h"

#include <fcntl.h>
#include <nettle/sha2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vorn {

namespace {

std::string HexOf(const std::uint8_t (&digest)[SHA256_DIGEST_SIZE]) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex += Digits[byte >> 4];
        hex += Digits[byte & 15];
    }
    return hex;
}

} // namespace

std::string Sha256Hex(const std::uint8_t* data, std::size_t size) {
    sha256_ctx context;
    sha256_init(&context);
    if (size > 0) sha256_update(&context, size, data); // no pointer to pass for nothing
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
    return HexOf(digest);
}

std::string FileSha256Hex(const std::string& fileName) {
    // Only a regular file has a digest: a pipe planted at the name would block the read for
    // ever, a device never end, and a link would vouch for a file elsewhere.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {};
    }
    sha256_ctx context;
    sha256_init(&context);
    std::uint8_t buffer[1 << 16];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ok = false;
        if (got <= 0) break;
        sha256_update(&context, static_cast<std::size_t>(got), buffer);
    }
    ::close(fd);
    if (!ok) return {};
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
    return HexOf(digest);
}

} // namespace vorn
