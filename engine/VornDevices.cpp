#include "engine/VornDevices.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vorn {

namespace {

using namespace sd;

constexpr std::array<D3DFORMAT, 5> BackBufferFormatsHigh = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,
                                                            D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5};
constexpr std::array<D3DFORMAT, 5> BackBufferFormatsLow = {D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5,
                                                           D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};
constexpr std::array<D3DFORMAT, 6> DepthFormatsHigh = {D3DFMT_D32,   D3DFMT_D24S8, D3DFMT_D24X4S4,
                                                       D3DFMT_D24X8, D3DFMT_D15S1, D3DFMT_D16};
constexpr std::array<D3DFORMAT, 6> DepthFormatsLow = {D3DFMT_D16,   D3DFMT_D15S1,   D3DFMT_D32,
                                                      D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D24X8};

// Whether the adapter lists a mode of exactly width x height (and refresh, unless 0) in format.
bool HasMode(Direct3D& d3d, D3DFORMAT format, UINT width, UINT height, UINT refresh) {
    const UINT count = d3d.GetAdapterModeCount(D3DADAPTER_DEFAULT, format);
    for (UINT i = 0; i < count; ++i) {
        D3DDISPLAYMODE mode;
        if (Failed(d3d.EnumAdapterModes(D3DADAPTER_DEFAULT, format, i, &mode))) continue;
        if (mode.Width == width && mode.Height == height && (refresh == 0 || mode.RefreshRate == refresh))
            return true;
    }
    return false;
}

} // namespace

TVornDevice::TVornDevice(sd::Direct3DFactory createDirect3D) : m_createDirect3D(std::move(createDirect3D)) {}

TVornDevice::~TVornDevice() {
    Finalize();
    m_components.clear();
}

void TVornDevice::SetWidth(std::int32_t value) {
    if (value == m_width) return;
    m_width = value;
    if (m_initialized) ResetDevice();
}

void TVornDevice::SetHeight(std::int32_t value) {
    if (value == m_height) return;
    m_height = value;
    if (m_initialized) ResetDevice();
}

void TVornDevice::SetBitDepth(TBitDepth value) {
    if (!m_initialized) m_bitDepth = value;
}

void TVornDevice::SetRefresh(std::int32_t value) {
    if (!m_initialized) m_refresh = value;
}

void TVornDevice::SetWindowed(bool value) {
    if (value == m_windowed) return;
    m_windowed = value;
    if (m_initialized) ResetDevice();
}

void TVornDevice::SetVSync(bool value) {
    if (value == m_vsync) return;
    m_vsync = value;
    if (m_initialized) ResetDevice();
}

void TVornDevice::SetHardwareTL(bool value) {
    if (value == m_hardwareTL) return;
    m_hardwareTL = value;
    if (m_initialized) ResetDevice();
}

void TVornDevice::SetDepthBuffer(bool value) {
    if (!m_initialized) m_depthBuffer = value;
}

void TVornDevice::SetWindowHandle(sd::HostSink* value) {
    if (!m_initialized) m_windowHandle = value;
}

void TVornDevice::BuildPresentParams() {
    m_params = D3DPRESENT_PARAMETERS{};
    m_params.BackBufferWidth = static_cast<UINT>(std::max(m_width, 0));
    m_params.BackBufferHeight = static_cast<UINT>(std::max(m_height, 0));
    m_params.BackBufferCount = 0;
    m_params.MultiSampleType = D3DMULTISAMPLE_NONE;
    m_params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    m_params.hDeviceWindow = m_windowHandle;
    m_params.Windowed = m_windowed;

    const UINT refresh = static_cast<UINT>(std::max(m_refresh, 0));
    m_params.BackBufferFormat = D3DFMT_UNKNOWN;
    if (m_windowed) {
        D3DDISPLAYMODE mode;
        if (Succeeded(m_d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)))
            m_params.BackBufferFormat = mode.Format;
    } else {
        const auto& formats = m_bitDepth == bdHigh ? BackBufferFormatsHigh : BackBufferFormatsLow;
        for (D3DFORMAT format : formats) {
            if (HasMode(*m_d3d, format, m_params.BackBufferWidth, m_params.BackBufferHeight, refresh)) {
                m_params.BackBufferFormat = format;
                break;
            }
        }
    }

    m_params.FullScreen_RefreshRateInHz = refresh;
    m_params.PresentationInterval = m_vsync ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;

    if (m_depthBuffer) {
        m_params.EnableAutoDepthStencil = true;
        m_params.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
        const auto& formats = m_bitDepth == bdHigh ? DepthFormatsHigh : DepthFormatsLow;
        for (D3DFORMAT format : formats) {
            if (Succeeded(m_d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                   m_params.BackBufferFormat, D3DUSAGE_DEPTHSTENCIL,
                                                   D3DRTYPE_SURFACE, format))) {
                m_params.AutoDepthStencilFormat = format;
                break;
            }
        }
    }
}

bool TVornDevice::Initialize() {
    if (m_initialized || m_d3d || m_device) return false;
    m_d3d = m_createDirect3D ? m_createDirect3D() : Direct3DCreate9(D3D_SDK_VERSION_9);
    if (!m_d3d) return false;
    BuildPresentParams();

    HRESULT hr = E_FAIL;
    if (m_hardwareTL)
        hr = m_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_params.hDeviceWindow,
                                 D3DCREATE_HARDWARE_VERTEXPROCESSING, &m_params, &m_device);
    if (Failed(hr) || !m_device) {
        m_device.reset();
        hr = m_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_params.hDeviceWindow,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &m_params, &m_device);
    }
    bool result = Succeeded(hr) && m_device && Succeeded(m_device->GetDeviceCaps(&m_caps));

    m_lost = false;
    m_sceneOpen = false;
    m_initialized = result;
    if (!m_initialized) {
        // Nothing half-made stays behind, so a later Initialize can try again.
        m_device.reset();
        m_d3d.reset();
        m_caps = D3DCAPS9{};
        return false;
    }

    result = Notify(msgInitialize);
    if (!result) Finalize();
    if (m_initialized && OnInitialize) {
        OnInitialize(this, result);
        if (!result) Finalize();
    }
    // A handler cannot report success for a device that has been finalised.
    return result && m_initialized;
}

bool TVornDevice::Finalize() {
    if (!m_initialized) return false;
    if (OnFinalize) OnFinalize(this);
    Notify(msgFinalize);
    m_device.reset();
    m_d3d.reset();
    m_caps = D3DCAPS9{};
    m_initialized = false;
    m_lost = false;
    m_sceneOpen = false;
    return true;
}

bool TVornDevice::TryReset() {
    // A handler of msgDeviceLost may have finalised the device.
    if (!m_device || Failed(m_device->Reset(&m_params))) return false;
    Notify(msgDeviceReset);
    m_lost = false;
    return true;
}

bool TVornDevice::ResetDevice() {
    if (!m_initialized) return false;
    m_lost = true;
    Notify(msgDeviceLost);
    if (!m_initialized) return false;
    BuildPresentParams();
    // A failed reset keeps the device marked lost: PresentFrame retries it every frame, so the
    // released resources come back once a reset succeeds.
    return TryReset();
}

bool TVornDevice::PresentFrame() {
    if (!m_initialized) return false;
    // Presenting belongs between scenes; a frame requested in the middle of one is skipped.
    if (m_sceneOpen) return false;

    HRESULT hr = m_device->Present(nullptr, nullptr, nullptr, nullptr);
    if (hr == D3DERR_DEVICELOST || m_lost) {
        if (!m_lost) {
            m_lost = true;
            Notify(msgDeviceLost);
            if (!m_initialized) return false;
        }
        const HRESULT level = m_device->TestCooperativeLevel();
        if (level == D3DERR_DEVICENOTRESET || Succeeded(level))
            hr = TryReset() ? D3D_OK : D3DERR_DEVICENOTRESET;
        else
            hr = level;
    }
    if (hr == D3DERR_DRIVERINTERNALERROR) {
        // Default-pool resources must be gone before a reset can succeed.
        if (!m_lost) {
            m_lost = true;
            Notify(msgDeviceLost);
        }
        if (TryReset()) return true;
        Finalize(); // nothing when a handler did it already
        return false;
    }
    return Succeeded(hr);
}

bool TVornDevice::ClearTarget(TCanvasColor color, bool clearDepth) {
    if (!m_initialized) return false;
    const DWORD flags = D3DCLEAR_TARGET | (clearDepth ? D3DCLEAR_ZBUFFER : 0);
    return Succeeded(m_device->Clear(0, nullptr, flags, CanvasToD3DColor(color), 1.0f, 0));
}

bool TVornDevice::BeginScene() {
    if (!m_initialized || m_sceneOpen) return false;
    if (Failed(m_device->BeginScene())) return false;
    m_sceneOpen = true;
    Notify(msgBeginScene);
    return true;
}

bool TVornDevice::EndScene() {
    if (!m_initialized || !m_sceneOpen) return false;
    Notify(msgEndScene);
    // A handler may have finalised the device.
    if (!m_device) return false;
    m_sceneOpen = false;
    return Succeeded(m_device->EndScene());
}

bool TVornDevice::RenderFrame(TCanvasColor color, bool clear) {
    if (!m_initialized || !OnRender) return false;
    // Inside another scene (a render into a target) the bound target is not ours to touch.
    if (m_sceneOpen) return false;
    if (clear && !ClearTarget(color, m_depthBuffer)) return false;
    if (!BeginScene()) return false;
    OnRender(this);
    return EndScene();
}

} // namespace vorn
