#include "export/MaterialLight.h"

#include "export/MapIndex.h"
#include "export/SurfaceMaps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>

namespace vorn {

namespace {

double SrgbToLinear(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double v) {
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

// byte -> linear light.
const std::array<float, 256>& DecodeTable() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) t[std::size_t(i)] = float(SrgbToLinear(i / 255.0));
        return t;
    }();
    return table;
}

// linear light in steps of 1 / MaterialEncodeSteps -> byte.
const std::array<std::uint8_t, MaterialEncodeSteps + 1>& EncodeTable() {
    static const std::array<std::uint8_t, MaterialEncodeSteps + 1> table = [] {
        std::array<std::uint8_t, MaterialEncodeSteps + 1> t{};
        for (int i = 0; i <= MaterialEncodeSteps; ++i)
            t[std::size_t(i)] =
                std::uint8_t(std::floor(255.0 * LinearToSrgb(double(i) / MaterialEncodeSteps) + 0.5));
        return t;
    }();
    return table;
}

// The roughness byte's GGX terms: alpha^2 and k.
struct TRoughTerms {
    float alpha2, k;
};
const std::array<TRoughTerms, 256>& RoughnessTable() {
    static const std::array<TRoughTerms, 256> table = [] {
        std::array<TRoughTerms, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double rough = i / 255.0;
            const double alpha = std::max(rough * rough, double(MinMaterialAlpha));
            t[std::size_t(i)] = {float(alpha * alpha), float(alpha / 2)};
        }
        return t;
    }();
    return table;
}

// The power-of-two factor the tile is reduced by: the least that brings both sides to at most
// maxSide, as long as it divides them (so the reduced tile still repeats exactly).
std::int32_t ReductionFactor(std::int32_t width, std::int32_t height, std::int32_t maxSide) {
    std::int32_t k = 1;
    while ((width / k > maxSide || height / k > maxSide) && width % (2 * k) == 0 && height % (2 * k) == 0)
        k *= 2;
    return k;
}

// Every plane of out but the albedo, from the maps (all out's size).
void FillSurfaceTerms(const TBitmap32& normal, TNormalY normalY, const std::vector<std::uint8_t>& roughness,
                      const std::vector<std::uint8_t>& occlusion, TMaterialSurface& out, int threads) {
    const std::int32_t w = out.width, h = out.height;
    const std::array<TRoughTerms, 256>& rough = RoughnessTable();
    const float ySign = normalY == TNormalY::Down ? 1.0f : -1.0f; // y runs down the image here
    RunBands(h, BandCount(threads, h), [&](int, std::int32_t y0, std::int32_t y1) {
        for (std::int32_t y = y0; y < y1; ++y) {
            const std::uint8_t* n = normal.Row(y);
            const std::uint8_t* r = roughness.data() + std::size_t(y) * std::size_t(w);
            const std::uint8_t* o = occlusion.data() + std::size_t(y) * std::size_t(w);
            float* nxs = out.Row(mpNormalX, y);
            float* nys = out.Row(mpNormalY, y);
            float* nzs = out.Row(mpNormalZ, y);
            float* alpha2 = out.Row(mpAlpha2, y);
            float* ks = out.Row(mpK, y);
            float* view = out.Row(mpViewTerm, y);
            float* ao = out.Row(mpOcclusion, y);
            for (std::int32_t x = 0; x < w; ++x, n += 4) {
                const float nx = (float(n[2]) - 128.0f) / 127.5f;
                const float ny = ySign * (float(n[1]) - 128.0f) / 127.5f;
                const float nz = (float(n[0]) - 128.0f) / 127.5f;
                const float length2 = nx * nx + ny * ny + nz * nz;
                const float inverse = length2 > 0 ? 1.0f / std::sqrt(length2) : 0.0f;
                nxs[x] = nx * inverse;
                nys[x] = ny * inverse;
                nzs[x] = length2 > 0 ? nz * inverse : 1.0f;
                const TRoughTerms terms = rough[r[x]];
                alpha2[x] = terms.alpha2;
                ks[x] = terms.k;
                const float nv = std::max(nzs[x], 0.0f);
                view[x] = 1.0f / (4.0f * (nv * (1.0f - terms.k) + terms.k));
                ao[x] = float(o[x]) / 255.0f;
            }
        }
    });
}

// What a light gives every pixel alike.
struct TShadeConstants {
    float lx, ly, lz; // directional: unit vector towards the light; point: the light's position
    float ambient, intensity, specular;
};

// The pixels a span is lit in at a time.
constexpr std::int32_t SpanPixels = 128;

// max(v, least) as a plain select, which the vectoriser turns into lane blends.
inline float AtLeast(float v, float least) {
    return v > least ? v : least;
}

// The light reaching n pixels of a tile row from texel x0 on, the first pixel's centre at
// (left, pixelY) of the output: lit = ambient * occlusion + intensity * n.L (what the albedo
// takes) and the specular term (shine). Plain arrays in and out, so the loop runs on vector lanes.
template <bool Point>
void LightSpan(const TMaterialSurface& surface, std::int32_t y, std::int32_t x0, std::int32_t n, float left,
               float pixelY, const TShadeConstants& c, float* __restrict lit, float* __restrict shine) {
    const float* __restrict nxs = surface.Row(mpNormalX, y) + x0;
    const float* __restrict nys = surface.Row(mpNormalY, y) + x0;
    const float* __restrict nzs = surface.Row(mpNormalZ, y) + x0;
    const float* __restrict alpha2 = surface.Row(mpAlpha2, y) + x0;
    const float* __restrict ks = surface.Row(mpK, y) + x0;
    const float* __restrict view = surface.Row(mpViewTerm, y) + x0;
    const float* __restrict ao = surface.Row(mpOcclusion, y) + x0;
    const float specular = c.specular * c.intensity;
    for (std::int32_t i = 0; i < n; ++i) {
        float lx = c.lx, ly = c.ly, lz = c.lz;
        if constexpr (Point) {
            lx -= left + float(i);
            ly -= pixelY;
            const float inverse = 1.0f / std::sqrt(AtLeast(lx * lx + ly * ly + lz * lz, 1e-12f));
            lx *= inverse;
            ly *= inverse;
            lz *= inverse;
        }
        const float nl = AtLeast(nxs[i] * lx + nys[i] * ly + nzs[i] * lz, 0.0f);
        // H = normalize(L + V), V = (0, 0, 1).
        const float hz = lz + 1.0f;
        const float inverseH = 1.0f / std::sqrt(AtLeast(lx * lx + ly * ly + hz * hz, 1e-12f));
        const float nh = AtLeast((nxs[i] * lx + nys[i] * ly + nzs[i] * hz) * inverseH, 0.0f);
        const float vh = AtLeast(hz * inverseH, 0.0f);
        const float d = nh * nh * (alpha2[i] - 1.0f) + 1.0f;
        const float g = nl * (1.0f - ks[i]) + ks[i];
        const float m = 1.0f - vh;
        const float m2 = m * m;
        const float fresnel = MaterialReflectance + (1.0f - MaterialReflectance) * (m2 * m2 * m);
        shine[i] = specular * alpha2[i] * view[i] * fresnel * nl / (g * d * d);
        lit[i] = c.ambient * ao[i] + c.intensity * nl;
    }
}

inline std::uint8_t Encode(const std::uint8_t* table, float v) {
    // NaN-safe clamp into 0..1.
    const float c = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    return table[int(c * float(MaterialEncodeSteps) + 0.5f)];
}

// One output row: the tile's row y twice across, pixel x of the output at x + 0.5.
template <bool Point>
void ShadeRow(const TMaterialSurface& surface, std::int32_t y, std::int32_t outY, const TShadeConstants& c,
              std::uint8_t* __restrict out) {
    const std::uint8_t* encode = EncodeTable().data();
    const std::int32_t w = surface.width;
    const float* reds = surface.Row(mpRed, y);
    const float* greens = surface.Row(mpGreen, y);
    const float* blues = surface.Row(mpBlue, y);
    const float pixelY = float(outY) + 0.5f;
    float lit[SpanPixels], shine[SpanPixels];
    for (std::int32_t copy = 0; copy < 2; ++copy)
        for (std::int32_t x0 = 0; x0 < w; x0 += SpanPixels) {
            const std::int32_t n = std::min(SpanPixels, w - x0);
            LightSpan<Point>(surface, y, x0, n, float(copy * w + x0) + 0.5f, pixelY, c, lit, shine);
            for (std::int32_t i = 0; i < n; ++i, out += 4) {
                out[0] = Encode(encode, blues[x0 + i] * lit[i] + shine[i]);
                out[1] = Encode(encode, greens[x0 + i] * lit[i] + shine[i]);
                out[2] = Encode(encode, reds[x0 + i] * lit[i] + shine[i]);
                out[3] = 255;
            }
        }
}

} // namespace

bool MakeMaterialSurface(const TBitmap32& texture, const TBitmap32& normal, TNormalY normalY,
                         const std::vector<std::uint8_t>& roughness,
                         const std::vector<std::uint8_t>& occlusion, TMaterialSurface& out, int threads) {
    const std::int32_t w = texture.Width(), h = texture.Height();
    const std::size_t count = std::size_t(w) * std::size_t(h);
    if (texture.Empty() || normal.Width() != w || normal.Height() != h || roughness.size() != count ||
        occlusion.size() != count)
        return false;
    try {
        TMaterialSurface surface;
        surface.width = w;
        surface.height = h;
        surface.planes.resize(MaterialPlaneCount * count);
        const std::array<float, 256>& decode = DecodeTable();
        for (std::int32_t y = 0; y < h; ++y) {
            const std::uint8_t* p = texture.Row(y);
            float* reds = surface.Row(mpRed, y);
            float* greens = surface.Row(mpGreen, y);
            float* blues = surface.Row(mpBlue, y);
            for (std::int32_t x = 0; x < w; ++x, p += 4) {
                blues[x] = decode[p[0]];
                greens[x] = decode[p[1]];
                reds[x] = decode[p[2]];
            }
        }
        FillSurfaceTerms(normal, normalY, roughness, occlusion, surface, threads);
        out = std::move(surface);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

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

bool PrepareMaterialSurface(const TBitmap32& texture, TMapEdges edges, TMaterialSurface& out,
                            std::int32_t maxTileSide, int threads, const TSurfaceRelief* relief) {
    if (texture.Empty() || maxTileSide < 1) return false;
    try {
        const std::int32_t k = ReductionFactor(texture.Width(), texture.Height(), maxTileSide);
        const std::int32_t w = texture.Width() / k, h = texture.Height() / k;
        TMaterialSurface surface;
        surface.width = w;
        surface.height = h;
        surface.planes.resize(MaterialPlaneCount * surface.Count());
        // The reduced tile: the maps' input as rounded byte averages, the albedo as averages in
        // linear light (so a fine pattern keeps its brightness).
        TBitmap32 reduced;
        if (k > 1) reduced.Resize(w, h);
        const TBitmap32& small = k > 1 ? reduced : texture;
        const std::array<float, 256>& decode = DecodeTable();
        const std::uint32_t boxCount = std::uint32_t(k) * std::uint32_t(k);
        const float inverseCount = 1.0f / float(boxCount);
        RunBands(h, BandCount(threads, h), [&](int, std::int32_t y0, std::int32_t y1) {
            for (std::int32_t y = y0; y < y1; ++y) {
                float* reds = surface.Row(mpRed, y);
                float* greens = surface.Row(mpGreen, y);
                float* blues = surface.Row(mpBlue, y);
                std::uint8_t* bytes = k > 1 ? reduced.Row(y) : nullptr;
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
                    if (bytes) {
                        for (int ch = 0; ch < 3; ++ch)
                            bytes[4 * x + ch] = std::uint8_t((sum[ch] + boxCount / 2) / boxCount);
                        bytes[4 * x + 3] = 255;
                    }
                }
            }
        });

        // The maps with the default settings; the normals' y down the image, as shaded.
        TMapOptions options;
        options.edges = edges;
        options.normalY = TNormalY::Down;
        const bool fits = relief && ReliefFits(*relief, texture);
        if (fits)
            options.relief =
                std::make_shared<const TSurfaceRelief>(k > 1 ? ReducedRelief(*relief, k) : *relief);
        THeightMap height;
        TBitmap32 normal;
        std::vector<std::uint8_t> roughness, occlusion;
        if (!MakeTileHeightMap(small, options, height) || !MakeTileNormalMap(height, options, normal) ||
            !(fits ? MakeTileRoughnessMap(small, height, options, roughness)
                   : MakeRoughnessMap(small, height, options.roughnessMin, options.roughnessMax,
                                      double(RoughnessContrastRadius) / MapReferenceSide, edges, roughness,
                                      threads)) ||
            !MakeOcclusionMap(height, double(options.occlusionRadius) / MapReferenceSide,
                              ScaledReliefPixels(options.normalStrength, w) / w, edges, occlusion, threads))
            return false;
        FillSurfaceTerms(normal, options.normalY, roughness, occlusion, surface, threads);
        out = std::move(surface);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ShadeMaterial(const TMaterialSurface& surface, const TMaterialLight& light, TBitmap32& out,
                   int threads) {
    if (surface.Empty() || surface.planes.size() != MaterialPlaneCount * surface.Count()) return false;
    const std::int32_t w = surface.width, h = surface.height;
    TShadeConstants c{light.x, light.y, light.z, light.ambient, light.intensity, light.specular};
    if (light.point) {
        c.lz = std::max(c.lz, 1e-3f); // above the surface
    } else {
        const float length2 = c.lx * c.lx + c.ly * c.ly + c.lz * c.lz;
        if (length2 > 0) {
            const float inverse = 1.0f / std::sqrt(length2);
            c.lx *= inverse;
            c.ly *= inverse;
            c.lz *= inverse;
        } else {
            c.lx = c.ly = 0;
            c.lz = 1; // no direction: overhead
        }
    }
    try {
        if (out.Width() != 2 * w || out.Height() != 2 * h) out.Resize(2 * w, 2 * h);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::int32_t rows = 2 * h;
    RunBands(rows, BandCount(threads, rows), [&](int, std::int32_t y0, std::int32_t y1) {
        for (std::int32_t y = y0; y < y1; ++y) {
            if (light.point)
                ShadeRow<true>(surface, y % h, y, c, out.Row(y));
            else
                ShadeRow<false>(surface, y % h, y, c, out.Row(y));
        }
    });
    return true;
}

} // namespace vorn
