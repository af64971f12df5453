#include "export/MaterialSets.h"

#include <cmath>
#include <new>

#include "export/MapIndex.h"
#include "export/MaterialText.h"
#include "export/SurfaceMaps.h"
#include "export/TileExport.h"

namespace vorn {

const TMaterialSetInfo& MaterialSetInfo(TMaterialSet set) {
    for (const TMaterialSetInfo& info : MaterialSetTable)
        if (info.set == set) return info;
    return MaterialSetTable[0];
}

const TMaterialSetInfo* FindMaterialSet(std::string_view name) {
    for (const TMaterialSetInfo& info : MaterialSetTable)
        if (name == info.name) return &info;
    return nullptr;
}

std::string MaterialSetProblem(const std::string& textureFile, const TMapOptions& options) {
    if (options.material != TMaterialSet::Gltf) return {};
    const TExportFormat format = ResolveExportName(textureFile).format;
    if (format == TExportFormat::Bmp) return "A glTF material needs a PNG or JPEG texture";
    return {};
}

std::uint8_t MetalByte(double metallic) {
    if (!(metallic > 0.0)) return 0;
    return std::uint8_t(std::floor(255.0 * std::min(metallic, 1.0) + 0.5));
}

bool PackMaterialImage(const TMaterialSetInfo& set, std::int32_t width, std::int32_t height,
                       const std::vector<std::uint8_t>& occlusion, const std::vector<std::uint8_t>& roughness,
                       std::uint8_t metal, TBitmap32& out) {
    const std::size_t count = std::size_t(width) * std::size_t(height);
    if (set.set == TMaterialSet::None || width <= 0 || height <= 0 || occlusion.size() != count ||
        roughness.size() != count)
        return false;
    out.Resize(width, height);
    // Texels are blue, green, red, alpha: channel c of the file (red first) is byte 2 - c, alpha 3.
    static constexpr int Byte[4] = {2, 1, 0, 3};
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = out.Row(y);
        const std::size_t start = std::size_t(y) * std::size_t(width);
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint8_t ao = occlusion[start + std::size_t(x)];
            const std::uint8_t rough = roughness[start + std::size_t(x)];
            for (int c = 0; c < 4; ++c) {
                std::uint8_t v = 0;
                switch (set.channels[c]) {
                case TPackSource::Zero:
                    v = 0;
                    break;
                case TPackSource::Full:
                    v = 255;
                    break;
                case TPackSource::Metal:
                    v = metal;
                    break;
                case TPackSource::Occlusion:
                    v = ao;
                    break;
                case TPackSource::Roughness:
                    v = rough;
                    break;
                case TPackSource::Smoothness:
                    v = std::uint8_t(255 - rough);
                    break;
                }
                row[4 * x + Byte[c]] = v;
            }
        }
    }
    return true;
}

namespace {

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Stem(const std::string& textureFile) {
    return textureFile.substr(0, textureFile.size() - ExportExtension(textureFile).size());
}

// The set's files by role; height empty when the height is not asked for.
struct TSetFiles {
    std::string height, normal, packed, descriptor;
};

TSetFiles SetFilesOf(const std::string& textureFile, const TMapOptions& options) {
    const TMaterialSetInfo& set = MaterialSetInfo(options.material);
    TSetFiles files;
    if (options.height) {
        const bool exr = set.heightExr || options.format == TMapFormat::Exr;
        files.height = MapFileName(textureFile, set.heightKind, exr ? ".exr" : ".png");
    }
    files.normal = MapFileName(textureFile, set.normalKind);
    files.packed = MapFileName(textureFile, set.packedKind);
    files.descriptor = Stem(textureFile) + set.descriptor;
    return files;
}

std::string DescriptorText(const TMaterialSetInfo& set, const std::string& textureFile,
                           const TSetFiles& files, bool transparent) {
    TMaterialFiles names;
    names.name = BaseName(Stem(textureFile));
    names.colour = BaseName(textureFile);
    names.packed = BaseName(files.packed);
    names.normal = BaseName(files.normal);
    if (!files.height.empty()) names.height = BaseName(files.height);
    names.transparent = transparent;
    if (set.set == TMaterialSet::Gltf) return GltfText(names);
    if (set.set == TMaterialSet::Godot) return GodotText(names);
    return ImportNotesText(set, names);
}

} // namespace

std::vector<std::string> MaterialSetFileNames(const std::string& textureFile, const TMapOptions& options) {
    if (options.material == TMaterialSet::None) return {};
    const TSetFiles files = SetFilesOf(textureFile, options);
    std::vector<std::string> names;
    if (!files.height.empty()) names.push_back(files.height);
    names.insert(names.end(), {files.normal, files.packed, files.descriptor});
    return names;
}

TExportResult WriteMaterialSet(const TBitmap32& texture, const std::string& textureFile,
                               const TMapOptions& options, TFileWriter& writer, TSaveMode mode) {
    TExportResult result;
    result.ok = true;
    if (options.material == TMaterialSet::None) return result;
    const TMaterialSetInfo& set = MaterialSetInfo(options.material);
    const TSetFiles files = SetFilesOf(textureFile, options);
    std::string current = files.height.empty() ? files.normal : files.height;
    if (const std::string problem = MaterialSetProblem(textureFile, options); !problem.empty())
        return ExportFailure(current, problem);
    if (!(options.metallic >= MinMetallic && options.metallic <= MaxMetallic))
        return ExportFailure(current, "The metalness is out of range");
    try {
        THeightMap height;
        if (!MakeTileHeightMap(texture, options, height))
            return ExportFailure(current, "The height map cannot be made");
        if (!files.height.empty()) {
            const bool exr = files.height.ends_with(".exr");
            result = SaveEncoded(
                [&](auto& bytes, auto& reason) {
                    return exr ? EncodeGreyExr(height.width, height.height, height.values, 65535.0, bytes,
                                               reason)
                               : EncodeHeightPng(height, bytes, &reason);
                },
                current, writer, mode);
            if (!result.ok) return result;
        }

        current = files.normal;
        TMapOptions normalOptions = options;
        normalOptions.normalY = set.normalY;
        TBitmap32 normal;
        if (!MakeTileNormalMap(height, normalOptions, normal))
            return ExportFailure(current, "The normal map cannot be made");
        result =
            SaveEncoded([&](auto& bytes, auto& reason) { return EncodeNormalPng(normal, bytes, &reason); },
                        current, writer, mode);
        if (!result.ok) return result;

        current = files.packed;
        std::vector<std::uint8_t> occlusion, roughness;
        TBitmap32 packed;
        if (!MakeTileOcclusionMap(height, options, occlusion) ||
            !MakeTileRoughnessMap(texture, height, options, roughness) ||
            !PackMaterialImage(set, height.width, height.height, occlusion, roughness,
                               MetalByte(options.metallic), packed))
            return ExportFailure(current, "The packed map cannot be made");
        result = SaveEncoded(
            [&](auto& bytes, auto& reason) {
                return set.Alpha() ? EncodeRgbaPng(packed, bytes, &reason)
                                 : EncodeNormalPng(packed, bytes, &reason);
            },
            current, writer, mode);
        if (!result.ok) return result;

        current = files.descriptor;
        const std::string text = DescriptorText(set, textureFile, files, texture.HasAlpha());
        const auto* begin = reinterpret_cast<const std::uint8_t*>(text.data());
        return SaveExportBytes(current, std::span<const std::uint8_t>(begin, text.size()), writer, mode);
    } catch (const std::bad_alloc&) {
        return ExportFailure(current, "Out of memory");
    }
}

} // namespace vorn
