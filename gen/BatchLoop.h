// The batch loop shared by the window's "Batch Export" and `pallimor-cli generate --folder`:
// numbered files image000, image001, ... in one folder, each a new texture continuing the one
// random sequence. No Qt: the host adds its message pump, progress and stop question as hooks.
#pragma once

#include <functional>
#include <string>

#include "gen/BatchHooks.h"
#include "io/SafeFile.h"

namespace vorn {

class TGenerator;

struct TBatchOptions {
    std::string folder;           // destination folder; the host creates it beforehand
    std::string fileType = "jpg"; // "bmp", "png" or "jpg": the extension, which picks the format
    int count = 10;               // textures to write; at most 1000
    int jpegQuality = 95;
    bool clearFirstTile = false;    // texture 1 starts from a transparent tile, as the first at start-up
    TFileWriter* writer = nullptr;  // what the files are written through; nullptr = the system
    TSaveMode saveMode = smReplace; // smNoReplace: a file of the name, even a new one, fails the batch
    // The file of texture number (from 1), asked after it was generated; empty: BatchFileName's.
    std::function<std::string(int number)> fileName;
    // Texture k is encoded and written on a thread of its own while texture k + 1 is generated;
    // false: each texture is written before the next one begins.
    bool overlap = true;
};

struct TBatchResult {
    int written = 0;   // files written
    bool ok = true;    // false: the batch stopped at a file that could not be written
    std::string error; // which file and why, as the export words it
};

// folder + "/image" + index written with at least three digits + "." + fileType.
std::string BatchFileName(const std::string& folder, int index, const std::string& fileType);

// Generates and writes options.count textures (the output target of generator.TextureSize), in
// order, and stops at the first file that cannot be written (a texture generated after it is not
// written). BatchRunning is set while it runs (so the synthesis leaves the progress bar to the
// host) and cleared on return.
TBatchResult RunBatch(TGenerator& generator, const TBatchOptions& options, TBatchHooks& hooks);

} // namespace vorn
