#include "archive/VornMd5.h"

#include <algorithm>
#include <cstring>

namespace vorn {

namespace {

// Per-step shift amounts and the constants floor(abs(sin(i + 1)) * 2^32).
constexpr std::uint8_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                     5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                     4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                     6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr std::uint32_t RotateLeft(std::uint32_t x, unsigned n) {
    return (x << n) | (x >> (32 - n));
}

} // namespace

TMd5::TMd5() : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void TMd5::Transform(const std::uint8_t* block) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) // the block is sixteen little-endian words
        m[i] = std::uint32_t(block[4 * i]) | std::uint32_t(block[4 * i + 1]) << 8 |
               std::uint32_t(block[4 * i + 2]) << 16 | std::uint32_t(block[4 * i + 3]) << 24;
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    // Unrolled whole, every step's function, word and shift become constants.
#pragma GCC unroll 64
    for (int i = 0; i < 64; ++i) {
        // f is the part of the step's function that waits on b (the word just computed); the
        // rest is summed first, so each step's chain from b is as short as it can be.
        std::uint32_t f;
        std::uint32_t early = 0;
        int g;
        if (i < 16) {
            f = d ^ (b & (c ^ d));
            g = i;
        } else if (i < 32) {
            f = d & b;
            early = c & ~d; // (d & b) | (~d & c): disjoint bits, so they add
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ (c ^ d);
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t rotated = RotateLeft((a + kSine[i] + m[g] + early) + f, kShift[i]);
        a = d;
        d = c;
        c = b;
        b += rotated;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void TMd5::Update(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t used = static_cast<std::size_t>(m_length % 64);
    m_length += size;
    if (used > 0) {
        const std::size_t take = std::min<std::size_t>(64 - used, size);
        std::memcpy(m_buffer.data() + used, bytes, take);
        used += take;
        bytes += take;
        size -= take;
        if (used < 64) return;
        Transform(m_buffer.data());
    }
    for (; size >= 64; bytes += 64, size -= 64) Transform(bytes);
    if (size > 0) std::memcpy(m_buffer.data(), bytes, size);
}

TMd5Digest TMd5::Final() {
    // Pad with 0x80, zeros up to 56 bytes mod 64, then the bit length as a little-endian 64-bit value.
    const std::uint64_t bits = m_length * 8;
    std::uint8_t padding[72] = {0x80};
    const std::size_t used = static_cast<std::size_t>(m_length % 64);
    const std::size_t padLength = used < 56 ? 56 - used : 120 - used;
    for (int i = 0; i < 8; ++i) padding[padLength + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Update(padding, padLength + 8);
    TMd5Digest digest;
    for (int i = 0; i < 16; ++i) digest[i] = static_cast<std::uint8_t>(m_state[i / 4] >> (8 * (i % 4)));
    return digest;
}

TMd5Digest Md5Of(const void* data, std::size_t size) {
    TMd5 md5;
    md5.Update(data, size);
    return md5.Final();
}

std::string Md5Hex(const TMd5Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

} // namespace vorn
