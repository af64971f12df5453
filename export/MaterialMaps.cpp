#include "export/MaterialMaps.h"

#include "export/MaterialSets.h"

#include "export/ExrImage.h"
#include "export/MapIndex.h"
#include "export/SurfaceMaps.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <new>

#include <png.h>

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
    const auto encode = [](double c) {
        return std::uint8_t(std::clamp(std::floor(127.5 * c + 128.0), 0.0, 255.0));
    };
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

// ---- PNG through libpng ----
// libpng reports an error by calling the error function, which must not return: it longjmps back
// to RunPng. No frame between the two holds an object with a destructor, and everything that
// needs freeing is owned by the caller of RunPng, so the jump leaks nothing.

// An 8-bit grey image's bytes and size.
struct TGreyImage {
    std::int32_t width, height;
    const std::vector<std::uint8_t>* values;
};

enum class TPngKind { Grey16, Rgb8, Rgba8, Grey8 };

struct TPngJob {
    const void* image; // THeightMap, TBitmap32 or TGreyImage, as kind says
    TPngKind kind;
    std::vector<std::uint8_t>* out;
    char message[160];
};

void PngError(png_structp png, png_const_charp text) {
    auto* job = static_cast<TPngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", text);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {} // not printed

void PngWrite(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bool appended = true;
    try {
        out->insert(out->end(), data, data + size);
    } catch (...) {
        appended = false;
    }
    if (!appended) png_error(png, "Out of memory");
}

void PngFlush(png_structp) {}

[[gnu::noinline]] void WritePng(png_structp png, png_infop info, TPngJob& job) {
    png_set_write_fn(png, job.out, PngWrite, PngFlush);
    if (job.kind == TPngKind::Grey8) {
        const auto& grey = *static_cast<const TGreyImage*>(job.image);
        png_set_IHDR(png, info, png_uint_32(grey.width), png_uint_32(grey.height), 8, PNG_COLOR_TYPE_GRAY,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (std::int32_t y = 0; y < grey.height; ++y)
            png_write_row(png, grey.values->data() + std::size_t(y) * std::size_t(grey.width));
    } else if (job.kind == TPngKind::Grey16) {
        const auto& map = *static_cast<const THeightMap*>(job.image);
        png_set_IHDR(png, info, png_uint_32(map.width), png_uint_32(map.height), 16, PNG_COLOR_TYPE_GRAY,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        if constexpr (std::endian::native == std::endian::little) png_set_swap(png); // PNG is big-endian
        for (std::int32_t y = 0; y < map.height; ++y)
            png_write_row(png, reinterpret_cast<png_const_bytep>(map.Row(y)));
    } else {
        const auto& bitmap = *static_cast<const TBitmap32*>(job.image);
        const bool alpha = job.kind == TPngKind::Rgba8;
        png_set_IHDR(png, info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()), 8,
                     alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_bgr(png);                                   // rows are blue, green, red, alpha
        if (!alpha) png_set_filler(png, 0, PNG_FILLER_AFTER); // alpha dropped
        for (std::int32_t y = 0; y < bitmap.Height(); ++y) png_write_row(png, bitmap.Row(y));
    }
    png_write_end(png, nullptr);
}

// The landing place of the error function; holds nothing that a jump could skip.
bool RunPng(png_structp png, png_infop info, TPngJob& job) {
    if (setjmp(png_jmpbuf(png))) return false;
    WritePng(png, info, job);
    return true;
}

bool EncodeWithLibpng(TPngJob& job, std::string* reason) {
    job.message[0] = '\0';
    std::vector<std::uint8_t>* target = job.out;
    std::vector<std::uint8_t> bytes;
    job.out = &bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = info && RunPng(png, info, job);
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (!ok) {
        if (reason) *reason = job.message[0] ? job.message : "Out of memory";
        return false;
    }
    target->swap(bytes);
    return true;
}

// Encodes a map by encode(bytes, reason) and saves it.
template <class TEncode>
TExportResult SaveMap(TEncode encode, const std::string& fileName, TFileWriter& writer, TSaveMode mode) {
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!encode(bytes, reason)) return ExportFailure(fileName, reason);
    return SaveExportBytes(fileName, bytes, writer, mode);
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

bool MakeTileHeightMap(const TBitmap32& texture, const TMapOptions& options, THeightMap& out) {
    if (options.heightBlur < MinHeightBlur || options.heightBlur > MaxHeightBlur) return false;
    return HeightMapOf(texture, ScaledBlurRadius(options.heightBlur, texture.Width()), out, options.edges);
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
    TPngJob job{&height, TPngKind::Grey16, &out, {}};
    return EncodeWithLibpng(job, reason);
}

bool EncodeNormalPng(const TBitmap32& normal, std::vector<std::uint8_t>& out, std::string* reason) {
    if (normal.Empty()) {
        if (reason) *reason = "The image is empty";
        return false;
    }
    TPngJob job{&normal, TPngKind::Rgb8, &out, {}};
    return EncodeWithLibpng(job, reason);
}

bool EncodeRgbaPng(const TBitmap32& image, std::vector<std::uint8_t>& out, std::string* reason) {
    if (image.Empty()) {
        if (reason) *reason = "The image is empty";
        return false;
    }
    TPngJob job{&image, TPngKind::Rgba8, &out, {}};
    return EncodeWithLibpng(job, reason);
}

bool EncodeGreyPng(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& values,
                   std::vector<std::uint8_t>& out, std::string* reason) {
    if (width <= 0 || height <= 0 || values.size() != std::size_t(width) * std::size_t(height)) {
        if (reason) *reason = "The image is empty";
        return false;
    }
    const TGreyImage grey{width, height, &values};
    TPngJob job{&grey, TPngKind::Grey8, &out, {}};
    return EncodeWithLibpng(job, reason);
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

// A grey map as one EXR channel "Y", its values divided by full (65535 or 255).
template <class T>
bool EncodeGreyExr(std::int32_t width, std::int32_t height, const std::vector<T>& values, double full,
                   std::vector<std::uint8_t>& bytes, std::string& reason) {
    TExrChannel y{"Y", std::vector<float>(values.size())};
    for (std::size_t i = 0; i < values.size(); ++i) y.values[i] = static_cast<float>(values[i] / full);
    return EncodeExr(width, height, {y}, bytes, &reason);
}

// One map of texture as file bytes: the height made once (and blurred) serves all of them.
bool EncodeMap(const char* kind, const TBitmap32& texture, const THeightMap& height,
               const TMapOptions& options, std::vector<std::uint8_t>& bytes, std::string& reason) {
    const std::string_view which = kind;
    const int width = height.width;
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
    const bool made =
        which == RoughnessMapKind
            ? MakeRoughnessMap(texture, height, options.roughnessMin, options.roughnessMax,
                               double(RoughnessContrastRadius) / MapReferenceSide, options.edges, grey)
            : MakeOcclusionMap(height, double(options.occlusionRadius) / MapReferenceSide,
                               ScaledReliefPixels(options.normalStrength, width) / width, options.edges,
                               grey);
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
    if (options.material != TMaterialSet::None) return WriteMaterialSet(texture, textureFile, options, writer, mode);
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
            result = SaveMap(
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
