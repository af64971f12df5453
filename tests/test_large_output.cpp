// The large output's answers: the tile magnified while its calls are unknown, the texture exact
// after a replay, stopped when the hooks stop it, and no target where none can be made.
#include <gtest/gtest.h>

#include <string>

#include "archive/VornImages.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "gen/Generator.h"
#include "gen/LargeOutput.h"

using namespace vorn;

namespace {

const std::string BuiltArchive = PALLIMOR_BUILD_DIR "/vorn.dat";

// Asks for a stop at the first pump.
struct TStopHooks final : TGenHooks {
    int pumps = 0;
    void PumpMessages() override { ++pumps; }
    bool StopRequested() override { return true; }
};

TPaintCall Solid(TCanvasColor color) {
    TPaintCall call;
    call.kind = TPaintCall::Solid;
    call.rect = {0, 0, TileSize, TileSize};
    call.color = color;
    return call;
}

TEST(LargeOutput, AnswersMagnifiedExactStoppedOrFailedAsTheCallsAndTheHooksAllow) {
    TGenSettings settings;
    TGenerator generator(settings);
    ASSERT_EQ(generator.Startup(nullptr, BuiltArchive).failure, TStartupFailure::None);
    const TLargeSources from{*generator.Textures,     1,
                             generator.Canvas,        generator.Images.get(),
                             generator.Archive.get(), generator.Device.get()};
    TGenHooks go;
    TLargeOutput large;
    TPaintChain chain; // nothing known before a cleared tile

    EXPECT_EQ(large.Render(2048, chain, from, go), TLargeResult::Magnified);
    EXPECT_EQ(large.ExactSize(), 0);
    ASSERT_NE(generator.Textures->GetTarget(LargeTargetIndex), nullptr);
    EXPECT_EQ(generator.Textures->GetTarget(LargeTargetIndex)->Width(), 2048);

    chain.Restart();
    chain.Add(Solid(0xFF00FF00u));
    EXPECT_EQ(large.Render(2048, chain, from, go), TLargeResult::Exact);
    EXPECT_EQ(large.ExactSize(), 2048);
    chain.Add(Solid(0xFF0000FFu)); // drawn over what the target holds
    EXPECT_EQ(large.Render(2048, chain, from, go), TLargeResult::Exact);
    large.Forget();
    EXPECT_EQ(large.ExactSize(), 0);

    // The pump runs after the first PumpCalls - 1 calls; a stop there leaves a part drawn.
    for (std::size_t i = chain.Calls().size(); i < TLargeOutput::PumpCalls; ++i)
        chain.Add(Solid(0xFF000000u));
    TStopHooks stop;
    EXPECT_EQ(large.Render(4096, chain, from, stop), TLargeResult::Stopped);
    EXPECT_EQ(stop.pumps, 1);
    EXPECT_EQ(large.ExactSize(), 0);
    EXPECT_EQ(generator.Textures->GetTarget(LargeTargetIndex)->Width(), 4096);
    EXPECT_EQ(large.Render(4096, chain, from, go), TLargeResult::Exact);
    EXPECT_EQ(large.ExactSize(), 4096);

    large.Free(*generator.Textures);
    EXPECT_EQ(generator.Textures->Count(), LargeTargetIndex);
    EXPECT_EQ(large.ExactSize(), 0);

    // A target list without the seven targets before it takes no large target.
    TVornTextures none;
    none.SetPublisher(generator.Device.get());
    const TLargeSources nowhere{
        none, 1, generator.Canvas, generator.Images.get(), generator.Archive.get(), generator.Device.get()};
    EXPECT_EQ(large.Render(2048, chain, nowhere, go), TLargeResult::Failed);
    EXPECT_EQ(none.Count(), 0);
}

} // namespace
