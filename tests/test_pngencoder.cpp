// The threaded PNG encoder: every colour type decoded by libpng's reader to the samples given,
// the same bytes for any thread count, and the chunks' layout with zlib checking the one stream.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include "export/ImageWriters.h"
#include "export/PngEncoder.h"
#include "support/PngChunks.h"

namespace vorn {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::Be32;

// Samples in PNG order: noise in the left half of every row, a flat run in the right half, so
// that both literals and long runs occur.
Bytes Samples(std::int32_t width, std::int32_t height, TPngColour colour, std::uint32_t seed) {
    const std::size_t rowBytes = std::size_t(width) * std::size_t(PngPixelBytes(colour));
    Bytes samples(rowBytes * std::size_t(height));
    std::uint32_t state = seed;
    for (std::size_t y = 0; y < std::size_t(height); ++y)
        for (std::size_t i = 0; i < rowBytes; ++i) {
            state = state * 1664525u + 1013904223u;
            samples[y * rowBytes + i] = i < rowBytes / 2 ? std::uint8_t(state >> 24) : std::uint8_t(y * 7);
        }
    return samples;
}

TPngImage RowsOf(const Bytes& samples, std::int32_t width, std::int32_t height, TPngColour colour) {
    const std::size_t rowBytes = std::size_t(width) * std::size_t(PngPixelBytes(colour));
    return {width, height, colour, [&samples, rowBytes](std::int32_t y, std::uint8_t* out) {
                std::memcpy(out, samples.data() + std::size_t(y) * rowBytes, rowBytes);
            }};
}

struct TDecoded {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    Bytes samples; // rows packed, 16-bit samples big-endian as stored
};

struct TMemoryReader {
    const Bytes* file;
    std::size_t at;
};

void ReadFromMemory(png_structp png, png_bytep data, png_size_t size) {
    auto* reader = static_cast<TMemoryReader*>(png_get_io_ptr(png));
    if (size > reader->file->size() - reader->at) png_error(png, "read past the end");
    std::memcpy(data, reader->file->data() + reader->at, size);
    reader->at += size;
}

// libpng's reader with no transforms; false when it reports an error.
bool Decode(const Bytes& file, TDecoded& out) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    TMemoryReader reader{&file, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_get_IHDR(png, info, &out.width, &out.height, &out.bitDepth, &out.colorType, nullptr, nullptr,
                 nullptr);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (png_uint_32 y = 0; y < out.height; ++y)
        out.samples.insert(out.samples.end(), rows[y], rows[y] + rowBytes);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}


TEST(PngEncoder, EveryColourTypeDecodesToItsSamplesWithTheSameBytesForAnyThreadCount) {
    struct TCase {
        TPngColour colour;
        int bitDepth, colorType;
    };
    const TCase cases[] = {{TPngColour::Grey8, 8, PNG_COLOR_TYPE_GRAY},
                           {TPngColour::Grey16, 16, PNG_COLOR_TYPE_GRAY},
                           {TPngColour::Rgb8, 8, PNG_COLOR_TYPE_RGB},
                           {TPngColour::Rgba8, 8, PNG_COLOR_TYPE_RGB_ALPHA}};
    // 517 x 600 spans at least three row groups and several IDAT chunks in every colour type.
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{1, 1}, {3, 5}, {517, 600}};
    for (const TCase& c : cases)
        for (auto [width, height] : sizes) {
            SCOPED_TRACE(testing::Message()
                         << "colour " << int(c.colour) << ", " << width << " x " << height);
            const Bytes samples = Samples(width, height, c.colour, std::uint32_t(width * 131 + height));
            const TPngImage image = RowsOf(samples, width, height, c.colour);
            Bytes one;
            ASSERT_TRUE(EncodePngImage(image, {1, {}}, one));
            for (int threads : {2, 7}) {
                Bytes more;
                ASSERT_TRUE(EncodePngImage(image, {threads, {}}, more));
                EXPECT_TRUE(more == one) << threads << " threads";
            }
            // No chunks but IHDR, IDAT and IEND.
            const std::vector<test::PngChunk> chunks = test::PngChunks(one);
            ASSERT_GE(chunks.size(), 3u);
            for (std::size_t i = 0; i < chunks.size(); ++i)
                EXPECT_EQ(chunks[i].type, i == 0 ? "IHDR" : i + 1 == chunks.size() ? "IEND" : "IDAT");
            TDecoded decoded;
            ASSERT_TRUE(Decode(one, decoded));
            EXPECT_EQ(decoded.width, png_uint_32(width));
            EXPECT_EQ(decoded.height, png_uint_32(height));
            EXPECT_EQ(decoded.bitDepth, c.bitDepth);
            EXPECT_EQ(decoded.colorType, c.colorType);
            EXPECT_TRUE(decoded.samples == samples);
        }
    EXPECT_GT(600, 2 * PngGroupRows(517, TPngColour::Grey8)); // three groups at least
}

TEST(PngEncoder, CallersChunksComeBeforeFullIdatChunksOfOneZlibStream) {
    const std::int32_t width = 701, height = 400;
    const Bytes samples = Samples(width, height, TPngColour::Rgb8, 9);
    TPngOptions options{2, {{{'s', 'R', 'G', 'B'}, {0}}, {{'g', 'A', 'M', 'A'}, {0, 0, 0xB1, 0x8F}}}};
    Bytes file;
    ASSERT_TRUE(EncodePngImage(RowsOf(samples, width, height, TPngColour::Rgb8), options, file));
    const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(0, std::memcmp(file.data(), signature, 8));

    const std::vector<test::PngChunk> chunks = test::PngChunks(file);
    ASSERT_GE(chunks.size(), 7u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[0].length, 13u);
    EXPECT_EQ(chunks[1].type, "sRGB");
    EXPECT_EQ(chunks[2].type, "gAMA");
    EXPECT_EQ(Be32(file, chunks[2].dataAt), 45455u);
    EXPECT_EQ(chunks.back().type, "IEND");
    Bytes zdata;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_TRUE(chunks[i].crcValid) << "chunk " << i;
        if (i < 3 || i + 1 == chunks.size()) continue;
        ASSERT_EQ(chunks[i].type, "IDAT") << "chunk " << i;
        EXPECT_GT(chunks[i].length, 0u);
        if (i + 2 < chunks.size()) {
            EXPECT_EQ(chunks[i].length, 65535u) << "IDAT " << i;
        }
        zdata.insert(zdata.end(), file.begin() + chunks[i].dataAt,
                     file.begin() + chunks[i].dataAt + chunks[i].length);
    }
    // Half noise: over 420 KB of image data give at least 4 chunks.
    EXPECT_GE(chunks.size() - 4, 4u);
    EXPECT_LE(chunks[chunks.size() - 2].length, 65535u);

    // uncompress checks the zlib header and the adler32 of the whole stream.
    const std::size_t rowBytes = std::size_t(width) * 3 + 1;
    Bytes raw(rowBytes * height + 1);
    uLongf size = uLongf(raw.size());
    ASSERT_EQ(uncompress(raw.data(), &size, zdata.data(), uLong(zdata.size())), Z_OK);
    ASSERT_EQ(size, rowBytes * height);
    for (std::int32_t y = 0; y < height; ++y) ASSERT_EQ(raw[std::size_t(y) * rowBytes], 4) << "row " << y;
}

TEST(PngEncoder, TexturesPastTheSingleStreamSideAreItsFilesWithTheirColourType) {
    for (bool alpha : {false, true}) {
        TBitmap32 bitmap(PngSingleStreamSide + 1, 3);
        const Bytes samples = Samples(bitmap.Width(), bitmap.Height(), TPngColour::Rgba8, 5);
        std::memcpy(bitmap.Bits(), samples.data(), samples.size());
        bitmap.SetAlpha(alpha);
        Bytes file, threaded;
        ASSERT_TRUE(EncodePng(bitmap, file));
        ASSERT_TRUE(EncodePngImage(PngBitmapRows(bitmap, alpha), {1, {}}, threaded));
        EXPECT_TRUE(file == threaded) << alpha;
        TDecoded decoded;
        ASSERT_TRUE(Decode(file, decoded));
        EXPECT_EQ(decoded.colorType, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);
        const int channels = alpha ? 4 : 3;
        ASSERT_EQ(decoded.samples.size(), std::size_t(bitmap.Width()) * 3 * std::size_t(channels));
        for (std::size_t i = 0, p = 0; p < samples.size(); p += 4) {
            const std::uint8_t* bgra = samples.data() + p;
            const std::uint8_t want[4] = {bgra[2], bgra[1], bgra[0], bgra[3]};
            for (int c = 0; c < channels; ++c, ++i) ASSERT_EQ(decoded.samples[i], want[c]) << "byte " << i;
        }
    }
}

TEST(PngEncoder, RefusesAnEmptyImageAndAChunkTypeThatIsNotFourLetters) {
    const Bytes samples(4, 0);
    std::string reason;
    Bytes out;
    EXPECT_FALSE(EncodePngImage(RowsOf(samples, 0, 4, TPngColour::Grey8), {}, out, &reason));
    EXPECT_EQ(reason, "The image is empty");
    EXPECT_FALSE(EncodePngImage(RowsOf(samples, 2, 2, TPngColour::Grey8), {0, {{{'t', 'E', 'X', '1'}, {}}}},
                                out, &reason));
    EXPECT_EQ(reason, "A chunk is not valid");
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace vorn
