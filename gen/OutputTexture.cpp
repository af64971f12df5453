#include "gen/OutputTexture.h"

#include <algorithm>
#include <new>

#include "engine/VornTextures.h"
#include "gen/Generator.h"

namespace vorn {

TMapEdges MapEdgesOf(TTileAxes axes) {
    return {axes.x, axes.y};
}

TMapOptions MapOptionsOf(const TGenerator& generator, TMapOptions maps) {
    maps.edges = MapEdgesOf(generator.TileAxes());
    maps.relief = generator.Relief();
    return maps;
}

namespace {

// A transparent tile's texels as read back (premultiplied, coverage in alpha) as format holds them.
void ForFormat(const TGenerator& generator, TExportFormat format, TBitmap32& bitmap) {
    if (!generator.OutputTransparent()) return;
    if (format == TExportFormat::Png)
        UnpremultiplyAlpha(bitmap);
    else
        ComposeOverColor(bitmap, RgbOfCanvasColor(generator.TileBackground()));
}

} // namespace

bool ReadOutputTexture(const TGenerator& generator, TBitmap32& bitmap) {
    try {
        return ReadOutputAs(generator, TExportFormat::Jpeg, bitmap);
    } catch (const std::bad_alloc&) {
        return false; // the window shows what it has; nothing may throw through its event loop
    }
}

bool ReadOutputAs(const TGenerator& generator, TExportFormat format, TBitmap32& bitmap) {
    if (!CopyToBitmap(*generator.Textures, TGenerator::GetIndex(generator.TextureSize), generator.TextureSize,
                      bitmap))
        return false;
    ForFormat(generator, format, bitmap);
    return true;
}

TExportResult ReadOutputForExport(const TGenerator& generator, const std::string& fileName,
                                  TBitmap32& bitmap) {
    TExportResult read = ReadTileForExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                                           generator.TextureSize, fileName, bitmap);
    if (read.ok) ForFormat(generator, ResolveExportName(fileName).format, bitmap);
    return read;
}

std::string TransparencyNote(const TGenerator& generator, TExportFormat format) {
    if (!generator.OutputTransparent() || format == TExportFormat::Png) return {};
    return std::string(format == TExportFormat::Jpeg ? "JPEG" : "BMP") +
           " holds no transparency: written over the BG Color";
}

TExportResult ReadOutputExport(const TGenerator& generator, const std::string& fileName,
                               const TMapOptions& maps, TOutputExport& job) {
    job.fileName = fileName;
    job.maps = MapOptionsOf(generator, maps);
    job.note = TransparencyNote(generator, ResolveExportName(fileName).format);
    return ReadOutputForExport(generator, fileName, job.bitmap);
}

TExportResult WriteOutputExport(const TOutputExport& job, int jpegQuality, TFileWriter& writer,
                                TSaveMode mode, std::string_view recipe) {
    const bool maps = job.maps.Any();
    // A material set's text files name the texture's files: a control character there (a
    // newline, say) would break them, so nothing is written.
    const bool control = std::ranges::any_of(
        job.fileName, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
    if (control && job.maps.material != TMaterialSet::None)
        return ExportFailure(job.fileName, "a material set cannot name a file with control characters");
    TExportResult texture =
        WriteTileForExport(job.bitmap, job.fileName, jpegQuality, writer, mode, recipe, maps);
    if (!texture.ok) return texture;
    texture.note = job.note;
    if (!maps) return texture;
    const TExportResult written = WriteMaps(job.bitmap, texture.writtenFile, job.maps, writer, mode);
    return written.ok ? texture : written;
}

TExportResult ExportOutputTexture(const TGenerator& generator, const std::string& fileName, int jpegQuality,
                                  TFileWriter& writer, TSaveMode mode, const TMapOptions& maps,
                                  std::string_view recipe) {
    if (!maps.Any() && !generator.OutputTransparent())
        return TileExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                          generator.TextureSize, fileName, jpegQuality, writer, mode, recipe);
    TOutputExport job;
    const TExportResult read = ReadOutputExport(generator, fileName, maps, job);
    if (!read.ok) return read;
    return WriteOutputExport(job, jpegQuality, writer, mode, recipe);
}

} // namespace vorn
