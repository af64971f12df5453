// Palettes: typed and recipe colours, the cyclic OKLab gradient, the stroke colour, the shipped
// palette file, and palettes taken from images.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "export/ImagePalette.h"
#include "export/ImageWriters.h"
#include "gen/Palette.h"
#include "support/TempDir.h"

namespace vorn {
namespace {

int Channel(std::uint32_t rgb, int shift) {
    return static_cast<int>((rgb >> shift) & 0xFFu);
}

// The largest difference of one channel between two colours.
int ChannelDistance(std::uint32_t x, std::uint32_t y) {
    int most = 0;
    for (const int shift : {0, 8, 16}) most = std::max(most, std::abs(Channel(x, shift) - Channel(y, shift)));
    return most;
}

TEST(PaletteText, TypedColoursRoundTrip) {
    const TPaletteResult typed = ParsePaletteColors(" #ff8000, 00FF00 ,aBcDeF");
    ASSERT_TRUE(typed.ok()) << typed.error;
    EXPECT_EQ(typed.palette.colors, (std::vector<std::uint32_t>{0xFF8000u, 0x00FF00u, 0xABCDEFu}));
    EXPECT_EQ(PaletteColorsText(typed.palette), "FF8000,00FF00,ABCDEF");
    EXPECT_EQ(ParsePaletteColors(PaletteColorsText(typed.palette)).palette, typed.palette);

    const std::string inRecipe = PaletteRecipeText(typed.palette);
    EXPECT_EQ(inRecipe, "FF8000-00FF00-ABCDEF");
    EXPECT_EQ(ParsePaletteRecipeText(inRecipe).palette, typed.palette);
    EXPECT_EQ(ParsePaletteRecipeText("ff8000-00ff00-abcdef").palette, typed.palette);
}

TEST(PaletteText, BadColoursGiveOneLine) {
    std::string seventeen = "000000";
    for (int i = 0; i < 16; ++i) seventeen += ",FFFFFF";
    const struct {
        const char* text;
        std::string error;
    } cases[] = {
        {"FF0000", "a palette has 2 to 16 colours, not 1"},
        {"FF0000,GG0000", "colour 2 'GG0000' is not six hex digits (RRGGBB)"},
        {"FF0000,,00FF00", "colour 2 is empty"},
        {"FF00000,000000", "colour 1 'FF00000' is not six hex digits (RRGGBB)"},
        {"#12345,000000", "colour 1 '#12345' is not six hex digits (RRGGBB)"},
        {"", "colour 1 is empty"},
        {seventeen.c_str(), "a palette has 2 to 16 colours, not 17"},
    };
    for (const auto& c : cases) {
        const TPaletteResult result = ParsePaletteColors(c.text);
        EXPECT_EQ(result.error, c.error) << c.text;
        EXPECT_TRUE(result.palette.colors.empty()) << c.text;
    }
    // A recipe's palette takes no '#' and no blanks, which a recipe code cannot hold.
    EXPECT_EQ(ParsePaletteRecipeText("#FF0000-000000").error,
              "colour 1 '#FF0000' is not six hex digits (RRGGBB)");
    EXPECT_EQ(ParsePaletteRecipeText("FF0000- 000000").error, "a palette in a recipe has no blanks");
}

TEST(PaletteGradient, PassesThroughEachColourAtItsPosition) {
    const TPalette palette{{0x000000u, 0xFFFFFFu, 0xFF0000u}};
    EXPECT_EQ(ColorAt(palette, 0.0), 0x000000u);
    EXPECT_EQ(ColorAt(palette, 1.0 / 3.0), 0xFFFFFFu);
    EXPECT_EQ(ColorAt(palette, 2.0 / 3.0), 0xFF0000u);
    // Cyclic: 1 is 0 again, and positions outside [0, 1) are taken modulo 1.
    EXPECT_EQ(ColorAt(palette, 1.0), 0x000000u);
    EXPECT_EQ(ColorAt(palette, 2.0), 0x000000u);
    EXPECT_EQ(ColorAt(palette, -1.0 / 3.0), 0xFF0000u);
    // Every count up to 16: colour i at i / n exactly, for a palette of distinct greys.
    for (std::uint32_t n = 2; n <= 16; ++n) {
        TPalette greys;
        for (std::uint32_t i = 0; i < n; ++i) greys.colors.push_back(0x010101u * (i * 15 + 7));
        for (std::uint32_t i = 0; i < n; ++i)
            EXPECT_EQ(ColorAt(greys, static_cast<double>(i) / n), greys.colors[i]) << n << " colours, " << i;
    }
}

TEST(PaletteGradient, BlendsInOkLabWithExactBytes) {
    // Halfway from black to white is OKLab L 0.5: linear light 0.5^3 = 0.125, whose sRGB value
    // 1.055 * 0.125^(1/2.4) - 0.055 = 0.38857 gives 255 * 0.38857 = 99.09, rounded to 99.
    EXPECT_EQ(ColorAt(TPalette{{0x000000u, 0xFFFFFFu}}, 0.25), 0x636363u);
    EXPECT_EQ(ColorAt(TPalette{{0x000000u, 0xFFFFFFu}}, 0.75), 0x636363u); // and back again
    // Greys stay grey: OKLab a and b are 0 on the grey axis.
    const std::uint32_t mid = ColorAt(TPalette{{0x202020u, 0xE0E0E0u}}, 0.125);
    EXPECT_EQ(Channel(mid, 16), Channel(mid, 8));
    EXPECT_EQ(Channel(mid, 8), Channel(mid, 0));
    // The same position gives the same colour each time.
    const TPalette palette{{0x3A1A0Eu, 0x863C17u, 0xDE9B63u}};
    EXPECT_EQ(ColorAt(palette, 0.1234), ColorAt(palette, 0.1234));
}

TEST(PaletteGradient, NoJumpWhereTheHueDropsToZero) {
    const TPalette palette{{0x102030u, 0xFF8000u, 0x00FFC0u, 0xE0E0F0u}};
    for (const double epsilon : {1e-3, 1e-6, 1e-9})
        EXPECT_LE(ChannelDistance(ColorAt(palette, 1.0 - epsilon), ColorAt(palette, 0.0)), 1) << epsilon;
    // Nor anywhere else: 4096 steps around the circle move no channel by more than a few levels
    // (the largest channel step between two colours here is 255 over 1024 positions).
    std::uint32_t previous = ColorAt(palette, 0.0);
    for (int i = 1; i <= 4096; ++i) {
        const std::uint32_t next = ColorAt(palette, i / 4096.0);
        EXPECT_LE(ChannelDistance(previous, next), 4) << "position " << i << " / 4096";
        previous = next;
    }
}

TEST(PaletteStroke, SaturationAndLightnessAroundThePaletteColour) {
    const TPalette palette{{0xFF8000u, 0x808080u}};
    // The sliders' defaults, 0.5 and 0.5: the palette colour itself, as a canvas colour (red in
    // bits 0-7).
    EXPECT_EQ(PaletteStrokeColor(palette, 0.0, 0.5, 0.5), 0x000080FFu);
    EXPECT_EQ(PaletteStrokeColor(palette, 0.5, 0.5, 0.5), 0x00808080u);
    // Lightness 0 is black, 1 is white, whatever the saturation.
    EXPECT_EQ(PaletteStrokeColor(palette, 0.0, 1.0, 0.0), 0x00000000u);
    EXPECT_EQ(PaletteStrokeColor(palette, 0.0, 0.3, 1.0), 0x00FFFFFFu);
    // Saturation 0 is the grey of the colour's lightness; a grey stays itself at any saturation.
    const std::uint32_t grey = PaletteStrokeColor(palette, 0.0, 0.0, 0.5);
    EXPECT_EQ(Channel(grey, 0), Channel(grey, 8));
    EXPECT_EQ(Channel(grey, 8), Channel(grey, 16));
    EXPECT_EQ(PaletteStrokeColor(palette, 0.5, 0.0, 0.5), 0x00808080u);
    EXPECT_EQ(PaletteStrokeColor(palette, 0.5, 1.0, 0.5), 0x00808080u);
    // Above 0.5 the chroma grows: orange's red stays clipped at 255 and its blue falls to 0.
    const std::uint32_t vivid = PaletteStrokeColor(palette, 0.0, 1.0, 0.5);
    EXPECT_EQ(Channel(vivid, 0), 255);
    EXPECT_EQ(Channel(vivid, 16), 0);
    // Darker below 0.5, lighter above, in every channel.
    const std::uint32_t dark = PaletteStrokeColor(palette, 0.0, 0.5, 0.25);
    const std::uint32_t light = PaletteStrokeColor(palette, 0.0, 0.5, 0.75);
    for (const int shift : {0, 8, 16}) {
        EXPECT_LE(Channel(dark, shift), Channel(0x000080FFu, shift)) << shift;
        EXPECT_GE(Channel(light, shift), Channel(0x000080FFu, shift)) << shift;
    }
    EXPECT_NE(dark, 0x000080FFu);
    EXPECT_NE(light, 0x000080FFu);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(PaletteFile, ShippedPalettesParseSortedDarkToLight) {
    const std::string path = FindPaletteFile(PALLIMOR_BUILD_DIR);
    ASSERT_EQ(path, std::string(PALLIMOR_BUILD_DIR) + "/palettes.txt");
    const TPaletteFileResult file = ParsePaletteFile(ReadText(path));
    ASSERT_TRUE(file.ok()) << file.error;
    for (const char* name :
         {"earth", "stone", "moss", "rust", "sand", "ocean", "ember", "ice", "bark", "neon"})
        EXPECT_NE(FindNamedPalette(file.palettes, name), nullptr) << name;
    EXPECT_NE(FindNamedPalette(file.palettes, "Ocean"), nullptr);
    for (const TNamedPalette& named : file.palettes) {
        const std::size_t n = named.palette.colors.size();
        EXPECT_GE(n, 4u) << named.name;
        EXPECT_LE(n, 8u) << named.name;
        for (std::size_t i = 1; i < n; ++i)
            EXPECT_LT(PaletteLightness(named.palette.colors[i - 1]),
                      PaletteLightness(named.palette.colors[i]))
                << named.name << " colour " << i + 1;
    }
}

TEST(PaletteFile, FaultsNameTheLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"# comment\n\nearth 000000\n", "line 3: a palette has 2 to 16 colours, not 1"},
        {"Earth 000000,FFFFFF\n", "line 1: the name 'Earth' is not lower case letters, digits, '-' and '_'"},
        {"a 000000,FFFFFF\nb 000000,FFFFFF\na 111111,222222\n", "line 3: the palette 'a' appears twice"},
        {"earth\n", "line 1: expected 'name RRGGBB,RRGGBB,...'"},
        {"x 000000,FFFFFF\ny 000000;FFFFFF",
         "line 2: colour 1 '000000;FFFFFF' is not six hex digits (RRGGBB)"},
        {"# only a comment\n", "no palette in the file"},
    };
    for (const auto& c : cases) {
        const TPaletteFileResult result = ParsePaletteFile(c.text);
        EXPECT_EQ(result.error, c.error) << c.text;
        EXPECT_TRUE(result.palettes.empty()) << c.text;
    }
    // Colours may carry '#' even though '#' starts a comment line; Windows line ends are fine.
    const TPaletteFileResult good = ParsePaletteFile("  # dark\r\nnight-2 #000000,#0A0A14\r\n");
    ASSERT_TRUE(good.ok()) << good.error;
    ASSERT_EQ(good.palettes.size(), 1u);
    EXPECT_EQ(good.palettes[0].name, "night-2");
    EXPECT_EQ(good.palettes[0].palette.colors, (std::vector<std::uint32_t>{0x000000u, 0x0A0A14u}));
}

// A deterministic scatter of colours: a linear congruential sequence.
std::vector<std::uint32_t> Scatter(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint32_t> pixels(count);
    for (std::uint32_t& p : pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = seed >> 8;
    }
    return pixels;
}

TEST(PaletteFromImage, SameImageSamePaletteAtMostCount) {
    const std::vector<std::uint32_t> pixels = Scatter(64 * 64, 7);
    for (const int count : {2, 5, 16}) {
        const TPaletteResult first = ExtractPalette(pixels, 64, 64, count);
        ASSERT_TRUE(first.ok()) << first.error;
        EXPECT_EQ(ExtractPalette(pixels, 64, 64, count).palette, first.palette);
        EXPECT_GE(first.palette.colors.size(), 2u);
        EXPECT_LE(first.palette.colors.size(), static_cast<std::size_t>(count));
        for (std::size_t i = 1; i < first.palette.colors.size(); ++i)
            EXPECT_LT(PaletteLightness(first.palette.colors[i - 1]),
                      PaletteLightness(first.palette.colors[i]));
        // The pixels' order does not matter, only their colours.
        std::vector<std::uint32_t> reversed(pixels.rbegin(), pixels.rend());
        EXPECT_EQ(ExtractPalette(reversed, 32, 128, count).palette, first.palette) << count;
    }
}

TEST(PaletteFromImage, FindsTheColoursOfATwoColourImageExactly) {
    // Light and dark, in unequal amounts; the top byte is not read.
    const std::vector<std::uint32_t> pixels{0xFFE0C0A0u, 0x00123456u, 0x00123456u,
                                            0xFF123456u, 0x80E0C0A0u, 0x00123456u};
    const TPaletteResult result = ExtractPalette(pixels, 3, 2, 8);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.palette.colors, (std::vector<std::uint32_t>{0x123456u, 0xE0C0A0u}));
}

TEST(PaletteFromImage, Refusals) {
    const std::vector<std::uint32_t> two{0x000000u, 0xFFFFFFu};
    EXPECT_EQ(ExtractPalette(two, 2, 1, 1).error, "a palette has 2 to 16 colours, not 1");
    EXPECT_EQ(ExtractPalette(two, 2, 1, 17).error, "a palette has 2 to 16 colours, not 17");
    EXPECT_EQ(ExtractPalette(two, 3, 1, 4).error, "the image's size does not match its pixels");
    EXPECT_EQ(ExtractPalette(std::vector<std::uint32_t>(9, 0x445566u), 3, 3, 4).error,
              "the image has fewer than two colours");
}

// A PNG with an alpha channel, written by libpng; pixels 0xAARRGGBB.
test::Bytes RgbaPng(int width, int height, const std::vector<std::uint32_t>& pixels) {
    std::vector<std::uint8_t> rgba;
    for (const std::uint32_t p : pixels)
        for (const int shift : {16, 8, 0, 24}) rgba.push_back(static_cast<std::uint8_t>(p >> shift));
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&png, nullptr, &size, 0, rgba.data(), 0, nullptr);
    test::Bytes bytes(size);
    png_image_write_to_memory(&png, bytes.data(), &size, 0, rgba.data(), 0, nullptr);
    bytes.resize(size);
    return bytes;
}

TEST(PaletteFromImage, ReadsPngAndJpegFiles) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    // The fully transparent pixel's colour is left out.
    test::WriteFile(dir / "two.png", RgbaPng(2, 2, {0xFF204060u, 0x00FF0000u, 0xFFC0A080u, 0x80204060u}));
    const TPaletteResult png = PaletteOfImageFile(dir / "two.png", 4);
    ASSERT_TRUE(png.ok()) << png.error;
    EXPECT_EQ(png.palette.colors, (std::vector<std::uint32_t>{0x204060u, 0xC0A080u}));

    // Left half black, right half white, each an 8 x 8 block: flat blocks decode exactly.
    TBitmap32 bitmap(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 8; x < 16; ++x)
            for (int c = 0; c < 4; ++c) bitmap.Row(y)[4 * x + c] = 0xFF;
    test::Bytes jpeg;
    ASSERT_TRUE(EncodeJpeg(bitmap, 100, jpeg));
    test::WriteFile(dir / "halves.jpg", jpeg);
    const TPaletteResult fromJpeg = PaletteOfImageFile(dir / "halves.jpg", 3);
    ASSERT_TRUE(fromJpeg.ok()) << fromJpeg.error;
    EXPECT_EQ(fromJpeg.palette.colors, (std::vector<std::uint32_t>{0x000000u, 0xFFFFFFu}));

    test::WriteFile(dir / "notes.txt", test::Bytes{'h', 'i'});
    EXPECT_EQ(PaletteOfImageFile(dir / "notes.txt", 4).error,
              dir / "notes.txt" + ": not a PNG or JPEG image");
    test::Bytes cut = jpeg;
    cut.resize(40);
    test::WriteFile(dir / "cut.jpg", cut);
    const std::string cutError = PaletteOfImageFile(dir / "cut.jpg", 4).error;
    EXPECT_EQ(cutError.rfind(dir / "cut.jpg" + ": not a readable JPEG image (", 0), 0u) << cutError;
    EXPECT_EQ(cutError.find('\n'), std::string::npos);
    EXPECT_FALSE(PaletteOfImageFile(dir / "missing.png", 4).ok());
}

// A large image is read on a grid: 1024 x 1024 is read at every second row and column (512 x 512
// pixels), so the colour of the pixels off the grid is not in its palette. Read twice, the same.
TEST(PaletteFromImage, ALargeImageIsReadOnAGridAndGivesTheSamePaletteTwice) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::vector<std::uint32_t> argb(1024 * 1024, 0xFF00FF00u);
    for (int y = 0; y < 1024; y += 2)
        for (int x = 0; x < 1024; x += 2)
            argb[std::size_t(y) * 1024 + std::size_t(x)] = x < 512 ? 0xFF102030u : 0xFFE0C0A0u;
    test::WriteFile(dir / "grid.png", RgbaPng(1024, 1024, argb));
    const TPaletteResult first = PaletteOfImageFile(dir / "grid.png", 4);
    ASSERT_TRUE(first.ok()) << first.error;
    EXPECT_EQ(first.palette.colors, (std::vector<std::uint32_t>{0x102030u, 0xE0C0A0u}));
    EXPECT_EQ(PaletteOfImageFile(dir / "grid.png", 4).palette, first.palette);
}

// AddressSanitizer reserves terabytes of address space for its shadow, so an address-space
// limit cannot be set under it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool AddressSanitizer = true;
#else
constexpr bool AddressSanitizer = false;
#endif
#else
constexpr bool AddressSanitizer = false;
#endif

// A PNG written a row at a time through libpng: row(y) gives row y's samples in the file's layout
// (16-bit samples high byte first); an interlaced image is written in its seven passes.
test::Bytes StreamedPng(int width, int height, int colorType, int depth, bool interlaced,
                        const std::function<const std::uint8_t*(int y)>& row) {
    test::Bytes bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, std::size_t size) {
            auto* out = static_cast<test::Bytes*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + size);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Quick for the flat images: a row like the one above filters to zeros.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < height; ++y) png_write_row(png, row(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

// A progressive JPEG of a grey ramp through libjpeg.
test::Bytes ProgressiveJpeg(int width, int height) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &data, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) row[std::size_t(x)] = JSAMPLE(x * 255 / std::max(width - 1, 1));
    for (int y = 0; y < height; ++y) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    test::Bytes bytes(data, data + size);
    std::free(data);
    return bytes;
}

// The size a JPEG's frame header declares, rewritten: the entropy-coded rows stay as they were,
// so a larger size makes a short file whose missing rows libjpeg decodes grey.
void DeclareJpegSize(test::Bytes& jpeg, int width, int height) {
    // Marker by marker from the start of the file to the frame header, baseline or progressive.
    for (std::size_t i = 2; i + 9 < jpeg.size() && jpeg[i] == 0xFF;
         i += 2 + (std::size_t(jpeg[i + 2]) << 8 | jpeg[i + 3])) {
        if (jpeg[i + 1] != 0xC0 && jpeg[i + 1] != 0xC2) continue;
        jpeg[i + 5] = std::uint8_t(height >> 8);
        jpeg[i + 6] = std::uint8_t(height);
        jpeg[i + 7] = std::uint8_t(width >> 8);
        jpeg[i + 8] = std::uint8_t(width);
        return;
    }
    ADD_FAILURE() << "no frame header";
}

// PaletteOfImageFile(path, count) in a child process whose address space may grow by at most
// limit bytes (no limit under AddressSanitizer): the colours as text, the error, "out of memory"
// when a decoder asks for more, or how the child ended otherwise.
std::string PaletteInBoundedChild(const std::string& path, int count, std::size_t limit) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        // The child only reads and reports: an exception must not reach the test's own handling.
        int code = 0;
        try {
            ::close(pipeFds[0]);
            if (!AddressSanitizer) {
                std::size_t pages = 0;
                std::ifstream("/proc/self/statm") >> pages;
                const rlim_t most = pages * std::size_t(::sysconf(_SC_PAGESIZE)) + limit;
                const rlimit bound{most, most};
                if (::setrlimit(RLIMIT_AS, &bound) != 0) ::_exit(3);
            }
            const TPaletteResult result = PaletteOfImageFile(path, count);
            const std::string text = result.ok() ? PaletteColorsText(result.palette) : result.error;
            if (::write(pipeFds[1], text.data(), text.size()) != ssize_t(text.size())) code = 4;
        } catch (const std::bad_alloc&) {
            code = 5;
        } catch (...) {
            code = 6;
        }
        ::_exit(code);
    }
    ::close(pipeFds[1]);
    if (child < 0) {
        ::close(pipeFds[0]);
        return "no fork";
    }
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(got));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    if (WEXITSTATUS(status) == 5) return "out of memory";
    if (WEXITSTATUS(status) != 0) return "exit " + std::to_string(WEXITSTATUS(status));
    return text;
}

// Up to 512 x 512 pixels every pixel is read, and the palettes are those a whole-image decode
// gave: an RGBA PNG with transparent pixels, an interlaced grey and alpha PNG, a JPEG.
TEST(PaletteFromImage, ImagesUpTo512SquareKeepTheirPalettes) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    constexpr int Side = 512;
    std::vector<std::uint32_t> argb = Scatter(Side * Side, 5);
    for (std::size_t i = 0; i < argb.size(); ++i) argb[i] |= i % 5 == 0 ? 0u : 0xFF000000u;
    test::WriteFile(dir / "rgba.png", RgbaPng(Side, Side, argb));
    std::vector<std::uint8_t> greyAlpha(std::size_t(Side) * Side * 2);
    for (std::size_t i = 0; i < greyAlpha.size(); i += 2) {
        greyAlpha[i] = std::uint8_t(argb[i / 2] >> 8);
        greyAlpha[i + 1] = std::uint8_t(i % 6 == 0 ? 0 : argb[i / 2]);
    }
    test::WriteFile(dir / "grey.png", StreamedPng(Side, Side, PNG_COLOR_TYPE_GRAY_ALPHA, 8, true, [&](int y) {
                        return greyAlpha.data() + std::size_t(y) * Side * 2;
                    }));
    TBitmap32 bitmap(Side, Side);
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x)
            for (int c = 0; c < 4; ++c)
                bitmap.Row(y)[4 * x + c] = std::uint8_t(c == 0 ? x / 2 : c == 1 ? y / 2 : x ^ y);
    test::Bytes jpeg;
    ASSERT_TRUE(EncodeJpeg(bitmap, 90, jpeg));
    test::WriteFile(dir / "colours.jpg", jpeg);
    const struct {
        std::string name;
        std::vector<std::uint32_t> colors;
    } cases[] = {
        {"rgba.png",
         {0x3F335Fu, 0x5A41C1u, 0x795448u, 0xB141C5u, 0x5B8487u, 0xD1424Fu, 0xCFA2A2u, 0x6AD785u}},
        {"grey.png",
         {0x060606u, 0x181818u, 0x303030u, 0x505050u, 0x707070u, 0x8F8F8Fu, 0xAFAFAFu, 0xDFDFDFu}},
        {"colours.jpg",
         {0x2E233Du, 0x4A3A71u, 0x6E4F82u, 0x55858Au, 0xBC4C97u, 0xCA8DCEu, 0xD7AF64u, 0x6BD889u}},
    };
    for (const auto& c : cases) {
        const TPaletteResult result = PaletteOfImageFile(dir / c.name, 8);
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.palette.colors, c.colors) << c.name << ": " << PaletteColorsText(result.palette);
    }
}

// Whatever size a file declares, its palette is read within 64 MiB: only the sampled rows and
// columns are kept. A 16384 x 16384 PNG of two flat halves (1 MB of file), the same interlaced,
// and a baseline JPEG of 16 rows whose header says 16384 x 16384 (the rows it lacks decode grey):
// a whole decode of each takes gigabytes. A progressive JPEG keeps all its coefficients until the
// last scan; one that would need more than libjpeg is given is refused.
TEST(PaletteFromImage, AHugeDeclaredSizeIsReadWithin64MiB) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    constexpr int Side = 16384;
    // Grey, one byte a pixel: the least to write and read.
    const std::vector<std::uint8_t> top(Side, 0x40), bottom(Side, 0xC0);
    const auto halves = [&](int y) { return (y < Side / 2 ? top : bottom).data(); };
    test::WriteFile(dir / "huge.png", StreamedPng(Side, Side, PNG_COLOR_TYPE_GRAY, 8, false, halves));
    test::WriteFile(dir / "huge-interlaced.png",
                    StreamedPng(Side, Side, PNG_COLOR_TYPE_GRAY, 8, true, halves));

    TBitmap32 bitmap(Side, 16); // black left, white right
    for (int y = 0; y < 16; ++y)
        for (int x = Side / 2; x < Side; ++x)
            for (int c = 0; c < 4; ++c) bitmap.Row(y)[4 * x + c] = 0xFF;
    test::Bytes jpeg;
    ASSERT_TRUE(EncodeJpeg(bitmap, 100, jpeg));
    DeclareJpegSize(jpeg, Side, Side);
    test::WriteFile(dir / "huge.jpg", jpeg);
    test::Bytes progressive = ProgressiveJpeg(64, 16);
    DeclareJpegSize(progressive, 8192, 8192);
    test::WriteFile(dir / "progressive.jpg", progressive);

    const struct {
        std::string name;
        std::string palette; // or the error
    } cases[] = {
        {"huge.png", "404040,C0C0C0"},
        {"huge-interlaced.png", "404040,C0C0C0"},
        {"huge.jpg", "000000,808080,FFFFFF"},
        {"progressive.jpg", dir / "progressive.jpg" +
                                ": a progressive JPEG of 8192 x 8192 pixels needs more than 48 MiB to read"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PaletteInBoundedChild(dir / c.name, 4, std::size_t(64) << 20), c.palette) << c.name;
}

// An interlaced image gives the palette its plain copy gives, at 8 and at 16 bits a sample, on a
// grid (600 x 600 is read at every second row and column) and whole.
TEST(PaletteFromImage, AnInterlacedImageGivesThePaletteOfItsPlainCopy) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    for (const int side : {256, 600}) {
        for (const int depth : {8, 16}) {
            const std::size_t rowBytes = std::size_t(side) * 3 * std::size_t(depth / 8);
            std::vector<std::uint8_t> samples(rowBytes * std::size_t(side));
            std::uint32_t seed = 11;
            for (std::uint8_t& sample : samples)
                sample = std::uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
            const auto row = [&](int y) { return samples.data() + rowBytes * std::size_t(y); };
            const std::string plain = dir / "plain.png", interlaced = dir / "interlaced.png";
            test::WriteFile(plain, StreamedPng(side, side, PNG_COLOR_TYPE_RGB, depth, false, row));
            test::WriteFile(interlaced, StreamedPng(side, side, PNG_COLOR_TYPE_RGB, depth, true, row));
            const TPaletteResult expected = PaletteOfImageFile(plain, 8);
            ASSERT_TRUE(expected.ok()) << expected.error;
            EXPECT_EQ(PaletteColorsText(PaletteOfImageFile(interlaced, 8).palette),
                      PaletteColorsText(expected.palette))
                << side << " x " << side << ", " << depth << "-bit";
        }
    }
}

// What --palette names: walk, a shipped name in any case, an image, a file of typed colours, or
// colours; a colour count only with an image; one line for anything else.
TEST(PaletteArgument, NamesFilesAndColoursResolveInTurn) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    test::WriteFile(dir / "two.png", RgbaPng(2, 1, {0xFF204060u, 0xFFC0A080u}));
    const std::string typed = "#102030,\n405060\n";
    test::WriteFile(dir / "mine.txt", test::Bytes(typed.begin(), typed.end()));
    const TPalette rust{{0x3A1A0Eu, 0x5E2A12u, 0x863C17u, 0xA9541Fu, 0xC8743Au, 0xDE9B63u}};
    const struct {
        std::string argument;
        int count;
        TPalette palette;
        std::string error; // a part of it
    } cases[] = {
        {"walk", 0, {}, ""},
        {"Rust", 0, rust, ""},
        {dir / "two.png", 2, {{0x204060u, 0xC0A080u}}, ""},
        {dir / "mine.txt", 0, {{0x102030u, 0x405060u}}, ""},
        {"102030, 405060", 0, {{0x102030u, 0x405060u}}, ""},
        {"rust", 4, {}, "a colour count applies only to a palette taken from an image"},
        {"nosuch", 0, {}, "no palette, file or colours 'nosuch' (walk, earth, stone,"},
        {dir / "missing.png", 0, {}, "No such file"},
        {"102030", 0, {}, "no palette, file or colours '102030'"},
        {"102030,40", 0, {}, "colour 2 '40' is not six hex digits"},
    };
    for (const auto& c : cases) {
        const TPaletteResult result = ResolvePalette(c.argument, c.count, PALLIMOR_BUILD_DIR);
        EXPECT_EQ(result.palette, c.palette) << c.argument;
        if (c.error.empty()) {
            EXPECT_TRUE(result.ok()) << c.argument << ": " << result.error;
        } else {
            EXPECT_NE(result.error.find(c.error), std::string::npos) << c.argument << ": " << result.error;
        }
    }
}

} // namespace
} // namespace vorn
