// The batch loop shared by the window's "Batch Export" and `pallimor-cli generate --folder`:
// numbered files image000, image001, ... in one folder, each a new texture continuing the one
// random sequence. No Qt: the host adds its message pump, progress and stop question as hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "export/ExportFormats.h"
#include "export/MaterialMaps.h"
#include "gen/BatchHooks.h"
#include "gen/Producer.h"
#include "io/SafeFile.h"

namespace vorn {

class TGenerator;

// How many textures a batch may write, and how many the window offers.
inline constexpr int MinBatchCount = 1;
inline constexpr int MaxBatchCount = 1000;
inline constexpr int DefaultBatchCount = 10;
// The JPEG quality a user may choose, and the one used until they do.
inline constexpr int MinJpegQuality = 1;
inline constexpr int MaxJpegQuality = 100;
inline constexpr int DefaultJpegQuality = 95;

// The file name pattern of a batch's textures (the extension comes after it).
inline constexpr const char* DefaultBatchPattern = "image{n}";

// The placeholders of a file name pattern with what each stands for.
struct TNameField {
    const char* field; // "{n}"
    const char* help;
};
std::span<const TNameField> NameFields();

struct TBatchOptions {
    std::string folder; // destination folder; the host creates it beforehand
    // "bmp", "png" or "jpg": the extension, which picks the format
    std::string fileType = ExportFileTypes[DefaultExportType].extension;
    int count = DefaultBatchCount; // textures to write; at most MaxBatchCount
    int jpegQuality = DefaultJpegQuality;
    // Texture 1's request (settings with size and colour, a recipe or a seed, a cleared tile); the
    // others are drawn with its settings over the one before. None: the generator's controls at
    // its size and colour, texture 1 over a transparent tile with clearFirstTile (as the first at
    // start-up), otherwise as the settings say.
    std::optional<TDrawRequest> first;
    bool clearFirstTile = false;
    TFileWriter* writer = nullptr;  // what the files are written through; nullptr = the system
    TSaveMode saveMode = smReplace; // smNoReplace: a file of the name, even a new one, fails the batch
    // The file of texture number (from 1), asked after it was generated; empty: BatchFileName's.
    std::function<std::string(int number)> fileName;
    // The recipe code to put into texture number's file, asked after it was generated; empty:
    // none (a BMP file never holds one).
    std::function<std::string(int number)> recipe;
    // Texture k is encoded and written on a thread of its own while texture k + 1 is generated;
    // false: each texture is written before the next one begins.
    bool overlap = true;
    // Height and normal maps written after each texture, beside it, on the same thread and with
    // the same save mode.
    TMapOptions maps;
};

struct TBatchResult {
    int written = 0;   // files written
    bool ok = true;    // false: the batch stopped at a file that could not be written
    std::string error; // which file and why, as the export words it
};

// A file name pattern filled in for texture index (from 0): {n} as at least three digits, {seed}
// as SeedText (left as "{seed}" without a seed), {effect} and {size}.
std::string FileNameOf(const std::string& pattern, int index, std::optional<std::uint32_t> seed,
                       const std::string& effect, int size);

// folder + "/" + DefaultBatchPattern filled in for index + "." + fileType: folder/image000.jpg.
std::string BatchFileName(const std::string& folder, int index, const std::string& fileType);

// Draws and writes options.count textures (the output target of their size), in order, and stops at the first
// file that cannot be written (a texture generated after it is not written). BatchRunning is set while it
// runs (so the synthesis leaves the progress bar to the host) and cleared on return.
TBatchResult RunBatch(TGenerator& generator, const TBatchOptions& options, TBatchHooks& hooks);

} // namespace vorn
