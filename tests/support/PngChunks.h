// A PNG file's chunks as the bytes lay them out, each with its CRC checked by zlib: for tests of
// what the writers put in a file, apart from the pixels.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vorn::test {

inline std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 |
           std::uint32_t(b[at + 3]);
}

struct PngChunk {
    std::string type;
    std::size_t dataAt = 0;
    std::uint32_t length = 0;
    bool crcValid = false;
};

// The chunks after the signature; a test fails when bytes follow the last whole chunk.
inline std::vector<PngChunk> PngChunks(const std::vector<std::uint8_t>& file) {
    std::vector<PngChunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        PngChunk chunk;
        chunk.length = Be32(file, at);
        chunk.type.assign(reinterpret_cast<const char*>(file.data() + at + 4), 4);
        chunk.dataAt = at + 8;
        if (chunk.dataAt + chunk.length + 4 > file.size()) break;
        const uLong crc = crc32(0L, file.data() + at + 4, uInt(chunk.length + 4));
        chunk.crcValid = crc == Be32(file, chunk.dataAt + chunk.length);
        chunks.push_back(chunk);
        at = chunk.dataAt + chunk.length + 4;
    }
    EXPECT_EQ(at, file.size()) << "bytes after the last whole chunk";
    return chunks;
}

} // namespace vorn::test
