// PNG files from rows of samples, filtered and compressed on several threads: the encoder of the
// maps and of textures larger than 1024 pixels a side.
//
// Every row is filtered with Paeth (type 4). The filtered rows are cut into groups of PngGroupRows
// rows (about PngGroupBytes bytes, set by the row size alone), and each group is compressed on its
// own as raw deflate with zlib's run-length strategy (Z_RLE), ended by a sync flush (the last by
// Z_FINISH); the groups' adler32 sums are combined with adler32_combine, so the groups joined form
// one zlib stream. Neither the groups nor their bytes depend on the thread count: the file is
// the same for any count. Z_RLE only repeats the byte before, so cutting the rows into groups
// costs almost nothing, and on Paeth rows it compresses these images as well as level 6 at several
// times the speed. (libdeflate's level 1 is about twice as fast, its files 10-15 % larger, and it
// cannot end a stream without the final-block mark, so its groups cannot form the one stream PNG
// allows.)
//
// Memory: per thread, two rows and one group's filtered and compressed bytes; besides those, the
// compressed groups until they are copied into the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/ImageWriters.h"

namespace vorn {

// IHDR's bit depth and colour type: 8-bit grey, 16-bit grey, 8-bit RGB, 8-bit RGBA.
enum class TPngColour { Grey8, Grey16, Rgb8, Rgba8 };

// Bytes per pixel of colour: 1, 2, 3 or 4.
int PngPixelBytes(TPngColour colour);

// The rows of an image. row(y, out) writes row y (0 = top) as PNG stores it: width *
// PngPixelBytes(colour) bytes, grey or red, green, blue (and alpha), 16-bit samples big-endian.
// It is called from several threads at once and may be called more than once for a row, so it
// must only read what it shares.
struct TPngImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    TPngColour colour = TPngColour::Rgb8;
    std::function<void(std::int32_t y, std::uint8_t* out)> row;
};

// A chunk written after IHDR and before the image data (sRGB, gAMA, tEXt, ...).
struct TPngChunk {
    std::array<char, 4> type{};     // four ASCII letters
    std::vector<std::uint8_t> data; // at most 2^31 - 1 bytes
};

struct TPngOptions {
    int threads = 0; // 0: one per processor, at most 8 (BandCount)
    std::vector<TPngChunk> chunks;
};

// The rows of a group are the fewest whose filtered bytes (one filter byte and the row's) reach
// PngGroupBytes, and at least one.
inline constexpr std::size_t PngGroupBytes = std::size_t(1) << 17;
std::int32_t PngGroupRows(std::int32_t width, TPngColour colour);

// The PNG file of image: signature, IHDR (no interlace), options.chunks in their order, the
// image data in IDAT chunks of PngIdatChunkSize bytes (the last one shorter), IEND. False, with a
// reason, for an empty image, a chunk type that is not four letters, or no memory.
bool EncodePngImage(const TPngImage& image, const TPngOptions& options, std::vector<std::uint8_t>& out,
                    std::string* reason = nullptr);

// Row sources for EncodePngImage; they refer to the caller's pixels, which must outlive them.
// A bitmap as RGB (alpha dropped) or RGBA.
TPngImage PngBitmapRows(const TBitmap32& bitmap, bool alpha);
// width * height samples, rows packed, top first.
TPngImage PngGrey8Rows(std::int32_t width, std::int32_t height, const std::uint8_t* values);
TPngImage PngGrey16Rows(std::int32_t width, std::int32_t height, const std::uint16_t* values);

} // namespace vorn
