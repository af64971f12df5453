// A device that passes every operation on to a real software device, for test doubles that
// record or refuse a few calls: derive from it and override only those, calling the base to
// forward. The double holds a shared reference to the real device for its whole life.
#pragma once

#include <cstdint>
#include <utility>

#include "engine/soft/SoftDevice.h"

namespace vorn::test {

class ForwardingDevice : public sd::Device {
public:
    explicit ForwardingDevice(sd::DevicePtr real) : m_real(std::move(real)) {}

    sd::HRESULT GetDeviceCaps(sd::D3DCAPS9* caps) override { return m_real->GetDeviceCaps(caps); }
    sd::HRESULT TestCooperativeLevel() override { return m_real->TestCooperativeLevel(); }
    sd::HRESULT Reset(sd::D3DPRESENT_PARAMETERS* params) override { return m_real->Reset(params); }
    sd::HRESULT Present(const sd::RECT* sourceRect, const sd::RECT* destRect, sd::HostSink* overrideWindow,
                        const void* dirtyRegion) override {
        return m_real->Present(sourceRect, destRect, overrideWindow, dirtyRegion);
    }
    sd::HRESULT GetBackBuffer(sd::UINT swapChain, sd::UINT index, sd::SurfacePtr* backBuffer) override {
        return m_real->GetBackBuffer(swapChain, index, backBuffer);
    }

    sd::HRESULT BeginScene() override { return m_real->BeginScene(); }
    sd::HRESULT EndScene() override { return m_real->EndScene(); }
    sd::HRESULT Clear(sd::DWORD count, const sd::RECT* rects, sd::DWORD flags, sd::D3DCOLOR color, float z,
                      sd::DWORD stencil) override {
        return m_real->Clear(count, rects, flags, color, z, stencil);
    }

    sd::HRESULT SetRenderState(sd::D3DRENDERSTATETYPE state, sd::DWORD value) override {
        return m_real->SetRenderState(state, value);
    }
    sd::HRESULT GetRenderState(sd::D3DRENDERSTATETYPE state, sd::DWORD* value) override {
        return m_real->GetRenderState(state, value);
    }
    sd::HRESULT SetTextureStageState(sd::DWORD stage, sd::D3DTEXTURESTAGESTATETYPE type,
                                     sd::DWORD value) override {
        return m_real->SetTextureStageState(stage, type, value);
    }
    sd::HRESULT GetTextureStageState(sd::DWORD stage, sd::D3DTEXTURESTAGESTATETYPE type,
                                     sd::DWORD* value) override {
        return m_real->GetTextureStageState(stage, type, value);
    }
    sd::HRESULT SetSamplerState(sd::DWORD sampler, sd::D3DSAMPLERSTATETYPE type, sd::DWORD value) override {
        return m_real->SetSamplerState(sampler, type, value);
    }
    sd::HRESULT GetSamplerState(sd::DWORD sampler, sd::D3DSAMPLERSTATETYPE type, sd::DWORD* value) override {
        return m_real->GetSamplerState(sampler, type, value);
    }
    sd::HRESULT SetTexture(sd::DWORD stage, sd::TexturePtr texture) override {
        return m_real->SetTexture(stage, std::move(texture));
    }
    sd::HRESULT GetTexture(sd::DWORD stage, sd::TexturePtr* texture) override {
        return m_real->GetTexture(stage, texture);
    }

    sd::HRESULT CreateTexture(sd::UINT width, sd::UINT height, sd::UINT levels, sd::DWORD usage,
                              sd::D3DFORMAT format, sd::D3DPOOL pool, sd::TexturePtr* texture) override {
        return m_real->CreateTexture(width, height, levels, usage, format, pool, texture);
    }
    sd::HRESULT CreateVertexBuffer(sd::UINT length, sd::DWORD usage, sd::DWORD fvf, sd::D3DPOOL pool,
                                   sd::VertexBufferPtr* buffer) override {
        return m_real->CreateVertexBuffer(length, usage, fvf, pool, buffer);
    }
    sd::HRESULT CreateIndexBuffer(sd::UINT length, sd::DWORD usage, sd::D3DFORMAT format, sd::D3DPOOL pool,
                                  sd::IndexBufferPtr* buffer) override {
        return m_real->CreateIndexBuffer(length, usage, format, pool, buffer);
    }
    sd::HRESULT CreateDepthStencilSurface(sd::UINT width, sd::UINT height, sd::D3DFORMAT format,
                                          sd::D3DMULTISAMPLE_TYPE multiSample, sd::DWORD multiSampleQuality,
                                          bool discard, sd::SurfacePtr* surface) override {
        return m_real->CreateDepthStencilSurface(width, height, format, multiSample, multiSampleQuality,
                                                 discard, surface);
    }
    sd::HRESULT CreateOffscreenPlainSurface(sd::UINT width, sd::UINT height, sd::D3DFORMAT format,
                                            sd::D3DPOOL pool, sd::SurfacePtr* surface) override {
        return m_real->CreateOffscreenPlainSurface(width, height, format, pool, surface);
    }

    sd::HRESULT SetRenderTarget(sd::DWORD index, sd::SurfacePtr surface) override {
        return m_real->SetRenderTarget(index, std::move(surface));
    }
    sd::HRESULT GetRenderTarget(sd::DWORD index, sd::SurfacePtr* surface) override {
        return m_real->GetRenderTarget(index, surface);
    }
    sd::HRESULT SetDepthStencilSurface(sd::SurfacePtr surface) override {
        return m_real->SetDepthStencilSurface(std::move(surface));
    }
    sd::HRESULT GetDepthStencilSurface(sd::SurfacePtr* surface) override {
        return m_real->GetDepthStencilSurface(surface);
    }
    sd::HRESULT GetRenderTargetData(sd::Surface* renderTarget, sd::Surface* destSurface) override {
        return m_real->GetRenderTargetData(renderTarget, destSurface);
    }

    sd::HRESULT SetStreamSource(sd::UINT stream, sd::VertexBufferPtr buffer, sd::UINT offsetInBytes,
                                sd::UINT stride) override {
        return m_real->SetStreamSource(stream, std::move(buffer), offsetInBytes, stride);
    }
    sd::HRESULT SetIndices(sd::IndexBufferPtr buffer) override {
        return m_real->SetIndices(std::move(buffer));
    }
    sd::HRESULT SetVertexShader(const void* shader) override { return m_real->SetVertexShader(shader); }
    sd::HRESULT SetFVF(sd::DWORD fvf) override { return m_real->SetFVF(fvf); }
    sd::HRESULT DrawIndexedPrimitive(sd::D3DPRIMITIVETYPE type, std::int32_t baseVertexIndex,
                                     sd::UINT minIndex, sd::UINT numVertices, sd::UINT startIndex,
                                     sd::UINT primitiveCount) override {
        return m_real->DrawIndexedPrimitive(type, baseVertexIndex, minIndex, numVertices, startIndex,
                                            primitiveCount);
    }

    void MakeLost() override { m_real->MakeLost(); }

private:
    sd::DevicePtr m_real;
};

} // namespace vorn::test
