#include "gen/SingleTexture.h"

#include "engine/VornCanvas.h"
#include "engine/soft/SoftHost.h"
#include "gen/ArchiveChoice.h"
#include "gen/Generator.h"
#include "gen/OutputTexture.h"

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
    generator.TextureSize = settings.size;
    generator.BackgroundColor = CanvasColorOfRgb(static_cast<std::uint32_t>(settings.bgColor));

    // The first texture starts from a transparent tile unless the recipe draws it over others.
    const std::uint64_t failedBefore = generator.Canvas->FailedDraws();
    bool clearFirst = true;
    if (request.recipe) {
        PrepareRecipe(generator, *request.recipe);
        clearFirst = request.recipe->links.size() == 1;
    } else if (request.seed) {
        random::SetSeed(*request.seed);
    } else {
        random::Reseed();
    }
    result.seed = random::Seed();
    if (clearFirst)
        generator.FirstRender();
    else
        generator.Generate();
    if (generator.Canvas->FailedDraws() != failedBefore || generator.DrawFailed()) {
        result.error = DrawFailedText;
        return result;
    }
    if (!ReadOutputAs(generator, TExportFormat::Png, result.bitmap)) {
        result.error = "Reading the texture from the device failed";
        return result;
    }
    result.axes = generator.TileAxes();
    // The recipe pallimor-cli gives: a new chain, or the recipe's own links before its last
    // continued by this texture.
    std::optional<TRecipe> drawnOver;
    if (!clearFirst) {
        drawnOver = *request.recipe;
        drawnOver->links.pop_back();
    }
    result.recipe =
        EncodeRecipe(NextRecipe(drawnOver ? &*drawnOver : nullptr, generator.Settings(), result.seed,
                                generator.TextureSize, generator.BackgroundColor, generator.BrushSetHash));
    return result;
}

} // namespace vorn
