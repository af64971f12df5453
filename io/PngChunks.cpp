#include "io/PngChunks.h"

#include <cstring>

namespace vorn {

bool PngChunksFit(std::span<const std::uint8_t> bytes) {
    std::size_t at = 8; // after the signature
    while (at + 8 <= bytes.size()) {
        const std::uint64_t length = std::uint64_t(bytes[at]) << 24 | std::uint64_t(bytes[at + 1]) << 16 |
                                     std::uint64_t(bytes[at + 2]) << 8 | bytes[at + 3];
        // Length, type, data and CRC.
        if (length > bytes.size() - at - 8 || bytes.size() - at - 8 - length < 4) return false;
        if (std::memcmp(bytes.data() + at + 4, "IEND", 4) == 0) return true;
        at += 12 + std::size_t(length);
    }
    return true;
}

} // namespace vorn
