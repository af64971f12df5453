// Palettes: typed and recipe colours, the cyclic OKLab gradient, the stroke colour, the shipped
// palette file, and palettes taken from images.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>

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
