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

bool ReadOutputTexture(const TGenerator& generator, TBitmap32& bitmap) {
    return CopyToBitmap(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                        generator.TextureSize, bitmap);
}

TExportResult ReadOutputForExport(const TGenerator& generator, const std::string& fileName,
                                  TBitmap32& bitmap) {
    return ReadTileForExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                             generator.TextureSize, fileName, bitmap);
}

TExportResult ExportOutputTexture(const TGenerator& generator, const std::string& fileName, int jpegQuality,
                                  TFileWriter& writer, TSaveMode mode, const TMapOptions& maps,
                                  std::string_view recipe) {
    if (!maps.Any())
        return TileExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                          generator.TextureSize, fileName, jpegQuality, writer, mode, recipe);
    TBitmap32 bitmap;
    const TExportResult read = ReadOutputForExport(generator, fileName, bitmap);
    if (!read.ok) return read;
    const TExportResult texture = WriteTileForExport(bitmap, fileName, jpegQuality, writer, mode, recipe);
    if (!texture.ok) return texture;
    const TExportResult written =
        WriteMaps(bitmap, texture.writtenFile, MapOptionsOf(generator, maps), writer, mode);
    return written.ok ? texture : written;
}

} // namespace vorn
