// MD5 message digest (RFC 1321), used to verify the records of the brush archive.
// Incremental: Update any number of times, then Final once; Md5Of digests one buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vorn {

using TMd5Digest = std::array<std::uint8_t, 16>;

class TMd5 {
public:
    TMd5();
    void Update(const void* data, std::size_t size);
    // The digest of everything given to Update; the object must not be updated afterwards.
    TMd5Digest Final();

private:
    void Transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> m_state;
    std::uint64_t m_length = 0; // bytes given so far
    std::array<std::uint8_t, 64> m_buffer{};
};

TMd5Digest Md5Of(const void* data, std::size_t size);
// Lower-case hexadecimal, 32 characters.
std::string Md5Hex(const TMd5Digest& digest);

} // namespace vorn
