#include "app/ReliefSurface.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "export/SurfaceMaps.h"
#include "io/RowBands.h"

namespace vorn {

namespace {

// byte -> linear light, as the shading decodes the albedo.
const std::array<float, 256>& DecodeTable() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[std::size_t(i)] = float(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return t;
    }();
    return table;
}

// The least power of two that brings both sides to at most maxSide, as long as it divides them
// (PrepareMaterialSurface's factor: the reduced tile still repeats exactly).
std::int32_t ReductionFactor(std::int32_t width, std::int32_t height, std::int32_t maxSide) {
    std::int32_t k = 1;
    while ((width / k > maxSide || height / k > maxSide) && width % (2 * k) == 0 && height % (2 * k) == 0)
        k *= 2;
    return k;
}

// texture reduced by k: the rounded byte average of each box (alpha 255), and its average in
// linear light into surface's albedo planes (sized already).
void ReduceTexture(const TBitmap32& texture, std::int32_t k, TBitmap32& reduced, TMaterialSurface& surface,
                   int threads) {
    const std::int32_t w = surface.width, h = surface.height;
    reduced.Resize(w, h);
    const std::array<float, 256>& decode = DecodeTable();
    const std::uint32_t boxCount = std::uint32_t(k) * std::uint32_t(k);
    const float inverseCount = 1.0f / float(boxCount);
    RunBands(h, BandCount(threads, h), [&](int, std::int32_t y0, std::int32_t y1) {
        for (std::int32_t y = y0; y < y1; ++y) {
            float* reds = surface.Row(mpRed, y);
            float* greens = surface.Row(mpGreen, y);
            float* blues = surface.Row(mpBlue, y);
            std::uint8_t* bytes = reduced.Row(y);
            for (std::int32_t x = 0; x < w; ++x) {
                std::uint32_t sum[3] = {0, 0, 0};
                float linear[3] = {0, 0, 0};
                for (std::int32_t dy = 0; dy < k; ++dy) {
                    const std::uint8_t* p = texture.Row(y * k + dy) + std::size_t(x) * std::size_t(k) * 4;
                    for (std::int32_t dx = 0; dx < k; ++dx, p += 4)
                        for (int ch = 0; ch < 3; ++ch) {
                            sum[ch] += p[ch];
                            linear[ch] += decode[p[ch]];
                        }
                }
                blues[x] = linear[0] * inverseCount;
                greens[x] = linear[1] * inverseCount;
                reds[x] = linear[2] * inverseCount;
                for (int ch = 0; ch < 3; ++ch)
                    bytes[4 * x + ch] = std::uint8_t((sum[ch] + boxCount / 2) / boxCount);
                bytes[4 * x + 3] = 255;
            }
        }
    });
}

} // namespace

TSurfaceRelief ReducedRelief(const TSurfaceRelief& relief, std::int32_t k) {
    const std::int32_t w = relief.height.width / k, h = relief.height.height / k;
    TSurfaceRelief reduced;
    reduced.height.width = w;
    reduced.height.height = h;
    reduced.height.values.resize(std::size_t(w) * std::size_t(h));
    reduced.roughness.resize(reduced.height.values.size());
    const std::uint32_t boxCount = std::uint32_t(k) * std::uint32_t(k);
    const std::size_t side = std::size_t(relief.height.width);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            std::uint32_t height = 0, rough = 0;
            for (std::int32_t dy = 0; dy < k; ++dy) {
                const std::size_t at = std::size_t(y * k + dy) * side + std::size_t(x) * std::size_t(k);
                for (std::int32_t dx = 0; dx < k; ++dx) {
                    height += relief.height.values[at + std::size_t(dx)];
                    rough += relief.roughness[at + std::size_t(dx)];
                }
            }
            const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
            reduced.height.values[i] = std::uint16_t((height + boxCount / 2) / boxCount);
            reduced.roughness[i] = std::uint8_t((rough + boxCount / 2) / boxCount);
        }
    return reduced;
}

bool PrepareReliefSurface(const TBitmap32& texture, const TSurfaceRelief& relief, TMapEdges edges,
                          TMaterialSurface& out, std::int32_t maxTileSide, int threads) {
    const std::int32_t width = texture.Width(), height = texture.Height();
    if (relief.Empty() || relief.height.width != width || relief.height.height != height ||
        relief.roughness.size() != relief.height.values.size() || maxTileSide < 1)
        return PrepareMaterialSurface(texture, edges, out, maxTileSide, threads);
    try {
        const std::int32_t k = ReductionFactor(width, height, maxTileSide);
        // The maps read the relief of the reduced texture's size, as the export reads the full one.
        TMapOptions options;
        options.edges = edges;
        options.normalY = TNormalY::Down; // y down the image, as shaded
        options.heightFrom = THeightFrom::Shape;
        options.relief = std::make_shared<const TSurfaceRelief>(k > 1 ? ReducedRelief(relief, k) : relief);
        TMaterialSurface albedo;
        albedo.width = width / k;
        albedo.height = height / k;
        albedo.planes.resize(MaterialPlaneCount * albedo.Count());
        TBitmap32 small;
        ReduceTexture(texture, k, small, albedo, threads);
        const std::int32_t w = small.Width();

        THeightMap heights;
        TBitmap32 normal;
        std::vector<std::uint8_t> roughness, occlusion;
        if (!MakeTileHeightMap(small, options, heights) || !MakeTileNormalMap(heights, options, normal) ||
            !MakeTileRoughnessMap(small, heights, options, roughness) ||
            !MakeOcclusionMap(heights, double(options.occlusionRadius) / MapReferenceSide,
                              ScaledReliefPixels(options.normalStrength, w) / w, edges, occlusion, threads))
            return false;
        TMaterialSurface surface;
        if (!MakeMaterialSurface(small, normal, options.normalY, roughness, occlusion, surface, threads))
            return false;
        // The albedo averaged in linear light, so that a fine pattern keeps its brightness.
        for (const TMaterialPlane plane : {mpRed, mpGreen, mpBlue})
            for (std::int32_t y = 0; y < surface.height; ++y) {
                const float* from = albedo.Row(plane, y);
                std::copy(from, from + surface.width, surface.Row(plane, y));
            }
        out = std::move(surface);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace vorn
