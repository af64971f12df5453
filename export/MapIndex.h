// What the map filters share: the luminance the height and the roughness read, neighbour
// indices (across an edge the texture repeats over, the index wraps, -1 is the last; across the
// others it clamps, -1 is 0); the bands of rows they spread over threads are io/RowBands.h's.
// Private to export/.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "export/ExrImage.h"
#include "export/MaterialMaps.h"
#include "export/TileExport.h"
#include "io/RowBands.h"

namespace vorn {

// A row of BGRA texels as 16-bit heights: (257 (2126 R + 7152 G + 722 B) + 5000) / 10000.
inline void LuminanceRow(const std::uint8_t* bgra, std::int32_t width, std::uint16_t* out) {
    for (std::int32_t x = 0; x < width; ++x, bgra += 4) {
        const std::uint32_t weighted = 722u * bgra[0] + 7152u * bgra[1] + 2126u * bgra[2];
        out[x] = std::uint16_t((257u * weighted + 5000u) / 10000u);
    }
}

// A height map whose size and values agree.
inline bool ValidHeight(const THeightMap& height) {
    return height.width > 0 && height.height > 0 &&
           height.values.size() == std::size_t(height.width) * std::size_t(height.height);
}

// Index i of a period n as the texture repeats: -1 is n - 1.
inline std::int32_t Wrap(std::int64_t i, std::int32_t n) {
    const std::int64_t r = i % n;
    return std::int32_t(r < 0 ? r + n : r);
}

// Index i in 0 .. n - 1: wrapped as the texture repeats, or clamped to the nearer edge.
inline std::int32_t EdgeIndex(std::int64_t i, std::int32_t n, bool wraps) {
    return wraps ? Wrap(i, n) : std::int32_t(std::clamp<std::int64_t>(i, 0, n - 1));
}

// A grey map as one EXR channel "Y", its values divided by full (65535 or 255).
template <class T>
bool EncodeGreyExr(std::int32_t width, std::int32_t height, const std::vector<T>& values, double full,
                   std::vector<std::uint8_t>& bytes, std::string& reason) {
    TExrChannel y{"Y", std::vector<float>(values.size())};
    for (std::size_t i = 0; i < values.size(); ++i) y.values[i] = static_cast<float>(values[i] / full);
    return EncodeExr(width, height, {y}, bytes, &reason);
}

// Encodes a file by encode(bytes, reason) and saves it whole; the result as the export words it.
template <class TEncode>
TExportResult SaveEncoded(TEncode encode, const std::string& fileName, TFileWriter& writer, TSaveMode mode) {
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!encode(bytes, reason)) return ExportFailure(fileName, reason);
    return SaveExportBytes(fileName, bytes, writer, mode);
}

} // namespace vorn
