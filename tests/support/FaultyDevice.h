// Failure injection for the software device: a Direct3D object whose devices sit behind a double
// that fails the calls a test asks for. The test owns the DeviceFaults, hands FaultyDirect3D(faults)
// to what it builds (TVornDevice, TGenerator, the main window) and may change the faults at any
// time. A failing call answers as the layer does when it runs out of resources.
#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "ForwardingDevice.h"
#include "engine/soft/SoftDevice.h"

namespace vorn::test {

struct DeviceFaults {
    bool failCreateDirect3D = false;
    bool failCreateDevice = false;
    // Render-target CreateTexture calls that still succeed before every later one fails;
    // negative = never fail.
    int renderTargetsBeforeFailure = -1;
    bool failCreateOffscreenSurface = false;
    sd::HRESULT offscreenSurfaceFailure = sd::D3DERR_OUTOFVIDEOMEMORY; // what that failure answers
    bool failGetRenderTargetData = false;
    bool failDraws = false; // DrawIndexedPrimitive answers E_OUTOFMEMORY, as a band out of memory does
    // When set, the device handed out is what this makes of the faulty one (a recorder, say).
    std::function<sd::DevicePtr(sd::DevicePtr)> wrapDevice;
};

class FaultyDevice : public ForwardingDevice {
public:
    FaultyDevice(sd::DevicePtr real, DeviceFaults& faults)
        : ForwardingDevice(std::move(real)), m_faults(faults) {}

    // Only valid requests count and fail, as the real device checks its arguments first.
    sd::HRESULT CreateTexture(sd::UINT width, sd::UINT height, sd::UINT levels, sd::DWORD usage,
                              sd::D3DFORMAT format, sd::D3DPOOL pool, sd::TexturePtr* texture) override {
        const sd::HRESULT hr =
            ForwardingDevice::CreateTexture(width, height, levels, usage, format, pool, texture);
        if (sd::Failed(hr) || !(usage & sd::D3DUSAGE_RENDERTARGET)) return hr;
        int& remaining = m_faults.renderTargetsBeforeFailure;
        if (remaining == 0) {
            texture->reset();
            return sd::D3DERR_OUTOFVIDEOMEMORY;
        }
        if (remaining > 0) --remaining;
        return hr;
    }
    sd::HRESULT CreateOffscreenPlainSurface(sd::UINT width, sd::UINT height, sd::D3DFORMAT format,
                                            sd::D3DPOOL pool, sd::SurfacePtr* surface) override {
        const sd::HRESULT hr =
            ForwardingDevice::CreateOffscreenPlainSurface(width, height, format, pool, surface);
        if (sd::Failed(hr) || !m_faults.failCreateOffscreenSurface) return hr;
        surface->reset();
        return m_faults.offscreenSurfaceFailure;
    }
    sd::HRESULT DrawIndexedPrimitive(sd::D3DPRIMITIVETYPE type, std::int32_t baseVertexIndex,
                                     sd::UINT minIndex, sd::UINT numVertices, sd::UINT startIndex,
                                     sd::UINT primitiveCount) override {
        if (m_faults.failDraws) return sd::E_OUTOFMEMORY;
        return ForwardingDevice::DrawIndexedPrimitive(type, baseVertexIndex, minIndex, numVertices,
                                                      startIndex, primitiveCount);
    }
    sd::HRESULT GetRenderTargetData(sd::Surface* renderTarget, sd::Surface* destSurface) override {
        if (renderTarget && destSurface && m_faults.failGetRenderTargetData)
            return sd::D3DERR_DRIVERINTERNALERROR;
        return ForwardingDevice::GetRenderTargetData(renderTarget, destSurface);
    }

private:
    DeviceFaults& m_faults;
};

class FaultyDirect3D : public sd::Direct3D {
public:
    explicit FaultyDirect3D(DeviceFaults& faults) : m_faults(faults) {}

    sd::HRESULT CreateDevice(sd::UINT adapter, sd::D3DDEVTYPE deviceType, sd::HostSink* focusWindow,
                             sd::DWORD behaviorFlags, sd::D3DPRESENT_PARAMETERS* params,
                             sd::DevicePtr* device) override {
        const sd::HRESULT hr =
            sd::Direct3D::CreateDevice(adapter, deviceType, focusWindow, behaviorFlags, params, device);
        if (sd::Failed(hr)) return hr;
        if (m_faults.failCreateDevice) {
            device->reset();
            return sd::D3DERR_NOTAVAILABLE;
        }
        sd::DevicePtr faulty = std::make_shared<FaultyDevice>(std::move(*device), m_faults);
        *device = m_faults.wrapDevice ? m_faults.wrapDevice(std::move(faulty)) : std::move(faulty);
        return *device ? sd::D3D_OK : sd::E_FAIL;
    }

private:
    DeviceFaults& m_faults;
};

// What a device owner is given to make its Direct3D object under these faults.
inline sd::Direct3DFactory FaultyDirect3DFactory(DeviceFaults& faults) {
    return [&faults]() -> sd::Direct3DPtr {
        if (faults.failCreateDirect3D) return nullptr;
        return std::make_shared<FaultyDirect3D>(faults);
    };
}

} // namespace vorn::test
