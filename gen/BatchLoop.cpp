#include "gen/BatchLoop.h"

#include <algorithm>
#include <cstdio>

#include "engine/VornTextures.h"
#include "export/TileExport.h"
#include "gen/Generator.h"

namespace vorn {

namespace {

constexpr int MaxBatchCount = 1000;

// Sets the flag for the lifetime of the run and clears it on every way out.
class TBatchFlag {
public:
    explicit TBatchFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~TBatchFlag() { m_flag = false; }
    TBatchFlag(const TBatchFlag&) = delete;
    TBatchFlag& operator=(const TBatchFlag&) = delete;

private:
    bool& m_flag;
};

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
    const TBatchFlag running(generator.BatchRunning);
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

        const std::string fileName = BatchFileName(options.folder, number - 1, options.fileType);
        const TExportResult written =
            TileExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                       generator.TextureSize, fileName, options.jpegQuality);
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
