// The batch loop shared by the window and the command line: file names, the order of the host's
// hooks, stopping on request or at a file that cannot be written, and that a batch writes exactly
// what the same textures generated and exported one by one give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/VornDef.h"
#include "export/TileExport.h"
#include "gen/BatchLoop.h"
#include "gen/Generator.h"
#include "io/SafeFile.h"
#include "support/FailingFileWriter.h"
#include "support/FaultyDevice.h"

namespace fs = std::filesystem;

namespace vorn {
namespace {

constexpr const char* ArchivePath = PALLIMOR_BUILD_DIR "/vorn.dat";

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    if (!fs::exists(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Numbered(int count, const std::string& type) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "image%03d.%s", i, type.c_str());
        names.push_back(name);
    }
    return names;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Records every hook call as "<hook> <number> <BatchRunning>", marked when made on a thread
// other than the one running the batch.
class RecordingHooks final : public TBatchHooks {
public:
    explicit RecordingHooks(const TGenerator& generator) : m_generator(generator) {}
    void BeforeTexture(int number) override { Record("before", number); }
    void Generated(int number) override { Record("generated", number); }
    void Written(int number) override { Record("written", number); }
    bool Continue(int number) override {
        Record("continue", number);
        return number != stopAfter;
    }

    std::vector<std::string> calls;
    int stopAfter = 0;

private:
    void Record(const char* hook, int number) {
        calls.push_back(std::string(hook) + " " + std::to_string(number) +
                        (m_generator.BatchRunning ? " running" : "") +
                        (std::this_thread::get_id() != m_thread ? " elsewhere" : ""));
    }
    const TGenerator& m_generator;
    const std::thread::id m_thread = std::this_thread::get_id();
};

// Each test runs with the files written one after the other and with the writing overlapped.
class BatchLoop : public ::testing::TestWithParam<bool> {
protected:
    static bool Overlap() { return GetParam(); }

    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        m_folder = fs::temp_directory_path() /
                   ("pallimor-batchloop-" +
                    std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + name);
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        // The cheapest texture: 1024 steps of small hard brushes over a flat background, 64 x 64.
        m_settings.steps = 0;
        m_settings.brushSize = 0;
        m_settings.brushType = 0;
        m_settings.bgFill = 0;
        m_settings.bgForm = 0;
        m_settings.effect = 0;
        m_generator =
            std::make_unique<TGenerator>(m_settings, nullptr, test::FaultyDirect3DFactory(m_faults));
        m_generator->ComponentsInit();
        ASSERT_EQ(m_generator->Startup(nullptr, ArchivePath).failure, TStartupFailure::None);
        m_generator->TextureSize = 64;
    }
    void TearDown() override {
        m_generator.reset();
        fs::remove_all(m_folder);
    }

    TBatchOptions Options(int count, const std::string& type, const fs::path& folder) {
        TBatchOptions options;
        options.writer = &m_writer;
        options.folder = folder.string();
        options.fileType = type;
        options.count = count;
        options.overlap = Overlap();
        return options;
    }

    fs::path m_folder;
    test::DeviceFaults m_faults; // none unless a test asks
    TGenSettings m_settings;
    std::unique_ptr<TGenerator> m_generator;
    test::FailingFileWriter m_writer;
};

TEST(BatchFileName, NumbersWithAtLeastThreeDigits) {
    EXPECT_EQ(BatchFileName("/out", 0, "jpg"), "/out/image000.jpg");
    EXPECT_EQ(BatchFileName("/out", 7, "png"), "/out/image007.png");
    EXPECT_EQ(BatchFileName("rel", 42, "bmp"), "rel/image042.bmp");
    EXPECT_EQ(BatchFileName("/out", 999, "bmp"), "/out/image999.bmp");
    EXPECT_EQ(BatchFileName("/out", 1000, "bmp"), "/out/image1000.bmp");
    // The root folder gives a doubled delimiter, which the file system accepts.
    EXPECT_EQ(BatchFileName("/", 0, "bmp"), "//image000.bmp");
}

TEST_P(BatchLoop, HooksRunInOrderAroundEachTexture) {
    RecordingHooks hooks(*m_generator);
    const TBatchResult result = RunBatch(*m_generator, Options(3, "bmp", m_folder), hooks);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.written, 3);
    EXPECT_EQ(result.error, "");
    const std::vector<std::string> sequential = {
        "before 1 running", "generated 1 running", "written 1 running", "continue 1 running",
        "before 2 running", "generated 2 running", "written 2 running", "continue 2 running",
        "before 3 running", "generated 3 running", "written 3 running", "continue 3 running",
    };
    // Texture k is written while texture k + 1 is generated.
    const std::vector<std::string> overlapped = {
        "before 1 running",  "generated 1 running", "before 2 running",  "generated 2 running",
        "written 1 running", "continue 1 running",  "before 3 running",  "generated 3 running",
        "written 2 running", "continue 2 running",  "written 3 running", "continue 3 running",
    };
    EXPECT_EQ(hooks.calls, Overlap() ? overlapped : sequential);
    EXPECT_FALSE(m_generator->BatchRunning);
    EXPECT_EQ(FilesIn(m_folder), Numbered(3, "bmp"));
}

TEST_P(BatchLoop, ContinueFalseStopsAfterThatTexture) {
    RecordingHooks hooks(*m_generator);
    hooks.stopAfter = 3;
    const TBatchResult result = RunBatch(*m_generator, Options(6, "png", m_folder), hooks);
    EXPECT_TRUE(result.ok);
    if (Overlap()) {
        // Asked after texture 4 was generated, the stop still writes it, the texture in hand.
        EXPECT_EQ(result.written, 4);
        const std::vector<std::string> last = {"generated 4 running", "written 3 running",
                                               "continue 3 running", "written 4 running"};
        EXPECT_EQ(std::vector(hooks.calls.end() - 4, hooks.calls.end()), last);
        EXPECT_EQ(FilesIn(m_folder), Numbered(4, "png"));
    } else {
        EXPECT_EQ(result.written, 3);
        EXPECT_EQ(hooks.calls.back(), "continue 3 running");
        EXPECT_EQ(FilesIn(m_folder), Numbered(3, "png"));
    }
    EXPECT_FALSE(m_generator->BatchRunning);
}

TEST_P(BatchLoop, WriteFailureStopsAtThatFileAndNamesIt) {
    std::ofstream(m_folder / "image001.bmp") << "earlier file";
    m_writer.writesBeforeFailure = 1; // one 64 x 64 BMP is one write
    RecordingHooks hooks(*m_generator);
    const TBatchResult result = RunBatch(*m_generator, Options(5, "bmp", m_folder), hooks);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.written, 1);
    EXPECT_NE(result.error.find((m_folder / "image001.bmp").string()), std::string::npos) << result.error;
    EXPECT_NE(result.error.find("No space left on device"), std::string::npos) << result.error;
    // With overlap the failure of file 2 is found once texture 3 was generated, which is dropped.
    EXPECT_EQ(hooks.calls.back(), Overlap() ? "generated 3 running" : "generated 2 running")
        << "nothing is reported written after the failure";
    EXPECT_FALSE(m_generator->BatchRunning);
    // The first file is whole, the earlier second file untouched, no temporary file left.
    EXPECT_EQ(FilesIn(m_folder), Numbered(2, "bmp"));
    EXPECT_EQ(fs::file_size(m_folder / "image000.bmp"), 54u + 64 * 64 * 4);
    EXPECT_EQ(ReadAll(m_folder / "image001.bmp"), "earlier file");
}

// A texture the device could not draw whole is no file: the batch ends there, saying why, with
// the files before it written.
TEST_P(BatchLoop, ATextureTheDeviceCouldNotDrawStopsTheBatchUnwritten) {
    struct FailThird final : TBatchHooks {
        explicit FailThird(test::DeviceFaults& faults) : faults(faults) {}
        void BeforeTexture(int number) override { faults.failDraws = number == 3; }
        test::DeviceFaults& faults;
    } hooks(m_faults);
    const TBatchResult result = RunBatch(*m_generator, Options(5, "bmp", m_folder), hooks);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, DrawFailedText);
    EXPECT_EQ(result.written, 2);
    EXPECT_EQ(FilesIn(m_folder), Numbered(2, "bmp"));
    m_faults.failDraws = false;
    EXPECT_TRUE(m_generator->Generate());
    EXPECT_FALSE(m_generator->DrawFailed()) << "the next texture draws again";
}

// Holds the write of file k until texture k + 1 was generated (the last file until its own
// texture was): a batch that does not overlap the two fails here after a minute.
class WriteAfterNextGenerated final : public TBatchHooks, public TFileWriter {
public:
    explicit WriteAfterNextGenerated(int count) : m_count(count) {}
    void Generated(int number) override {
        {
            const std::lock_guard lock(m_mutex);
            m_generated = number;
        }
        m_changed.notify_all();
    }
    ssize_t Write(int fd, const void* data, std::size_t size) override {
        std::unique_lock lock(m_mutex);
        const int file = ++m_writes; // one write per file of 64 x 64
        if (!m_changed.wait_for(lock, std::chrono::minutes(1),
                                [&] { return m_generated > file || m_generated == m_count; })) {
            errno = ETIMEDOUT;
            return -1;
        }
        lock.unlock();
        return TFileWriter::Write(fd, data, size);
    }

private:
    const int m_count;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_generated = 0;
    int m_writes = 0;
};

TEST_P(BatchLoop, WritesFileKWhileTextureKPlusOneIsGenerated) {
    if (!Overlap()) GTEST_SKIP() << "written one after the other";
    WriteAfterNextGenerated gate(3);
    TBatchOptions options = Options(3, "bmp", m_folder);
    options.writer = &gate;
    const TBatchResult result = RunBatch(*m_generator, options, gate);
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.written, 3);
    EXPECT_EQ(FilesIn(m_folder), Numbered(3, "bmp"));
}

TEST_P(BatchLoop, MissingFolderFailsAtTheFirstFile) {
    TBatchHooks hooks;
    const fs::path missing = m_folder / "not-there";
    const TBatchResult result = RunBatch(*m_generator, Options(3, "jpg", missing), hooks);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.written, 0);
    EXPECT_NE(result.error.find((missing / "image000.jpg").string()), std::string::npos) << result.error;
    EXPECT_FALSE(fs::exists(missing));
}

// A batch continues one random sequence: its files equal Generate and TileExport called one
// texture after the other from the same seed, and the first one can start from a cleared tile.
TEST_P(BatchLoop, WritesWhatSingleGenerationsWrite) {
    for (const bool clearFirst : {false, true}) {
        SCOPED_TRACE(clearFirst ? "first tile cleared" : "first tile kept");
        const fs::path batch = m_folder / "batch";
        const fs::path single = m_folder / "single";
        fs::create_directories(batch);
        fs::create_directories(single);

        random::SetSeed(12345);
        TBatchOptions options = Options(3, "bmp", batch);
        options.clearFirstTile = clearFirst;
        TBatchHooks hooks;
        ASSERT_TRUE(RunBatch(*m_generator, options, hooks).ok);
        const std::uint32_t seedAfterBatch = random::Seed();

        random::SetSeed(12345);
        for (int i = 0; i < 3; ++i) {
            if (i == 0 && clearFirst) {
                m_generator->FirstRender();
            } else {
                ASSERT_TRUE(m_generator->Generate());
            }
            const TExportResult written = TileExport(*m_generator->Textures, TGenerator::GetIndex(64), 64,
                                                     BatchFileName(single.string(), i, "bmp"), 95);
            ASSERT_TRUE(written.ok) << written.error;
        }
        EXPECT_EQ(random::Seed(), seedAfterBatch);
        for (const std::string& name : Numbered(3, "bmp")) {
            const std::string fromBatch = ReadAll(batch / name);
            EXPECT_EQ(fromBatch.size(), 54u + 64 * 64 * 4) << name;
            EXPECT_TRUE(fromBatch == ReadAll(single / name)) << name << " differs";
        }
        // Each texture is a new one.
        EXPECT_NE(ReadAll(batch / "image000.bmp"), ReadAll(batch / "image001.bmp"));
        fs::remove_all(batch);
        fs::remove_all(single);
    }
}

INSTANTIATE_TEST_SUITE_P(Writing, BatchLoop, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Overlapped" : "Sequential";
                         });

} // namespace
} // namespace vorn
