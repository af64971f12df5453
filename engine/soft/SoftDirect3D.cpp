// The software Direct3D object: the one adapter and its display modes, the formats it takes, and
// the creation of devices.
#include "engine/soft/SoftDevice.h"

#include "engine/soft/SoftDeviceImpl.h"
#include "engine/soft/SoftFormats.h"

#include <iterator>
#include <memory>
#include <new>

namespace vorn::sd {

namespace {

// The full-screen modes the layer lists.
constexpr D3DDISPLAYMODE ListedModes[] = {
    {640, 480, 60, D3DFMT_UNKNOWN},   {800, 600, 60, D3DFMT_UNKNOWN},   {1024, 768, 60, D3DFMT_UNKNOWN},
    {1280, 720, 60, D3DFMT_UNKNOWN},  {1280, 1024, 60, D3DFMT_UNKNOWN}, {1600, 900, 60, D3DFMT_UNKNOWN},
    {1920, 1080, 60, D3DFMT_UNKNOWN},
};

bool IsDisplayFormat(D3DFORMAT f) {
    return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8;
}

} // namespace

Direct3D::Direct3D() = default;
Direct3D::~Direct3D() = default;

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
    *mode = DesktopMode;
    return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    if (adapter != D3DADAPTER_DEFAULT || !IsDisplayFormat(format)) return 0;
    return static_cast<UINT>(std::size(ListedModes));
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* displayMode) {
    if (!displayMode || mode >= GetAdapterModeCount(adapter, format)) return D3DERR_INVALIDCALL;
    *displayMode = ListedModes[mode];
    displayMode->Format = format;
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
    if (adapter != D3DADAPTER_DEFAULT || deviceType != D3DDEVTYPE_HAL || !IsDisplayFormat(adapterFormat))
        return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_DEPTHSTENCIL)
        return resourceType == D3DRTYPE_SURFACE && IsDepthFormat(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    if (resourceType != D3DRTYPE_TEXTURE && resourceType != D3DRTYPE_SURFACE) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_RENDERTARGET) return IsTargetFormat(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    return BytesPerPixel(checkFormat) != 0 ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HostSink*, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* params, DevicePtr* device) {
    if (!device) return D3DERR_INVALIDCALL;
    device->reset();
    if (adapter != D3DADAPTER_DEFAULT || deviceType != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    if (!(behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING)))
        return D3DERR_INVALIDCALL;
    if (Failed(CheckPresentParams(params))) return D3DERR_INVALIDCALL;
    DevicePtr real;
    try {
        real = std::make_shared<Device>();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    Device::Impl& d = *real->m_impl;
    d.real = true;
    const HRESULT hr = BuildSwapChain(d, *params);
    if (Failed(hr)) return hr;
    d.SetDefaultStates();
    *device = std::move(real);
    return D3D_OK;
}

Direct3DPtr Direct3DCreate9(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION_9) return nullptr;
    return std::make_shared<Direct3D>();
}

} // namespace vorn::sd
