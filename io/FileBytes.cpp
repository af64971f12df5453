#include "io/FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace vorn {

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

} // namespace vorn
