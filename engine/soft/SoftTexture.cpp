// Textures of the software device: a chain of level surfaces, and for the formats the sampler
// cannot read in place an A8R8G8B8 copy of level 0 kept up to date on unlock.
#include "engine/soft/SoftDevice.h"

#include "engine/soft/SoftFormats.h"
#include "engine/soft/SoftSurfaceImpl.h"
#include "engine/soft/SoftTextureImpl.h"
#include "pixel/VornTexels.h"

#include <memory>

namespace vorn::sd {

TextureView Texture::Impl::View() {
    Surface::Impl& level0 = *levels.front()->impl();
    TextureView v;
    v.width = static_cast<std::int32_t>(level0.desc.Width);
    v.height = static_cast<std::int32_t>(level0.desc.Height);
    if (NeedsDecodedCopy(format)) {
        v.texels = decoded.data();
        v.pitch = v.width;
    } else {
        v.texels = reinterpret_cast<const std::uint32_t*>(level0.Bits());
        v.pitch = level0.pitch / 4;
    }
    if (usage & D3DUSAGE_RENDERTARGET) return v;
    if (!m_alphaRowsKnown) {
        m_alphaRows = FindAlphaRows(v);
        m_mirroredX = MirroredInX(v);
        m_mirroredY = MirroredInY(v);
        m_alphaRowsKnown = true;
    }
    v.alphaRows = m_alphaRows.data();
    v.mirroredX = m_mirroredX;
    v.mirroredY = m_mirroredY;
    return v;
}

void Texture::Impl::Level0Changed(const RECT& rect) {
    m_alphaRowsKnown = false;
    RefreshDecoded(rect);
}

void Texture::Impl::RefreshDecoded(const RECT& rect) {
    if (!NeedsDecodedCopy(format)) return;
    Surface::Impl& level0 = *levels.front()->impl();
    const std::size_t width = level0.desc.Width;
    const std::uint8_t* const bits = level0.Bits();
    for (std::int32_t y = rect.top; y < rect.bottom; ++y)
        RowToArgb(bits + std::size_t(y) * level0.pitch + std::size_t(rect.left) * level0.bytesPerPixel,
                  decoded.data() + std::size_t(y) * width + std::size_t(rect.left), rect.right - rect.left,
                  TexelFormatOf(format));
}

Texture::Texture(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Texture::~Texture() = default;

UINT Texture::GetLevelCount() const {
    return static_cast<UINT>(m_impl->levels.size());
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) const {
    if (level >= m_impl->levels.size()) return D3DERR_INVALIDCALL;
    return m_impl->levels[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, SurfacePtr* surface) const {
    if (!surface || level >= m_impl->levels.size()) return D3DERR_INVALIDCALL;
    std::shared_ptr<Texture> owner = m_impl->self.lock();
    if (!owner) return D3DERR_INVALIDCALL;
    // Aliasing: the level surface shares the texture's lifetime.
    *surface = SurfacePtr(owner, m_impl->levels[level].get());
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= m_impl->levels.size()) return D3DERR_INVALIDCALL;
    return m_impl->levels[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= m_impl->levels.size()) return D3DERR_INVALIDCALL;
    return m_impl->levels[level]->UnlockRect();
}

} // namespace vorn::sd
