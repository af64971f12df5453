// Reading a PNG or JPEG image for its colours: its pixels on a regular grid as 0xAARRGGBB (a JPEG
// is opaque, alpha 255), rows top first. The image is decoded once, a row at a time, and only the
// grid's pixels are kept, so the memory a file takes does not grow with the size its header
// declares. Decoding only; the palette is made from the pixels in gen/Palette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorn {

// The largest side read, so a hostile header cannot ask for a decode of minutes.
inline constexpr int MaxPaletteImageSide = 16384;

// The most a progressive JPEG may ask libjpeg for: such a file keeps every coefficient of the
// image until its last scan, 2 bytes a pixel for each full-size component (3 for a usual colour
// photograph, so one of more than about 16 megapixels is refused). A baseline JPEG needs none.
inline constexpr std::size_t MaxPaletteJpegMemory = std::size_t(48) << 20;

// The grid of a width x height image: every step-th column of every step-th row from the top
// left, step the smallest that keeps the grid within maxPixels (1 when the image does).
std::size_t PaletteGridStep(std::size_t width, std::size_t height, std::size_t maxPixels);

struct TImageGrid {
    int width = 0; // the image's size
    int height = 0;
    std::size_t step = 1;              // the grid's, PaletteGridStep(width, height, maxPixels)
    std::vector<std::uint32_t> pixels; // 0xAARRGGBB, ceil(width / step) a row, row by row
    std::string error;                 // one line; empty: read
    bool ok() const { return error.empty(); }
};

// Whether bytes start as a PNG or a JPEG file does.
bool IsPaletteImage(std::span<const std::uint8_t> bytes);

// The image in bytes, told apart by their signature, on the grid of at most maxPixels. The pixels
// are those a whole-image decode gives (libpng's simplified reader for a PNG, 8-bit sRGB; libjpeg's
// RGB for a JPEG). Errors: "not a PNG or JPEG image", the decoder's reason ("not a readable PNG
// image (...)", "not a readable JPEG image (...)"), a side over MaxPaletteImageSide, a progressive
// JPEG over MaxPaletteJpegMemory.
TImageGrid ReadPaletteImageGrid(std::span<const std::uint8_t> bytes, std::size_t maxPixels);

} // namespace vorn
