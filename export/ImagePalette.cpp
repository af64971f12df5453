#include "export/ImagePalette.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
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

// The grid of a width x height image, its pixels not yet read.
void StartGrid(TImageGrid& grid, std::size_t width, std::size_t height, std::size_t maxPixels) {
    grid.width = static_cast<int>(width);
    grid.height = static_cast<int>(height);
    grid.step = PaletteGridStep(width, height, maxPixels);
    grid.pixels.assign(((width + grid.step - 1) / grid.step) * ((height + grid.step - 1) / grid.step), 0);
}

// ---- PNG ----
// Rows come from libpng's low-level reader set up as its simplified reader sets itself up for
// 8-bit BGRA, so each pixel is the one a whole-image read gives. libpng reports a fatal error
// through the error callback, which longjmps back to RunPng; as for JPEG below, no frame between
// the two holds an object with a destructor.

struct PngJob {
    png_structp png;
    png_infop info;
    std::span<const std::uint8_t> bytes;
    std::size_t at; // read so far
    std::size_t maxPixels;
    TImageGrid* grid;
    std::vector<png_byte>* row;
    std::jmp_buf jump;
    char message[64]; // as long as the simplified reader keeps
    bool tooLarge;
};

void PngError(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", message);
    std::longjmp(job->jump, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, std::size_t count) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (count > job->bytes.size() - job->at) png_error(png, "read beyond end of data");
    std::memcpy(out, job->bytes.data() + job->at, count);
    job->at += count;
}

[[gnu::noinline]] void DecompressPng(PngJob& job) {
    png_structp png = job.png;
    png_infop info = job.info;
    png_set_read_fn(png, &job, PngRead);
    png_set_benign_errors(png, 1);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (!SizeFits(width, height)) {
        job.tooLarge = true;
        return;
    }
    const png_byte colorType = png_get_color_type(png, info);
    const bool sixteen = png_get_bit_depth(png, info) == 16;
    const bool alpha =
        (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    // The simplified reader's steps for 8-bit sRGB BGRA: palettes, low depths and tRNS expanded,
    // grey to RGB, 16-bit samples taken as linear light (unless the file says otherwise) and
    // scaled to 8-bit sRGB, an opaque alpha added where there is none, blue first.
    png_set_expand(png);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    png_set_alpha_mode_fixed(png, PNG_ALPHA_PNG, sixteen ? PNG_GAMMA_LINEAR : PNG_DEFAULT_sRGB);
    if (sixteen) png_set_scale_16(png);
    if (!alpha) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_alpha_mode_fixed(png, PNG_ALPHA_PNG, PNG_DEFAULT_sRGB);
    png_set_bgr(png);
    // An interlaced image is read as its seven passes, each a small image of its own, and each
    // pixel is taken from the pass that holds it (libpng's interlace handling would spread every
    // row of every pass over a whole row first).
    const bool interlaced = png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7;
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(width) * 4) png_error(png, "unexpected row size");

    StartGrid(*job.grid, width, height, job.maxPixels);
    const std::size_t step = job.grid->step, across = (width + step - 1) / step;
    job.row->resize(std::size_t(width) * 4);
    png_bytep row = job.row->data();
    std::uint32_t* pixels = job.grid->pixels.data();
    for (int pass = 0; pass < (interlaced ? PNG_INTERLACE_ADAM7_PASSES : 1); ++pass) {
        const png_uint_32 rows = interlaced ? PNG_PASS_ROWS(height, pass) : height;
        const png_uint_32 columns = interlaced ? PNG_PASS_COLS(width, pass) : width;
        if (rows == 0 || columns == 0) continue; // libpng skips an empty pass
        for (png_uint_32 r = 0; r < rows; ++r) {
            png_read_row(png, row, nullptr);
            const std::size_t y = interlaced ? PNG_ROW_FROM_PASS_ROW(r, pass) : r;
            if (y % step != 0) continue;
            std::uint32_t* out = pixels + (y / step) * across;
            for (png_uint_32 c = 0; c < columns; ++c) {
                const std::size_t x = interlaced ? PNG_COL_FROM_PASS_COL(c, pass) : c;
                if (x % step != 0) continue;
                // Bytes blue, green, red, alpha.
                const png_byte* p = row + 4 * std::size_t(c);
                out[x / step] = (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) |
                                (std::uint32_t(p[1]) << 8) | p[0];
            }
        }
    }
}

// The landing place of the error callback; holds nothing that a jump could skip.
bool RunPng(PngJob& job) {
    if (setjmp(job.jump)) return false;
    DecompressPng(job);
    return true;
}

TImageGrid ReadPng(std::span<const std::uint8_t> bytes, std::size_t maxPixels) {
    TImageGrid grid;
    if (!PngChunksFit(bytes)) {
        grid.error = "not a readable PNG image (a chunk is longer than the file)";
        return grid;
    }
    std::vector<png_byte> row;
    PngJob job{};
    job.bytes = bytes;
    job.maxPixels = maxPixels;
    job.grid = &grid;
    job.row = &row;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, PngError, PngWarning);
    if (job.png) job.info = png_create_info_struct(job.png);
    if (!job.info) {
        png_destroy_read_struct(&job.png, nullptr, nullptr);
        return {0, 0, 1, {}, "not a readable PNG image (out of memory)"};
    }
    const bool done = RunPng(job);
    const std::uint64_t width = png_get_image_width(job.png, job.info);
    const std::uint64_t height = png_get_image_height(job.png, job.info);
    png_destroy_read_struct(&job.png, &job.info, nullptr);
    if (!done) return {0, 0, 1, {}, std::string("not a readable PNG image (") + job.message + ")"};
    if (job.tooLarge) return {0, 0, 1, {}, SizeFault(width, height)};
    return grid;
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
    std::size_t maxPixels;
    TImageGrid* grid;
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
    // A single-scan file is decoded a few rows at a time; a progressive one needs its whole
    // coefficient store, which libjpeg refuses to make beyond this (it has no disk to spill to).
    cinfo.mem->max_memory_to_use = static_cast<long>(MaxPaletteJpegMemory);
    jpeg_start_decompress(&cinfo);
    const std::size_t width = cinfo.output_width, height = cinfo.output_height;
    StartGrid(*job.grid, width, height, job.maxPixels);
    const std::size_t step = job.grid->step, across = (width + step - 1) / step;
    job.row->resize(width * 3);
    std::uint32_t* pixels = job.grid->pixels.data();
    while (cinfo.output_scanline < height) {
        const std::size_t y = cinfo.output_scanline;
        JSAMPROW rows[1] = {job.row->data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        if (y % step != 0) continue;
        std::uint32_t* out = pixels + (y / step) * across;
        for (std::size_t x = 0; x < width; x += step, ++out) {
            const JSAMPLE* p = job.row->data() + 3 * x;
            *out = 0xFF000000u | (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
        }
    }
    jpeg_finish_decompress(&cinfo);
}

// The landing place of error_exit; holds nothing that a jump could skip.
bool RunJpeg(JpegJob& job) {
    if (setjmp(job.error.jump)) return false;
    DecompressJpeg(job);
    return true;
}

TImageGrid ReadJpeg(std::span<const std::uint8_t> bytes, std::size_t maxPixels) {
    TImageGrid grid;
    std::vector<JSAMPLE> row;
    JpegJob job{};
    job.bytes = bytes;
    job.maxPixels = maxPixels;
    job.grid = &grid;
    job.row = &row;
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = JpegErrorExit;
    job.error.pub.output_message = JpegOutputMessage;
    jpeg_create_decompress(&job.cinfo);
    const bool done = RunJpeg(job);
    const std::uint64_t width = job.cinfo.image_width, height = job.cinfo.image_height;
    const int code = job.error.pub.msg_code;
    jpeg_destroy_decompress(&job.cinfo);
    if (!done && code == JERR_NO_BACKING_STORE)
        return {0,
                0,
                1,
                {},
                "a progressive JPEG of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels needs more than " + std::to_string(MaxPaletteJpegMemory >> 20) + " MiB to read"};
    if (!done) return {0, 0, 1, {}, std::string("not a readable JPEG image (") + job.error.message + ")"};
    if (job.tooLarge) return {0, 0, 1, {}, SizeFault(width, height)};
    return grid;
}

bool IsPngImage(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::equal(bytes.begin(), bytes.begin() + 8, PngSignature);
}

bool IsJpegImage(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

} // namespace

std::size_t PaletteGridStep(std::size_t width, std::size_t height, std::size_t maxPixels) {
    maxPixels = std::max<std::size_t>(maxPixels, 1);
    std::size_t step = 1;
    while (((width + step - 1) / step) * ((height + step - 1) / step) > maxPixels) ++step;
    return step;
}

bool IsPaletteImage(std::span<const std::uint8_t> bytes) {
    return IsPngImage(bytes) || IsJpegImage(bytes);
}

TImageGrid ReadPaletteImageGrid(std::span<const std::uint8_t> bytes, std::size_t maxPixels) {
    if (IsPngImage(bytes)) return ReadPng(bytes, maxPixels);
    if (IsJpegImage(bytes)) return ReadJpeg(bytes, maxPixels);
    return {0, 0, 1, {}, "not a PNG or JPEG image"};
}

} // namespace vorn
