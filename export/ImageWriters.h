// Encoders of a 32-bit bitmap into the bytes of a BMP, PNG or JPEG file, all in memory.
// A TBitmap32 holds rows top first, 4 bytes per pixel in the order blue, green, red, alpha (the
// memory layout of an A8R8G8B8 texel). Encoders answer false, with a reason, and never print.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn {

class TBitmap32 {
public:
    TBitmap32() = default;
    // width x height pixels, all zero; a negative size counts as 0.
    TBitmap32(std::int32_t width, std::int32_t height) { Resize(width, height); }

    void Resize(std::int32_t width, std::int32_t height);

    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    bool Empty() const { return m_width == 0 || m_height == 0; }
    // Bytes from one row to the next: 4 * Width, rows are packed.
    std::size_t Pitch() const { return std::size_t(m_width) * 4; }

    // Row y in [0, Height - 1], 0 = top.
    std::uint8_t* Row(std::int32_t y) { return m_bits.data() + std::size_t(y) * Pitch(); }
    const std::uint8_t* Row(std::int32_t y) const { return m_bits.data() + std::size_t(y) * Pitch(); }
    std::uint8_t* Bits() { return m_bits.data(); }
    const std::uint8_t* Bits() const { return m_bits.data(); }

    // Alpha is straight transparency the PNG keeps (colour type 6); false (the default): alpha is
    // left out of the PNG and the JPEG.
    bool HasAlpha() const { return m_alpha; }
    void SetAlpha(bool alpha) { m_alpha = alpha; }

private:
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    bool m_alpha = false;
    std::vector<std::uint8_t> m_bits;
};

// Windows bitmap: 14-byte file header, 40-byte BITMAPINFOHEADER, 32 bits per pixel, BI_RGB, rows
// bottom-up, alpha kept, 2835 pixels per metre (72 dpi) both ways.
bool EncodeBmp(const TBitmap32& bitmap, std::vector<std::uint8_t>& out, std::string* reason = nullptr);

// PNG: 8-bit RGB (alpha dropped; RGBA, colour type 6, when the bitmap HasAlpha), every row filtered with Sub,
// one zlib stream at level 7 cut into IDAT chunks of PngIdatChunkSize bytes (the last one shorter), then
// IEND; no other chunks. A bitmap wider or taller than PngSingleStreamSide has the same chunks and
// colour type, its rows filtered and compressed on all processors instead (export/PngEncoder.h):
// one stream is too slow there.
inline constexpr std::size_t PngIdatChunkSize = 65535;
inline constexpr std::int32_t PngSingleStreamSide = 1024;
bool EncodePng(const TBitmap32& bitmap, std::vector<std::uint8_t>& out, std::string* reason = nullptr);

// Baseline JFIF through libjpeg: RGB input (alpha dropped), jpeg_set_defaults, then
// jpeg_set_quality(quality, force baseline); libjpeg clamps quality to 1..100. The output may
// hold at most outputLimit bytes (0 = no limit); a longer file fails as out of memory, half-way
// through the compression.
bool EncodeJpeg(const TBitmap32& bitmap, int quality, std::vector<std::uint8_t>& out,
                std::string* reason = nullptr, std::size_t outputLimit = 0);

} // namespace vorn
