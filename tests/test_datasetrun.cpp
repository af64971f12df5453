// Data-set runs: the shards' ranges, each texture's varied settings, and the manifest line that
// --resume reads back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "gen/DataSetRun.h"
#include "io/Sha256.h"

namespace vorn {
namespace {

// Shard k of n covers [total * k / n, total * (k + 1) / n): contiguous, together the whole run.
TEST(DataSetRun, ShardRangesCutTheRunInOrder) {
    struct Row {
        int total, k, n, first, count;
    } const rows[] = {
        {10, 0, 4, 0, 2},
        {10, 1, 4, 2, 3},
        {10, 2, 4, 5, 2},
        {10, 3, 4, 7, 3}, // 10/4 = 2.5
        {3, 0, 4, 0, 0},
        {3, 1, 4, 0, 1},
        {3, 3, 4, 2, 1}, // more shards than textures
        {1000000, 99, 100, 990000, 10000},
        {7, 0, 1, 0, 7},
    };
    for (const Row& row : rows) {
        const TTextureRange range = ShardRange(row.total, row.k, row.n);
        EXPECT_EQ(range.first, row.first) << row.total << " " << row.k << "/" << row.n;
        EXPECT_EQ(range.count, row.count) << row.total << " " << row.k << "/" << row.n;
    }
}

// Varied settings depend on (run seed, index) alone; locked and not randomizable ones stay.
TEST(DataSetRun, VariedSettingsFollowSeedAndIndexOnly) {
    TGenSettings base;
    base.size = 512;
    base.steps = 77;
    TParamLocks locks{};
    locks[gpSteps] = true;
    const TGenSettings a = TextureSettings(base, locks, 42, 5);
    const TGenSettings again = TextureSettings(base, locks, 42, 5);
    const TGenSettings other = TextureSettings(base, locks, 42, 6);
    int differing = 0;
    for (const TGenParam& param : GenParams) {
        EXPECT_EQ(a.Value(param.id), again.Value(param.id)) << param.name;
        differing += a.Value(param.id) != other.Value(param.id);
    }
    EXPECT_EQ(a.size, 512);  // not randomizable
    EXPECT_EQ(a.steps, 77);  // locked
    EXPECT_GE(differing, 5); // 13 parameters drawn afresh: a few may agree by chance
    EXPECT_EQ(TextureSettings(base, std::nullopt, 42, 5).steps, 77);
}

// The manifest's lines are kept while each names its own index and files of its digests.
TEST(DataSetRun, ResumeKeepsLeadingLinesWhoseFilesHold) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("pallimor_test_datasetrun_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "set");
    std::string manifest;
    for (int index = 3; index < 6; ++index) {
        TDataSetTexture texture;
        texture.index = index;
        texture.files = {(folder / "set" / ("image00" + std::to_string(index) + ".png")).string()};
        std::ofstream(texture.files[0]) << "texture " << index;
        texture.sha256 = {FileSha256Hex(texture.files[0])};
        manifest += ManifestLine(texture, folder.string(), "test");
    }
    const std::size_t firstLine = manifest.find('\n') + 1;
    const std::size_t twoLines = manifest.find('\n', firstLine) + 1;
    EXPECT_EQ(ResumePointOf(manifest, folder.string(), 3).lines, 3);
    EXPECT_EQ(ResumePointOf(manifest, folder.string(), 3).bytes, manifest.size());
    EXPECT_EQ(ResumePointOf(manifest, folder.string(), 2).lines, 0); // another shard's lines
    // A torn last line is not kept.
    EXPECT_EQ(ResumePointOf(manifest.substr(0, manifest.size() - 1), folder.string(), 3).bytes, twoLines);
    // A file changed since ends the kept lines before it.
    std::ofstream(folder / "set" / "image004.png") << "changed";
    const TResumePoint point = ResumePointOf(manifest, folder.string(), 3);
    EXPECT_EQ(point.lines, 1);
    EXPECT_EQ(point.bytes, firstLine);
    std::filesystem::remove_all(folder);
}

// FIPS 180-2's example digests.
TEST(DataSetRun, Sha256OfKnownMessages) {
    const std::string abc = "abc";
    EXPECT_EQ(Sha256Hex(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(nullptr, 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

} // namespace
} // namespace vorn
