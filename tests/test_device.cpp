// The device: initialisation and finalisation with their notifications, frames, presenting to
// a host sink, device loss and reset. A forwarding double in front of the software device
// records the calls and injects failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/VornDevices.h"
#include "engine/VornSubsc.h"
#include "engine/VornTextures.h"
#include "engine/soft/SoftDevice.h"
#include "support/CaptureSink.h"
#include "support/FaultyDevice.h"
#include "support/ForwardingDevice.h"

namespace vorn {
namespace {

using namespace sd;
using Log = std::vector<std::string>;

Log* g_log = nullptr; // where the double and the recorders write

void Record(const std::string& entry) {
    if (g_log) g_log->push_back(entry);
}

// Passes every call on to the real device; records some and fails some on request.
class TProxyDevice : public test::ForwardingDevice {
public:
    using ForwardingDevice::ForwardingDevice;

    HRESULT presentResult = D3D_OK; // used once when not D3D_OK
    bool holdLost = false;          // TestCooperativeLevel answers D3DERR_DEVICELOST
    int failResets = 0;             // the next failResets Reset calls fail
    bool failClear = false;
    bool failBeginScene = false;

    HRESULT TestCooperativeLevel() override {
        return holdLost ? D3DERR_DEVICELOST : ForwardingDevice::TestCooperativeLevel();
    }
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override {
        Record("Reset");
        if (failResets > 0) {
            --failResets;
            return D3DERR_INVALIDCALL;
        }
        return ForwardingDevice::Reset(params);
    }
    HRESULT Present(const RECT* s, const RECT* d, HostSink* w, const void* r) override {
        Record("Present");
        if (presentResult != D3D_OK) {
            const HRESULT hr = presentResult;
            presentResult = D3D_OK;
            return hr;
        }
        return ForwardingDevice::Present(s, d, w, r);
    }
    HRESULT BeginScene() override {
        Record("BeginScene");
        return failBeginScene ? E_FAIL : ForwardingDevice::BeginScene();
    }
    HRESULT EndScene() override {
        Record("EndScene");
        return ForwardingDevice::EndScene();
    }
    HRESULT Clear(DWORD n, const RECT* r, DWORD f, D3DCOLOR c, float z, DWORD s) override {
        Record("Clear");
        return failClear ? E_FAIL : ForwardingDevice::Clear(n, r, f, c, z, s);
    }
};

std::shared_ptr<TProxyDevice> g_proxy;

DevicePtr WrapDevice(DevicePtr real) {
    g_proxy = std::make_shared<TProxyDevice>(std::move(real));
    return g_proxy;
}

// Writes "name:message" for every notification and answers as told.
class TRecorder : public TVornDeviceSubscriber {
public:
    // Answers false to the message veto only (0 = to none).
    explicit TRecorder(std::string name, std::uint32_t veto = 0) : m_name(std::move(name)), m_veto(veto) {}
    ~TRecorder() override { Record(m_name + ":destroyed"); }
    bool HandleNotification(std::uint32_t message) override {
        Record(m_name + ":" + std::to_string(message));
        if (onNotify) onNotify(message);
        return message != m_veto;
    }
    std::function<void(std::uint32_t)> onNotify;

private:
    std::string m_name;
    std::uint32_t m_veto;
};

struct DeviceTest : ::testing::Test {
    void SetUp() override {
        faults.wrapDevice = &WrapDevice;
        g_log = &log;
        device = std::make_unique<TVornDevice>(test::FaultyDirect3DFactory(faults));
        device->SetWidth(64);
        device->SetHeight(64);
    }
    void TearDown() override {
        device.reset();
        g_log = nullptr;
        g_proxy.reset();
    }
    // The log without the double's own entries.
    Log Notifications() const {
        Log out;
        for (const auto& e : log)
            if (e.find(':') != std::string::npos) out.push_back(e);
        return out;
    }
    int CountOf(const std::string& entry) const {
        return static_cast<int>(std::count(log.begin(), log.end(), entry));
    }

    Log log;
    test::DeviceFaults faults;
    std::unique_ptr<TVornDevice> device;
};

// ---- initialisation and finalisation ----

TEST_F(DeviceTest, InitializeHeadlessBuildsWindowedParameters) {
    TRecorder a("a");
    a.SetPublisher(device.get());
    ASSERT_TRUE(device->Initialize());
    EXPECT_TRUE(device->Initialized());
    ASSERT_NE(device->D3DDevice(), nullptr);
    ASSERT_NE(device->D3D(), nullptr);
    EXPECT_EQ(Notifications(), (Log{"a:256"}));

    const D3DPRESENT_PARAMETERS& p = device->PresentParams();
    D3DDISPLAYMODE mode;
    ASSERT_TRUE(Succeeded(device->D3D()->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)));
    EXPECT_EQ(p.BackBufferFormat, mode.Format);
    EXPECT_EQ(p.BackBufferWidth, 64u);
    EXPECT_EQ(p.BackBufferHeight, 64u);
    EXPECT_EQ(p.BackBufferCount, 0u);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(p.hDeviceWindow, nullptr);
    EXPECT_TRUE(p.Windowed);
    EXPECT_FALSE(p.EnableAutoDepthStencil);
    EXPECT_EQ(p.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
}

TEST_F(DeviceTest, InitializeTwiceFailsAndChangesNothing) {
    TRecorder a("a");
    a.SetPublisher(device.get());
    ASSERT_TRUE(device->Initialize());
    Device* first = device->D3DDevice();
    EXPECT_FALSE(device->Initialize());
    EXPECT_TRUE(device->Initialized());
    EXPECT_EQ(device->D3DDevice(), first);
    EXPECT_EQ(Notifications(), (Log{"a:256"}));
}

TEST_F(DeviceTest, SubscriberVetoingInitializeLeavesDeviceFinalised) {
    TRecorder a("a"), veto("veto", msgInitialize), c("c");
    a.SetPublisher(device.get());
    veto.SetPublisher(device.get());
    c.SetPublisher(device.get());
    EXPECT_FALSE(device->Initialize());
    EXPECT_FALSE(device->Initialized());
    EXPECT_EQ(device->D3DDevice(), nullptr);
    EXPECT_EQ(device->D3D(), nullptr);
    EXPECT_EQ(Notifications(), (Log{"a:256", "veto:256", "a:257", "veto:257", "c:257"}));

    // Nothing is left behind: without the veto the device comes up.
    veto.SetPublisher(nullptr);
    EXPECT_TRUE(device->Initialize());
}

TEST_F(DeviceTest, OnInitializeCanFailTheInitialisation) {
    bool seen = false;
    device->OnInitialize = [&](TVornDevice* sender, bool& success) {
        EXPECT_EQ(sender, device.get());
        seen = success;
        success = false;
    };
    EXPECT_FALSE(device->Initialize());
    EXPECT_TRUE(seen);
    EXPECT_FALSE(device->Initialized());
}

TEST_F(DeviceTest, OnInitializeCannotReportSuccessAfterAVeto) {
    TRecorder veto("veto", msgInitialize);
    veto.SetPublisher(device.get());
    device->OnInitialize = [](TVornDevice*, bool& success) { success = true; };
    EXPECT_FALSE(device->Initialize());
    EXPECT_FALSE(device->Initialized());
}

TEST_F(DeviceTest, FailedCreationLeavesNothingBehind) {
    faults.failCreateDirect3D = true;
    EXPECT_FALSE(device->Initialize());
    EXPECT_EQ(device->D3D(), nullptr);
    faults.failCreateDirect3D = false;

    faults.failCreateDevice = true; // both vertex-processing kinds fail
    EXPECT_FALSE(device->Initialize());
    EXPECT_EQ(device->D3D(), nullptr);
    EXPECT_EQ(device->D3DDevice(), nullptr);
    faults.failCreateDevice = false;

    EXPECT_TRUE(device->Initialize());
}

TEST_F(DeviceTest, FinalizeCallsHandlerThenNotifies) {
    TRecorder a("a");
    a.SetPublisher(device.get());
    EXPECT_FALSE(device->Finalize());
    device->OnFinalize = [](TVornDevice*) { Record("OnFinalize:"); };
    ASSERT_TRUE(device->Initialize());
    EXPECT_TRUE(device->Finalize());
    EXPECT_EQ(Notifications(), (Log{"a:256", "OnFinalize:", "a:257"}));
    EXPECT_EQ(device->D3DDevice(), nullptr);
    EXPECT_FALSE(device->Finalize());
}

TEST_F(DeviceTest, DestroyingFinalisesThenFreesOwnedComponents) {
    TRecorder* canvas = device->OwnComponent(std::make_unique<TRecorder>("canvas"));
    canvas->SetPublisher(device.get());
    ASSERT_TRUE(device->Initialize());
    device.reset();
    EXPECT_EQ(Notifications(), (Log{"canvas:256", "canvas:257", "canvas:destroyed"}));
}

TEST_F(DeviceTest, SettingsFixedWhileInitialised) {
    test::CaptureSink sink;
    ASSERT_TRUE(device->Initialize());
    device->SetWindowHandle(&sink);
    device->SetDepthBuffer(true);
    device->SetBitDepth(bdLow);
    device->SetRefresh(60);
    EXPECT_EQ(device->WindowHandle(), nullptr);
    EXPECT_FALSE(device->DepthBuffer());
    EXPECT_EQ(device->BitDepth(), bdHigh);
    EXPECT_EQ(device->Refresh(), 0);
}

TEST_F(DeviceTest, DepthBufferTakesFirstAcceptedDepthFormat) {
    device->SetDepthBuffer(true);
    ASSERT_TRUE(device->Initialize());
    const D3DPRESENT_PARAMETERS& p = device->PresentParams();
    EXPECT_TRUE(p.EnableAutoDepthStencil);
    EXPECT_EQ(p.Flags, D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL);
    D3DFORMAT expected = D3DFMT_UNKNOWN;
    for (D3DFORMAT f : {D3DFMT_D32, D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D24X8, D3DFMT_D15S1, D3DFMT_D16}) {
        if (Succeeded(device->D3D()->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, p.BackBufferFormat,
                                                       D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, f))) {
            expected = f;
            break;
        }
    }
    EXPECT_NE(expected, D3DFMT_UNKNOWN);
    EXPECT_EQ(p.AutoDepthStencilFormat, expected);
    EXPECT_TRUE(device->ClearTarget(0, true));
}

// ---- frames ----

TEST_F(DeviceTest, RenderFrameOrder) {
    TRecorder a("a");
    a.SetPublisher(device.get());
    device->OnRender = [&](TVornDevice* sender) {
        EXPECT_EQ(sender, device.get());
        EXPECT_TRUE(device->SceneOpen());
        Record("OnRender:");
    };
    ASSERT_TRUE(device->Initialize());
    log.clear();
    EXPECT_TRUE(device->RenderFrame(0, true));
    EXPECT_EQ(log, (Log{"Clear", "BeginScene", "a:260", "OnRender:", "a:261", "EndScene"}));
    EXPECT_FALSE(device->SceneOpen());

    log.clear();
    EXPECT_TRUE(device->RenderFrame(0, false));
    EXPECT_EQ(log, (Log{"BeginScene", "a:260", "OnRender:", "a:261", "EndScene"}));
}

TEST_F(DeviceTest, RenderFrameWithoutHandlerDrawsNothing) {
    ASSERT_TRUE(device->Initialize());
    log.clear();
    EXPECT_FALSE(device->RenderFrame(0xFF00FF00u, true));
    EXPECT_TRUE(log.empty());
}

TEST_F(DeviceTest, RenderFrameNeedsAnInitialisedDevice) {
    device->OnRender = [](TVornDevice*) { Record("OnRender:"); };
    EXPECT_FALSE(device->RenderFrame(0, true));
    EXPECT_FALSE(device->ClearTarget(0, false));
    EXPECT_FALSE(device->BeginScene());
    EXPECT_FALSE(device->EndScene());
    EXPECT_FALSE(device->PresentFrame());
    EXPECT_FALSE(device->ResetDevice());
    EXPECT_TRUE(log.empty());
}

TEST_F(DeviceTest, FailedClearSkipsTheFrame) {
    device->OnRender = [](TVornDevice*) { Record("OnRender:"); };
    ASSERT_TRUE(device->Initialize());
    g_proxy->failClear = true;
    log.clear();
    EXPECT_FALSE(device->RenderFrame(0, true));
    EXPECT_EQ(log, (Log{"Clear"}));
}

TEST_F(DeviceTest, FailedBeginSceneNotifiesNothing) {
    TRecorder a("a");
    a.SetPublisher(device.get());
    device->OnRender = [](TVornDevice*) { Record("OnRender:"); };
    ASSERT_TRUE(device->Initialize());
    g_proxy->failBeginScene = true;
    log.clear();
    EXPECT_FALSE(device->RenderFrame(0, false));
    EXPECT_FALSE(device->SceneOpen());
    EXPECT_FALSE(device->EndScene()); // no scene to end: no msgEndScene either
    EXPECT_EQ(log, (Log{"BeginScene"}));
}

TEST_F(DeviceTest, FrameInsideAnOpenSceneFailsAtOnce) {
    device->OnRender = [](TVornDevice*) { Record("OnRender:"); };
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(device->BeginScene());
    log.clear();
    EXPECT_FALSE(device->RenderFrame(0xFF0000FFu, true));
    EXPECT_FALSE(device->PresentFrame());
    EXPECT_TRUE(log.empty()); // no clear, no scene, no present
    EXPECT_TRUE(device->SceneOpen());
    EXPECT_TRUE(device->EndScene());
}

TEST_F(DeviceTest, ClearedFrameReachesTheSink) {
    test::CaptureSink sink;
    device->SetWidth(24);
    device->SetHeight(16);
    device->SetWindowHandle(&sink);
    device->OnRender = [](TVornDevice*) {};
    ASSERT_TRUE(device->Initialize());
    EXPECT_EQ(device->PresentParams().hDeviceWindow, &sink);
    // Canvas colour 0xAABBGGRR: red 0x33, green 0x66, blue 0xCC.
    ASSERT_TRUE(device->RenderFrame(0xFFCC6633u, true));
    ASSERT_TRUE(device->PresentFrame());
    ASSERT_EQ(sink.presents, 1);
    ASSERT_EQ(sink.width, 24);
    ASSERT_EQ(sink.height, 16);
    for (std::size_t i = 0; i < sink.image.size(); ++i)
        ASSERT_EQ(sink.image[i], 0xFF3366CCu) << "first differing pixel (" << i % 24 << ", " << i / 24 << ")";
}

// ---- device loss and reset ----

TEST_F(DeviceTest, LossIsNotifiedOnceAndResetAfterRecovery) {
    TRecorder a("a");
    a.SetPublisher(device.get());
    ASSERT_TRUE(device->Initialize());
    log.clear();
    device->D3DDevice()->MakeLost();
    g_proxy->holdLost = true; // the display is not back yet
    EXPECT_FALSE(device->PresentFrame());
    EXPECT_FALSE(device->PresentFrame());
    EXPECT_FALSE(device->PresentFrame());
    EXPECT_TRUE(device->Lost());
    EXPECT_EQ(Notifications(), (Log{"a:258"}));
    EXPECT_EQ(CountOf("Reset"), 0);

    g_proxy->holdLost = false;
    EXPECT_TRUE(device->PresentFrame());
    EXPECT_FALSE(device->Lost());
    EXPECT_EQ(Notifications(), (Log{"a:258", "a:259"}));
    EXPECT_TRUE(device->PresentFrame());
    EXPECT_EQ(Notifications(), (Log{"a:258", "a:259"}));
    EXPECT_TRUE(device->Initialized());
}

TEST_F(DeviceTest, LossReleasesAndRecreatesRenderTargets) {
    TVornTextures textures;
    textures.SetPublisher(device.get());
    TRecorder after("after");
    after.SetPublisher(device.get());
    std::vector<TTextureState> seenAtLoss;
    after.onNotify = [&](std::uint32_t message) {
        if (message == msgDeviceLost)
            for (int i = 0; i < textures.Count(); ++i) seenAtLoss.push_back(textures.GetTarget(i)->State());
    };
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures.AddRenderTargets(2, 32, 32, aqHigh, alFull));

    device->D3DDevice()->MakeLost();
    // The layer refuses Reset while default-pool textures live, so success shows they were released.
    EXPECT_TRUE(device->PresentFrame());
    EXPECT_EQ(seenAtLoss, (std::vector<TTextureState>{tsLost, tsLost}));
    EXPECT_EQ(textures.GetTarget(0)->State(), tsReady);
    EXPECT_EQ(textures.GetTarget(1)->State(), tsReady);
    EXPECT_EQ(CountOf("after:258"), 1);
    EXPECT_EQ(CountOf("after:259"), 1);
}

TEST_F(DeviceTest, HandlerFinalisingOnLossEndsThePresent) {
    TRecorder a("a");
    a.SetPublisher(device.get());
    a.onNotify = [&](std::uint32_t message) {
        if (message == msgDeviceLost) device->Finalize();
    };
    ASSERT_TRUE(device->Initialize());
    device->D3DDevice()->MakeLost();
    EXPECT_FALSE(device->PresentFrame());
    EXPECT_FALSE(device->Initialized());
    EXPECT_FALSE(device->Lost());
    EXPECT_EQ(Notifications(), (Log{"a:256", "a:258", "a:257"}));
}

TEST_F(DeviceTest, DriverErrorResetsWithTargetsReleased) {
    TVornTextures textures;
    textures.SetPublisher(device.get());
    TRecorder a("a");
    a.SetPublisher(device.get());
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures.AddRenderTargets(1, 16, 16, aqHigh, alFull));
    log.clear();
    g_proxy->presentResult = D3DERR_DRIVERINTERNALERROR;
    EXPECT_TRUE(device->PresentFrame());
    EXPECT_TRUE(device->Initialized());
    EXPECT_EQ(Notifications(), (Log{"a:258", "a:259"}));
    EXPECT_EQ(textures.GetTarget(0)->State(), tsReady);
}

TEST_F(DeviceTest, DriverErrorWithFailedResetFinalises) {
    TVornTextures textures;
    textures.SetPublisher(device.get());
    TRecorder a("a");
    a.SetPublisher(device.get());
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures.AddRenderTargets(1, 16, 16, aqHigh, alFull));
    log.clear();
    g_proxy->presentResult = D3DERR_DRIVERINTERNALERROR;
    g_proxy->failResets = 1;
    EXPECT_FALSE(device->PresentFrame());
    EXPECT_FALSE(device->Initialized());
    EXPECT_EQ(Notifications(), (Log{"a:258", "a:257"}));
    EXPECT_EQ(textures.Count(), 0);
}

TEST_F(DeviceTest, ResetDeviceNotifiesLostThenReset) {
    TRecorder a("a");
    a.SetPublisher(device.get());
    ASSERT_TRUE(device->Initialize());
    log.clear();
    EXPECT_TRUE(device->ResetDevice());
    EXPECT_EQ(log, (Log{"a:258", "Reset", "a:259"}));
    EXPECT_FALSE(device->Lost());
}

TEST_F(DeviceTest, ChangingTheSizeResetsAtOnce) {
    TRecorder a("a");
    a.SetPublisher(device.get());
    ASSERT_TRUE(device->Initialize());
    log.clear();
    device->SetWidth(40);
    EXPECT_EQ(device->PresentParams().BackBufferWidth, 40u);
    EXPECT_EQ(Notifications(), (Log{"a:258", "a:259"}));
    device->SetWidth(40); // same value: nothing to do
    EXPECT_EQ(Notifications().size(), 2u);
    device->SetVSync(true);
    EXPECT_EQ(device->PresentParams().PresentationInterval, D3DPRESENT_INTERVAL_ONE);
    EXPECT_EQ(Notifications().size(), 4u);
}

TEST_F(DeviceTest, FailedResetIsRetriedByTheNextFrames) {
    TVornTextures textures;
    textures.SetPublisher(device.get());
    TRecorder a("a");
    a.SetPublisher(device.get());
    ASSERT_TRUE(device->Initialize());
    ASSERT_TRUE(textures.AddRenderTargets(1, 16, 16, aqHigh, alFull));
    log.clear();
    g_proxy->failResets = 1;
    EXPECT_FALSE(device->ResetDevice());
    EXPECT_TRUE(device->Lost());
    EXPECT_EQ(textures.GetTarget(0)->State(), tsLost);

    EXPECT_TRUE(device->PresentFrame());
    EXPECT_FALSE(device->Lost());
    EXPECT_EQ(Notifications(), (Log{"a:258", "a:259"}));
    EXPECT_EQ(textures.GetTarget(0)->State(), tsReady);
}

} // namespace
} // namespace vorn
