// Private state of a software surface: its pixel memory, owned by the surface that shows it, and
// its lock. A texture's level surfaces point back at the texture so that unlocking level 0
// refreshes its decoded copy.
#pragma once

#include "engine/soft/SoftDevice.h"
#include "engine/soft/SoftRaster.h"

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

// A new surface with zeroed memory (none for depth surfaces); throws std::bad_alloc when memory
// runs out, which the device turns into E_OUTOFMEMORY.
std::unique_ptr<Surface> MakeSurface(UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool,
                                     D3DRESOURCETYPE type);

} // namespace vorn::sd
