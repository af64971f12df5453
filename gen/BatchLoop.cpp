#include "gen/BatchLoop.h"

#include <algorithm>
#include <cstdio>

#include "engine/VornTextures.h"
#include "export/TileExport.h"
#include "gen/Generator.h"

namespace vorn {

namespace {

constexpr int MaxBatchCount = 1000;

} // namespace

std::string BatchFileName(const std::string& folder, int index, const std::string& fileType) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", index);
    return folder + "/image" + number + "." + fileType;
}

TBatchResult RunBatch(TGenerator& generator, const TBatchOptions& options, TBatchHooks& hooks) {
    TBatchResult result;
    if (generator.StartupIncomplete) {
        result.ok = false;
        result.error = "Cannot generate textures: start-up did not complete.";
        return result;
    }
    const TFlagScope running(generator.BatchRunning);
    const int count = std::min(options.count, MaxBatchCount);
    for (int number = 1; number <= count; ++number) {
        hooks.BeforeTexture(number);
        if (generator.Generating()) { // asked for from inside a running generation
            result.ok = false;
            result.error = "Cannot generate a texture while another one is being generated.";
            return result;
        }
        if (number == 1 && options.clearFirstTile) {
            generator.FirstRender();
        } else {
            generator.Generate();
        }
        hooks.Generated(number);

        const std::string fileName = options.fileName
                                         ? options.fileName(number)
                                         : BatchFileName(options.folder, number - 1, options.fileType);
        const TExportResult written = TileExport(
            *generator.Textures, TGenerator::GetIndex(generator.TextureSize), generator.TextureSize, fileName,
            options.jpegQuality, options.writer ? *options.writer : SystemFileWriter(), options.saveMode);
        if (!written.ok) {
            result.ok = false;
            result.error = written.error;
            return result;
        }
        result.written = number;
        hooks.Written(number);
        if (!hooks.Continue(number)) break;
    }
    return result;
}

} // namespace vorn
