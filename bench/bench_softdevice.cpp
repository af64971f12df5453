// Speed of the software device on the generator's hot path: batches of tinted, alpha-blended,
// textured brush stamps into a 1024 x 1024 target, and a full-target opaque fill. Reports
// megapixels per second; the simd argument caps the kernels (0 scalar, 2 SSE4.1, 3 AVX2).
#include "engine/soft/SoftDevice.h"
#include "engine/soft/SoftDeviceImpl.h"
#include "engine/soft/SoftRaster.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace vorn::sd;

namespace {

constexpr int TargetSize = 1024;
constexpr int QuadsPerBatch = 682; // what one canvas batch holds

struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};
static_assert(sizeof(Vertex) == 28);

struct Bench {
    Direct3DPtr d3d;
    DevicePtr device;
    TexturePtr target;
    TexturePtr brush;
    VertexBufferPtr vb;
    IndexBufferPtr ib;
    bool ok = false;

    Bench() {
        d3d = Direct3DCreate9(D3D_SDK_VERSION_9);
        D3DPRESENT_PARAMETERS p;
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 64;
        p.BackBufferFormat = D3DFMT_A8R8G8B8;
        if (!d3d || Failed(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                             &p, &device)))
            return;
        if (Failed(device->CreateTexture(TargetSize, TargetSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                         D3DPOOL_DEFAULT, &target)))
            return;
        // A soft brush: white, alpha falling off from the centre.
        if (Failed(device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &brush))) return;
        D3DLOCKED_RECT lr;
        if (Failed(brush->LockRect(0, &lr, nullptr, 0))) return;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const double r = std::hypot(x - 31.5, y - 31.5) / 32.0;
                const auto a = static_cast<std::uint32_t>(std::lround(255 * std::max(0.0, 1 - r)));
                reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] =
                    a << 24 | 0x00FFFFFFu;
            }
        brush->UnlockRect(0);
        const UINT vertices = 4 * QuadsPerBatch;
        if (Failed(device->CreateVertexBuffer(vertices * 28, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                              FVF_CANVAS, D3DPOOL_DEFAULT, &vb)) ||
            Failed(device->CreateIndexBuffer(6 * QuadsPerBatch * 2, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                             D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib)))
            return;
        SurfacePtr level;
        target->GetSurfaceLevel(0, &level);
        device->SetRenderTarget(0, level);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF202020u, 1.0f, 0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetStreamSource(0, vb, 0, 28);
        device->SetIndices(ib);
        device->SetVertexShader(nullptr);
        device->SetFVF(FVF_CANVAS);
        ok = true;
    }

    // One batch of quads of the given size, placed as the generator places its stamps: a random
    // walk with small steps, each point stamped four times (mirrored about both centre lines), at
    // whole-pixel positions minus a half as the canvas places textured quads.
    void FillBatch(float size, int quads, D3DCOLOR tint, std::uint32_t seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> step(-6.0, 6.0);
        void* p = nullptr;
        vb->Lock(0, 0, &p, D3DLOCK_DISCARD);
        auto* v = static_cast<Vertex*>(p);
        const double limit = TargetSize - size;
        double wx = limit / 3, wy = limit / 4;
        for (int q = 0; q < quads; ++q) {
            if (q % 4 == 0) {
                wx = std::clamp(wx + step(rng), 0.0, limit);
                wy = std::clamp(wy + step(rng), 0.0, limit);
            }
            const double mx = (q & 1) ? limit - wx : wx, my = (q & 2) ? limit - wy : wy;
            const float x = float(std::round(mx)) - 0.5f, y = float(std::round(my)) - 0.5f;
            v[4 * q + 0] = {x, y, 0, 1, tint, 0, 0};
            v[4 * q + 1] = {x + size, y, 0, 1, tint, 1, 0};
            v[4 * q + 2] = {x + size, y + size, 0, 1, tint, 1, 1};
            v[4 * q + 3] = {x, y + size, 0, 1, tint, 0, 1};
        }
        vb->Unlock();
        ib->Lock(0, 0, &p, D3DLOCK_DISCARD);
        auto* idx = static_cast<std::uint16_t*>(p);
        for (int q = 0; q < quads; ++q) {
            const auto b = static_cast<std::uint16_t>(4 * q);
            const std::uint16_t six[6] = {b,
                                          std::uint16_t(b + 1),
                                          std::uint16_t(b + 3),
                                          std::uint16_t(b + 1),
                                          std::uint16_t(b + 2),
                                          std::uint16_t(b + 3)};
            std::memcpy(idx + 6 * q, six, sizeof six);
        }
        ib->Unlock();
    }
};

// One thread, kernels capped at arg.
void SetSimd(benchmark::State& state, Device& device, int arg) {
    RasterOptions& options = device.impl()->rasterOptions;
    options.maxSimd = static_cast<SimdLevel>(arg);
    options.threads = 1;
    const SimdLevel level = ActiveSimdLevel(options.maxSimd);
    state.SetLabel(level == SimdLevel::Avx512  ? "avx512"
                   : level == SimdLevel::Avx2  ? "avx2"
                   : level == SimdLevel::Sse41 ? "sse4.1"
                                               : "scalar");
}

// Brush stamps: args = quad size, SIMD level, filter (1 point, 2 linear).
void BM_Stamps(benchmark::State& state) {
    Bench b;
    if (!b.ok) {
        state.SkipWithError("device setup failed");
        return;
    }
    SetSimd(state, *b.device, int(state.range(1)));
    const auto size = float(state.range(0));
    b.FillBatch(size, QuadsPerBatch, 0xC0FF8040u, 1);
    Device& d = *b.device;
    d.SetTexture(0, b.brush);
    d.SetSamplerState(0, D3DSAMP_MAGFILTER, DWORD(state.range(2)));
    d.SetSamplerState(0, D3DSAMP_MINFILTER, DWORD(state.range(2)));
    d.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    d.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d.SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d.BeginScene();
    for (auto _ : state)
        d.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4 * QuadsPerBatch, 0, 2 * QuadsPerBatch);
    d.EndScene();
    const double pixels = double(size) * size * QuadsPerBatch;
    state.counters["Mpx/s"] =
        benchmark::Counter(pixels * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Stamps)
    ->ArgNames({"size", "simd", "filter"})
    ->Args({64, 3, D3DTEXF_LINEAR})
    ->Args({64, 2, D3DTEXF_LINEAR})
    ->Args({64, 0, D3DTEXF_LINEAR})
    ->Args({128, 3, D3DTEXF_LINEAR})
    ->Args({128, 0, D3DTEXF_LINEAR})
    ->Args({64, 3, D3DTEXF_POINT})
    ->Args({128, 3, D3DTEXF_POINT})
    ->Unit(benchmark::kMillisecond);

// One opaque untextured quad over the whole target.
void BM_OpaqueFill(benchmark::State& state) {
    Bench b;
    if (!b.ok) {
        state.SkipWithError("device setup failed");
        return;
    }
    SetSimd(state, *b.device, int(state.range(0)));
    void* p = nullptr;
    b.vb->Lock(0, 0, &p, D3DLOCK_DISCARD);
    auto* v = static_cast<Vertex*>(p);
    const float s = TargetSize;
    v[0] = {0, 0, 0, 1, 0xFF336699u, 0, 0};
    v[1] = {s, 0, 0, 1, 0xFF336699u, 0, 0};
    v[2] = {s, s, 0, 1, 0xFF336699u, 0, 0};
    v[3] = {0, s, 0, 1, 0xFF336699u, 0, 0};
    b.vb->Unlock();
    b.FillBatch(0, 0, 0, 0); // only the indices of the first quad matter
    b.ib->Lock(0, 0, &p, D3DLOCK_DISCARD);
    const std::uint16_t six[6] = {0, 1, 3, 1, 2, 3};
    std::memcpy(p, six, sizeof six);
    b.ib->Unlock();
    Device& d = *b.device;
    d.BeginScene();
    for (auto _ : state) d.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
    d.EndScene();
    state.counters["Mpx/s"] = benchmark::Counter(
        double(TargetSize) * TargetSize * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OpaqueFill)->ArgName("simd")->Arg(3)->Unit(benchmark::kMillisecond);

} // namespace
