// Little-endian integers as the archive and its image records store them (least significant
// byte first), read from byte buffers the caller has checked to be long enough.
#pragma once

#include <cstdint>

namespace vorn::detail {

inline std::int32_t ReadInt32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                     std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
}

inline std::uint16_t ReadUInt16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

} // namespace vorn::detail
