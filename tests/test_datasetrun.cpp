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

// A resumed run keeps a line only while it is, byte for byte, the line this run would write
// (its files of the same digests included); a manifest that starts elsewhere is not touched.
TEST(DataSetRun, ResumeKeepsOnlyTheLinesThisRunWrites) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("pallimor_test_datasetrun_" + std::to_string(::getpid()));
    const std::string set = (folder / "set").string();
    const auto planned = [&](int index, std::uint32_t seedBase) {
        TDataSetTexture texture;
        texture.index = index;
        texture.seed = seedBase + std::uint32_t(index);
        texture.recipe = "P1.seed=" + std::to_string(index);
        texture.files = {set + "/image00" + std::to_string(index) + ".png",
                         set + "/image00" + std::to_string(index) + "_height.png"};
        return texture;
    };
    // The manifest of textures 3, 4 and 5 as the earlier run wrote it.
    const auto written = [&] {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(set);
        std::string manifest;
        for (int index = 3; index < 6; ++index) {
            TDataSetTexture texture = planned(index, 100);
            for (const std::string& file : texture.files) {
                std::ofstream(file) << file;
                texture.sha256.push_back(FileSha256Hex(file));
            }
            manifest += ManifestLine(texture, folder.string(), "1.0");
        }
        return manifest;
    };
    enum TChange { chNone, chLine2, chNotes, chTorn, chFileChanged, chFileRemoved };
    struct TCase {
        const char* what;
        TChange change;
        std::string_view from, to; // chLine2: the first from after line 1 becomes to
        int first, count;
        std::uint32_t seedBase;
        int kept;
        const char* why; // a piece of the reason; "" none
        bool foreign = false;
        int past = 0;
    };
    const TCase cases[] = {
        {"whole", chNone, "", "", 3, 3, 100, 3, ""},
        {"smaller count", chNone, "", "", 3, 2, 100, 2, "", false, 1},
        {"another shard", chNone, "", "", 0, 3, 100, 0, "texture 3's", true},
        {"notes", chNotes, "", "", 3, 3, 100, 0, "no manifest line", true},
        {"another seed", chNone, "", "", 3, 3, 200, 0,
         "line 1: made with seed 00000067, this run has 000000CB"},
        {"torn", chTorn, "", "", 3, 3, 100, 2, "line 3: it was cut short"},
        {"changed file", chFileChanged, "", "", 3, 3, 100, 1, "line 2: set/image004_height.png has changed"},
        {"missing file, empty digest", chFileRemoved, "", "", 3, 3, 100, 1,
         "line 2: set/image004.png is missing"},
        {"bad escape", chLine2, "P1.seed=4", "P1.seed=\\uZZZZ", 3, 3, 100, 1,
         "line 2: it is not a whole manifest line"},
        {"edited effect", chLine2, "\"effect\":\"stroke\"", "\"effect\":\"add\"", 3, 3, 100, 1,
         "line 2: its effect is add, this run's is stroke"},
        {"edited recipe", chLine2, "P1.seed=4", "P1.seed=9", 3, 3, 100, 1, "line 2: its recipe is P1.seed=9"},
        {"file elsewhere", chLine2, "\"set/image004.png\"", "\"../elsewhere/image004.png\"", 3, 3, 100, 1,
         "line 2: its file_name is ../elsewhere/image004.png"},
        {"fewer files", chLine2, "[\"set/image004_height.png\"]", "[]", 3, 3, 100, 1, "line 2: its maps is"},
        {"no closing brace", chLine2, "}\n", "\n", 3, 3, 100, 1, "line 2: it is not a whole manifest line"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string manifest = written();
        const std::size_t line2 = manifest.find('\n') + 1;
        switch (c.change) {
        case chNone:
            break;
        case chLine2:
            ASSERT_NE(manifest.find(c.from, line2), std::string::npos) << manifest;
            manifest.replace(manifest.find(c.from, line2), c.from.size(), c.to);
            break;
        case chNotes:
            manifest.insert(0, "my notes\n");
            break;
        case chTorn:
            manifest.pop_back();
            break;
        case chFileChanged:
            std::ofstream(set + "/image004_height.png") << "x";
            break;
        case chFileRemoved: {
            const std::string sha = FileSha256Hex(set + "/image004.png");
            std::filesystem::remove(set + "/image004.png");
            manifest.replace(manifest.find(sha), sha.size(), "");
            break;
        }
        }
        TResumeCheck check;
        check.first = c.first;
        check.count = c.count;
        check.planned = [&](int index) { return planned(index, c.seedBase); };
        check.folder = folder.string();
        check.version = "1.0";
        const TResumePoint point = ResumePointOf(manifest, check);
        EXPECT_EQ(point.lines, c.kept);
        EXPECT_EQ(point.foreign, c.foreign);
        EXPECT_EQ(point.past, c.past);
        EXPECT_NE(point.why.find(c.why), std::string::npos) << point.why;
        if (c.why[0] == '\0') {
            EXPECT_EQ(point.why, "");
        }
        // The bytes kept are the kept lines exactly.
        std::size_t bytes = 0;
        for (int line = 0; line < c.kept; ++line) bytes = manifest.find('\n', bytes) + 1;
        EXPECT_EQ(point.bytes, bytes);
    }
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
