// A text trace of the canvas calls of a tile synthesis, one line per call in call order:
//   FillGradientRect L T R B C0 C1 C2 C3 E / FillSolidRect L T W H C E / DrawRotatedScaled I C X Y A S P E
// Integers in decimal, colours and effect codes as 8 upper-case hex digits, reals with "%.17g".
#pragma once

#include <cstdint>
#include <cstdio>

#include "gen/TileSynthesis.h"

namespace vorn {

inline constexpr const char* TraceHeader = "# pallimor-trace 1";

// Writes each call to the trace file (when there is one), then hands it on to next (when set).
class TTracePainter final : public TTilePainter {
public:
    TTracePainter(std::FILE* trace, TTilePainter* next) : m_trace(trace), m_next(next) {}

    void FillGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect) override;
    void FillSolidRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                       TCanvasColor color, TBlendEffect effect) override;
    void DrawRotatedScaled(std::int32_t image, TCanvasColor color, double x, double y, double angle,
                           double scale, std::int32_t pattern, TBlendEffect effect) override;
    double ImageHalfSide(std::int32_t image) const override {
        return m_next ? m_next->ImageHalfSide(image) : -1.0;
    }

private:
    std::FILE* m_trace;
    TTilePainter* m_next;
};

// "# pallimor-trace 1", once at the top of a trace file.
void WriteTraceHeader(std::FILE* trace);
// "# <label> XXXXXXXX": the random seed around a texture's block ("seed-before", "seed-after").
void WriteTraceSeed(std::FILE* trace, const char* label, std::uint32_t seed);

} // namespace vorn
