// Private state of a software surface: its pixel memory, owned by the surface that shows it, and
// its lock. A texture's level surfaces point back at the texture so that unlocking level 0
// refreshes its decoded copy. The memory starts as zero pages of the system and stays untouched
// until someone asks for the bits, so a surface nobody draws into costs no memory traffic.
#pragma once

#include "engine/soft/SoftDevice.h"
#include "engine/soft/SoftMemory.h"
#include "engine/soft/SoftRaster.h"

#include <cstdint>
#include <memory>

namespace vorn::sd {

struct Surface::Impl {
    D3DSURFACE_DESC desc;
    std::uint32_t bytesPerPixel = 0;
    std::int32_t pitch = 0; // bytes
    bool locked = false;
    bool lockReadOnly = false;
    RECT lockRect;
    Texture::Impl* container = nullptr; // set for the levels of a texture
    UINT level = 0;

    bool HasBits() const { return !memory.empty(); }
    bool IsRenderTarget() const { return (desc.Usage & D3DUSAGE_RENDERTARGET) != 0 && HasBits(); }
    // The pixel memory, for reading or writing. The first call sets the filler byte of
    // X8R8G8B8 texels to 0xFF, which the surface reads as from its creation on.
    std::uint8_t* Bits();
    // Whether the memory is still all zero bytes because nobody has asked for it.
    bool Untouched() const { return !touched; }
    TargetView Target();

private:
    ZeroedMemory memory; // empty for depth surfaces, which hold no data
    bool touched = false;

    friend std::unique_ptr<Surface> MakeSurface(UINT, UINT, D3DFORMAT, DWORD, D3DPOOL, D3DRESOURCETYPE);
};

// A new surface with zeroed memory (none for depth surfaces); throws std::bad_alloc when memory
// runs out, which the device turns into E_OUTOFMEMORY.
std::unique_ptr<Surface> MakeSurface(UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool,
                                     D3DRESOURCETYPE type);

} // namespace vorn::sd
