// Textures and the render-target list on the software device: the format choice, the state
// machine, locking, binding, loss and reset, and rendering into a target with read-back.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/DXTextures.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "engine/soft/SoftDevice.h"
#include "support/CaptureSink.h"
#include "support/FaultyDevice.h"
#include "support/ReadBack.h"

namespace vorn {
namespace {

using namespace sd;

using test::ReadTarget;

// Every texel equals expected; otherwise names the first that does not.
::testing::AssertionResult AllTexels(const std::vector<std::uint32_t>& texels, int width, int height,
                                     std::uint32_t expected) {
    if (texels.size() != std::size_t(width) * std::size_t(height))
        return ::testing::AssertionFailure() << "read " << texels.size() << " texels";
    for (std::size_t i = 0; i < texels.size(); ++i)
        if (texels[i] != expected)
            return ::testing::AssertionFailure()
                   << "texel (" << i % std::size_t(width) << ", " << i / std::size_t(width) << ") is 0x"
                   << std::hex << texels[i] << ", expected 0x" << expected;
    return ::testing::AssertionSuccess();
}

struct TexturesTest : ::testing::Test {
    void SetUp() override {
        device = std::make_unique<TVornDevice>(test::FaultyDirect3DFactory(faults));
        device->SetWidth(64);
        device->SetHeight(64);
        device->SetWindowHandle(&sink);
        textures = std::make_unique<TVornTextures>();
        textures->SetPublisher(device.get());
    }
    void TearDown() override {
        textures.reset();
        device.reset();
    }
    // Back buffer's first pixel after a present.
    std::uint32_t PresentedPixel() {
        EXPECT_TRUE(device->PresentFrame());
        return sink.firstPixel;
    }

    test::CaptureSink sink;
    test::DeviceFaults faults;
    std::unique_ptr<TVornDevice> device;
    std::unique_ptr<TVornTextures> textures;
};

// ---- format choice ----

TEST_F(TexturesTest, ChooseTextureFormatNeedsAnInitialisedDevice) {
    EXPECT_EQ(ChooseTextureFormat(nullptr, aqHigh, alFull, 0), D3DFMT_UNKNOWN);
    EXPECT_EQ(ChooseTextureFormat(device.get(), aqHigh, alFull, 0), D3DFMT_UNKNOWN);
}

TEST_F(TexturesTest, ApplicationTargetsGetA8R8G8B8) {
    ASSERT_TRUE(device->Initialize());
    EXPECT_EQ(ChooseTextureFormat(device.get(), aqHigh, alFull, D3DUSAGE_RENDERTARGET), D3DFMT_A8R8G8B8);
}

TEST_F(TexturesTest, ChooseTextureFormatWalksEachPreferenceList) {
    ASSERT_TRUE(device->Initialize());
    struct Case {
        TVornQuality quality;
        TAlphaLevel alpha;
        std::vector<D3DFORMAT> list;
    };
    const std::vector<D3DFORMAT> mask = {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_A8R3G3B2};
    const std::vector<D3DFORMAT> exclusive = {D3DFMT_A8, D3DFMT_A8R3G3B2, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4,
                                              D3DFMT_A1R5G5B5};
    const std::vector<Case> cases = {
        {aqLow, alNone, {D3DFMT_R3G3B2, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_X8R8G8B8}},
        {aqMedium, alNone, {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_R3G3B2}},
        {aqHigh, alNone, {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_R3G3B2}},
        {aqLow, alMask, mask},
        {aqMedium, alMask, mask},
        {aqHigh, alMask, mask},
        {aqLow, alFull, {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A8R3G3B2}},
        {aqMedium, alFull, {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_A8R3G3B2, D3DFMT_A1R5G5B5}},
        {aqHigh, alFull, {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_A1R5G5B5}},
        {aqLow, alExclusive, exclusive},
        {aqMedium, alExclusive, exclusive},
        {aqHigh, alExclusive, exclusive},
    };
    const D3DFORMAT adapter = device->PresentParams().BackBufferFormat;
    for (DWORD usage : {DWORD(0), D3DUSAGE_RENDERTARGET, D3DUSAGE_AUTOGENMIPMAP}) {
        for (const Case& c : cases) {
            D3DFORMAT expected = D3DFMT_UNKNOWN;
            for (D3DFORMAT f : c.list) {
                if (Succeeded(device->D3D()->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, adapter,
                                                               usage, D3DRTYPE_TEXTURE, f))) {
                    expected = f;
                    break;
                }
            }
            EXPECT_EQ(ChooseTextureFormat(device.get(), c.quality, c.alpha, usage), expected)
                << "quality " << int(c.quality) << " alpha " << int(c.alpha) << " usage " << usage;
        }
    }
    EXPECT_EQ(ChooseTextureFormat(device.get(), aqHigh, static_cast<TAlphaLevel>(7), 0), D3DFMT_UNKNOWN);
}

// ---- state machine ----

struct TCounts {
    int prepare = 0, create = 0, release = 0;
};

class TFakeTexture : public TDXBaseTexture {
public:
    TFakeTexture(TCounts& counts, TTextureKind kind) : TDXBaseTexture(nullptr, kind), m_counts(counts) {}
    ~TFakeTexture() override { ChangeState(tsNone); }
    bool Prepare() override { return ++m_counts.prepare, prepareOk; }
    bool CreateResources() override { return ++m_counts.create, createOk; }
    void ReleaseResources() override { ++m_counts.release; }
    std::uint32_t GetUsage() const override { return 0; }
    bool Bind(std::uint32_t, std::int32_t) override { return false; }
    bool Lock(std::int32_t, TLockAccess, TLockedTexels&) override { return false; }
    bool LockRegion(std::int32_t, const RECT&, TLockedTexels&, TLockAccess) override { return false; }
    bool Unlock(std::int32_t) override { return false; }
    bool prepareOk = true, createOk = true;

private:
    TCounts& m_counts;
};

TEST(TextureState, CreatedFromNone) {
    TCounts n;
    TFakeTexture t(n, tkDefault);
    t.prepareOk = false;
    t.ChangeState(tsReady);
    EXPECT_EQ(t.State(), tsNone);
    EXPECT_EQ(n.create, 0);

    t.prepareOk = true;
    t.createOk = false;
    t.ChangeState(tsReady);
    EXPECT_EQ(t.State(), tsNone);
    EXPECT_EQ(n.release, 1); // whatever was made part-way is released

    t.createOk = true;
    t.ChangeState(tsReady);
    EXPECT_EQ(t.State(), tsReady);
    t.ChangeState(tsReady); // already ready: nothing
    EXPECT_EQ(n.prepare, 3);
    EXPECT_EQ(n.create, 2);
    EXPECT_EQ(n.release, 1);
}

TEST(TextureState, LostAndRecreated) {
    TCounts n;
    TFakeTexture t(n, tkDefault);
    t.ChangeState(tsReady);
    t.ChangeState(tsLost);
    EXPECT_EQ(t.State(), tsLost);
    EXPECT_EQ(n.release, 1);
    t.ChangeState(tsLost); // nothing more to release
    EXPECT_EQ(n.release, 1);

    t.createOk = false;
    t.ChangeState(tsReady);
    EXPECT_EQ(t.State(), tsFailed);
    t.ChangeState(tsReady);
    EXPECT_EQ(t.State(), tsFailed);
    t.ChangeState(tsLost);
    EXPECT_EQ(t.State(), tsFailed);
    t.createOk = true;
    t.ChangeState(tsReady);
    EXPECT_EQ(t.State(), tsReady);
    EXPECT_EQ(n.prepare, 1); // recreation does not prepare again
    EXPECT_EQ(n.create, 4);
}

TEST(TextureState, ManagedIgnoresLost) {
    TCounts n;
    TFakeTexture t(n, tkManaged);
    t.ChangeState(tsReady);
    t.ChangeState(tsLost);
    EXPECT_EQ(t.State(), tsReady);
    EXPECT_EQ(n.release, 0);
}

TEST(TextureState, NoneReleasesOnlyWhatExists) {
    TCounts n;
    TFakeTexture t(n, tkRenderTarget);
    t.ChangeState(tsNone);
    EXPECT_EQ(n.release, 0);
    t.ChangeState(tsReady);
    t.ChangeState(tsLost);
    t.ChangeState(tsNone);
    EXPECT_EQ(t.State(), tsNone);
    EXPECT_EQ(n.release, 1);
    t.ChangeState(tsFailed); // not a target one can ask for
    EXPECT_EQ(t.State(), tsNone);
}

TEST(TextureState, DestroyingAReadyTextureReleasesIt) {
    TCounts n;
    {
        TFakeTexture t(n, tkManaged);
        t.ChangeState(tsReady);
    }
    EXPECT_EQ(n.release, 1);
}

TEST(TextureState, SettingsChangeOnlyInNone) {
    TCounts n;
    TFakeTexture t(n, tkManaged);
    EXPECT_EQ(t.Width(), 256);
    EXPECT_EQ(t.Height(), 256);
    EXPECT_TRUE(t.Mipmapping());
    t.SetSize(32, 16);
    t.SetMipmapping(false);
    t.SetFormat(D3DFMT_A8);
    t.ChangeState(tsReady);
    t.SetSize(64, 64);
    t.SetMipmapping(true);
    t.SetFormat(D3DFMT_R5G6B5);
    EXPECT_EQ(t.Width(), 32);
    EXPECT_EQ(t.Height(), 16);
    EXPECT_FALSE(t.Mipmapping());
    EXPECT_EQ(t.Format(), D3DFMT_A8);
}

// ---- single textures ----

TEST_F(TexturesTest, MonoTextureLockRoundTrip) {
    ASSERT_TRUE(device->Initialize());
    TDXMonoTexture t(device.get());
    t.SetSize(8, 4);
    t.SetMipmapping(false);
    t.SetFormat(D3DFMT_A8R8G8B8);
    TLockedTexels info;
    EXPECT_FALSE(t.Lock(0, laWrite, info)); // nothing to lock yet
    t.ChangeState(tsReady);
    ASSERT_EQ(t.State(), tsReady);
    ASSERT_TRUE(t.Lock(0, laWrite, info));
    EXPECT_EQ(info.Format, tfA8R8G8B8);
    EXPECT_GE(info.Pitch, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<std::uint32_t*>(static_cast<char*>(info.Bits) + y * info.Pitch)[x] =
                std::uint32_t(y * 8 + x);
    EXPECT_TRUE(t.Unlock(0));

    RECT rect{2, 1, 4, 3};
    ASSERT_TRUE(t.LockRegion(0, rect, info, laWrite));
    *static_cast<std::uint32_t*>(info.Bits) = 0xDEADBEEFu; // texel (2, 1)
    EXPECT_TRUE(t.Unlock(0));

    ASSERT_TRUE(t.Lock(0, laRead, info));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const std::uint32_t v =
                reinterpret_cast<const std::uint32_t*>(static_cast<char*>(info.Bits) + y * info.Pitch)[x];
            ASSERT_EQ(v, (x == 2 && y == 1) ? 0xDEADBEEFu : std::uint32_t(y * 8 + x)) << x << ", " << y;
        }
    EXPECT_TRUE(t.Unlock(0));
}

TEST_F(TexturesTest, MonoTextureRefusesBadLocks) {
    ASSERT_TRUE(device->Initialize());
    TDXMonoTexture t(device.get());
    t.SetSize(8, 8);
    t.SetFormat(D3DFMT_A8R8G8B8);
    t.ChangeState(tsReady);
    ASSERT_EQ(t.State(), tsReady);
    TLockedTexels info;
    EXPECT_FALSE(t.Lock(1, laRead, info));
    EXPECT_FALSE(t.LockRegion(0, RECT{6, 6, 9, 8}, info, laRead)); // past the right edge
    EXPECT_FALSE(t.LockRegion(0, RECT{-1, 0, 2, 2}, info, laRead));
    EXPECT_FALSE(t.LockRegion(0, RECT{3, 3, 3, 4}, info, laRead)); // empty
    EXPECT_FALSE(t.Unlock(1));
}

TEST_F(TexturesTest, MonoTextureUsage) {
    TDXMonoTexture managed(device.get());
    EXPECT_EQ(managed.GetUsage(), D3DUSAGE_AUTOGENMIPMAP);
    TDXMonoTexture dynamic(device.get(), tkDynamic);
    dynamic.SetMipmapping(false);
    EXPECT_EQ(dynamic.GetUsage(), D3DUSAGE_DYNAMIC);
    TDXMonoTexture plain(device.get(), tkDefault);
    EXPECT_EQ(plain.GetUsage(), D3DUSAGE_AUTOGENMIPMAP);
    TRenderTarget target(device.get());
    EXPECT_EQ(target.GetUsage(), D3DUSAGE_RENDERTARGET);
}

TEST_F(TexturesTest, MonoTextureWithoutFormatStaysNone) {
    ASSERT_TRUE(device->Initialize());
    TDXMonoTexture t(device.get());
    t.ChangeState(tsReady);
    EXPECT_EQ(t.State(), tsNone);
    EXPECT_EQ(t.Texture(), nullptr);
}

TEST_F(TexturesTest, MonoTextureBindsOnlyItself) {
    ASSERT_TRUE(device->Initialize());
    TDXMonoTexture t(device.get());
    t.SetSize(4, 4);
    t.SetFormat(D3DFMT_A8R8G8B8);
    EXPECT_FALSE(t.Bind(0));
    t.ChangeState(tsReady);
    ASSERT_TRUE(t.Bind(1));
    TexturePtr bound;
    device->D3DDevice()->GetTexture(1, &bound);
    EXPECT_EQ(bound, t.Texture());
    EXPECT_FALSE(t.Bind(0, 1));
}

TEST_F(TexturesTest, DefaultPoolTextureFollowsLoss) {
    ASSERT_TRUE(device->Initialize());
    TDXMonoTexture t(device.get(), tkDynamic);
    t.SetSize(4, 4);
    t.SetMipmapping(false);
    t.SetFormat(D3DFMT_A8R8G8B8);
    t.ChangeState(tsReady);
    ASSERT_EQ(t.State(), tsReady);
    t.ChangeState(tsLost);
    EXPECT_EQ(t.State(), tsLost);
    EXPECT_EQ(t.Texture(), nullptr);
    t.ChangeState(tsReady);
    EXPECT_EQ(t.State(), tsReady);
    EXPECT_NE(t.Texture(), nullptr);
}

// ---- multi-textures ----

TEST_F(TexturesTest, MultiTextureCount) {
    TDXMultiTexture t(device.get());
    EXPECT_EQ(t.TextureCount(), 1);
    EXPECT_EQ(t.Kind(), tkManaged);
    t.SetTextureCount(-3);
    EXPECT_EQ(t.TextureCount(), 0);
    t.SetMipmapping(false);
    EXPECT_EQ(t.GetUsage(), 0u);
    t.SetMipmapping(true);
    EXPECT_EQ(t.GetUsage(), D3DUSAGE_AUTOGENMIPMAP);
}

TEST_F(TexturesTest, MultiTextureSubTexturesLockAndBind) {
    ASSERT_TRUE(device->Initialize());
    TDXMultiTexture t(device.get());
    t.SetSize(4, 4);
    t.SetMipmapping(false);
    t.SetFormat(D3DFMT_A8R8G8B8);
    t.SetTextureCount(3);
    t.ChangeState(tsReady);
    ASSERT_EQ(t.State(), tsReady);
    t.SetTextureCount(5); // fixed now
    EXPECT_EQ(t.TextureCount(), 3);
    EXPECT_EQ(t.Texture(3), nullptr);
    EXPECT_EQ(t.Texture(-1), nullptr);

    for (int n = 0; n < 3; ++n) {
        TLockedTexels info;
        ASSERT_TRUE(t.Lock(n, laWrite, info));
        *static_cast<std::uint32_t*>(info.Bits) = 0xA0000000u + std::uint32_t(n);
        EXPECT_TRUE(t.Unlock(n));
    }
    for (int n = 0; n < 3; ++n) {
        TLockedTexels info;
        ASSERT_TRUE(t.Lock(n, laRead, info));
        EXPECT_EQ(*static_cast<std::uint32_t*>(info.Bits), 0xA0000000u + std::uint32_t(n));
        EXPECT_TRUE(t.Unlock(n));
    }
    TLockedTexels info;
    EXPECT_FALSE(t.Lock(3, laRead, info));
    EXPECT_FALSE(t.Unlock(3));

    ASSERT_TRUE(t.Bind(0, 1));
    // Past the count: false, and the texture bound before stays bound.
    EXPECT_FALSE(t.Bind(0, 3));
    EXPECT_FALSE(t.Bind(0, -1));
    TexturePtr bound;
    device->D3DDevice()->GetTexture(0, &bound);
    EXPECT_EQ(bound, t.Texture(1));

    t.ChangeState(tsLost); // managed: stays ready
    EXPECT_EQ(t.State(), tsReady);
    t.ChangeState(tsNone);
    EXPECT_EQ(t.Texture(0), nullptr);
}

TEST_F(TexturesTest, MultiTextureWithNoSubTexturesIsReady) {
    ASSERT_TRUE(device->Initialize());
    TDXMultiTexture t(device.get());
    t.SetFormat(D3DFMT_A8R8G8B8);
    t.SetTextureCount(0);
    t.ChangeState(tsReady);
    EXPECT_EQ(t.State(), tsReady);
    EXPECT_FALSE(t.Bind(0, 0));
}

// ---- render targets ----

TEST_F(TexturesTest, RenderTargetDefaultsAndFormat) {
    ASSERT_TRUE(device->Initialize());
    TRenderTarget t(device.get());
    EXPECT_EQ(t.Kind(), tkRenderTarget);
    EXPECT_FALSE(t.Mipmapping());
    EXPECT_EQ(t.Quality(), aqHigh);
    EXPECT_EQ(t.AlphaLevel(), alFull);
    EXPECT_FALSE(t.BackBufferFormat());
    EXPECT_FALSE(t.DepthStencil());
    t.SetSize(16, 16);
    t.ChangeState(tsReady);
    ASSERT_EQ(t.State(), tsReady);
    EXPECT_EQ(t.Format(), D3DFMT_A8R8G8B8);

    TRenderTarget b(device.get());
    b.SetBackBufferFormat(true);
    b.SetSize(16, 16);
    b.ChangeState(tsReady);
    EXPECT_EQ(b.Format(), device->PresentParams().BackBufferFormat);
}

TEST_F(TexturesTest, ActivateBindsAndDeactivateRestores) {
    ASSERT_TRUE(device->Initialize());
    TRenderTarget t(device.get());
    t.SetSize(8, 8);
    EXPECT_FALSE(t.Activate()); // not ready
    t.ChangeState(tsReady);
    ASSERT_TRUE(t.Activate());
    EXPECT_FALSE(t.Activate()); // already active: the saved binding stays the back buffer
    ASSERT_TRUE(device->ClearTarget(0xFF00FF00u, false));
    t.Deactivate();
    ASSERT_TRUE(device->ClearTarget(0xFF0000FFu, false));
    EXPECT_TRUE(AllTexels(ReadTarget(*device, t), 8, 8, 0xFF00FF00u));
    EXPECT_EQ(PresentedPixel() & 0x00FFFFFFu, 0x00FF0000u);
}

TEST_F(TexturesTest, ReleasingAnActiveTargetRestoresTheBinding) {
    ASSERT_TRUE(device->Initialize());
    TRenderTarget t(device.get());
    t.SetSize(8, 8);
    t.ChangeState(tsReady);
    ASSERT_TRUE(t.Activate());
    t.ChangeState(tsNone);
    EXPECT_FALSE(t.Active());
    ASSERT_TRUE(device->ClearTarget(0xFF0000FFu, false));
    EXPECT_EQ(PresentedPixel() & 0x00FFFFFFu, 0x00FF0000u);
    // Nothing of the target is left in the device: a reset, refused while default-pool
    // textures live, goes through.
    D3DPRESENT_PARAMETERS params = device->PresentParams();
    EXPECT_TRUE(Succeeded(device->D3DDevice()->Reset(&params)));
}

TEST_F(TexturesTest, DepthStencilTargetBindsItsOwnDepthSurface) {
    device->SetDepthBuffer(true);
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargetsEx(1, 16, 16, false, aqHigh, alFull, true));
    TRenderTarget* t = textures->GetTarget(0);
    ASSERT_NE(t->DepthSurface(), nullptr);
    SurfacePtr before;
    device->D3DDevice()->GetDepthStencilSurface(&before);
    ASSERT_TRUE(t->Activate());
    SurfacePtr during;
    device->D3DDevice()->GetDepthStencilSurface(&during);
    EXPECT_EQ(during, t->DepthSurface());
    t->Deactivate();
    SurfacePtr after;
    device->D3DDevice()->GetDepthStencilSurface(&after);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(textures->RenderIntoTarget(0, 0xFF123456u, nullptr, true));
}

// ---- the list ----

TEST_F(TexturesTest, GetTargetOutOfRangeGivesNone) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(2, 32, 16, aqHigh, alFull));
    EXPECT_EQ(textures->Count(), 2);
    EXPECT_EQ(textures->GetTarget(-1), nullptr);
    EXPECT_EQ(textures->GetTarget(2), nullptr);
    ASSERT_NE(textures->GetTarget(1), nullptr);
    EXPECT_EQ(textures->GetTarget(1)->Width(), 32);
    EXPECT_EQ(textures->GetTarget(1)->Height(), 16);
    EXPECT_EQ(textures->GetTarget(1)->State(), tsReady);
}

TEST_F(TexturesTest, AddingNoTargetsAnswersFalse) {
    ASSERT_TRUE(device->Initialize());
    EXPECT_FALSE(textures->AddRenderTargets(0, 64, 64, aqHigh, alFull));
    EXPECT_FALSE(textures->AddRenderTargets(-2, 64, 64, aqHigh, alFull));
    EXPECT_EQ(textures->Count(), 0);
}

TEST_F(TexturesTest, AddingWithoutDeviceFails) {
    TVornTextures orphan;
    EXPECT_FALSE(orphan.AddRenderTargets(1, 64, 64, aqHigh, alFull));
    EXPECT_EQ(orphan.Count(), 0);
    EXPECT_FALSE(textures->AddRenderTargets(1, 64, 64, aqHigh, alFull)); // device not initialised
    EXPECT_EQ(textures->Count(), 0);
}

TEST_F(TexturesTest, FailurePartWayKeepsTheTargetsMadeBefore) {
    ASSERT_TRUE(device->Initialize());
    faults.renderTargetsBeforeFailure = 2;
    EXPECT_FALSE(textures->AddRenderTargets(4, 16, 16, aqHigh, alFull));
    EXPECT_EQ(textures->Count(), 2);
    EXPECT_EQ(textures->GetTarget(1)->State(), tsReady);
}

TEST_F(TexturesTest, StartupSequenceStopsAtTheThirdTarget) {
    ASSERT_TRUE(device->Initialize());
    faults.renderTargetsBeforeFailure = 2;
    int failedSize = 0;
    for (int size : {256, 1024, 1024, 512, 256, 128, 64}) {
        if (!textures->AddRenderTargets(1, size, size, aqHigh, alFull)) {
            failedSize = size;
            break;
        }
    }
    EXPECT_EQ(failedSize, 1024);
    ASSERT_EQ(textures->Count(), 2);
    EXPECT_EQ(textures->GetTarget(0)->Width(), 256);
    EXPECT_EQ(textures->GetTarget(1)->Width(), 1024);
}

TEST_F(TexturesTest, LostAndResetFollowTheDevice) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(3, 16, 16, aqHigh, alFull));
    EXPECT_TRUE(textures->HandleNotification(msgDeviceLost));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(textures->GetTarget(i)->State(), tsLost) << i;

    faults.renderTargetsBeforeFailure = 1;
    EXPECT_TRUE(textures->HandleNotification(msgDeviceReset));
    EXPECT_EQ(textures->GetTarget(0)->State(), tsReady);
    EXPECT_EQ(textures->GetTarget(1)->State(), tsFailed);
    EXPECT_EQ(textures->GetTarget(2)->State(), tsFailed);

    faults.renderTargetsBeforeFailure = -1;
    EXPECT_TRUE(textures->HandleNotification(msgDeviceReset));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(textures->GetTarget(i)->State(), tsReady) << i;
}

TEST_F(TexturesTest, FinalizeEmptiesTheList) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(2, 16, 16, aqHigh, alFull));
    EXPECT_TRUE(device->Finalize());
    EXPECT_EQ(textures->Count(), 0);
    EXPECT_TRUE(textures->HandleNotification(msgInitialize)); // no targets are made on initialisation
    EXPECT_EQ(textures->Count(), 0);
}

TEST_F(TexturesTest, DestroyingTheListFreesItsTargets) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(2, 16, 16, aqHigh, alFull));
    // The layer refuses a reset while default-pool textures live.
    D3DPRESENT_PARAMETERS params = device->PresentParams();
    EXPECT_TRUE(Failed(device->D3DDevice()->Reset(&params)));
    textures.reset();
    EXPECT_TRUE(Succeeded(device->D3DDevice()->Reset(&params)));
}

// ---- rendering into a target ----

TEST_F(TexturesTest, RenderIntoTargetRoundTrip) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(1, 64, 64, aqHigh, alFull));
    int calls = 0;
    auto callback = [&](TVornTextures* sender) {
        EXPECT_EQ(sender, textures.get());
        EXPECT_TRUE(device->SceneOpen());
        ++calls;
    };
    // Canvas colour 0xAABBGGRR = alpha 0x80, blue 0x40, green 0x20, red 0x10.
    ASSERT_TRUE(textures->RenderIntoTarget(0, 0x80402010u, callback, true));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(device->SceneOpen());
    EXPECT_TRUE(AllTexels(ReadTarget(*device, *textures->GetTarget(0)), 64, 64, 0x80102040u));
}

TEST_F(TexturesTest, RenderIntoTargetDrawsIntoTheTargetAndRestoresTheBackBuffer) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(2, 16, 16, aqHigh, alFull));
    ASSERT_TRUE(textures->RenderIntoTarget(0, 0xFF000000u, nullptr, true));
    ASSERT_TRUE(textures->RenderIntoTarget(
        1, 0, [&](TVornTextures*) { EXPECT_TRUE(device->ClearTarget(0xFFFFFFFFu, false)); }, true));
    ASSERT_TRUE(device->ClearTarget(0xFF0000FFu, false)); // goes to the back buffer again
    EXPECT_TRUE(AllTexels(ReadTarget(*device, *textures->GetTarget(0)), 16, 16, 0xFF000000u));
    EXPECT_TRUE(AllTexels(ReadTarget(*device, *textures->GetTarget(1)), 16, 16, 0xFFFFFFFFu));
    EXPECT_EQ(PresentedPixel() & 0x00FFFFFFu, 0x00FF0000u);
}

TEST_F(TexturesTest, RenderIntoTargetWithoutClearingKeepsTheContent) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(1, 16, 16, aqHigh, alFull));
    ASSERT_TRUE(textures->RenderIntoTarget(0, 0xFF336699u, nullptr, true));
    ASSERT_TRUE(textures->RenderIntoTarget(0, 0xFF000000u, nullptr, false));
    EXPECT_TRUE(AllTexels(ReadTarget(*device, *textures->GetTarget(0)), 16, 16, 0xFF996633u));
}

TEST_F(TexturesTest, RenderIntoMissingTargetDrawsNothing) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(1, 16, 16, aqHigh, alFull));
    int calls = 0;
    auto callback = [&](TVornTextures*) { ++calls; };
    EXPECT_FALSE(textures->RenderIntoTarget(1, 0, callback, true));
    EXPECT_FALSE(textures->RenderIntoTarget(-1, 0, callback, true));
    TVornTextures orphan;
    EXPECT_FALSE(orphan.RenderIntoTarget(0, 0, callback, true));
    EXPECT_EQ(calls, 0);
}

TEST_F(TexturesTest, FailedSceneRestoresThePreviousTarget) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(1, 16, 16, aqHigh, alFull));
    ASSERT_TRUE(textures->RenderIntoTarget(0, 0xFF000000u, nullptr, true));
    int calls = 0;
    // A scene opened behind the device object's back makes its BeginScene fail after the clear.
    ASSERT_TRUE(Succeeded(device->D3DDevice()->BeginScene()));
    EXPECT_FALSE(textures->RenderIntoTarget(
        0, 0xFFFFFFFFu, [&](TVornTextures*) { ++calls; }, true));
    ASSERT_TRUE(Succeeded(device->D3DDevice()->EndScene()));
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(textures->GetTarget(0)->Active());

    // The back buffer is bound again: this clear does not reach the target.
    ASSERT_TRUE(device->ClearTarget(0xFF0000FFu, false));
    EXPECT_EQ(PresentedPixel() & 0x00FFFFFFu, 0x00FF0000u);
    EXPECT_TRUE(AllTexels(ReadTarget(*device, *textures->GetTarget(0)), 16, 16, 0xFFFFFFFFu));
}

TEST_F(TexturesTest, FrameDuringRenderIntoTargetLeavesTheTargetAlone) {
    int rendered = 0;
    device->OnRender = [&](TVornDevice*) { ++rendered; };
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(1, 16, 16, aqHigh, alFull));

    // The message pump runs a frame in the middle of a long render.
    ASSERT_TRUE(textures->RenderIntoTarget(
        0, 0xFF224466u,
        [&](TVornTextures*) {
            EXPECT_FALSE(device->RenderFrame(0xFF0000FFu, true));
            EXPECT_FALSE(device->PresentFrame());
        },
        true));
    EXPECT_EQ(rendered, 0);
    EXPECT_TRUE(AllTexels(ReadTarget(*device, *textures->GetTarget(0)), 16, 16, 0xFF664422u));

    // And the target stays bound for the rest of the callback.
    ASSERT_TRUE(textures->RenderIntoTarget(
        0, 0,
        [&](TVornTextures*) {
            device->RenderFrame(0xFF0000FFu, true);
            EXPECT_TRUE(device->ClearTarget(0xFF00FF00u, false));
        },
        false));
    EXPECT_TRUE(AllTexels(ReadTarget(*device, *textures->GetTarget(0)), 16, 16, 0xFF00FF00u));
}

TEST_F(TexturesTest, NestedRenderIntoTargetFailsAtOnce) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(2, 16, 16, aqHigh, alFull));
    ASSERT_TRUE(textures->RenderIntoTarget(1, 0xFF000000u, nullptr, true));
    int inner = 0;
    ASSERT_TRUE(textures->RenderIntoTarget(
        0, 0xFF0000FFu,
        [&](TVornTextures* sender) {
            EXPECT_FALSE(sender->RenderIntoTarget(
                1, 0xFFFFFFFFu, [&](TVornTextures*) { ++inner; }, true));
            EXPECT_TRUE(device->ClearTarget(0xFF00FF00u, false)); // still the outer target
        },
        true));
    EXPECT_EQ(inner, 0);
    EXPECT_TRUE(AllTexels(ReadTarget(*device, *textures->GetTarget(0)), 16, 16, 0xFF00FF00u));
    EXPECT_TRUE(AllTexels(ReadTarget(*device, *textures->GetTarget(1)), 16, 16, 0xFF000000u));
}

TEST_F(TexturesTest, DeviceFinalisedDuringTheCallback) {
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures->AddRenderTargets(1, 16, 16, aqHigh, alFull));
    EXPECT_TRUE(textures->RenderIntoTarget(
        0, 0, [&](TVornTextures*) { device->Finalize(); }, true));
    EXPECT_EQ(textures->Count(), 0);
    EXPECT_FALSE(device->Initialized());
}

} // namespace
} // namespace vorn
