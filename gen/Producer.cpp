#include "gen/Producer.h"

#include "engine/VornCanvas.h"
#include "gen/Generator.h"

namespace vorn {

TDrawnTexture DrawTexture(TGenerator& generator, const TDrawRequest& request) {
    TDrawnTexture drawn;
    // A draw the device refused (out of memory, say) on any generation of the request, a recipe's
    // earlier links included, leaves an incomplete texture.
    const std::uint64_t failedBefore = generator.Canvas->FailedDraws();
    struct TSettingsBack {
        TGenerator& generator;
        const TGenSettingsSource& original;
        ~TSettingsBack() { generator.SetSettings(original); }
    } back{generator, generator.Settings()};

    generator.SetSettings(request.settings);
    generator.TextureSize = request.settings.size;
    generator.BackgroundColor = CanvasColorOfRgb(static_cast<std::uint32_t>(request.settings.bgColor));
    bool clear = request.clear;
    std::optional<TRecipe> over = request.drawnOver;
    if (request.recipe) { // its size and colour are the recipe's
        if (!PrepareRecipe(generator, *request.recipe, request.hooks)) {
            drawn.error = DrawFailedText;
            return drawn;
        }
        over = *request.recipe;
        over->links.pop_back();
        clear = over->links.empty();
    } else if (request.seed) {
        random::SetSeed(*request.seed);
    }
    if (over && over->links.empty()) over.reset();
    drawn.seedBefore = random::Seed();
    const bool made = clear ? generator.FirstRender() : generator.Generate();
    if (!made || generator.DrawFailed() || generator.Canvas->FailedDraws() != failedBefore) {
        drawn.error = DrawFailedText;
        return drawn;
    }
    drawn.seedAfter = random::Seed();
    drawn.recipe = NextRecipe(over ? &*over : nullptr, request.settings, drawn.seedBefore,
                              generator.TextureSize, generator.BackgroundColor, generator.BrushSetHash);
    drawn.code = EncodeRecipe(drawn.recipe);
    drawn.axes = generator.TileAxes();
    drawn.transparent = generator.TileTransparent();
    return drawn;
}

} // namespace vorn
