#include "gen/OutputTexture.h"

#include "engine/VornTextures.h"
#include "gen/Generator.h"

namespace vorn {

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
                                  TFileWriter& writer, TSaveMode mode, std::string_view recipe) {
    return TileExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize), generator.TextureSize,
                      fileName, jpegQuality, writer, mode, recipe);
}

} // namespace vorn
