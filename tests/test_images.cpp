// The image list and image loading on a headless device: record order and the load event, the
// pattern geometry, texel conversion into the chosen texture format, crafted image records, and
// the device's notifications.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/VornDb.h"
#include "archive/VornDbWriter.h"
#include "archive/VornImages.h"
#include "engine/VornDevices.h"
#include "support/TempDir.h"

namespace {

using vorn::TImageRecordHeader;
using vorn::TVornDbWriter;
using vorn::TVornImage;
using vorn::test::Bytes;

constexpr std::uint16_t kImage = TVornDbWriter::kImageRecord;

Bytes Argb(std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (std::uint32_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

// An A8R8G8B8 image record of count textures of width x height, every texel set to fill.
Bytes SolidImage(int width, int height, int count, std::uint32_t fill = 0x80FFFFFFu) {
    TImageRecordHeader header;
    header.TextureWidth = width;
    header.TextureHeight = height;
    header.TextureCount = count;
    Bytes texels;
    for (int i = 0; i < width * height * count; ++i) {
        const Bytes one = Argb({fill});
        texels.insert(texels.end(), one.begin(), one.end());
    }
    return vorn::BuildImageRecord(header, texels);
}

class ImagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_images.SetPublisher(&m_device);
        ASSERT_TRUE(m_device.Initialize());
        ASSERT_FALSE(m_dir.path().empty());
    }

    // Writes the archive and points the reader at it.
    void Use(const TVornDbWriter& writer) {
        const std::string path = m_dir / "images.dat";
        vorn::test::WriteFile(path, writer.Build());
        UseFile(path);
    }
    void UseFile(const std::string& path) {
        m_db.SetFileName(path);
        m_db.SetOpenMode(vorn::opReadOnly);
    }

    // The 32-bit texels of sub-texture n, row by row.
    static std::vector<std::uint32_t> Texels32(TVornImage& image, int n) {
        std::vector<std::uint32_t> out;
        vorn::TLockedTexels locked;
        if (!image.Lock(n, vorn::laRead, locked)) return out;
        for (int y = 0; y < image.Height(); ++y) {
            const auto* row =
                static_cast<const std::uint8_t*>(locked.Bits) + std::ptrdiff_t(y) * locked.Pitch;
            for (int x = 0; x < image.Width(); ++x) {
                std::uint32_t v;
                std::memcpy(&v, row + 4 * x, 4);
                out.push_back(v);
            }
        }
        image.Unlock(n);
        return out;
    }
    static std::vector<std::uint16_t> Texels16(TVornImage& image, int n) {
        std::vector<std::uint16_t> out;
        vorn::TLockedTexels locked;
        if (!image.Lock(n, vorn::laRead, locked)) return out;
        for (int y = 0; y < image.Height(); ++y) {
            const auto* row =
                static_cast<const std::uint8_t*>(locked.Bits) + std::ptrdiff_t(y) * locked.Pitch;
            for (int x = 0; x < image.Width(); ++x)
                out.push_back(static_cast<std::uint16_t>(row[2 * x] | row[2 * x + 1] << 8));
        }
        image.Unlock(n);
        return out;
    }

    vorn::TVornDevice m_device;
    vorn::TVornImages m_images;
    vorn::TVornDb m_db;
    vorn::test::TempDir m_dir{"images-"};
};

template <class T> void ExpectTexels(const std::vector<T>& actual, const std::vector<T>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            ADD_FAILURE() << "first differing texel " << i << ": " << std::hex << actual[i] << ", expected "
                          << expected[i];
            return;
        }
    }
}

// ---- the list ----

TEST_F(ImagesTest, LoadsImageRecordsInTableOrderAndSkipsOthers) {
    TVornDbWriter writer;
    TImageRecordHeader header;
    header.TextureWidth = 2;
    header.TextureHeight = 2;
    header.TextureCount = 1;
    const Bytes texels = Argb({0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00});
    writer.AddRecord("first", kImage, vorn::BuildImageRecord(header, texels));
    writer.AddRecord("notes", 2, Bytes{1, 2, 3});
    writer.AddRecord("second", kImage, SolidImage(4, 2, 1));
    Use(writer);
    m_images.SetMipMappping(false);
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    ASSERT_EQ(m_images.Count(), 2);
    TVornImage* first = m_images.Item(0);
    EXPECT_EQ(first->Name(), "first");
    EXPECT_EQ(m_images.Item(1)->Name(), "second");
    EXPECT_EQ(first->State(), vorn::tsReady);
    EXPECT_EQ(first->Format(), vorn::sd::D3DFMT_A8R8G8B8);
    EXPECT_FALSE(first->Mipmapping());
    ExpectTexels(Texels32(*first, 0), {0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00});
    EXPECT_EQ(m_images.Item(2), nullptr);
    EXPECT_EQ(m_images.Item(-1), nullptr);
    EXPECT_EQ(m_images.IndexOfImage(m_images.Item(1)), 1);
    EXPECT_EQ(m_images.IndexOfImage(nullptr), -1);
}

TEST_F(ImagesTest, RecordsFailingFromTheFourthOnLeaveThreeImages) {
    TVornDbWriter writer;
    for (int i = 0; i < 6; ++i) {
        vorn::TRawRecord raw =
            TVornDbWriter::MakeRecord("image" + std::to_string(i), kImage, SolidImage(2, 2, 1));
        if (i >= 3) raw.Checksum[0] ^= 1;
        writer.AddRawRecord(raw);
    }
    Use(writer);
    EXPECT_FALSE(m_images.LoadFromVornDb(m_db));
    EXPECT_EQ(m_images.Count(), 3);
    EXPECT_EQ(m_images.Item(3), nullptr);
    EXPECT_EQ(m_images.Item(2)->Name(), "image2");
}

// The checksums worked out beside the loading, or each before the next record: the same list and
// answer. bad: the record whose checksum fails; cut: the record whose stream is cut short; -1 none.
struct ChecksumCase {
    int bad;
    int cut;
    int images;
};

class ChecksumThreadTest : public ImagesTest, public ::testing::WithParamInterface<ChecksumCase> {};

TEST_P(ChecksumThreadTest, ListEndsBeforeTheFirstFailingRecord) {
    const ChecksumCase c = GetParam();
    TVornDbWriter writer;
    for (int i = 0; i < 5; ++i) {
        vorn::TRawRecord raw = TVornDbWriter::MakeRecord("image" + std::to_string(i), kImage,
                                                         SolidImage(4, 4, 1, 0xFF000000u + i));
        if (i == c.bad) raw.Checksum[7] ^= 0x10;
        if (i == c.cut) raw.Stored.resize(raw.Stored.size() / 2);
        writer.AddRawRecord(raw);
    }
    Use(writer);
    for (const bool thread : {false, true}) {
        SCOPED_TRACE(thread ? "checksum thread" : "in turn");
        m_images.RemoveAll();
        m_images.SetChecksumThread(thread);
        EXPECT_EQ(m_images.LoadFromVornDb(m_db), c.images == 5);
        ASSERT_EQ(m_images.Count(), c.images);
        for (int i = 0; i < c.images; ++i)
            ExpectTexels(Texels32(*m_images.Item(i), 0), std::vector<std::uint32_t>(16, 0xFF000000u + i));
    }
}

INSTANTIATE_TEST_SUITE_P(Images, ChecksumThreadTest,
                         ::testing::Values(ChecksumCase{-1, -1, 5}, ChecksumCase{4, -1, 4},
                                           ChecksumCase{0, -1, 0}, ChecksumCase{1, 3, 1},
                                           ChecksumCase{3, 1, 1}, ChecksumCase{2, 2, 2}));

// Records inflate straight into the textures: bytes after the texels are still read for the
// checksum, which decides whether the image stays (here 10000 bytes, more than one read piece).
TEST_F(ImagesTest, BytesAfterTheTexelsCountForTheChecksum) {
    Bytes record = SolidImage(2, 2, 1, 0x12345678u);
    record.resize(record.size() + 10000, 0xA5);
    TVornDbWriter writer;
    writer.AddRecord("good", kImage, record);
    vorn::TRawRecord bad = TVornDbWriter::MakeRecord("bad", kImage, record);
    bad.Checksum[15] ^= 0x80;
    writer.AddRawRecord(bad);
    Use(writer);
    EXPECT_FALSE(m_images.LoadFromVornDb(m_db));
    ASSERT_EQ(m_images.Count(), 1);
    ExpectTexels(Texels32(*m_images.Item(0), 0), {0x12345678u, 0x12345678u, 0x12345678u, 0x12345678u});
}

TEST_F(ImagesTest, LoadEventSkipsRenamesAndSeesThePositionToCome) {
    TVornDbWriter writer;
    for (const char* key : {"a", "b", "c"}) writer.AddRecord(key, kImage, SolidImage(2, 2, 1));
    Use(writer);
    std::vector<std::pair<std::string, int>> calls;
    m_images.OnVornDbLoad = [&](vorn::TVornImages* sender, const std::string& key, std::int32_t index,
                                bool& accept, std::string& name, vorn::TVornQuality& quality,
                                vorn::TAlphaLevel& alphaLevel) {
        EXPECT_EQ(sender, &m_images);
        EXPECT_TRUE(accept);
        EXPECT_EQ(name, key);
        EXPECT_EQ(quality, vorn::aqHigh);
        EXPECT_EQ(alphaLevel, vorn::alFull);
        calls.emplace_back(key, index);
        if (key == "b") accept = false;
        if (key == "c") name = "renamed";
    };
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    const std::vector<std::pair<std::string, int>> expected = {{"a", 0}, {"b", 1}, {"c", 1}};
    EXPECT_EQ(calls, expected);
    ASSERT_EQ(m_images.Count(), 2);
    EXPECT_EQ(m_images.Item(0)->Name(), "a");
    EXPECT_EQ(m_images.Item(1)->Name(), "renamed");
}

TEST_F(ImagesTest, AddFromVornDbRefusesMissingAndNonImageRecords) {
    TVornDbWriter writer;
    writer.AddRecord("notes", 2, SolidImage(2, 2, 1));
    writer.AddRecord("Same", kImage, SolidImage(2, 2, 1, 0x01010101));
    writer.AddRecord("SAME", kImage, SolidImage(2, 2, 1, 0x02020202));
    Use(writer);
    EXPECT_FALSE(m_images.AddFromVornDb("notes", m_db, vorn::aqHigh, vorn::alFull));
    EXPECT_FALSE(m_images.AddFromVornDb("missing", m_db, vorn::aqHigh, vorn::alFull));
    EXPECT_EQ(m_images.Count(), 0);
    // Keys that differ only in case find the earlier record.
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    ASSERT_EQ(m_images.Count(), 2);
    for (int i = 0; i < 2; ++i)
        ExpectTexels(Texels32(*m_images.Item(i), 0), std::vector<std::uint32_t>(4, 0x01010101));
}

TEST_F(ImagesTest, UnopenableArchiveLoadsNothing) {
    UseFile(m_dir / "missing.dat");
    EXPECT_FALSE(m_images.LoadFromVornDb(m_db));
    EXPECT_EQ(m_images.Count(), 0);
}

TEST_F(ImagesTest, ListOperations) {
    m_images.SetMipMappping(true);
    TVornImage* a = m_images.AddImage();
    m_images.SetMipMappping(false);
    TVornImage* b = m_images.AddImage();
    EXPECT_TRUE(a->Mipmapping());
    EXPECT_FALSE(b->Mipmapping());
    EXPECT_EQ(a->Name(), "[unnamed]");
    EXPECT_EQ(a->Quality(), vorn::aqHigh);
    EXPECT_EQ(a->AlphaLevel(), vorn::alFull);
    EXPECT_EQ(a->State(), vorn::tsNone);
    m_images.RemoveImage(2);
    m_images.RemoveImage(-1);
    EXPECT_EQ(m_images.Count(), 2);
    m_images.RemoveImage(0);
    EXPECT_EQ(m_images.Item(0), b);
    m_images.RemoveAll();
    EXPECT_EQ(m_images.Count(), 0);
}

// ---- pattern geometry ----

struct Geometry {
    int patternW, patternH, visibleW, visibleH, patterns, textureW, textureH, count;
};

TEST_F(ImagesTest, PatternGeometry) {
    struct Case {
        Geometry stored;
        bool loads;
        vorn::TIntSize pattern, visible;
        int columns, rows, perTexture, patterns;
    };
    const Case cases[] = {
        // All zero: one pattern per texture covering it, as many patterns as textures.
        {{0, 0, 0, 0, 0, 8, 4, 3}, true, {8, 4}, {8, 4}, 1, 1, 1, 3},
        // 256 x 256 with 64 x 64 patterns and two textures.
        {{64, 64, 64, 64, 0, 256, 256, 2}, true, {64, 64}, {64, 64}, 4, 4, 16, 32},
        // Remainders are cut off; a stored count is kept.
        {{3, 2, 1, 1, 5, 8, 5, 1}, true, {3, 2}, {1, 1}, 2, 2, 4, 5},
        // The visible size defaults to the texture's, which exceeds a smaller pattern.
        {{4, 4, 0, 0, 0, 8, 8, 1}, false, {}, {}, 0, 0, 0, 0},
        {{9, 4, 0, 0, 0, 8, 8, 1}, false, {}, {}, 0, 0, 0, 0}, // pattern wider than the texture
        {{4, 4, 5, 4, 0, 8, 8, 1}, false, {}, {}, 0, 0, 0, 0}, // visible wider than the pattern
        {{0, 0, 0, 0, 0, 0, 8, 1}, false, {}, {}, 0, 0, 0, 0}, // no texture width
    };
    for (const Case& c : cases) {
        const Geometry& g = c.stored;
        TImageRecordHeader header{5,          g.patternW, g.patternH, g.visibleW, g.visibleH,
                                  g.patterns, g.textureW, g.textureH, g.count};
        const Bytes texels(
            static_cast<std::size_t>(std::max(g.textureW, 0)) * std::max(g.textureH, 0) * g.count * 4, 0x7F);
        TVornDbWriter writer;
        writer.AddRecord("image", kImage, vorn::BuildImageRecord(header, texels));
        Use(writer);
        m_images.RemoveAll();
        const std::string label = "pattern " + std::to_string(g.patternW) + "x" + std::to_string(g.patternH) +
                                  " texture " + std::to_string(g.textureW) + "x" + std::to_string(g.textureH);
        ASSERT_EQ(m_images.LoadFromVornDb(m_db), c.loads) << label;
        if (!c.loads) {
            EXPECT_EQ(m_images.Count(), 0) << label;
            continue;
        }
        const TVornImage& image = *m_images.Item(0);
        EXPECT_EQ(image.PatternSize(), c.pattern) << label;
        EXPECT_EQ(image.VisibleSize(), c.visible) << label;
        EXPECT_EQ(image.PatternColumns(), c.columns) << label;
        EXPECT_EQ(image.PatternRows(), c.rows) << label;
        EXPECT_EQ(image.PatternsPerTexture(), c.perTexture) << label;
        EXPECT_EQ(image.PatternCount(), c.patterns) << label;
        EXPECT_EQ(image.TextureCount(), g.count) << label;
    }
}

TEST_F(ImagesTest, NegativeTextureCountGivesAReadyImageWithNothingToDraw) {
    TImageRecordHeader header;
    header.TextureWidth = 4;
    header.TextureHeight = 4;
    header.TextureCount = -3;
    TVornDbWriter writer;
    writer.AddRecord("image", kImage, vorn::BuildImageRecord(header, {}));
    Use(writer);
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    TVornImage& image = *m_images.Item(0);
    EXPECT_EQ(image.State(), vorn::tsReady);
    EXPECT_EQ(image.TextureCount(), 0);
    EXPECT_EQ(image.PatternCount(), 0);
    EXPECT_FALSE(image.HasSubTexture(0));
    EXPECT_EQ(image.SubTextureOfPattern(0), -1);
    EXPECT_FALSE(image.Bind(0, 0));
}

// ---- texel conversion ----

TEST_F(ImagesTest, A8R8G8B8IntoA4R4G4B4KeepsTheTopFourBits) {
    TImageRecordHeader header;
    header.TextureWidth = 3;
    header.TextureHeight = 1;
    header.TextureCount = 1;
    TVornDbWriter writer;
    writer.AddRecord("image", kImage,
                     vorn::BuildImageRecord(header, Argb({0xABCDEF12, 0x0F1F2F3F, 0xFFFFFFFF})));
    Use(writer);
    // alFull with aqLow prefers A4R4G4B4.
    m_images.OnVornDbLoad = [](vorn::TVornImages*, const std::string&, std::int32_t, bool&, std::string&,
                               vorn::TVornQuality& quality, vorn::TAlphaLevel&) { quality = vorn::aqLow; };
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    TVornImage& image = *m_images.Item(0);
    ASSERT_EQ(image.Format(), vorn::sd::D3DFMT_A4R4G4B4);
    EXPECT_EQ(image.Quality(), vorn::aqLow);
    // Alpha, red, green and blue keep their high nibbles: AB CD EF 12 -> A C E 1.
    ExpectTexels(Texels16(image, 0), {0xACE1, 0x0123, 0xFFFF});
}

TEST_F(ImagesTest, CompatibleFormatsCopyBytesUnchanged) {
    // X8R8G8B8 with filler 0 goes into an A8R8G8B8 texture as is: fully transparent.
    TImageRecordHeader header;
    header.Format = vorn::tfX8R8G8B8;
    header.TextureWidth = 2;
    header.TextureHeight = 1;
    header.TextureCount = 1;
    TVornDbWriter writer;
    writer.AddRecord("image", kImage, vorn::BuildImageRecord(header, Argb({0x00336699, 0x00FFFFFF})));
    Use(writer);
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    ASSERT_EQ(m_images.Item(0)->Format(), vorn::sd::D3DFMT_A8R8G8B8);
    ExpectTexels(Texels32(*m_images.Item(0), 0), {0x00336699, 0x00FFFFFF});
}

TEST_F(ImagesTest, OtherStoredFormatsAreUnpackedThenPacked) {
    // R5G6B5 0xF800 is pure red, 0x001F pure blue, 0x07E0 pure green; alpha becomes 255.
    TImageRecordHeader header;
    header.Format = vorn::tfR5G6B5;
    header.TextureWidth = 3;
    header.TextureHeight = 2;
    header.TextureCount = 1;
    const Bytes texels = {0x00, 0xF8, 0x1F, 0x00, 0xE0, 0x07, 0x00, 0x00, 0xFF, 0xFF, 0x10, 0x84};
    TVornDbWriter writer;
    writer.AddRecord("image", kImage, vorn::BuildImageRecord(header, texels));
    Use(writer);
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    // 0x8410: red 16 -> 132, green 32 -> 130, blue 16 -> 132 (n-bit v expands to round(v * 255 / (2^n - 1))).
    ExpectTexels(Texels32(*m_images.Item(0), 0),
                 {0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0xFF000000, 0xFFFFFFFF, 0xFF848284});
}

// ---- crafted image records ----

struct CraftedImage {
    const char* file;
    bool loads;
};

void PrintTo(const CraftedImage& c, std::ostream* out) {
    *out << c.file;
}

class CraftedImageTest : public ImagesTest, public ::testing::WithParamInterface<CraftedImage> {};

TEST_P(CraftedImageTest, LoadsOrLeavesNoImage) {
    UseFile(std::string(PALLIMOR_TEST_DATA) + "/" + GetParam().file);
    EXPECT_EQ(m_images.LoadFromVornDb(m_db), GetParam().loads);
    EXPECT_EQ(m_images.Count(), GetParam().loads ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Images, CraftedImageTest,
                         ::testing::Values(CraftedImage{"image-texels-one-byte-short.dat", false},
                                           CraftedImage{"image-header-short.dat", false},
                                           CraftedImage{"image-format-unknown.dat", false},
                                           CraftedImage{"image-format-255.dat", false},
                                           CraftedImage{"image-texture-size-overflow.dat", false},
                                           CraftedImage{"image-texture-count-overflow.dat", false},
                                           CraftedImage{"image-huge-texture-without-texels.dat", false},
                                           CraftedImage{"image-pattern-grid-overflow.dat", false},
                                           CraftedImage{"image-pattern-count-too-large.dat", true}),
                         [](const ::testing::TestParamInfo<CraftedImage>& info) {
                             std::string name;
                             for (const char* p = info.param.file; *p && *p != '.'; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST_F(ImagesTest, PatternCountBeyondTheTexturesNeverReachesAMissingSubTexture) {
    UseFile(std::string(PALLIMOR_TEST_DATA) + "/image-pattern-count-too-large.dat");
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    TVornImage& image = *m_images.Item(0);
    EXPECT_EQ(image.PatternCount(), 100); // kept as stored
    EXPECT_EQ(image.PatternsPerTexture(), 4);
    EXPECT_EQ(image.SubTextureOfPattern(3), 0);
    EXPECT_EQ(image.SubTextureOfPattern(-7), 0);
    EXPECT_EQ(image.SubTextureOfPattern(4), -1);
    EXPECT_EQ(image.SubTextureOfPattern(99), -1);
    EXPECT_EQ(image.SubTextureOfPattern(1000), -1);
    EXPECT_TRUE(image.HasSubTexture(0));
    EXPECT_FALSE(image.HasSubTexture(1));
    EXPECT_TRUE(image.Bind(0, 0));
    EXPECT_FALSE(image.Bind(0, 1));
    EXPECT_FALSE(image.Bind(0, 24));
    EXPECT_FALSE(image.Bind(0, -1));
}

// ---- notifications ----

TEST_F(ImagesTest, DeviceNotifications) {
    TVornDbWriter writer;
    writer.AddRecord("a", kImage, SolidImage(2, 2, 1));
    writer.AddRecord("b", kImage, SolidImage(2, 2, 2));
    Use(writer);
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    // Managed textures survive loss and reset.
    EXPECT_TRUE(m_images.HandleNotification(vorn::msgDeviceLost));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(m_images.Item(i)->State(), vorn::tsReady);
    EXPECT_TRUE(m_images.HandleNotification(vorn::msgDeviceReset));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(m_images.Item(i)->State(), vorn::tsReady);
    ExpectTexels(Texels32(*m_images.Item(1), 1), std::vector<std::uint32_t>(4, 0x80FFFFFF));
    for (std::uint32_t message : {vorn::msgInitialize, vorn::msgBeginScene, vorn::msgEndScene, 999u})
        EXPECT_TRUE(m_images.HandleNotification(message));
    EXPECT_EQ(m_images.Count(), 2);
    // Finalising the device frees every image.
    EXPECT_TRUE(m_device.Finalize());
    EXPECT_EQ(m_images.Count(), 0);
}

TEST_F(ImagesTest, ImageWithoutDeviceFailsToLoad) {
    vorn::TVornImages orphan; // no publisher, so no device to make textures on
    TVornDbWriter writer;
    writer.AddRecord("a", kImage, SolidImage(2, 2, 1));
    Use(writer);
    EXPECT_FALSE(orphan.LoadFromVornDb(m_db));
    EXPECT_EQ(orphan.Count(), 0);
}

TEST_F(ImagesTest, ShippedArchiveLoadsTenImagesInOrder) {
    UseFile(std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat");
    ASSERT_TRUE(m_images.LoadFromVornDb(m_db));
    ASSERT_EQ(m_images.Count(), 14); // the ten, then four high-resolution hard brushes
    const int sizes[] = {16, 512, 16, 16, 32, 32, 64, 64, 128, 128};
    const char* names[] = {"logo",        "circle",      "brush16hard", "brush16soft",  "brush32hard",
                           "brush32soft", "brush64hard", "brush64soft", "brush128hard", "brush128soft"};
    for (int i = 0; i < 10; ++i) {
        const TVornImage& image = *m_images.Item(i);
        EXPECT_EQ(image.Name(), names[i]);
        EXPECT_EQ(image.Width(), sizes[i]);
        EXPECT_EQ(image.Height(), sizes[i]);
        EXPECT_EQ(image.TextureCount(), 1);
        EXPECT_EQ(image.PatternSize(), (vorn::TIntSize{sizes[i], sizes[i]}));
        EXPECT_EQ(image.VisibleSize(), (vorn::TIntSize{sizes[i], sizes[i]}));
        EXPECT_EQ(image.PatternCount(), 1);
        EXPECT_EQ(image.Format(), vorn::sd::D3DFMT_A8R8G8B8);
    }
}

} // namespace
