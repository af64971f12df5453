// Textures of 2048 and 4096: the canvas calls of the 1024 synthesis, recorded as drawn, are drawn
// again into a larger target with every coordinate and scale multiplied by the size's factor, so
// the large texture is the same walk with more detail. Brushes with a high-resolution twin in the
// archive (key + "-4x", four times the side) are drawn from the twin, so hard edges stay crisp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gen/TileSynthesis.h"

namespace vorn {

inline constexpr std::int32_t MaxTextureSize = 4096;
// The side of a high-resolution brush twin, in multiples of its brush's side.
inline constexpr std::int32_t HighResFactor = 4;
inline constexpr const char* HighResSuffix = "-4x";

constexpr bool IsLargeSize(int size) {
    return size > TileSize;
}

// One canvas call of the synthesis, with its arguments as given.
struct TPaintCall {
    enum TKind : std::uint8_t { Gradient, Solid, Stamp };
    TKind kind = Stamp;
    TBlendEffect effect = beOpaque;
    std::int32_t image = 0;   // Stamp
    std::int32_t pattern = 0; // Stamp
    TIntRect rect;            // Gradient: left, top, right, bottom; Solid: left, top, width, height
    TColorQuad colors{};      // Gradient
    TCanvasColor color = 0;   // Solid, Stamp
    double x = 0, y = 0, angle = 0, scale = 0; // Stamp
};

// The calls drawn into the tile since it was last cleared or covered by a background: what a
// large target must draw to show the same texture. Past MaxCalls it stops recording and is
// marked incomplete (a Keep chain of hundreds of textures): the large texture then needs the
// texture's recipe.
class TPaintChain {
public:
    static constexpr std::size_t MaxCalls = std::size_t(1) << 19; // 44 MiB of calls

    void Restart() {
        m_calls.clear();
        m_complete = true;
    }
    void Forget() {
        m_calls.clear();
        m_calls.shrink_to_fit();
        m_complete = false;
    }
    void Add(const TPaintCall& call) {
        if (!m_complete) return;
        if (m_calls.size() == MaxCalls) {
            Forget();
            return;
        }
        m_calls.push_back(call);
    }
    bool Complete() const { return m_complete; }
    const std::vector<TPaintCall>& Calls() const { return m_calls; }

private:
    std::vector<TPaintCall> m_calls;
    bool m_complete = false; // nothing known until the first cleared or covered tile
};

// Records every call into chain, then hands it on to next.
class TRecordingPainter final : public TTilePainter {
public:
    TRecordingPainter(TPaintChain& chain, TTilePainter& next) : m_chain(chain), m_next(next) {}

    void FillGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect) override;
    void FillSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                       TCanvasColor color, TBlendEffect effect) override;
    void DrawRotatedScaled(std::int32_t image, TCanvasColor color, double x, double y, double angle,
                           double scale, std::int32_t pattern, TBlendEffect effect) override;
    double ImageHalfSide(std::int32_t image) const override { return m_next.ImageHalfSide(image); }

private:
    TPaintChain& m_chain;
    TTilePainter& m_next;
};

// Where a large replay draws: the calls of painter, plus stamps of the high-resolution twins.
class TLargePainter : public TTilePainter {
public:
    // Draws the high-resolution twin of brush `twin` (0 .. TwinImages - 1) like
    // DrawRotatedScaled; false, drawing nothing, when that brush has none.
    virtual bool DrawTwin(std::int32_t twin, TCanvasColor color, double x, double y, double angle,
                          double scale, std::int32_t pattern, TBlendEffect effect) = 0;
};

// Image list positions that may have a high-resolution twin: the eight brushes.
inline constexpr std::int32_t FirstTwinImage = BrushImage(0, 0);
inline constexpr std::int32_t TwinImages = 8;
// One call, scaled by factor, through painter (see ReplayScaled).
void ReplayCall(const TPaintCall& call, int factor, TLargePainter& painter);

// Draws calls [first, last) scaled by factor (2 or 4) through painter; every pumpEvery calls,
// pump() runs, and its false stops the drawing there. A stamp of a brush with a twin is drawn from
// the twin at scale * factor / HighResFactor; every other stamp at scale * factor. False when
// pump stopped it.
template <typename TPump>
bool ReplayScaled(const std::vector<TPaintCall>& calls, std::size_t first, std::size_t last, int factor,
                  TLargePainter& painter, std::size_t pumpEvery, TPump&& pump) {
    for (std::size_t i = first; i < last && i < calls.size(); ++i) {
        if (pumpEvery && (i - first) % pumpEvery == pumpEvery - 1 && !pump()) return false;
        ReplayCall(calls[i], factor, painter);
    }
    return true;
}

} // namespace vorn
