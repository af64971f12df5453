// Export of the current texture: reads a render target back from the device into a TBitmap32
// (CopyToBitmap) and saves it as BMP, PNG or JPEG, chosen by the file name's extension alone
// (TileExport). Paths use '/'. Failures come back as a text naming the file and the reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/ExportFormats.h"
#include "export/ImageWriters.h"
#include "io/SafeFile.h"

namespace vorn {

class TVornTextures;

// What a file name means for the export: the name written (".bmp" appended when the name has no
// extension) and the format.
struct TExportName {
    std::string fileName;
    TExportFormat format = TExportFormat::Jpeg;
};

// The extension: from the last '.' to the end, '.' included, unless a '/' follows that '.'
// (a dot in a folder name); otherwise empty.
std::string_view ExportExtension(std::string_view fileName);
// No extension: BMP under fileName + ".bmp". An extension of ExportFileTypes in any case (".PNG",
// ".Bmp"): that type. Anything else, ".gif" and a lone "." included: JPEG.
TExportName ResolveExportName(const std::string& fileName);

// Fills bitmap (resized to textureSize x textureSize) with target targetIndex of textures, read
// through an A8R8G8B8 system-memory surface; rows top first, texels unchanged. False, with the
// bitmap's content unspecified, when the target does not exist or is not ready, or the device
// refuses to create, fill or lock the surface; std::bad_alloc when memory runs out.
bool CopyToBitmap(const TVornTextures& textures, std::int32_t targetIndex, std::int32_t textureSize,
                  TBitmap32& bitmap);

// A read-back bitmap of premultiplied colour with coverage in alpha (a tile drawn without a
// fill) made straight: each channel round(C * 255 / A), at most 255; where A is 0 all four 0.
// The bitmap then HasAlpha.
void UnpremultiplyAlpha(TBitmap32& bitmap);
// Such a bitmap over the opaque colour rgb (0xRRGGBB): C + round(M * (255 - A) / 255), at most
// 255, alpha 255, for the files that hold no transparency.
void ComposeOverColor(TBitmap32& bitmap, std::uint32_t rgb);

struct TExportResult {
    bool ok = false;
    std::string error;       // "Cannot write <file>: <reason>" when not ok
    std::string writtenFile; // the name written or attempted (with ".bmp" appended where due)
    std::string note;        // one line worth telling beside a success (the ground a JPEG got)
};

// Writes target targetIndex (textureSize texels square) of textures to fileName in the format
// its extension chooses; the file appears whole or not at all, and with smNoReplace only where
// no file of the name exists. Only the low 8 bits of jpegQuality reach the JPEG encoder. A recipe
// code, when given, goes into a PNG or JPEG file (EmbeddedRecipe.h); a BMP is written without.
TExportResult TileExport(const TVornTextures& textures, std::int32_t targetIndex, std::int32_t textureSize,
                         const std::string& fileName, int jpegQuality,
                         TFileWriter& writer = SystemFileWriter(), TSaveMode mode = smReplace,
                         std::string_view recipe = {});

// TileExport in two halves, for a caller that writes one texture while it draws the next: the
// read-back, which needs the device and so its thread, and the encoding and writing of what was
// read, which touches only bitmap and writer and may run on another thread. Each fails as
// TileExport would.
TExportResult ReadTileForExport(const TVornTextures& textures, std::int32_t targetIndex,
                                std::int32_t textureSize, const std::string& fileName, TBitmap32& bitmap);
// markSrgb: a PNG gets an sRGB chunk (the texture as colour beside data maps, which have none).
TExportResult WriteTileForExport(const TBitmap32& bitmap, const std::string& fileName, int jpegQuality,
                                 TFileWriter& writer = SystemFileWriter(), TSaveMode mode = smReplace,
                                 std::string_view recipe = {}, bool markSrgb = false);

// "Cannot write <file>: <reason>" as the result of a failed export.
TExportResult ExportFailure(const std::string& fileName, const std::string& reason);
// Saves encoded bytes to fileName whole or not at all; the result as the export words it.
TExportResult SaveExportBytes(const std::string& fileName, std::span<const std::uint8_t> bytes,
                              TFileWriter& writer = SystemFileWriter(), TSaveMode mode = smReplace);

// The bytes of bitmap as a file of format; false with a reason when the encoder fails.
bool EncodeExport(const TBitmap32& bitmap, TExportFormat format, int jpegQuality,
                  std::vector<std::uint8_t>& bytes, std::string* reason);

// Saves bitmap to fileName by the same extension rule.
TExportResult SaveBitmap(const TBitmap32& bitmap, const std::string& fileName, int jpegQuality,
                         TFileWriter& writer = SystemFileWriter(), TSaveMode mode = smReplace,
                         std::string_view recipe = {}, bool markSrgb = false);

// Inserts an sRGB chunk (rendering intent 0, perceptual) after the IHDR chunk of a PNG file;
// anything else is left as it is.
void MarkPngSrgb(std::vector<std::uint8_t>& png);

} // namespace vorn
