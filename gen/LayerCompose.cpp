#include "gen/LayerCompose.h"

#include <algorithm>
#include <vector>

#include "io/RowBands.h"

namespace vorn {

namespace {

// Rows drawn at once by a thread: few enough that a band's patterns stay small (64 rows of a
// 4096 field are 3 MiB), enough that the kinds' set-up per band (cells' sites, noise lattices)
// is paid rarely.
constexpr int ChunkRows = 64;

float Clamp01(float v) {
    return std::min(std::max(v, 0.0f), 1.0f);
}

// One row's running values, reused from row to row.
struct TRowState {
    std::vector<float> colour; // B, G, R per texel
    std::vector<float> height, roughness, mask;
    std::vector<float> tone;         // a pattern's tones moved into its part of the palette
    std::vector<std::uint8_t> layer; // a layer's colour, BGRA
    void Resize(int size) {
        colour.resize(std::size_t(size) * 3);
        for (std::vector<float>* v : {&height, &roughness, &mask, &tone}) v->resize(std::size_t(size));
        layer.resize(std::size_t(size) * 4);
    }
};

float Blended(TLayerBlend blend, float below, float colour) {
    switch (blend) {
    case TLayerBlend::Add:
        return std::min(below + colour, 255.0f);
    case TLayerBlend::Sub:
        return std::max(below - colour, 0.0f);
    case TLayerBlend::Multiply:
        return below * colour / 255.0f;
    case TLayerBlend::Overlay:
        return below < 128.0f ? 2.0f * below * colour / 255.0f
                              : 255.0f - 2.0f * (255.0f - below) * (255.0f - colour) / 255.0f;
    default:
        return colour;
    }
}

// One layer over the row: colour (BGRA, straight), height and roughness per texel, coverage per
// texel before the layer's opacity and mask (1 for a pattern, the tile's alpha for the tile).
void ApplyLayer(const TLayer& layer, int count, const std::uint8_t* colour, const float* height,
                const float* roughness, const float* coverage, TRowState& row) {
    const float opacity = float(layer.opacity) / 100.0f, relief = float(layer.relief) / 100.0f;
    float* mask = row.mask.data();
    if (layer.blend == TLayerBlend::Mask || layer.blend == TLayerBlend::MaskLow) {
        const bool low = layer.blend == TLayerBlend::MaskLow;
        const float from = float(layer.maskFrom) / 100.0f;
        const float span = std::max(float(layer.maskTo - layer.maskFrom) / 100.0f, 1.0f / 256.0f);
        for (int i = 0; i < count; ++i) {
            const float edge = Clamp01((height[i] - from) / span);
            const float m = low ? 1.0f - edge : edge;
            mask[i] = mask[i] * (1.0f + (m - 1.0f) * opacity);
        }
        return;
    }
    float* c = row.colour.data();
    float* h = row.height.data();
    float* r = row.roughness.data();
    if (layer.blend == TLayerBlend::Height) {
        for (int i = 0; i < count; ++i) {
            const float o = opacity * mask[i] * (coverage ? coverage[i] : 1.0f);
            h[i] = Clamp01(h[i] + (height[i] - 0.5f) * relief * o);
            r[i] = Clamp01(r[i] + (roughness[i] - 0.5f) * o);
        }
    } else {
        for (int i = 0; i < count; ++i) {
            const float o = opacity * mask[i] * (coverage ? coverage[i] : 1.0f);
            for (int k = 0; k < 3; ++k) {
                const float below = c[3 * i + k];
                c[3 * i + k] = below + (Blended(layer.blend, below, float(colour[4 * i + k])) - below) * o;
            }
            const float e = 0.5f + (height[i] - 0.5f) * relief;
            h[i] = h[i] + (e - h[i]) * o;
            r[i] = r[i] + (roughness[i] - r[i]) * o;
        }
    }
    std::fill(row.mask.begin(), row.mask.begin() + count, 1.0f);
}

// The tile's row as a layer: straight colour, coverage and height from the coverage.
void TileRow(const std::uint8_t* texels, int count, bool transparent, std::uint8_t* colour, float* coverage,
             float* height, float* roughness) {
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* t = texels + 4 * i;
        const int a = transparent ? t[3] : 255;
        for (int k = 0; k < 3; ++k)
            colour[4 * i + k] = a == 0 ? 0 : std::uint8_t(std::min(255, (t[k] * 255 + a / 2) / a));
        coverage[i] = float(a) / 255.0f;
        height[i] = transparent ? coverage[i] : 0.5f;
        roughness[i] = TileRoughness;
    }
}

} // namespace

void ComposeLayers(const TLayerStack& stack, const TComposeFrame& frame, std::uint8_t* texels,
                   std::ptrdiff_t pitch, TSurfaceRelief& relief, int threads) {
    const int size = frame.size;
    relief.height.width = relief.height.height = size;
    relief.height.values.resize(std::size_t(size) * std::size_t(size));
    relief.roughness.resize(std::size_t(size) * std::size_t(size));
    // Each layer's pattern, drawn once for all the layers that share it (a pattern and its own mask).
    std::vector<TPatternParams> patterns;
    std::vector<std::size_t> fieldOf;
    for (const TLayer& layer : stack.layers) {
        const TPatternParams params = LayerPattern(layer, frame.seed, frame.axes);
        std::size_t k = 0;
        while (k < patterns.size() && !(patterns[k] == params)) ++k;
        if (k == patterns.size() && !layer.tile) patterns.push_back(params);
        fieldOf.push_back(k);
    }
    const float back[3] = {float(frame.background & 0xFFu), float(frame.background >> 8 & 0xFFu),
                           float(frame.background >> 16 & 0xFFu)};

    RunBands(size, BandCount(threads, size), [&](int, std::int32_t y0, std::int32_t y1) {
        std::vector<TPatternField> fields(patterns.size());
        TRowState row;
        row.Resize(size);
        std::vector<std::uint8_t> tileColour(std::size_t(size) * 4);
        const std::size_t width = std::size_t(size);
        std::vector<float> tileCoverage(width), tileHeight(width), tileRoughness(width);
        for (int c0 = y0; c0 < y1; c0 += ChunkRows) {
            const int c1 = std::min(c0 + ChunkRows, int(y1));
            for (std::size_t k = 0; k < patterns.size(); ++k) DrawPatternRows(patterns[k], size, c0, c1, fields[k]);
            for (int y = c0; y < c1; ++y) {
                std::uint8_t* out = texels + std::ptrdiff_t(y) * pitch;
                for (int i = 0; i < size; ++i)
                    for (int k = 0; k < 3; ++k) row.colour[std::size_t(3 * i + k)] = back[k];
                std::fill(row.height.begin(), row.height.end(), 0.5f);
                std::fill(row.roughness.begin(), row.roughness.end(), 0.5f);
                std::fill(row.mask.begin(), row.mask.end(), 1.0f);
                for (std::size_t k = 0; k < stack.layers.size(); ++k) {
                    const TLayer& layer = stack.layers[k];
                    if (layer.tile) {
                        TileRow(out, size, frame.tileTransparent, tileColour.data(), tileCoverage.data(),
                                tileHeight.data(), tileRoughness.data());
                        ApplyLayer(layer, size, tileColour.data(), tileHeight.data(), tileRoughness.data(),
                                   tileCoverage.data(), row);
                        continue;
                    }
                    TPatternField& field = fields[fieldOf[k]];
                    const float low = float(layer.toneLow) / 100.0f, high = float(layer.toneHigh) / 100.0f;
                    const float* tone = field.Tone(y);
                    for (int i = 0; i < size; ++i) row.tone[std::size_t(i)] = low + tone[i] * (high - low);
                    ColourPatternRow(row.tone.data(), size, frame.palette, row.layer.data());
                    ApplyLayer(layer, size, row.layer.data(), field.Height(y), field.Roughness(y), nullptr,
                               row);
                }
                std::uint16_t* heights = relief.height.Row(y);
                std::uint8_t* rough = relief.roughness.data() + std::size_t(y) * std::size_t(size);
                for (int i = 0; i < size; ++i) {
                    for (int k = 0; k < 3; ++k)
                        out[4 * i + k] =
                            std::uint8_t(std::clamp(row.colour[std::size_t(3 * i + k)], 0.0f, 255.0f) + 0.5f);
                    out[4 * i + 3] = 0xFF;
                    heights[i] = std::uint16_t(Clamp01(row.height[std::size_t(i)]) * 65535.0f + 0.5f);
                    rough[i] = std::uint8_t(Clamp01(row.roughness[std::size_t(i)]) * 255.0f + 0.5f);
                }
            }
        }
    });
}

} // namespace vorn
