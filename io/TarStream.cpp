#include "io/TarStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorn {

namespace {

constexpr std::size_t Block = 512;

// A numeric field: digits octal digits, zero-padded, then NUL (the field is digits + 1 wide).
// A value too large for the digits keeps its low ones (sizes stay far below 8 GiB here).
void Octal(char* field, std::size_t digits, unsigned long long value) {
    for (std::size_t i = digits; i-- > 0; value >>= 3) field[i] = static_cast<char>('0' + (value & 7));
    field[digits] = '\0';
}

} // namespace

TTarStream::TTarStream(const std::string& file, bool replace)
    : m_name(file == "-" ? "standard output" : file) {
    if (file == "-") {
        m_fd = STDOUT_FILENO;
        return;
    }
    m_fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL), 0644);
    m_ownFd = m_fd >= 0;
    if (m_fd < 0) m_error = "Cannot write " + file + ": " + std::strerror(errno);
}

TTarStream::~TTarStream() {
    if (m_ownFd) ::close(m_fd);
}

bool TTarStream::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t at = 0; at < size;) {
        const ssize_t put = ::write(m_fd, bytes + at, size - at);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            m_error = "Cannot write " + m_name + ": " + std::strerror(put < 0 ? errno : EIO);
            return false;
        }
        at += static_cast<std::size_t>(put);
    }
    return true;
}

bool TTarStream::Add(const std::string& name, const std::uint8_t* data, std::size_t size) {
    if (!ok()) return false;
    if (name.empty() || name.size() > MaxName) {
        m_error = "Cannot write " + m_name + ": the member name " + name + " is longer than 100 bytes";
        return false;
    }
    char header[Block] = {};
    std::memcpy(header, name.data(), name.size()); // name[100] at 0, NUL-padded
    Octal(header + 100, 7, 0644);                  // mode[8]
    Octal(header + 108, 7, 0);                     // uid[8]
    Octal(header + 116, 7, 0);                     // gid[8]
    Octal(header + 124, 11, size);                 // size[12]
    Octal(header + 136, 11, 0);                    // mtime[12]
    header[156] = '0';                             // typeflag: a regular file
    std::memcpy(header + 257, "ustar", 6);         // magic[6] "ustar\0"
    std::memcpy(header + 263, "00", 2);            // version[2]
    // chksum[8]: the sum of the header's bytes with the field itself as eight spaces, written
    // as six octal digits, NUL, space.
    std::memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (const char c : header) sum += static_cast<unsigned char>(c);
    Octal(header + 148, 6, sum);
    header[155] = ' ';
    static constexpr char Zeros[Block] = {};
    return Write(header, Block) && (size == 0 || Write(data, size)) &&
           Write(Zeros, (Block - size % Block) % Block);
}

bool TTarStream::Close() {
    static constexpr char End[2 * Block] = {};
    const bool written = ok() && Write(End, sizeof End);
    if (m_ownFd) {
        m_ownFd = false;
        if (::close(m_fd) != 0 && m_error.empty())
            m_error = "Cannot write " + m_name + ": " + std::strerror(errno);
    }
    m_fd = -1;
    return written && m_error.empty();
}

} // namespace vorn
