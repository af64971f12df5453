#include "engine/SoftRasterDetail.h"

namespace vorn::sd {

SimdLevel ActiveSimdLevel() { return SimdLevel::Scalar; }

namespace detail {

void DrawTrianglesSpans(const DrawState& state, const RasterVertex* vertices, std::size_t count) {
    DrawTrianglesReference(state, vertices, count);
}

} // namespace detail
} // namespace vorn::sd
