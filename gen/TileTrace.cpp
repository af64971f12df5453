#include "gen/TileTrace.h"

#include <charconv>
#include <cinttypes>
#include <string>

#include "gen/SeedText.h"

namespace vorn {

namespace {

// "%.17g" in the C locale whatever the process locale is (the window sets the user's).
std::string Real(double v) {
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 17);
    return std::string(buffer, result.ptr);
}

} // namespace

void TTracePainter::FillGradientRect(const TIntRect& rect, const TColorQuad& colors, TBlendEffect effect) {
    if (m_trace) {
        std::fprintf(m_trace,
                     "FillGradientRect %" PRId32 " %" PRId32 " %" PRId32 " %" PRId32 " %08" PRIX32
                     " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 "\n",
                     rect.Left, rect.Top, rect.Right, rect.Bottom, colors[0], colors[1], colors[2], colors[3],
                     effect);
    }
    if (m_next) m_next->FillGradientRect(rect, colors, effect);
}

void TTracePainter::FillSolidRect(std::int32_t left, std::int32_t top, std::int32_t width,
                                  std::int32_t height, TCanvasColor color, TBlendEffect effect) {
    if (m_trace) {
        std::fprintf(m_trace,
                     "FillSolidRect %" PRId32 " %" PRId32 " %" PRId32 " %" PRId32 " %08" PRIX32 " %08" PRIX32
                     "\n",
                     left, top, width, height, color, effect);
    }
    if (m_next) m_next->FillSolidRect(left, top, width, height, color, effect);
}

void TTracePainter::DrawRotatedScaled(std::int32_t image, TCanvasColor color, double x, double y,
                                      double angle, double scale, std::int32_t pattern, TBlendEffect effect) {
    if (m_trace) {
        std::fprintf(m_trace,
                     "DrawRotatedScaled %" PRId32 " %08" PRIX32 " %s %s %s %s %" PRId32 " %08" PRIX32 "\n",
                     image, color, Real(x).c_str(), Real(y).c_str(), Real(angle).c_str(), Real(scale).c_str(),
                     pattern, effect);
    }
    if (m_next) m_next->DrawRotatedScaled(image, color, x, y, angle, scale, pattern, effect);
}

void WriteTraceHeader(std::FILE* trace) {
    if (trace) std::fprintf(trace, "%s\n", TraceHeader);
}

void WriteTraceSeed(std::FILE* trace, const char* label, std::uint32_t seed) {
    if (trace) std::fprintf(trace, "# %s %s\n", label, SeedText(seed).c_str());
}

} // namespace vorn
