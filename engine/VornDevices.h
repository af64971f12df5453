// The graphics device of the process: creates the software Direct3D object and device for a host
// sink (none = headless), clears, runs scenes, presents frames, recovers from device loss and
// tells its subscribers about all of it. Every operation answers a bool and never shows anything.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

#include "engine/VornDef.h"
#include "engine/VornSubsc.h"
#include "engine/soft/SoftDevice.h"

namespace vorn {

enum TBitDepth : std::uint8_t { bdLow = 0, bdHigh = 1 };

class TVornDevice : public TVornPublisher {
public:
    using TInitializeEvent = std::function<void(TVornDevice* sender, bool& success)>;
    using TDeviceEvent = std::function<void(TVornDevice* sender)>;

    // createDirect3D makes the Direct3D object at each Initialize; empty = the software layer's
    // Direct3DCreate9. Tests pass one whose devices fail or record calls.
    explicit TVornDevice(sd::Direct3DFactory createDirect3D = {});
    ~TVornDevice() override; // finalises first, then frees the owned components

    // Back-buffer size; changing it while initialised resets the device at once.
    std::int32_t Width() const { return m_width; }
    void SetWidth(std::int32_t value);
    std::int32_t Height() const { return m_height; }
    void SetHeight(std::int32_t value);
    // Format preference in full screen and for the depth buffer; only while not initialised.
    TBitDepth BitDepth() const { return m_bitDepth; }
    void SetBitDepth(TBitDepth value);
    // Full-screen refresh rate, 0 = any; only while not initialised.
    std::int32_t Refresh() const { return m_refresh; }
    void SetRefresh(std::int32_t value);
    bool Windowed() const { return m_windowed; }
    void SetWindowed(bool value);
    bool VSync() const { return m_vsync; }
    void SetVSync(bool value);
    bool HardwareTL() const { return m_hardwareTL; }
    void SetHardwareTL(bool value);
    // Automatic depth-stencil buffer; only while not initialised.
    bool DepthBuffer() const { return m_depthBuffer; }
    void SetDepthBuffer(bool value);
    // Where Present delivers the back buffer (nullptr = headless); only while not initialised.
    sd::HostSink* WindowHandle() const { return m_windowHandle; }
    void SetWindowHandle(sd::HostSink* value);

    TInitializeEvent OnInitialize; // after msgInitialize; may turn success into failure
    TDeviceEvent OnFinalize;       // before msgFinalize
    TDeviceEvent OnRender;         // inside RenderFrame

    bool Initialize();
    bool Finalize();
    bool ResetDevice();
    bool PresentFrame();
    bool ClearTarget(TCanvasColor color, bool clearDepth);
    bool BeginScene();
    bool EndScene();
    bool RenderFrame(TCanvasColor color, bool clear);

    bool Initialized() const { return m_initialized; }
    bool Lost() const { return m_lost; }
    // Between a successful BeginScene and the next EndScene.
    bool SceneOpen() const { return m_sceneOpen; }

    // The layer's objects, shared by the canvas and the textures; nullptr while not initialised.
    sd::Device* D3DDevice() const { return m_device.get(); }
    sd::Direct3D* D3D() const { return m_d3d.get(); }
    const sd::D3DPRESENT_PARAMETERS& PresentParams() const { return m_params; }
    const sd::D3DCAPS9& Caps() const { return m_caps; }

    // The device owns one or more subscriber components (the canvas) and frees them after
    // finalising. Returns the component, now owned by the device.
    template <class T> T* OwnComponent(std::unique_ptr<T> component) {
        static_assert(std::is_base_of_v<TVornSubscriber, T>);
        T* raw = component.get();
        if (raw) m_components.push_back(std::move(component));
        return raw;
    }

private:
    void BuildPresentParams();
    bool TryReset();

    std::int32_t m_width = 640;
    std::int32_t m_height = 480;
    TBitDepth m_bitDepth = bdHigh;
    std::int32_t m_refresh = 0;
    bool m_windowed = true;
    bool m_vsync = false;
    bool m_hardwareTL = true;
    bool m_depthBuffer = false;
    sd::HostSink* m_windowHandle = nullptr;
    sd::Direct3DFactory m_createDirect3D;

    bool m_initialized = false;
    bool m_lost = false;
    bool m_sceneOpen = false;
    sd::Direct3DPtr m_d3d;
    sd::DevicePtr m_device;
    sd::D3DPRESENT_PARAMETERS m_params{};
    sd::D3DCAPS9 m_caps{};
    std::vector<std::unique_ptr<TVornSubscriber>> m_components;
};

} // namespace vorn
