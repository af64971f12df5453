// PNG files decoded by libpng's simplified reader, independent of the project's own encoder.
// Output is 8-bit RGB, three bytes per pixel, rows top first; empty when the input is no PNG.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vorn::test {

namespace detail {

// Finishes a read begun on image; frees it on failure.
inline std::vector<std::uint8_t> FinishPngRgb(png_image& image, int& width, int& height) {
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    width = int(image.width);
    height = int(image.height);
    return rgb;
}

} // namespace detail

inline std::vector<std::uint8_t> DecodePngRgb(const std::vector<std::uint8_t>& file, int& width,
                                              int& height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
    return detail::FinishPngRgb(image, width, height);
}

inline std::vector<std::uint8_t> DecodePngRgb(const std::string& path, int& width, int& height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    return detail::FinishPngRgb(image, width, height);
}

} // namespace vorn::test
