// Texel formats: the expansion table, format tables, RowToArgb and the ARGB row writers.
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "pixel/VornTexels.h"

namespace vorn {
namespace {

constexpr TTexelFormat WrittenFormats[] = {tfR3G3B2,   tfR5G6B5,   tfX8R8G8B8, tfX1R5G5B5,
                                           tfX4R4G4B4, tfA8R8G8B8, tfA1R5G5B5, tfA4R4G4B4,
                                           tfA8R3G3B2, tfA2R2G2B2, tfA8};

std::uint32_t ToArgb(std::uint32_t texel, TTexelFormat format) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(texel), static_cast<std::uint8_t>(texel >> 8),
                                   static_cast<std::uint8_t>(texel >> 16),
                                   static_cast<std::uint8_t>(texel >> 24)};
    std::uint32_t argb = 0;
    RowToArgb(bytes, &argb, 1, format);
    return argb;
}

std::uint32_t FromArgb(std::uint32_t argb, TTexelFormat format) {
    std::uint8_t bytes[4] = {};
    ArgbRowWriter(format)(&argb, bytes, 1);
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// Bits of a texel that carry a channel (the filler bits of the X formats excluded).
std::uint32_t ChannelBits(TTexelFormat format) {
    const TChannelLayout l = ChannelLayout(format);
    const int total = l.Blue + l.Green + l.Red + l.Alpha;
    return total == 32 ? 0xFFFFFFFFu : (1u << total) - 1u;
}

// What a writer puts into the filler bits.
std::uint32_t FillerBits(TTexelFormat format) {
    return format == tfX8R8G8B8 ? 0xFF000000u : 0u;
}

void ExpectRoundTrip(std::uint32_t texel, TTexelFormat format) {
    const std::uint32_t expected = (texel & ChannelBits(format)) | FillerBits(format);
    const std::uint32_t argb = ToArgb(texel, format);
    const std::uint32_t back = FromArgb(argb, format);
    ASSERT_EQ(back, expected) << std::hex << "format " << int(format) << ", texel 0x" << texel
                              << " -> ARGB 0x" << argb;
}

TEST(ExpandTable, EqualsTheRoundedFormula) {
    for (int v = 0; v < 256; ++v) EXPECT_EQ(ExpandTable[0][v], 255) << "width 0, value " << v;
    for (int n = 1; n <= 8; ++n) {
        const int top = (1 << n) - 1;
        for (int v = 0; v < 256; ++v) {
            const int low = v & top;
            const long expected = std::lround(low * 255.0 / top);
            ASSERT_EQ(ExpandTable[n][v], expected) << "width " << n << ", value " << v;
            ASSERT_EQ(ExpandChannel(n, static_cast<std::uint32_t>(v)), expected)
                << "width " << n << ", value " << v;
            // The channel's bits come back as the top bits of the byte.
            ASSERT_EQ(ExpandTable[n][low] >> (8 - n), low) << "width " << n << ", value " << low;
        }
    }
}

TEST(ExpandTable, KnownRowsAndOddWidths) {
    const std::uint8_t three[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    for (int v = 0; v < 8; ++v) EXPECT_EQ(ExpandChannel(3, v), three[v]);
    const std::uint8_t five[5] = {0, 8, 16, 25, 33};
    for (int v = 0; v < 5; ++v) EXPECT_EQ(ExpandChannel(5, v), five[v]);
    EXPECT_EQ(ExpandChannel(0, 0), 255);
    EXPECT_EQ(ExpandChannel(9, 3), 255);
    EXPECT_EQ(ExpandChannel(-1, 3), 255);
    EXPECT_EQ(ExpandChannel(8, 0x1AB), 0xAB);
}

TEST(FormatTables, SizesAndLayouts) {
    struct Row {
        TTexelFormat format;
        std::int32_t bytes;
        TChannelLayout layout;
    };
    const Row rows[] = {
        {tfR3G3B2, 1, {3, 3, 2, 0}},   {tfR5G6B5, 2, {5, 6, 5, 0}},   {tfX8R8G8B8, 4, {8, 8, 8, 0}},
        {tfX1R5G5B5, 2, {5, 5, 5, 0}}, {tfX4R4G4B4, 2, {4, 4, 4, 0}}, {tfA8R8G8B8, 4, {8, 8, 8, 8}},
        {tfA1R5G5B5, 2, {5, 5, 5, 1}}, {tfA4R4G4B4, 2, {4, 4, 4, 4}}, {tfA8R3G3B2, 2, {3, 3, 2, 8}},
        {tfA2R2G2B2, 1, {2, 2, 2, 2}}, {tfA8, 1, {0, 0, 0, 8}},       {tfUnknown, 0, {0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(BytesPerTexel(r.format), r.bytes) << "format " << int(r.format);
        EXPECT_EQ(ChannelLayout(r.format), r.layout) << "format " << int(r.format);
    }
    for (int f : {12, 100, 255}) {
        EXPECT_EQ(BytesPerTexel(static_cast<TTexelFormat>(f)), 0);
        EXPECT_EQ(ChannelLayout(static_cast<TTexelFormat>(f)), TChannelLayout{});
    }
}

TEST(FormatTables, TexelFormatOfDeviceCodes) {
    const std::pair<std::uint32_t, TTexelFormat> known[] = {
        {27, tfR3G3B2},   {23, tfR5G6B5},   {22, tfX8R8G8B8}, {24, tfX1R5G5B5}, {30, tfX4R4G4B4},
        {21, tfA8R8G8B8}, {25, tfA1R5G5B5}, {26, tfA4R4G4B4}, {29, tfA8R3G3B2}, {28, tfA8},
    };
    for (const auto& [code, format] : known) EXPECT_EQ(TexelFormatOf(code), format) << "code " << code;
    for (std::uint32_t code : {20u, 0u, 0xFFFFFFFFu, 31u, 19u, 71u, 80u, 101u})
        EXPECT_EQ(TexelFormatOf(code), tfUnknown) << "code " << code;
}

TEST(FormatTables, CompatibleOnlyWithinTheSameLayout) {
    const auto sameFamily = [](int a, int b) {
        const auto in = [&](int x, int y) { return (a == x || a == y) && (b == x || b == y); };
        return a == b || in(tfX8R8G8B8, tfA8R8G8B8) || in(tfX4R4G4B4, tfA4R4G4B4);
    };
    for (int a = 0; a <= tfUnknown; ++a)
        for (int b = 0; b <= tfUnknown; ++b)
            EXPECT_EQ(FormatsCompatible(static_cast<TTexelFormat>(a), static_cast<TTexelFormat>(b)),
                      sameFamily(a, b))
                << "formats " << a << ", " << b;
    EXPECT_FALSE(FormatsCompatible(tfX1R5G5B5, tfA1R5G5B5));
    EXPECT_TRUE(FormatsCompatible(tfA8R8G8B8, tfX8R8G8B8));
    // Values past the table are unknown and not compatible with a real format.
    EXPECT_FALSE(FormatsCompatible(static_cast<TTexelFormat>(12), tfA8R8G8B8));
}

TEST(RowToArgb, KnownTexels) {
    EXPECT_EQ(ToArgb(0xF800, tfR5G6B5), 0xFFFF0000u);
    EXPECT_EQ(ToArgb(0x8F00, tfA4R4G4B4), 0x88FF0000u);
    EXPECT_EQ(ToArgb(0xC0, tfR3G3B2), 0xFFFF0000u);
    EXPECT_EQ(ToArgb(0x40, tfA8), 0x40FFFFFFu);
}

// Each texel holds blue 1, green 2, red 3 (alpha 1 or a full byte where present), placed by the
// bit positions of each format, so a swapped or shifted channel shows.
TEST(RowToArgb, ChannelPositionsPerFormat) {
    struct Case {
        TTexelFormat format;
        std::uint32_t texel;
        std::uint32_t argb;
    };
    const Case cases[] = {
        {tfR3G3B2, 0xD1, 0xFFFF4924u},         // b 1 -> 36, g 2 -> 73, r 3 -> 255
        {tfR5G6B5, 0x1841, 0xFF190808u},       // b 1/31 -> 8, g 2/63 -> 8, r 3/31 -> 25
        {tfX8R8G8B8, 0x5A123456, 0xFF123456u}, // filler ignored, alpha opaque
        {tfX1R5G5B5, 0x8C41, 0xFF191008u},     // b 8, g 2/31 -> 16, r 25; filler ignored
        {tfX4R4G4B4, 0xF321, 0xFF332211u},     // nibbles repeated; filler ignored
        {tfA8R8G8B8, 0x12345678, 0x12345678u},
        {tfA1R5G5B5, 0x0C41, 0x00191008u},
        {tfA1R5G5B5, 0x8C41, 0xFF191008u},
        {tfA4R4G4B4, 0x4321, 0x44332211u},
        {tfA8R3G3B2, 0x7FD1, 0x7FFF4924u},
        {tfA2R2G2B2, 0x79, 0x55FFAA55u}, // b 1 -> 85, g 2 -> 170, r 3 -> 255, a 1 -> 85
        {tfA8, 0x00, 0x00FFFFFFu},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToArgb(c.texel, c.format), c.argb)
            << std::hex << "format " << int(c.format) << ", texel 0x" << c.texel;
}

TEST(RowToArgb, WholeRowsAdvanceByTheTexelSize) {
    // Three R5G6B5 texels starting at an odd address.
    const std::uint8_t bytes[7] = {0xEE, 0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00};
    std::uint32_t out[3] = {};
    RowToArgb(bytes + 1, out, 3, tfR5G6B5);
    EXPECT_EQ(out[0], 0xFFFF0000u);
    EXPECT_EQ(out[1], 0xFF00FF00u);
    EXPECT_EQ(out[2], 0xFF0000FFu);

    const std::uint8_t argb[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    std::uint32_t copied[2] = {};
    RowToArgb(argb, copied, 2, tfA8R8G8B8);
    EXPECT_EQ(copied[0], 0x04030201u);
    EXPECT_EQ(copied[1], 0x08070605u);

    const std::uint8_t alphas[3] = {0x00, 0x80, 0xFF};
    std::uint32_t white[3] = {};
    RowToArgb(alphas, white, 3, tfA8);
    EXPECT_EQ(white[0], 0x00FFFFFFu);
    EXPECT_EQ(white[1], 0x80FFFFFFu);
    EXPECT_EQ(white[2], 0xFFFFFFFFu);
}

TEST(RowToArgb, UnknownFormatReadsNothing) {
    std::uint32_t out[4] = {1, 2, 3, 4};
    RowToArgb(nullptr, out, 3, tfUnknown);
    EXPECT_EQ(out[0], 0xFFFFFFFFu);
    EXPECT_EQ(out[1], 0xFFFFFFFFu);
    EXPECT_EQ(out[2], 0xFFFFFFFFu);
    EXPECT_EQ(out[3], 4u);
    RowToArgb(nullptr, out, 1, static_cast<TTexelFormat>(200));
    EXPECT_EQ(out[0], 0xFFFFFFFFu);
    RowToArgb(nullptr, out, 0, tfA8R8G8B8);
    RowToArgb(nullptr, out, -5, tfR5G6B5);
}

TEST(ArgbRowWriter, KnownPacks) {
    EXPECT_EQ(FromArgb(0xFF808080u, tfR5G6B5), 0x8410u);
    EXPECT_EQ(FromArgb(0x00123456u, tfX8R8G8B8), 0xFF123456u);
    // a 0xC0, r 0xA0, g 0x60, b 0x30, packed by each format's table.
    const std::uint32_t c = 0xC0A06030u;
    EXPECT_EQ(FromArgb(c, tfR3G3B2), 0x99u);
    EXPECT_EQ(FromArgb(c, tfR5G6B5), 0xA306u);
    EXPECT_EQ(FromArgb(c, tfX8R8G8B8), 0xFFA06030u);
    EXPECT_EQ(FromArgb(c, tfX1R5G5B5), 0x5186u);
    EXPECT_EQ(FromArgb(c, tfX4R4G4B4), 0x0A63u);
    EXPECT_EQ(FromArgb(c, tfA8R8G8B8), 0xC0A06030u);
    EXPECT_EQ(FromArgb(c, tfA1R5G5B5), 0xD186u);
    EXPECT_EQ(FromArgb(c, tfA4R4G4B4), 0xCA63u);
    EXPECT_EQ(FromArgb(c, tfA8R3G3B2), 0xC099u);
    EXPECT_EQ(FromArgb(c, tfA2R2G2B2), 0xE4u);
    EXPECT_EQ(FromArgb(c, tfA8), 0xC0u);
}

TEST(ArgbRowWriter, WritesExactlyTheRow) {
    const std::uint32_t source[3] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    for (TTexelFormat format : WrittenFormats) {
        const int size = BytesPerTexel(format);
        std::vector<std::uint8_t> dest(3 * size + 2, 0x5A);
        ArgbRowWriter(format)(source, dest.data() + 1, 3);
        EXPECT_EQ(dest.front(), 0x5A) << "format " << int(format);
        EXPECT_EQ(dest.back(), 0x5A) << "format " << int(format);
        EXPECT_NE(dest[1], 0x5A) << "format " << int(format);        // first byte of the row
        EXPECT_NE(dest[3 * size], 0x5A) << "format " << int(format); // last byte of the row
    }
}

TEST(ArgbRowWriter, NoWriterForUnknown) {
    EXPECT_EQ(ArgbRowWriter(tfUnknown), nullptr);
    EXPECT_EQ(ArgbRowWriter(static_cast<TTexelFormat>(12)), nullptr);
    EXPECT_EQ(ArgbRowWriter(static_cast<TTexelFormat>(255)), nullptr);
    for (TTexelFormat format : WrittenFormats) EXPECT_NE(ArgbRowWriter(format), nullptr);
}

TEST(RoundTrip, EveryTexelOfTheSmallFormats) {
    for (TTexelFormat format : WrittenFormats) {
        const int bytes = BytesPerTexel(format);
        if (bytes > 2) continue;
        const std::uint32_t end = 1u << (8 * bytes);
        for (std::uint32_t t = 0; t < end; ++t) ASSERT_NO_FATAL_FAILURE(ExpectRoundTrip(t, format));
    }
}

TEST(RoundTrip, DenseSampleOfThe32BitFormats) {
    for (TTexelFormat format : {tfX8R8G8B8, tfA8R8G8B8}) {
        // Every value of each byte alone, then a spread of a million values.
        for (int shift = 0; shift < 32; shift += 8)
            for (std::uint32_t v = 0; v < 256; ++v)
                ASSERT_NO_FATAL_FAILURE(ExpectRoundTrip(v << shift, format));
        for (std::uint32_t k = 0; k < (1u << 20); ++k)
            ASSERT_NO_FATAL_FAILURE(ExpectRoundTrip(k * 2654435761u + (k >> 7), format));
    }
}

TEST(RoundTrip, ArgbThroughA4R4G4B4RepeatsTheTopNibble) {
    for (std::uint32_t v = 0; v < 256; ++v) {
        const std::uint32_t nibbles = (v >> 4) * 0x11u;
        for (int shift = 0; shift < 32; shift += 8) {
            // One channel set, the others 0, which comes back as 0.
            const std::uint32_t argb = v << shift;
            ASSERT_EQ(ToArgb(FromArgb(argb, tfA4R4G4B4), tfA4R4G4B4), nibbles << shift)
                << std::hex << "ARGB 0x" << argb;
        }
    }
    EXPECT_EQ(ToArgb(FromArgb(0xABABABABu, tfA4R4G4B4), tfA4R4G4B4), 0xAAAAAAAAu);
}

} // namespace
} // namespace vorn
