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

// CopyToBitmap of the output texture, the picture as shown: a transparent tile's
// (TGenerator::TileTransparent) over the BG Color. False when memory runs out too.
bool ReadOutputTexture(const TGenerator& generator, TBitmap32& bitmap);
// CopyToBitmap of the output texture as a file of format holds it: a transparent tile's with
// straight alpha in a PNG (the bitmap HasAlpha), over the BG Color in a JPEG or BMP. Throws
// std::bad_alloc when memory runs out.
bool ReadOutputAs(const TGenerator& generator, TExportFormat format, TBitmap32& bitmap);
// ReadTileForExport of the output texture, for fileName, as ReadOutputAs its format.
TExportResult ReadOutputForExport(const TGenerator& generator, const std::string& fileName,
                                  TBitmap32& bitmap);
// "JPEG holds no transparency: written over the BG Color" when the tile is transparent and
// format holds no alpha; empty otherwise.
std::string TransparencyNote(const TGenerator& generator, TExportFormat format);
// TileExport of the output texture (a transparent tile's as ReadOutputForExport reads it, the
// result's note its TransparencyNote), then WriteMaps of it beside the file written (with the
// edges of the generator's Tiling), with the same mode; the first failure is the result.
TExportResult ExportOutputTexture(const TGenerator& generator, const std::string& fileName, int jpegQuality,
                                  TFileWriter& writer = SystemFileWriter(), TSaveMode mode = smReplace,
                                  const TMapOptions& maps = {}, std::string_view recipe = {});

// ExportOutputTexture in two halves, for a window that saves a large texture while it goes on:
// the read-back on the device's thread (the texture as fileName's format holds it, maps with the
// tile's edges, the note), then the writing, which touches only the job and writer.
struct TOutputExport {
    std::string fileName;
    TBitmap32 bitmap;
    TMapOptions maps;
    std::string note;
};
TExportResult ReadOutputExport(const TGenerator& generator, const std::string& fileName,
                               const TMapOptions& maps, TOutputExport& job);
TExportResult WriteOutputExport(const TOutputExport& job, int jpegQuality,
                                TFileWriter& writer = SystemFileWriter(), TSaveMode mode = smReplace,
                                std::string_view recipe = {});

} // namespace vorn
