#include "export/MaterialMaps.h"

#include "export/MaterialSets.h"

#include "export/ExrImage.h"
#include "export/MapIndex.h"
#include "export/PngEncoder.h"
#include "export/SurfaceMaps.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace vorn {

namespace {

// ---- height ----

// One row blurred across by a box of 2 radius + 1 pixels, wrapping or clamping at its ends.
void BoxRow(const std::uint16_t* in, std::int32_t width, std::int32_t radius, bool wraps,
            std::uint16_t* out) {
    const std::uint32_t taps = 2u * std::uint32_t(radius) + 1u;
    const auto at = [&](std::int64_t x) { return in[EdgeIndex(x, width, wraps)]; };
    std::uint32_t sum = 0;
    for (std::int32_t k = -radius; k <= radius; ++k) sum += at(k);
    for (std::int32_t x = 0; x < width; ++x) {
        out[x] = std::uint16_t((sum + std::uint32_t(radius)) / taps);
        sum = sum + at(std::int64_t(x) + radius + 1) - at(std::int64_t(x) - radius);
    }
}

void AddRow(std::uint32_t* sums, const std::uint16_t* row, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) sums[x] += row[x];
}

// sums gains row add and loses row sub: the column window moves down by one.
void SlideRow(std::uint32_t* sums, const std::uint16_t* add, const std::uint16_t* sub, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) sums[x] = sums[x] + add[x] - sub[x];
}

void AverageRow(const std::uint32_t* sums, std::int32_t width, std::int32_t radius, std::uint16_t* out) {
    const std::uint32_t taps = 2u * std::uint32_t(radius) + 1u;
    for (std::int32_t x = 0; x < width; ++x) out[x] = std::uint16_t((sums[x] + std::uint32_t(radius)) / taps);
}

void BlurHeight(THeightMap& map, std::int32_t radius, TMapEdges edges) {
    const std::int32_t w = map.width;
    const std::int32_t h = map.height;
    std::vector<std::uint16_t> across(map.values.size());
    for (std::int32_t y = 0; y < h; ++y)
        BoxRow(map.Row(y), w, radius, edges.wrapX, across.data() + std::size_t(y) * w);
    const auto row = [&](std::int64_t y) {
        return across.data() + std::size_t(EdgeIndex(y, h, edges.wrapY)) * w;
    };
    std::vector<std::uint32_t> sums(std::size_t(w), 0);
    for (std::int32_t k = -radius; k <= radius; ++k) AddRow(sums.data(), row(k), w);
    for (std::int32_t y = 0; y < h; ++y) {
        AverageRow(sums.data(), w, radius, map.Row(y));
        SlideRow(sums.data(), row(std::int64_t(y) + radius + 1), row(std::int64_t(y) - radius), w);
    }
}

// ---- normal ----

struct TKernel {
    std::int32_t side;   // weight of the diagonal neighbours
    std::int32_t centre; // weight of the straight neighbour
    double scale;        // a filter's difference of H to dh/dx in pixels per pixel
    double ySign;        // +1: green up, the image's rows go down
};

// Row y's normals from rows y - 1 (up), y and y + 1 (down), columns wrapping or clamping.
void NormalRow(const std::uint16_t* up, const std::uint16_t* mid, const std::uint16_t* down,
               std::int32_t width, bool wraps, const TKernel& k, std::uint8_t* bgra) {
    // floor(127.5 c + 128) clamped to 0..255: after the clamp to [0, 255] truncation is the floor,
    // and below 0 both end at 0; no call to floor in the loop.
    const auto encode = [](double c) { return std::uint8_t(std::clamp(127.5 * c + 128.0, 0.0, 255.0)); };
    for (std::int32_t x = 0; x < width; ++x, bgra += 4) {
        const std::int32_t l = x > 0 ? x - 1 : wraps ? width - 1 : 0;
        const std::int32_t r = x + 1 < width ? x + 1 : wraps ? 0 : width - 1;
        const std::int32_t gx = k.side * (up[r] - up[l] + down[r] - down[l]) + k.centre * (mid[r] - mid[l]);
        const std::int32_t gy = k.side * (down[l] - up[l] + down[r] - up[r]) + k.centre * (down[x] - up[x]);
        const double nx = -k.scale * gx;
        const double ny = k.ySign * k.scale * gy;
        const double length = std::sqrt(nx * nx + ny * ny + 1.0);
        bgra[0] = encode(1.0 / length);
        bgra[1] = encode(ny / length);
        bgra[2] = encode(nx / length);
        bgra[3] = 255;
    }
}

// The height with a blur of any radius up to 64 pixels more than a sixteenth of the side.
bool HeightMapOf(const TBitmap32& texture, int blurRadius, THeightMap& out, TMapEdges edges) {
    if (texture.Empty() || blurRadius < 0 ||
        blurRadius > std::max(texture.Width(), texture.Height()) / 16 + 64)
        return false;
    out.width = texture.Width();
    out.height = texture.Height();
    out.values.resize(std::size_t(out.width) * std::size_t(out.height));
    for (std::int32_t y = 0; y < out.height; ++y) LuminanceRow(texture.Row(y), out.width, out.Row(y));
    if (blurRadius > 0) BlurHeight(out, blurRadius, edges);
    return true;
}

// The normals of height standing reliefPixels above black where it is white.
bool NormalMapOf(const THeightMap& height, double reliefPixels, TNormalY y, TNormalFilter filter,
                 TBitmap32& out, TMapEdges edges) {
    if (!ValidHeight(height) || !(reliefPixels >= 0.0) || !std::isfinite(reliefPixels)) return false;
    TKernel kernel = filter == TNormalFilter::Scharr ? TKernel{3, 10, 0, 0} : TKernel{1, 2, 0, 0};
    kernel.scale = reliefPixels / (2.0 * (2 * kernel.side + kernel.centre) * 65535.0);
    kernel.ySign = y == TNormalY::Up ? 1.0 : -1.0;
    out.Resize(height.width, height.height);
    const std::int32_t h = height.height;
    // Each row depends on the height alone: bands of rows on threads of their own give the same map.
    RunBands(h, BandCount(0, h), [&](int, std::int32_t y0, std::int32_t y1) {
        for (std::int32_t row = y0; row < y1; ++row)
            NormalRow(height.Row(EdgeIndex(row - 1, h, edges.wrapY)), height.Row(row),
                      height.Row(EdgeIndex(row + 1, h, edges.wrapY)), height.width, edges.wrapX, kernel,
                      out.Row(row));
    });
    return true;
}

} // namespace

bool MakeHeightMap(const TBitmap32& texture, int blurRadius, THeightMap& out, TMapEdges edges) {
    if (blurRadius < MinHeightBlur || blurRadius > MaxHeightBlur) return false;
    return HeightMapOf(texture, blurRadius, out, edges);
}

bool MakeNormalMap(const THeightMap& height, double strength, TNormalY y, TNormalFilter filter,
                   TBitmap32& out, TMapEdges edges) {
    if (!(strength >= MinNormalStrength && strength <= MaxNormalStrength)) return false;
    return NormalMapOf(height, strength * NormalReliefPixels, y, filter, out, edges);
}

int ScaledBlurRadius(int blur, int width) {
    return static_cast<int>((std::int64_t(blur) * width * 2 + MapReferenceSide) / (2 * MapReferenceSide));
}

double ScaledReliefPixels(double strength, int width) {
    return strength * NormalReliefPixels * width / MapReferenceSide;
}

bool ReliefFits(const TSurfaceRelief& relief, const TBitmap32& texture) {
    return !relief.Empty() && relief.height.width == texture.Width() &&
           relief.height.height == texture.Height() && relief.roughness.size() == relief.height.values.size();
}

const TSurfaceRelief* ReliefFor(const TBitmap32& texture, const TMapOptions& options) {
    const TSurfaceRelief* relief = options.relief.get();
    if (!relief || options.heightFrom != THeightFrom::Shape || !ReliefFits(*relief, texture)) return nullptr;
    return relief;
}

bool MakeTileHeightMap(const TBitmap32& texture, const TMapOptions& options, THeightMap& out) {
    if (options.heightBlur < MinHeightBlur || options.heightBlur > MaxHeightBlur) return false;
    const int blur = ScaledBlurRadius(options.heightBlur, texture.Width());
    const TSurfaceRelief* relief = ReliefFor(texture, options);
    if (!relief) return HeightMapOf(texture, blur, out, options.edges);
    out = relief->height;
    if (blur > 0) BlurHeight(out, blur, options.edges);
    return true;
}

bool MakeTileNormalMap(const THeightMap& height, const TMapOptions& options, TBitmap32& out) {
    if (!(options.normalStrength >= MinNormalStrength && options.normalStrength <= MaxNormalStrength))
        return false;
    return NormalMapOf(height, ScaledReliefPixels(options.normalStrength, height.width), options.normalY,
                       options.normalFilter, out, options.edges);
}

bool EncodeHeightPng(const THeightMap& height, std::vector<std::uint8_t>& out, std::string* reason) {
    if (height.width <= 0 || height.height <= 0) {
        if (reason) *reason = "The image is empty";
        return false;
    }
    return EncodePngImage(PngGrey16Rows(height.width, height.height, height.values.data()), {}, out, reason);
}

bool EncodeNormalPng(const TBitmap32& normal, std::vector<std::uint8_t>& out, std::string* reason) {
    if (normal.Empty()) {
        if (reason) *reason = "The image is empty";
        return false;
    }
    return EncodePngImage(PngBitmapRows(normal, false), {}, out, reason);
}

bool EncodeRgbaPng(const TBitmap32& image, std::vector<std::uint8_t>& out, std::string* reason) {
    if (image.Empty()) {
        if (reason) *reason = "The image is empty";
        return false;
    }
    return EncodePngImage(PngBitmapRows(image, true), {}, out, reason);
}

bool EncodeGreyPng(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& values,
                   std::vector<std::uint8_t>& out, std::string* reason) {
    if (width <= 0 || height <= 0 || values.size() != std::size_t(width) * std::size_t(height)) {
        if (reason) *reason = "The image is empty";
        return false;
    }
    return EncodePngImage(PngGrey8Rows(width, height, values.data()), {}, out, reason);
}

std::string MapFileName(const std::string& textureFile, const char* kind, const char* extension) {
    const std::size_t stem = textureFile.size() - ExportExtension(textureFile).size();
    return textureFile.substr(0, stem) + "_" + kind + extension;
}

namespace {

// The maps an export writes, in the order of writing.
std::vector<const char*> MapKinds(const TMapOptions& options) {
    std::vector<const char*> kinds;
    for (const TMapKind& kind : MapKindTable)
        if (options.*kind.wanted) kinds.push_back(kind.name);
    return kinds;
}

// The extension of a map's file: the normal map is always PNG, the grey maps as the format says.
const char* MapExtension(const char* kind, const TMapOptions& options) {
    return options.format == TMapFormat::Exr && std::string_view(kind) != NormalMapKind ? ".exr" : ".png";
}

std::string MapFileOf(const std::string& textureFile, const char* kind, const TMapOptions& options) {
    return MapFileName(textureFile, kind, MapExtension(kind, options));
}

// One map of texture as file bytes: the height made once (and blurred) serves all of them.
bool EncodeMap(const char* kind, const TBitmap32& texture, const THeightMap& height,
               const TMapOptions& options, std::vector<std::uint8_t>& bytes, std::string& reason) {
    const std::string_view which = kind;
    const bool exr = options.format == TMapFormat::Exr;
    if (which == HeightMapKind)
        return exr ? EncodeGreyExr(height.width, height.height, height.values, 65535.0, bytes, reason)
                   : EncodeHeightPng(height, bytes, &reason);
    if (which == NormalMapKind) {
        TBitmap32 normal;
        if (!MakeTileNormalMap(height, options, normal))
            return (reason = "The normal map cannot be made"), false;
        return EncodeNormalPng(normal, bytes, &reason);
    }
    std::vector<std::uint8_t> grey;
    const bool made = which == RoughnessMapKind ? MakeTileRoughnessMap(texture, height, options, grey)
                                                : MakeTileOcclusionMap(height, options, grey);
    if (!made) return (reason = std::string("The ") + kind + " map cannot be made"), false;
    return exr ? EncodeGreyExr(height.width, height.height, grey, 255.0, bytes, reason)
               : EncodeGreyPng(height.width, height.height, grey, bytes, &reason);
}

} // namespace

std::vector<std::string> ExportedFileNames(const std::string& textureFile, const TMapOptions& options) {
    std::vector<std::string> names{textureFile};
    if (options.material != TMaterialSet::None) {
        const std::vector<std::string> set = MaterialSetFileNames(textureFile, options);
        names.insert(names.end(), set.begin(), set.end());
        return names;
    }
    for (const char* kind : MapKinds(options)) names.push_back(MapFileOf(textureFile, kind, options));
    return names;
}

TExportResult WriteMaps(const TBitmap32& texture, const std::string& textureFile, const TMapOptions& options,
                        TFileWriter& writer, TSaveMode mode) {
    if (options.material != TMaterialSet::None)
        return WriteMaterialSet(texture, textureFile, options, writer, mode);
    TExportResult result;
    result.ok = true;
    const std::vector<const char*> kinds = MapKinds(options);
    if (kinds.empty()) return result;
    std::string current = MapFileOf(textureFile, kinds.front(), options);
    try {
        THeightMap height;
        if (!MakeTileHeightMap(texture, options, height))
            return ExportFailure(current, "The height map cannot be made");
        for (const char* kind : kinds) {
            current = MapFileOf(textureFile, kind, options);
            result = SaveEncoded(
                [&](auto& bytes, auto& reason) {
                    return EncodeMap(kind, texture, height, options, bytes, reason);
                },
                current, writer, mode);
            if (!result.ok) return result;
        }
        return result;
    } catch (const std::bad_alloc&) {
        return ExportFailure(current, "Out of memory");
    }
}

} // namespace vorn
