#include "export/ImageWriters.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <jpeglib.h>
// jerror.h needs jpeglib.h first.
#include <jerror.h>
#include <zlib.h>

#include "export/JpegError.h"
#include "export/PngEncoder.h"

namespace vorn {

void TBitmap32::Resize(std::int32_t width, std::int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    m_bits.assign(std::size_t(width) * std::size_t(height) * 4, 0);
    m_width = width;
    m_height = height;
}

namespace {

void SetReason(std::string* reason, const char* text) {
    if (reason) *reason = text;
}

void PutLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

void AppendBe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                               std::uint8_t(v)};
    out.insert(out.end(), b, b + 4);
}

// Length, type, data, CRC-32 of type and data.
void AppendPngChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data,
                    std::size_t size) {
    AppendBe32(out, std::uint32_t(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0) out.insert(out.end(), data, data + size);
    const uLong crc = crc32(0L, out.data() + typeAt, uInt(size + 4));
    AppendBe32(out, std::uint32_t(crc));
}

// One PNG row: the filter type 1 (Sub), then per pixel R, G, B (and A with four channels) minus
// the previous pixel's, mod 256.
template <int Channels> void FilterRowSub(const std::uint8_t* bgra, std::uint8_t* out, std::int32_t width) {
    *out++ = 1;
    std::uint8_t previous[Channels] = {};
    for (std::int32_t x = 0; x < width; ++x, bgra += 4, out += Channels) {
        const std::uint8_t rgba[4] = {bgra[2], bgra[1], bgra[0], bgra[3]};
        for (int k = 0; k < Channels; ++k) {
            out[k] = std::uint8_t(rgba[k] - previous[k]);
            previous[k] = rgba[k];
        }
    }
}

struct DeflateStream {
    z_stream zs{};
    bool open = false;
    ~DeflateStream() {
        if (open) deflateEnd(&zs);
    }
};

// The filtered rows of bitmap as one zlib stream at level 7.
bool DeflateRows(const TBitmap32& bitmap, std::vector<std::uint8_t>& zdata) {
    const std::size_t rowBytes = std::size_t(bitmap.Width()) * (bitmap.HasAlpha() ? 4 : 3) + 1;
    DeflateStream stream;
    if (deflateInit(&stream.zs, 7) != Z_OK) return false;
    stream.open = true;
    z_stream& zs = stream.zs;

    zdata.resize(
        std::max<std::size_t>(deflateBound(&zs, uLong(rowBytes * std::size_t(bitmap.Height()))), 64));
    std::size_t used = 0;
    std::vector<std::uint8_t> row(rowBytes);
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        if (bitmap.HasAlpha())
            FilterRowSub<4>(bitmap.Row(y), row.data(), bitmap.Width());
        else
            FilterRowSub<3>(bitmap.Row(y), row.data(), bitmap.Width());
        const int flush = y + 1 == bitmap.Height() ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = row.data();
        zs.avail_in = uInt(rowBytes);
        int ret = Z_OK;
        do {
            if (used == zdata.size()) zdata.resize(zdata.size() * 2);
            const std::size_t room = std::min<std::size_t>(zdata.size() - used, UINT_MAX);
            zs.next_out = zdata.data() + used;
            zs.avail_out = uInt(room);
            ret = deflate(&zs, flush);
            used += room - zs.avail_out;
            if (ret == Z_STREAM_ERROR) return false;
        } while (zs.avail_in > 0 || zs.avail_out == 0 || (flush == Z_FINISH && ret != Z_STREAM_END));
    }
    zdata.resize(used);
    return true;
}

// ---- JPEG ----
// libjpeg reports a fatal error through error_exit, which must not return: it longjmps back to
// RunJpeg. No frame between the two holds an object with a destructor, and everything that
// needs freeing is owned by EncodeJpeg, so the jump leaks nothing.

using detail::JpegErrorExit;
using detail::JpegErrorManager;
using detail::JpegOutputMessage;

constexpr std::size_t JpegBufferSize = 1 << 16;

// Collects the compressed bytes in a vector, one buffer-full at a time.
struct JpegVectorDestination {
    jpeg_destination_mgr pub;
    std::vector<std::uint8_t>* out;
    JOCTET* buffer;
    std::size_t limit; // 0 = none

    bool Append(std::size_t count) noexcept {
        if (limit > 0 && out->size() + count > limit) return false;
        try {
            out->insert(out->end(), buffer, buffer + count);
            return true;
        } catch (...) {
            return false;
        }
    }
};

JpegVectorDestination* DestinationOf(j_compress_ptr cinfo) {
    return reinterpret_cast<JpegVectorDestination*>(cinfo->dest);
}

void JpegInitDestination(j_compress_ptr cinfo) {
    JpegVectorDestination* dest = DestinationOf(cinfo);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = JpegBufferSize;
}

boolean JpegEmptyOutputBuffer(j_compress_ptr cinfo) {
    JpegVectorDestination* dest = DestinationOf(cinfo);
    if (!dest->Append(JpegBufferSize)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = JpegBufferSize;
    return TRUE;
}

void JpegTermDestination(j_compress_ptr cinfo) {
    JpegVectorDestination* dest = DestinationOf(cinfo);
    if (!dest->Append(JpegBufferSize - dest->pub.free_in_buffer)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 2);
}

struct JpegJob {
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    JpegVectorDestination dest;
    const TBitmap32* bitmap;
    JSAMPLE* row; // 3 * width bytes
    int quality;
};

[[gnu::noinline]] void CompressJpeg(JpegJob& job) {
    jpeg_compress_struct& cinfo = job.cinfo;
    jpeg_create_compress(&cinfo);
    cinfo.dest = &job.dest.pub;
    cinfo.image_width = JDIMENSION(job.bitmap->Width());
    cinfo.image_height = JDIMENSION(job.bitmap->Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, job.quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::int32_t width = job.bitmap->Width();
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* src = job.bitmap->Row(std::int32_t(cinfo.next_scanline));
        JSAMPLE* dst = job.row;
        for (std::int32_t x = 0; x < width; ++x, src += 4, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        JSAMPROW rows[1] = {job.row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
}

// The landing place of error_exit; holds nothing that a jump could skip.
bool RunJpeg(JpegJob& job) {
    if (setjmp(job.error.jump)) return false;
    CompressJpeg(job);
    return true;
}

bool CheckBitmap(const TBitmap32& bitmap, std::string* reason) {
    if (bitmap.Empty()) {
        SetReason(reason, "The image is empty");
        return false;
    }
    return true;
}

} // namespace

bool EncodeBmp(const TBitmap32& bitmap, std::vector<std::uint8_t>& out, std::string* reason) {
    if (!CheckBitmap(bitmap, reason)) return false;
    constexpr std::uint32_t HeadersSize = 14 + 40;
    const std::uint64_t imageSize = std::uint64_t(bitmap.Pitch()) * std::uint64_t(bitmap.Height());
    if (imageSize + HeadersSize > 0xFFFFFFFFu) {
        SetReason(reason, "The image is too large for a BMP file");
        return false;
    }
    try {
        std::vector<std::uint8_t> file(HeadersSize + imageSize);
        std::uint8_t* h = file.data();
        // BITMAPFILEHEADER
        h[0] = 'B';
        h[1] = 'M';
        PutLe32(h + 2, std::uint32_t(file.size())); // bfSize
        PutLe32(h + 6, 0);                          // bfReserved1, bfReserved2
        PutLe32(h + 10, HeadersSize);               // bfOffBits
        // BITMAPINFOHEADER
        PutLe32(h + 14, 40);                             // biSize
        PutLe32(h + 18, std::uint32_t(bitmap.Width()));  // biWidth
        PutLe32(h + 22, std::uint32_t(bitmap.Height())); // biHeight > 0: bottom-up rows
        PutLe16(h + 26, 1);                              // biPlanes
        PutLe16(h + 28, 32);                             // biBitCount
        PutLe32(h + 30, 0);                              // biCompression = BI_RGB
        PutLe32(h + 34, std::uint32_t(imageSize));       // biSizeImage
        PutLe32(h + 38, 2835);                           // biXPelsPerMeter (72 dpi)
        PutLe32(h + 42, 2835);                           // biYPelsPerMeter
        PutLe32(h + 46, 0);                              // biClrUsed: no colour table
        PutLe32(h + 50, 0);                              // biClrImportant
        std::uint8_t* dst = h + HeadersSize;
        for (std::int32_t y = bitmap.Height() - 1; y >= 0; --y, dst += bitmap.Pitch())
            std::memcpy(dst, bitmap.Row(y), bitmap.Pitch());
        out.swap(file);
        return true;
    } catch (const std::bad_alloc&) {
        SetReason(reason, "Out of memory");
        return false;
    }
}

bool EncodePng(const TBitmap32& bitmap, std::vector<std::uint8_t>& out, std::string* reason) {
    if (!CheckBitmap(bitmap, reason)) return false;
    if (bitmap.Width() > PngSingleStreamSide || bitmap.Height() > PngSingleStreamSide)
        return EncodePngImage(PngBitmapRows(bitmap, bitmap.HasAlpha()), {}, out, reason);
    try {
        std::vector<std::uint8_t> zdata;
        if (!DeflateRows(bitmap, zdata)) {
            SetReason(reason, "Compressing the image failed");
            return false;
        }
        std::vector<std::uint8_t> file;
        const std::size_t chunks = (zdata.size() + PngIdatChunkSize - 1) / PngIdatChunkSize;
        file.reserve(8 + 25 + zdata.size() + chunks * 12 + 12);
        static const std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        file.insert(file.end(), Signature, Signature + 8);

        std::uint8_t ihdr[13] = {};
        const std::uint32_t w = std::uint32_t(bitmap.Width()), h = std::uint32_t(bitmap.Height());
        for (int i = 0; i < 4; ++i) {
            ihdr[i] = std::uint8_t(w >> (24 - 8 * i));
            ihdr[4 + i] = std::uint8_t(h >> (24 - 8 * i));
        }
        // Colour type: truecolour RGBA where the bitmap keeps its alpha, else RGB.
        const std::uint8_t colourType = bitmap.HasAlpha() ? 6 : 2;
        ihdr[8] = 8; // bit depth
        ihdr[9] = colourType;
        ihdr[10] = 0; // compression method
        ihdr[11] = 0; // filter method
        ihdr[12] = 0; // interlace method: none
        AppendPngChunk(file, "IHDR", ihdr, sizeof ihdr);
        for (std::size_t at = 0; at < zdata.size(); at += PngIdatChunkSize)
            AppendPngChunk(file, "IDAT", zdata.data() + at, std::min(PngIdatChunkSize, zdata.size() - at));
        AppendPngChunk(file, "IEND", nullptr, 0);
        out.swap(file);
        return true;
    } catch (const std::bad_alloc&) {
        SetReason(reason, "Out of memory");
        return false;
    }
}

bool EncodeJpeg(const TBitmap32& bitmap, int quality, std::vector<std::uint8_t>& out, std::string* reason,
                std::size_t outputLimit) {
    if (!CheckBitmap(bitmap, reason)) return false;
    if (bitmap.Width() > JPEG_MAX_DIMENSION || bitmap.Height() > JPEG_MAX_DIMENSION) {
        SetReason(reason, "The image is too large for a JPEG file");
        return false;
    }
    try {
        std::vector<std::uint8_t> file;
        std::vector<JSAMPLE> row(std::size_t(bitmap.Width()) * 3);
        std::vector<JOCTET> buffer(JpegBufferSize);
        auto job = std::make_unique<JpegJob>();
        job->cinfo.err = jpeg_std_error(&job->error.pub);
        job->error.pub.error_exit = JpegErrorExit;
        job->error.pub.output_message = JpegOutputMessage;
        job->dest.pub.init_destination = JpegInitDestination;
        job->dest.pub.empty_output_buffer = JpegEmptyOutputBuffer;
        job->dest.pub.term_destination = JpegTermDestination;
        job->dest.out = &file;
        job->dest.buffer = buffer.data();
        job->dest.limit = outputLimit;
        job->bitmap = &bitmap;
        job->row = row.data();
        job->quality = quality;

        // Frees libjpeg's memory on every path; safe on a struct that creation never reached.
        struct Destroyer {
            jpeg_compress_struct* cinfo;
            ~Destroyer() { jpeg_destroy_compress(cinfo); }
        } destroyer{&job->cinfo};

        if (!RunJpeg(*job)) {
            if (reason) *reason = job->error.message;
            return false;
        }
        out.swap(file);
        return true;
    } catch (const std::bad_alloc&) {
        SetReason(reason, "Out of memory");
        return false;
    }
}

} // namespace vorn
