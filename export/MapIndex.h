// Neighbour indices of the map filters: across an edge the texture repeats over, the index wraps
// (-1 is the last); across the others it clamps (-1 is 0). Private to export/.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vorn {

// Index i of a period n as the texture repeats: -1 is n - 1.
inline std::int32_t Wrap(std::int64_t i, std::int32_t n) {
    const std::int64_t r = i % n;
    return std::int32_t(r < 0 ? r + n : r);
}

// Index i in 0 .. n - 1: wrapped as the texture repeats, or clamped to the nearer edge.
inline std::int32_t EdgeIndex(std::int64_t i, std::int32_t n, bool wraps) {
    return wraps ? Wrap(i, n) : std::int32_t(std::clamp<std::int64_t>(i, 0, n - 1));
}

} // namespace vorn
