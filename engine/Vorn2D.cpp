#include "engine/Vorn2D.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "engine/DXTextures.h"
#include "engine/VornDevices.h"

namespace vorn {

namespace {

using namespace sd;

// Factor index (byte 0 and 1 of an ordinary code) to D3DBLEND: the Direct3D value minus one.
constexpr std::array<DWORD, 11> BlendFactors = {
    D3DBLEND_ZERO,      D3DBLEND_ONE,          D3DBLEND_SRCCOLOR,   D3DBLEND_INVSRCCOLOR,
    D3DBLEND_SRCALPHA,  D3DBLEND_INVSRCALPHA,  D3DBLEND_DESTALPHA,  D3DBLEND_INVDESTALPHA,
    D3DBLEND_DESTCOLOR, D3DBLEND_INVDESTCOLOR, D3DBLEND_SRCALPHASAT};

// Operation index (byte 2): note the order differs from the D3DBLENDOP numbering.
constexpr std::array<DWORD, 5> BlendOperations = {D3DBLENDOP_ADD, D3DBLENDOP_REVSUBTRACT, D3DBLENDOP_SUBTRACT,
                                                  D3DBLENDOP_MIN, D3DBLENDOP_MAX};

// The special codes 0x7FFFFFF0.. take their factors and stage-0 colour operation from this
// table, not from their bytes; they blend with D3DBLENDOP_ADD. 0x7FFFFFF5 (a dot-product
// effect nothing uses) is not offered: its entry is empty and it draws nothing.
struct TSpecialEffect {
    DWORD Source;
    DWORD Dest;
    DWORD ColorOp;
};
constexpr TBlendEffect FirstSpecial = 0x7FFFFFF0u;
constexpr std::array<TSpecialEffect, 7> SpecialEffects = {{
    {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DTOP_MODULATE2X},          // beAdd2x
    {D3DBLEND_DESTCOLOR, D3DBLEND_ONE, D3DTOP_MODULATE2X},         // beLight2x
    {D3DBLEND_DESTCOLOR, D3DBLEND_ONE, D3DTOP_MODULATE4X},         // beLight4x
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DTOP_MODULATE2X},  // beBlend2x
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DTOP_MODULATE4X},  // beBlend4x
    {0, 0, 0},                                                     // 0x7FFFFFF5: not offered
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DTOP_MULTIPLYADD}, // beBlendMultiplyAdd
}};

// Byte 3 of an ordinary code is not read by the state setter; a tinted quad sets this bit so
// that all-white and tinted quads never share a batch.
constexpr TBlendEffect TintedBit = 0x10000000u;

constexpr UINT VertexStride = sizeof(TVorn2D::TVertex);

TBlendEffect WithWhiteRule(TBlendEffect effect, const TColorQuad& colors) {
    const bool white = (colors[0] & colors[1] & colors[2] & colors[3]) == 0xFFFFFFFFu;
    return white ? effect : effect | TintedBit;
}

// a + b saturated to the int32 range (rectangle edges from a position and an extent).
std::int32_t SaturatedSum(std::int32_t a, std::int32_t b) {
    const std::int64_t sum = std::int64_t{a} + b;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// Pixel centres lie on integer coordinates; snapping a corner to the nearest integer (ties to
// even) and shifting by half a pixel puts texel centres on pixel centres.
float SnapToTexelGrid(float value) {
    return std::nearbyint(value) - 0.5f;
}

// Everything of a vertex but Z and RHW, which stay as allocated.
void SetVertex(TVorn2D::TVertex& vertex, float x, float y, TCanvasColor color, float u, float v) {
    vertex.X = x;
    vertex.Y = y;
    vertex.Diffuse = CanvasToD3DColor(color);
    vertex.U = u;
    vertex.V = v;
}

// Copies bytes into the start of a dynamic buffer through a discarding lock.
template <class TBuffer> bool CopyIntoBuffer(TBuffer& buffer, const void* data, UINT bytes) {
    void* target = nullptr;
    if (Failed(buffer.Lock(0, bytes, &target, D3DLOCK_DISCARD))) return false;
    if (target) std::memcpy(target, data, bytes);
    return Succeeded(buffer.Unlock()) && target;
}

} // namespace

TVorn2D::TVorn2D() = default;

TVorn2D::~TVorn2D() {
    if (m_initialized) Finalize();
}

// ---- properties ----

std::int32_t TVorn2D::VertexCache() const {
    return m_vertexCache;
}

void TVorn2D::SetVertexCache(std::int32_t value) {
    if (m_initialized) return;
    // Up to the next multiple of 4, then into 512..65536 (16-bit indices reach 65535).
    const std::int64_t raised = (std::int64_t{value} + 3) / 4 * 4;
    m_vertexCache = static_cast<std::int32_t>(std::clamp<std::int64_t>(raised, 512, 65536));
}

bool TVorn2D::AlphaTesting() const {
    return m_alphaTesting;
}

void TVorn2D::SetAlphaTesting(bool value) {
    if (!m_initialized) m_alphaTesting = value;
}

bool TVorn2D::Antialias() const {
    return m_antialias;
}

void TVorn2D::SetAntialias(bool value) {
    m_antialias = value;
    if (!m_initialized) return;
    Flush();
    if (Device* device = D3D()) ApplyFilters(*device);
}

bool TVorn2D::Dithering() const {
    return m_dithering;
}

void TVorn2D::SetDithering(bool value) {
    m_dithering = value;
    if (!m_initialized) return;
    Flush();
    if (Device* device = D3D()) device->SetRenderState(D3DRS_DITHERENABLE, m_dithering ? 1 : 0);
}

// ---- device notifications and resources ----

Device* TVorn2D::D3D() const {
    const TVornDevice* device = GetDevice();
    return device ? device->D3DDevice() : nullptr;
}

bool TVorn2D::HandleNotification(std::uint32_t message) {
    switch (message) {
    case msgInitialize:
        return Initialize();
    case msgFinalize:
        Finalize();
        break;
    case msgDeviceLost:
        if (m_initialized) {
            ReleaseBuffers();
            m_lost = true;
        }
        break;
    case msgDeviceReset:
        if (m_initialized) {
            EmptyBatch();
            if (CreateBuffers()) {
                // A reset device starts from default states: apply ours again.
                m_statePending = true;
                m_separateAlpha = false;
            } else {
                Finalize();
            }
        }
        m_lost = false;
        break;
    case msgEndScene:
        if (m_initialized) {
            Flush();
            m_statePending = true;
        }
        break;
    default:
        break;
    }
    return true;
}

bool TVorn2D::CreateBuffers() {
    ReleaseBuffers();
    Device* device = D3D();
    if (!device) return false;
    const DWORD usage = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC;
    const UINT count = static_cast<UINT>(m_vertexCache);
    if (Failed(device->CreateVertexBuffer(count * VertexStride, usage, FVF_CANVAS, D3DPOOL_DEFAULT,
                                          &m_vertexBuffer)) ||
        !m_vertexBuffer ||
        Failed(device->CreateIndexBuffer(count * sizeof(std::uint16_t), usage, D3DFMT_INDEX16,
                                         D3DPOOL_DEFAULT, &m_indexBuffer)) ||
        !m_indexBuffer) {
        // Default-pool buffers left alive would keep the device from being reset.
        ReleaseBuffers();
        return false;
    }
    return true;
}

void TVorn2D::ReleaseBuffers() {
    m_vertexBuffer.reset();
    m_indexBuffer.reset();
}

bool TVorn2D::Initialize() {
    if (m_initialized) Finalize();
    const bool created = CreateBuffers();
    EmptyBatch();
    m_currentEffect = NoEffect;
    m_currentTexture = nullptr;
    m_currentSubTexture = SubTextureUnset;
    if (created) {
        m_vertices.assign(static_cast<std::size_t>(m_vertexCache),
                          TVertex{0.0f, 0.0f, 0.0f, 1.0f, 0, 0.0f, 0.0f});
        m_indices.assign(static_cast<std::size_t>(m_vertexCache), 0);
    }
    m_statePending = true;
    m_separateAlpha = false;
    m_lost = false;
    m_initialized = created;
    return created;
}

void TVorn2D::Finalize() {
    ReleaseBuffers();
    m_vertices = {};
    m_indices = {};
    EmptyBatch();
    m_currentEffect = NoEffect;
    m_currentTexture = nullptr;
    m_currentSubTexture = SubTextureUnset;
    m_initialized = false;
    m_lost = false;
}

// ---- batching and state ----

void TVorn2D::EmptyBatch() {
    m_vertexCount = 0;
    m_indexCount = 0;
    m_primitiveCount = 0;
    m_kind = pkNone;
}

void TVorn2D::ApplyFilters(Device& device) {
    const DWORD filter = m_antialias ? D3DTEXF_LINEAR : D3DTEXF_POINT;
    device.SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    device.SetSamplerState(0, D3DSAMP_MINFILTER, filter);
}

void TVorn2D::ResetStates() {
    Device* device = D3D();
    if (!device || !m_initialized) return;
    EmptyBatch();
    m_currentEffect = NoEffect;
    m_currentTexture = nullptr;
    m_currentSubTexture = SubTextureUnset;

    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, 0);
    device->SetRenderState(D3DRS_FOGENABLE, 0);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    device->SetRenderState(D3DRS_ALPHAREF, 1);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    for (DWORD stage = 0; stage < MaxTextureStages; ++stage) {
        device->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, 0);
        device->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        device->SetTexture(stage, nullptr);
        device->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(stage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(stage, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }
    device->SetRenderState(D3DRS_DITHERENABLE, m_dithering ? 1 : 0);
    ApplyFilters(*device);
    m_statePending = false;
}

bool TVorn2D::SetEffectStates(TBlendEffect effect) {
    Device* device = D3D();
    if (!device) return false;

    const bool coverage = (effect & beCoverageAlpha) != 0;
    effect &= ~beCoverageAlpha;
    const bool special = effect >= FirstSpecial && effect - FirstSpecial < SpecialEffects.size();
    const TSpecialEffect* entry = special ? &SpecialEffects[effect - FirstSpecial] : nullptr;
    const std::uint32_t s = effect & 0xFF;
    const std::uint32_t d = (effect >> 8) & 0xFF;
    const std::uint32_t o = (effect >> 16) & 0xFF;
    if (special ? entry->Source == 0
                : (s >= BlendFactors.size() || d >= BlendFactors.size() || o >= BlendOperations.size()))
        return false;

    const bool blending = special || !(s == 1 && d == 0 && o == 0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, blending ? 1 : 0);
    if (m_alphaTesting) device->SetRenderState(D3DRS_ALPHATESTENABLE, blending ? 1 : 0);
    if (special) {
        device->SetRenderState(D3DRS_SRCBLEND, entry->Source);
        device->SetRenderState(D3DRS_DESTBLEND, entry->Dest);
        device->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
        device->SetTextureStageState(0, D3DTSS_COLOROP, entry->ColorOp);
    } else {
        if (blending) {
            device->SetRenderState(D3DRS_SRCBLEND, BlendFactors[s]);
            device->SetRenderState(D3DRS_DESTBLEND, BlendFactors[d]);
            device->SetRenderState(D3DRS_BLENDOP, BlendOperations[o]);
        }
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    }
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    // Only a coverage code turns the separate alpha blend on, and the next other code off again:
    // the ordinary codes set the very states they always did.
    if (coverage && blending) {
        device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, 1);
        device->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_INVSRCALPHA);
        device->SetRenderState(D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD);
        m_separateAlpha = true;
    } else if (m_separateAlpha) {
        device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, 0);
        m_separateAlpha = false;
    }
    return true;
}

bool TVorn2D::PrepareBatch(TPrimitiveKind kind, std::int32_t vertices, std::int32_t indices,
                           TDXBaseTexture* texture, std::int32_t subTexture, TBlendEffect effect) {
    if (!m_initialized) return false;
    if (m_statePending) ResetStates();

    if (m_vertexCount + vertices > m_vertexCache || m_indexCount + indices > m_vertexCache ||
        (m_kind != pkNone && m_kind != kind))
        Flush();

    if (effect == NoEffect || effect != m_currentEffect) {
        Flush();
        if (!SetEffectStates(effect)) {
            m_currentEffect = NoEffect;
            return false;
        }
        m_currentEffect = effect;
    }

    if (m_currentSubTexture == SubTextureUnset || texture != m_currentTexture ||
        subTexture != m_currentSubTexture) {
        Flush();
        bool bound = false;
        if (texture && subTexture != SubTextureNone) {
            bound = texture->Bind(0, static_cast<std::uint32_t>(subTexture));
        } else if (Device* device = D3D()) {
            bound = Succeeded(device->SetTexture(0, nullptr));
        }
        if (!bound) {
            // Whatever was bound before is still there: drawing now would use the wrong
            // texture, so the primitive is dropped and the next one binds again.
            m_currentTexture = nullptr;
            m_currentSubTexture = SubTextureUnset;
            return false;
        }
        m_currentTexture = texture;
        m_currentSubTexture = subTexture;
    }

    m_kind = kind;
    return true;
}

TVorn2D::TVertex* TVorn2D::AppendQuad() {
    const std::int32_t base = m_vertexCount;
    const auto b = static_cast<std::uint16_t>(base);
    std::uint16_t* index = m_indices.data() + m_indexCount;
    index[0] = b;
    index[1] = static_cast<std::uint16_t>(b + 1);
    index[2] = static_cast<std::uint16_t>(b + 3);
    index[3] = static_cast<std::uint16_t>(b + 1);
    index[4] = static_cast<std::uint16_t>(b + 2);
    index[5] = static_cast<std::uint16_t>(b + 3);
    m_vertexCount += 4;
    m_indexCount += 6;
    m_primitiveCount += 2;
    return m_vertices.data() + base;
}

void TVorn2D::Flush() {
    if (m_vertexCount > 0 && m_primitiveCount > 0 && !m_lost && m_vertexBuffer && m_indexBuffer) {
        if (Device* device = D3D()) {
            const UINT vertexBytes = static_cast<UINT>(m_vertexCount) * VertexStride;
            const UINT indexBytes = static_cast<UINT>(m_indexCount) * sizeof(std::uint16_t);
            const D3DPRIMITIVETYPE type = m_kind == pkLines ? D3DPT_LINELIST : D3DPT_TRIANGLELIST;
            // Each step only after the one before succeeded; a failure drops this batch.
            const bool drawn =
                CopyIntoBuffer(*m_vertexBuffer, m_vertices.data(), vertexBytes) &&
                CopyIntoBuffer(*m_indexBuffer, m_indices.data(), indexBytes) &&
                Succeeded(device->SetStreamSource(0, m_vertexBuffer, 0, VertexStride)) &&
                Succeeded(device->SetIndices(m_indexBuffer)) && Succeeded(device->SetVertexShader(nullptr)) &&
                Succeeded(device->SetFVF(FVF_CANVAS)) &&
                Succeeded(device->DrawIndexedPrimitive(type, 0, 0, static_cast<UINT>(m_vertexCount), 0,
                                                       static_cast<UINT>(m_primitiveCount)));
            if (!drawn) ++m_failedDraws;
        }
    }
    EmptyBatch();
}

// ---- drawing ----

void TVorn2D::FillQuad(const TFloatQuad& quad, const TColorQuad& colors, TBlendEffect effect) {
    if (!PrepareBatch(pkTriangles, 4, 6, nullptr, SubTextureNone, WithWhiteRule(effect, colors))) return;
    TVertex* v = AppendQuad();
    for (int i = 0; i < 4; ++i) SetVertex(v[i], quad[i].X, quad[i].Y, colors[i], 0.0f, 0.0f);
}

void TVorn2D::FillGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect) {
    FillQuad(QuadFromRect(rect), colors, effect);
}

void TVorn2D::FillRectColor(const TIntRect& rect, TCanvasColor color, TBlendEffect effect) {
    FillGradientRect(rect, ColorQuadOf(color), effect);
}

void TVorn2D::FillSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                            TCanvasColor color, TBlendEffect effect) {
    FillRectColor(TIntRect{left, top, SaturatedSum(left, width), SaturatedSum(top, height)}, color, effect);
}

void TVorn2D::DrawLine(TFloatPoint p1, TFloatPoint p2, TCanvasColor color1, TCanvasColor color2,
                       TBlendEffect effect) {
    if (!PrepareBatch(pkLines, 2, 2, nullptr, SubTextureNone, effect)) return;
    const std::int32_t base = m_vertexCount;
    m_indices[static_cast<std::size_t>(m_indexCount)] = static_cast<std::uint16_t>(base);
    m_indices[static_cast<std::size_t>(m_indexCount) + 1] = static_cast<std::uint16_t>(base + 1);
    TVertex* v = m_vertices.data() + base;
    SetVertex(v[0], p1.X, p1.Y, color1, 0.0f, 0.0f);
    SetVertex(v[1], p2.X, p2.Y, color2, 0.0f, 0.0f);
    m_vertexCount += 2;
    m_indexCount += 2;
    m_primitiveCount += 1;
}

void TVorn2D::FrameQuad(const TFloatQuad& quad, const TColorQuad& colors, TBlendEffect effect) {
    TFloatQuad q = quad;
    const bool axisAligned = q[0].Y == q[1].Y && q[2].Y == q[3].Y && q[0].X == q[3].X && q[1].X == q[2].X;
    if (axisAligned) {
        // Keep the outline inside the rectangle: its right and bottom edges are exclusive.
        q[1].X -= 1.0f;
        q[2].X -= 1.0f;
        q[2].Y -= 1.0f;
        q[3].Y -= 1.0f;
    }
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        DrawLine(q[i], q[j], colors[i], colors[j], effect);
    }
}

void TVorn2D::FrameGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect) {
    FrameQuad(QuadFromRect(rect), colors, effect);
}

void TVorn2D::FrameRectColor(const TIntRect& rect, TCanvasColor color, TBlendEffect effect) {
    FrameGradientRect(rect, ColorQuadOf(color), effect);
}

void TVorn2D::FrameSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                             TCanvasColor color, TBlendEffect effect) {
    FrameRectColor(TIntRect{left, top, SaturatedSum(left, width), SaturatedSum(top, height)}, color, effect);
}

void TVorn2D::EmitTexturedQuad(const TFloatQuad& quad, const TColorQuad& colors, const float (&u)[4],
                               const float (&v)[4]) {
    TVertex* vertex = AppendQuad();
    for (int i = 0; i < 4; ++i)
        SetVertex(vertex[i], SnapToTexelGrid(quad[i].X), SnapToTexelGrid(quad[i].Y), colors[i], u[i], v[i]);
}

void TVorn2D::DrawTexturedQuad(TDXBaseTexture* texture, const TFloatQuad& quad, const TColorQuad& colors,
                               const TPatternSelection& selection, TBlendEffect effect) {
    if (!texture) return;
    if (const std::optional<TPatternGeometry> grid = texture->PatternGeometry())
        DrawImagePattern(*texture, *grid, quad, colors, selection, effect);
    else
        DrawSingleTexture(*texture, quad, colors, selection, effect);
}

void TVorn2D::DrawSingleTexture(TDXBaseTexture& texture, const TFloatQuad& quad, const TColorQuad& colors,
                                const TPatternSelection& selection, TBlendEffect effect) {
    const std::int32_t width = texture.Width();
    const std::int32_t height = texture.Height();
    if (width < 1 || height < 1) return;
    float u[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    float v[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    if (selection.Width >= 1 && selection.Height >= 1) {
        // Left, Top, Width and Height are read as the left, top, right and bottom edges in texels.
        const float u0 = static_cast<float>(double(selection.Left) / width);
        const float u1 = static_cast<float>(double(selection.Width) / width);
        const float v0 = static_cast<float>(double(selection.Top) / height);
        const float v1 = static_cast<float>(double(selection.Height) / height);
        u[0] = u[3] = u0;
        u[1] = u[2] = u1;
        v[0] = v[1] = v0;
        v[2] = v[3] = v1;
    }
    if (!PrepareBatch(pkTriangles, 4, 6, &texture, 0, WithWhiteRule(effect, colors))) return;
    EmitTexturedQuad(quad, colors, u, v);
}

void TVorn2D::DrawImagePattern(TDXBaseTexture& image, const TPatternGeometry& grid, const TFloatQuad& quad,
                               const TColorQuad& colors, const TPatternSelection& selection,
                               TBlendEffect effect) {
    const std::int32_t patternCount = grid.Count;
    const std::int32_t perTexture = grid.PerTexture;
    const std::int32_t columns = grid.Columns;
    const std::int32_t rows = grid.Rows;
    const std::int32_t width = image.Width();
    const std::int32_t height = image.Height();
    if (image.State() != tsReady || grid.TextureCount < 1 || patternCount < 1 || perTexture < 1 ||
        columns < 1 || rows < 1 || width < 1 || height < 1)
        return;

    const std::int32_t pattern = std::clamp(selection.Pattern, 0, patternCount - 1);
    const std::int32_t subTexture = pattern / perTexture;
    // A pattern count larger than the textures hold names a texture that does not exist.
    if (subTexture >= grid.TextureCount) return;
    const std::int32_t cell = pattern % perTexture;

    const TIntSize patternSize = grid.CellSize;
    const TIntSize visible = grid.Visible;
    // The visible part is centred in its cell (integer division truncates toward zero).
    const std::int64_t offsetX = (std::int64_t{patternSize.Width} - visible.Width) / 2;
    const std::int64_t offsetY = (std::int64_t{patternSize.Height} - visible.Height) / 2;
    const std::int64_t x =
        std::int64_t{selection.Left} + std::int64_t{cell % columns} * patternSize.Width + offsetX;
    const std::int64_t y =
        std::int64_t{selection.Top} + std::int64_t{(cell / columns) % rows} * patternSize.Height + offsetY;
    const std::int64_t extentX = selection.Width > 0 ? selection.Width : visible.Width;
    const std::int64_t extentY = selection.Height > 0 ? selection.Height : visible.Height;

    const float u0 = static_cast<float>(static_cast<double>(x) / width);
    const float v0 = static_cast<float>(static_cast<double>(y) / height);
    const float u1 = static_cast<float>(static_cast<double>(x + extentX) / width);
    const float v1 = static_cast<float>(static_cast<double>(y + extentY) / height);
    const float left = selection.Mirror ? u1 : u0;
    const float right = selection.Mirror ? u0 : u1;
    const float top = selection.Flip ? v1 : v0;
    const float bottom = selection.Flip ? v0 : v1;
    const float u[4] = {left, right, right, left};
    const float v[4] = {top, top, bottom, bottom};

    if (!PrepareBatch(pkTriangles, 4, 6, &image, subTexture, WithWhiteRule(effect, colors))) return;
    EmitTexturedQuad(quad, colors, u, v);
}

void TVorn2D::DrawRotatedScaled(TDXBaseTexture* texture, TCanvasColor color, double x, double y, double angle,
                                double scale, std::int32_t pattern, TBlendEffect effect) {
    // The drawn size comes from the pattern's visible size; a texture without patterns has none.
    const std::optional<TPatternGeometry> grid = texture ? texture->PatternGeometry() : std::nullopt;
    if (!grid) return;
    const TIntSize visible = grid->Visible;
    const TFloatPoint size{static_cast<float>(visible.Width), static_cast<float>(visible.Height)};
    const TFloatPoint middle{size.X * 0.5f, size.Y * 0.5f};
    const TFloatQuad quad = RotatedQuad(MakeFloatPoint(x, y), size, middle, angle, scale);
    DrawImagePattern(*texture, *grid, quad, ColorQuadOf(color), SelectionOfPattern(pattern), effect);
}

} // namespace vorn
