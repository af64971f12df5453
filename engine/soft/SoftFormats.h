// The formats the software device implements and the desktop it reports, shared by its surfaces,
// textures, device and Direct3D object. Texel sizes and layouts come from the engine's texel
// formats, the one table of them (VornTexels).
#pragma once

#include "engine/soft/SoftDevice.h"
#include "pixel/VornTexels.h"

#include <cstdint>

namespace vorn::sd {

// The desktop the layer reports; its format is also the back buffer's when none is asked for.
inline constexpr D3DDISPLAYMODE DesktopMode{1920, 1080, 60, D3DFMT_A8R8G8B8};

inline bool IsTargetFormat(D3DFORMAT f) {
    return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8;
}
inline bool IsDepthFormat(D3DFORMAT f) {
    return f == D3DFMT_D32 || f == D3DFMT_D15S1 || f == D3DFMT_D24S8 || f == D3DFMT_D24X8 ||
           f == D3DFMT_D24X4S4 || f == D3DFMT_D16;
}

// Bytes per texel of the texture formats the layer implements; 0 for any other.
inline std::uint32_t BytesPerPixel(D3DFORMAT f) {
    return static_cast<std::uint32_t>(BytesPerTexel(TexelFormatOf(f)));
}

// Textures other than the 32-bit ones are sampled from an A8R8G8B8 copy unpacked by RowToArgb.
inline bool NeedsDecodedCopy(D3DFORMAT f) {
    return f != D3DFMT_A8R8G8B8 && f != D3DFMT_X8R8G8B8;
}

} // namespace vorn::sd
