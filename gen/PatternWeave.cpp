#include "gen/PatternWeave.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn {

namespace {

constexpr TPatternParam ParamTable[] = {
    {"threads", 2, 128, 24,
     "threads per tile each way; raised to a whole number of weave repeats (2 plain, 4 twill or basket) "
     "when the tile repeats"},
    {"width", 30, 100, 85, "width of a thread, in percent of the spacing between threads"},
    {"pattern", 0, 2, 0,
     "0 plain: over one, under one; 1 twill: over two, under two, one further each row; "
     "2 basket: plain in pairs"},
    {"fibres", 0, 100, 40, "how strongly the fine twisted fibres along each thread show"},
    {"variation", 0, 100, 30, "how much the tone varies from thread to thread, in percent"},
};

enum TWeavePattern { Plain = 0, Twill = 1, Basket = 2 };

constexpr float WarpTone = 0.6f, WeftTone = 0.4f;
constexpr float GapTone = 0.12f;
constexpr float GapRoughness = 0.95f;
constexpr float ThreadRoughness = 0.65f;
// Fibre stripes across a thread (two per unit of the across coordinate, which runs -1..1) and how
// far they turn along it: one stripe per thread spacing, so they meet up across the tile's edges.
constexpr float FibresAcross = 2.0f;

// Whether the warp thread of column c lies over the weft thread of row r. Each weave repeats
// every 4 threads at most, so c and r count only modulo 4 (two's complement & keeps negative
// indices in step).
bool WarpOver(int pattern, int c, int r) {
    switch (pattern) {
    case Twill:
        return ((c + r) & 3) < 2;
    case Basket:
        return (((c >> 1) + (r >> 1)) & 1) == 0;
    default:
        return ((c + r) & 1) == 0;
    }
}

// Smooth 0..1 as t goes 0..1, flat at both ends: how a thread climbs from under to over.
inline float Smooth(float t) {
    return t * t * (3.0f - 2.0f * t);
}

// The fractional part of q, for the fibre stripes: 0 at the stripe's middle, 1 at its sides.
inline float Stripe(float q) {
    const float f = q - std::floor(q);
    return std::fabs(f - 0.5f) * 2.0f;
}

// One thread's own values, from its hash.
struct TThread {
    float halfWidth = 0; // in thread spacings
    float tone = 0;
    float phase = 0; // where its fibre stripes start
};

TThread MakeThread(std::uint32_t seed, std::int32_t index, std::int32_t direction, float halfWidth,
                   float baseTone, float variation) {
    const std::uint32_t h = PatternHash(seed, index, direction);
    TThread t;
    // Yarn is never even: each thread a little narrower than the width asked for.
    t.halfWidth = halfWidth * (1.0f - 0.12f * PatternUnit(h));
    t.tone = baseTone + (PatternUnit(PatternHash(h, 1)) - 0.5f) * 0.4f * variation;
    t.phase = PatternUnit(PatternHash(h, 2));
    return t;
}

// Where a texel column or row lies among the threads that run along it and the crossings on it.
struct TSpan {
    bool inside = false; // on the thread running along it
    float across = 0;    // -1..1 across that thread
    float profile = 0;   // the thread's rounded top there: 1 in the middle, 0 at its sides
    float tone = 0, fibre = 0;
    int thread = 0;   // the thread's index, modulo 4
    int crossing = 0; // the crossing before this position along the other threads, modulo 4
    float climb = 0;  // 0..1 from that crossing to the next, smoothed
};

TSpan MakeSpan(float t, int threads, std::uint32_t seed, bool repeats, std::int32_t direction,
               float halfWidth, float baseTone, float variation) {
    TSpan s;
    const int k = repeats ? std::min(int(std::floor(t)), threads - 1) : int(std::floor(t));
    const TThread thread =
        MakeThread(seed, LatticeIndex(k, threads, repeats), direction, halfWidth, baseTone, variation);
    s.across = (t - float(k) - 0.5f) / thread.halfWidth;
    s.inside = std::fabs(s.across) < 1.0f;
    s.profile = s.inside ? std::sqrt(1.0f - s.across * s.across) : 0.0f;
    s.tone = thread.tone;
    s.thread = k & 3;
    s.fibre = s.across * FibresAcross + thread.phase;
    // Crossings lie at the threads' middles, k + 0.5.
    const float c = t - 0.5f;
    const int before = int(std::floor(c));
    s.crossing = before & 3;
    s.climb = Smooth(c - float(before));
    return s;
}

} // namespace

std::span<const TPatternParam> WeaveParams() {
    return ParamTable;
}

void DrawWeave(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field) {
    const int pattern = params.values[2];
    // A weave repeats every 2 threads (plain) or 4: a repeating tile holds whole repeats.
    const int period = pattern == Plain ? 2 : 4;
    int threads = params.values[0];
    if (params.axes.x || params.axes.y) threads = (threads + period - 1) / period * period;
    const float halfWidth = float(params.values[1]) / 200.0f;
    const float fibres = float(params.values[3]) / 100.0f;
    const float variation = float(params.values[4]) / 100.0f;
    // Along an axis that does not repeat the tile holds half a thread more, so that its two edges
    // cut the weave at different places and the tile does not repeat that way by accident.
    const float stepX = (float(threads) + (params.axes.x ? 0.0f : 0.5f)) / float(size);
    const float stepY = (float(threads) + (params.axes.y ? 0.0f : 0.5f)) / float(size);

    // Warp threads run down the tile, one per column span; weft threads across, one per row span.
    std::vector<TSpan> columns(std::size_t(size), TSpan{});
    for (int i = 0; i < size; ++i)
        columns[std::size_t(i)] = MakeSpan((float(i) + 0.5f) * stepX, threads, params.seed, params.axes.x, 0,
                                           halfWidth, WarpTone, variation);

    for (int j = rowBegin; j < rowEnd; ++j) {
        const float y = (float(j) + 0.5f) * stepY;
        const TSpan weft =
            MakeSpan(y, threads, params.seed, params.axes.y, 1, halfWidth, WeftTone, variation);
        const int r = params.axes.y ? std::min(int(std::floor(y)), threads - 1) : int(std::floor(y));
        // Each thread's elevation at a crossing: +1 on top, -1 beneath. The warp of column c,
        // here between crossings weft.crossing and the next, by c modulo 4; the weft of this row
        // at the crossing with column k, by k modulo 4.
        float warpFrom[4], warpTo[4], weftAt[4];
        for (int c = 0; c < 4; ++c) {
            warpFrom[c] = WarpOver(pattern, c, weft.crossing) ? 1.0f : -1.0f;
            warpTo[c] = WarpOver(pattern, c, weft.crossing + 1) ? 1.0f : -1.0f;
            weftAt[c] = WarpOver(pattern, c, r) ? -1.0f : 1.0f;
        }
        float* tone = field.Tone(j);
        float* height = field.Height(j);
        float* roughness = field.Roughness(j);
        for (int i = 0; i < size; ++i) {
            const TSpan& warp = columns[std::size_t(i)];
            // The surface of each thread here: its elevation along it plus its rounded top.
            float warpTop = -1.0f, weftTop = -1.0f;
            const int c = warp.thread;
            if (warp.inside) {
                const float z = warpFrom[c] + (warpTo[c] - warpFrom[c]) * weft.climb;
                warpTop = 0.5f + 0.25f * z + 0.25f * warp.profile;
            }
            if (weft.inside) {
                const float from = weftAt[warp.crossing], to = weftAt[(warp.crossing + 1) & 3];
                const float z = from + (to - from) * warp.climb;
                weftTop = 0.5f + 0.25f * z + 0.25f * weft.profile;
            }
            if (!warp.inside && !weft.inside) {
                tone[i] = GapTone;
                height[i] = 0.0f;
                roughness[i] = GapRoughness;
                continue;
            }
            // The thread on top shows; its fibres turn along it as they run.
            const bool warpShows = warpTop >= weftTop;
            const float stripe =
                warpShows ? Stripe(warp.fibre + y) : Stripe(weft.fibre + (float(i) + 0.5f) * stepX);
            const float grain = fibres * (stripe - 0.5f);
            const float top = warpShows ? warpTop : weftTop;
            tone[i] = std::clamp((warpShows ? warp.tone : weft.tone) + 0.15f * grain, 0.0f, 1.0f);
            height[i] = std::clamp(top - 0.04f * grain, 0.0f, 1.0f);
            roughness[i] = ThreadRoughness + 0.1f * fibres * stripe;
        }
    }
}

} // namespace vorn
