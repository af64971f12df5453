// The canvas's batching and state handling, observed through a recording device put in front of
// the software device: batch sizes, when a batch is flushed, which states are set and when,
// device loss and reset, the vertices it builds (positions, colours, pattern coordinates) and
// its properties.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/VornImages.h"
#include "engine/DXTextures.h"
#include "engine/VornCanvas.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "engine/soft/SoftDevice.h"
#include "support/CanvasFixture.h"
#include "support/ForwardingDevice.h"

namespace vorn {
namespace {

using namespace sd;
using TVertex = TVorn2D::TVertex;

// One state call or draw seen by the recording device.
struct TCall {
    enum TKind { RenderState, StageState, Sampler, SetTex, Draw } Kind;
    DWORD Stage = 0; // stage or sampler
    DWORD Type = 0;  // the state (or primitive type for Draw)
    DWORD Value = 0;
    const Texture* Tex = nullptr;
};

struct TDraw {
    D3DPRIMITIVETYPE Type;
    UINT NumVertices;
    UINT PrimitiveCount;
    std::vector<TVertex> Vertices;
    std::vector<std::uint16_t> Indices;
};

// Passes every call on to the real device and records states, textures and draws. At each draw
// it reads the bound vertex and index buffers back.
class TRecordingDevice : public test::ForwardingDevice {
public:
    using ForwardingDevice::ForwardingDevice;

    std::vector<TCall> calls;
    std::vector<TDraw> draws;
    int vertexBuffersMade = 0;
    int indexBuffersMade = 0;
    DWORD vertexBufferUsage = 0;
    D3DPOOL vertexBufferPool = D3DPOOL_MANAGED;
    UINT vertexBufferLength = 0;
    UINT indexBufferLength = 0;
    bool failVertexBuffer = false;
    bool failIndexBuffer = false;

    void Clear() {
        calls.clear();
        draws.clear();
    }
    std::size_t CountOf(TCall::TKind kind) const {
        return static_cast<std::size_t>(
            std::count_if(calls.begin(), calls.end(), [&](const TCall& c) { return c.Kind == kind; }));
    }
    // The last value set for a render state, or -1 when it was not set.
    std::int64_t LastRenderState(D3DRENDERSTATETYPE state) const {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->Kind == TCall::RenderState && it->Type == state) return it->Value;
        return -1;
    }
    std::int64_t LastStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) const {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->Kind == TCall::StageState && it->Stage == stage && it->Type == type) return it->Value;
        return -1;
    }

    // Clear() above empties the record; the device's Clear(...) stays visible beside it.
    using ForwardingDevice::Clear;

    HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
        calls.push_back({TCall::RenderState, 0, s, v});
        return ForwardingDevice::SetRenderState(s, v);
    }
    HRESULT SetTextureStageState(DWORD st, D3DTEXTURESTAGESTATETYPE t, DWORD v) override {
        calls.push_back({TCall::StageState, st, t, v});
        return ForwardingDevice::SetTextureStageState(st, t, v);
    }
    HRESULT SetSamplerState(DWORD s, D3DSAMPLERSTATETYPE t, DWORD v) override {
        calls.push_back({TCall::Sampler, s, t, v});
        return ForwardingDevice::SetSamplerState(s, t, v);
    }
    HRESULT SetTexture(DWORD s, TexturePtr t) override {
        calls.push_back({TCall::SetTex, s, 0, 0, t.get()});
        return ForwardingDevice::SetTexture(s, std::move(t));
    }
    HRESULT CreateVertexBuffer(UINT l, DWORD u, DWORD f, D3DPOOL p, VertexBufferPtr* b) override {
        if (failVertexBuffer) return D3DERR_OUTOFVIDEOMEMORY;
        ++vertexBuffersMade;
        vertexBufferUsage = u;
        vertexBufferPool = p;
        vertexBufferLength = l;
        return ForwardingDevice::CreateVertexBuffer(l, u, f, p, b);
    }
    HRESULT CreateIndexBuffer(UINT l, DWORD u, D3DFORMAT f, D3DPOOL p, IndexBufferPtr* b) override {
        if (failIndexBuffer) return D3DERR_OUTOFVIDEOMEMORY;
        ++indexBuffersMade;
        indexBufferLength = l;
        return ForwardingDevice::CreateIndexBuffer(l, u, f, p, b);
    }
    HRESULT SetStreamSource(UINT n, VertexBufferPtr b, UINT o, UINT s) override {
        m_stream = b;
        return ForwardingDevice::SetStreamSource(n, std::move(b), o, s);
    }
    HRESULT SetIndices(IndexBufferPtr b) override {
        m_indices = b;
        return ForwardingDevice::SetIndices(std::move(b));
    }
    HRESULT SetFVF(DWORD f) override {
        m_fvf = f;
        return ForwardingDevice::SetFVF(f);
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, std::int32_t base, UINT minIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override {
        TDraw draw{type, numVertices, primitiveCount, {}, {}};
        EXPECT_EQ(m_fvf, FVF_CANVAS);
        EXPECT_EQ(base, 0);
        EXPECT_EQ(minIndex, 0u);
        EXPECT_EQ(startIndex, 0u);
        const UINT indexCount = type == D3DPT_LINELIST ? 2 * primitiveCount : 3 * primitiveCount;
        void* data = nullptr;
        if (m_stream && Succeeded(m_stream->Lock(0, numVertices * sizeof(TVertex), &data, 0))) {
            draw.Vertices.resize(numVertices);
            std::memcpy(draw.Vertices.data(), data, numVertices * sizeof(TVertex));
            m_stream->Unlock();
        }
        if (m_indices && Succeeded(m_indices->Lock(0, indexCount * 2, &data, 0))) {
            draw.Indices.resize(indexCount);
            std::memcpy(draw.Indices.data(), data, indexCount * 2);
            m_indices->Unlock();
        }
        draws.push_back(draw);
        calls.push_back({TCall::Draw, 0, type, primitiveCount});
        // Hold no buffer past the draw: a reset needs them all released.
        m_stream.reset();
        m_indices.reset();
        return ForwardingDevice::DrawIndexedPrimitive(type, base, minIndex, numVertices, startIndex,
                                                      primitiveCount);
    }

private:
    VertexBufferPtr m_stream;
    IndexBufferPtr m_indices;
    DWORD m_fvf = 0;
};

TRecordingDevice* g_recorder = nullptr;

DevicePtr WrapInRecorder(DevicePtr real) {
    auto recorder = std::make_shared<TRecordingDevice>(std::move(real));
    g_recorder = recorder.get();
    return recorder;
}

constexpr TCanvasColor Red = 0xFF0000FFu;
constexpr TCanvasColor White = 0xFFFFFFFFu;

class CanvasBatch : public test::CanvasFixture {
protected:
    void SetUp() override {
        m_faults.wrapDevice = &WrapInRecorder;
        ConfigureCanvas();
        ASSERT_TRUE(m_device.Initialize());
        rec = g_recorder;
        ASSERT_NE(rec, nullptr);
    }
    void TearDown() override {
        CanvasFixture::TearDown();
        g_recorder = nullptr;
    }

    // Opens a scene on the back buffer and forgets what was recorded so far.
    void Begin() {
        ASSERT_TRUE(m_device.BeginScene());
        rec->Clear();
    }
    void End() { m_device.EndScene(); }

    TRenderTarget* AddTarget(std::int32_t size) {
        EXPECT_TRUE(m_textures.AddRenderTargets(1, size, size, aqHigh, alFull));
        return m_textures.GetTarget(m_textures.Count() - 1);
    }

    TRecordingDevice* rec = nullptr;
};

TFloatQuad Rect(float l, float t, float r, float b) {
    return {TFloatPoint{l, t}, TFloatPoint{r, t}, TFloatPoint{r, b}, TFloatPoint{l, b}};
}

// ---- buffers and lifecycle ----

TEST_F(CanvasBatch, BuffersAreDynamicWriteOnlyInTheDefaultPool) {
    EXPECT_TRUE(m_canvas->Initialized());
    EXPECT_EQ(rec->vertexBufferUsage, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC);
    EXPECT_EQ(rec->vertexBufferPool, D3DPOOL_DEFAULT);
    EXPECT_EQ(rec->vertexBufferLength, 4096u * 28u);
    EXPECT_EQ(rec->indexBufferLength, 4096u * 2u);
}

TEST_F(CanvasBatch, FailedIndexBufferFailsTheDeviceInitialisation) {
    m_device.Finalize();
    EXPECT_FALSE(m_canvas->Initialized());
    m_faults.wrapDevice = [](DevicePtr real) {
        auto recorder = std::make_shared<TRecordingDevice>(std::move(real));
        recorder->failIndexBuffer = true;
        g_recorder = recorder.get();
        return DevicePtr(recorder);
    };
    EXPECT_FALSE(m_device.Initialize());
    EXPECT_FALSE(m_canvas->Initialized());
    EXPECT_FALSE(m_device.Initialized());
}

TEST_F(CanvasBatch, DrawingWhileNotInitialisedDoesNothing) {
    m_device.Finalize();
    m_canvas->FillSolidRect(0, 0, 10, 10, Red, beOpaque);
    m_canvas->DrawLine({0, 0}, {5, 5}, Red, Red, beOpaque);
    m_canvas->Flush();
    EXPECT_FALSE(m_canvas->Initialized());
}

// ---- batch sizes ----

TEST_F(CanvasBatch, The683rdQuadStartsASecondBatch) {
    Begin();
    for (int i = 0; i < 683; ++i) m_canvas->FillSolidRect(i % 600, 0, 2, 2, Red, beAlphaBlend);
    EXPECT_EQ(rec->draws.size(), 1u); // the first 682 went out when the 683rd did not fit
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 2u);
    EXPECT_EQ(rec->draws[0].Type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(rec->draws[0].NumVertices, 682u * 4u);
    EXPECT_EQ(rec->draws[0].PrimitiveCount, 682u * 2u);
    EXPECT_EQ(rec->draws[1].NumVertices, 4u);
    EXPECT_EQ(rec->draws[1].PrimitiveCount, 2u);
    End();
}

TEST_F(CanvasBatch, QuadIndicesAndVertexLayout) {
    Begin();
    m_canvas->FillQuad(Rect(1.25f, 2.5f, 7.75f, 9.0f),
                       MakeColorQuad(0x11223344u, 0x55667788u, 0x99AABBCCu, 0xDDEEFF00u), beAlphaBlend);
    m_canvas->FillQuad(Rect(0, 0, 1, 1), ColorQuadOf(Red), beAlphaBlend);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 1u);
    const TDraw& d = rec->draws[0];
    EXPECT_EQ(d.Indices, (std::vector<std::uint16_t>{0, 1, 3, 1, 2, 3, 4, 5, 7, 5, 6, 7}));
    ASSERT_EQ(d.Vertices.size(), 8u);
    // Untextured quads keep their positions as given; colours become 0xAARRGGBB.
    EXPECT_EQ(d.Vertices[0].X, 1.25f);
    EXPECT_EQ(d.Vertices[0].Y, 2.5f);
    EXPECT_EQ(d.Vertices[2].X, 7.75f);
    EXPECT_EQ(d.Vertices[2].Y, 9.0f);
    EXPECT_EQ(d.Vertices[0].Diffuse, 0x11443322u);
    EXPECT_EQ(d.Vertices[1].Diffuse, 0x55887766u);
    EXPECT_EQ(d.Vertices[2].Diffuse, 0x99CCBBAAu);
    EXPECT_EQ(d.Vertices[3].Diffuse, 0xDD00FFEEu);
    for (const TVertex& v : d.Vertices) {
        EXPECT_EQ(v.Z, 0.0f);
        EXPECT_EQ(v.RHW, 1.0f);
    }
    End();
}

// ---- what flushes ----

TEST_F(CanvasBatch, TexturedAfterUntexturedOrOtherTextureFlushesFirst) {
    TVornImage* image = AddReadyImage(64, 64, 2, {32, 32}, {32, 32}, 0);
    TRenderTarget* target = AddTarget(64);
    Begin();
    m_canvas->FillQuad(Rect(0, 0, 8, 8), ColorQuadOf(Red), beAlphaBlend);
    EXPECT_TRUE(rec->draws.empty());
    rec->calls.clear(); // the scene's fixed states are not the subject here
    m_canvas->DrawTexturedQuad(image, Rect(0, 0, 8, 8), ColorQuadOf(Red), SelectionOfPattern(0),
                               beAlphaBlend);
    EXPECT_EQ(rec->draws.size(), 1u); // untextured -> textured
    m_canvas->DrawTexturedQuad(image, Rect(0, 0, 8, 8), ColorQuadOf(Red), SelectionOfPattern(3),
                               beAlphaBlend);
    EXPECT_EQ(rec->draws.size(), 1u); // pattern 3 is on the same sub-texture 0
    m_canvas->DrawTexturedQuad(image, Rect(0, 0, 8, 8), ColorQuadOf(Red), SelectionOfPattern(4),
                               beAlphaBlend);
    EXPECT_EQ(rec->draws.size(), 2u); // sub-texture 1
    m_canvas->DrawTexturedQuad(target, Rect(0, 0, 8, 8), ColorQuadOf(Red), SelectionWhole, beAlphaBlend);
    EXPECT_EQ(rec->draws.size(), 3u); // another texture
    m_canvas->FillQuad(Rect(0, 0, 8, 8), ColorQuadOf(Red), beAlphaBlend);
    EXPECT_EQ(rec->draws.size(), 4u); // textured -> untextured
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 5u);
    EXPECT_EQ(rec->draws[1].PrimitiveCount, 4u); // patterns 0 and 3 shared a batch

    // Each change bound the new texture to stage 0: sub-texture 0, 1, the target, then none.
    std::vector<const Texture*> bound;
    for (const TCall& c : rec->calls)
        if (c.Kind == TCall::SetTex && c.Stage == 0) bound.push_back(c.Tex);
    ASSERT_EQ(bound.size(), 4u);
    EXPECT_EQ(bound[0], image->Texture(0).get());
    EXPECT_EQ(bound[1], image->Texture(1).get());
    EXPECT_EQ(bound[2], target->Texture().get());
    EXPECT_EQ(bound[3], nullptr);
    End();
}

TEST_F(CanvasBatch, AllWhiteAndTintedQuadsNeverShareABatch) {
    Begin();
    m_canvas->FillQuad(Rect(0, 0, 4, 4), ColorQuadWhite, beAlphaBlend);
    m_canvas->FillQuad(Rect(0, 0, 4, 4), ColorQuadWhite, beAlphaBlend);
    m_canvas->FillQuad(Rect(0, 0, 4, 4), MakeColorQuad(White, White, White, 0xFEFFFFFFu), beAlphaBlend);
    m_canvas->FillQuad(Rect(0, 0, 4, 4), ColorQuadOf(Red), beAlphaBlend);
    m_canvas->FillQuad(Rect(0, 0, 4, 4), ColorQuadWhite, beAlphaBlend);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 3u);
    EXPECT_EQ(rec->draws[0].PrimitiveCount, 4u);
    EXPECT_EQ(rec->draws[1].PrimitiveCount, 4u);
    EXPECT_EQ(rec->draws[2].PrimitiveCount, 2u);
    // The marker bit changes no state: blending stays as beAlphaBlend sets it.
    EXPECT_EQ(rec->LastRenderState(D3DRS_SRCBLEND), D3DBLEND_SRCALPHA);
    EXPECT_EQ(rec->LastRenderState(D3DRS_DESTBLEND), D3DBLEND_INVSRCALPHA);
    End();
}

TEST_F(CanvasBatch, LinesAndQuadsDoNotShareABatchButLinesKeepTheirEffect) {
    Begin();
    m_canvas->DrawLine({0, 0}, {4, 0}, Red, Red, beAlphaBlend);
    m_canvas->FillQuad(Rect(0, 0, 4, 4), ColorQuadWhite, beAlphaBlend);
    m_canvas->DrawLine({0, 0}, {4, 0}, Red, Red, beAlphaBlend);
    m_canvas->DrawLine({0, 0}, {4, 0}, White, White, beAlphaBlend);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 3u);
    EXPECT_EQ(rec->draws[2].Type, D3DPT_LINELIST);
    EXPECT_EQ(rec->draws[2].PrimitiveCount, 2u); // tinted and white lines share a batch
    End();
}

TEST_F(CanvasBatch, RepeatedDrawsSetNoStateAgain) {
    TVornImage* image = AddReadyImage(64, 64, 1, {16, 16}, {16, 16}, 0);
    Begin();
    m_canvas->DrawRotatedScaled(image, Red, 20, 20, 0.3, 1.5, 2, beAlphaBlend);
    const std::size_t afterFirst = rec->calls.size();
    EXPECT_GT(afterFirst, 0u);
    for (int i = 0; i < 300; ++i)
        m_canvas->DrawRotatedScaled(image, Red, i, 20, 0.1 * i, 1.0, i % 16, beAlphaBlend);
    EXPECT_EQ(rec->calls.size(), afterFirst);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 1u);
    EXPECT_EQ(rec->draws[0].PrimitiveCount, 602u);
    // Flushing changes nothing that must be set again either.
    rec->Clear();
    m_canvas->DrawRotatedScaled(image, Red, 20, 20, 0.0, 1.0, 0, beAlphaBlend);
    m_canvas->Flush();
    EXPECT_EQ(
        rec->CountOf(TCall::RenderState) + rec->CountOf(TCall::StageState) + rec->CountOf(TCall::SetTex), 0u);
    End();
}

TEST_F(CanvasBatch, EndOfSceneFlushesAndTheNextSceneStartsWithResetStates) {
    Begin();
    m_canvas->FillSolidRect(0, 0, 4, 4, Red, beAlphaAdd);
    EXPECT_TRUE(rec->draws.empty());
    m_device.EndScene();
    ASSERT_EQ(rec->draws.size(), 1u);

    Begin();
    m_canvas->FillSolidRect(0, 0, 4, 4, Red, beAlphaAdd); // same effect, but a new scene
    m_canvas->Flush();
    // The fixed states come first, then the effect's, then the texture, then the draw.
    ASSERT_FALSE(rec->calls.empty());
    EXPECT_EQ(rec->calls.front().Kind, TCall::RenderState);
    EXPECT_EQ(rec->calls.front().Type, D3DRS_LIGHTING);
    EXPECT_EQ(rec->LastRenderState(D3DRS_CULLMODE), D3DCULL_NONE);
    EXPECT_EQ(rec->LastRenderState(D3DRS_ZENABLE), 0);
    EXPECT_EQ(rec->LastRenderState(D3DRS_FOGENABLE), 0);
    EXPECT_EQ(rec->LastRenderState(D3DRS_ALPHAFUNC), D3DCMP_GREATEREQUAL);
    EXPECT_EQ(rec->LastRenderState(D3DRS_ALPHAREF), 1);
    EXPECT_EQ(rec->LastRenderState(D3DRS_ALPHATESTENABLE), 0);
    EXPECT_EQ(rec->LastRenderState(D3DRS_DITHERENABLE), 0);
    for (DWORD stage = 0; stage < MaxTextureStages; ++stage) {
        EXPECT_EQ(rec->LastStageState(stage, D3DTSS_TEXCOORDINDEX), 0);
        EXPECT_EQ(rec->LastStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS), D3DTTFF_DISABLE);
        EXPECT_EQ(rec->LastStageState(stage, D3DTSS_COLORARG1), D3DTA_TEXTURE);
        EXPECT_EQ(rec->LastStageState(stage, D3DTSS_ALPHAARG1), D3DTA_TEXTURE);
        EXPECT_EQ(rec->LastStageState(stage, D3DTSS_COLORARG2), D3DTA_DIFFUSE);
        EXPECT_EQ(rec->LastStageState(stage, D3DTSS_ALPHAARG2), D3DTA_DIFFUSE);
    }
    EXPECT_EQ(rec->CountOf(TCall::SetTex), 9u); // 8 stages cleared, then stage 0 for the quad
    EXPECT_EQ(rec->LastRenderState(D3DRS_SRCBLEND), D3DBLEND_SRCALPHA);
    EXPECT_EQ(rec->LastRenderState(D3DRS_DESTBLEND), D3DBLEND_ONE);
    EXPECT_EQ(rec->calls.back().Kind, TCall::Draw);
    End();
}

// ---- device loss ----

TEST_F(CanvasBatch, LostDeviceDropsBatchesAndDrawsAgainAfterReset) {
    m_device.Notify(msgDeviceLost);
    EXPECT_TRUE(m_canvas->Lost());
    Begin();
    for (int i = 0; i < 1000; ++i) m_canvas->FillSolidRect(0, 0, 4, 4, Red, beAlphaBlend);
    End();
    EXPECT_TRUE(rec->draws.empty());

    const int made = rec->vertexBuffersMade;
    m_device.Notify(msgDeviceReset);
    EXPECT_FALSE(m_canvas->Lost());
    EXPECT_EQ(rec->vertexBuffersMade, made + 1);
    Begin();
    m_canvas->FillSolidRect(0, 0, 4, 4, Red, beAlphaBlend);
    End();
    ASSERT_EQ(rec->draws.size(), 1u);
    EXPECT_EQ(rec->draws[0].PrimitiveCount, 2u);
}

TEST_F(CanvasBatch, ARealResetSucceedsBecauseTheBuffersWereReleased) {
    // The layer refuses to reset while default-pool buffers are alive.
    EXPECT_TRUE(m_device.ResetDevice());
    EXPECT_TRUE(m_canvas->Initialized());
    EXPECT_FALSE(m_canvas->Lost());
    Begin();
    m_canvas->FillSolidRect(0, 0, 4, 4, Red, beOpaque);
    End();
    EXPECT_EQ(rec->draws.size(), 1u);
}

TEST_F(CanvasBatch, FailedRecreationAfterResetFinalisesTheCanvas) {
    m_device.Notify(msgDeviceLost);
    rec->failVertexBuffer = true;
    m_device.Notify(msgDeviceReset);
    EXPECT_FALSE(m_canvas->Initialized());
    EXPECT_FALSE(m_canvas->Lost());
    Begin();
    m_canvas->FillSolidRect(0, 0, 4, 4, Red, beOpaque);
    End();
    EXPECT_TRUE(rec->draws.empty());
}

// ---- effect states ----

struct TEffectStates {
    TBlendEffect Effect;
    std::int64_t BlendEnable, Src, Dest, Op, ColorOp;
};

TEST_F(CanvasBatch, EffectCodesSetTheirBlendAndStageStates) {
    const TEffectStates table[] = {
        {beOpaque, 0, -1, -1, -1, D3DTOP_MODULATE},
        {beAlphaBlend, 1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, D3DTOP_MODULATE},
        {beAlphaAdd, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, D3DTOP_MODULATE},
        {beAlphaRevSub, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, D3DTOP_MODULATE},
        {beShadow, 1, D3DBLEND_ZERO, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, D3DTOP_MODULATE},
        {beMax, 1, D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX, D3DTOP_MODULATE},
        {0x0003090A, 1, D3DBLEND_SRCALPHASAT, D3DBLEND_INVDESTCOLOR, D3DBLENDOP_MIN, D3DTOP_MODULATE},
        {0x00020807, 1, D3DBLEND_INVDESTALPHA, D3DBLEND_DESTCOLOR, D3DBLENDOP_SUBTRACT, D3DTOP_MODULATE},
        {beAdd2x, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, D3DTOP_MODULATE2X},
        {beLight2x, 1, D3DBLEND_DESTCOLOR, D3DBLEND_ONE, D3DBLENDOP_ADD, D3DTOP_MODULATE2X},
        {beLight4x, 1, D3DBLEND_DESTCOLOR, D3DBLEND_ONE, D3DBLENDOP_ADD, D3DTOP_MODULATE4X},
        {beBlend2x, 1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, D3DTOP_MODULATE2X},
        {beBlend4x, 1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, D3DTOP_MODULATE4X},
        {beBlendMultiplyAdd, 1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, D3DTOP_MULTIPLYADD},
    };
    for (const TEffectStates& e : table) {
        SCOPED_TRACE(::testing::Message() << std::hex << "effect 0x" << e.Effect);
        // A scene of its own, so that nothing is left from the code before.
        Begin();
        m_canvas->FillSolidRect(0, 0, 2, 2, Red, e.Effect);
        m_canvas->Flush();
        EXPECT_EQ(rec->draws.size(), 1u);
        EXPECT_EQ(rec->LastRenderState(D3DRS_ALPHABLENDENABLE), e.BlendEnable);
        EXPECT_EQ(rec->LastRenderState(D3DRS_SRCBLEND), e.Src);
        EXPECT_EQ(rec->LastRenderState(D3DRS_DESTBLEND), e.Dest);
        EXPECT_EQ(rec->LastRenderState(D3DRS_BLENDOP), e.Op);
        EXPECT_EQ(rec->LastStageState(0, D3DTSS_COLOROP), e.ColorOp);
        EXPECT_EQ(rec->LastStageState(0, D3DTSS_ALPHAOP), D3DTOP_MODULATE);
        // The application turns alpha testing off: it is never touched outside ResetStates.
        EXPECT_EQ(rec->LastRenderState(D3DRS_ALPHATESTENABLE), 0);
        End();
    }
}

TEST_F(CanvasBatch, AlphaTestingFollowsBlending) {
    m_device.Finalize();
    m_canvas->SetAlphaTesting(true);
    ASSERT_TRUE(m_device.Initialize());
    rec = g_recorder;
    Begin();
    m_canvas->FillSolidRect(0, 0, 2, 2, Red, beAlphaBlend);
    EXPECT_EQ(rec->LastRenderState(D3DRS_ALPHATESTENABLE), 1);
    m_canvas->FillSolidRect(0, 0, 2, 2, Red, beOpaque);
    EXPECT_EQ(rec->LastRenderState(D3DRS_ALPHATESTENABLE), 0);
    End();
}

TEST_F(CanvasBatch, CodesOutsideTheTablesDrawNothing) {
    // Factor index 11, operation index 5, all bits set, and the dot-product code (not offered).
    for (TBlendEffect effect : {0x0000000Bu, 0x00050101u, 0xFFFFFFFFu, 0x7FFFFFF5u, 0x7FFFFFF7u}) {
        SCOPED_TRACE(::testing::Message() << std::hex << "effect 0x" << effect);
        Begin();
        m_canvas->FillSolidRect(0, 0, 2, 2, Red, beAlphaBlend);
        m_canvas->FillSolidRect(0, 0, 2, 2, Red, effect);
        m_canvas->DrawLine({0, 0}, {1, 0}, Red, Red, effect);
        m_canvas->FillSolidRect(0, 0, 2, 2, Red, beAlphaBlend);
        m_canvas->Flush();
        ASSERT_EQ(rec->draws.size(), 2u);
        EXPECT_EQ(rec->draws[0].PrimitiveCount, 2u);
        EXPECT_EQ(rec->draws[1].PrimitiveCount, 2u);
        EXPECT_EQ(rec->LastRenderState(D3DRS_TEXTUREFACTOR), -1);
        End();
    }
}

// ---- textures that cannot be drawn ----

TEST_F(CanvasBatch, DrawRotatedScaledNeedsAnImage) {
    TRenderTarget* target = AddTarget(64);
    Begin();
    m_canvas->FillSolidRect(0, 0, 2, 2, Red, beAlphaBlend);
    m_canvas->DrawRotatedScaled(nullptr, Red, 10, 10, 0, 1, 0, beAlphaBlend);
    m_canvas->DrawRotatedScaled(target, Red, 10, 10, 0, 1, 0, beAlphaBlend);
    m_canvas->DrawTexturedQuad(nullptr, Rect(0, 0, 4, 4), ColorQuadOf(Red), SelectionWhole, beAlphaBlend);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 1u);
    EXPECT_EQ(rec->draws[0].PrimitiveCount, 2u);
    End();
}

TEST_F(CanvasBatch, PatternOnAMissingSubTextureLeavesTheBatchAsItWas) {
    // 16 patterns per texture and 2 textures, but 40 patterns claimed.
    TVornImage* image = AddReadyImage(64, 64, 2, {16, 16}, {16, 16}, 40);
    Begin();
    m_canvas->DrawRotatedScaled(image, Red, 10, 10, 0, 1, 31, beAlphaBlend);
    m_canvas->DrawRotatedScaled(image, Red, 10, 10, 0, 1, 32, beAlphaBlend);
    m_canvas->DrawRotatedScaled(image, Red, 10, 10, 0, 1, 1000, beAlphaBlend);
    m_canvas->DrawRotatedScaled(image, Red, 10, 10, 0, 1, 30, beAlphaBlend);
    EXPECT_TRUE(rec->draws.empty());
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 1u);
    EXPECT_EQ(rec->draws[0].PrimitiveCount, 4u);
    End();
}

TEST_F(CanvasBatch, ImagesThatCannotBeDrawn) {
    auto unready = std::make_unique<TVornImage>(&m_device);              // never loaded: tsNone
    TVornImage* empty = AddReadyImage(64, 64, 0, {16, 16}, {16, 16}, 0); // no sub-texture, no pattern
    Begin();
    m_canvas->DrawRotatedScaled(unready.get(), Red, 10, 10, 0, 1, 0, beAlphaBlend);
    m_canvas->DrawRotatedScaled(empty, Red, 10, 10, 0, 1, 0, beAlphaBlend);
    m_canvas->Flush();
    EXPECT_TRUE(rec->draws.empty());
    End();
}

TEST_F(CanvasBatch, ATextureThatRefusesToBindDrawsNothing) {
    TVornImage* image = AddReadyImage(64, 64, 1, {16, 16}, {16, 16}, 0);
    TRenderTarget unmade(&m_device); // tsNone: nothing to bind
    unmade.SetSize(64, 64);
    Begin();
    m_canvas->DrawRotatedScaled(image, Red, 10, 10, 0, 1, 0, beAlphaBlend);
    m_canvas->DrawTexturedQuad(&unmade, Rect(0, 0, 4, 4), ColorQuadOf(Red), SelectionWhole, beAlphaBlend);
    m_canvas->DrawTexturedQuad(&unmade, Rect(0, 0, 4, 4), ColorQuadOf(Red), SelectionWhole, beAlphaBlend);
    m_canvas->DrawRotatedScaled(image, Red, 10, 10, 0, 1, 0, beAlphaBlend);
    m_canvas->Flush();
    // The image's quads went out before and after; the refused ones were not drawn with the
    // image's texture still bound.
    ASSERT_EQ(rec->draws.size(), 2u);
    EXPECT_EQ(rec->draws[0].PrimitiveCount, 2u);
    EXPECT_EQ(rec->draws[1].PrimitiveCount, 2u);
    End();
}

// ---- vertices of textured quads ----

TEST_F(CanvasBatch, TexturedCornersSnapToPixelsWithTiesToEven) {
    TRenderTarget* target = AddTarget(64);
    Begin();
    const TFloatQuad quad = {TFloatPoint{0.5f, 1.5f}, TFloatPoint{2.5f, -0.5f}, TFloatPoint{10.49f, 7.51f},
                             TFloatPoint{-1.5f, 3.0f}};
    m_canvas->DrawTexturedQuad(target, quad, ColorQuadWhite, SelectionWhole, beOpaque);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 1u);
    const auto& v = rec->draws[0].Vertices;
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].X, -0.5f); // 0.5 -> 0
    EXPECT_EQ(v[0].Y, 1.5f);  // 1.5 -> 2
    EXPECT_EQ(v[1].X, 1.5f);  // 2.5 -> 2
    EXPECT_EQ(v[1].Y, -0.5f); // -0.5 -> -0
    EXPECT_EQ(v[2].X, 9.5f);
    EXPECT_EQ(v[2].Y, 7.5f);
    EXPECT_EQ(v[3].X, -2.5f); // -1.5 -> -2
    EXPECT_EQ(v[3].Y, 2.5f);
    End();
}

TEST_F(CanvasBatch, SingleTextureSelectionReadsRightAndBottomEdges) {
    TRenderTarget* target = AddTarget(64);
    Begin();
    TPatternSelection selection;
    selection.Left = 16;
    selection.Top = 8;
    selection.Width = 48;  // right edge
    selection.Height = 32; // bottom edge
    selection.Mirror = 1;  // ignored for single textures
    m_canvas->DrawTexturedQuad(target, Rect(0, 0, 4, 4), ColorQuadWhite, selection, beOpaque);
    selection.Width = 0; // no extent: the whole texture
    m_canvas->DrawTexturedQuad(target, Rect(0, 0, 4, 4), ColorQuadWhite, selection, beOpaque);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 1u);
    const auto& v = rec->draws[0].Vertices;
    const float expectU[8] = {0.25f, 0.75f, 0.75f, 0.25f, 0, 1, 1, 0};
    const float expectV[8] = {0.125f, 0.125f, 0.5f, 0.5f, 0, 0, 1, 1};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(v[i].U, expectU[i]) << "vertex " << i;
        EXPECT_EQ(v[i].V, expectV[i]) << "vertex " << i;
    }
    End();
}

struct TPatternCase {
    const char* Name;
    TPatternSelection Selection;
    float U0, U1, V0, V1; // vertex 0/3 u, vertex 1/2 u, vertex 0/1 v, vertex 2/3 v
    std::int32_t SubTexture;
};

TEST_F(CanvasBatch, PatternCoordinatesOnAFourByFourGrid) {
    // 128 x 64 textures with 32 x 16 cells (4 x 4), visible 20 x 10 (offset 6, 3), two textures.
    TVornImage* image = AddReadyImage(128, 64, 2, {32, 16}, {20, 10}, 0);
    ASSERT_EQ(image->PatternColumns(), 4);
    ASSERT_EQ(image->PatternRows(), 4);
    ASSERT_EQ(image->PatternCount(), 32);
    auto sel = [](std::int32_t p, std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h, bool flip,
                  bool mirror) {
        TPatternSelection s;
        s.Pattern = p;
        s.Left = l;
        s.Top = t;
        s.Width = w;
        s.Height = h;
        s.Flip = flip ? 1 : 0;
        s.Mirror = mirror ? 1 : 0;
        return s;
    };
    const TPatternCase cases[] = {
        // cell 0: x = 6, y = 3; extents 20 x 10
        {"first", sel(0, 0, 0, 0, 0, false, false), 6 / 128.f, 26 / 128.f, 3 / 64.f, 13 / 64.f, 0},
        // pattern 6: column 2, row 1 -> x = 64 + 6, y = 16 + 3
        {"column 2 row 1", sel(6, 0, 0, 0, 0, false, false), 70 / 128.f, 90 / 128.f, 19 / 64.f, 29 / 64.f, 0},
        // pattern 31: texture 1, cell 15 -> column 3, row 3
        {"last", sel(31, 0, 0, 0, 0, false, false), 102 / 128.f, 122 / 128.f, 51 / 64.f, 61 / 64.f, 1},
        {"past the last", sel(500, 0, 0, 0, 0, false, false), 102 / 128.f, 122 / 128.f, 51 / 64.f, 61 / 64.f,
         1},
        {"negative", sel(-7, 0, 0, 0, 0, false, false), 6 / 128.f, 26 / 128.f, 3 / 64.f, 13 / 64.f, 0},
        // pattern 17: texture 1, cell 1
        {"mirror", sel(17, 0, 0, 0, 0, false, true), 58 / 128.f, 38 / 128.f, 3 / 64.f, 13 / 64.f, 1},
        {"flip", sel(17, 0, 0, 0, 0, true, false), 38 / 128.f, 58 / 128.f, 13 / 64.f, 3 / 64.f, 1},
        {"mirror and flip", sel(17, 0, 0, 0, 0, true, true), 58 / 128.f, 38 / 128.f, 13 / 64.f, 3 / 64.f, 1},
        // an offset and explicit extents within pattern 5 (column 1, row 1): x = 32 + 6 + 2
        {"offset and extents", sel(5, 2, 1, 8, 4, false, false), 40 / 128.f, 48 / 128.f, 20 / 64.f, 24 / 64.f,
         0},
        // only one extent given: the other comes from the visible size
        {"width only", sel(0, 0, 0, 5, 0, false, false), 6 / 128.f, 11 / 128.f, 3 / 64.f, 13 / 64.f, 0},
    };
    for (const TPatternCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Begin();
        m_canvas->DrawTexturedQuad(image, Rect(0, 0, 20, 10), ColorQuadWhite, c.Selection, beAlphaBlend);
        m_canvas->Flush();
        ASSERT_EQ(rec->draws.size(), 1u);
        const auto& v = rec->draws[0].Vertices;
        EXPECT_EQ(v[0].U, c.U0);
        EXPECT_EQ(v[3].U, c.U0);
        EXPECT_EQ(v[1].U, c.U1);
        EXPECT_EQ(v[2].U, c.U1);
        EXPECT_EQ(v[0].V, c.V0);
        EXPECT_EQ(v[1].V, c.V0);
        EXPECT_EQ(v[2].V, c.V1);
        EXPECT_EQ(v[3].V, c.V1);
        const Texture* bound = nullptr;
        for (const TCall& call : rec->calls)
            if (call.Kind == TCall::SetTex && call.Stage == 0) bound = call.Tex;
        EXPECT_EQ(bound, image->Texture(c.SubTexture).get());
        End();
    }
}

TEST_F(CanvasBatch, RotatedScaledQuadIsCentredOnItsPosition) {
    // Visible 10 x 6 in a 16 x 8 cell; scale 2 and a quarter turn clockwise.
    TVornImage* image = AddReadyImage(64, 32, 1, {16, 8}, {10, 6}, 0);
    Begin();
    m_canvas->DrawRotatedScaled(image, 0x80FFFFFFu, 30, 20, 0.0, 2.0, 0, beAlphaBlend);
    m_canvas->DrawRotatedScaled(image, 0x80FFFFFFu, 30, 20, 3.14159265358979323846 / 2, 1.0, 0, beAlphaBlend);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 1u);
    const auto& v = rec->draws[0].Vertices;
    // (-10, -6)..(10, 6) around (30, 20), snapped and shifted by half a pixel.
    EXPECT_EQ(v[0].X, 19.5f);
    EXPECT_EQ(v[0].Y, 13.5f);
    EXPECT_EQ(v[2].X, 39.5f);
    EXPECT_EQ(v[2].Y, 25.5f);
    EXPECT_EQ(v[0].Diffuse, 0x80FFFFFFu);
    // Turned clockwise: the top-left corner (-5, -3) goes to (3, -5).
    EXPECT_EQ(v[4].X, 32.5f);
    EXPECT_EQ(v[4].Y, 14.5f);
    EXPECT_EQ(v[6].X, 26.5f);
    EXPECT_EQ(v[6].Y, 24.5f);
    End();
}

// ---- lines and frames ----

TEST_F(CanvasBatch, FrameOfARectangleLiesInsideIt) {
    Begin();
    m_canvas->FrameGradientRect(TIntRect{0, 0, 10, 10},
                                MakeColorQuad(0xFF000001u, 0xFF000002u, 0xFF000003u, 0xFF000004u), beOpaque);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 1u);
    const TDraw& d = rec->draws[0];
    EXPECT_EQ(d.Type, D3DPT_LINELIST);
    EXPECT_EQ(d.PrimitiveCount, 4u);
    EXPECT_EQ(d.Indices, (std::vector<std::uint16_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    const float x[8] = {0, 9, 9, 9, 9, 0, 0, 0};
    const float y[8] = {0, 0, 0, 9, 9, 9, 9, 0};
    const std::uint32_t color[8] = {0xFF010000u, 0xFF020000u, 0xFF020000u, 0xFF030000u,
                                    0xFF030000u, 0xFF040000u, 0xFF040000u, 0xFF010000u};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(d.Vertices[i].X, x[i]) << "vertex " << i;
        EXPECT_EQ(d.Vertices[i].Y, y[i]) << "vertex " << i;
        EXPECT_EQ(d.Vertices[i].Diffuse, color[i]) << "vertex " << i;
    }
    End();
}

TEST_F(CanvasBatch, VertexCacheIsRoundedUpToFourAndClamped) {
    m_device.Finalize();
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {100, 512},     {5000, 5000}, {4097, 4100},        {70000, 65536},        {512, 512},
        {65533, 65536}, {-5, 512},    {2147483647, 65536}, {-2147483647 - 1, 512}};
    for (const auto& [value, expected] : cases) {
        m_canvas->SetVertexCache(value);
        EXPECT_EQ(m_canvas->VertexCache(), expected) << "value " << value;
    }
}

TEST_F(CanvasBatch, VertexCacheAndAlphaTestingAreFixedWhileInitialised) {
    m_canvas->SetVertexCache(1024);
    m_canvas->SetAlphaTesting(true);
    EXPECT_EQ(m_canvas->VertexCache(), 4096);
    EXPECT_FALSE(m_canvas->AlphaTesting());
}

TEST_F(CanvasBatch, LargestVertexCacheReachesTheLastSixteenBitIndex) {
    m_device.Finalize();
    m_canvas->SetVertexCache(65536);
    ASSERT_TRUE(m_device.Initialize());
    rec = g_recorder;
    Begin();
    // Lines use two vertices and two indices each: 32768 of them fill the batch exactly.
    for (int i = 0; i < 32769; ++i) m_canvas->DrawLine({0, 0}, {1, 0}, Red, Red, beOpaque);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 2u);
    EXPECT_EQ(rec->draws[0].NumVertices, 65536u);
    EXPECT_EQ(rec->draws[0].Indices.back(), 65535);
    EXPECT_EQ(rec->draws[1].PrimitiveCount, 1u);
    // Quads are bounded by their indices: 10922 quads (65532 indices, 43688 vertices).
    rec->Clear();
    for (int i = 0; i < 10923; ++i) m_canvas->FillSolidRect(0, 0, 1, 1, Red, beOpaque);
    m_canvas->Flush();
    ASSERT_EQ(rec->draws.size(), 2u);
    EXPECT_EQ(rec->draws[0].NumVertices, 43688u);
    EXPECT_EQ(rec->draws[0].Indices.back(), 43687);
    End();
}

TEST_F(CanvasBatch, AntialiasAndDitheringApplyAtOnceWhileInitialised) {
    Begin();
    m_canvas->FillSolidRect(0, 0, 2, 2, Red, beOpaque);
    EXPECT_EQ(rec->calls.back().Kind, TCall::SetTex);
    m_canvas->SetAntialias(false);
    ASSERT_EQ(rec->draws.size(), 1u); // flushed first
    ASSERT_GE(rec->calls.size(), 2u);
    const TCall& mag = rec->calls[rec->calls.size() - 2];
    const TCall& min = rec->calls.back();
    EXPECT_EQ(mag.Kind, TCall::Sampler);
    EXPECT_EQ(mag.Type, D3DSAMP_MAGFILTER);
    EXPECT_EQ(mag.Value, D3DTEXF_POINT);
    EXPECT_EQ(min.Type, D3DSAMP_MINFILTER);
    EXPECT_EQ(min.Value, D3DTEXF_POINT);
    m_canvas->SetDithering(true);
    EXPECT_EQ(rec->LastRenderState(D3DRS_DITHERENABLE), 1);
    End();

    // The next scene's ResetStates keeps them.
    Begin();
    m_canvas->FillSolidRect(0, 0, 2, 2, Red, beOpaque);
    EXPECT_EQ(rec->LastRenderState(D3DRS_DITHERENABLE), 1);
    std::int64_t filter = -1;
    for (const TCall& c : rec->calls)
        if (c.Kind == TCall::Sampler && c.Type == D3DSAMP_MINFILTER) filter = c.Value;
    EXPECT_EQ(filter, D3DTEXF_POINT);
    End();
}

} // namespace
} // namespace vorn
