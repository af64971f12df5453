// Texel formats of the engine and the two row converters: RowToArgb unpacks a row of any
// format into A8R8G8B8 values (blue in bits 0-7, green 8-15, red 16-23, alpha 24-31) and the
// writers of ArgbRowWriter pack such values back, keeping each channel's top bits.
#pragma once

#include <array>
#include <cstdint>

namespace vorn {

enum TTexelFormat : std::uint8_t {
    tfR3G3B2 = 0,
    tfR5G6B5 = 1,
    tfX8R8G8B8 = 2,
    tfX1R5G5B5 = 3,
    tfX4R4G4B4 = 4,
    tfA8R8G8B8 = 5,
    tfA1R5G5B5 = 6,
    tfA4R4G4B4 = 7,
    tfA8R3G3B2 = 8,
    tfA2R2G2B2 = 9,
    tfA8 = 10,
    tfUnknown = 11,
};

// Bit widths of blue, green, red and alpha, packed in that order upward from bit 0.
struct TChannelLayout {
    std::uint8_t Blue = 0;
    std::uint8_t Green = 0;
    std::uint8_t Red = 0;
    std::uint8_t Alpha = 0;
    friend bool operator==(const TChannelLayout&, const TChannelLayout&) = default;
};

// Any value of 11 or above answers as tfUnknown.
std::int32_t BytesPerTexel(TTexelFormat format);
TChannelLayout ChannelLayout(TTexelFormat format);
TTexelFormat TexelFormatOf(std::uint32_t d3dFormat);
bool FormatsCompatible(TTexelFormat a, TTexelFormat b);

// round(v * 255 / (2^n - 1)) for an n-bit value v, n = 1..8; width 0 gives 255.
std::uint8_t ExpandChannel(int width, std::uint32_t value);
// The constant expansion table: row = width 0..8, column = value.
extern const std::array<std::array<std::uint8_t, 256>, 9> ExpandTable;

void RowToArgb(const void* source, std::uint32_t* dest, std::int32_t count, TTexelFormat format);

using TArgbRowWriter = void (*)(const std::uint32_t* source, void* dest, std::int32_t count);
// nullptr for tfUnknown (and any code above it).
TArgbRowWriter ArgbRowWriter(TTexelFormat format);

} // namespace vorn
