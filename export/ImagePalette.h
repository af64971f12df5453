// Reading a PNG or JPEG image for its colours: the pixels as 0xAARRGGBB, rows top first (a JPEG
// is opaque, alpha 255). Decoding only; the palette is made from the pixels in gen/Palette.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorn {

// The largest side read, so a hostile header cannot ask for gigabytes.
inline constexpr int MaxPaletteImageSide = 16384;

struct TArgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xAARRGGBB, width * height
    std::string error;                 // one line; empty: decoded
    bool ok() const { return error.empty(); }
};

// Whether bytes start as a PNG or a JPEG file does.
bool IsPaletteImage(std::span<const std::uint8_t> bytes);

// The image in bytes, told apart by their signature: "not a PNG or JPEG image", or the decoder's
// reason ("not a readable PNG image (...)", "not a readable JPEG image (...)").
TArgbImage DecodePaletteImage(std::span<const std::uint8_t> bytes);

} // namespace vorn
