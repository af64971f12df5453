// Engine material sets: each set's files under the names its engine's importer expects, the
// channels of its packed image taken from the right map (checked against the maps made on their
// own), its normal map in the engine's green convention, and descriptors that name every image.
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/MaterialSets.h"
#include "export/MaterialText.h"
#include "export/SurfaceMaps.h"
#include "support/TempDir.h"

namespace vorn {
namespace {

// Waves and noise in each channel, so the occlusion and the roughness vary over the tile.
TBitmap32 Pattern(int side) {
    TBitmap32 bitmap(side, side);
    std::uint32_t state = 777;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            state = state * 1664525u + 1013904223u;
            std::uint8_t* p = bitmap.Row(y) + 4 * x;
            p[0] = std::uint8_t((x * 29 + y * 7) % 256);
            p[1] = std::uint8_t(((x - 20) * (y - 9)) % 256);
            p[2] = std::uint8_t(state >> 24);
            p[3] = 255;
        }
    return bitmap;
}

// An 8-bit RGBA decoding by libpng's simplified reader; channels of one pixel adjacent.
std::vector<std::uint8_t> DecodeRgba(const std::string& path, int& width, int& height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return {};
    width = int(image.width);
    height = int(image.height);
    return rgba;
}

bool HasChunk(const test::Bytes& file, const char* type) {
    return std::search(file.begin(), file.end(), type, type + 4) != file.end();
}

TEST(MaterialSets, EachSetPacksItsChannelsNamesItsFilesAndKeepsItsNormalConvention) {
    test::TempDir folder;
    const int side = 48;
    const TBitmap32 texture = Pattern(side);
    TMapOptions base;
    base.metallic = 0.25; // metal byte floor(63.75 + 0.5) = 64
    THeightMap height;
    std::vector<std::uint8_t> occlusion, roughness;
    ASSERT_TRUE(MakeTileHeightMap(texture, base, height));
    ASSERT_TRUE(MakeTileOcclusionMap(height, base, occlusion));
    ASSERT_TRUE(MakeTileRoughnessMap(texture, height, base, roughness));

    using P = TPackSource;
    const struct {
        TMaterialSet set;
        const char* packed;
        const char* normal;
        const char* descriptor;
        TNormalY y;
        bool alpha;
        TPackSource channels[4]; // red, green, blue, alpha as the engine's material reads them
    } cases[] = {
        {TMaterialSet::Gltf,
         "t_orm.png",
         "t_normal.png",
         "t.gltf",
         TNormalY::Up,
         false,
         {P::Occlusion, P::Roughness, P::Metal, P::Full}},
        {TMaterialSet::Godot,
         "t_orm.png",
         "t_normal.png",
         "t.tres",
         TNormalY::Up,
         false,
         {P::Occlusion, P::Roughness, P::Metal, P::Full}},
        {TMaterialSet::UnityUrp,
         "t_MetallicSmoothness.png",
         "t_Normal.png",
         "t_import.txt",
         TNormalY::Up,
         true,
         {P::Metal, P::Occlusion, P::Zero, P::Smoothness}},
        {TMaterialSet::UnityHdrp,
         "t_MaskMap.png",
         "t_Normal.png",
         "t_import.txt",
         TNormalY::Up,
         true,
         {P::Metal, P::Occlusion, P::Full, P::Smoothness}},
        {TMaterialSet::Unreal,
         "t_ORM.png",
         "t_N.png",
         "t_import.txt",
         TNormalY::Down,
         false,
         {P::Occlusion, P::Roughness, P::Metal, P::Full}},
    };
    for (const auto& c : cases) {
        const TMaterialSetInfo& info = MaterialSetInfo(c.set);
        SCOPED_TRACE(info.name);
        const std::string dir = folder / info.name;
        std::filesystem::create_directory(dir);
        TMapOptions options = base;
        options.material = c.set;
        const std::vector<std::string> expected{dir + "/t.png", dir + "/" + c.normal, dir + "/" + c.packed,
                                                dir + "/" + c.descriptor};
        EXPECT_EQ(ExportedFileNames(dir + "/t.png", options), expected);
        const TExportResult result = WriteMaps(texture, dir + "/t.png", options);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.writtenFile, expected.back());

        // Each channel against its source: R G B A of the file.
        int w = 0, h = 0;
        const std::vector<std::uint8_t> packed = DecodeRgba(dir + "/" + c.packed, w, h);
        ASSERT_EQ(w, side);
        ASSERT_EQ(h, side);
        const test::Bytes packedFile = test::ReadFile(dir + "/" + c.packed);
        EXPECT_EQ(packedFile[25], c.alpha ? 6 : 2); // IHDR colour type: RGBA or RGB
        EXPECT_FALSE(HasChunk(packedFile, "sRGB")); // data, not colour
        EXPECT_FALSE(HasChunk(packedFile, "gAMA"));
        for (std::size_t i = 0; i < occlusion.size(); ++i) {
            for (int ch = 0; ch < 4; ++ch) {
                std::uint8_t want = 0;
                switch (c.channels[ch]) {
                case TPackSource::Zero:
                    want = 0;
                    break;
                case TPackSource::Full:
                    want = 255;
                    break;
                case TPackSource::Metal:
                    want = 64;
                    break;
                case TPackSource::Occlusion:
                    want = occlusion[i];
                    break;
                case TPackSource::Roughness:
                    want = roughness[i];
                    break;
                case TPackSource::Smoothness:
                    want = std::uint8_t(255 - roughness[i]);
                    break;
                }
                if (ch == 3 && !c.alpha) want = 255; // an RGB file decodes with an opaque alpha
                ASSERT_EQ(packed[4 * i + std::size_t(ch)], want) << "pixel " << i << " channel " << ch;
            }
        }

        TMapOptions normalOptions = base;
        normalOptions.normalY = c.y;
        TBitmap32 normal;
        ASSERT_TRUE(MakeTileNormalMap(height, normalOptions, normal));
        const std::vector<std::uint8_t> file = DecodeRgba(dir + "/" + c.normal, w, h);
        ASSERT_EQ(file.size(), std::size_t(4 * side * side));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                ASSERT_EQ(file[std::size_t(4 * (y * side + x) + 1)], normal.Row(y)[4 * x + 1])
                    << x << "," << y;

        const test::Bytes text = test::ReadFile(dir + "/" + c.descriptor);
        const std::string descriptor(text.begin(), text.end());
        for (const char* named : {"t.png", c.normal, c.packed})
            EXPECT_NE(descriptor.find(named), std::string::npos) << named;
    }
}

// The URP smoothness is the roughness turned over, whatever the metalness; the table's sets
// agree with what the engines read.
TEST(MaterialSets, UrpAlphaIsSmoothnessAndMetalIsRounded) {
    const TMaterialSetInfo& urp = MaterialSetInfo(TMaterialSet::UnityUrp);
    const std::vector<std::uint8_t> ao{0, 100, 255}, rough{0, 37, 255};
    TBitmap32 out;
    ASSERT_TRUE(PackMaterialImage(urp, 3, 1, ao, rough, MetalByte(1.0), out));
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(out.Row(0)[4 * x + 3], 255 - rough[std::size_t(x)]); // alpha
        EXPECT_EQ(out.Row(0)[4 * x + 2], 255);                         // red: metal
        EXPECT_EQ(out.Row(0)[4 * x + 1], ao[std::size_t(x)]);          // green: occlusion
    }
    const struct {
        double metallic;
        std::uint8_t byte;
    } metals[] = {{0.0, 0}, {0.5, 128}, {1.0 / 255, 1}, {0.998, 254}, {1.0, 255}};
    for (const auto& m : metals) EXPECT_EQ(MetalByte(m.metallic), m.byte) << m.metallic;
    EXPECT_FALSE(PackMaterialImage(urp, 2, 2, ao, rough, 0, out)); // sizes differ
}

TEST(MaterialSets, AGltfSetNeedsAPngOrJpegTextureAndIsRefusedBeforeWriting) {
    test::TempDir folder;
    TMapOptions options;
    options.material = TMaterialSet::Gltf;
    EXPECT_FALSE(MaterialSetProblem(folder / "t.bmp", options).empty());
    EXPECT_TRUE(MaterialSetProblem(folder / "t.jpg", options).empty());
    const TExportResult result = WriteMaps(Pattern(8), folder / "t.bmp", options);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(std::filesystem::exists(folder / "t_normal.png"));
    EXPECT_EQ(UriOfFileName("a b\"%.png"), "a%20b%22%25.png");
}

} // namespace
} // namespace vorn
