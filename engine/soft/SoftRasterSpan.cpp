// The production path of the rasteriser: triangles are scanned row by row into spans, pairs of
// triangles forming an axis-aligned rectangle are drawn as one block, and every span runs
// through stage functions (sample, combine, blend) chosen once per draw call.
#include "engine/soft/SoftRasterMirror.h"
#include "engine/soft/SoftRasterSampler.h"
#include "engine/soft/SoftRasterSpanDetail.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vorn::sd {

namespace detail {

namespace {

constexpr int Chunk = 256; // pixels per pass through the stage functions

// ---- the per-draw pipeline ----

enum class CombineKind { Diffuse, Modulate, Function };
enum class BlendKind { Replace, SrcAlpha, Factors };

struct Pipeline {
    const DrawState* st = nullptr;
    const Kernels* k = nullptr;
    CombineKind combine = CombineKind::Function;
    CombineFn combineFn = CombineGeneric;
    BlendKind blend = BlendKind::Replace;
    FactorFn srcFactor = nullptr, dstFactor = nullptr;
    FactorFn srcFactorAlpha = nullptr, dstFactorAlpha = nullptr;
    DWORD op = D3DBLENDOP_ADD, opAlpha = D3DBLENDOP_ADD;
    bool separateAlpha = false;
    bool cover = false;  // SrcAlpha with the alpha blended as "over": the cover kernels
    bool inPlace = true; // no alpha test and no write mask: the blend writes the target directly
    std::uint32_t writeMask = 0xFFFFFFFFu;
};

bool IsDiffuseArg(DWORD a) {
    return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT;
}

Pipeline MakePipeline(const DrawState& st) {
    Pipeline p;
    p.st = &st;
    p.k = &ActiveKernels(st.options.maxSimd);
    if (st.colorOp == D3DTOP_DISABLE) {
        p.combine = CombineKind::Diffuse;
    } else if (st.colorOp != D3DTOP_DOTPRODUCT3 && st.colorArg1 == D3DTA_TEXTURE &&
               IsDiffuseArg(st.colorArg2) && IsDiffuseArg(st.colorArg0) && IsStandardOp(st.colorOp) &&
               (st.alphaOp == D3DTOP_DISABLE ||
                (st.alphaArg1 == D3DTA_TEXTURE && IsDiffuseArg(st.alphaArg2) && IsDiffuseArg(st.alphaArg0) &&
                 IsStandardOp(st.alphaOp)))) {
        // A disabled alpha operation passes the diffuse alpha, as SELECTARG2 does here.
        const DWORD alphaOp = st.alphaOp == D3DTOP_DISABLE ? DWORD(D3DTOP_SELECTARG2) : st.alphaOp;
        if (st.colorOp == D3DTOP_MODULATE && alphaOp == D3DTOP_MODULATE)
            p.combine = CombineKind::Modulate;
        else
            p.combineFn = PickStandard(st.colorOp, alphaOp);
    }
    const bool replace = !st.blend || (!st.separateAlpha && st.srcBlend == D3DBLEND_ONE &&
                                       st.destBlend == D3DBLEND_ZERO && st.blendOp == D3DBLENDOP_ADD);
    if (replace) {
        p.blend = BlendKind::Replace;
    } else if (st.srcBlend == D3DBLEND_SRCALPHA && st.destBlend == D3DBLEND_INVSRCALPHA &&
               st.blendOp == D3DBLENDOP_ADD &&
               (!st.separateAlpha ||
                (st.srcBlendAlpha == D3DBLEND_ONE && st.destBlendAlpha == D3DBLEND_INVSRCALPHA &&
                 st.blendOpAlpha == D3DBLENDOP_ADD))) {
        p.blend = BlendKind::SrcAlpha;
        p.cover = st.separateAlpha;
    } else {
        p.blend = BlendKind::Factors;
        p.srcFactor = PickFactor(st.srcBlend);
        p.dstFactor = PickFactor(st.destBlend);
        p.op = st.blendOp;
        p.separateAlpha = st.separateAlpha;
        p.srcFactorAlpha = PickFactor(st.srcBlendAlpha);
        p.dstFactorAlpha = PickFactor(st.destBlendAlpha);
        p.opAlpha = st.blendOpAlpha;
    }
    if ((st.colorWriteMask & 0xF) != 0xF) p.writeMask = WriteMaskBits(st.colorWriteMask);
    p.inPlace = !st.alphaTest && p.writeMask == 0xFFFFFFFFu;
    return p;
}

struct Scratch {
    alignas(32) std::uint32_t tex[Chunk];
    alignas(32) std::uint32_t dif[Chunk];
    alignas(32) std::uint32_t src[Chunk];
    alignas(32) std::uint32_t out[Chunk];
    alignas(32) std::uint32_t fs[Chunk];
    alignas(32) std::uint32_t fd[Chunk];
    alignas(32) std::uint32_t alpha[Chunk];
    alignas(32) std::uint32_t constSrc[Chunk];
    std::vector<std::uint32_t> difRow; // a diffuse colour that does not change down the primitive
    Sampler sampler;
    MirrorSource mirror;
};

// Shades the pixels [xl, xr) of row y of one primitive.
class PrimitiveShader {
public:
    PrimitiveShader(const Pipeline& p, Scratch& s, const Planes& planes, std::int64_t xa, std::int64_t xb)
        : m_p(p), m_s(s), m_planes(planes) {
        const DrawState& st = *p.st;
        m_constDif = true;
        for (int k = 0; k < 4; ++k)
            m_constDif = m_constDif && planes.attr[k].dx == 0 && planes.attr[k].dy == 0;
        m_difValue = m_constDif ? ColorFromPlanes(planes, 0, 0) : 0;
        m_constSrc = m_constDif && !st.hasTexture;
        if (m_constSrc) {
            m_srcValue = CombineStage0(st, 0xFFFFFFFFu, m_difValue);
            std::fill(s.constSrc, s.constSrc + Chunk, m_srcValue);
        }
        // A tinted texture blended over the target: the stamp of the generator, in one pass.
        m_tintedBlend = m_constDif && st.hasTexture && p.combine == CombineKind::Modulate &&
                        p.blend == BlendKind::SrcAlpha && p.inPlace;
        if (m_constDif && !m_tintedBlend && p.combine != CombineKind::Modulate)
            std::fill(s.dif, s.dif + Chunk, m_difValue);
        // Gradients: colours that change only across (computed once) or only down (one per row).
        m_x0 = xa;
        m_difAcross = m_difDown = !m_constDif;
        for (int k = 0; k < 4; ++k) {
            m_difAcross = m_difAcross && planes.attr[k].dy == 0;
            m_difDown = m_difDown && planes.attr[k].dx == 0;
        }
        if (m_difAcross) {
            s.difRow.resize(static_cast<std::size_t>(xb - xa));
            DiffuseInto(xa, 0, static_cast<int>(xb - xa), s.difRow.data());
        }
        // Where the texture is transparent the tinted blend leaves the target as it is; a target
        // of opaque alpha would still have its alpha set.
        s.sampler.Begin(st, *p.k, planes, xa, xb, m_tintedBlend && !st.target.opaqueAlpha);
    }

    // Asks for the target pixels [xl, xr) of row y ahead of their use: consecutive rows lie a
    // page apart, so the hardware prefetchers do not see them coming.
    void Prefetch(std::int64_t y, std::int64_t xl, std::int64_t xr) const {
        const std::uint32_t* row = TargetRow(m_p.st->target, y);
        for (std::int64_t x = xl; x < xr; x += 16) __builtin_prefetch(row + x, 1);
        __builtin_prefetch(row + xr - 1, 1);
    }

    void Row(std::int64_t y, std::int64_t xl, std::int64_t xr) {
        if (xl >= xr) return;
        if (m_replay && ReplayWhole(y, xl, xr)) return;
        RowPlan plan = Sampler::PlanRow(y, xl, xr);
        const bool visible = m_s.sampler.Cut(plan);
        if (m_record) m_record->Keep(y, visible, plan.xl, plan.xr);
        if (!visible) return;
        if (const MirrorSource::RowRange* kept = m_replay ? KeptRow(*m_replay, m_map, y) : nullptr)
            if (BlendKept(*kept, y, plan.xl, plan.xr)) return;
        if (!m_constSrc) m_s.sampler.BeginRow(plan);
        Span(plan, plan.xl, plan.xr);
    }

    // Whether a mirror rectangle may take this one's samples: a tinted texture blended over the
    // target, sampled bilinearly by columns.
    bool CanMirror() const { return m_tintedBlend && m_s.sampler.kind == Sampler::Kind::SeparableLinear; }
    // Whether this one's samples may be kept: its columns are filtered row by row.
    bool CanKeep() {
        m_s.sampler.EnsureTables();
        return !m_s.sampler.perPixel;
    }
    // Keeps the samples of the rows drawn from here on in mirror (started for them).
    void RecordInto(MirrorSource& mirror) { m_record = &mirror; }
    // Takes the samples of its pixels from mirror, as map says, where mirror has them.
    void ReplayFrom(const MirrorSource& mirror, const MirrorMap& map) {
        m_replay = &mirror;
        m_map = map;
    }

    // Row work (the vertical filter pass) for the spans of row y inside [xl, xr), the row uncut;
    // answers the row's plan for them.
    RowPlan BeginRow(std::int64_t y, std::int64_t xl, std::int64_t xr) {
        RowPlan plan = Sampler::PlanRow(y, xl, xr);
        if (!m_constSrc) m_s.sampler.BeginRow(plan);
        return plan;
    }

    // Shades [xl, xr) of the plan's row, after BeginRow for the plan.
    void Span(const RowPlan& plan, std::int64_t xl, std::int64_t xr) {
        std::uint32_t* row = TargetRow(m_p.st->target, plan.y);
        for (std::int64_t x = xl; x < xr; x += Chunk) {
            const int n = static_cast<int>(std::min<std::int64_t>(Chunk, xr - x));
            if (m_tintedBlend) {
                // Kept rows are sampled straight into their place.
                std::uint32_t* tex =
                    m_record ? m_record->Samples() + m_record->used - std::size_t(xr - x) : m_s.tex;
                m_s.sampler.Sample(plan, x, n, tex);
                (m_p.cover ? m_p.k->coverSrcAlphaTinted : m_p.k->blendSrcAlphaTinted)(tex, m_difValue,
                                                                                      row + x, n);
                if (m_p.st->target.opaqueAlpha)
                    for (int i = 0; i < n; ++i) row[x + i] |= 0xFF000000u;
                continue;
            }
            Output(Source(plan, x, n), row + x, n);
        }
    }

private:
    // Blends row y, of columns [xl, xr) in the target, from the kept samples without cutting it
    // first: where the kept rectangle lay wholly in the target its rows were cut to the pixels of
    // texels not all transparent and nothing else, and the mirror of that cut is this row's.
    // False when that does not hold or the row was not kept.
    bool ReplayWhole(std::int64_t y, std::int64_t xl, std::int64_t xr) {
        if (!m_replay->whole) return false;
        const MirrorSource::RowRange* a = KeptRow(*m_replay, m_map, y);
        if (!a) return false;
        if (a->xl >= a->xr) return true; // every texel transparent
        const std::int64_t from = m_map.flipX ? m_map.sumX - (a->xr - 1) : a->xl - m_map.sumX;
        xl = std::max(xl, from);
        xr = std::min(xr, from + (a->xr - a->xl));
        return xl >= xr || BlendKept(*a, y, xl, xr);
    }

    // Blends pixels [xl, xr) of row y from kept row a; false when a lacks some of them.
    bool BlendKept(const MirrorSource::RowRange& a, std::int64_t y, std::int64_t xl, std::int64_t xr) {
        const MirrorSource& m = *m_replay;
        // The kept pixels [first, last] for [xl, xr).
        const std::int64_t first = m_map.flipX ? m_map.sumX - (xr - 1) : xl + m_map.sumX;
        const std::int64_t last = first + (xr - xl) - 1;
        if (first < a.xl || last >= a.xr) return false;
        // Kept pixel p is at offset + (p - a.xl); flipped, xl takes the last of them.
        const std::uint32_t* samples = m.Samples() + a.offset + std::size_t(first - a.xl);
        std::uint32_t* row = TargetRow(m_p.st->target, y) + xl;
        const int n = static_cast<int>(xr - xl);
        if (m_map.flipX)
            (m_p.cover ? m_p.k->coverSrcAlphaTintedReversed
                       : m_p.k->blendSrcAlphaTintedReversed)(samples + (n - 1), m_difValue, row, n);
        else
            (m_p.cover ? m_p.k->coverSrcAlphaTinted : m_p.k->blendSrcAlphaTinted)(samples, m_difValue, row,
                                                                                  n);
        if (m_p.st->target.opaqueAlpha)
            for (int i = 0; i < n; ++i) row[i] |= 0xFF000000u;
        return true;
    }

    const std::uint32_t* Source(const RowPlan& plan, std::int64_t x, int n) {
        if (m_constSrc) return m_s.constSrc;
        const DrawState& st = *m_p.st;
        const std::uint32_t* dif = m_constDif ? m_s.dif : Diffuse(x, plan.y, n);
        if (m_p.combine == CombineKind::Diffuse) return dif;
        if (!st.hasTexture && m_p.combine == CombineKind::Modulate) return dif;
        m_s.sampler.Sample(plan, x, n, m_s.tex);
        if (m_p.combine == CombineKind::Modulate) {
            if (m_constDif)
                m_p.k->modulateConst(m_s.tex, m_difValue, m_s.src, n);
            else
                m_p.k->modulate(m_s.tex, dif, m_s.src, n);
        } else {
            m_p.combineFn(st, m_s.tex, dif, m_s.src, n);
        }
        return m_s.src;
    }

    // The interpolated colours of pixels [x, x + n) of row y.
    const std::uint32_t* Diffuse(std::int64_t x, std::int64_t y, int n) {
        if (m_difAcross) return m_s.difRow.data() + (x - m_x0);
        if (m_difDown) {
            DiffuseInto(x, y, 1, m_s.dif);
            std::fill(m_s.dif + 1, m_s.dif + n, m_s.dif[0]);
        } else {
            DiffuseInto(x, y, n, m_s.dif);
        }
        return m_s.dif;
    }

    void DiffuseInto(std::int64_t x, std::int64_t y, int n, std::uint32_t* out) const {
        std::int64_t v[4], d[4];
        for (int k = 0; k < 4; ++k) {
            v[k] = m_planes.attr[k].At(x, y) + (std::int64_t(1) << (PlaneFractionBits - 1));
            d[k] = m_planes.attr[k].dx;
        }
        for (int i = 0; i < n; ++i) {
            std::uint32_t c = 0;
            for (int k = 0; k < 4; ++k) {
                c |= static_cast<std::uint32_t>(std::clamp<std::int64_t>(v[k] >> PlaneFractionBits, 0, 255))
                     << (8 * k);
                v[k] += d[k];
            }
            out[i] = c;
        }
    }

    // Blends n source pixels into dst with the alpha test, write mask and opaque alpha applied.
    void Output(const std::uint32_t* src, std::uint32_t* dst, int n) {
        const DrawState& st = *m_p.st;
        std::uint32_t* out = m_p.inPlace ? dst : m_s.out;
        if (m_p.blend == BlendKind::Replace) {
            if (out != src) std::memcpy(out, src, std::size_t(n) * 4);
        } else {
            if (out != dst) std::memcpy(out, dst, std::size_t(n) * 4);
            if (m_p.blend == BlendKind::SrcAlpha) {
                (m_p.cover ? m_p.k->coverSrcAlpha : m_p.k->blendSrcAlpha)(src, out, n);
            } else {
                m_p.srcFactor(src, out, m_s.fs, n);
                m_p.dstFactor(src, out, m_s.fd, n);
                if (!m_p.separateAlpha) {
                    m_p.k->blendOp(m_p.op, src, m_s.fs, out, m_s.fd, out, n);
                } else {
                    m_p.k->blendOp(m_p.op, src, m_s.fs, out, m_s.fd, m_s.tex, n); // colour channels
                    m_p.srcFactorAlpha(src, out, m_s.fs, n);
                    m_p.dstFactorAlpha(src, out, m_s.fd, n);
                    m_p.k->blendOp(m_p.opAlpha, src, m_s.fs, out, m_s.fd, m_s.alpha, n);
                    for (int i = 0; i < n; ++i)
                        out[i] = (m_s.tex[i] & 0x00FFFFFFu) | (m_s.alpha[i] & 0xFF000000u);
                }
            }
        }
        if (st.target.opaqueAlpha)
            for (int i = 0; i < n; ++i) out[i] |= 0xFF000000u;
        if (m_p.inPlace) return;
        const std::uint32_t m = m_p.writeMask;
        for (int i = 0; i < n; ++i) {
            if (st.alphaTest && !AlphaTestPasses(st.alphaFunc, src[i] >> 24, st.alphaRef)) continue;
            dst[i] = (out[i] & m) | (dst[i] & ~m);
        }
    }

    const Pipeline& m_p;
    Scratch& m_s;
    const Planes& m_planes;
    bool m_constDif = false;
    bool m_constSrc = false;
    bool m_tintedBlend = false;
    bool m_difAcross = false; // diffuse colour independent of y: Scratch::difRow
    bool m_difDown = false;   // diffuse colour independent of x
    std::int64_t m_x0 = 0;    // first column of difRow
    std::uint32_t m_difValue = 0;
    std::uint32_t m_srcValue = 0;
    MirrorSource* m_record = nullptr;       // rows sampled are kept here
    const MirrorSource* m_replay = nullptr; // rows are taken from here where they can be
    MirrorMap m_map;
};

Scratch& ThreadScratch() {
    static thread_local Scratch scratch;
    return scratch;
}

// ---- triangles by spans ----

// The pixel columns of row py inside all three edges, clipped to [lo, hi].
bool RowSpan(const Edge* e, std::int64_t py, std::int64_t lo, std::int64_t hi, std::int64_t& xl,
             std::int64_t& xr) {
    xl = lo;
    xr = hi;
    for (int i = 0; i < 3; ++i) {
        // E(px) = K - dy * 256 * px, inside when >= 0.
        const std::int64_t k = e[i].dx * (py * SubPixelOne - e[i].ay) + e[i].dy * e[i].ax + e[i].bias;
        const std::int64_t step = e[i].dy * SubPixelOne;
        if (step == 0) {
            if (k < 0) return false;
        } else if (step < 0) {
            xl = std::max(xl, -FloorDiv64(k, -step)); // ceil(-k / -step)
        } else {
            xr = std::min(xr, FloorDiv64(k, step));
        }
    }
    return xl <= xr;
}

void RasterTriangleSpans(const Pipeline& p, Scratch& s, const TriangleSetup& t, const RowBand& band) {
    const TargetView& target = p.st->target;
    const auto [x0, x1, y0, y1] = BoundingPixels(t, target, band);
    if (x0 > x1 || y0 > y1) return;
    Edge e[3];
    e[0].Init(t.v[1], t.v[2]);
    e[1].Init(t.v[2], t.v[0]);
    e[2].Init(t.v[0], t.v[1]);
    PrimitiveShader shader(p, s, t.planes, x0, x1 + 1);
    for (std::int64_t py = y0; py <= y1; ++py) {
        std::int64_t xl, xr;
        if (RowSpan(e, py, x0, x1, xl, xr)) shader.Row(py, xl, xr + 1);
    }
}

// ---- two triangles sharing an edge: one polygon ----

// Each row is the union of the two triangles' spans: one span where they meet (always, but for
// a pixel centre on a shared corner that neither triangle takes), else both.
void RasterQuad(const Pipeline& p, Scratch& s, const QuadSetup& q, const RowBand& band) {
    const TargetView& target = p.st->target;
    const PixelBox a = BoundingPixels(q.tri[0], target, band);
    const PixelBox b = BoundingPixels(q.tri[1], target, band);
    const PixelBox box{std::min(a.x0, b.x0), std::max(a.x1, b.x1), std::min(a.y0, b.y0),
                       std::max(a.y1, b.y1)};
    if (box.x0 > box.x1 || box.y0 > box.y1) return;
    Edge e[2][3];
    for (int t = 0; t < 2; ++t) {
        e[t][0].Init(q.tri[t].v[1], q.tri[t].v[2]);
        e[t][1].Init(q.tri[t].v[2], q.tri[t].v[0]);
        e[t][2].Init(q.tri[t].v[0], q.tri[t].v[1]);
    }
    PrimitiveShader shader(p, s, q.tri[0].planes, box.x0, box.x1 + 1);
    for (std::int64_t py = box.y0; py <= box.y1; ++py) {
        std::int64_t l[2], r[2];
        const bool in0 = RowSpan(e[0], py, box.x0, box.x1, l[0], r[0]);
        const bool in1 = RowSpan(e[1], py, box.x0, box.x1, l[1], r[1]);
        if (!in0 && !in1) continue;
        if (in0 != in1) {
            const int t = in0 ? 0 : 1;
            shader.Row(py, l[t], r[t] + 1);
            continue;
        }
        const int first = l[0] <= l[1] ? 0 : 1;
        const int second = 1 - first;
        const RowPlan plan = shader.BeginRow(py, l[first], std::max(r[0], r[1]) + 1);
        if (r[first] + 1 == l[second]) {
            shader.Span(plan, l[first], r[second] + 1);
        } else {
            shader.Span(plan, l[first], r[first] + 1);
            shader.Span(plan, l[second], r[second] + 1);
        }
    }
}

// ---- axis-aligned rectangles ----

// The rows of the strips of one band (in any order) in one pass, so that the samples kept for
// a mirror image cover every row of the band.
void RasterRect(const Pipeline& p, Scratch& s, const RectSetup& r, std::span<const RowBand> strips) {
    const TargetView& target = p.st->target;
    // Left and top edges take pixel centres lying on them, right and bottom edges do not.
    const std::int64_t firstColumn = FloorDiv64(r.xa + SubPixelOne - 1, SubPixelOne);
    const std::int64_t columns = FloorDiv64(r.xb + SubPixelOne - 1, SubPixelOne) - firstColumn;
    const std::int64_t firstRow = FloorDiv64(r.ya + SubPixelOne - 1, SubPixelOne);
    const std::int64_t rowCount = FloorDiv64(r.yb + SubPixelOne - 1, SubPixelOne) - firstRow;
    const std::int64_t x0 = std::max<std::int64_t>(0, firstColumn);
    const std::int64_t x1 = std::min<std::int64_t>(target.width, firstColumn + columns);
    const std::int64_t top = std::max<std::int64_t>(0, firstRow);
    const std::int64_t bottom = std::min<std::int64_t>(target.height, firstRow + rowCount);
    // The rows of each strip, and the span and number of them all.
    std::int64_t from[MaxStrips], to[MaxStrips];
    std::int64_t y0 = bottom, y1 = top, rows = 0;
    for (std::size_t k = 0; k < strips.size(); ++k) {
        from[k] = std::max(top, strips[k].top);
        to[k] = std::min(bottom, strips[k].bottom);
        if (from[k] >= to[k]) continue;
        y0 = std::min(y0, from[k]);
        y1 = std::max(y1, to[k]);
        rows += to[k] - from[k];
    }
    if (x0 >= x1 || rows == 0) return;
    PrimitiveShader shader(p, s, r.planes, x0, x1);
    MirrorSource& mirror = s.mirror;
    MirrorMap map;
    const bool canMirror = shader.CanMirror() && (x1 - x0) * rows <= MostKeptSamples;
    const auto covers = [&](bool flipRows) {
        return MatchKept(mirror, r, firstColumn, columns, firstRow, rowCount, p.st->texture, map, flipRows) &&
               KeptCovers(mirror, map, std::span<const std::int64_t>(from, strips.size()),
                          std::span<const std::int64_t>(to, strips.size()));
    };
    // A stamp's copy across the middle row of a symmetric brush matches the kept one both as the
    // same rows and as mirrored rows; where the band kept too few of the same rows, the mirrored
    // ones (which a band keeps with its own) may serve.
    if (canMirror && (covers(false) || (p.st->texture.mirroredY && covers(true)))) {
        shader.ReplayFrom(mirror, map);
    } else if (canMirror && shader.CanKeep()) {
        mirror.Start(r, p.st->texture.texels, firstColumn, columns, firstRow, rowCount, x0, x1, y0, y1, rows);
        shader.RecordInto(mirror);
    } else {
        mirror.valid = false;
    }
    constexpr std::int64_t ahead = 4;
    for (std::size_t k = 0; k < strips.size(); ++k) {
        for (std::int64_t py = from[k]; py < std::min(to[k], from[k] + ahead); ++py)
            shader.Prefetch(py, x0, x1);
        for (std::int64_t py = from[k]; py < to[k]; ++py) {
            if (py + ahead < to[k]) shader.Prefetch(py + ahead, x0, x1);
            shader.Row(py, x0, x1);
        }
    }
}

} // namespace

void DrawTrianglesSpans(const DrawState& st, const RasterVertex* vertices, std::size_t count,
                        std::span<const RowBand> bands) {
    const Pipeline pipeline = MakePipeline(st);
    Scratch& scratch = ThreadScratch();
    scratch.mirror.valid = false; // a texture may have changed since the last draw
    RectSetup rect;
    QuadSetup quad;
    auto outside = [&](const RasterVertex* tri) {
        for (const RowBand& band : bands)
            if (!OutsideBand(tri, band)) return false;
        return true;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const RasterVertex* tri = vertices + 3 * i;
        if (outside(tri)) continue; // other bands': skipped before any setup
        if (st.options.rectFastPath && i + 1 < count && MatchRectangle(st, tri, tri + 3, rect)) {
            RasterRect(pipeline, scratch, rect, bands);
            ++i;
            continue;
        }
        if (st.options.quadFastPath && i + 1 < count && MatchQuad(st, tri, tri + 3, quad)) {
            for (const RowBand& band : bands) RasterQuad(pipeline, scratch, quad, band);
            ++i;
            continue;
        }
        ForEachTriangle(st, tri, [&](const TriangleSetup& t) {
            for (const RowBand& band : bands) RasterTriangleSpans(pipeline, scratch, t, band);
        });
    }
}

} // namespace detail

} // namespace vorn::sd
