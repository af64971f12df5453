// Bands of rows spread over threads: how many, where each starts, and running them. Each band
// writes rows of its own, so a result never depends on the number of bands.
#pragma once

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

namespace vorn {

// Threads for rows: threads, or the processor count (at most 8) for 0; never more than rows.
inline int BandCount(int threads, std::int32_t rows) {
    int n = threads;
    if (n <= 0) n = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    return int(std::clamp<std::int64_t>(n, 1, std::max<std::int32_t>(rows, 1)));
}

// First row of band b of n over rows.
inline std::int32_t BandStart(std::int32_t rows, int b, int n) {
    return std::int32_t(std::int64_t(rows) * b / n);
}

// Runs band(b, y0, y1) for the n bands of rows, band 0 on the calling thread and the others on
// threads of their own; a band whose thread cannot start runs here instead.
template <class TBand> void RunBands(std::int32_t rows, int n, const TBand& band) {
    std::vector<std::jthread> workers;
    workers.reserve(std::size_t(n));
    for (int b = 1; b < n; ++b) {
        const std::int32_t y0 = BandStart(rows, b, n);
        const std::int32_t y1 = BandStart(rows, b + 1, n);
        try {
            workers.emplace_back([&band, b, y0, y1] { band(b, y0, y1); });
        } catch (const std::system_error&) {
            band(b, y0, y1);
        }
    }
    band(0, 0, BandStart(rows, 1, n));
}

} // namespace vorn
