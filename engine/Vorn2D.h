// The quad canvas: collects pre-transformed, coloured, optionally textured vertices into a
// batch in system memory and hands it to the device as one indexed draw whenever the next
// primitive needs other state or more room, or the scene ends. Every operation carries a
// blend effect code (TBlendEffect) that selects blending and texture-stage state.
// Coordinates are pixels of the current render target; colours are TCanvasColor (0xAABBGGRR).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/VornDef.h"
#include "engine/VornSubsc.h"
#include "engine/soft/SoftDevice.h"

namespace vorn {

class TDXBaseTexture;
struct TPatternGeometry;

class TVorn2D : public TVornDeviceSubscriber {
public:
    TVorn2D();
    ~TVorn2D() override;

    // Texture may be an image (its pattern geometry gives the coordinates) or a single texture.
    void DrawTexturedQuad(TDXBaseTexture* texture, const TFloatQuad& quad, const TColorQuad& colors,
                          const TPatternSelection& selection, TBlendEffect effect);
    // One image pattern centred at (x, y), scaled and rotated; draws nothing unless texture is
    // an image.
    void DrawRotatedScaled(TDXBaseTexture* texture, TCanvasColor color, double x, double y, double angle,
                           double scale, std::int32_t pattern, TBlendEffect effect);
    void FillQuad(const TFloatQuad& quad, const TColorQuad& colors, TBlendEffect effect);
    void FillGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect);
    void FillRectColor(const TIntRect& rect, TCanvasColor color, TBlendEffect effect);
    void FillSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                       TCanvasColor color, TBlendEffect effect);
    void DrawLine(TFloatPoint p1, TFloatPoint p2, TCanvasColor color1, TCanvasColor color2,
                  TBlendEffect effect);
    void FrameQuad(const TFloatQuad& quad, const TColorQuad& colors, TBlendEffect effect);
    void FrameGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect);
    void FrameRectColor(const TIntRect& rect, TCanvasColor color, TBlendEffect effect);
    void FrameSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                        TCanvasColor color, TBlendEffect effect);
    void Flush();

    std::int32_t VertexCache() const;
    void SetVertexCache(std::int32_t value);
    bool AlphaTesting() const;
    void SetAlphaTesting(bool value);
    bool Antialias() const;
    void SetAntialias(bool value);
    bool Dithering() const;
    void SetDithering(bool value);

    bool HandleNotification(std::uint32_t message) override;

    // Between msgInitialize and msgFinalize, with the buffers made.
    bool Initialized() const { return m_initialized; }
    // The device is lost: primitives are batched and dropped at the next flush.
    bool Lost() const { return m_lost; }
    // Batches that a flush handed to the device and the device refused (out of memory, say), since
    // the canvas was made; their primitives are missing from the target.
    std::uint64_t FailedDraws() const { return m_failedDraws; }

    // One vertex as the device reads it (FVF 0x144, 28 bytes). Z and RHW are written once, when
    // the vertex array is allocated; Diffuse is a D3DCOLOR (0xAARRGGBB).
    struct TVertex {
        float X;
        float Y;
        float Z;
        float RHW;
        std::uint32_t Diffuse;
        float U;
        float V;
    };

private:
    enum TPrimitiveKind : std::uint8_t { pkLines = 1, pkTriangles = 2, pkNone = 3 };
    static constexpr TBlendEffect NoEffect = 0xFFFFFFFFu;
    static constexpr std::int32_t SubTextureUnset = -2; // forces the next draw to bind
    static constexpr std::int32_t SubTextureNone = -1;  // no texture on stage 0

    // Makes room for n vertices and m indices of kind with the given texture and effect,
    // flushing and changing state as needed. False when the primitive cannot be drawn
    // (not initialised, an effect code outside the tables, a texture that refused to bind):
    // the caller then appends nothing.
    bool PrepareBatch(TPrimitiveKind kind, std::int32_t vertices, std::int32_t indices,
                      TDXBaseTexture* texture, std::int32_t subTexture, TBlendEffect effect);
    // False for a code whose factor or operation index lies outside the tables.
    bool SetEffectStates(TBlendEffect effect);
    void ResetStates();
    void EmptyBatch();
    void ApplyFilters(sd::Device& device);

    // Appends a quad over four new vertices; returns the first of them.
    TVertex* AppendQuad();
    void DrawImagePattern(TDXBaseTexture& image, const TPatternGeometry& grid, const TFloatQuad& quad,
                          const TColorQuad& colors, const TPatternSelection& selection, TBlendEffect effect);
    void DrawSingleTexture(TDXBaseTexture& texture, const TFloatQuad& quad, const TColorQuad& colors,
                           const TPatternSelection& selection, TBlendEffect effect);
    void EmitTexturedQuad(const TFloatQuad& quad, const TColorQuad& colors, const float (&u)[4],
                          const float (&v)[4]);

    bool CreateBuffers();
    void ReleaseBuffers();
    bool Initialize();
    void Finalize();
    sd::Device* D3D() const;

    std::int32_t m_vertexCache = 4096;
    bool m_antialias = true;
    bool m_dithering = false;
    bool m_alphaTesting = true;

    bool m_initialized = false;
    bool m_lost = false;
    bool m_statePending = false;
    bool m_separateAlpha = false; // D3DRS_SEPARATEALPHABLENDENABLE as last set (beCoverageAlpha)
    std::uint64_t m_failedDraws = 0;

    std::vector<TVertex> m_vertices;
    std::vector<std::uint16_t> m_indices;
    sd::VertexBufferPtr m_vertexBuffer;
    sd::IndexBufferPtr m_indexBuffer;

    std::int32_t m_vertexCount = 0;
    std::int32_t m_indexCount = 0;
    std::int32_t m_primitiveCount = 0;
    TPrimitiveKind m_kind = pkNone;
    TBlendEffect m_currentEffect = NoEffect;
    TDXBaseTexture* m_currentTexture = nullptr;
    std::int32_t m_currentSubTexture = SubTextureUnset;
};

static_assert(sizeof(TVorn2D::TVertex) == 28);

} // namespace vorn
