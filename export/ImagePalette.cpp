#include "export/ImagePalette.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include "export/JpegError.h"
#include "io/PngChunks.h"

namespace vorn {

namespace {

std::string SizeFault(std::uint64_t width, std::uint64_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels; a side may be 1 to " +
           std::to_string(MaxPaletteImageSide);
}

bool SizeFits(std::uint64_t width, std::uint64_t height) {
    return width >= 1 && height >= 1 && width <= MaxPaletteImageSide && height <= MaxPaletteImageSide;
}

TArgbImage DecodePng(std::span<const std::uint8_t> bytes) {
    TArgbImage image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!PngChunksFit(bytes)) {
        image.error = "not a readable PNG image (a chunk is longer than the file)";
        return image;
    }
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        image.error = std::string("not a readable PNG image (") + png.message + ")";
        return image;
    }
    if (!SizeFits(png.width, png.height)) {
        image.error = SizeFault(png.width, png.height);
        png_image_free(&png);
        return image;
    }
    // Bytes blue, green, red, alpha: read as a little-endian word, 0xAARRGGBB.
    png.format = PNG_FORMAT_BGRA;
    std::vector<std::uint8_t> bgra(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, bgra.data(), 0, nullptr)) {
        image.error = std::string("not a readable PNG image (") + png.message + ")";
        png_image_free(&png);
        return image;
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.resize(bgra.size() / 4);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const std::uint8_t* p = &bgra[4 * i];
        image.pixels[i] =
            (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
    }
    return image;
}

// ---- JPEG ----
// libjpeg reports a fatal error through error_exit, which must not return: it longjmps back to
// RunJpeg. No frame between the two holds an object with a destructor; the job owns everything.

using detail::JpegErrorExit;
using detail::JpegErrorManager;
using detail::JpegOutputMessage;

struct JpegJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    std::span<const std::uint8_t> bytes;
    TArgbImage* image;
    std::vector<JSAMPLE>* row;
    bool tooLarge;
};

[[gnu::noinline]] void DecompressJpeg(JpegJob& job) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    jpeg_mem_src(&cinfo, job.bytes.data(), static_cast<unsigned long>(job.bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (!SizeFits(cinfo.image_width, cinfo.image_height)) {
        job.tooLarge = true;
        return;
    }
    cinfo.out_color_space = JCS_RGB; // greyscale and YCbCr both come out as RGB
    jpeg_start_decompress(&cinfo);
    const std::size_t width = cinfo.output_width;
    job.row->resize(width * 3);
    job.image->pixels.resize(width * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        const std::size_t y = cinfo.output_scanline;
        JSAMPROW rows[1] = {job.row->data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        const JSAMPLE* p = job.row->data();
        for (std::size_t x = 0; x < width; ++x, p += 3)
            job.image->pixels[y * width + x] =
                0xFF000000u | (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
    }
    job.image->width = static_cast<int>(width);
    job.image->height = static_cast<int>(cinfo.output_height);
    jpeg_finish_decompress(&cinfo);
}

// The landing place of error_exit; holds nothing that a jump could skip.
bool RunJpeg(JpegJob& job) {
    if (setjmp(job.error.jump)) return false;
    DecompressJpeg(job);
    return true;
}

TArgbImage DecodeJpeg(std::span<const std::uint8_t> bytes) {
    TArgbImage image;
    std::vector<JSAMPLE> row;
    JpegJob job{};
    job.bytes = bytes;
    job.image = &image;
    job.row = &row;
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = JpegErrorExit;
    job.error.pub.output_message = JpegOutputMessage;
    jpeg_create_decompress(&job.cinfo);
    const bool done = RunJpeg(job);
    const std::uint64_t width = job.cinfo.image_width, height = job.cinfo.image_height;
    jpeg_destroy_decompress(&job.cinfo);
    if (!done) return {0, 0, {}, std::string("not a readable JPEG image (") + job.error.message + ")"};
    if (job.tooLarge) return {0, 0, {}, SizeFault(width, height)};
    return image;
}

bool IsPngImage(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::equal(bytes.begin(), bytes.begin() + 8, PngSignature);
}

bool IsJpegImage(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

} // namespace

bool IsPaletteImage(std::span<const std::uint8_t> bytes) {
    return IsPngImage(bytes) || IsJpegImage(bytes);
}

TArgbImage DecodePaletteImage(std::span<const std::uint8_t> bytes) {
    if (IsPngImage(bytes)) return DecodePng(bytes);
    if (IsJpegImage(bytes)) return DecodeJpeg(bytes);
    return {0, 0, {}, "not a PNG or JPEG image"};
}

} // namespace vorn
