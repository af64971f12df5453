// The generator's life: the engine objects it builds, start-up and its failures, where it finds
// the archive, the size arrows, refusing a nested generation and drawing frames only on change.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "archive/VornDb.h"
#include "archive/VornDbWriter.h"
#include "archive/VornImages.h"
#include "engine/VornCanvas.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "engine/VornTimers.h"
#include "engine/soft/SoftDevice.h"
#include "gen/Generator.h"
#include "support/FaultyDevice.h"
#include "support/TempDir.h"

using namespace vorn;
namespace fs = std::filesystem;

namespace {

const std::string BuiltArchive = PALLIMOR_BUILD_DIR "/vorn.dat";

// A scratch folder, seen through its path.
struct TTempDir {
    test::TempDir folder{"pallimor-gen-"};
    const fs::path path{folder.path()};
};

// Runs the test in another current folder and goes back afterwards.
struct TCurrentDir {
    fs::path saved = fs::current_path();
    explicit TCurrentDir(const fs::path& dir) { fs::current_path(dir); }
    ~TCurrentDir() { fs::current_path(saved); }
};

void Touch(const fs::path& file, const std::string& content = "x") {
    std::ofstream(file) << content;
}

class TCountingSink final : public sd::HostSink {
public:
    int frames = 0;
    void PresentImage(const std::uint32_t*, int, int, int) override { ++frames; }
};

} // namespace

TEST(GeneratorIndex, EachSizeHasItsOutputTarget) {
    EXPECT_EQ(TGenerator::GetIndex(1024), 2);
    EXPECT_EQ(TGenerator::GetIndex(512), 3);
    EXPECT_EQ(TGenerator::GetIndex(256), 4);
    EXPECT_EQ(TGenerator::GetIndex(128), 5);
    EXPECT_EQ(TGenerator::GetIndex(64), 6);
    EXPECT_EQ(TGenerator::GetIndex(0), 6);
    EXPECT_EQ(TGenerator::GetIndex(2048), 7);
    EXPECT_EQ(TGenerator::GetIndex(4096), 7);
    EXPECT_EQ(TGenerator::GetIndex(8192), 6);
    EXPECT_EQ(TGenerator::GetIndex(-256), 6);
}

TEST(GeneratorStartup, MakesTheSevenTargetsLoadsTheImagesAndEnablesTheTimer) {
    TGenSettings settings;
    TGenerator generator(settings);
    generator.ComponentsInit();
    generator.TextureSize = 1024;
    const TStartupResult result = generator.Startup(nullptr, BuiltArchive);
    EXPECT_EQ(result.failure, TStartupFailure::None);
    EXPECT_FALSE(generator.StartupIncomplete);
    EXPECT_TRUE(generator.FrameTimer->Enabled());
    EXPECT_EQ(generator.TextureSize, 256); // start-up sets the window's start values
    EXPECT_GE(generator.Images->Count(), 10);
    // The device tells canvas, images and targets, in that order.
    ASSERT_EQ(generator.Device->SubscriberCount(), 3);
    EXPECT_EQ(generator.Device->Subscriber(0), generator.Canvas);
    EXPECT_EQ(generator.Device->Subscriber(1), generator.Images.get());
    EXPECT_EQ(generator.Device->Subscriber(2), generator.Textures.get());
    const int sizes[] = {256, 1024, 1024, 512, 256, 128, 64};
    ASSERT_EQ(generator.Textures->Count(), 7);
    for (int i = 0; i < 7; ++i) {
        const TRenderTarget* target = generator.Textures->GetTarget(i);
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(target->Width(), sizes[i]) << "target " << i;
        EXPECT_EQ(target->Height(), sizes[i]) << "target " << i;
        EXPECT_EQ(target->Format(), sd::D3DFMT_A8R8G8B8) << "target " << i;
    }
}

TEST(GeneratorStartup, WithoutADeviceTheArchiveIsNotLookedFor) {
    test::DeviceFaults faults;
    faults.failCreateDevice = true;
    TTempDir dir;
    TGenSettings settings;
    TGenerator generator(settings, nullptr, test::FaultyDirect3DFactory(faults));
    generator.ComponentsInit();
    const TStartupResult result = generator.Startup(nullptr, (dir.path / "vorn.dat").string());
    EXPECT_EQ(result.failure, TStartupFailure::Device);
    EXPECT_TRUE(generator.StartupIncomplete);
    EXPECT_FALSE(generator.FrameTimer->Enabled());
    EXPECT_EQ(generator.Textures->Count(), 0);
    EXPECT_FALSE(fs::exists(dir.path / "vorn.dat"));
    EXPECT_FALSE(generator.Generate());
}

TEST(GeneratorStartup, AMissingArchiveStopsStartUpAndIsNotCreated) {
    TTempDir dir;
    for (const fs::path& missing : {dir.path / "vorn.dat", fs::path()}) {
        TGenSettings settings;
        TGenerator generator(settings);
        generator.ComponentsInit();
        const TStartupResult result = generator.Startup(nullptr, missing.string());
        EXPECT_EQ(result.failure, TStartupFailure::Archive);
        EXPECT_TRUE(generator.StartupIncomplete);
        EXPECT_FALSE(generator.FrameTimer->Enabled());
        EXPECT_EQ(generator.Textures->Count(), 0);
        EXPECT_EQ(generator.Images->Count(), 0);
    }
    EXPECT_FALSE(fs::exists(dir.path / "vorn.dat"));

    fs::create_directory(dir.path / "vorn.dat"); // a folder of that name is no archive
    TGenSettings settings;
    TGenerator generator(settings);
    generator.ComponentsInit();
    EXPECT_EQ(generator.Startup(nullptr, (dir.path / "vorn.dat").string()).failure, TStartupFailure::Archive);
}

TEST(GeneratorStartup, ATargetThatCannotBeMadeIsNamedAndTheOnesBeforeItStay) {
    const struct {
        int before;
        int size;
    } cases[] = {{0, 256}, {1, 1024}, {2, 1024}, {3, 512}, {4, 256}, {5, 128}, {6, 64}};
    for (const auto& c : cases) {
        test::DeviceFaults faults;
        faults.renderTargetsBeforeFailure = c.before;
        TGenSettings settings;
        TGenerator generator(settings, nullptr, test::FaultyDirect3DFactory(faults));
        generator.ComponentsInit();
        const TStartupResult result = generator.Startup(nullptr, BuiltArchive);
        EXPECT_EQ(result.failure, TStartupFailure::RenderTarget) << c.before;
        EXPECT_EQ(result.failedTargetSize, c.size) << c.before;
        EXPECT_EQ(generator.Textures->Count(), c.before);
        EXPECT_TRUE(generator.StartupIncomplete);
        EXPECT_FALSE(generator.FrameTimer->Enabled());
    }
}

TEST(GeneratorStartup, AnUnreadableArchiveStillStartsWithoutImages) {
    TTempDir dir;
    Touch(dir.path / "vorn.dat", "this is no archive at all");
    TGenSettings settings;
    TGenerator generator(settings);
    generator.ComponentsInit();
    EXPECT_EQ(generator.Startup(nullptr, (dir.path / "vorn.dat").string()).failure, TStartupFailure::None);
    EXPECT_EQ(generator.Images->Count(), 0);
    EXPECT_TRUE(generator.Generate()); // missing images draw nothing; the walk still runs
}

TEST(ChooseArchive, TheFirstWithEveryImageWinsElseTheOneWithMost) {
    // Image counts of candidates a, b, c (-1: no such file) and the archive chosen.
    const struct {
        std::vector<int> counts;
        std::string chosen;
        int images;
        std::string tried; // candidates asked, in order
    } cases[] = {
        {{10, 10, 10}, "a", 10, "a"},
        {{-1, 10, 12}, "b", 10, "ab"},
        {{0, 3, 10}, "c", 10, "abc"}, // junk and a short archive no longer hide a good one
        {{9, 11, -1}, "b", 11, "ab"},
        {{3, 7, 0}, "b", 7, "abc"},   // none complete: the one with most images
        {{5, -1, 5}, "a", 5, "abc"},  // the earliest among equals
        {{0, -1, -1}, "a", 0, "abc"}, // a file that yields nothing is still the one read
        {{-1, -1, -1}, "", 0, "abc"}, // none exists
        {{}, "", 0, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> candidates;
        for (std::size_t i = 0; i < c.counts.size(); ++i) candidates.push_back(std::string(1, char('a' + i)));
        std::string tried;
        const TArchiveChoice choice = ChooseArchive(candidates, [&](const std::string& path) {
            tried += path;
            return c.counts[std::size_t(path[0] - 'a')];
        });
        EXPECT_EQ(choice.path, c.chosen) << tried;
        EXPECT_EQ(choice.images, c.images) << tried;
        EXPECT_EQ(choice.Complete(), c.images >= 10) << tried;
        EXPECT_EQ(tried, c.tried);
    }
}

TEST(GeneratorStartup, ReadsTheFirstCompleteArchiveElseTheFullestOneAndHoldsItsImages) {
    TTempDir dir;
    Touch(dir.path / "junk.dat", "this is no archive at all");
    // The first three records of the built archive.
    TVornDb built;
    built.SetFileName(BuiltArchive);
    built.SetOpenMode(opReadOnly);
    ASSERT_TRUE(built.Open());
    TVornDbWriter writer;
    for (std::int32_t i = 0; i < 3; ++i) {
        std::vector<std::uint8_t> data;
        ASSERT_TRUE(built.ReadRecord(built.RecordKey(i), data));
        writer.AddRecord(built.RecordKey(i), std::uint16_t(built.RecordType(i)), data);
    }
    const std::string junk = (dir.path / "junk.dat").string(), three = (dir.path / "three.dat").string(),
                      missing = (dir.path / "missing.dat").string();
    ASSERT_TRUE(writer.SaveToFile(three));

    const struct {
        std::vector<std::string> candidates;
        std::string chosen;
        int images;
    } cases[] = {
        // The high-resolution twins after the ten images are no images of the list.
        {{missing, junk, BuiltArchive, three}, BuiltArchive, 10},
        {{three, junk}, three, 3}, // the list holds the chosen archive's images, not the last tried
    };
    for (const auto& c : cases) {
        TGenSettings settings;
        TGenerator generator(settings);
        generator.ComponentsInit();
        const TStartupResult result = generator.Startup(nullptr, c.candidates);
        EXPECT_EQ(result.failure, TStartupFailure::None) << c.chosen;
        EXPECT_EQ(result.archive.path, c.chosen);
        EXPECT_EQ(result.archive.images, c.images) << c.chosen;
        EXPECT_EQ(generator.Images->Count(), c.images) << c.chosen;
        EXPECT_EQ(generator.Archive->FileName(), c.chosen);
    }
}

TEST(GeneratorFindArchive, CurrentFolderFirstThenBesideTheProgramThenShareThenTheDataFolder) {
    TTempDir work, exe;
    const TCurrentDir inWork(work.path);
    const fs::path installed = fs::path(PALLIMOR_DATA_DIR) / "vorn.dat";
    std::error_code error;
    const std::string last = fs::is_regular_file(installed, error) ? installed.string() : std::string();

    EXPECT_EQ(TGenerator::FindArchive(exe.path.string()), last);
    EXPECT_EQ(TGenerator::FindArchive(""), last);
    // An installation under another prefix: <prefix>/bin/pallimor finds <prefix>/share/pallimor.
    fs::create_directories(exe.path / "bin");
    fs::create_directories(exe.path / "share" / "pallimor");
    Touch(exe.path / "share" / "pallimor" / "vorn.dat");
    EXPECT_EQ(TGenerator::FindArchive((exe.path / "bin").string()),
              (exe.path / "share" / "pallimor" / "vorn.dat").string());
    Touch(exe.path / "bin" / "vorn.dat");
    EXPECT_EQ(TGenerator::FindArchive((exe.path / "bin").string()), (exe.path / "bin" / "vorn.dat").string());
    Touch(exe.path / "vorn.dat");
    EXPECT_EQ(TGenerator::FindArchive(exe.path.string()), (exe.path / "vorn.dat").string());
    fs::create_directory(work.path / "vorn.dat"); // a folder is passed over
    EXPECT_EQ(TGenerator::FindArchive(exe.path.string()), (exe.path / "vorn.dat").string());
    fs::remove(work.path / "vorn.dat");
    Touch(work.path / "vorn.dat");
    EXPECT_EQ(TGenerator::FindArchive(exe.path.string()), "vorn.dat");
}

TEST(GeneratorSize, ArrowsDoubleAndHalveWithinTheirLimits) {
    TGenSettings settings;
    TGenerator generator(settings);
    generator.ComponentsInit();
    ASSERT_EQ(generator.Startup(nullptr, BuiltArchive).failure, TStartupFailure::None);
    EXPECT_EQ(generator.TextureSize, 256);
    generator.SizeUp();
    EXPECT_EQ(generator.TextureSize, 512);
    for (const int expected : {1024, 2048, 4096, 4096}) {
        generator.SizeUp();
        EXPECT_EQ(generator.TextureSize, expected);
    }
    for (const int expected : {2048, 1024, 512, 256, 128, 64, 64}) {
        generator.SizeDown();
        EXPECT_EQ(generator.TextureSize, expected);
    }
}

namespace {

// Hooks that try to start generations from inside the per-step message pump.
struct TReentrantHooks : TGenHooks {
    TGenerator* generator = nullptr;
    int pumps = 0;
    int refused = 0;
    bool generatingInside = true;
    void PumpMessages() override {
        if (++pumps % 256 != 1) return;
        generatingInside = generatingInside && generator->Generating();
        refused += !generator->Generate();
        generator->FirstRender(); // ignored as well
    }
};

} // namespace

TEST(GeneratorRun, AGenerationAskedForDuringOneIsRefused) {
    TGenSettings settings;
    TReentrantHooks hooks;
    TGenerator generator(settings, &hooks);
    hooks.generator = &generator;
    generator.ComponentsInit();
    ASSERT_EQ(generator.Startup(nullptr, BuiltArchive).failure, TStartupFailure::None);
    EXPECT_TRUE(generator.Generate());
    EXPECT_EQ(hooks.pumps, 2048); // one generation's steps, none nested
    EXPECT_EQ(hooks.refused, 8);
    EXPECT_TRUE(hooks.generatingInside);
    EXPECT_FALSE(generator.Generating());
    EXPECT_TRUE(generator.Generate()); // and the next one runs
}

namespace {

// Hooks that run the frame timer's frame from inside the synthesis, as the window's pump does.
struct TFrameHooks : TGenHooks {
    TGenerator* generator = nullptr;
    void PumpMessages() override { generator->TimerTimer(); }
};

} // namespace

TEST(GeneratorFrames, AFrameIsShownOnlyWhenSomethingChanged) {
    TGenSettings settings;
    TFrameHooks hooks;
    TGenerator generator(settings, &hooks);
    hooks.generator = &generator;
    TCountingSink sink;
    generator.ComponentsInit();
    ASSERT_EQ(generator.Startup(&sink, BuiltArchive).failure, TStartupFailure::None);

    generator.FirstRender();
    EXPECT_EQ(sink.frames, 0); // frames asked for during the synthesis fail and wait
    generator.TimerTimer();
    EXPECT_EQ(sink.frames, 1);
    generator.TimerTimer();
    generator.TimerTimer();
    EXPECT_EQ(sink.frames, 1);

    generator.PreviewPaneVisible = true;
    generator.MarkDirty();
    generator.TimerTimer();
    EXPECT_EQ(sink.frames, 2);

    EXPECT_TRUE(generator.Generate());
    generator.TimerTimer();
    generator.TimerTimer();
    EXPECT_EQ(sink.frames, 3);

    generator.SizeDown();
    generator.TimerTimer();
    EXPECT_EQ(sink.frames, 4);
}

TEST(GeneratorFrames, NothingIsDrawnWithoutTargets) {
    test::DeviceFaults faults;
    faults.renderTargetsBeforeFailure = 0;
    TGenSettings settings;
    TCountingSink sink;
    TGenerator generator(settings, nullptr, test::FaultyDirect3DFactory(faults));
    generator.ComponentsInit();
    ASSERT_EQ(generator.Startup(&sink, BuiltArchive).failure, TStartupFailure::RenderTarget);
    generator.FirstRender();
    EXPECT_FALSE(generator.Generate());
    generator.SizeUp(); // the size still moves; nothing is drawn
    EXPECT_EQ(generator.TextureSize, 512);
}
