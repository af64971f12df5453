#include "gen/SingleTexture.h"

#include "engine/VornCanvas.h"
#include "engine/soft/SoftHost.h"
#include "gen/ArchiveChoice.h"
#include "gen/Generator.h"
#include "gen/OutputTexture.h"
#include "gen/Producer.h"

namespace vorn {

std::string StartHeadless(TGenerator& generator, const std::string& archive, const std::string& exeDir) {
    generator.ComponentsInit();
    const TStartupResult startup = archive.empty() ? generator.Startup(nullptr, ArchiveCandidates(exeDir))
                                                   : generator.Startup(nullptr, archive);
    if (startup.failure != TStartupFailure::None)
        return StartupFailureText(startup, archive.empty() ? std::string(ArchiveFileName) : archive);
    // A texture without brushes is no texture: refuse before anything is drawn.
    if (!startup.archive.Complete()) return IncompleteArchiveText(startup.archive);
    return {};
}

std::string UseBrushesOf(const TRecipe& recipe, const std::string& archive, const std::string& exeDir,
                         TGenerator& generator) {
    if (recipe.brushes == generator.BrushSetHash) return {};
    if (!archive.empty())
        return "Recipe made with " + BrushSetText(exeDir, recipe.brushes) + "; " + archive + " holds " +
               BrushSetText(exeDir, generator.BrushSetHash);
    const std::string installed = FindBrushSet(exeDir, recipe.brushes);
    if (!installed.empty() && generator.LoadBrushes(installed).Complete()) return {};
    return "Recipe " + BrushSetMissingText(exeDir, recipe.brushes);
}

TTextureResult MakeTexture(const TTextureRequest& request, const std::string& exeDir, int threads) {
    const sd::RasterThreadsScope rasterThreads(threads);
    TTextureResult result;
    const TGenSettings& settings = request.recipe ? request.recipe->links.back().settings : request.settings;
    TGenerator generator(settings);
    result.error = StartHeadless(generator, request.archive, exeDir);
    if (!result.ok()) return result;
    if (request.recipe) {
        result.error = UseBrushesOf(*request.recipe, request.archive, exeDir, generator);
        if (!result.ok()) return result;
    }
    TDrawRequest draw;
    draw.settings = settings;
    draw.recipe = request.recipe;
    draw.seed = request.seed;
    if (!request.recipe && !request.seed) random::Reseed();
    const TDrawnTexture drawn = DrawTexture(generator, draw);
    result.error = drawn.error;
    if (!result.ok()) return result;
    result.seed = drawn.seedBefore;
    result.recipe = drawn.code;
    result.axes = drawn.axes;
    result.relief = generator.Relief();
    if (!ReadOutputAs(generator, TExportFormat::Png, result.bitmap)) result.error = ReadBackFailedText;
    return result;
}

} // namespace vorn
