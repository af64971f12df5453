// Surfaces of the software device: the pixel memory behind back buffers, depth surfaces,
// off-screen surfaces and texture levels, and its locking.
#include "engine/soft/SoftDevice.h"

#include "engine/soft/SoftFormats.h"
#include "engine/soft/SoftSurfaceImpl.h"
#include "engine/soft/SoftTextureImpl.h"

#include <memory>

namespace vorn::sd {

namespace {

bool ValidRect(const RECT& r, UINT width, UINT height) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && UINT(r.right) <= width &&
           UINT(r.bottom) <= height;
}

} // namespace

std::unique_ptr<Surface> MakeSurface(UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool,
                                     D3DRESOURCETYPE type) {
    auto impl = std::make_unique<Surface::Impl>();
    impl->desc.Format = format;
    impl->desc.Type = type;
    impl->desc.Usage = usage;
    impl->desc.Pool = pool;
    impl->desc.Width = width;
    impl->desc.Height = height;
    if (!IsDepthFormat(format)) {
        impl->bytesPerPixel = BytesPerPixel(format);
        impl->pitch = static_cast<std::int32_t>((width * impl->bytesPerPixel + 3) & ~3u);
        impl->memory = ZeroedMemory(std::size_t(impl->pitch) * height);
    }
    return std::make_unique<Surface>(std::move(impl));
}

std::uint8_t* Surface::Impl::Bits() {
    std::uint8_t* const bits = memory.data();
    if (!touched && bits && desc.Format == D3DFMT_X8R8G8B8) {
        // The filler byte always reads as opaque alpha.
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x) bits[std::size_t(y) * pitch + x * 4 + 3] = 0xFF;
    }
    touched = true;
    return bits;
}

TargetView Surface::Impl::Target() {
    TargetView t;
    t.bits = Bits();
    t.pitch = pitch;
    t.width = static_cast<std::int32_t>(desc.Width);
    t.height = static_cast<std::int32_t>(desc.Height);
    t.opaqueAlpha = desc.Format == D3DFMT_X8R8G8B8;
    return t;
}

Surface::Surface(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Surface::~Surface() = default;

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) const {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = m_impl->desc;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    Impl& s = *m_impl;
    if (!locked || s.locked || !s.HasBits()) return D3DERR_INVALIDCALL;
    RECT r{0, 0, std::int32_t(s.desc.Width), std::int32_t(s.desc.Height)};
    if (rect) {
        if (!ValidRect(*rect, s.desc.Width, s.desc.Height)) return D3DERR_INVALIDCALL;
        r = *rect;
    }
    s.locked = true;
    s.lockReadOnly = (flags & D3DLOCK_READONLY) != 0;
    s.lockRect = r;
    locked->Pitch = s.pitch;
    locked->pBits = s.Bits() + std::size_t(r.top) * s.pitch + std::size_t(r.left) * s.bytesPerPixel;
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
    Impl& s = *m_impl;
    if (!s.locked) return D3DERR_INVALIDCALL;
    s.locked = false;
    if (s.lockReadOnly) return D3D_OK;
    if (s.desc.Format == D3DFMT_X8R8G8B8) {
        // The filler byte of X8R8G8B8 always reads as opaque alpha.
        std::uint8_t* const bits = s.Bits();
        for (std::int32_t y = s.lockRect.top; y < s.lockRect.bottom; ++y)
            for (std::int32_t x = s.lockRect.left; x < s.lockRect.right; ++x)
                bits[std::size_t(y) * s.pitch + std::size_t(x) * 4 + 3] = 0xFF;
    }
    if (s.container && s.level == 0) s.container->Level0Changed(s.lockRect);
    return D3D_OK;
}

} // namespace vorn::sd
