#include "export/TileExport.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include <zlib.h>

#include "engine/DXTextures.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "engine/soft/SoftDevice.h"
#include "export/EmbeddedRecipe.h"
#include "io/SafeFile.h"

namespace vorn {

namespace {

// Unlocks a locked surface when the read-back leaves, whichever way.
struct SurfaceUnlocker {
    sd::Surface* surface;
    ~SurfaceUnlocker() { surface->UnlockRect(); }
};

} // namespace

TExportResult ExportFailure(const std::string& fileName, const std::string& reason) {
    TExportResult result;
    result.error = "Cannot write " + fileName + ": " + reason;
    result.writtenFile = fileName;
    return result;
}

TExportResult SaveExportBytes(const std::string& fileName, std::span<const std::uint8_t> bytes,
                              TFileWriter& writer, TSaveMode mode) {
    std::string reason;
    if (!SaveFileSafely(fileName, bytes, &reason, writer, mode)) return ExportFailure(fileName, reason);
    TExportResult result;
    result.ok = true;
    result.writtenFile = fileName;
    return result;
}

std::string_view ExportExtension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return {};
    if (fileName.find('/', dot) != std::string_view::npos) return {};
    return fileName.substr(dot);
}

TExportName ResolveExportName(const std::string& fileName) {
    TExportName name;
    const std::string_view extension = ExportExtension(fileName);
    if (extension.empty()) {
        const TExportFileType& bare = ExportFileTypes[BareNameExportType];
        name.fileName = fileName + "." + bare.extension;
        name.format = bare.format;
        return name;
    }
    name.fileName = fileName;
    name.format = ExportFormatOfFile(extension.substr(1));
    return name;
}

bool CopyToBitmap(const TVornTextures& textures, std::int32_t targetIndex, std::int32_t textureSize,
                  TBitmap32& bitmap) {
    if (textureSize <= 0) return false;
    const TRenderTarget* target = textures.GetTarget(targetIndex);
    if (!target || target->State() != tsReady || !target->Texture()) return false;
    sd::Device* device = target->Device() ? target->Device()->D3DDevice() : nullptr;
    if (!device) return false;

    const auto size = sd::UINT(textureSize);
    sd::SurfacePtr copy;
    const sd::HRESULT made =
        device->CreateOffscreenPlainSurface(size, size, sd::D3DFMT_A8R8G8B8, sd::D3DPOOL_SYSTEMMEM, &copy);
    // Out of memory is said as such, as the bitmap's own allocation below would.
    if (made == sd::E_OUTOFMEMORY) throw std::bad_alloc();
    if (sd::Failed(made) || !copy) return false;
    sd::SurfacePtr level0;
    if (sd::Failed(target->Texture()->GetSurfaceLevel(0, &level0)) || !level0) return false;
    if (sd::Failed(device->GetRenderTargetData(level0.get(), copy.get()))) return false;

    sd::D3DSURFACE_DESC desc;
    if (sd::Failed(copy->GetDesc(&desc)) || desc.Format != sd::D3DFMT_A8R8G8B8 || desc.Width != size ||
        desc.Height != size)
        return false;
    sd::D3DLOCKED_RECT locked;
    if (sd::Failed(copy->LockRect(&locked, nullptr, sd::D3DLOCK_READONLY))) return false;
    SurfaceUnlocker unlocker{copy.get()};
    const std::size_t rowBytes = std::size_t(textureSize) * 4;
    if (!locked.pBits || locked.Pitch < 0 || std::size_t(locked.Pitch) < rowBytes) return false;

    try {
        bitmap.Resize(textureSize, textureSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const auto* bits = static_cast<const std::uint8_t*>(locked.pBits);
    for (std::int32_t y = 0; y < textureSize; ++y)
        std::memcpy(bitmap.Row(y), bits + std::size_t(y) * std::size_t(locked.Pitch), rowBytes);
    return true;
}

void UnpremultiplyAlpha(TBitmap32& bitmap) {
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* p = bitmap.Row(y);
        for (std::int32_t x = 0; x < bitmap.Width(); ++x, p += 4) {
            const unsigned a = p[3];
            for (int k = 0; k < 3; ++k)
                p[k] = a == 0 ? 0 : std::uint8_t(std::min(255u, (p[k] * 255u + a / 2) / a));
        }
    }
    bitmap.SetAlpha(true);
}

void ComposeOverColor(TBitmap32& bitmap, std::uint32_t rgb) {
    const unsigned matte[3] = {rgb & 0xFFu, rgb >> 8 & 0xFFu, rgb >> 16 & 0xFFu}; // blue, green, red
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* p = bitmap.Row(y);
        for (std::int32_t x = 0; x < bitmap.Width(); ++x, p += 4) {
            const unsigned rest = 255u - p[3];
            for (int k = 0; k < 3; ++k) {
                const unsigned t = matte[k] * rest + 128;
                p[k] = std::uint8_t(std::min(255u, p[k] + ((t + (t >> 8)) >> 8)));
            }
            p[3] = 255;
        }
    }
    bitmap.SetAlpha(false);
}

bool EncodeExport(const TBitmap32& bitmap, TExportFormat format, int jpegQuality,
                  std::vector<std::uint8_t>& bytes, std::string* reason) {
    switch (format) {
    case TExportFormat::Bmp:
        return EncodeBmp(bitmap, bytes, reason);
    case TExportFormat::Png:
        return EncodePng(bitmap, bytes, reason);
    case TExportFormat::Jpeg:
        break;
    }
    return EncodeJpeg(bitmap, jpegQuality & 0xFF, bytes, reason);
}

void MarkPngSrgb(std::vector<std::uint8_t>& png) {
    static constexpr std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static constexpr std::size_t AfterIhdr = 8 + 4 + 4 + 13 + 4;
    if (png.size() < AfterIhdr || !std::equal(Signature, Signature + 8, png.begin()) ||
        std::memcmp(png.data() + 12, "IHDR", 4) != 0)
        return;
    std::uint8_t chunk[13] = {0, 0, 0, 1, 's', 'R', 'G', 'B', 0};
    const std::uint32_t crc = std::uint32_t(crc32(crc32(0, nullptr, 0), chunk + 4, 5));
    for (int i = 0; i < 4; ++i) chunk[9 + i] = std::uint8_t(crc >> (24 - 8 * i));
    png.insert(png.begin() + std::ptrdiff_t(AfterIhdr), chunk, chunk + sizeof chunk);
}

TExportResult SaveBitmap(const TBitmap32& bitmap, const std::string& fileName, int jpegQuality,
                         TFileWriter& writer, TSaveMode mode, std::string_view recipe, bool markSrgb) {
    const TExportName name = ResolveExportName(fileName);
    std::vector<std::uint8_t> bytes;
    std::string reason;
    const bool encoded = EncodeExport(bitmap, name.format, jpegQuality, bytes, &reason);
    if (!encoded) return ExportFailure(name.fileName, reason);
    if (markSrgb && name.format == TExportFormat::Png) MarkPngSrgb(bytes);
    if (!recipe.empty()) EmbedRecipe(name.format, bytes, recipe); // a BMP has no place for it
    return SaveExportBytes(name.fileName, bytes, writer, mode);
}

TExportResult ReadTileForExport(const TVornTextures& textures, std::int32_t targetIndex,
                                std::int32_t textureSize, const std::string& fileName, TBitmap32& bitmap) {
    try {
        if (!CopyToBitmap(textures, targetIndex, textureSize, bitmap))
            return ExportFailure(ResolveExportName(fileName).fileName,
                                 "Reading the texture from the device failed");
        TExportResult result;
        result.ok = true;
        return result;
    } catch (const std::bad_alloc&) {
        return ExportFailure(fileName, "Out of memory");
    }
}

TExportResult WriteTileForExport(const TBitmap32& bitmap, const std::string& fileName, int jpegQuality,
                                 TFileWriter& writer, TSaveMode mode, std::string_view recipe,
                                 bool markSrgb) {
    try {
        return SaveBitmap(bitmap, fileName, jpegQuality, writer, mode, recipe, markSrgb);
    } catch (const std::bad_alloc&) {
        return ExportFailure(fileName, "Out of memory");
    }
}

TExportResult TileExport(const TVornTextures& textures, std::int32_t targetIndex, std::int32_t textureSize,
                         const std::string& fileName, int jpegQuality, TFileWriter& writer, TSaveMode mode,
                         std::string_view recipe) {
    TBitmap32 bitmap;
    const TExportResult read = ReadTileForExport(textures, targetIndex, textureSize, fileName, bitmap);
    if (!read.ok) return read;
    return WriteTileForExport(bitmap, fileName, jpegQuality, writer, mode, recipe);
}

} // namespace vorn
