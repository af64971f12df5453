#include "gen/OutputTexture.h"

#include "engine/VornTextures.h"
#include "gen/Generator.h"

namespace vorn {

TMapEdges MapEdgesOf(TTileAxes axes) {
    return {axes.x, axes.y};
}

TMapOptions MapOptionsOf(const TGenerator& generator, TMapOptions maps) {
    maps.edges = MapEdgesOf(generator.TileAxes());
    return maps;
}

namespace {

// A transparent tile's texels as read back (premultiplied, coverage in alpha) as format holds them.
void ForFormat(const TGenerator& generator, TExportFormat format, TBitmap32& bitmap) {
    if (!generator.TileTransparent()) return;
    if (format == TExportFormat::Png)
        UnpremultiplyAlpha(bitmap);
    else
        ComposeOverColor(bitmap, RgbOfCanvasColor(generator.BackgroundColor));
}

} // namespace

bool ReadOutputTexture(const TGenerator& generator, TBitmap32& bitmap) {
    return ReadOutputAs(generator, TExportFormat::Jpeg, bitmap);
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
    if (!generator.TileTransparent() || format == TExportFormat::Png) return {};
    return std::string(format == TExportFormat::Jpeg ? "JPEG" : "BMP") +
           " holds no transparency: written over the BG Color";
}

TExportResult ExportOutputTexture(const TGenerator& generator, const std::string& fileName, int jpegQuality,
                                  TFileWriter& writer, TSaveMode mode, const TMapOptions& maps,
                                  std::string_view recipe) {
    if (!maps.Any() && !generator.TileTransparent())
        return TileExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                          generator.TextureSize, fileName, jpegQuality, writer, mode, recipe);
    TBitmap32 bitmap;
    const TExportResult read = ReadOutputForExport(generator, fileName, bitmap);
    if (!read.ok) return read;
    TExportResult texture = WriteTileForExport(bitmap, fileName, jpegQuality, writer, mode, recipe, maps.Any());
    if (!texture.ok) return texture;
    texture.note = TransparencyNote(generator, ResolveExportName(fileName).format);
    if (!maps.Any()) return texture;
    const TExportResult written =
        WriteMaps(bitmap, texture.writtenFile, MapOptionsOf(generator, maps), writer, mode);
    return written.ok ? texture : written;
}

} // namespace vorn
