// The software device: render, stage and sampler states, resource creation, reset and present,
// and the indexed draw call that fetches vertices and hands primitives to the rasteriser.
#include "engine/soft/SoftDevice.h"

#include "engine/soft/SoftDeviceImpl.h"
#include "engine/soft/SoftFormats.h"
#include "engine/soft/SoftRaster.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vorn::sd {

namespace {

constexpr UINT MaxSurfaceSize = 8192;
constexpr UINT MaxBufferBytes = 256u << 20;
constexpr UINT VertexSize = 28; // FVF_CANVAS: X, Y, Z, RHW, diffuse, U, V

template <class A, class B> bool SameObject(const std::shared_ptr<A>& a, const std::shared_ptr<B>& b) {
    return a && b && !a.owner_before(b) && !b.owner_before(a);
}

} // namespace

HRESULT CheckPresentParams(const D3DPRESENT_PARAMETERS* p) {
    if (!p) return D3DERR_INVALIDCALL;
    if (p->BackBufferWidth == 0 || p->BackBufferHeight == 0 || p->BackBufferWidth > MaxSurfaceSize ||
        p->BackBufferHeight > MaxSurfaceSize)
        return D3DERR_INVALIDCALL;
    if (p->BackBufferFormat != D3DFMT_UNKNOWN && !IsTargetFormat(p->BackBufferFormat))
        return D3DERR_INVALIDCALL;
    if (!p->Windowed && p->BackBufferFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
    if (p->MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    if (p->EnableAutoDepthStencil && !IsDepthFormat(p->AutoDepthStencilFormat)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

void Device::Impl::SetDefaultStates() {
    renderStates.fill(0);
    auto& rs = renderStates;
    rs[D3DRS_ZENABLE] = params.EnableAutoDepthStencil ? 1 : 0;
    rs[D3DRS_FILLMODE] = 3; // solid
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = 1;
    rs[D3DRS_ALPHATESTENABLE] = 0;
    rs[D3DRS_LASTPIXEL] = 1;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAREF] = 0;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_DITHERENABLE] = 0;
    rs[D3DRS_ALPHABLENDENABLE] = 0;
    rs[D3DRS_FOGENABLE] = 0;
    rs[D3DRS_SPECULARENABLE] = 0;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs[D3DRS_LIGHTING] = 1;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_SEPARATEALPHABLENDENABLE] = 0;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
    for (UINT stage = 0; stage < MaxTextureStages; ++stage) {
        auto& ts = stageStates[stage];
        ts.fill(0);
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = stage;
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        auto& ss = samplerStates[stage];
        ss.fill(0);
        ss[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_BORDERCOLOR] = 0;
        ss[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[10] = 1; // D3DSAMP_MAXANISOTROPY
    }
}

Device::Device() : m_impl(std::make_unique<Impl>()) {
    m_impl->SetDefaultStates();
}
Device::~Device() = default;

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    caps->MaxTextureWidth = MaxSurfaceSize;
    caps->MaxTextureHeight = MaxSurfaceSize;
    caps->MaxSimultaneousTextures = 1;
    caps->MaxPrimitiveCount = 0x00FFFFFF;
    caps->MaxVertexIndex = 0x00FFFFFF;
    return D3D_OK;
}

HRESULT Device::TestCooperativeLevel() {
    return m_impl->lost ? D3DERR_DEVICENOTRESET : D3D_OK;
}

// (Re)creates the back buffer and the automatic depth surface and binds them.
HRESULT BuildSwapChain(Device::Impl& d, const D3DPRESENT_PARAMETERS& params) {
    D3DPRESENT_PARAMETERS p = params;
    if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = DesktopMode.Format;
    std::unique_ptr<Surface> back;
    std::unique_ptr<Surface> depth;
    try {
        back = MakeSurface(p.BackBufferWidth, p.BackBufferHeight, p.BackBufferFormat, D3DUSAGE_RENDERTARGET,
                           D3DPOOL_DEFAULT, D3DRTYPE_SURFACE);
        if (p.EnableAutoDepthStencil)
            depth = MakeSurface(p.BackBufferWidth, p.BackBufferHeight, p.AutoDepthStencilFormat,
                                D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, D3DRTYPE_SURFACE);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    d.params = p;
    d.backBuffer = std::move(back);
    d.autoDepth = std::move(depth);
    d.renderTarget = d.backBuffer;
    d.depthStencil = d.autoDepth;
    return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* params) {
    Impl& d = *m_impl;
    if (!d.real) return D3DERR_INVALIDCALL;
    if (Failed(CheckPresentParams(params))) {
        d.lost = true;
        return D3DERR_INVALIDCALL;
    }
    // References the device itself holds through its bindings do not count.
    for (const std::weak_ptr<void>& weak : d.defaultPool) {
        const std::shared_ptr<void> resource = weak.lock();
        if (!resource) continue;
        long held = resource.use_count() - 1;
        for (const TexturePtr& t : d.textures) held -= SameObject(t, resource) ? 1 : 0;
        held -= SameObject(d.renderTarget, resource) ? 1 : 0;
        held -= SameObject(d.depthStencil, resource) ? 1 : 0;
        held -= SameObject(d.stream, resource) ? 1 : 0;
        held -= SameObject(d.indices, resource) ? 1 : 0;
        if (held > 0) {
            d.lost = true; // a refused reset leaves the device lost, as Direct3D 9 does
            return D3DERR_INVALIDCALL;
        }
    }
    d.defaultPool.clear();
    d.textures.fill(nullptr);
    d.stream.reset();
    d.indices.reset();
    d.renderTarget.reset();
    d.depthStencil.reset();
    d.backBuffer.reset();
    d.autoDepth.reset();
    d.inScene = false;
    d.fvf = 0;
    const HRESULT hr = BuildSwapChain(d, *params);
    if (Failed(hr)) {
        d.lost = true;
        return hr;
    }
    d.SetDefaultStates();
    d.lost = false;
    return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HostSink* overrideWindow, const void*) {
    Impl& d = *m_impl;
    if (!d.real || !d.backBuffer) return D3DERR_INVALIDCALL;
    if (d.lost) return D3DERR_DEVICELOST;
    if (d.inScene) return D3DERR_INVALIDCALL;
    HostSink* sink = overrideWindow ? overrideWindow : d.params.hDeviceWindow;
    if (sink) {
        Surface::Impl& b = *d.backBuffer->impl();
        sink->PresentImage(reinterpret_cast<const std::uint32_t*>(b.Bits()), std::int32_t(b.desc.Width),
                           std::int32_t(b.desc.Height), b.pitch);
    }
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT index, SurfacePtr* backBuffer) {
    if (!backBuffer || swapChain != 0 || index != 0 || !m_impl->backBuffer) return D3DERR_INVALIDCALL;
    *backBuffer = m_impl->backBuffer;
    return D3D_OK;
}

HRESULT Device::BeginScene() {
    if (m_impl->inScene) return D3DERR_INVALIDCALL;
    m_impl->inScene = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!m_impl->inScene) return D3DERR_INVALIDCALL;
    m_impl->inScene = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float, DWORD) {
    Impl& d = *m_impl;
    if ((count > 0 && !rects) || (flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) == 0)
        return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !d.depthStencil) return D3DERR_INVALIDCALL;
    if (!d.renderTarget) return D3DERR_INVALIDCALL;
    if (d.lost || !(flags & D3DCLEAR_TARGET)) return D3D_OK; // depth surfaces hold nothing to clear
    Surface::Impl& surface = *d.renderTarget->impl();
    // Untouched memory is zero, and the filler byte of X8R8G8B8 reads as 0xFF whatever is stored:
    // clearing to what the surface already holds would only touch its pages.
    const D3DCOLOR stored = surface.desc.Format == D3DFMT_X8R8G8B8 ? color & 0x00FFFFFFu : color;
    if (surface.Untouched() && stored == 0) return D3D_OK;
    const TargetView target = surface.Target();
    if (count == 0) {
        FillRect(target, 0, 0, target.width, target.height, color);
    } else {
        for (DWORD i = 0; i < count; ++i)
            FillRect(target, rects[i].left, rects[i].top, rects[i].right, rects[i].bottom, color);
    }
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= RenderStateCount) return D3DERR_INVALIDCALL;
    m_impl->renderStates[state] = value;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (state >= RenderStateCount || !value) return D3DERR_INVALIDCALL;
    *value = m_impl->renderStates[state];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= MaxTextureStages || type >= TextureStageStateCount) return D3DERR_INVALIDCALL;
    m_impl->stageStates[stage][type] = value;
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (stage >= MaxTextureStages || type >= TextureStageStateCount || !value) return D3DERR_INVALIDCALL;
    *value = m_impl->stageStates[stage][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (sampler >= MaxTextureStages || type >= SamplerStateCount) return D3DERR_INVALIDCALL;
    m_impl->samplerStates[sampler][type] = value;
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    if (sampler >= MaxTextureStages || type >= SamplerStateCount || !value) return D3DERR_INVALIDCALL;
    *value = m_impl->samplerStates[sampler][type];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, TexturePtr texture) {
    if (stage >= MaxTextureStages) return D3DERR_INVALIDCALL;
    m_impl->textures[stage] = std::move(texture);
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, TexturePtr* texture) {
    if (stage >= MaxTextureStages || !texture) return D3DERR_INVALIDCALL;
    *texture = m_impl->textures[stage];
    return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, TexturePtr* texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    texture->reset();
    if (width == 0 || height == 0 || width > MaxSurfaceSize || height > MaxSurfaceSize)
        return D3DERR_INVALIDCALL;
    if (BytesPerPixel(format) == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_DEPTHSTENCIL) return D3DERR_INVALIDCALL;
    const bool renderTarget = (usage & D3DUSAGE_RENDERTARGET) != 0;
    if (renderTarget && (pool != D3DPOOL_DEFAULT || !IsTargetFormat(format))) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    UINT chain = 1;
    for (UINT w = width, h = height; w > 1 || h > 1; w = std::max(w / 2, 1u), h = std::max(h / 2, 1u))
        ++chain;
    if ((usage & D3DUSAGE_AUTOGENMIPMAP) && levels > 1) return D3DERR_INVALIDCALL;
    if (levels > chain) return D3DERR_INVALIDCALL;
    if (levels == 0) levels = chain;
    try {
        auto impl = std::make_unique<Texture::Impl>();
        impl->format = format;
        impl->pool = pool;
        impl->usage = usage;
        Texture::Impl* raw = impl.get();
        for (UINT i = 0, w = width, h = height; i < levels;
             ++i, w = std::max(w / 2, 1u), h = std::max(h / 2, 1u)) {
            impl->levels.push_back(MakeSurface(
                w, h, format, usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC), pool, D3DRTYPE_SURFACE));
            impl->levels.back()->impl()->container = raw;
            impl->levels.back()->impl()->level = i;
        }
        if (NeedsDecodedCopy(format)) {
            impl->decoded.resize(std::size_t(width) * height);
            raw->RefreshDecoded(RECT{0, 0, std::int32_t(width), std::int32_t(height)});
        }
        auto result = std::make_shared<Texture>(std::move(impl));
        result->impl()->self = result;
        if (pool == D3DPOOL_DEFAULT) m_impl->defaultPool.push_back(result);
        *texture = std::move(result);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   VertexBufferPtr* buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    buffer->reset();
    if (length == 0 || length > MaxBufferBytes || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    try {
        auto impl = std::make_unique<VertexBuffer::Impl>();
        impl->data.assign(length, 0);
        impl->usage = usage;
        impl->fvf = fvf;
        impl->pool = pool;
        auto result = std::make_shared<VertexBuffer>(std::move(impl));
        if (pool == D3DPOOL_DEFAULT) m_impl->defaultPool.push_back(result);
        *buffer = std::move(result);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IndexBufferPtr* buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    buffer->reset();
    if (length == 0 || length > MaxBufferBytes || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    try {
        auto impl = std::make_unique<IndexBuffer::Impl>();
        impl->data.assign(length, 0);
        impl->usage = usage;
        impl->format = format;
        impl->pool = pool;
        auto result = std::make_shared<IndexBuffer>(std::move(impl));
        if (pool == D3DPOOL_DEFAULT) m_impl->defaultPool.push_back(result);
        *buffer = std::move(result);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                          D3DMULTISAMPLE_TYPE multiSample, DWORD, bool, SurfacePtr* surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    surface->reset();
    if (width == 0 || height == 0 || width > MaxSurfaceSize || height > MaxSurfaceSize)
        return D3DERR_INVALIDCALL;
    if (!IsDepthFormat(format) || multiSample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    try {
        SurfacePtr result =
            MakeSurface(width, height, format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, D3DRTYPE_SURFACE);
        m_impl->defaultPool.push_back(result);
        *surface = std::move(result);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            SurfacePtr* surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    surface->reset();
    if (width == 0 || height == 0 || width > MaxSurfaceSize || height > MaxSurfaceSize)
        return D3DERR_INVALIDCALL;
    if (BytesPerPixel(format) == 0 || pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH)
        return D3DERR_INVALIDCALL;
    try {
        SurfacePtr result = MakeSurface(width, height, format, 0, pool, D3DRTYPE_SURFACE);
        if (pool == D3DPOOL_DEFAULT) m_impl->defaultPool.push_back(result);
        *surface = std::move(result);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Device::SetRenderTarget(DWORD index, SurfacePtr surface) {
    if (index != 0 || !surface || !surface->impl()->IsRenderTarget()) return D3DERR_INVALIDCALL;
    m_impl->renderTarget = std::move(surface);
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, SurfacePtr* surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    surface->reset();
    if (index != 0) return D3DERR_INVALIDCALL;
    if (!m_impl->renderTarget) return D3DERR_NOTFOUND;
    *surface = m_impl->renderTarget;
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(SurfacePtr surface) {
    if (surface && !(surface->impl()->desc.Usage & D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    m_impl->depthStencil = std::move(surface);
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(SurfacePtr* surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = m_impl->depthStencil;
    return *surface ? D3D_OK : D3DERR_NOTFOUND;
}

HRESULT Device::GetRenderTargetData(Surface* renderTarget, Surface* destSurface) {
    if (!renderTarget || !destSurface) return D3DERR_INVALIDCALL;
    Surface::Impl& src = *renderTarget->impl();
    Surface::Impl& dst = *destSurface->impl();
    if (!src.IsRenderTarget() || dst.desc.Pool != D3DPOOL_SYSTEMMEM || dst.locked || !dst.HasBits())
        return D3DERR_INVALIDCALL;
    if (src.desc.Width != dst.desc.Width || src.desc.Height != dst.desc.Height ||
        src.desc.Format != dst.desc.Format)
        return D3DERR_INVALIDCALL;
    const std::size_t rowBytes = std::size_t(src.desc.Width) * src.bytesPerPixel;
    std::uint8_t* const to = dst.Bits();
    const std::uint8_t* const from = src.Bits();
    for (UINT y = 0; y < src.desc.Height; ++y)
        std::memcpy(to + std::size_t(y) * dst.pitch, from + std::size_t(y) * src.pitch, rowBytes);
    if (dst.container && dst.level == 0)
        dst.container->Level0Changed(RECT{0, 0, std::int32_t(dst.desc.Width), std::int32_t(dst.desc.Height)});
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, VertexBufferPtr buffer, UINT offsetInBytes, UINT stride) {
    if (stream != 0) return D3DERR_INVALIDCALL;
    if (buffer && (stride == 0 || offsetInBytes > buffer->impl()->data.size())) return D3DERR_INVALIDCALL;
    m_impl->stream = std::move(buffer);
    m_impl->streamOffset = offsetInBytes;
    m_impl->streamStride = stride;
    return D3D_OK;
}

HRESULT Device::SetIndices(IndexBufferPtr buffer) {
    m_impl->indices = std::move(buffer);
    return D3D_OK;
}

HRESULT Device::SetVertexShader(const void* shader) {
    return shader ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
    if (fvf != FVF_CANVAS) return D3DERR_INVALIDCALL;
    m_impl->fvf = fvf;
    return D3D_OK;
}

namespace {

DrawState CollectDrawState(Device::Impl& d) {
    const auto& rs = d.renderStates;
    const auto& ts = d.stageStates[0];
    const auto& ss = d.samplerStates[0];
    DrawState st;
    st.target = d.renderTarget->impl()->Target();
    if (const TexturePtr& tex = d.textures[0]) {
        st.hasTexture = true;
        st.texture = tex->impl()->View();
    }
    st.magFilter = ss[D3DSAMP_MAGFILTER];
    st.minFilter = ss[D3DSAMP_MINFILTER];
    st.addressU = ss[D3DSAMP_ADDRESSU];
    st.addressV = ss[D3DSAMP_ADDRESSV];
    st.borderColor = ss[D3DSAMP_BORDERCOLOR];
    st.colorOp = ts[D3DTSS_COLOROP];
    st.colorArg0 = ts[D3DTSS_COLORARG0];
    st.colorArg1 = ts[D3DTSS_COLORARG1];
    st.colorArg2 = ts[D3DTSS_COLORARG2];
    st.alphaOp = ts[D3DTSS_ALPHAOP];
    st.alphaArg0 = ts[D3DTSS_ALPHAARG0];
    st.alphaArg1 = ts[D3DTSS_ALPHAARG1];
    st.alphaArg2 = ts[D3DTSS_ALPHAARG2];
    st.textureFactor = rs[D3DRS_TEXTUREFACTOR];
    st.alphaTest = rs[D3DRS_ALPHATESTENABLE] != 0;
    st.alphaFunc = rs[D3DRS_ALPHAFUNC];
    st.alphaRef = rs[D3DRS_ALPHAREF] & 0xFF;
    st.blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    st.srcBlend = rs[D3DRS_SRCBLEND];
    st.destBlend = rs[D3DRS_DESTBLEND];
    st.blendOp = rs[D3DRS_BLENDOP];
    st.separateAlpha = rs[D3DRS_SEPARATEALPHABLENDENABLE] != 0;
    st.srcBlendAlpha = rs[D3DRS_SRCBLENDALPHA];
    st.destBlendAlpha = rs[D3DRS_DESTBLENDALPHA];
    st.blendOpAlpha = rs[D3DRS_BLENDOPALPHA];
    st.colorWriteMask = rs[D3DRS_COLORWRITEENABLE];
    st.cullMode = rs[D3DRS_CULLMODE];
    st.flatShading = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    st.options = d.rasterOptions;
    return st;
}

RasterVertex ReadVertex(const std::uint8_t* p) {
    RasterVertex v;
    std::memcpy(&v.x, p, 4);
    std::memcpy(&v.y, p + 4, 4);
    std::memcpy(&v.diffuse, p + 16, 4);
    std::memcpy(&v.u, p + 20, 4);
    std::memcpy(&v.v, p + 24, 4);
    return v;
}

} // namespace

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, std::int32_t baseVertexIndex, UINT, UINT,
                                     UINT startIndex, UINT primitiveCount) {
    Impl& d = *m_impl;
    if (!d.inScene || d.fvf != FVF_CANVAS || !d.stream || !d.indices || !d.renderTarget)
        return D3DERR_INVALIDCALL;
    if (d.streamStride < VertexSize) return D3DERR_INVALIDCALL;
    std::uint64_t indexCount = 0;
    switch (type) {
    case D3DPT_TRIANGLELIST:
        indexCount = 3ull * primitiveCount;
        break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        indexCount = primitiveCount + 2ull;
        break;
    case D3DPT_LINELIST:
        indexCount = 2ull * primitiveCount;
        break;
    case D3DPT_LINESTRIP:
        indexCount = primitiveCount + 1ull;
        break;
    default: // point lists are not drawn by this layer
        return D3DERR_INVALIDCALL;
    }
    if (primitiveCount == 0) return D3D_OK;
    const IndexBuffer::Impl& ib = *d.indices->impl();
    const std::uint64_t indexSize = ib.format == D3DFMT_INDEX32 ? 4 : 2;
    if ((std::uint64_t(startIndex) + indexCount) * indexSize > ib.data.size()) return D3DERR_INVALIDCALL;
    const VertexBuffer::Impl& vb = *d.stream->impl();
    const std::uint64_t available = vb.data.size() - d.streamOffset;
    const std::uint64_t vertexCount =
        available < VertexSize ? 0 : (available - VertexSize) / d.streamStride + 1;

    // Fetch every vertex in index order, checking each index against the vertex buffer first.
    auto indexAt = [&](std::uint64_t i) -> std::int64_t {
        const std::uint8_t* p = ib.data.data() + (startIndex + i) * indexSize;
        if (indexSize == 4) {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    };
    for (std::uint64_t i = 0; i < indexCount; ++i) {
        const std::int64_t v = indexAt(i) + baseVertexIndex;
        if (v < 0 || std::uint64_t(v) >= vertexCount) return D3DERR_INVALIDCALL;
    }
    if (d.lost) return D3D_OK;

    const bool lines = type == D3DPT_LINELIST || type == D3DPT_LINESTRIP;
    const std::uint64_t perPrimitive = lines ? 2 : 3;
    // A failure while drawing, on this thread or in a band of the raster pool (rethrown here),
    // is the draw's answer; the pixels drawn by then stay.
    try {
        d.scratch.resize(perPrimitive * primitiveCount);
        auto vertex = [&](std::uint64_t i) {
            const std::int64_t v = indexAt(i) + baseVertexIndex;
            return ReadVertex(vb.data.data() + d.streamOffset + std::uint64_t(v) * d.streamStride);
        };
        for (std::uint64_t p = 0; p < primitiveCount; ++p) {
            RasterVertex* out = d.scratch.data() + perPrimitive * p;
            switch (type) {
            case D3DPT_TRIANGLESTRIP: // odd triangles swap two vertices to keep the winding
                out[0] = vertex(p);
                out[1] = vertex(p % 2 ? p + 2 : p + 1);
                out[2] = vertex(p % 2 ? p + 1 : p + 2);
                break;
            case D3DPT_TRIANGLEFAN:
                out[0] = vertex(0);
                out[1] = vertex(p + 1);
                out[2] = vertex(p + 2);
                break;
            case D3DPT_LINESTRIP:
                out[0] = vertex(p);
                out[1] = vertex(p + 1);
                break;
            default:
                for (std::uint64_t k = 0; k < perPrimitive; ++k) out[k] = vertex(perPrimitive * p + k);
                break;
            }
        }
        const DrawState st = CollectDrawState(d);
        if (lines)
            DrawLines(st, d.scratch.data(), primitiveCount);
        else
            DrawTriangles(st, d.scratch.data(), primitiveCount);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    return D3D_OK;
}

void Device::MakeLost() {
    m_impl->lost = true;
}

} // namespace vorn::sd
