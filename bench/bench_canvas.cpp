// The canvas path of the tile synthesis: DrawRotatedScaled of a 64-pixel soft brush (white with a
// radial alpha), tinted and alpha-blended, into a 1024 x 1024 render target, thousands of stamps
// per iteration and flushed at the end of the scene. Reported in megapixels per second (stamp
// area drawn) to set beside the software layer's own figure for the same pixels, and in stamps
// per second for the cost of one call (1-pixel stamps, drawn or with every batch dropped).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/VornImages.h"
#include "engine/VornCanvas.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"

namespace {

using namespace vorn;

struct TStamp {
    double X;
    double Y;
    TCanvasColor Color;
};

class TBenchScene {
public:
    TBenchScene() {
        m_canvas = m_device.OwnComponent(std::make_unique<TVornCanvas>());
        m_canvas->SetPublisher(&m_device);
        m_textures.SetPublisher(&m_device);
        // As the application configures its canvas.
        m_canvas->SetAlphaTesting(false);
        m_canvas->SetVertexCache(4096);
        m_canvas->SetAntialias(true);
        m_ready = m_device.Initialize() && m_textures.AddRenderTargets(1, 1024, 1024, aqHigh, alFull) &&
                  MakeBrush();
    }
    ~TBenchScene() {
        m_brush.reset();
        m_device.Finalize();
    }
    TBenchScene(const TBenchScene&) = delete;
    TBenchScene& operator=(const TBenchScene&) = delete;

    bool Ready() const { return m_ready; }
    // Tells the canvas alone that the device is lost: it then batches and drops every batch.
    void DropBatches() { m_canvas->HandleNotification(msgDeviceLost); }

    // count stamps at pseudo-random positions that keep a brush of the given reach inside.
    static std::vector<TStamp> Stamps(int count, double reach) {
        std::vector<TStamp> stamps;
        std::uint32_t seed = 12345;
        auto next = [&] {
            seed = seed * 134775813u + 1u;
            return static_cast<double>(seed) * 0x1p-32;
        };
        for (int i = 0; i < count; ++i) {
            const double x = reach + next() * (1024.0 - 2.0 * reach);
            const double y = reach + next() * (1024.0 - 2.0 * reach);
            const auto c = static_cast<std::uint32_t>(next() * 0xFFFFFF);
            stamps.push_back({x, y, 0xC0000000u | c});
        }
        return stamps;
    }

    bool Draw(const std::vector<TStamp>& stamps, double scale) {
        return m_textures.RenderIntoTarget(
            0, 0xFF808080u,
            [&](TVornTextures*) {
                for (const TStamp& s : stamps)
                    m_canvas->DrawRotatedScaled(m_brush.get(), s.Color, s.X, s.Y, 0.0, scale, 0,
                                                beAlphaBlend);
            },
            false);
    }

private:
    bool MakeBrush() {
        m_brush = std::make_unique<TVornImage>(&m_device);
        m_brush->SetMipmapping(false);
        m_brush->SetSize(64, 64);
        m_brush->SetTextureCount(1);
        m_brush->ChangeState(tsReady);
        TLockedTexels info;
        if (m_brush->State() != tsReady || !m_brush->Lock(0, laWrite, info) || info.Format != tfA8R8G8B8)
            return false;
        for (int y = 0; y < 64; ++y) {
            auto* row =
                reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(info.Bits) + y * info.Pitch);
            for (int x = 0; x < 64; ++x) {
                const double r = std::hypot(x + 0.5 - 32.0, y + 0.5 - 32.0) / 32.0;
                const auto alpha = static_cast<std::uint32_t>(std::clamp(1.0 - r, 0.0, 1.0) * 255.0 + 0.5);
                row[x] = (alpha << 24) | 0x00FFFFFFu;
            }
        }
        m_brush->Unlock(0);
        return true;
    }

    TVornDevice m_device;
    TVornCanvas* m_canvas = nullptr;
    TVornTextures m_textures;
    std::unique_ptr<TVornImage> m_brush;
    bool m_ready = false;
};

// 64 x 64 stamps (scale 1, no turn): 4096 pixels each, as the layer's case (a).
void BM_CanvasSoftBrush64(benchmark::State& state) {
    TBenchScene scene;
    if (!scene.Ready()) {
        state.SkipWithError("scene setup failed");
        return;
    }
    const int count = static_cast<int>(state.range(0));
    const std::vector<TStamp> stamps = TBenchScene::Stamps(count, 33.0);
    for (auto _ : state) {
        if (!scene.Draw(stamps, 1.0)) {
            state.SkipWithError("render failed");
            return;
        }
    }
    const double pixels = static_cast<double>(count) * 64.0 * 64.0 * static_cast<double>(state.iterations());
    state.counters["MPix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
    state.counters["stamps/s"] = benchmark::Counter(
        static_cast<double>(count) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CanvasSoftBrush64)->Arg(4000)->Unit(benchmark::kMillisecond);

// Stamps per second of 1-pixel stamps, with the batches drawn or dropped.
void RunTinyStamps(benchmark::State& state, bool dropBatches) {
    TBenchScene scene;
    if (!scene.Ready()) {
        state.SkipWithError("scene setup failed");
        return;
    }
    if (dropBatches) scene.DropBatches();
    const int count = static_cast<int>(state.range(0));
    const std::vector<TStamp> stamps = TBenchScene::Stamps(count, 2.0);
    for (auto _ : state) {
        if (!scene.Draw(stamps, 1.0 / 64.0)) {
            state.SkipWithError("render failed");
            return;
        }
    }
    state.counters["stamps/s"] = benchmark::Counter(
        static_cast<double>(count) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// 1-pixel stamps: what one DrawRotatedScaled costs the canvas and the layer beyond its pixels.
void BM_CanvasStampOverhead(benchmark::State& state) {
    RunTinyStamps(state, false);
}
BENCHMARK(BM_CanvasStampOverhead)->Arg(25000)->Unit(benchmark::kMillisecond);

// The canvas alone: the same 25 000 calls with every batch dropped instead of drawn.
void BM_CanvasBatchingOnly(benchmark::State& state) {
    RunTinyStamps(state, true);
}
BENCHMARK(BM_CanvasBatchingOnly)->Arg(25000)->Unit(benchmark::kMillisecond);

} // namespace
