// The software device's Direct3D 9 surface: creation, formats, resources, locks, render targets,
// scenes, states, draw validation, presentation and device loss.
#include "engine/soft/SoftDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "engine/soft/SoftDeviceImpl.h"
#include "engine/soft/SoftMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "support/CaptureSink.h"
#include "support/FaultyDevice.h"

using namespace vorn::sd;

namespace {

class SoftDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d = Direct3DCreate9(D3D_SDK_VERSION_9);
        ASSERT_TRUE(d3d);
        params.BackBufferWidth = 32;
        params.BackBufferHeight = 16;
        params.Windowed = true;
        params.hDeviceWindow = &sink;
        D3DDISPLAYMODE mode;
        ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
        params.BackBufferFormat = mode.Format;
        ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &sink,
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &device),
                  D3D_OK);
        ASSERT_TRUE(device);
    }
    // Puts the fault double in front of the device; faults then apply to every later call.
    void InjectFaults() { device = std::make_shared<vorn::test::FaultyDevice>(device, faults); }

    TexturePtr MakeTarget(UINT size) {
        TexturePtr t;
        EXPECT_EQ(
            device->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t),
            D3D_OK);
        return t;
    }

    // Vertex and index buffers holding one quad (two triangles) with the given corners.
    void BindQuad(float x0, float y0, float x1, float y1, D3DCOLOR color) {
        ASSERT_EQ(device->CreateVertexBuffer(4 * 28, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, FVF_CANVAS,
                                             D3DPOOL_DEFAULT, &vb),
                  D3D_OK);
        ASSERT_EQ(device->CreateIndexBuffer(6 * 2, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                            D3DPOOL_DEFAULT, &ib),
                  D3D_OK);
        const float xy[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        void* p = nullptr;
        ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
        auto* bytes = static_cast<std::uint8_t*>(p);
        for (int i = 0; i < 4; ++i) {
            const float z = 0, rhw = 1;
            std::memcpy(bytes + 28 * i, &xy[i][0], 4);
            std::memcpy(bytes + 28 * i + 4, &xy[i][1], 4);
            std::memcpy(bytes + 28 * i + 8, &z, 4);
            std::memcpy(bytes + 28 * i + 12, &rhw, 4);
            std::memcpy(bytes + 28 * i + 16, &color, 4);
            std::memcpy(bytes + 28 * i + 20, &uv[i][0], 4);
            std::memcpy(bytes + 28 * i + 24, &uv[i][1], 4);
        }
        ASSERT_EQ(vb->Unlock(), D3D_OK);
        const std::uint16_t idx[6] = {0, 1, 3, 1, 2, 3};
        ASSERT_EQ(ib->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
        std::memcpy(p, idx, sizeof idx);
        ASSERT_EQ(ib->Unlock(), D3D_OK);
        ASSERT_EQ(device->SetStreamSource(0, vb, 0, 28), D3D_OK);
        ASSERT_EQ(device->SetIndices(ib), D3D_OK);
        ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        ASSERT_EQ(device->SetFVF(FVF_CANVAS), D3D_OK);
    }

    std::vector<std::uint32_t> ReadBack(const SurfacePtr& target) {
        D3DSURFACE_DESC desc;
        EXPECT_EQ(target->GetDesc(&desc), D3D_OK);
        SurfacePtr copy;
        EXPECT_EQ(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                      &copy),
                  D3D_OK);
        EXPECT_EQ(device->GetRenderTargetData(target.get(), copy.get()), D3D_OK);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::vector<std::uint32_t> out(std::size_t(desc.Width) * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(&out[y * desc.Width], static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch,
                        desc.Width * 4);
        EXPECT_EQ(copy->UnlockRect(), D3D_OK);
        return out;
    }

    vorn::test::CaptureSink sink;
    vorn::test::DeviceFaults faults;
    Direct3DPtr d3d;
    D3DPRESENT_PARAMETERS params;
    DevicePtr device;
    VertexBufferPtr vb;
    IndexBufferPtr ib;
};

TEST(SoftDirect3D, CreationHonoursVersionAndHooks) {
    vorn::test::DeviceFaults faults;
    const Direct3DFactory create = vorn::test::FaultyDirect3DFactory(faults);
    EXPECT_FALSE(Direct3DCreate9(0x80000010u));
    faults.failCreateDirect3D = true;
    EXPECT_FALSE(create());
    faults = {};
    Direct3DPtr d3d = create();
    ASSERT_TRUE(d3d);

    D3DPRESENT_PARAMETERS p;
    p.BackBufferWidth = 8;
    p.BackBufferHeight = 8;
    p.BackBufferFormat = D3DFMT_A8R8G8B8;
    DevicePtr device;
    faults.failCreateDevice = true;
    EXPECT_LT(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
              0);
    EXPECT_FALSE(device);
    faults = {};
    EXPECT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, nullptr, &device),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, nullptr),
              D3DERR_INVALIDCALL);
    p.BackBufferWidth = 0;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device),
              D3DERR_INVALIDCALL);

    // The wrapping hook receives the real device and its answer is what the caller gets.
    static DevicePtr seen;
    faults.wrapDevice = [](DevicePtr real) {
        seen = real;
        return real;
    };
    p.BackBufferWidth = 8;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device),
              D3D_OK);
    EXPECT_EQ(device, seen);
    seen.reset();
}

TEST(SoftDirect3D, ReportsTheFormatsItImplements) {
    Direct3DPtr d3d = Direct3DCreate9(D3D_SDK_VERSION_9);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_A8R8G8B8);
    EXPECT_GT(mode.Width, 0u);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, nullptr), D3DERR_INVALIDCALL);

    const D3DFORMAT textures[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5,
                                  D3DFMT_X4R4G4B4, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2,
                                  D3DFMT_R3G3B2,   D3DFMT_A8};
    for (D3DFORMAT f : textures)
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, mode.Format, 0, D3DRTYPE_TEXTURE, f), D3D_OK)
            << f;
    EXPECT_LT(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, mode.Format, 0, D3DRTYPE_TEXTURE, D3DFMT_R8G8B8), 0);
    for (D3DFORMAT f : textures) {
        const bool target = f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8;
        EXPECT_EQ(Succeeded(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, mode.Format, D3DUSAGE_RENDERTARGET,
                                                   D3DRTYPE_TEXTURE, f)),
                  target)
            << f;
    }
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, mode.Format, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                     D3DFMT_D24S8),
              D3D_OK);
    EXPECT_LT(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, mode.Format, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                     D3DFMT_A8R8G8B8),
              0);
    // Full-screen modes are listed for the 32-bit formats only.
    EXPECT_GT(d3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_R5G6B5), 0u);
    D3DDISPLAYMODE m;
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, &m), D3D_OK);
    EXPECT_EQ(m.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 1000, &m), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, BackBufferIsBoundAfterCreation) {
    SurfacePtr rt, back;
    ASSERT_EQ(device->GetRenderTarget(0, &rt), D3D_OK);
    ASSERT_EQ(device->GetBackBuffer(0, 0, &back), D3D_OK);
    EXPECT_EQ(rt, back);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(rt->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Height, 16u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    D3DCAPS9 caps;
    EXPECT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_GE(caps.MaxTextureWidth, 1024u);
    EXPECT_EQ(device->GetDeviceCaps(nullptr), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, StatesStartAtDirect3DDefaults) {
    auto rs = [&](D3DRENDERSTATETYPE s) {
        DWORD v = 0xDEAD;
        EXPECT_EQ(device->GetRenderState(s, &v), D3D_OK);
        return v;
    };
    EXPECT_EQ(rs(D3DRS_ALPHAREF), 0u);
    EXPECT_EQ(rs(D3DRS_ALPHAFUNC), DWORD(D3DCMP_ALWAYS));
    EXPECT_EQ(rs(D3DRS_SRCBLEND), DWORD(D3DBLEND_ONE));
    EXPECT_EQ(rs(D3DRS_DESTBLEND), DWORD(D3DBLEND_ZERO));
    EXPECT_EQ(rs(D3DRS_BLENDOP), DWORD(D3DBLENDOP_ADD));
    EXPECT_EQ(rs(D3DRS_CULLMODE), DWORD(D3DCULL_CCW));
    EXPECT_EQ(rs(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(rs(D3DRS_COLORWRITEENABLE), 0xFu);
    EXPECT_EQ(rs(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    auto ts = [&](DWORD stage, D3DTEXTURESTAGESTATETYPE t) {
        DWORD v = 0xDEAD;
        EXPECT_EQ(device->GetTextureStageState(stage, t, &v), D3D_OK);
        return v;
    };
    EXPECT_EQ(ts(0, D3DTSS_COLOROP), DWORD(D3DTOP_MODULATE));
    EXPECT_EQ(ts(0, D3DTSS_ALPHAOP), DWORD(D3DTOP_SELECTARG1));
    EXPECT_EQ(ts(1, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
    EXPECT_EQ(ts(7, D3DTSS_ALPHAOP), DWORD(D3DTOP_DISABLE));
    EXPECT_EQ(ts(0, D3DTSS_COLORARG1), D3DTA_TEXTURE);
    EXPECT_EQ(ts(0, D3DTSS_COLORARG2), D3DTA_CURRENT);
    EXPECT_EQ(ts(0, D3DTSS_COLORARG0), D3DTA_CURRENT);
    DWORD v = 0;
    EXPECT_EQ(device->GetSamplerState(0, D3DSAMP_ADDRESSU, &v), D3D_OK);
    EXPECT_EQ(v, DWORD(D3DTADDRESS_WRAP));
    EXPECT_EQ(device->GetSamplerState(0, D3DSAMP_MAGFILTER, &v), D3D_OK);
    EXPECT_EQ(v, DWORD(D3DTEXF_POINT));

    EXPECT_EQ(device->SetRenderState(D3DRS_ALPHAREF, 7), D3D_OK);
    EXPECT_EQ(rs(D3DRS_ALPHAREF), 7u);
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATETYPE(RenderStateCount), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(MaxTextureStages, D3DTSS_COLOROP, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetRenderState(D3DRS_ALPHAREF, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTexture(MaxTextureStages, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, TexturesHaveLevelsAndLocks) {
    TexturePtr t;
    ASSERT_EQ(device->CreateTexture(64, 16, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &t),
              D3D_OK);
    ASSERT_EQ(t->GetLevelCount(), 7u); // 64x16, 32x8, 16x4, 8x2, 4x1, 2x1, 1x1
    D3DSURFACE_DESC desc;
    ASSERT_EQ(t->GetLevelDesc(3, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 2u);
    ASSERT_EQ(t->GetLevelDesc(6, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(t->GetLevelDesc(7, &desc), D3DERR_INVALIDCALL);

    D3DLOCKED_RECT lr;
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_GE(lr.Pitch, 64 * 2);
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL) << "locked twice";
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL) << "unlocked twice";
    EXPECT_EQ(t->UnlockRect(1), D3DERR_INVALIDCALL) << "never locked";
    EXPECT_EQ(t->LockRect(9, &lr, nullptr, 0), D3DERR_INVALIDCALL) << "no such level";
    EXPECT_EQ(t->LockRect(0, nullptr, nullptr, 0), D3DERR_INVALIDCALL);

    // A rectangle lock points at its top-left texel; bad rectangles are refused.
    D3DLOCKED_RECT whole;
    ASSERT_EQ(t->LockRect(0, &whole, nullptr, D3DLOCK_READONLY), D3D_OK);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    const RECT r{3, 2, 10, 5};
    ASSERT_EQ(t->LockRect(0, &lr, &r, 0), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(lr.pBits) - static_cast<std::uint8_t*>(whole.pBits),
              2 * whole.Pitch + 3 * 2);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    const RECT bad[] = {{0, 0, 65, 1}, {5, 0, 5, 1}, {-1, 0, 2, 2}, {0, 3, 2, 2}};
    for (const RECT& b : bad) EXPECT_EQ(t->LockRect(0, &lr, &b, 0), D3DERR_INVALIDCALL);

    // The level surface keeps its texture alive and locks the same memory.
    SurfacePtr level1;
    ASSERT_EQ(t->GetSurfaceLevel(1, &level1), D3D_OK);
    EXPECT_EQ(t->GetSurfaceLevel(7, &level1), D3DERR_INVALIDCALL);
    ASSERT_EQ(t->GetSurfaceLevel(1, &level1), D3D_OK);
    t.reset();
    ASSERT_EQ(level1->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 32u);
    ASSERT_EQ(level1->LockRect(&lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(level1->UnlockRect(), D3D_OK);
}

TEST_F(SoftDeviceTest, BadCreationArgumentsFail) {
    TexturePtr t;
    EXPECT_EQ(device->CreateTexture(0, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(1u << 20, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFORMAT(12345), D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 6, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &t),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_FALSE(t);
    VertexBufferPtr v;
    EXPECT_EQ(device->CreateVertexBuffer(0, 0, FVF_CANVAS, D3DPOOL_DEFAULT, &v), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexBuffer(28, 0, FVF_CANVAS, D3DPOOL_DEFAULT, nullptr), D3DERR_INVALIDCALL);
    IndexBufferPtr i;
    EXPECT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &i), D3DERR_INVALIDCALL);
    SurfacePtr s;
    EXPECT_EQ(device->CreateDepthStencilSurface(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, true, &s),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &s),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetFVF(0x102), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetVertexShader(&s), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetRenderTargetData(nullptr, nullptr), D3DERR_INVALIDCALL);

    // A plain texture cannot become the render target.
    ASSERT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    SurfacePtr level;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    EXPECT_EQ(device->SetRenderTarget(0, level), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, BufferLocks) {
    VertexBufferPtr v;
    ASSERT_EQ(device->CreateVertexBuffer(280, D3DUSAGE_DYNAMIC, FVF_CANVAS, D3DPOOL_DEFAULT, &v), D3D_OK);
    void* p = nullptr;
    EXPECT_EQ(v->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(v->Lock(0, 281, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(v->Lock(281, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(v->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(v->Lock(28, 56, &p, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(v->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(v->Unlock(), D3D_OK);
}

TEST_F(SoftDeviceTest, ClearedTargetReadsBackExactly) {
    TexturePtr t = MakeTarget(64);
    SurfacePtr level;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x80402010u, 1.0f, 0), D3D_OK);
    const RECT r{10, 20, 12, 23};
    ASSERT_EQ(device->Clear(1, &r, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);
    const std::vector<std::uint32_t> px = ReadBack(level);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool inRect = x >= 10 && x < 12 && y >= 20 && y < 23;
            ASSERT_EQ(px[y * 64 + x], inRect ? 0xFF00FF00u : 0x80402010u)
                << "first difference at " << x << "," << y;
        }
    // Read-back wants a system-memory surface of the same size and format.
    SurfacePtr wrong;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(32, 32, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &wrong),
              D3D_OK);
    EXPECT_EQ(device->GetRenderTargetData(level.get(), wrong.get()), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->CreateOffscreenPlainSurface(64, 64, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &wrong),
              D3D_OK);
    InjectFaults();
    faults.failGetRenderTargetData = true;
    EXPECT_LT(device->GetRenderTargetData(level.get(), wrong.get()), 0);
    faults.failCreateOffscreenSurface = true;
    EXPECT_LT(device->CreateOffscreenPlainSurface(64, 64, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &wrong), 0);
}

TEST_F(SoftDeviceTest, OpaqueTargetsStoreAlpha255) {
    TexturePtr t;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &t),
              D3D_OK);
    SurfacePtr level;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    EXPECT_EQ(ReadBack(level)[0], 0xFF000000u) << "a new opaque target";
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00123456u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(ReadBack(level)[0], 0xFF123456u);
    // Written through a lock, the filler byte still reads as 255 afterwards.
    D3DLOCKED_RECT lr;
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    static_cast<std::uint32_t*>(lr.pBits)[1] = 0x00ABCDEFu;
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    EXPECT_EQ(ReadBack(level)[1], 0xFFABCDEFu);
}

// Targets start as untouched zero pages, and a clear to what they hold is skipped: a target
// cleared before, after or without drawing must still read back as its clear colour. 1024 x 1024
// takes mapped huge-page memory, 512 x 512 and 8 x 8 calloc's (a large and a small block).
TEST_F(SoftDeviceTest, ClearsToZeroHoldAfterWritesAtEverySize) {
    for (const D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8})
        for (const UINT size : {1024u, 512u, 8u}) {
            SCOPED_TRACE(testing::Message() << "size " << size << " format " << format);
            const std::uint32_t zero = format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
            auto allEqual = [&](const SurfacePtr& level, std::uint32_t value) {
                const std::vector<std::uint32_t> px = ReadBack(level);
                for (std::size_t i = 0; i < px.size(); ++i)
                    if (px[i] != value)
                        return testing::AssertionFailure() << "pixel " << i << " is " << px[i];
                return testing::AssertionSuccess();
            };
            TexturePtr t;
            ASSERT_EQ(
                device->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &t),
                D3D_OK);
            SurfacePtr level;
            ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
            ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
            ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
            EXPECT_TRUE(allEqual(level, zero));
            ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x80402010u, 1.0f, 0), D3D_OK);
            EXPECT_TRUE(allEqual(level, format == D3DFMT_X8R8G8B8 ? 0xFF402010u : 0x80402010u));
            ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
            EXPECT_TRUE(allEqual(level, zero));
            // Written through a lock only.
            TexturePtr locked;
            ASSERT_EQ(
                device->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &locked),
                D3D_OK);
            D3DLOCKED_RECT lr;
            ASSERT_EQ(locked->LockRect(0, &lr, nullptr, 0), D3D_OK);
            static_cast<std::uint32_t*>(lr.pBits)[size * size / 2] = 0x01020304u;
            ASSERT_EQ(locked->UnlockRect(0), D3D_OK);
            ASSERT_EQ(locked->GetSurfaceLevel(0, &level), D3D_OK);
            ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
            ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
            EXPECT_TRUE(allEqual(level, zero));
        }
}

TEST_F(SoftDeviceTest, RenderTargetCreationHookFailsLaterTargets) {
    InjectFaults();
    faults.renderTargetsBeforeFailure = 2;
    TexturePtr a, b, c, plain;
    EXPECT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &a),
              D3D_OK);
    EXPECT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &plain), D3D_OK);
    EXPECT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &b),
              D3D_OK);
    EXPECT_LT(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &c), 0);
    EXPECT_FALSE(c);
}

TEST_F(SoftDeviceTest, ScenesDoNotNest) {
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, PresentDeliversTheBackBuffer) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF112233u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(sink.presents, 1);
    EXPECT_EQ(sink.width, 32);
    EXPECT_EQ(sink.height, 16);
    EXPECT_GE(sink.pitch, 32 * 4);
    EXPECT_EQ(sink.firstPixel, 0xFF112233u);
    vorn::test::CaptureSink other;
    ASSERT_EQ(device->Present(nullptr, nullptr, &other, nullptr), D3D_OK);
    EXPECT_EQ(other.presents, 1);
    EXPECT_EQ(sink.presents, 1);
}

TEST_F(SoftDeviceTest, LostDeviceRecoversAfterReset) {
    VertexBufferPtr buffer;
    ASSERT_EQ(device->CreateVertexBuffer(280, D3DUSAGE_DYNAMIC, FVF_CANVAS, D3DPOOL_DEFAULT, &buffer),
              D3D_OK);
    VertexBufferPtr managed;
    ASSERT_EQ(device->CreateVertexBuffer(280, 0, FVF_CANVAS, D3DPOOL_MANAGED, &managed), D3D_OK);
    TexturePtr target = MakeTarget(16);
    ASSERT_EQ(device->SetTexture(0, target), D3D_OK); // the device's own binding does not count

    device->MakeLost();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(sink.presents, 0);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    target.reset();
    EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL) << "a default-pool buffer is still alive";
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    buffer.reset();
    EXPECT_EQ(device->Reset(&params), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(sink.presents, 1);

    // Reset rebinds the new back buffer and restores the default states.
    SurfacePtr rt, back;
    ASSERT_EQ(device->GetRenderTarget(0, &rt), D3D_OK);
    ASSERT_EQ(device->GetBackBuffer(0, 0, &back), D3D_OK);
    EXPECT_EQ(rt, back);
    TexturePtr bound;
    ASSERT_EQ(device->GetTexture(0, &bound), D3D_OK);
    EXPECT_FALSE(bound);
}

TEST_F(SoftDeviceTest, ResetChangesTheBackBufferSize) {
    params.BackBufferWidth = 20;
    params.BackBufferHeight = 10;
    ASSERT_EQ(device->Reset(&params), D3D_OK);
    SurfacePtr back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 20u);
    EXPECT_EQ(desc.Height, 10u);
    EXPECT_EQ(device->Reset(nullptr), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, DrawArgumentsAreValidated) {
    BindQuad(0, 0, 4, 4, 0xFFFFFFFFu);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL)
        << "no scene";
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 3), D3DERR_INVALIDCALL)
        << "past indices";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 1, 2), D3DERR_INVALIDCALL)
        << "past indices";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL)
        << "past vertices";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_POINTLIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);

    // An index past the vertex buffer.
    void* p = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
    const std::uint16_t bad[6] = {0, 1, 3, 1, 2, 4};
    std::memcpy(p, bad, sizeof bad);
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 1), D3D_OK);

    ASSERT_EQ(device->SetStreamSource(0, nullptr, 0, 0), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 1), D3DERR_INVALIDCALL)
        << "no stream";
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, 28), D3D_OK);
    ASSERT_EQ(device->SetIndices(nullptr), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 1), D3DERR_INVALIDCALL)
        << "no indices";
    ASSERT_EQ(device->SetIndices(ib), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, 16), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 1), D3DERR_INVALIDCALL)
        << "short stride";
    ASSERT_EQ(device->EndScene(), D3D_OK);
}

TEST_F(SoftDeviceTest, DrawsIntoTheBoundTarget) {
    TexturePtr t = MakeTarget(8);
    SurfacePtr level;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    BindQuad(2, 1, 5, 3, 0xFFC08040u);
    ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    const std::vector<std::uint32_t> px = ReadBack(level);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool in = x >= 2 && x < 5 && y >= 1 && y < 3;
            ASSERT_EQ(px[y * 8 + x], in ? 0xFFC08040u : 0xFF000000u)
                << "first difference at " << x << "," << y;
        }
}

TEST_F(SoftDeviceTest, ADrawWhoseBandThrowsAnswersAFailure) {
    TexturePtr t = MakeTarget(256);
    SurfacePtr level;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    BindQuad(0, 0, 256, 256, 0xFFC08040u);
    ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    RasterOptions& options = device->impl()->rasterOptions;
    options.minPixelsToSplit = 0; // the quad is split into bands whatever its size
    struct Case {
        const char* what;
        int threads;
        void (*bandStarts)(int);
        HRESULT expected;
    };
    const Case cases[] = {
        {"one thread out of memory", 1, [](int) { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"the last of four bands out of memory", 4,
         [](int band) {
             if (band == 3) throw std::bad_alloc();
         },
         E_OUTOFMEMORY},
        {"every band out of memory", 4, [](int) { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"a band failing otherwise", 4,
         [](int band) {
             if (band == 2) throw std::runtime_error("band");
         },
         E_FAIL},
        {"no band failing", 4, nullptr, D3D_OK},
    };
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    for (const Case& c : cases) {
        options.threads = c.threads;
        options.bandStarts = c.bandStarts;
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), c.expected) << c.what;
    }
    ASSERT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(ReadBack(level)[0], 0xFFC08040u); // the device still draws
}

TEST_F(SoftDeviceTest, SixteenBitTexturesAreDecodedOnUnlock) {
    TexturePtr tex;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &tex), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const std::uint16_t row0[2] = {0xF800, 0x07E0}; // red, green
    const std::uint16_t row1[2] = {0x001F, 0x8410}; // blue, (16, 32, 16) = 0x848484
    std::memcpy(lr.pBits, row0, 4);
    std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + lr.Pitch, row1, 4);
    ASSERT_EQ(tex->UnlockRect(0), D3D_OK);

    TexturePtr t = MakeTarget(4);
    SurfacePtr level;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
    BindQuad(-0.5f, -0.5f, 1.5f, 1.5f, 0xFFFFFFFFu); // texel (i, j) onto pixel (i, j)
    ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, tex), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    const std::vector<std::uint32_t> px = ReadBack(level);
    EXPECT_EQ(px[0], 0xFFFF0000u);
    EXPECT_EQ(px[1], 0xFF00FF00u);
    EXPECT_EQ(px[4], 0xFF0000FFu);
    EXPECT_EQ(px[5], 0xFF848284u); // 5-bit 16 -> 132, 6-bit 32 -> 130
    EXPECT_EQ(px[2], 0u);
}

// A mapped block keeps the pages it covers (a block under 2 MiB one whole huge page) and gives
// back the rest of its mapping at once, also when its size is no whole number of pages: the page
// after its last one is no longer mapped (mincore answers ENOMEM for it); and when the block goes,
// all of it goes.
TEST(SoftMemory, BlocksGiveBackTheTailOfTheirMappingAtAnySize) {
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    const std::size_t mib = std::size_t(1) << 20;
    auto mapped = [page](std::uintptr_t at) {
        unsigned char resident = 0;
        return mincore(reinterpret_cast<void*>(at / page * page), page, &resident) == 0;
    };
    for (const std::size_t size : {mib / 4, mib + 3, 2 * mib, 2 * mib + 1, 2 * mib + page + 7, 3 * mib - 1}) {
        std::uintptr_t start = 0, end = 0;
        {
            ZeroedMemory block(size);
            ASSERT_EQ(block.size(), size);
            block.data()[size - 1] = 1; // the last byte is the block's
            start = reinterpret_cast<std::uintptr_t>(block.data());
            end = start + std::max(size, 2 * mib);
            EXPECT_TRUE(mapped(end - 1)) << size;
            errno = 0;
            EXPECT_FALSE(mapped(end + page - 1)) << size << " bytes: the page after the block is mapped";
            EXPECT_EQ(errno, ENOMEM) << size;
        }
        EXPECT_FALSE(mapped(start)) << size << " bytes: the block's first page outlived it";
        EXPECT_FALSE(mapped(end - 1)) << size << " bytes: the block's last page outlived it";
    }
}

} // namespace
