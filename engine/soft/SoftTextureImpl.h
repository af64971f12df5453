// Private state of a software texture. It owns its level surfaces and hands them out as aliasing
// shared_ptrs, so a level surface keeps its texture alive as a COM reference would.
#pragma once

#include "engine/soft/SoftDevice.h"
#include "engine/soft/SoftRaster.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vorn::sd {

struct Texture::Impl {
    std::weak_ptr<Texture> self;
    std::vector<std::unique_ptr<Surface>> levels;
    // Level 0 as A8R8G8B8 for formats the sampler cannot read in place (all but the two
    // 32-bit ones); refreshed when level 0 is unlocked.
    std::vector<std::uint32_t> decoded;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD usage = 0;

    // The texels as the sampler reads them; with the alpha spans of their rows and whether they
    // are symmetric left to right and top to bottom, unless the texture is a render target.
    TextureView View();
    // Level 0 was written in rect: the decoded copy follows and the alpha spans are found again.
    void Level0Changed(const RECT& rect);
    void RefreshDecoded(const RECT& rect);

private:
    std::vector<TexelRowSpan> m_alphaRows;
    bool m_mirroredX = false, m_mirroredY = false;
    bool m_alphaRowsKnown = false;
};

} // namespace vorn::sd
