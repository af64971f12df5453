#include "engine/DXTextures.h"

#include <algorithm>
#include <span>

#include "engine/VornDevices.h"

namespace vorn {

namespace {

using namespace sd;

constexpr D3DFORMAT NoneLow[] = {D3DFMT_R3G3B2, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4,
                                 D3DFMT_X8R8G8B8};
constexpr D3DFORMAT NoneMedium[] = {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4,
                                    D3DFMT_R3G3B2};
constexpr D3DFORMAT NoneHigh[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4,
                                  D3DFMT_R3G3B2};
constexpr D3DFORMAT Mask[] = {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_A8R3G3B2};
constexpr D3DFORMAT FullLow[] = {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A8R3G3B2};
constexpr D3DFORMAT FullMedium[] = {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_A8R3G3B2, D3DFMT_A1R5G5B5};
constexpr D3DFORMAT FullHigh[] = {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_A1R5G5B5};
constexpr D3DFORMAT Exclusive[] = {D3DFMT_A8, D3DFMT_A8R3G3B2, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4,
                                   D3DFMT_A1R5G5B5};

std::span<const D3DFORMAT> PreferenceList(TVornQuality quality, TAlphaLevel alphaLevel) {
    switch (alphaLevel) {
    case alNone:
        return quality == aqLow      ? std::span<const D3DFORMAT>(NoneLow)
               : quality == aqMedium ? std::span<const D3DFORMAT>(NoneMedium)
                                     : std::span<const D3DFORMAT>(NoneHigh);
    case alMask:
        return Mask;
    case alFull:
        return quality == aqLow      ? std::span<const D3DFORMAT>(FullLow)
               : quality == aqMedium ? std::span<const D3DFORMAT>(FullMedium)
                                     : std::span<const D3DFORMAT>(FullHigh);
    case alExclusive:
        return Exclusive;
    }
    return {};
}

DWORD LockFlags(TLockAccess access, bool discard) {
    switch (access) {
    case laRead:
        return D3DLOCK_READONLY;
    case laWrite:
        return discard ? D3DLOCK_DISCARD : 0;
    default:
        return 0;
    }
}

// A rectangle with at least one texel, inside a width x height level.
bool RectInside(const RECT& rect, std::int32_t width, std::int32_t height) {
    return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
           rect.right <= width && rect.bottom <= height;
}

bool LockLevel0(Texture* texture, const RECT* rect, DWORD flags, D3DFORMAT format, TLockedTexels& info) {
    if (!texture) return false;
    D3DLOCKED_RECT locked;
    if (Failed(texture->LockRect(0, &locked, rect, flags)) || !locked.pBits) return false;
    info.Bits = locked.pBits;
    info.Pitch = locked.Pitch;
    info.Format = TexelFormatOf(format);
    return true;
}

} // namespace

D3DFORMAT ChooseTextureFormat(const TVornDevice* device, TVornQuality quality, TAlphaLevel alphaLevel,
                              std::uint32_t usage) {
    if (!device || !device->D3D()) return D3DFMT_UNKNOWN;
    Direct3D* d3d = device->D3D();
    const D3DFORMAT adapterFormat = device->PresentParams().BackBufferFormat;
    for (D3DFORMAT format : PreferenceList(quality, alphaLevel)) {
        if (Succeeded(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, adapterFormat, usage,
                                             D3DRTYPE_TEXTURE, format)))
            return format;
    }
    return D3DFMT_UNKNOWN;
}

// ---- TDXBaseTexture ----

TDXBaseTexture::TDXBaseTexture(TVornDevice* device, TTextureKind kind) : m_device(device), m_kind(kind) {}

TDXBaseTexture::~TDXBaseTexture() = default;

void TDXBaseTexture::SetWidth(std::int32_t value) {
    if (m_state == tsNone) m_width = value;
}

void TDXBaseTexture::SetHeight(std::int32_t value) {
    if (m_state == tsNone) m_height = value;
}

void TDXBaseTexture::SetSize(std::int32_t width, std::int32_t height) {
    SetWidth(width);
    SetHeight(height);
}

void TDXBaseTexture::SetMipmapping(bool value) {
    if (m_state == tsNone) m_mipmapping = value;
}

void TDXBaseTexture::SetFormat(D3DFORMAT value) {
    if (m_state == tsNone) m_format = value;
}

sd::Device* TDXBaseTexture::D3DDevice() const {
    return m_device ? m_device->D3DDevice() : nullptr;
}

void TDXBaseTexture::ChangeState(TTextureState target) {
    switch (target) {
    case tsReady:
        if (m_state == tsNone) {
            if (!Prepare()) break;
            if (CreateResources())
                m_state = tsReady;
            else
                ReleaseResources(); // whatever part was made
        } else if (m_state == tsLost || m_state == tsFailed) {
            if (CreateResources()) {
                m_state = tsReady;
            } else {
                ReleaseResources();
                m_state = tsFailed;
            }
        }
        break;
    case tsNone:
        if (m_state == tsReady) ReleaseResources();
        m_state = tsNone;
        break;
    case tsLost:
        if (m_state == tsReady && m_kind != tkManaged) {
            ReleaseResources();
            m_state = tsLost;
        }
        break;
    case tsFailed:
        break;
    }
}

bool TDXBaseTexture::Prepare() {
    return true;
}

// ---- TDXMonoTexture ----

TDXMonoTexture::TDXMonoTexture(TVornDevice* device, TTextureKind kind) : TDXBaseTexture(device, kind) {}

TDXMonoTexture::~TDXMonoTexture() {
    ChangeState(tsNone);
}

std::uint32_t TDXMonoTexture::GetUsage() const {
    DWORD usage = Mipmapping() ? D3DUSAGE_AUTOGENMIPMAP : 0;
    if (Kind() == tkDynamic) usage |= D3DUSAGE_DYNAMIC;
    if (Kind() == tkRenderTarget) usage |= D3DUSAGE_RENDERTARGET;
    return usage;
}

bool TDXMonoTexture::CreateResources() {
    sd::Device* device = D3DDevice();
    if (!device || Width() < 1 || Height() < 1) return false;
    m_texture.reset();
    const D3DPOOL pool = Kind() == tkManaged ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
    TexturePtr texture;
    if (Failed(device->CreateTexture(static_cast<UINT>(Width()), static_cast<UINT>(Height()),
                                     Mipmapping() ? 0 : 1, GetUsage(), Format(), pool, &texture)) ||
        !texture)
        return false;
    m_texture = std::move(texture);
    return true;
}

void TDXMonoTexture::ReleaseResources() {
    m_texture.reset();
}

bool TDXMonoTexture::Bind(std::uint32_t stage, std::int32_t subTexture) {
    sd::Device* device = D3DDevice();
    if (subTexture != 0 || !m_texture || !device) return false;
    return Succeeded(device->SetTexture(stage, m_texture));
}

bool TDXMonoTexture::Lock(std::int32_t subTexture, TLockAccess access, TLockedTexels& info) {
    if (subTexture != 0) return false;
    return LockLevel0(m_texture.get(), nullptr, LockFlags(access, Kind() == tkDynamic), Format(), info);
}

bool TDXMonoTexture::LockRegion(std::int32_t subTexture, const RECT& rect, TLockedTexels& info,
                                TLockAccess access) {
    if (subTexture != 0 || !RectInside(rect, Width(), Height())) return false;
    return LockLevel0(m_texture.get(), &rect, LockFlags(access, Kind() == tkDynamic), Format(), info);
}

bool TDXMonoTexture::Unlock(std::int32_t subTexture) {
    if (subTexture != 0 || !m_texture) return false;
    return Succeeded(m_texture->UnlockRect(0));
}

// ---- TRenderTarget ----

TRenderTarget::TRenderTarget(TVornDevice* device) : TDXMonoTexture(device, tkRenderTarget) {
    SetMipmapping(false);
}

TRenderTarget::~TRenderTarget() {
    ChangeState(tsNone);
}

void TRenderTarget::SetDepthStencil(bool value) {
    if (State() == tsNone) m_depthStencil = value;
}

bool TRenderTarget::Prepare() {
    if (m_backBufferFormat)
        SetFormat(Device() ? Device()->PresentParams().BackBufferFormat : D3DFMT_UNKNOWN);
    else
        SetFormat(ChooseTextureFormat(Device(), m_quality, m_alphaLevel, GetUsage()));
    return Format() != D3DFMT_UNKNOWN;
}

bool TRenderTarget::CreateResources() {
    if (!TDXMonoTexture::CreateResources()) return false;
    if (!m_depthStencil) return true;
    const D3DPRESENT_PARAMETERS& params = Device()->PresentParams();
    SurfacePtr depth;
    if (Failed(D3DDevice()->CreateDepthStencilSurface(static_cast<UINT>(Width()), static_cast<UINT>(Height()),
                                                      params.AutoDepthStencilFormat, params.MultiSampleType,
                                                      params.MultiSampleQuality, true, &depth)) ||
        !depth)
        return false;
    m_depthSurface = std::move(depth);
    return true;
}

void TRenderTarget::ReleaseResources() {
    // A target still bound would keep its texture alive inside the device; put the previous
    // binding back first.
    Deactivate();
    m_depthSurface.reset();
    TDXMonoTexture::ReleaseResources();
}

bool TRenderTarget::Activate() {
    sd::Device* device = D3DDevice();
    if (State() != tsReady || !m_texture || !device || Active()) return false;
    SurfacePtr level0;
    if (Failed(m_texture->GetSurfaceLevel(0, &level0)) || !level0) return false;
    SurfacePtr savedTarget;
    if (Failed(device->GetRenderTarget(0, &savedTarget)) || !savedTarget) return false;
    SurfacePtr savedDepth;
    if (m_depthStencil && Failed(device->GetDepthStencilSurface(&savedDepth))) return false;

    if (Failed(device->SetRenderTarget(0, level0))) return false;
    if (m_depthStencil && Failed(device->SetDepthStencilSurface(m_depthSurface))) {
        device->SetRenderTarget(0, savedTarget);
        return false;
    }
    m_savedTarget = std::move(savedTarget);
    m_savedDepth = std::move(savedDepth);
    return true;
}

void TRenderTarget::Deactivate() {
    sd::Device* device = D3DDevice();
    if (m_savedTarget) {
        if (device) device->SetRenderTarget(0, m_savedTarget);
        m_savedTarget.reset();
    }
    if (m_savedDepth) {
        if (device) device->SetDepthStencilSurface(m_savedDepth);
        m_savedDepth.reset();
    }
}

// ---- TDXMultiTexture ----

TDXMultiTexture::TDXMultiTexture(TVornDevice* device) : TDXBaseTexture(device, tkManaged) {}

TDXMultiTexture::~TDXMultiTexture() {
    ChangeState(tsNone);
}

void TDXMultiTexture::SetTextureCount(std::int32_t value) {
    if (State() == tsNone) m_textureCount = std::max(value, 0);
}

TexturePtr TDXMultiTexture::Texture(std::int32_t n) const {
    if (n < 0 || n >= static_cast<std::int32_t>(m_textures.size())) return nullptr;
    return m_textures[static_cast<std::size_t>(n)];
}

std::uint32_t TDXMultiTexture::GetUsage() const {
    return Mipmapping() ? D3DUSAGE_AUTOGENMIPMAP : 0;
}

bool TDXMultiTexture::CreateResources() {
    sd::Device* device = D3DDevice();
    if (!device) return false;
    m_textures.assign(static_cast<std::size_t>(m_textureCount), nullptr);
    for (TexturePtr& texture : m_textures) {
        if (Width() < 1 || Height() < 1 ||
            Failed(device->CreateTexture(static_cast<UINT>(Width()), static_cast<UINT>(Height()),
                                         Mipmapping() ? 0 : 1, GetUsage(), Format(), D3DPOOL_MANAGED,
                                         &texture)) ||
            !texture) {
            m_textures.clear();
            return false;
        }
    }
    return true;
}

void TDXMultiTexture::ReleaseResources() {
    m_textures.clear();
}

bool TDXMultiTexture::Bind(std::uint32_t stage, std::int32_t subTexture) {
    sd::Device* device = D3DDevice();
    const TexturePtr texture = Texture(subTexture);
    if (!texture || !device) return false;
    return Succeeded(device->SetTexture(stage, texture));
}

bool TDXMultiTexture::Lock(std::int32_t subTexture, TLockAccess access, TLockedTexels& info) {
    return LockLevel0(Texture(subTexture).get(), nullptr, LockFlags(access, false), Format(), info);
}

bool TDXMultiTexture::LockRegion(std::int32_t subTexture, const RECT& rect, TLockedTexels& info,
                                 TLockAccess access) {
    if (!RectInside(rect, Width(), Height())) return false;
    return LockLevel0(Texture(subTexture).get(), &rect, LockFlags(access, false), Format(), info);
}

bool TDXMultiTexture::Unlock(std::int32_t subTexture) {
    const TexturePtr texture = Texture(subTexture);
    return texture && Succeeded(texture->UnlockRect(0));
}

} // namespace vorn
