// BMP, PNG and JPEG encoders: every output decoded by an independent reader (own BMP header parse,
// libpng, libjpeg's decompressor) and its structure checked byte by byte.
#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <zlib.h>

#include "export/EmbeddedRecipe.h"
#include "export/ImageWriters.h"
#include "support/PngChunks.h"
#include "support/PngDecode.h"

namespace vorn {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t Le16(const Bytes& b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}
using test::Be32;
std::uint16_t Be16(const Bytes& b, std::size_t at) {
    return std::uint16_t(b[at] << 8 | b[at + 1]);
}

// Every byte from a seeded linear congruential generator: incompressible noise, alpha included.
TBitmap32 NoiseBitmap(int width, int height, std::uint32_t seed) {
    TBitmap32 bitmap(width, height);
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * 4; ++i) {
            state = state * 1664525u + 1013904223u;
            bitmap.Row(y)[i] = std::uint8_t(state >> 24);
        }
    return bitmap;
}

// Smooth gradients in all three colours; alpha varies too (JPEG must ignore it).
TBitmap32 SmoothBitmap(int width, int height) {
    TBitmap32 bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap.Row(y) + 4 * x;
            p[0] = std::uint8_t((x + y) * 255 / (width + height - 2)); // blue
            p[1] = std::uint8_t(y * 255 / (height - 1));               // green
            p[2] = std::uint8_t(x * 255 / (width - 1));                // red
            p[3] = std::uint8_t(x ^ y);                                // alpha
        }
    return bitmap;
}

// Reports the first pixel whose bytes differ (channels compared: the first `channels` of
// B, G, R, A; decoded holds R, G, B[, A] per pixel as `decodedChannels` bytes).
::testing::AssertionResult SamePixels(const TBitmap32& bitmap, const Bytes& decoded, int decodedChannels,
                                      bool rgbOrder, int channels) {
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            const std::uint8_t* p = bitmap.Row(y) + 4 * x;
            const std::uint8_t* q = decoded.data() + (std::size_t(y) * bitmap.Width() + x) * decodedChannels;
            std::uint8_t want[4] = {p[0], p[1], p[2], p[3]};
            if (rgbOrder) std::swap(want[0], want[2]);
            for (int c = 0; c < channels; ++c)
                if (want[c] != q[c]) {
                    char text[160];
                    std::snprintf(text, sizeof text,
                                  "first difference at pixel (%d, %d) channel %d: expected %d, got %d", x, y,
                                  c, want[c], q[c]);
                    return ::testing::AssertionFailure() << text;
                }
        }
    return ::testing::AssertionSuccess();
}

// ---- BMP ----

TEST(Bmp, HeaderFieldsAndBottomUpRows) {
    const TBitmap32 bitmap = NoiseBitmap(5, 3, 7);
    Bytes file;
    ASSERT_TRUE(EncodeBmp(bitmap, file));
    ASSERT_EQ(file.size(), 54u + 5 * 3 * 4);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 2), 54u + 60u); // file size
    EXPECT_EQ(Le32(file, 6), 0u);        // reserved
    EXPECT_EQ(Le32(file, 10), 54u);      // pixel data offset
    EXPECT_EQ(Le32(file, 14), 40u);      // BITMAPINFOHEADER
    EXPECT_EQ(std::int32_t(Le32(file, 18)), 5);
    EXPECT_EQ(std::int32_t(Le32(file, 22)), 3); // positive: bottom-up
    EXPECT_EQ(Le16(file, 26), 1);               // planes
    EXPECT_EQ(Le16(file, 28), 32);              // bits per pixel
    EXPECT_EQ(Le32(file, 30), 0u);              // BI_RGB
    EXPECT_EQ(Le32(file, 34), 60u);             // image size
    EXPECT_EQ(Le32(file, 38), 2835u);           // 72 dpi
    EXPECT_EQ(Le32(file, 42), 2835u);
    EXPECT_EQ(Le32(file, 46), 0u); // no colour table
    EXPECT_EQ(Le32(file, 50), 0u);
    // File row 0 is the bitmap's last row, 4 bytes B, G, R, A each, unchanged.
    for (int fileRow = 0; fileRow < 3; ++fileRow)
        EXPECT_EQ(0, std::memcmp(file.data() + 54 + fileRow * 20, bitmap.Row(2 - fileRow), 20)) << fileRow;
}

// Decodes a 32-bit BI_RGB BMP by its header into top-first B, G, R, A rows.
Bytes DecodeBmp(const Bytes& file, int& width, int& height) {
    width = std::int32_t(Le32(file, 18));
    height = std::int32_t(Le32(file, 22));
    const std::size_t offset = Le32(file, 10);
    Bytes out(std::size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        std::memcpy(out.data() + std::size_t(y) * width * 4,
                    file.data() + offset + std::size_t(height - 1 - y) * width * 4, std::size_t(width) * 4);
    return out;
}

TEST(Bmp, RoundTripKeepsEveryByteAtBothSizes) {
    for (int size : {64, 1024}) {
        const TBitmap32 bitmap = NoiseBitmap(size, size, 1000u + size);
        Bytes file;
        ASSERT_TRUE(EncodeBmp(bitmap, file));
        EXPECT_EQ(Le32(file, 2), file.size());
        int width = 0, height = 0;
        const Bytes decoded = DecodeBmp(file, width, height);
        ASSERT_EQ(width, size);
        ASSERT_EQ(height, size);
        EXPECT_TRUE(SamePixels(bitmap, decoded, 4, false, 4)) << size;
    }
}

// ---- PNG ----

using test::PngChunk;
using test::PngChunks;

using test::DecodePngRgb;

Bytes Inflate(const Bytes& zdata, std::size_t expectedSize) {
    Bytes out(expectedSize + 1);
    uLongf size = uLongf(out.size());
    if (uncompress(out.data(), &size, zdata.data(), uLong(zdata.size())) != Z_OK) return {};
    out.resize(size);
    return out;
}

TEST(Png, StructureOfA1024NoiseTile) {
    const TBitmap32 bitmap = NoiseBitmap(1024, 1024, 42);
    Bytes file;
    ASSERT_TRUE(EncodePng(bitmap, file));
    const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(0, std::memcmp(file.data(), signature, 8));

    const std::vector<PngChunk> chunks = PngChunks(file);
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    EXPECT_EQ(chunks.back().length, 0u);
    Bytes zdata;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_TRUE(chunks[i].crcValid) << "chunk " << i << " " << chunks[i].type;
        if (i == 0 || i + 1 == chunks.size()) continue;
        ASSERT_EQ(chunks[i].type, "IDAT") << "chunk " << i;
        EXPECT_GT(chunks[i].length, 0u);
        if (i + 2 < chunks.size())
            EXPECT_EQ(chunks[i].length, 65535u) << "IDAT " << i;
        else
            EXPECT_LE(chunks[i].length, 65535u);
        zdata.insert(zdata.end(), file.begin() + chunks[i].dataAt,
                     file.begin() + chunks[i].dataAt + chunks[i].length);
    }
    // Noise does not compress: over 3 MB of image data give at least 48 chunks.
    EXPECT_GE(chunks.size() - 2, 48u);

    const PngChunk& ihdr = chunks.front();
    ASSERT_EQ(ihdr.length, 13u);
    EXPECT_EQ(Be32(file, ihdr.dataAt), 1024u);
    EXPECT_EQ(Be32(file, ihdr.dataAt + 4), 1024u);
    const std::uint8_t rest[5] = {8, 2, 0, 0, 0}; // depth 8, RGB, deflate, filter 0, no interlace
    EXPECT_EQ(0, std::memcmp(file.data() + ihdr.dataAt + 8, rest, 5));

    // One zlib stream; its header says "maximum compression" (levels 7 to 9).
    ASSERT_GE(zdata.size(), 2u);
    EXPECT_EQ(zdata[0], 0x78);
    EXPECT_EQ(zdata[1] >> 6, 3);
    const std::size_t rowBytes = 1024 * 3 + 1;
    const Bytes raw = Inflate(zdata, rowBytes * 1024);
    ASSERT_EQ(raw.size(), rowBytes * 1024);
    // Filter type 1 on every row; undoing Sub gives the bitmap's R, G, B.
    for (int y = 0; y < 1024; ++y) {
        const std::uint8_t* row = raw.data() + std::size_t(y) * rowBytes;
        ASSERT_EQ(row[0], 1) << "row " << y;
        std::uint8_t prev[3] = {0, 0, 0};
        for (int x = 0; x < 1024; ++x) {
            const std::uint8_t* p = bitmap.Row(y) + 4 * x;
            const std::uint8_t want[3] = {p[2], p[1], p[0]};
            for (int c = 0; c < 3; ++c) {
                const std::uint8_t value = std::uint8_t(row[1 + 3 * x + c] + prev[c]);
                ASSERT_EQ(value, want[c]) << "pixel (" << x << ", " << y << ") channel " << c;
                prev[c] = value;
            }
        }
    }
    // Level 7 with zlib's defaults: the same filtered rows compressed at once give the same bytes.
    Bytes again(compressBound(uLong(raw.size())));
    uLongf againSize = uLongf(again.size());
    ASSERT_EQ(compress2(again.data(), &againSize, raw.data(), uLong(raw.size()), 7), Z_OK);
    again.resize(againSize);
    EXPECT_TRUE(again == zdata) << "stream of " << zdata.size() << " bytes, level 7 gives " << again.size();
}

TEST(Png, LibpngDecodesEveryPixel) {
    for (int size : {64, 1024}) {
        const TBitmap32 bitmap = size == 64 ? NoiseBitmap(64, 64, 5) : SmoothBitmap(1024, 1024);
        Bytes file;
        ASSERT_TRUE(EncodePng(bitmap, file));
        int width = 0, height = 0;
        const Bytes rgb = DecodePngRgb(file, width, height);
        ASSERT_FALSE(rgb.empty()) << size;
        ASSERT_EQ(width, size);
        ASSERT_EQ(height, size);
        EXPECT_TRUE(SamePixels(bitmap, rgb, 3, true, 3)) << size;
    }
}

TEST(Png, SmallAndOddSizes) {
    for (auto [w, h] : {std::pair{1, 1}, {3, 7}, {17, 2}}) {
        const TBitmap32 bitmap = NoiseBitmap(w, h, std::uint32_t(w * 31 + h));
        Bytes file;
        ASSERT_TRUE(EncodePng(bitmap, file));
        const std::vector<PngChunk> chunks = PngChunks(file);
        ASSERT_EQ(chunks.size(), 3u); // IHDR, one IDAT, IEND
        EXPECT_EQ(chunks[1].type, "IDAT");
        int width = 0, height = 0;
        const Bytes rgb = DecodePngRgb(file, width, height);
        ASSERT_EQ(width, w);
        ASSERT_EQ(height, h);
        EXPECT_TRUE(SamePixels(bitmap, rgb, 3, true, 3)) << w << " x " << h;
    }
}

// A bitmap that keeps its alpha is an RGBA PNG (colour type 6) whose four channels libpng reads
// back unchanged.
TEST(Png, AlphaBitmapIsRgba) {
    TBitmap32 bitmap = NoiseBitmap(17, 5, 9);
    bitmap.SetAlpha(true);
    Bytes file;
    ASSERT_TRUE(EncodePng(bitmap, file));
    EXPECT_EQ(file[25], 6); // IHDR's colour type
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, file.data(), file.size()));
    image.format = PNG_FORMAT_RGBA;
    Bytes rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
    EXPECT_TRUE(SamePixels(bitmap, rgba, 4, true, 4));
}

// ---- JPEG ----

struct JpegDecodeError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void DecodeErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegDecodeError*>(cinfo->err)->jump, 1);
}

struct JpegDecoder {
    jpeg_decompress_struct cinfo;
    JpegDecodeError error;
};

bool RunDecode(JpegDecoder& d, const Bytes& file, Bytes& rgb, int& width, int& height, int& components) {
    if (setjmp(d.error.jump)) return false;
    jpeg_create_decompress(&d.cinfo);
    jpeg_mem_src(&d.cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d.cinfo, TRUE);
    components = d.cinfo.num_components;
    d.cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d.cinfo);
    width = int(d.cinfo.output_width);
    height = int(d.cinfo.output_height);
    rgb.resize(std::size_t(width) * height * 3);
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = rgb.data() + std::size_t(d.cinfo.output_scanline) * width * 3;
        jpeg_read_scanlines(&d.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

Bytes DecodeJpegRgb(const Bytes& file, int& width, int& height, int& components) {
    Bytes rgb;
    auto decoder = std::make_unique<JpegDecoder>();
    decoder->cinfo.err = jpeg_std_error(&decoder->error.pub);
    decoder->error.pub.error_exit = DecodeErrorExit;
    const bool ok = RunDecode(*decoder, file, rgb, width, height, components);
    jpeg_destroy_decompress(&decoder->cinfo);
    return ok ? rgb : Bytes{};
}

double PsnrRgb(const TBitmap32& bitmap, const Bytes& rgb) {
    double sum = 0;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            const std::uint8_t* p = bitmap.Row(y) + 4 * x;
            const std::uint8_t* q = rgb.data() + (std::size_t(y) * bitmap.Width() + x) * 3;
            for (int c = 0; c < 3; ++c) {
                const double d = double(p[2 - c]) - double(q[c]);
                sum += d * d;
            }
        }
    const double mse = sum / (double(bitmap.Width()) * bitmap.Height() * 3);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// The JPEG markers before the scan, each with the offset of its segment data.
std::vector<std::pair<std::uint8_t, std::size_t>> JpegMarkers(const Bytes& file) {
    std::vector<std::pair<std::uint8_t, std::size_t>> markers;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return markers;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const std::uint8_t marker = file[at + 1];
        markers.emplace_back(marker, at + 4);
        if (marker == 0xDA) break; // start of scan: entropy-coded data follows
        at += 2 + Be16(file, at + 2);
    }
    return markers;
}

// Zig-zag position -> natural (row-major) position in the 8 x 8 block.
constexpr int NaturalOrder[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                  35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                  58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The example tables of the JPEG standard (Annex K), row-major.
constexpr int LuminanceTable[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr int ChrominanceTable[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                      24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                      99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                      99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// The IJG quality scaling: percent 5000 / q below 50, 200 - 2q from 50; baseline clamps to 1..255.
std::array<int, 64> ScaledTable(const int* base, int quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    std::array<int, 64> table{};
    for (int i = 0; i < 64; ++i) table[i] = std::clamp((base[i] * scale + 50) / 100, 1, 255);
    return table;
}

void ExpectBaselineWithTables(const Bytes& file, int quality, int width, int height) {
    const auto markers = JpegMarkers(file);
    ASSERT_FALSE(markers.empty());
    ASSERT_EQ(markers.back().first, 0xDA) << "no start of scan";
    EXPECT_EQ(file[file.size() - 2], 0xFF);
    EXPECT_EQ(file[file.size() - 1], 0xD9); // end of image
    int sof0 = 0, tables = 0;
    bool jfif = false;
    for (auto [marker, at] : markers) {
        EXPECT_NE(marker, 0xC2) << "progressive frame";
        EXPECT_FALSE(marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            << "frame type " << int(marker);
        if (marker == 0xE0) jfif = std::memcmp(file.data() + at, "JFIF\0", 5) == 0;
        if (marker == 0xC0) {
            ++sof0;
            EXPECT_EQ(file[at], 8); // sample precision
            EXPECT_EQ(Be16(file, at + 1), height);
            EXPECT_EQ(Be16(file, at + 3), width);
            EXPECT_EQ(file[at + 5], 3); // components
        }
        if (marker == 0xDB) {
            const std::size_t end = at - 2 + Be16(file, at - 2);
            for (std::size_t t = at; t < end; t += 65) {
                const int precision = file[t] >> 4, id = file[t] & 15;
                ASSERT_EQ(precision, 0) << "16-bit table in a baseline file";
                ASSERT_LE(id, 1);
                const std::array<int, 64> want =
                    ScaledTable(id == 0 ? LuminanceTable : ChrominanceTable, quality);
                for (int k = 0; k < 64; ++k)
                    ASSERT_EQ(file[t + 1 + k], want[NaturalOrder[k]])
                        << "table " << id << " zig-zag position " << k << " at quality " << quality;
                ++tables;
            }
        }
    }
    EXPECT_TRUE(jfif);
    EXPECT_EQ(sof0, 1);
    EXPECT_EQ(tables, 2);
}

TEST(Jpeg, BaselineWithTheQualitysTablesAndGoodFidelity) {
    const TBitmap32 bitmap = SmoothBitmap(1024, 1024);
    double psnr95 = 0;
    for (int quality : {95, 40}) {
        Bytes file;
        ASSERT_TRUE(EncodeJpeg(bitmap, quality, file));
        ExpectBaselineWithTables(file, quality, 1024, 1024);
        int width = 0, height = 0, components = 0;
        const Bytes rgb = DecodeJpegRgb(file, width, height, components);
        ASSERT_EQ(width, 1024);
        ASSERT_EQ(height, 1024);
        EXPECT_EQ(components, 3);
        const double psnr = PsnrRgb(bitmap, rgb);
        if (quality == 95) {
            EXPECT_GT(psnr, 38.0);
            psnr95 = psnr;
        } else {
            EXPECT_GT(psnr, 30.0);
            EXPECT_LT(psnr, psnr95);
        }
    }
}

TEST(Jpeg, SmallTileAndStandardTablesAtFifty) {
    const TBitmap32 bitmap = SmoothBitmap(64, 64);
    Bytes file;
    ASSERT_TRUE(EncodeJpeg(bitmap, 50, file));
    ExpectBaselineWithTables(file, 50, 64, 64); // scale 100 %: the Annex K tables themselves
    int width = 0, height = 0, components = 0;
    const Bytes rgb = DecodeJpegRgb(file, width, height, components);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 64);
}

TEST(Jpeg, QualityOutsideOneToHundredIsClamped) {
    const TBitmap32 bitmap = SmoothBitmap(64, 64);
    Bytes q0, q1, q100, q255;
    ASSERT_TRUE(EncodeJpeg(bitmap, 0, q0));
    ASSERT_TRUE(EncodeJpeg(bitmap, 1, q1));
    ASSERT_TRUE(EncodeJpeg(bitmap, 100, q100));
    ASSERT_TRUE(EncodeJpeg(bitmap, 255, q255));
    EXPECT_EQ(q0, q1);
    EXPECT_EQ(q255, q100);
    ExpectBaselineWithTables(q1, 1, 64, 64); // every baseline entry clamped to 255 or below
}

TEST(Jpeg, LibraryErrorHalfWayFailsQuietlyWithItsMessage) {
    const TBitmap32 bitmap = NoiseBitmap(256, 256, 3);
    const std::size_t outputLimit = 1000; // the first full output buffer already fails
    Bytes file = {1, 2, 3};
    std::string reason;
    ::testing::internal::CaptureStderr();
    const bool ok = EncodeJpeg(bitmap, 90, file, &reason, outputLimit);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(ok);
    EXPECT_EQ(file, (Bytes{1, 2, 3})) << "output touched on failure";
    EXPECT_NE(reason.find("memory"), std::string::npos) << reason;
    EXPECT_EQ(printed, "");
    // The encoder is whole again afterwards.
    EXPECT_TRUE(EncodeJpeg(bitmap, 90, file, &reason));
}

// ---- all ----

TEST(Writers, EmptyBitmapIsRefused) {
    const TBitmap32 empty;
    const TBitmap32 flat(0, 5);
    Bytes out;
    std::string reason;
    for (const TBitmap32* bitmap : {&empty, &flat}) {
        EXPECT_FALSE(EncodeBmp(*bitmap, out, &reason));
        EXPECT_FALSE(EncodePng(*bitmap, out, &reason));
        EXPECT_FALSE(EncodeJpeg(*bitmap, 90, out, &reason));
        EXPECT_FALSE(reason.empty());
    }
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(TBitmap32(-4, 3).Empty());
}

// ---- recipes inside files ----

// A code put into a PNG or JPEG file reads back and the file still decodes to the same pixels
// (libpng checks the new chunk's CRC); BMP, a code with a space and damaged files are refused.
TEST(EmbeddedRecipe, RoundTripInPngAndJpegOnly) {
    const TBitmap32 bitmap = SmoothBitmap(40, 24);
    const std::string code = "P1.size=64.seed=0000002A+effect=glow";
    Bytes png, jpeg, bmp;
    ASSERT_TRUE(EncodePng(bitmap, png) && EncodeJpeg(bitmap, 90, jpeg) && EncodeBmp(bitmap, bmp));
    EXPECT_EQ(ReadEmbeddedRecipe(png), std::nullopt);
    EXPECT_EQ(ReadEmbeddedRecipe(jpeg), std::nullopt);
    for (auto [format, plain] : {std::pair{TExportFormat::Png, png}, std::pair{TExportFormat::Jpeg, jpeg}}) {
        Bytes file = plain;
        EXPECT_FALSE(EmbedRecipe(format, file, "P1.seed=0000002A steps=0")) << "a space";
        EXPECT_FALSE(EmbedRecipe(format, file, ""));
        EXPECT_EQ(file, plain);
        ASSERT_TRUE(EmbedRecipe(format, file, code));
        EXPECT_EQ(ReadEmbeddedRecipe(file), code);
        int width = 0, height = 0, components = 0;
        const Bytes decoded = format == TExportFormat::Png ? DecodePngRgb(file, width, height)
                                                           : DecodeJpegRgb(file, width, height, components);
        const Bytes original = format == TExportFormat::Png ? DecodePngRgb(plain, width, height)
                                                            : DecodeJpegRgb(plain, width, height, components);
        EXPECT_FALSE(decoded.empty());
        EXPECT_EQ(decoded, original);
        // Cut inside the recipe's own chunk or segment: nothing is read, nothing is read outside.
        const std::size_t inside = format == TExportFormat::Png ? 33 + 20 : 20 + 20;
        EXPECT_EQ(ReadEmbeddedRecipe(Bytes(file.begin(), file.begin() + std::ptrdiff_t(inside))),
                  std::nullopt);
    }
    Bytes file = bmp;
    EXPECT_FALSE(EmbedRecipe(TExportFormat::Bmp, file, code));
    EXPECT_EQ(ReadEmbeddedRecipe(bmp), std::nullopt);
}

} // namespace
} // namespace vorn
