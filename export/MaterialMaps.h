// Height and normal maps of a texture, for lighting it in a renderer. Across the edges the
// texture repeats over, every filter reads on as it repeats (row -1 is the last row, column -1
// the last column), so the maps tile exactly as the texture does and the map of a shifted texture
// is the shifted map; across edges it does not repeat over (a texture seamless across x only)
// the filters clamp (row -1 is row 0).
//
// Height: the luminance 0.2126 R + 0.7152 G + 0.0722 B of the 8-bit values as they are (no
// gamma removed), scaled to 0..65535 and rounded half up:
//     H = (257 * (2126 R + 7152 G + 722 B) + 5000) / 10000   (integer division)
// then, with a blur radius r > 0, a box filter of 2r + 1 pixels across each row and then down
// each column, every output rounded to the nearest: (sum + r) / (2r + 1) (an odd count of
// pixels leaves no ties).
// Normal: the height as a relief in pixels, h = k NormalReliefPixels H / 65535 (white stands 8
// pixels above black at the strength k = 1), its slopes dh/dx and dh/dy from a Sobel (1 2 1
// across, the difference divided by 8) or Scharr (3 10 3, divided by 32) filter of the pixels
// either side, and n = normalize(-dh/dx, -dh/dy, 1) with y pointing up (OpenGL) or down
// (DirectX) the image. Each component c in -1..1 is stored as
// floor(127.5 c + 128) clamped to 0..255, so a flat height gives (128, 128, 255).
// The exported maps (WriteMaps, the Tiled View) measure the strength and the blur in parts of the
// tile, so that one texture's maps look alike at every size: both are given for a side of
// MapReferenceSide (1024) pixels and scale with the side, the relief to k * 8 * width / 1024 pixels
// and the blur radius to blur * width / 1024 pixels, rounded half up (MakeTileHeightMap,
// MakeTileNormalMap). At 1024 the maps are MakeHeightMap's and MakeNormalMap's.
// Files: the height as a 16-bit grey PNG, the normal as an 8-bit RGB PNG (export/PngEncoder.h),
// named after the texture: NAME_height.png and NAME_normal.png beside NAME.EXT.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/ImageWriters.h"
#include "export/TileExport.h"
#include "io/SafeFile.h"

namespace vorn {

enum class TNormalY { Up, Down }; // green up (OpenGL) or down (DirectX)
enum class TNormalFilter { Sobel, Scharr };

inline constexpr int MinHeightBlur = 0;
inline constexpr int MaxHeightBlur = 64;
inline constexpr double MinNormalStrength = 0.0;
inline constexpr double MaxNormalStrength = 100.0;
inline constexpr double DefaultNormalStrength = 1.0;
// How high white stands above black, in pixels, at strength 1 (on a side of MapReferenceSide).
inline constexpr double NormalReliefPixels = 8.0;
// The side the tile-relative strength and blur are given for.
inline constexpr int MapReferenceSide = 1024;

// The occlusion's search radius and the roughness range (export/SurfaceMaps.h), the radius in
// pixels on a side of MapReferenceSide.
inline constexpr int MinOcclusionRadius = 1;
inline constexpr int MaxOcclusionRadius = 256;
inline constexpr int DefaultOcclusionRadius = 32;
inline constexpr double DefaultRoughnessMin = 0.35;
inline constexpr double DefaultRoughnessMax = 0.9;
// The roughness's contrast box, in pixels on a side of MapReferenceSide.
inline constexpr int RoughnessContrastRadius = 4;

// The edges the filters read across: true wraps (the texture repeats there), false clamps.
struct TMapEdges {
    bool wrapX = true;
    bool wrapY = true;

    bool operator==(const TMapEdges&) const = default;
};

// The file format of the grey data maps (height, roughness, occlusion): PNG, or OpenEXR half
// float (export/ExrImage.h), one channel "Y" of the value scaled to 0..1. The normal map is PNG.
enum class TMapFormat { Png, Exr };

// The engine whose standard material the maps are packed for (export/MaterialSets.h): none (the
// maps as separate files), glTF 2.0, Godot, Unity's URP and HDRP, Unreal.
enum class TMaterialSet { None, Gltf, Godot, UnityUrp, UnityHdrp, Unreal };
inline constexpr double MinMetallic = 0.0;
inline constexpr double MaxMetallic = 1.0;

// 16-bit heights, rows top first, packed.
struct THeightMap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint16_t> values;

    std::uint16_t* Row(std::int32_t y) { return values.data() + std::size_t(y) * std::size_t(width); }
    const std::uint16_t* Row(std::int32_t y) const {
        return values.data() + std::size_t(y) * std::size_t(width);
    }
};

// A texture's own relief, when its layers give one: the height (0..65535) and the roughness
// (0..255, 0 glossy) of every texel, the texture's size. The maps are made from it rather than
// from the colour's lightness (TMapOptions::heightFrom).
struct TSurfaceRelief {
    THeightMap height;
    std::vector<std::uint8_t> roughness;
    bool Empty() const { return height.values.empty(); }
};

// Where the height (and with it the normal and occlusion) and the roughness come from: the
// texture's own relief when it has one (layers), or the colour's lightness.
enum class THeightFrom { Shape, Luminance };

struct TMapOptions {
    bool height = false;    // write NAME_height.png
    bool normal = false;    // write NAME_normal.png
    bool roughness = false; // write NAME_roughness.png
    bool occlusion = false; // write NAME_ao.png
    int heightBlur = 0;     // box radius in pixels on a 1024 side, MinHeightBlur..MaxHeightBlur
    double normalStrength = DefaultNormalStrength;
    TNormalY normalY = TNormalY::Up;
    TNormalFilter normalFilter = TNormalFilter::Sobel;
    int occlusionRadius = DefaultOcclusionRadius; // pixels on a 1024 side
    double roughnessMin = DefaultRoughnessMin, roughnessMax = DefaultRoughnessMax;
    TMapFormat format = TMapFormat::Png;
    TMaterialSet material = TMaterialSet::None; // with a set: normal, roughness, ao packed for it
    double metallic = 0.0;                      // the set's metalness, MinMetallic..MaxMetallic
    THeightFrom heightFrom = THeightFrom::Shape;
    TMapEdges edges; // set from the texture's tiling by whoever writes the maps
    // The texture's relief, set by whoever writes the maps; none: the lightness is the height.
    std::shared_ptr<const TSurfaceRelief> relief;

    bool Any() const { return height || normal || roughness || occlusion || material != TMaterialSet::None; }
    // Every field alike (the exact doubles).
    bool operator==(const TMapOptions&) const = default;
    // Both maps or none, with the default settings (the window's choice).
    static TMapOptions Both(bool on) {
        TMapOptions maps;
        maps.height = maps.normal = on;
        return maps;
    }
};

// The height of texture, blurred by blurRadius. False for an empty texture or a radius out of
// range.
bool MakeHeightMap(const TBitmap32& texture, int blurRadius, THeightMap& out, TMapEdges edges = {});

// The normal map of height as blue = z, green = y, red = x, alpha 255. False for an empty height
// map or a strength out of range.
bool MakeNormalMap(const THeightMap& height, double strength, TNormalY y, TNormalFilter filter,
                   TBitmap32& out, TMapEdges edges = {});

// The blur radius in pixels and the relief in pixels of a map width pixels wide, for the blur
// and the strength given on a side of MapReferenceSide.
int ScaledBlurRadius(int blur, int width);
double ScaledReliefPixels(double strength, int width);
// The height and normal maps with options' blur, strength, filter, green axis and edges, the
// blur and the strength scaled to the texture's side. False as the two above.
// With options' relief (of the texture's size) and heightFrom Shape, the height is the relief's,
// blurred as asked, and the roughness (export/SurfaceMaps.h) the relief's over the range asked for.
bool MakeTileHeightMap(const TBitmap32& texture, const TMapOptions& options, THeightMap& out);
// relief is of texture's size, height and roughness alike.
bool ReliefFits(const TSurfaceRelief& relief, const TBitmap32& texture);
// options' relief when the maps of texture are made from it (see above), else null.
const TSurfaceRelief* ReliefFor(const TBitmap32& texture, const TMapOptions& options);
bool MakeTileNormalMap(const THeightMap& height, const TMapOptions& options, TBitmap32& out);

// 16-bit grey PNG of height; 8-bit RGB PNG of normal (alpha dropped). No chunks but IHDR, IDAT
// and IEND; rows compressed on all processors (export/PngEncoder.h). False, with a reason, for
// an empty map or no memory.
bool EncodeHeightPng(const THeightMap& height, std::vector<std::uint8_t>& out, std::string* reason = nullptr);
bool EncodeNormalPng(const TBitmap32& normal, std::vector<std::uint8_t>& out, std::string* reason = nullptr);
// 8-bit RGBA PNG of image, chunks as above (the packed maps of some engines).
bool EncodeRgbaPng(const TBitmap32& image, std::vector<std::uint8_t>& out, std::string* reason = nullptr);
// 8-bit grey PNG of width * height bytes (the roughness and occlusion maps), chunks as above.
bool EncodeGreyPng(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& values,
                   std::vector<std::uint8_t>& out, std::string* reason = nullptr);

// "dir/NAME_height.png" for "dir/NAME.EXT" (kind "height", "normal", ...; extension ".png" or
// ".exr"); the texture's extension is what ExportExtension finds, none for a name without one.
std::string MapFileName(const std::string& textureFile, const char* kind, const char* extension = ".png");
inline constexpr const char* HeightMapKind = "height";
inline constexpr const char* NormalMapKind = "normal";
inline constexpr const char* RoughnessMapKind = "roughness";
inline constexpr const char* OcclusionMapKind = "ao";

// Each map by its kind (as --maps and the file names spell it) and the option that asks for it,
// in the order of writing.
struct TMapKind {
    const char* name;
    bool TMapOptions::*wanted;
};
inline constexpr TMapKind MapKindTable[] = {{HeightMapKind, &TMapOptions::height},
                                            {NormalMapKind, &TMapOptions::normal},
                                            {RoughnessMapKind, &TMapOptions::roughness},
                                            {OcclusionMapKind, &TMapOptions::occlusion}};

// The files of the maps options asks for: MapFileName(textureFile, ...) in the order height,
// normal, roughness, ao; each saved whole or not at all, with mode as the texture's. Stops at the first that
// fails, as the export words it ("Cannot write <file>: <reason>"). writtenFile is the last name.
TExportResult WriteMaps(const TBitmap32& texture, const std::string& textureFile, const TMapOptions& options,
                        TFileWriter& writer = SystemFileWriter(), TSaveMode mode = smReplace);

// The texture's file, then the maps' files options asks for: every file an export of
// textureFile writes, in the order of writing.
std::vector<std::string> ExportedFileNames(const std::string& textureFile, const TMapOptions& options);

} // namespace vorn
