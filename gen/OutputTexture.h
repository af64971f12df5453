// The generator's output texture, the render target of its TextureSize, read back from the
// device or exported to a file: the export's functions applied to that target.
#pragma once

#include <string>

#include "export/MaterialMaps.h"
#include "export/TileExport.h"
#include "gen/GenParams.h"

namespace vorn {

class TGenerator;

// The edges the maps of a tile repeating across axes wrap across (the others clamp).
TMapEdges MapEdgesOf(TTileAxes axes);
// maps with the edges of the generator's tile (TGenerator::TileAxes).
TMapOptions MapOptionsOf(const TGenerator& generator, TMapOptions maps);

// CopyToBitmap of the output texture.
bool ReadOutputTexture(const TGenerator& generator, TBitmap32& bitmap);
// ReadTileForExport of the output texture, for fileName.
TExportResult ReadOutputForExport(const TGenerator& generator, const std::string& fileName,
                                  TBitmap32& bitmap);
// TileExport of the output texture, then WriteMaps of it beside the file written (with the
// edges of the generator's Tiling), with the same mode; the first failure is the result.
TExportResult ExportOutputTexture(const TGenerator& generator, const std::string& fileName, int jpegQuality,
                                  TFileWriter& writer = SystemFileWriter(), TSaveMode mode = smReplace,
                                  const TMapOptions& maps = {}, std::string_view recipe = {});

} // namespace vorn
