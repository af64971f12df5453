// Reading a render target of a headless device back to the host for pixel checks.
// Texels come out as 0xAARRGGBB values, rows top first, without padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/DXTextures.h"
#include "engine/soft/SoftDevice.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"

namespace vorn::test {

// Level 0 of target copied through an offscreen system-memory surface. On failure the result
// is empty and *failure (when given) names the step that failed.
inline std::vector<std::uint32_t> ReadTarget(TVornDevice& device, const TRenderTarget& target,
                                             std::string* failure = nullptr) {
    std::vector<std::uint32_t> texels;
    auto fail = [&](const char* what) {
        if (failure) *failure = what;
        return std::vector<std::uint32_t>();
    };
    sd::Device* d3d = device.D3DDevice();
    sd::SurfacePtr level;
    sd::SurfacePtr copy;
    if (!target.Texture() || sd::Failed(target.Texture()->GetSurfaceLevel(0, &level)))
        return fail("no level 0");
    const auto width = static_cast<sd::UINT>(target.Width());
    const auto height = static_cast<sd::UINT>(target.Height());
    if (!d3d ||
        sd::Failed(d3d->CreateOffscreenPlainSurface(width, height, sd::D3DFMT_A8R8G8B8, sd::D3DPOOL_SYSTEMMEM,
                                                    &copy)) ||
        sd::Failed(d3d->GetRenderTargetData(level.get(), copy.get())))
        return fail("read-back failed");
    sd::D3DLOCKED_RECT locked;
    if (sd::Failed(copy->LockRect(&locked, nullptr, sd::D3DLOCK_READONLY))) return fail("lock failed");
    texels.reserve(std::size_t(width) * height);
    for (sd::UINT y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(
            static_cast<const std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch);
        texels.insert(texels.end(), row, row + width);
    }
    copy->UnlockRect();
    return texels;
}

} // namespace vorn::test
