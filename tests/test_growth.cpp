// Preview frames composed from the targets: equal to the device's frame, texel for pixel at
// scale 2, a transparent tile over the BG Color, and the tile as it grows: frames during a
// generation that leave the texture's bytes and the device's scene state (clears, target
// bindings, scenes) exactly as without them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/VornCanvas.h"
#include "engine/VornTextures.h"
#include "export/TileExport.h"
#include "gen/Generator.h"
#include "gen/PreviewCompose.h"
#include "support/CaptureSink.h"
#include "support/FaultyDevice.h"
#include "support/ForwardingDevice.h"

using namespace vorn;

namespace {

const std::string BuiltArchive = PALLIMOR_BUILD_DIR "/vorn.dat";

// Device calls that would disturb a scene in progress.
struct TSceneCalls {
    int clears = 0, targets = 0, begins = 0, ends = 0;
    bool operator==(const TSceneCalls&) const = default;
};
TSceneCalls g_calls;

class TCountingDevice final : public test::ForwardingDevice {
public:
    using ForwardingDevice::ForwardingDevice;
    sd::HRESULT Clear(sd::DWORD count, const sd::RECT* rects, sd::DWORD flags, sd::D3DCOLOR color, float z,
                      sd::DWORD stencil) override {
        ++g_calls.clears;
        return ForwardingDevice::Clear(count, rects, flags, color, z, stencil);
    }
    sd::HRESULT SetRenderTarget(sd::DWORD index, sd::SurfacePtr surface) override {
        ++g_calls.targets;
        return ForwardingDevice::SetRenderTarget(index, std::move(surface));
    }
    sd::HRESULT BeginScene() override {
        ++g_calls.begins;
        return ForwardingDevice::BeginScene();
    }
    sd::HRESULT EndScene() override {
        ++g_calls.ends;
        return ForwardingDevice::EndScene();
    }
};

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        m_faults.wrapDevice = [](sd::DevicePtr real) -> sd::DevicePtr {
            return std::make_shared<TCountingDevice>(std::move(real));
        };
        m_gen = std::make_unique<TGenerator>(m_settings, nullptr, test::FaultyDirect3DFactory(m_faults));
        m_gen->ComponentsInit();
        ASSERT_EQ(m_gen->Startup(&m_sink, BuiltArchive).failure, TStartupFailure::None);
    }
    void TearDown() override { m_gen.reset(); }

    std::vector<std::uint8_t> TileBytes() {
        TBitmap32 bitmap;
        EXPECT_TRUE(CopyToBitmap(*m_gen->Textures, 1, 1024, bitmap));
        return {bitmap.Bits(), bitmap.Bits() + bitmap.Pitch() * 1024};
    }
    // A target's texel (x, y) as 0xAARRGGBB.
    std::uint32_t Texel(int index, int x, int y) {
        TBitmap32 bitmap;
        const int size = m_gen->Textures->GetTarget(index)->Width();
        EXPECT_TRUE(CopyToBitmap(*m_gen->Textures, index, size, bitmap));
        const std::uint8_t* p = bitmap.Row(y) + 4 * x;
        return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
    }

    TGenSettings m_settings;
    test::DeviceFaults m_faults;
    test::CaptureSink m_sink;
    std::unique_ptr<TGenerator> m_gen;
};

TEST_F(Preview, ComposedFrameIsTheDevicesFrame) {
    random::SetSeed(99);
    m_gen->FirstRender();
    for (const bool pane : {false, true}) {
        m_gen->PreviewPaneVisible = pane;
        m_gen->MarkDirty();
        m_gen->TimerTimer();
        const std::vector<std::uint32_t> device = m_sink.image;
        ASSERT_EQ(device.size(), 512u * 512u);
        ASSERT_TRUE(m_gen->PresentPreview(1));
        ASSERT_EQ(m_sink.image.size(), device.size());
        for (std::size_t i = 0; i < device.size(); ++i)
            ASSERT_EQ(m_sink.image[i] & 0xFFFFFFu, device[i] & 0xFFFFFFu)
                << "pane " << pane << " at (" << i % 512 << ", " << i / 512 << ")";
    }
}

TEST_F(Preview, ScaleTwoShowsTheTileTexelForPixelAndThePaneDoubled) {
    random::SetSeed(7);
    m_gen->FirstRender();
    m_gen->PreviewPaneVisible = true;
    ASSERT_TRUE(m_gen->PresentPreview(2));
    ASSERT_EQ(m_sink.width, 1024);
    const auto at = [&](int x, int y) { return m_sink.image[static_cast<std::size_t>(y) * 1024 + x]; };
    const struct {
        int x, y;
        int target, tx, ty;
    } cases[] = {{0, 0, 1, 0, 0},         {615, 1023, 1, 615, 1023}, {1023, 615, 1, 1023, 615},
                 {500, 300, 1, 500, 300}, {616, 616, 0, 0, 0},       {617, 617, 0, 0, 0},
                 {620, 621, 0, 2, 2},     {1023, 1023, 0, 203, 203}, {1000, 700, 0, 192, 42}};
    for (const auto& c : cases)
        EXPECT_EQ(at(c.x, c.y), Texel(c.target, c.tx, c.ty) | 0xFF000000u)
            << "at (" << c.x << ", " << c.y << ")";
}

// A transparent tile (BG Fill None) is shown over the BG Color, by the device and composed alike:
// premultiplied half red (a 128, r 128) over 0080FF gives r 128, g Mul8(128, 127) = 64,
// b Mul8(255, 127) = 127; where the tile is transparent the BG Color itself.
TEST_F(Preview, ATransparentTileIsShownOverTheBGColor) {
    m_settings.bgFill = BGFillNone;
    m_settings.steps = 0;
    random::SetSeed(3);
    m_gen->FirstRender();
    ASSERT_TRUE(m_gen->TileTransparent());
    ASSERT_TRUE(m_gen->Textures->RenderIntoTarget(
        1, 0, [&](TVornTextures*) { m_gen->Canvas->FillSolidRect(512, 0, 512, 1024, 0x80000080u, beOpaque); },
        true));
    m_gen->BackgroundColor = CanvasColorOfRgb(0x0080FF);
    m_gen->MarkDirty();
    m_gen->TimerTimer();
    for (const int scale : {0, 1, 2}) { // 0: the device's frame
        if (scale > 0) {
            ASSERT_TRUE(m_gen->PresentPreview(scale));
        }
        const int side = 512 * std::max(scale, 1);
        ASSERT_EQ(m_sink.image.size(), std::size_t(side) * side);
        EXPECT_EQ(m_sink.image[std::size_t(side) * side / 4] & 0xFFFFFFu, 0x0080FFu) << scale;
        EXPECT_EQ(m_sink.image[std::size_t(side) * side / 4 + side * 3 / 4] & 0xFFFFFFu, 0x80407Fu) << scale;
    }
}

TEST_F(Preview, GrowingTileShowsFramesWithoutTouchingTheSceneOrTheTexture) {
    m_settings.steps = 0; // 1024 steps
    random::SetSeed(2024);
    g_calls = {};
    m_gen->Generate();
    const std::vector<std::uint8_t> plain = TileBytes();
    const TSceneCalls plainCalls = g_calls;
    ASSERT_EQ(m_sink.presents, 0);

    m_gen->SetGrowthFrames(1);
    random::SetSeed(2024);
    g_calls = {};
    m_gen->Generate();
    EXPECT_GT(m_sink.presents, 1) << "no frames while the tile grew";
    EXPECT_EQ(g_calls, plainCalls) << "a frame cleared, bound a target or began a scene";
    EXPECT_EQ(TileBytes(), plain);

    // A batch draws no frames.
    const int presents = m_sink.presents;
    m_gen->BatchRunning = true;
    m_gen->Generate();
    EXPECT_EQ(m_sink.presents, presents);
}

} // namespace
