// Private state of the software device: bindings, states and the resources it handed out. It
// brings the other handles' private headers along, so the layer's tests and benches reach every
// handle's state through this one include.
#pragma once

#include "engine/soft/SoftBufferImpl.h"
#include "engine/soft/SoftDevice.h"
#include "engine/soft/SoftRaster.h"
#include "engine/soft/SoftSurfaceImpl.h"
#include "engine/soft/SoftTextureImpl.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace vorn::sd {

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

// Refuses present parameters the layer cannot honour.
HRESULT CheckPresentParams(const D3DPRESENT_PARAMETERS* p);
// (Re)creates the back buffer and the automatic depth surface and binds them.
HRESULT BuildSwapChain(Device::Impl& d, const D3DPRESENT_PARAMETERS& params);

} // namespace vorn::sd
