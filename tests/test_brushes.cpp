// The shipped brush archive: ten image records in the order the generator expects, then the hard
// brushes at four times the side; each a white-ish shape in alpha, exactly mirror-symmetric, and
// the same bytes on every build. Unpacking an archive into a folder: keys that cannot be file
// names are refused, records are read by position, and a fault leaves the folder as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/BrushFolder.h"
#include "archive/VornDb.h"
#include "archive/VornDbWriter.h"
#include "gen/Generator.h"
#include "support/FailingFileWriter.h"
#include "support/PngDecode.h"
#include "support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kArchive = std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat";

struct Expected {
    const char* key;
    int size;
};

const Expected kImages[] = {{"logo", 16},
                            {"circle", 512},
                            {"brush16hard", 16},
                            {"brush16soft", 16},
                            {"brush32hard", 32},
                            {"brush32soft", 32},
                            {"brush64hard", 64},
                            {"brush64soft", 64},
                            {"brush128hard", 128},
                            {"brush128soft", 128},
                            {"brush16hard-4x", 64},
                            {"brush32hard-4x", 128},
                            {"brush64hard-4x", 256},
                            {"brush128hard-4x", 512}};

std::int32_t Int32At(const Bytes& data, std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 |
                                     std::uint32_t(data[at + 2]) << 16 | std::uint32_t(data[at + 3]) << 24);
}

// One decoded A8R8G8B8 image.
struct Image {
    int size = 0;
    Bytes texels; // blue, green, red, alpha per texel
    std::uint32_t At(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * size + x) * 4;
        return std::uint32_t(texels[i]) | std::uint32_t(texels[i + 1]) << 8 |
               std::uint32_t(texels[i + 2]) << 16 | std::uint32_t(texels[i + 3]) << 24;
    }
    int Alpha(int x, int y) const { return static_cast<int>(At(x, y) >> 24); }
};

class ShippedArchive : public ::testing::Test {
protected:
    void SetUp() override {
        m_db.SetFileName(kArchive);
        m_db.SetOpenMode(vorn::opReadOnly);
        ASSERT_TRUE(m_db.Open()) << kArchive;
    }

    // Reads the record and checks its image header; size x size, one texture, one pattern.
    Image Load(const Expected& expected) {
        Image image;
        Bytes data;
        EXPECT_TRUE(m_db.ReadRecord(expected.key, data)) << expected.key;
        const int s = expected.size;
        if (data.size() != 33 + static_cast<std::size_t>(s) * s * 4) {
            ADD_FAILURE() << expected.key << ": record of " << data.size() << " bytes";
            return image;
        }
        EXPECT_EQ(data[0], 5) << expected.key; // tfA8R8G8B8
        const std::int32_t expectedHeader[8] = {s, s, s, s, 1, s, s, 1};
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(Int32At(data, 1 + 4 * i), expectedHeader[i]) << expected.key << " field " << i;
        image.size = s;
        image.texels.assign(data.begin() + 33, data.end());
        return image;
    }

    vorn::TVornDb m_db;
};

TEST_F(ShippedArchive, HoldsTenImageRecordsInOrderThenTheHardBrushesAtFourTimesTheSide) {
    ASSERT_EQ(m_db.RecordCount(), 14);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(m_db.RecordKey(i), kImages[i].key);
        EXPECT_EQ(m_db.RecordType(i), 1);
    }
}

TEST_F(ShippedArchive, ImagesAreMirrorSymmetricWhiteShapesInAlpha) {
    for (const Expected& expected : kImages) {
        const Image image = Load(expected);
        const int s = image.size;
        if (s == 0) continue;
        int failures = 0;
        for (int y = 0; y < s && failures < 3; ++y) {
            for (int x = 0; x < s && failures < 3; ++x) {
                const std::uint32_t texel = image.At(x, y);
                const std::uint32_t mirroredX = image.At(s - 1 - x, y);
                const std::uint32_t mirroredY = image.At(x, s - 1 - y);
                if (texel != mirroredX || texel != mirroredY) {
                    ADD_FAILURE() << expected.key << ": (" << x << ", " << y << ") = " << std::hex << texel
                                  << ", mirrored about the vertical line " << mirroredX
                                  << ", about the horizontal " << mirroredY;
                    ++failures;
                }
                // Grey, and black exactly where alpha is 0, so the colour-only effects stamp the shape.
                const std::uint32_t blue = texel & 0xFF, green = texel >> 8 & 0xFF, red = texel >> 16 & 0xFF;
                const std::uint32_t alpha = texel >> 24;
                if (blue != green || green != red || (alpha == 0) != (red == 0) || red < alpha) {
                    ADD_FAILURE() << expected.key << ": (" << x << ", " << y << ") = " << std::hex << texel;
                    ++failures;
                }
            }
        }
        for (auto [x, y] : {std::pair{0, 0}, {s - 1, 0}, {0, s - 1}, {s - 1, s - 1}})
            EXPECT_EQ(image.At(x, y), 0u) << expected.key << " corner " << x << ", " << y;
    }
}

// Distances from the image centre to the nearest and farthest points of texel (x, y).
void TexelDistances(int size, int x, int y, double& nearest, double& farthest) {
    const double c = size / 2.0;
    const auto span = [c](int i, double& lo, double& hi) {
        const double a = std::abs(i - c), b = std::abs(i + 1 - c);
        hi = std::max(a, b);
        lo = (i < c && i + 1 > c) ? 0.0 : std::min(a, b);
    };
    double loX, hiX, loY, hiY;
    span(x, loX, hiX);
    span(y, loY, hiY);
    nearest = std::hypot(loX, loY);
    farthest = std::hypot(hiX, hiY);
}

TEST_F(ShippedArchive, HardBrushesAreDiscsOfTheLabelledDiameter) {
    for (int i : {2, 4, 6, 8, 10, 11, 12, 13}) {
        const Image image = Load(kImages[i]);
        const int s = image.size;
        if (s == 0) continue;
        const double radius = s / 2.0;
        double coverage = 0.0;
        for (int y = 0; y < s; ++y) {
            for (int x = 0; x < s; ++x) {
                double nearest, farthest;
                TexelDistances(s, x, y, nearest, farthest);
                const int alpha = image.Alpha(x, y);
                if (farthest <= radius) {
                    EXPECT_EQ(alpha, 255) << kImages[i].key << " inside at " << x << ", " << y;
                }
                if (nearest >= radius) {
                    EXPECT_EQ(alpha, 0) << kImages[i].key << " outside at " << x << ", " << y;
                }
                coverage += alpha / 255.0;
            }
        }
        // Area coverage adds up to the disc's area, up to the sampling and rounding of the rim.
        const double area = M_PI * radius * radius;
        EXPECT_NEAR(coverage, area, area * 0.01) << kImages[i].key;
    }
}

TEST_F(ShippedArchive, SoftBrushesFallOffToZeroAtTheLabelledDiameter) {
    for (int i : {3, 5, 7, 9}) {
        const Image image = Load(kImages[i]);
        const int s = image.size;
        if (s == 0) continue;
        const int h = s / 2;
        EXPECT_GE(image.Alpha(h, h), 250) << kImages[i].key;
        // Along the centre row alpha never rises, from near 255 in the middle to 0 at the edge.
        for (int x = h; x + 1 < s; ++x) {
            const int here = image.Alpha(x, h), next = image.Alpha(x + 1, h);
            EXPECT_LE(next, here) << kImages[i].key << " at " << x;
        }
        for (int y = 0; y < s; ++y) {
            for (int x = 0; x < s; ++x) {
                const double dx = x + 0.5 - h, dy = y + 0.5 - h;
                if (std::hypot(dx, dy) >= h) {
                    EXPECT_EQ(image.Alpha(x, y), 0) << kImages[i].key << " " << x << ", " << y;
                }
            }
        }
    }
}

TEST_F(ShippedArchive, CircleIsADiscWithASoftRim) {
    const Image image = Load(kImages[1]);
    ASSERT_EQ(image.size, 512);
    EXPECT_EQ(image.Alpha(256, 256), 255);
    EXPECT_EQ(image.Alpha(0, 256), 0); // the rim fades out one texel inside the edge
    EXPECT_EQ(image.Alpha(256, 0), 0);
    int rimSteps = 0; // a soft rim: several levels between 0 and 255 along a radius
    for (int x = 0; x < 256; ++x) {
        const int alpha = image.Alpha(x, 256);
        if (alpha > 0 && alpha < 255) ++rimSteps;
        if (x > 0) {
            EXPECT_GE(alpha, image.Alpha(x - 1, 256)) << "at " << x;
        }
    }
    EXPECT_GE(rimSteps, 4);
}

TEST(ShippedArchiveBuild, IsReproducible) {
    const std::filesystem::path out =
        std::filesystem::temp_directory_path() / ("vorn-rebuild-" + std::to_string(::getpid()) + ".dat");
    const std::string command = std::string(PALLIMOR_BUILD_DIR) + "/mkvorn " + out.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const auto read = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const Bytes rebuilt = read(out);
    std::filesystem::remove(out);
    EXPECT_EQ(rebuilt, read(kArchive));
}

// An archive at path as pack makes it: the shipped keys for the ten named images, then extras
// with the keys given. Image i is one opaque pixel whose red is i, so each file tells its record.
void WriteArchive(const std::string& path, const std::vector<std::string>& extraKeys) {
    vorn::TVornDbWriter writer;
    const auto add = [&](const std::string& key) {
        vorn::TImageRecordHeader header;
        header.PatternWidth = header.PatternHeight = header.VisibleWidth = header.VisibleHeight = 1;
        header.TextureWidth = header.TextureHeight = header.PatternCount = header.TextureCount = 1;
        const std::uint8_t red = std::uint8_t(writer.RecordCount());
        writer.AddRecord(key, vorn::TVornDbWriter::kImageRecord,
                         vorn::BuildImageRecord(header, {0x40, 0x80, red, 0xFF}), 45292.0);
    };
    for (int i = 0; i < vorn::NamedBrushImages; ++i) add(kImages[i].key);
    for (const std::string& key : extraKeys) add(key);
    ASSERT_TRUE(writer.SaveToFile(path)) << path;
}

// Red of the one-pixel PNG file at path; -1 when it is not one.
int RedOf(const std::string& path) {
    int width = 0, height = 0;
    const Bytes rgb = vorn::test::DecodePngRgb(path, width, height);
    return width == 1 && height == 1 && rgb.size() == 3 ? rgb[0] : -1;
}

TEST(BrushUnpack, RefusesExtraKeysThatCannotBeFileNamesAndWritesNothing) {
    const std::string keys[] = {"a/../../../escaped",  "a\\b", "tab\there", std::string("a\0b", 3), ".hidden",
                                std::string(300, 'k'), ""};
    for (const std::string& key : keys) {
        vorn::test::TempDir dir;
        WriteArchive(dir / "in.dat", {key});
        // A folder extra-10-a in the target would let the first key lead out of it.
        const std::string target = dir / "p/q/target";
        std::filesystem::create_directories(target + "/extra-10-a");
        const auto before = dir.EntriesRecursive();
        for (const bool replace : {false, true}) {
            const vorn::TBrushResult result = vorn::UnpackBrushArchive(dir / "in.dat", target, replace);
            const std::string fault = result.faults.empty() ? "" : result.faults[0];
            EXPECT_EQ(result.faults.size(), 1u) << "key of " << key.size() << " bytes: " << fault;
            EXPECT_NE(fault.find("record 10 (image 10, key '"), std::string::npos) << fault;
            EXPECT_EQ(dir.EntriesRecursive(), before) << "key of " << key.size() << " bytes: " << fault;
        }
    }
}

TEST(BrushUnpack, RecordsSharingAKeyUnpackTheirOwnImagesAndPackBackToTheSameArchive) {
    vorn::test::TempDir dir;
    WriteArchive(dir / "in.dat", {"twin", "TWIN", "twin"});
    ASSERT_TRUE(vorn::UnpackBrushArchive(dir / "in.dat", dir / "out", false).ok());
    EXPECT_EQ(RedOf(dir / "out/hard-16.png"), 2);
    EXPECT_EQ(RedOf(dir / "out/extra-10-twin.png"), 10);
    EXPECT_EQ(RedOf(dir / "out/extra-11-TWIN.png"), 11);
    EXPECT_EQ(RedOf(dir / "out/extra-12-twin.png"), 12);
    ASSERT_TRUE(vorn::PackBrushFolder(dir / "out", dir / "again.dat", false).ok());
    EXPECT_EQ(vorn::test::ReadFile(dir / "again.dat"), vorn::test::ReadFile(dir / "in.dat"));
}

// Makes the system's calls, but fails the renames into folder after the first movesBeforeFailure.
class FailingMoveWriter : public vorn::TFileWriter {
public:
    FailingMoveWriter(std::string folder, int movesBeforeFailure)
        : m_folder(std::move(folder) + "/"), m_left(movesBeforeFailure) {}
    int RenameNoReplace(const char* from, const char* to) override {
        if (std::string(to).starts_with(m_folder) && m_left-- <= 0) {
            errno = EIO;
            return -1;
        }
        return vorn::TFileWriter::RenameNoReplace(from, to);
    }

private:
    std::string m_folder;
    int m_left;
};

TEST(BrushUnpack, AFaultWhileWritingOrMovingLeavesTheFolderAsItWas) {
    // Into an existing folder with a file to replace: a write fails part-way, or the third file
    // cannot be moved in after the first two moved and hard-16.png was swapped for its successor.
    // Into a missing folder: a write fails, and no folder (nor its parent) is left.
    for (const bool existing : {true, false}) {
        for (const bool whileMoving : {false, true}) {
            if (!existing && whileMoving) continue; // a missing folder is moved in whole
            vorn::test::TempDir dir;
            WriteArchive(dir / "in.dat", {"extra"});
            const std::string target = existing ? dir / "target" : dir / "new/target";
            if (existing) {
                std::filesystem::create_directories(target);
                vorn::test::WriteFile(target + "/hard-16.png", {'o', 'l', 'd'});
            }
            const auto before = dir.EntriesRecursive();
            vorn::test::FailingFileWriter failingWrite;
            failingWrite.writesBeforeFailure = 3;
            FailingMoveWriter failingMove(target, 2);
            vorn::TFileWriter& writer =
                whileMoving ? static_cast<vorn::TFileWriter&>(failingMove) : failingWrite;
            const vorn::TBrushResult result = vorn::UnpackBrushArchive(dir / "in.dat", target, true, writer);
            const std::string what = std::string(existing ? "existing" : "missing") + " folder, " +
                                     (whileMoving ? "moving" : "writing");
            ASSERT_EQ(result.faults.size(), 1u) << what;
            EXPECT_EQ(dir.EntriesRecursive(), before) << what << ": " << result.faults[0];
            if (existing) {
                EXPECT_EQ(vorn::test::ReadFile(target + "/hard-16.png"), Bytes({'o', 'l', 'd'})) << what;
            }
        }
    }
}

// The generator names the twins that large textures leave unused: here two of one pixel, where
// their brushes are of one pixel too.
TEST(BrushTwins, TwinsNotFourTimesTheirBrushesSizeAreNamed) {
    vorn::test::TempDir dir;
    const std::string archive = dir / "twins.dat";
    WriteArchive(archive, {"brush16hard-4x", "brush64soft-4x"});
    vorn::TGenSettings settings;
    vorn::TGenerator generator(settings);
    generator.ComponentsInit();
    ASSERT_EQ(generator.Startup(nullptr, archive).failure, vorn::TStartupFailure::None);
    generator.TextureSize = 2048;
    ASSERT_TRUE(generator.Generate());
    ASSERT_EQ(generator.BadTwins().size(), 2u);
    EXPECT_EQ(vorn::BadTwinText(generator.BadTwins()[0]),
              "Brush archive " + archive +
                  ": twin brush16hard-4x is 1 x 1, not 4 times brush16hard's 1 x 1; "
                  "magnified instead");
    EXPECT_EQ(generator.BadTwins()[1].key, "brush64soft");
}

} // namespace
