#include "gen/PatternCells.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn {

namespace {

constexpr TPatternParam ParamTable[] = {
    {"cells", 2, 64, 8, "cells per tile along each axis"},
    {"jitter", 0, 100, 85,
     "how far each cell's point strays from the middle of its cell, in percent: 0 a square grid"},
    {"form", 0, 3, 0,
     "0 stones in joints, 1 plates split by cracks, 2 overlapping scales, 3 flat tinted cells"},
    {"gap", 0, 100, 15, "width of the joints or cracks, in percent of a cell's width"},
    {"bevel", 0, 100, 40,
     "how rounded the edges are: the rounded rim's width in percent of half a cell (cracks: of the "
     "crack's width)"},
    {"variation", 0, 100, 50, "how much the tone varies from cell to cell, in percent"},
};

enum TForm { Stones = 0, Cracks = 1, Scales = 2, Flat = 3 };

constexpr float GapTone = 0.08f;
constexpr float GapRoughness = 0.9f;
// How far down a scale's dome sits from its cell's point, in cells: the scale rises toward its
// lower, free rim and lies low at its upper end, where it passes under the scale above.
constexpr float ScaleDrop = 0.3f;
constexpr float ScaleRadius = 1.0f;

// One cell's point, relative to the cell's top-left corner, and the values drawn for it.
struct TSite {
    float x = 0, y = 0;
    float tone = 0, roughness = 0, lift = 0; // lift: 0..1, the cell's own height
};

// A point met around a texel: the vector from the texel to it and its squared length.
struct TNear {
    float dx, dy, d2;
    const TSite* site;
};

// The sites of the lattice rows around one row of cells: Reach rows above and below, Reach
// columns beyond each side of the tile, so that a texel's 5 x 5 neighbourhood is always at hand.
constexpr int Reach = 2;

class TSiteBand {
public:
    TSiteBand(const TPatternParams& params, int cells)
        : m_seed(params.seed), m_axes(params.axes), m_cells(cells), m_stride(cells + 2 * Reach),
          m_jitter(float(params.values[1]) / 100.0f), m_variation(float(params.values[5]) / 100.0f),
          m_sites(std::size_t(m_stride) * (2 * Reach + 1)) {}

    // Fills the band for the row of cells cy.
    void Fill(int cy) {
        for (int dy = -Reach; dy <= Reach; ++dy)
            for (int cx = -Reach; cx < m_cells + Reach; ++cx) {
                const std::uint32_t h = PatternHash(m_seed, LatticeIndex(cx, m_cells, m_axes.x),
                                                    LatticeIndex(cy + dy, m_cells, m_axes.y));
                TSite& s = m_sites[std::size_t(dy + Reach) * m_stride + std::size_t(cx + Reach)];
                // Within the cell for any jitter up to 1: 0.5 +- 0.5 stays in [0, 1).
                s.x = 0.5f + (PatternUnit(h) - 0.5f) * m_jitter;
                s.y = 0.5f + (PatternUnit(PatternHash(h, 1)) - 0.5f) * m_jitter;
                s.tone = 0.6f + (PatternUnit(PatternHash(h, 2)) - 0.5f) * 0.7f * m_variation;
                s.roughness = 0.45f + 0.25f * PatternUnit(PatternHash(h, 3));
                s.lift = PatternUnit(PatternHash(h, 4));
            }
    }

    // The site of cell (cx + dx, cy + dy), cx inside the tile, |dx|, |dy| <= Reach.
    const TSite& At(int cx, int dx, int dy) const {
        return m_sites[std::size_t(dy + Reach) * m_stride + std::size_t(cx + dx + Reach)];
    }

private:
    std::uint32_t m_seed;
    TTileAxes m_axes;
    int m_cells, m_stride;
    float m_jitter, m_variation;
    std::vector<TSite> m_sites;
};

// The rounded rise of a bevel at t in 0..1 across it: a quarter circle, steep at the foot.
inline float Rounded(float t) {
    return std::sqrt(t * (2.0f - t));
}

// The nearest point and the distance to its cell's border, at one texel of the cell (cx, cy) at (fx, fy)
// inside it.
struct TCellHit {
    const TSite* site = nullptr; // the nearest
    float d1 = 0;                // distance to it
    float dx = 0, dy = 0;        // the vector from the texel to it
    float edge = 0;              // distance to the cell's border, at most the cap asked for
    bool underAbove = false;     // that border is with a cell mostly above this one
};

class TCellSearch {
public:
    explicit TCellSearch(const TSiteBand& band) : m_band(band) {}

    // edgeCap: the border distance beyond which the caller no longer tells distances apart; 0 when
    // the border is not wanted at all.
    TCellHit Find(int cx, float fx, float fy, float edgeCap) {
        m_count = 0;
        float best1 = 1e30f;
        int n1 = -1;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) Visit(cx, dx, dy, fx, fy, best1, n1);
        // Every point outside the 3 x 3 cells is at least this far from the texel: only when the
        // nearest point found is farther do the 5 x 5 cells come in.
        const float bound = std::min(std::min(fx + 1.0f, 2.0f - fx), std::min(fy + 1.0f, 2.0f - fy));
        if (best1 > bound * bound) VisitRing(cx, fx, fy, best1, n1);
        TCellHit hit;
        hit.site = m_near[n1].site;
        hit.d1 = std::sqrt(best1);
        hit.dx = m_near[n1].dx;
        hit.dy = m_near[n1].dy;
        if (edgeCap <= 0.0f) return hit;
        // The border with point k lies (dk^2 - d1^2) / (2 |pk - p1|) away, never nearer than
        // (dk - d1) / 2: points with dk >= d1 + 2 best cannot bring the border nearer, and the
        // points beyond the 3 x 3 cells (dk >= bound) matter only while d1 + 2 best > bound.
        float best = edgeCap;
        Borders(0, n1, best1, hit, best);
        if (m_count == 9 && hit.d1 + 2.0f * best > bound) {
            VisitRing(cx, fx, fy, best1, n1); // all at least bound away: n1 stays the nearest
            Borders(9, n1, best1, hit, best);
        }
        hit.edge = best;
        return hit;
    }

private:
    // Brings best down to the nearest border with the points from first on.
    void Borders(int first, int n1, float d1Squared, TCellHit& hit, float& best) const {
        const TNear& nearest = m_near[n1];
        for (int k = first; k < m_count; ++k) {
            if (k == n1) continue;
            const float reach = hit.d1 + 2.0f * best;
            if (m_near[k].d2 >= reach * reach) continue;
            const float vx = m_near[k].dx - nearest.dx, vy = m_near[k].dy - nearest.dy;
            const float span = std::sqrt(vx * vx + vy * vy);
            if (span <= 1e-6f) continue; // two points at one place: no border between them
            const float edge = (m_near[k].d2 - d1Squared) / (2.0f * span);
            if (edge < best) {
                best = edge;
                hit.underAbove = vy < -0.5f * std::fabs(vx);
            }
        }
    }

    void Visit(int cx, int dx, int dy, float fx, float fy, float& best1, int& n1) {
        const TSite& s = m_band.At(cx, dx, dy);
        TNear& n = m_near[m_count];
        n.dx = float(dx) + s.x - fx;
        n.dy = float(dy) + s.y - fy;
        n.d2 = n.dx * n.dx + n.dy * n.dy;
        n.site = &s;
        if (n.d2 < best1) {
            best1 = n.d2;
            n1 = m_count;
        }
        ++m_count;
    }

    void VisitRing(int cx, float fx, float fy, float& best1, int& n1) {
        for (int dy = -Reach; dy <= Reach; ++dy)
            for (int dx = -Reach; dx <= Reach; ++dx)
                if (dx < -1 || dx > 1 || dy < -1 || dy > 1) Visit(cx, dx, dy, fx, fy, best1, n1);
    }

    const TSiteBand& m_band;
    TNear m_near[(2 * Reach + 1) * (2 * Reach + 1)];
    int m_count = 0;
};

} // namespace

std::span<const TPatternParam> CellsParams() {
    return ParamTable;
}

void DrawCells(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field) {
    const int cells = params.values[0];
    const int form = params.values[2];
    // Widths in cells: the joint (or crack) on each side of a border, the rounded rim inside it.
    const float halfGap = float(params.values[3]) / 200.0f;
    const float bevel = float(params.values[4]) / 200.0f;
    // Cracks stay thin: their rims round over a width the crack's own, not half a cell.
    const float rim = form == Cracks ? 2.0f * halfGap * float(params.values[4]) / 100.0f : bevel;
    const float edgeCap = form == Flat ? 0.0f : halfGap + rim;

    TSiteBand band(params, cells);
    TCellSearch search(band);
    const float step = float(cells) / float(size);
    int bandRow = -1;
    for (int j = rowBegin; j < rowEnd; ++j) {
        const float y = (float(j) + 0.5f) * step;
        const int cy = std::min(int(std::floor(y)), cells - 1);
        const float fy = y - float(cy);
        if (cy != bandRow) {
            band.Fill(cy);
            bandRow = cy;
        }
        float* tone = field.Tone(j);
        float* height = field.Height(j);
        float* roughness = field.Roughness(j);
        for (int i = 0; i < size; ++i) {
            const float x = (float(i) + 0.5f) * step;
            const int cx = std::min(int(std::floor(x)), cells - 1);
            const TCellHit hit = search.Find(cx, x - float(cx), fy, edgeCap);
            const TSite& s = *hit.site;
            if (form == Flat) {
                tone[i] = s.tone;
                height[i] = 0.2f + 0.8f * s.lift;
                roughness[i] = s.roughness;
                continue;
            }
            if (hit.edge < halfGap) {
                tone[i] = GapTone;
                height[i] = 0.0f;
                roughness[i] = GapRoughness;
                continue;
            }
            // 0 at the joint's rim, 1 where the rounding ends. A scale is rounded only along its free
            // rim: where it meets the scale above, it runs on under that one's rim.
            const bool rounds = rim > 0.0f && hit.edge < edgeCap && !(form == Scales && hit.underAbove);
            const float rise = rounds ? Rounded((hit.edge - halfGap) / rim) : 1.0f;
            roughness[i] = s.roughness;
            if (form == Stones) {
                tone[i] = s.tone * (0.8f + 0.2f * rise);
                height[i] = (0.85f + 0.15f * s.lift) * rise;
            } else if (form == Cracks) {
                tone[i] = s.tone * (0.6f + 0.4f * rise);
                height[i] = rise;
            } else {
                const float ox = hit.dx, oy = hit.dy + ScaleDrop;
                const float r2 = (ox * ox + oy * oy) * (1.0f / (ScaleRadius * ScaleRadius));
                const float dome = std::max(0.0f, 1.0f - r2);
                tone[i] = s.tone * (0.65f + 0.35f * dome);
                height[i] = (0.85f + 0.15f * s.lift) * (0.15f + 0.85f * dome) * rise;
            }
        }
    }
}

} // namespace vorn
