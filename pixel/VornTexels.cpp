#include "pixel/VornTexels.h"

#include <cstring>

namespace vorn {

namespace detail {

struct TFormatInfo {
    std::int32_t Bytes;
    TChannelLayout Layout;
};

// Indexed by TTexelFormat; the last row (tfUnknown) also answers for every larger value.
constexpr std::array<TFormatInfo, 12> FormatTable = {{
    {1, {3, 3, 2, 0}}, // tfR3G3B2: blue 0-2, green 3-5, red 6-7
    {2, {5, 6, 5, 0}}, // tfR5G6B5: blue 0-4, green 5-10, red 11-15
    {4, {8, 8, 8, 0}}, // tfX8R8G8B8: blue 0-7, green 8-15, red 16-23, filler 24-31
    {2, {5, 5, 5, 0}}, // tfX1R5G5B5: blue 0-4, green 5-9, red 10-14, filler 15
    {2, {4, 4, 4, 0}}, // tfX4R4G4B4: blue 0-3, green 4-7, red 8-11, filler 12-15
    {4, {8, 8, 8, 8}}, // tfA8R8G8B8: blue 0-7, green 8-15, red 16-23, alpha 24-31
    {2, {5, 5, 5, 1}}, // tfA1R5G5B5: blue 0-4, green 5-9, red 10-14, alpha 15
    {2, {4, 4, 4, 4}}, // tfA4R4G4B4: blue 0-3, green 4-7, red 8-11, alpha 12-15
    {2, {3, 3, 2, 8}}, // tfA8R3G3B2: blue 0-2, green 3-5, red 6-7, alpha 8-15
    {1, {2, 2, 2, 2}}, // tfA2R2G2B2: blue 0-1, green 2-3, red 4-5, alpha 6-7
    {1, {0, 0, 0, 8}}, // tfA8: alpha 0-7
    {0, {0, 0, 0, 0}}, // tfUnknown
}};

constexpr const TFormatInfo& InfoOf(TTexelFormat format) {
    return FormatTable[format < tfUnknown ? format : tfUnknown];
}

// mask(n) = 2^n - 1 for the channel widths 0..8.
constexpr std::array<std::uint32_t, 9> ChannelMask = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};

// Row n, column v: round(v * 255 / (2^n - 1)) for the n-bit value v; row 0 (an absent channel)
// is 255 throughout. The division never ties, since 2^n - 1 is odd. Columns beyond 2^n - 1 hold
// the value of their low n bits, so a lookup with unmasked bits still stays in range.
constexpr std::array<std::array<std::uint8_t, 256>, 9> BuildExpandTable() {
    std::array<std::array<std::uint8_t, 256>, 9> table{};
    for (std::uint32_t v = 0; v < 256; ++v) table[0][v] = 255;
    for (std::uint32_t n = 1; n <= 8; ++n) {
        const std::uint32_t top = ChannelMask[n];
        for (std::uint32_t v = 0; v < 256; ++v) {
            const std::uint32_t low = v & top;
            table[n][v] = static_cast<std::uint8_t>((low * 255u * 2u + top) / (2u * top));
        }
    }
    return table;
}

} // namespace detail

// Generated at compile time: a constant of the program, not filled at start-up.
constexpr std::array<std::array<std::uint8_t, 256>, 9> ExpandTable = detail::BuildExpandTable();

static_assert(ExpandTable[3][1] == 36 && ExpandTable[3][2] == 73 && ExpandTable[3][3] == 109 &&
              ExpandTable[3][4] == 146 && ExpandTable[3][5] == 182 && ExpandTable[3][6] == 219 &&
              ExpandTable[3][7] == 255);
static_assert(ExpandTable[5][1] == 8 && ExpandTable[5][2] == 16 && ExpandTable[5][3] == 25 &&
              ExpandTable[5][4] == 33 && ExpandTable[5][31] == 255);
static_assert(ExpandTable[0][0] == 255 && ExpandTable[8][0x80] == 0x80 && ExpandTable[1][1] == 255);

std::int32_t BytesPerTexel(TTexelFormat format) {
    return detail::InfoOf(format).Bytes;
}

TChannelLayout ChannelLayout(TTexelFormat format) {
    return detail::InfoOf(format).Layout;
}

TTexelFormat TexelFormatOf(std::uint32_t d3dFormat) {
    switch (d3dFormat) {
    case 27:
        return tfR3G3B2; // D3DFMT_R3G3B2
    case 23:
        return tfR5G6B5; // D3DFMT_R5G6B5
    case 22:
        return tfX8R8G8B8; // D3DFMT_X8R8G8B8
    case 24:
        return tfX1R5G5B5; // D3DFMT_X1R5G5B5
    case 30:
        return tfX4R4G4B4; // D3DFMT_X4R4G4B4
    case 21:
        return tfA8R8G8B8; // D3DFMT_A8R8G8B8
    case 25:
        return tfA1R5G5B5; // D3DFMT_A1R5G5B5
    case 26:
        return tfA4R4G4B4; // D3DFMT_A4R4G4B4
    case 29:
        return tfA8R3G3B2; // D3DFMT_A8R3G3B2
    case 28:
        return tfA8; // D3DFMT_A8
    default:
        return tfUnknown;
    }
}

bool FormatsCompatible(TTexelFormat a, TTexelFormat b) {
    if (a > tfUnknown) a = tfUnknown;
    if (b > tfUnknown) b = tfUnknown;
    if (a == b) return true;
    const auto both = [&](TTexelFormat x, TTexelFormat y) {
        return (a == x || a == y) && (b == x || b == y);
    };
    return both(tfX8R8G8B8, tfA8R8G8B8) || both(tfX4R4G4B4, tfA4R4G4B4);
}

std::uint8_t ExpandChannel(int width, std::uint32_t value) {
    if (width < 0 || width > 8) return 255; // not a channel width: answers as an absent channel
    return ExpandTable[static_cast<std::size_t>(width)]
                      [value & detail::ChannelMask[static_cast<std::size_t>(width)]];
}

namespace detail {
namespace {

// One format's unpacking, resolved once per row: the shift, mask and table row of each channel.
struct TUnpackState {
    std::uint32_t ShiftG, ShiftR, ShiftA;
    std::uint32_t MaskB, MaskG, MaskR, MaskA;
    const std::uint8_t* TableB;
    const std::uint8_t* TableG;
    const std::uint8_t* TableR;
    const std::uint8_t* TableA;
};

TUnpackState UnpackStateOf(const TChannelLayout& l) {
    TUnpackState s{};
    s.ShiftG = l.Blue;
    s.ShiftR = l.Blue + l.Green;
    s.ShiftA = l.Blue + l.Green + l.Red;
    s.MaskB = ChannelMask[l.Blue];
    s.MaskG = ChannelMask[l.Green];
    s.MaskR = ChannelMask[l.Red];
    s.MaskA = ChannelMask[l.Alpha];
    s.TableB = ExpandTable[l.Blue].data();
    s.TableG = ExpandTable[l.Green].data();
    s.TableR = ExpandTable[l.Red].data();
    s.TableA = ExpandTable[l.Alpha].data();
    return s;
}

// Reads a little-endian texel of Bytes bytes; the missing upper bytes are 0.
template <int Bytes> std::uint32_t LoadTexel(const std::uint8_t* p) {
    if constexpr (Bytes == 1)
        return p[0];
    else if constexpr (Bytes == 2)
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8;
    else
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
}

// The general rule: four shift, mask and table lookups per texel.
template <int Bytes>
void UnpackRow(const std::uint8_t* src, std::uint32_t* dst, std::int32_t count, const TUnpackState& s) {
    for (std::int32_t i = 0; i < count; ++i, src += Bytes) {
        const std::uint32_t v = LoadTexel<Bytes>(src);
        const std::uint32_t b = s.TableB[v & s.MaskB];
        const std::uint32_t g = s.TableG[(v >> s.ShiftG) & s.MaskG];
        const std::uint32_t r = s.TableR[(v >> s.ShiftR) & s.MaskR];
        const std::uint32_t a = s.TableA[(v >> s.ShiftA) & s.MaskA];
        dst[i] = a << 24 | r << 16 | g << 8 | b;
    }
}

void Store16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Store32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Channels of an ARGB value: a 24-31, r 16-23, g 8-15, b 0-7.
constexpr std::uint32_t ChA(std::uint32_t c) {
    return c >> 24;
}
constexpr std::uint32_t ChR(std::uint32_t c) {
    return (c >> 16) & 0xFF;
}
constexpr std::uint32_t ChG(std::uint32_t c) {
    return (c >> 8) & 0xFF;
}
constexpr std::uint32_t ChB(std::uint32_t c) {
    return c & 0xFF;
}

// The writers keep each channel's top bits, truncating.

// b 0-2, g 3-5, r 6-7
constexpr std::uint32_t PackR3G3B2(std::uint32_t c) {
    return ChB(c) >> 5 | (ChG(c) >> 5) << 3 | (ChR(c) >> 6) << 6;
}
// b 0-4, g 5-9, r 10-14
constexpr std::uint32_t PackX1R5G5B5(std::uint32_t c) {
    return ChB(c) >> 3 | (ChG(c) >> 3) << 5 | (ChR(c) >> 3) << 10;
}
// b 0-3, g 4-7, r 8-11
constexpr std::uint32_t PackX4R4G4B4(std::uint32_t c) {
    return ChB(c) >> 4 | (ChG(c) >> 4) << 4 | (ChR(c) >> 4) << 8;
}

template <std::uint32_t (*Pack)(std::uint32_t)>
void WriteRow8(const std::uint32_t* source, void* dest, std::int32_t count) {
    auto* d = static_cast<std::uint8_t*>(dest);
    for (std::int32_t i = 0; i < count; ++i) d[i] = static_cast<std::uint8_t>(Pack(source[i]));
}

template <std::uint32_t (*Pack)(std::uint32_t)>
void WriteRow16(const std::uint32_t* source, void* dest, std::int32_t count) {
    auto* d = static_cast<std::uint8_t*>(dest);
    for (std::int32_t i = 0; i < count; ++i) Store16(d + 2 * i, Pack(source[i]));
}

// b 0-4, g 5-10, r 11-15
constexpr std::uint32_t PackR5G6B5(std::uint32_t c) {
    return ChB(c) >> 3 | (ChG(c) >> 2) << 5 | (ChR(c) >> 3) << 11;
}
// as X1R5G5B5, alpha 15
constexpr std::uint32_t PackA1R5G5B5(std::uint32_t c) {
    return PackX1R5G5B5(c) | (ChA(c) >> 7) << 15;
}
// as X4R4G4B4, alpha 12-15
constexpr std::uint32_t PackA4R4G4B4(std::uint32_t c) {
    return PackX4R4G4B4(c) | (ChA(c) >> 4) << 12;
}
// R3G3B2 in 0-7, alpha 8-15
constexpr std::uint32_t PackA8R3G3B2(std::uint32_t c) {
    return PackR3G3B2(c) | ChA(c) << 8;
}
// b 0-1, g 2-3, r 4-5, a 6-7
constexpr std::uint32_t PackA2R2G2B2(std::uint32_t c) {
    return ChB(c) >> 6 | (ChG(c) >> 6) << 2 | (ChR(c) >> 6) << 4 | (ChA(c) >> 6) << 6;
}
// alpha 0-7
constexpr std::uint32_t PackA8(std::uint32_t c) {
    return ChA(c);
}

// The colour bytes kept, filler bits 24-31 set.
void WriteX8R8G8B8(const std::uint32_t* source, void* dest, std::int32_t count) {
    auto* d = static_cast<std::uint8_t*>(dest);
    for (std::int32_t i = 0; i < count; ++i) Store32(d + 4 * i, source[i] | 0xFF000000u);
}

void WriteA8R8G8B8(const std::uint32_t* source, void* dest, std::int32_t count) {
    auto* d = static_cast<std::uint8_t*>(dest);
    for (std::int32_t i = 0; i < count; ++i) Store32(d + 4 * i, source[i]);
}

} // namespace
} // namespace detail

void RowToArgb(const void* source, std::uint32_t* dest, std::int32_t count, TTexelFormat format) {
    if (count <= 0) return;
    const auto* src = static_cast<const std::uint8_t*>(source);
    switch (format) {
    case tfA8R8G8B8:
        // Same layout: a plain copy, byte order included (texels are little-endian).
        for (std::int32_t i = 0; i < count; ++i) dest[i] = detail::LoadTexel<4>(src + 4 * i);
        return;
    case tfA8:
        // White with the texel as alpha.
        for (std::int32_t i = 0; i < count; ++i) dest[i] = std::uint32_t{src[i]} << 24 | 0x00FFFFFFu;
        return;
    default:
        break;
    }
    const detail::TFormatInfo& info = detail::InfoOf(format);
    const detail::TUnpackState state = detail::UnpackStateOf(info.Layout);
    switch (info.Bytes) {
    case 1:
        detail::UnpackRow<1>(src, dest, count, state);
        return;
    case 2:
        detail::UnpackRow<2>(src, dest, count, state);
        return;
    case 4:
        detail::UnpackRow<4>(src, dest, count, state);
        return;
    default:
        // tfUnknown: nothing is read, every result is opaque white.
        for (std::int32_t i = 0; i < count; ++i) dest[i] = 0xFFFFFFFFu;
        return;
    }
}

TArgbRowWriter ArgbRowWriter(TTexelFormat format) {
    using namespace detail;
    switch (format) {
    case tfR3G3B2:
        return WriteRow8<PackR3G3B2>;
    case tfR5G6B5:
        return WriteRow16<PackR5G6B5>;
    case tfX8R8G8B8:
        return WriteX8R8G8B8;
    case tfX1R5G5B5:
        return WriteRow16<PackX1R5G5B5>;
    case tfX4R4G4B4:
        return WriteRow16<PackX4R4G4B4>;
    case tfA8R8G8B8:
        return WriteA8R8G8B8;
    case tfA1R5G5B5:
        return WriteRow16<PackA1R5G5B5>;
    case tfA4R4G4B4:
        return WriteRow16<PackA4R4G4B4>;
    case tfA8R3G3B2:
        return WriteRow16<PackA8R3G3B2>;
    case tfA2R2G2B2:
        return WriteRow8<PackA2R2G2B2>;
    case tfA8:
        return WriteRow8<PackA8>;
    default:
        return nullptr;
    }
}

} // namespace vorn
