// Private state behind the software device's handles (Surface, Texture, buffers, Device). Only
// SoftDevice.cpp and the software layer's tests read it. Pixel memory is owned by the surface
// that shows it; a texture owns its level surfaces and hands them out as aliasing shared_ptrs,
// so a level surface keeps its texture alive as a COM reference would.
#pragma once

#include "engine/soft/SoftDevice.h"
#include "engine/soft/SoftRaster.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace vorn::sd {

struct Surface::Impl {
    D3DSURFACE_DESC desc;
    std::uint32_t bytesPerPixel = 0;
    std::int32_t pitch = 0;         // bytes
    std::vector<std::uint8_t> bits; // empty for depth surfaces, which hold no data
    bool locked = false;
    bool lockReadOnly = false;
    RECT lockRect;
    Texture::Impl* container = nullptr; // set for the levels of a texture
    UINT level = 0;

    bool IsRenderTarget() const { return (desc.Usage & D3DUSAGE_RENDERTARGET) != 0 && !bits.empty(); }
    TargetView Target();
};

struct Texture::Impl {
    std::weak_ptr<Texture> self;
    std::vector<std::unique_ptr<Surface>> levels;
    // Level 0 as A8R8G8B8 for formats the sampler cannot read in place (all but the two
    // 32-bit ones); refreshed when level 0 is unlocked.
    std::vector<std::uint32_t> decoded;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD usage = 0;

    TextureView View() const;
    void RefreshDecoded(const RECT& rect);
};

struct VertexBuffer::Impl {
    std::vector<std::uint8_t> data;
    DWORD usage = 0;
    DWORD fvf = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    bool locked = false;
};

struct IndexBuffer::Impl {
    std::vector<std::uint8_t> data;
    DWORD usage = 0;
    D3DFORMAT format = D3DFMT_INDEX16;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    bool locked = false;
};

struct Device::Impl {
    bool real = false; // made by CreateDevice (a wrapping double's own base stays unused)
    D3DPRESENT_PARAMETERS params;
    SurfacePtr backBuffer;
    SurfacePtr autoDepth;
    SurfacePtr renderTarget;
    SurfacePtr depthStencil;
    std::array<DWORD, RenderStateCount> renderStates{};
    std::array<std::array<DWORD, TextureStageStateCount>, MaxTextureStages> stageStates{};
    std::array<std::array<DWORD, SamplerStateCount>, MaxTextureStages> samplerStates{};
    std::array<TexturePtr, MaxTextureStages> textures;
    VertexBufferPtr stream;
    UINT streamOffset = 0;
    UINT streamStride = 0;
    IndexBufferPtr indices;
    DWORD fvf = 0;
    bool inScene = false;
    bool lost = false;
    // Default-pool resources handed out; Reset refuses while any is referenced from outside.
    std::vector<std::weak_ptr<void>> defaultPool;
    std::vector<RasterVertex> scratch;         // vertices of the current draw, in primitive order
    RasterOptions rasterOptions{.threads = 0}; // the process's thread count unless set here

    void SetDefaultStates();
};

} // namespace vorn::sd
