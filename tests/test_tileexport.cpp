// Tile export: the extension rule, the format written for each name, the JPEG
// quality's low 8 bits, failures that leave an earlier file alone, and the
// read-back of render targets of a headless device into bitmaps, BMP and PNG
// files (with the device refusing each step).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "engine/soft/SoftDevice.h"
#include "export/TileExport.h"
#include "io/SafeFile.h"
#include "support/FailingFileWriter.h"
#include "support/FaultyDevice.h"
#include "support/PngDecode.h"
#include "support/TempDir.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

using test::DecodePngRgb;
using test::ReadFile;
using test::WriteFile;

TExportFormat Sniff(const Bytes& file) {
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (file.size() >= 8 && std::memcmp(file.data(), png, 8) == 0) return TExportFormat::Png;
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') return TExportFormat::Bmp;
    EXPECT_TRUE(file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF) << "not a JPEG";
    return TExportFormat::Jpeg;
}

TBitmap32 Gradient(int size) {
    TBitmap32 bitmap(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            std::uint8_t* p = bitmap.Row(y) + 4 * x;
            p[0] = std::uint8_t(x * 3);
            p[1] = std::uint8_t(y * 5);
            p[2] = std::uint8_t(x + y);
            p[3] = std::uint8_t(255 - x);
        }
    return bitmap;
}

// ---- premultiplied read-backs ----

// One premultiplied texel (colour C in all three channels, alpha A) made straight, and put over a
// grey of M: round(C * 255 / A) at most 255 (A 0: all 0); C + round(M * (255 - A) / 255) at most 255.
TEST(PremultipliedTexels, StraightAndOverAColour) {
    const struct {
        std::uint8_t c, a, m;
        std::uint8_t straight, over;
    } cases[] = {
        {0, 0, 128, 0, 128},       // nothing drawn: transparent; the ground itself
        {64, 128, 255, 128, 191},  // (64 * 255 + 64) / 128 = 128; 64 + 127
        {10, 255, 200, 10, 10},    // opaque: unchanged
        {200, 100, 255, 255, 255}, // brighter than its coverage (Add): clamped
    };
    for (const auto& c : cases) {
        TBitmap32 straight(1, 1);
        std::uint8_t* p = straight.Row(0);
        p[0] = p[1] = p[2] = c.c;
        p[3] = c.a;
        TBitmap32 over = straight;
        UnpremultiplyAlpha(straight);
        EXPECT_TRUE(straight.HasAlpha());
        EXPECT_EQ(int(straight.Row(0)[1]), c.straight) << int(c.c) << " / " << int(c.a);
        EXPECT_EQ(int(straight.Row(0)[3]), c.a);
        ComposeOverColor(over, c.m * 0x010101u);
        EXPECT_FALSE(over.HasAlpha());
        EXPECT_EQ(int(over.Row(0)[1]), c.over) << int(c.c) << " / " << int(c.a);
        EXPECT_EQ(int(over.Row(0)[3]), 255);
    }
}

// ---- the extension rule ----

TEST(ExportName, ExtensionDecidesFormatWithoutCase) {
    struct Case {
        const char* given;
        const char* written;
        TExportFormat format;
    };
    const Case cases[] = {
        {"/t/a.png", "/t/a.png", TExportFormat::Png},
        {"/t/a.bmp", "/t/a.bmp", TExportFormat::Bmp},
        {"/t/Tile.PNG", "/t/Tile.PNG", TExportFormat::Png},
        {"/t/a.BMP", "/t/a.BMP", TExportFormat::Bmp},
        {"/t/a.Png", "/t/a.Png", TExportFormat::Png},
        {"/t/a.bMp", "/t/a.bMp", TExportFormat::Bmp},
        {"/t/a.pnf", "/t/a.pnf", TExportFormat::Jpeg}, // one letter off: not a PNG
        {"/t/a.pn", "/t/a.pn", TExportFormat::Jpeg},
        {"/t/a.pngx", "/t/a.pngx", TExportFormat::Jpeg},
        {"/t/a.jpg", "/t/a.jpg", TExportFormat::Jpeg},
        {"/t/a.JPG", "/t/a.JPG", TExportFormat::Jpeg},
        {"/t/a.jpeg", "/t/a.jpeg", TExportFormat::Jpeg},
        {"/t/a.gif", "/t/a.gif", TExportFormat::Jpeg},
        {"/t/a.", "/t/a.", TExportFormat::Jpeg},              // a lone dot is an extension
        {"/t/a.png.bmp", "/t/a.png.bmp", TExportFormat::Bmp}, // the last dot counts
        {"/t/.png", "/t/.png", TExportFormat::Png},
        {"/t/texture", "/t/texture.bmp", TExportFormat::Bmp}, // none: ".bmp" appended
        {"/home/u/some.folder/texture", "/home/u/some.folder/texture.bmp", TExportFormat::Bmp},
        {"some.folder/", "some.folder/.bmp", TExportFormat::Bmp},
        {"texture", "texture.bmp", TExportFormat::Bmp},
        {"", ".bmp", TExportFormat::Bmp},
    };
    for (const Case& c : cases) {
        const TExportName name = ResolveExportName(c.given);
        EXPECT_EQ(name.fileName, c.written) << c.given;
        EXPECT_EQ(int(name.format), int(c.format)) << c.given;
    }
    EXPECT_EQ(ExportExtension("/a.b/c.d/e"), "");
    EXPECT_EQ(ExportExtension("/a.b/c.d/e.x"), ".x");
    EXPECT_EQ(ExportExtension("e.tar.gz"), ".gz");
}

// ---- saving a bitmap ----

class SaveTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_folder.path().empty()); }
    test::TempDir m_folder{"tileexport-"};
    test::FailingFileWriter m_writer;
    const TBitmap32 m_bitmap = Gradient(64);
};

TEST_F(SaveTest, EachNameGetsItsFormat) {
    fs::create_directory(m_folder / "some.folder");
    struct Case {
        const char* given;
        const char* written;
        TExportFormat format;
    };
    const Case cases[] = {
        {"a.png", "a.png", TExportFormat::Png},
        {"b.bmp", "b.bmp", TExportFormat::Bmp},
        {"c.PNG", "c.PNG", TExportFormat::Png},
        {"d.BMP", "d.BMP", TExportFormat::Bmp},
        {"e.jpg", "e.jpg", TExportFormat::Jpeg},
        {"f.jpeg", "f.jpeg", TExportFormat::Jpeg},
        {"g.", "g.", TExportFormat::Jpeg},
        {"h", "h.bmp", TExportFormat::Bmp},
        {"some.folder/texture", "some.folder/texture.bmp", TExportFormat::Bmp},
    };
    for (const Case& c : cases) {
        const TExportResult result = SaveBitmap(m_bitmap, m_folder / c.given, 95);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(result.error.empty());
        EXPECT_EQ(result.writtenFile, m_folder / c.written);
        EXPECT_EQ(int(Sniff(ReadFile(m_folder / c.written))), int(c.format)) << c.given;
    }
    EXPECT_EQ(m_folder.EntriesRecursive(),
              (std::vector<std::string>{"a.png", "b.bmp", "c.PNG", "d.BMP", "e.jpg", "f.jpeg", "g.", "h.bmp",
                                        "some.folder", "some.folder/texture.bmp"}));
}

TEST_F(SaveTest, OnlyTheLowEightBitsOfTheQualityCount) {
    Bytes q95, q1;
    ASSERT_TRUE(EncodeJpeg(m_bitmap, 95, q95));
    ASSERT_TRUE(EncodeJpeg(m_bitmap, 1, q1));
    ASSERT_TRUE(SaveBitmap(m_bitmap, m_folder / "a.jpg", 95 + 256).ok);
    EXPECT_TRUE(ReadFile(m_folder / "a.jpg") == q95);
    ASSERT_TRUE(SaveBitmap(m_bitmap, m_folder / "b.jpg", 256).ok); // 0, which libjpeg takes as 1
    EXPECT_TRUE(ReadFile(m_folder / "b.jpg") == q1);
}

TEST_F(SaveTest, FailuresNameTheFileAndKeepTheEarlierOne) {
    const std::string earlier = m_folder / "image004.png";
    const Bytes old = {1, 2, 3, 4};
    WriteFile(earlier, old);

    TExportResult result = SaveBitmap(m_bitmap, m_folder / "missing/image004.png", 95);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error,
              "Cannot write " + (m_folder / "missing/image004.png") + ": No such file or directory");

    // A read-only folder (root is not stopped by permissions: the refusal is
    // injected then).
    if (::geteuid() != 0) {
        fs::permissions(m_folder.path(), fs::perms::owner_write, fs::perm_options::remove);
    } else {
        m_writer.failCreate = true;
        m_writer.failErrno = EACCES;
    }
    result = SaveBitmap(m_bitmap, earlier, 95, m_writer);
    fs::permissions(m_folder.path(), fs::perms::owner_write, fs::perm_options::add);
    m_writer = test::FailingFileWriter{};
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Cannot write " + earlier + ": Permission denied");

    // The disk fills up after the first piece of a 1024 x 1024 BMP.
    m_writer.writesBeforeFailure = 1;
    result = SaveBitmap(Gradient(1024), m_folder / "image004", 95, m_writer);
    EXPECT_EQ(m_writer.writeCalls, 2);
    m_writer = test::FailingFileWriter{};
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.writtenFile, m_folder / "image004.bmp");
    EXPECT_EQ(result.error, "Cannot write " + (m_folder / "image004.bmp") + ": No space left on device");

    EXPECT_EQ(ReadFile(earlier), old);
    EXPECT_EQ(m_folder.EntriesRecursive(), std::vector<std::string>{"image004.png"})
        << "partial or temporary file left";
}

// ---- read-back from the device ----

// BGRA bytes of a pixel as one value 0xAARRGGBB.
std::uint32_t PixelAt(const TBitmap32& bitmap, int x, int y) {
    const std::uint8_t* p = bitmap.Row(y) + 4 * x;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// What the painted targets hold, as 0xAARRGGBB: the top quarter blue, the last
// pixel 0x11223344, the rest the clear colour (canvas 0x80204060: red 0x60,
// green 0x40, blue 0x20).
constexpr std::uint32_t Background = 0x80604020u;
constexpr std::uint32_t TopBand = 0xFF0000FFu;
constexpr std::uint32_t Corner = 0x11223344u;

std::uint32_t Expected(int x, int y, int size) {
    if (x == size - 1 && y == size - 1) return Corner;
    return y < size / 4 ? TopBand : Background;
}

::testing::AssertionResult PaintedPixels(const TBitmap32& bitmap, int size) {
    if (bitmap.Width() != size || bitmap.Height() != size)
        return ::testing::AssertionFailure() << "bitmap " << bitmap.Width() << " x " << bitmap.Height();
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (PixelAt(bitmap, x, y) != Expected(x, y, size)) {
                char text[120];
                std::snprintf(text, sizeof text, "first difference at (%d, %d): expected 0x%08X, got 0x%08X",
                              x, y, Expected(x, y, size), PixelAt(bitmap, x, y));
                return ::testing::AssertionFailure() << text;
            }
    return ::testing::AssertionSuccess();
}

class DeviceExport : public ::testing::Test {
protected:
    void SetUp() override {
        m_device.SetWidth(64);
        m_device.SetHeight(64);
        m_textures.SetPublisher(&m_device);
        ASSERT_TRUE(m_device.Initialize());
        // The application's seven targets: view, tile, then the outputs for 1024
        // .. 64.
        for (int size : {256, 1024, 1024, 512, 256, 128, 64})
            ASSERT_TRUE(m_textures.AddRenderTargets(1, size, size, aqHigh, alFull)) << size;
    }
    void Paint(int index, int size) {
        sd::Device* d3d = m_device.D3DDevice();
        ASSERT_TRUE(m_textures.RenderIntoTarget(
            index, 0x80204060u,
            [&](TVornTextures*) {
                const sd::RECT band{0, 0, size, size / 4};
                const sd::RECT corner{size - 1, size - 1, size, size};
                d3d->Clear(1, &band, sd::D3DCLEAR_TARGET, TopBand, 1.0f, 0);
                d3d->Clear(1, &corner, sd::D3DCLEAR_TARGET, Corner, 1.0f, 0);
            },
            true));
    }

    test::TempDir m_folder{"tileexport-"};
    test::DeviceFaults m_faults;
    TVornDevice m_device{test::FaultyDirect3DFactory(m_faults)};
    TVornTextures m_textures;
};

TEST_F(DeviceExport, CopyToBitmapReadsTheTargetUnchanged) {
    for (auto [index, size] : {std::pair{6, 64}, {2, 1024}}) {
        Paint(index, size);
        TBitmap32 bitmap;
        ASSERT_TRUE(CopyToBitmap(m_textures, index, size, bitmap));
        EXPECT_TRUE(PaintedPixels(bitmap, size)) << size;
    }
}

TEST_F(DeviceExport, CopyToBitmapReadsTheIndexGiven) {
    Paint(4, 256);
    ASSERT_TRUE(m_textures.RenderIntoTarget(0, 0xFF000000u, nullptr,
                                            true)); // same size, other target
    TBitmap32 bitmap;
    ASSERT_TRUE(CopyToBitmap(m_textures, 4, 256, bitmap));
    EXPECT_TRUE(PaintedPixels(bitmap, 256));
    ASSERT_TRUE(CopyToBitmap(m_textures, 0, 256, bitmap));
    EXPECT_EQ(PixelAt(bitmap, 0, 0), 0xFF000000u);

    EXPECT_FALSE(CopyToBitmap(m_textures, 7, 64, bitmap));
    EXPECT_FALSE(CopyToBitmap(m_textures, -1, 64, bitmap));
    EXPECT_FALSE(CopyToBitmap(m_textures, 6, 128, bitmap)) << "a size other than the target's";
}

TEST_F(DeviceExport, BmpAndPngFilesHoldTheTarget) {
    for (auto [index, size] : {std::pair{6, 64}, {2, 1024}}) {
        Paint(index, size);
        const std::string stem = m_folder / ("tile" + std::to_string(size));

        TExportResult result = TileExport(m_textures, index, size, stem, 95);
        ASSERT_TRUE(result.ok) << result.error;
        ASSERT_EQ(result.writtenFile, stem + ".bmp");
        const Bytes bmp = ReadFile(stem + ".bmp");
        ASSERT_EQ(bmp.size(), 54u + std::size_t(size) * size * 4);
        TBitmap32 decoded(size, size);
        for (int y = 0; y < size; ++y) // bottom-up rows, alpha kept
            std::memcpy(decoded.Row(y), bmp.data() + 54 + std::size_t(size - 1 - y) * size * 4,
                        std::size_t(size) * 4);
        EXPECT_TRUE(PaintedPixels(decoded, size)) << "BMP " << size;

        result = TileExport(m_textures, index, size, stem + ".png", 95);
        ASSERT_TRUE(result.ok) << result.error;
        int width = 0, height = 0;
        const Bytes rgb = DecodePngRgb(stem + ".png", width, height);
        ASSERT_EQ(width, size);
        ASSERT_EQ(height, size);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const std::uint8_t* q = rgb.data() + (std::size_t(y) * size + x) * 3;
                const std::uint32_t got =
                    0xFF000000u | std::uint32_t(q[0]) << 16 | std::uint32_t(q[1]) << 8 | q[2];
                ASSERT_EQ(got, Expected(x, y, size) | 0xFF000000u) << "PNG pixel (" << x << ", " << y << ")";
            }
    }
}

TEST_F(DeviceExport, RefusedReadBackWritesNothing) {
    Paint(6, 64);
    const std::string earlier = m_folder / "image000.png";
    WriteFile(earlier, Bytes{9, 9});
    for (bool* hook : {&m_faults.failCreateOffscreenSurface, &m_faults.failGetRenderTargetData}) {
        *hook = true;
        TBitmap32 bitmap;
        EXPECT_FALSE(CopyToBitmap(m_textures, 6, 64, bitmap));
        const TExportResult result = TileExport(m_textures, 6, 64, earlier, 95);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "Cannot write " + earlier + ": Reading the texture from the device failed");
        const TExportResult fresh = TileExport(m_textures, 6, 64, m_folder / "image001", 95);
        *hook = false;
        EXPECT_FALSE(fresh.ok);
        EXPECT_EQ(fresh.writtenFile, m_folder / "image001.bmp");
    }
    // Memory running out is said as such, not as a device fault.
    m_faults.failCreateOffscreenSurface = true;
    m_faults.offscreenSurfaceFailure = sd::E_OUTOFMEMORY;
    EXPECT_EQ(TileExport(m_textures, 6, 64, earlier, 95).error,
              "Cannot write " + earlier + ": Out of memory");
    m_faults.failCreateOffscreenSurface = false;
    EXPECT_EQ(ReadFile(earlier), (Bytes{9, 9}));
    EXPECT_EQ(m_folder.EntriesRecursive(), std::vector<std::string>{"image000.png"});
    // The device is fine again afterwards.
    EXPECT_TRUE(TileExport(m_textures, 6, 64, earlier, 95).ok);
}

} // namespace
} // namespace vorn
