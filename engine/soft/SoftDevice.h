// engine/soft: the software device layer. It stands in for the subset of the Direct3D 9
// interface the engine draws through (textures, surfaces, render targets, render, stage and
// sampler states, dynamic vertex and index buffers, DrawIndexedPrimitive, Present), rendered on
// the CPU. Names, arguments and result codes follow Direct3D 9 so the engine above reads like it;
// resources are reference counted with std::shared_ptr (what AddRef/Release do in Direct3D). No
// window and no GPU are needed: Present hands the back buffer to a HostSink, or does nothing else
// when there is none (headless). Files: SoftDevice* (the interface and its objects), SoftRaster*
// (the rasteriser: reference path, span path, SIMD twins); texels are decoded by VornTexels.
//
// Numeric model (stated in full in SoftRaster.h): channels are 8-bit integers and a product of
// two is round(a * b / 255); vertex positions snap to 1/256 pixel and triangle edges are exact
// integer edge functions with a top-left rule; colours and texture coordinates are interpolated
// as integer planes (coordinates in texels * 2^16, 16 more fraction bits), so coplanar triangles
// share their planes; linear filtering weighs four texels with weights rounded to 1/256; every
// path (reference, span, rectangle, SIMD) gives the same bytes. Textures are sampled as
// A8R8G8B8; targets are A8R8G8B8 or X8R8G8B8.
//
// Every call answers with an HRESULT (negative = failure) and never throws, prints or aborts.
// Where the layer is simpler than Direct3D 9: one render target and one texture stage are used,
// depth surfaces hold no data and no depth test is made, every surface with memory can be locked
// (render targets included), draws outside BeginScene/EndScene fail, and while the device is
// lost draws and clears succeed without drawing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/soft/SoftHost.h"

namespace vorn::sd {

using HRESULT = std::int32_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using D3DCOLOR = std::uint32_t; // 0xAARRGGBB

inline constexpr HRESULT D3D_OK = 0;
inline constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
inline constexpr HRESULT D3DERR_INVALIDCALL = HRESULT(0x8876086Cu);
inline constexpr HRESULT D3DERR_NOTAVAILABLE = HRESULT(0x8876086Au);
inline constexpr HRESULT D3DERR_DEVICELOST = HRESULT(0x88760868u);
inline constexpr HRESULT D3DERR_DEVICENOTRESET = HRESULT(0x88760869u);
inline constexpr HRESULT D3DERR_DRIVERINTERNALERROR = HRESULT(0x88760827u);
inline constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = HRESULT(0x8876017Cu);
inline constexpr HRESULT D3DERR_NOTFOUND = HRESULT(0x88760866u);
constexpr bool Succeeded(HRESULT hr) {
    return hr >= 0;
}
constexpr bool Failed(HRESULT hr) {
    return hr < 0;
}

enum D3DFORMAT : std::uint32_t {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_R8G8B8 = 20,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_R5G6B5 = 23,
    D3DFMT_X1R5G5B5 = 24,
    D3DFMT_A1R5G5B5 = 25,
    D3DFMT_A4R4G4B4 = 26,
    D3DFMT_R3G3B2 = 27,
    D3DFMT_A8 = 28,
    D3DFMT_A8R3G3B2 = 29,
    D3DFMT_X4R4G4B4 = 30,
    D3DFMT_D32 = 71,
    D3DFMT_D15S1 = 73,
    D3DFMT_D24S8 = 75,
    D3DFMT_D24X8 = 77,
    D3DFMT_D24X4S4 = 79,
    D3DFMT_D16 = 80,
    D3DFMT_INDEX16 = 101,
    D3DFMT_INDEX32 = 102,
};

enum D3DRENDERSTATETYPE : std::uint32_t {
    D3DRS_ZENABLE = 7,
    D3DRS_FILLMODE = 8,
    D3DRS_SHADEMODE = 9,
    D3DRS_ZWRITEENABLE = 14,
    D3DRS_ALPHATESTENABLE = 15,
    D3DRS_LASTPIXEL = 16,
    D3DRS_SRCBLEND = 19,
    D3DRS_DESTBLEND = 20,
    D3DRS_CULLMODE = 22,
    D3DRS_ZFUNC = 23,
    D3DRS_ALPHAREF = 24,
    D3DRS_ALPHAFUNC = 25,
    D3DRS_DITHERENABLE = 26,
    D3DRS_ALPHABLENDENABLE = 27,
    D3DRS_FOGENABLE = 28,
    D3DRS_SPECULARENABLE = 29,
    D3DRS_TEXTUREFACTOR = 60,
    D3DRS_LIGHTING = 137,
    D3DRS_COLORWRITEENABLE = 168,
    D3DRS_BLENDOP = 171,
    D3DRS_SEPARATEALPHABLENDENABLE = 206,
    D3DRS_SRCBLENDALPHA = 207,
    D3DRS_DESTBLENDALPHA = 208,
    D3DRS_BLENDOPALPHA = 209,
};
inline constexpr UINT RenderStateCount = 256; // states are kept in an array of this size

enum D3DBLEND : std::uint32_t {
    D3DBLEND_ZERO = 1,
    D3DBLEND_ONE = 2,
    D3DBLEND_SRCCOLOR = 3,
    D3DBLEND_INVSRCCOLOR = 4,
    D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6,
    D3DBLEND_DESTALPHA = 7,
    D3DBLEND_INVDESTALPHA = 8,
    D3DBLEND_DESTCOLOR = 9,
    D3DBLEND_INVDESTCOLOR = 10,
    D3DBLEND_SRCALPHASAT = 11,
};

enum D3DBLENDOP : std::uint32_t {
    D3DBLENDOP_ADD = 1,
    D3DBLENDOP_SUBTRACT = 2,
    D3DBLENDOP_REVSUBTRACT = 3,
    D3DBLENDOP_MIN = 4,
    D3DBLENDOP_MAX = 5,
};

enum D3DSHADEMODE : std::uint32_t { D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2 };

enum D3DCULL : std::uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };

enum D3DCMPFUNC : std::uint32_t {
    D3DCMP_NEVER = 1,
    D3DCMP_LESS = 2,
    D3DCMP_EQUAL = 3,
    D3DCMP_LESSEQUAL = 4,
    D3DCMP_GREATER = 5,
    D3DCMP_NOTEQUAL = 6,
    D3DCMP_GREATEREQUAL = 7,
    D3DCMP_ALWAYS = 8,
};

enum D3DTEXTURESTAGESTATETYPE : std::uint32_t {
    D3DTSS_COLOROP = 1,
    D3DTSS_COLORARG1 = 2,
    D3DTSS_COLORARG2 = 3,
    D3DTSS_ALPHAOP = 4,
    D3DTSS_ALPHAARG1 = 5,
    D3DTSS_ALPHAARG2 = 6,
    D3DTSS_TEXCOORDINDEX = 11,
    D3DTSS_TEXTURETRANSFORMFLAGS = 24,
    D3DTSS_COLORARG0 = 26,
    D3DTSS_ALPHAARG0 = 27,
    D3DTSS_RESULTARG = 28,
};
inline constexpr UINT TextureStageStateCount = 33;
inline constexpr UINT MaxTextureStages = 8;

enum D3DTEXTUREOP : std::uint32_t {
    D3DTOP_DISABLE = 1,
    D3DTOP_SELECTARG1 = 2,
    D3DTOP_SELECTARG2 = 3,
    D3DTOP_MODULATE = 4,
    D3DTOP_MODULATE2X = 5,
    D3DTOP_MODULATE4X = 6,
    D3DTOP_ADD = 7,
    D3DTOP_DOTPRODUCT3 = 24,
    D3DTOP_MULTIPLYADD = 25,
};

// Texture arguments (D3DTA_).
inline constexpr DWORD D3DTA_SELECTMASK = 0x0F;
inline constexpr DWORD D3DTA_DIFFUSE = 0x00;
inline constexpr DWORD D3DTA_CURRENT = 0x01;
inline constexpr DWORD D3DTA_TEXTURE = 0x02;
inline constexpr DWORD D3DTA_TFACTOR = 0x03;
inline constexpr DWORD D3DTA_COMPLEMENT = 0x10;
inline constexpr DWORD D3DTA_ALPHAREPLICATE = 0x20;
inline constexpr DWORD D3DTTFF_DISABLE = 0;

enum D3DSAMPLERSTATETYPE : std::uint32_t {
    D3DSAMP_ADDRESSU = 1,
    D3DSAMP_ADDRESSV = 2,
    D3DSAMP_ADDRESSW = 3,
    D3DSAMP_BORDERCOLOR = 4,
    D3DSAMP_MAGFILTER = 5,
    D3DSAMP_MINFILTER = 6,
    D3DSAMP_MIPFILTER = 7,
};
inline constexpr UINT SamplerStateCount = 14;

enum D3DTEXTUREFILTERTYPE : std::uint32_t { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2 };
enum D3DTEXTUREADDRESS : std::uint32_t {
    D3DTADDRESS_WRAP = 1,
    D3DTADDRESS_MIRROR = 2,
    D3DTADDRESS_CLAMP = 3,
    D3DTADDRESS_BORDER = 4,
};

enum D3DPOOL : std::uint32_t {
    D3DPOOL_DEFAULT = 0,
    D3DPOOL_MANAGED = 1,
    D3DPOOL_SYSTEMMEM = 2,
    D3DPOOL_SCRATCH = 3,
};

inline constexpr DWORD D3DUSAGE_RENDERTARGET = 0x00000001;
inline constexpr DWORD D3DUSAGE_DEPTHSTENCIL = 0x00000002;
inline constexpr DWORD D3DUSAGE_WRITEONLY = 0x00000008;
inline constexpr DWORD D3DUSAGE_DYNAMIC = 0x00000200;
inline constexpr DWORD D3DUSAGE_AUTOGENMIPMAP = 0x00000400;

inline constexpr DWORD D3DLOCK_READONLY = 0x00000010;
inline constexpr DWORD D3DLOCK_NOOVERWRITE = 0x00001000;
inline constexpr DWORD D3DLOCK_DISCARD = 0x00002000;

inline constexpr DWORD D3DCLEAR_TARGET = 0x1;
inline constexpr DWORD D3DCLEAR_ZBUFFER = 0x2;
inline constexpr DWORD D3DCLEAR_STENCIL = 0x4;

enum D3DPRIMITIVETYPE : std::uint32_t {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

inline constexpr DWORD D3DFVF_XYZRHW = 0x004;
inline constexpr DWORD D3DFVF_DIFFUSE = 0x040;
inline constexpr DWORD D3DFVF_TEX1 = 0x100;
// The one vertex format the layer draws: X, Y, Z, RHW floats, D3DCOLOR diffuse, U, V floats.
inline constexpr DWORD FVF_CANVAS = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1; // 0x144

enum D3DRESOURCETYPE : std::uint32_t { D3DRTYPE_SURFACE = 1, D3DRTYPE_TEXTURE = 3 };
enum D3DDEVTYPE : std::uint32_t { D3DDEVTYPE_HAL = 1 };
enum D3DMULTISAMPLE_TYPE : std::uint32_t { D3DMULTISAMPLE_NONE = 0 };
enum D3DSWAPEFFECT : std::uint32_t { D3DSWAPEFFECT_DISCARD = 1 };

inline constexpr UINT D3DADAPTER_DEFAULT = 0;
inline constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
inline constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
inline constexpr DWORD D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL = 0x2;
inline constexpr UINT D3DPRESENT_INTERVAL_ONE = 0x1;
inline constexpr UINT D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;
inline constexpr UINT D3D_SDK_VERSION_9 = 0x80000020u; // the version the engine asks for

struct RECT {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct D3DLOCKED_RECT {
    std::int32_t Pitch = 0; // bytes from one row to the next
    void* pBits = nullptr;
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    D3DRESOURCETYPE Type = D3DRTYPE_SURFACE;
    DWORD Usage = 0;
    D3DPOOL Pool = D3DPOOL_DEFAULT;
    UINT Width = 0;
    UINT Height = 0;
};

struct D3DDISPLAYMODE {
    UINT Width = 0;
    UINT Height = 0;
    UINT RefreshRate = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

struct D3DCAPS9 {
    UINT MaxTextureWidth = 0;
    UINT MaxTextureHeight = 0;
    UINT MaxSimultaneousTextures = 0;
    UINT MaxPrimitiveCount = 0;
    UINT MaxVertexIndex = 0;
};

struct D3DPRESENT_PARAMETERS {
    UINT BackBufferWidth = 0;
    UINT BackBufferHeight = 0;
    D3DFORMAT BackBufferFormat = D3DFMT_UNKNOWN;
    UINT BackBufferCount = 0;
    D3DMULTISAMPLE_TYPE MultiSampleType = D3DMULTISAMPLE_NONE;
    DWORD MultiSampleQuality = 0;
    D3DSWAPEFFECT SwapEffect = D3DSWAPEFFECT_DISCARD;
    HostSink* hDeviceWindow = nullptr; // none = headless
    bool Windowed = true;
    bool EnableAutoDepthStencil = false;
    D3DFORMAT AutoDepthStencilFormat = D3DFMT_UNKNOWN;
    DWORD Flags = 0;
    UINT FullScreen_RefreshRateInHz = 0;
    UINT PresentationInterval = 0;
};

class Device;
class Surface;
class Texture;
class VertexBuffer;
class IndexBuffer;
using DevicePtr = std::shared_ptr<Device>;
using SurfacePtr = std::shared_ptr<Surface>;
using TexturePtr = std::shared_ptr<Texture>;
using VertexBufferPtr = std::shared_ptr<VertexBuffer>;
using IndexBufferPtr = std::shared_ptr<IndexBuffer>;

// One 2D image: a texture level, a render target, the back buffer, a depth surface (inert)
// or an offscreen plain surface.
class Surface {
public:
    virtual ~Surface();
    HRESULT GetDesc(D3DSURFACE_DESC* desc) const;
    // rect == nullptr locks the whole surface. Locking a locked surface fails.
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT UnlockRect();

    struct Impl;
    Impl* impl() const { return m_impl.get(); }
    explicit Surface(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> m_impl;
};

class Texture {
public:
    virtual ~Texture();
    UINT GetLevelCount() const;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) const;
    HRESULT GetSurfaceLevel(UINT level, SurfacePtr* surface) const;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT UnlockRect(UINT level);

    struct Impl;
    Impl* impl() const { return m_impl.get(); }
    explicit Texture(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> m_impl;
};

class VertexBuffer {
public:
    virtual ~VertexBuffer();
    // sizeToLock 0 with offset 0 locks the whole buffer.
    HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags);
    HRESULT Unlock();

    struct Impl;
    Impl* impl() const { return m_impl.get(); }
    explicit VertexBuffer(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> m_impl;
};

class IndexBuffer {
public:
    virtual ~IndexBuffer();
    HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags);
    HRESULT Unlock();

    struct Impl;
    Impl* impl() const { return m_impl.get(); }
    explicit IndexBuffer(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> m_impl;
};

// The device. Its operations are virtual so that a test can put a double in front of the real
// one (made by its own Direct3D::CreateDevice); nothing per pixel goes through a virtual call.
class Device {
public:
    Device();
    virtual ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    virtual HRESULT GetDeviceCaps(D3DCAPS9* caps);
    virtual HRESULT TestCooperativeLevel();
    // Fails with D3DERR_INVALIDCALL while default-pool resources other than the device's own
    // are still alive, as Direct3D 9 does; binds the new back buffer as render target 0.
    virtual HRESULT Reset(D3DPRESENT_PARAMETERS* params);
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HostSink* overrideWindow,
                            const void* dirtyRegion);
    virtual HRESULT GetBackBuffer(UINT swapChain, UINT index, SurfacePtr* backBuffer);

    virtual HRESULT BeginScene();
    virtual HRESULT EndScene();
    virtual HRESULT Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil);

    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value);
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
    virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value);
    virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
    virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value);
    virtual HRESULT SetTexture(DWORD stage, TexturePtr texture); // nullptr = no texture
    virtual HRESULT GetTexture(DWORD stage, TexturePtr* texture);

    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, TexturePtr* texture);
    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       VertexBufferPtr* buffer);
    virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IndexBufferPtr* buffer);
    virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multiSample, DWORD multiSampleQuality,
                                              bool discard, SurfacePtr* surface);
    virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                SurfacePtr* surface);

    // Setting a render target resets the viewport to the whole target.
    virtual HRESULT SetRenderTarget(DWORD index, SurfacePtr surface);
    virtual HRESULT GetRenderTarget(DWORD index, SurfacePtr* surface);
    virtual HRESULT SetDepthStencilSurface(SurfacePtr surface);
    virtual HRESULT GetDepthStencilSurface(SurfacePtr* surface);
    // Copies a render target into a system-memory surface of the same size and format.
    virtual HRESULT GetRenderTargetData(Surface* renderTarget, Surface* destSurface);

    virtual HRESULT SetStreamSource(UINT stream, VertexBufferPtr buffer, UINT offsetInBytes, UINT stride);
    virtual HRESULT SetIndices(IndexBufferPtr buffer);
    virtual HRESULT SetVertexShader(const void* shader); // only nullptr is accepted
    virtual HRESULT SetFVF(DWORD fvf);                   // only FVF_CANVAS is accepted
    // E_OUTOFMEMORY when drawing runs out of memory, E_FAIL when it fails otherwise (on this
    // thread or in a raster band); what was drawn by then stays in the target.
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, std::int32_t baseVertexIndex, UINT minIndex,
                                         UINT numVertices, UINT startIndex, UINT primitiveCount);

    // The device becomes lost, as when another program takes the display (nothing else loses a
    // software device). Present then answers D3DERR_DEVICELOST and TestCooperativeLevel
    // D3DERR_DEVICENOTRESET until Reset.
    virtual void MakeLost();

    struct Impl;
    Impl* impl() const { return m_impl.get(); }

private:
    friend class Direct3D;
    std::unique_ptr<Impl> m_impl;
};

class Direct3D {
public:
    Direct3D();
    virtual ~Direct3D();
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode);
    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format);
    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* displayMode);
    // D3D_OK when the layer implements that format for that usage and resource type.
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat);
    // Virtual so that a test's Direct3D can refuse devices or put a double in front of them.
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HostSink* focusWindow,
                                 DWORD behaviorFlags, D3DPRESENT_PARAMETERS* params, DevicePtr* device);
};

// nullptr when the version is not 0x80000020.
Direct3DPtr Direct3DCreate9(UINT sdkVersion);

} // namespace vorn::sd
