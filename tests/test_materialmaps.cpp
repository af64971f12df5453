// Height and normal maps: they tile as the texture does (the map of a texture shifted by half a
// tile is the shifted map), and the files are a 16-bit grey and an 8-bit RGB PNG holding the
// values the formulas give, decoded by libpng's reader.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <numbers>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/ExrImage.h"
#include "export/MaterialMaps.h"
#include "support/TempDir.h"

namespace vorn {
namespace {

// Smooth waves in each channel plus a little noise, not symmetric about anything.
TBitmap32 Pattern(int width, int height) {
    TBitmap32 bitmap(width, height);
    std::uint32_t state = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            std::uint8_t* p = bitmap.Row(y) + 4 * x;
            p[0] = std::uint8_t((x * 37 + y * 11) % 256);
            p[1] = std::uint8_t((x * x + 3 * y) % 256);
            p[2] = std::uint8_t((state >> 24) & 0x3F);
            p[3] = std::uint8_t(x);
        }
    return bitmap;
}

// bitmap moved by (dx, dy) as it repeats: pixel (x, y) goes to (x + dx, y + dy) wrapped.
TBitmap32 Shifted(const TBitmap32& bitmap, int dx, int dy) {
    const int w = bitmap.Width(), h = bitmap.Height();
    TBitmap32 out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                out.Row((y + dy) % h)[4 * ((x + dx) % w) + c] = bitmap.Row(y)[4 * x + c];
    return out;
}

std::vector<std::uint8_t> Pixels(const TBitmap32& bitmap) {
    return {bitmap.Bits(), bitmap.Bits() + bitmap.Pitch() * std::size_t(bitmap.Height())};
}

TEST(MaterialMaps, MapsOfATextureShiftedByHalfATileAreTheShiftedMaps) {
    const TBitmap32 texture = Pattern(40, 26);
    const TBitmap32 moved = Shifted(texture, 20, 13);
    const struct {
        int blur;
        TNormalY y;
        TNormalFilter filter;
    } cases[] = {
        {0, TNormalY::Up, TNormalFilter::Sobel},
        {3, TNormalY::Up, TNormalFilter::Sobel},
        {3, TNormalY::Down, TNormalFilter::Sobel},
        {30, TNormalY::Down, TNormalFilter::Scharr}, // a box wider than the tile wraps more than once
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("blur " + std::to_string(c.blur) + (c.y == TNormalY::Up ? " up" : " down"));
        THeightMap height, movedHeight;
        ASSERT_TRUE(MakeHeightMap(texture, c.blur, height));
        ASSERT_TRUE(MakeHeightMap(moved, c.blur, movedHeight));
        // The heights as the grey of a bitmap, to shift them the same way.
        TBitmap32 grey(40, 26), movedGrey(40, 26);
        for (int i = 0; i < 40 * 26; ++i) {
            grey.Bits()[4 * i] = std::uint8_t(height.values[i]);
            grey.Bits()[4 * i + 1] = std::uint8_t(height.values[i] >> 8);
            movedGrey.Bits()[4 * i] = std::uint8_t(movedHeight.values[i]);
            movedGrey.Bits()[4 * i + 1] = std::uint8_t(movedHeight.values[i] >> 8);
        }
        EXPECT_EQ(Pixels(movedGrey), Pixels(Shifted(grey, 20, 13)));

        TBitmap32 normal, movedNormal;
        ASSERT_TRUE(MakeNormalMap(height, 2.5, c.y, c.filter, normal));
        ASSERT_TRUE(MakeNormalMap(movedHeight, 2.5, c.y, c.filter, movedNormal));
        EXPECT_EQ(Pixels(movedNormal), Pixels(Shifted(normal, 20, 13)));
    }
}

// Across the edges a texture does not repeat over, the filters clamp: a 4 x 4 tile of two black
// then two white lines, down (rows) or across (columns). Wrapped, the first line sees the white
// last line beside it: its box blur of radius 1 is (65535 + 0 + 0 + 1) / 3 = 21845 and its normal
// slopes. Clamped, it sees itself: (0 + 0 + 0 + 1) / 3 = 0 and a flat normal (128, 128, 255); so
// does the white last line, (65535 * 3 + 1) / 3 = 65535.
TEST(MaterialMaps, FiltersWrapAcrossTheTiledEdgesAndClampAcrossTheOthers) {
    const struct {
        bool rows; // the lines are rows (they change down the tile)
        TMapEdges edges;
        bool clamped; // across the lines' direction
    } cases[] = {
        {true, {true, false}, true},  // Wrap X: top and bottom clamp
        {true, {true, true}, false},  // Wrap, Mirror
        {false, {false, true}, true}, // Wrap Y: left and right clamp
        {false, {true, false}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rows ? "rows" : "columns") + (c.clamped ? " clamped" : " wrapped"));
        TBitmap32 texture(4, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                for (int k = 0; k < 4; ++k) texture.Row(y)[4 * x + k] = (c.rows ? y : x) >= 2 ? 255 : 0;
        THeightMap height;
        ASSERT_TRUE(MakeHeightMap(texture, 1, height, c.edges));
        const auto at = [&](const THeightMap& map, int line) {
            return c.rows ? map.Row(line)[1] : map.Row(1)[line];
        };
        EXPECT_EQ(at(height, 0), c.clamped ? 0 : 21845);
        EXPECT_EQ(at(height, 3), c.clamped ? 65535 : 43690); // (0 + 65535 * 2 + 1) / 3

        THeightMap sharp;
        ASSERT_TRUE(MakeHeightMap(texture, 0, sharp, c.edges));
        TBitmap32 normal;
        ASSERT_TRUE(MakeNormalMap(sharp, 1.0, TNormalY::Up, TNormalFilter::Sobel, normal, c.edges));
        for (const int line : {0, 3}) {
            const std::uint8_t* p = c.rows ? normal.Row(line) + 4 : normal.Row(1) + 4 * line;
            const bool flat = p[0] == 255 && p[1] == 128 && p[2] == 128;
            EXPECT_EQ(flat, c.clamped)
                << "line " << line << ": " << int(p[2]) << " " << int(p[1]) << " " << int(p[0]);
        }
    }
}

// A PNG's header and rows as libpng's reader gives them (16-bit samples big-endian).
struct TDecoded {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = -1;
    std::vector<std::vector<std::uint8_t>> rows;
};

bool ReadPng(std::FILE* file, TDecoded& out) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_get_IHDR(png, info, &out.width, &out.height, &out.bitDepth, &out.colorType, nullptr, nullptr,
                 nullptr);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    for (png_bytep row :
         std::vector<png_bytep>(png_get_rows(png, info), png_get_rows(png, info) + out.height))
        out.rows.emplace_back(row, row + rowBytes);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

TDecoded Decode(const std::string& path) {
    TDecoded decoded;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    EXPECT_TRUE(file && ReadPng(file, decoded)) << path;
    if (file) std::fclose(file);
    return decoded;
}

// Stripes two pixels wide, black then white, across (columns) or down (rows), in a 4 x 4 tile.
// The heights are 0 and 65535; at strength 100 white stands 100 * 8 * 4 / 1024 = 3.125 pixels
// high on this side. At a stripe's edge the Sobel difference is 4 * 65535 over 8, a slope of
// 1.5625, and n = (-1.5625, 0, 1) / 1.8551 or its mirror: components -0.8423 and 0.5391, stored
// as floor(127.5 c + 128) = 20 and 196, the opposite slope as 235.
TEST(MaterialMaps, FilesAre16BitGreyAnd8BitRgbPngsOfTheHeightsAndNormals) {
    test::TempDir folder;
    const struct {
        bool columns;
        TNormalY y;
        std::uint8_t across[4]; // the slope's component at position 0..3 across the stripes
    } cases[] = {
        {true, TNormalY::Up, {235, 20, 20, 235}},    // red: x
        {false, TNormalY::Up, {20, 235, 235, 20}},   // green, y up: against the rows' direction
        {false, TNormalY::Down, {235, 20, 20, 235}}, // green, y down: as red
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.columns ? "columns" : "rows") + (c.y == TNormalY::Up ? " up" : " down"));
        TBitmap32 texture(4, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    texture.Row(y)[4 * x + ch] = (c.columns ? x : y) >= 2 ? 255 : 0;
        TMapOptions options;
        options.height = options.normal = true;
        options.normalY = c.y;
        options.normalStrength = 100;
        const TExportResult result = WriteMaps(texture, folder / "tile.jpg", options);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.writtenFile, folder / "tile_normal.png");

        const TDecoded height = Decode(folder / "tile_height.png");
        EXPECT_EQ(height.width, 4u);
        EXPECT_EQ(height.height, 4u);
        EXPECT_EQ(height.bitDepth, 16);
        EXPECT_EQ(height.colorType, PNG_COLOR_TYPE_GRAY);
        const TDecoded normal = Decode(folder / "tile_normal.png");
        EXPECT_EQ(normal.width, 4u);
        EXPECT_EQ(normal.height, 4u);
        EXPECT_EQ(normal.bitDepth, 8);
        EXPECT_EQ(normal.colorType, PNG_COLOR_TYPE_RGB);
        ASSERT_EQ(height.rows.size(), 4u);
        ASSERT_EQ(normal.rows.size(), 4u);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const int at = c.columns ? x : y;
                const std::uint8_t* h = &height.rows[y][2 * x];
                EXPECT_EQ(h[0] << 8 | h[1], at >= 2 ? 65535 : 0) << x << "," << y;
                const std::uint8_t* n = &normal.rows[y][3 * x];
                EXPECT_EQ(n[c.columns ? 0 : 1], c.across[at]) << x << "," << y;
                EXPECT_EQ(n[c.columns ? 1 : 0], 128) << x << "," << y;
                EXPECT_EQ(n[2], 196) << x << "," << y;
            }
    }

    // A flat colour: one height everywhere, (257 (2126 R + 7152 G + 722 B) + 5000) / 10000 for
    // R, G, B = 10, 200, 30: 378648240 / 10000 = 37864; the normal straight up, (128, 128, 255);
    // nothing occludes (255); no contrast, so the roughness is 0.9 - 0.55 * 37864 / 131070 =
    // 0.7411, stored as floor(255 * 0.7411 + 0.5) = 189. The maps are named in that order.
    TBitmap32 flat(3, 2);
    for (int i = 0; i < 6; ++i) {
        flat.Bits()[4 * i] = 30;
        flat.Bits()[4 * i + 1] = 200;
        flat.Bits()[4 * i + 2] = 10;
    }
    TMapOptions both;
    both.height = both.normal = both.roughness = both.occlusion = true;
    EXPECT_EQ(ExportedFileNames(folder / "flat.bmp", both),
              (std::vector<std::string>{folder / "flat.bmp", folder / "flat_height.png", folder / "flat_normal.png",
                                        folder / "flat_roughness.png", folder / "flat_ao.png"}));
    const TExportResult all = WriteMaps(flat, folder / "flat.bmp", both);
    ASSERT_TRUE(all.ok) << all.error;
    for (const auto& [kind, value] : {std::pair{"roughness", 189}, {"ao", 255}}) {
        const TDecoded grey = Decode(folder / ("flat_" + std::string(kind) + ".png"));
        EXPECT_EQ(grey.bitDepth, 8) << kind;
        EXPECT_EQ(grey.colorType, PNG_COLOR_TYPE_GRAY) << kind;
        ASSERT_EQ(grey.rows.size(), 2u) << kind;
        EXPECT_EQ(grey.rows[1], std::vector<std::uint8_t>(3, std::uint8_t(value))) << kind;
    }
    // As OpenEXR: the same values over full scale in one half channel "Y", the nearest halves of
    // 37864 / 65535, 189 / 255 and 1; the normal map stays PNG.
    both.format = TMapFormat::Exr;
    EXPECT_EQ(ExportedFileNames(folder / "flat.bmp", both),
              (std::vector<std::string>{folder / "flat.bmp", folder / "flat_height.exr", folder / "flat_normal.png",
                                        folder / "flat_roughness.exr", folder / "flat_ao.exr"}));
    ASSERT_TRUE(WriteMaps(flat, folder / "flat.bmp", both).ok);
    for (const auto& [kind, value] :
         {std::pair{"height", 0.57763671875f}, {"roughness", 0.7412109375f}, {"ao", 1.0f}}) {
        const test::Bytes bytes = test::ReadFile(folder / ("flat_" + std::string(kind) + ".exr"));
        int width = 0, rows = 0;
        std::vector<TExrChannel> channels;
        ASSERT_TRUE(DecodeExr(bytes, width, rows, channels)) << kind;
        EXPECT_EQ(width, 3);
        EXPECT_EQ(rows, 2);
        ASSERT_EQ(channels.size(), 1u);
        EXPECT_EQ(channels[0].name, "Y");
        EXPECT_EQ(channels[0].values, std::vector<float>(6, value)) << kind;
    }
    const TDecoded height = Decode(folder / "flat_height.png");
    const TDecoded normal = Decode(folder / "flat_normal.png");
    ASSERT_EQ(height.rows.size(), 2u);
    ASSERT_EQ(normal.rows.size(), 2u);
    EXPECT_EQ(height.rows[1], std::vector<std::uint8_t>({147, 232, 147, 232, 147, 232})); // 37864
    EXPECT_EQ(normal.rows[1], std::vector<std::uint8_t>({128, 128, 255, 128, 128, 255, 128, 128, 255}));
}

// The strength is a part of the tile's side: a smooth relief gives the same normals at 4096,
// averaged over 8 x 8 pixels, as at 512. The heights are a sinusoid of one period across the tile
// in 16 bits, so their rounding is negligible, as is the filters' error on so long a period (a
// relative (2 pi / 512)^2 / 4 < 4e-5) and the curvature within one 512 pixel (about 1e-5). What
// remains is the bytes' floor: 64 floored values average to c' - 0.5 +- a little, one floored
// value lies in (c' - 1, c'], so the two differ by at most 1 (plus the small terms).
TEST(MaterialMaps, ANormalMapAt4096AveragedDownMatchesTheOneAt512) {
    const auto relief = [](int side) {
        THeightMap map{side, side, std::vector<std::uint16_t>(std::size_t(side) * std::size_t(side))};
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const double u = (x + 0.5) / side, v = (y + 0.5) / side;
                map.Row(y)[x] = static_cast<std::uint16_t>(
                    std::lround(32767.5 + 30000.0 * std::sin(2 * std::numbers::pi * u) * std::cos(2 * std::numbers::pi * v)));
            }
        return map;
    };
    TMapOptions options;
    options.normalStrength = 50;
    TBitmap32 large, small;
    ASSERT_TRUE(MakeTileNormalMap(relief(4096), options, large));
    ASSERT_TRUE(MakeTileNormalMap(relief(512), options, small));
    double worst = 0.0, steepest = 0.0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int j = 0; j < 8; ++j)
                    for (int i = 0; i < 8; ++i) sum += large.Row(8 * y + j)[4 * (8 * x + i) + c];
                const int one = small.Row(y)[4 * x + c];
                worst = std::max(worst, std::abs(sum / 64.0 - one));
                steepest = std::max(steepest, std::abs(one - 128.0));
            }
    EXPECT_LE(worst, 1.05);
    EXPECT_GT(steepest, 60.0); // a relief steep enough to tell
}

} // namespace
} // namespace vorn
