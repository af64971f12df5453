#include "gen/Producer.h"

#include "engine/VornCanvas.h"
#include "gen/BatchHooks.h"
#include "gen/Generator.h"

namespace vorn {

namespace {

constexpr const char* BusyText = "Cannot generate a texture while another one is being generated.";

// Draws request with generator; around (when given) hears the texture as number.
TDrawnTexture Draw(TGenerator& generator, const TDrawRequest& request, TBatchHooks* around, int number) {
    TDrawnTexture drawn;
    // A draw the device refused (out of memory, say) on any generation of the request, a recipe's
    // earlier links included, leaves an incomplete texture.
    const std::uint64_t failedBefore = generator.Canvas->FailedDraws();
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
    if (around) around->BeforeTexture(number);
    drawn.seedBefore = random::Seed();
    const bool made = generator.Draw(request.settings, clear);
    if (!made && generator.Generating()) { // asked for from inside a running generation
        drawn.error = BusyText;
        return drawn;
    }
    if (!made || generator.DrawFailed() || generator.Canvas->FailedDraws() != failedBefore) {
        drawn.error = DrawFailedText;
        return drawn;
    }
    drawn.seedAfter = random::Seed();
    drawn.recipe = NextRecipe(over ? &*over : nullptr, request.settings, drawn.seedBefore,
                              generator.TextureSize, generator.BackgroundColor, generator.BrushSetHash);
    drawn.code = EncodeRecipe(drawn.recipe);
    drawn.axes = generator.TileAxes();
    drawn.transparent = generator.OutputTransparent();
    if (around) {
        around->Generated(number);
        around->Drawn(number, drawn);
    }
    return drawn;
}

} // namespace

TDrawRequest RequestOf(const TGenSettingsSource& controls, bool clear) {
    TDrawRequest request;
    request.settings = SettingsOf(controls);
    request.clear = clear;
    return request;
}

TDrawnTexture DrawTexture(TGenerator& generator, const TDrawRequest& request) {
    return Draw(generator, request, nullptr, 0);
}

TDrawSequence::TDrawSequence(TGenerator& generator, TDrawRequest first, TBatchHooks& hooks)
    : m_generator(generator), m_request(std::move(first)), m_hooks(hooks) {}

const TDrawnTexture& TDrawSequence::Next() {
    if (!m_last.ok()) return m_last;
    if (m_number > 0) { // over the texture before, as the settings say
        m_request.recipe.reset();
        m_request.seed.reset();
        m_request.clear = false;
        m_request.drawnOver = m_last.recipe;
    }
    m_last = Draw(m_generator, m_request, &m_hooks, ++m_number);
    return m_last;
}

} // namespace vorn
