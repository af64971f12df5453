#include "gen/Recipe.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "gen/BatchHooks.h"
#include "gen/Generator.h"
#include "gen/SeedText.h"
#include "gen/TileSynthesis.h"

namespace vorn {

namespace {

constexpr const char* SeedField = "seed";
constexpr const char* BrushesField = "brushes";
constexpr const char* PaletteField = "palette";
constexpr const char* LayersField = "layers";
constexpr std::size_t SeedDigits = 8;

// Receives a synthesis and draws nothing: SeedAfter needs only its random draws.
class TNoPainter final : public TTilePainter {
public:
    void FillGradientRect(const TIntRect&, const TColorQuad&, TBlendEffect) override {}
    void FillSolidRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, TCanvasColor,
                       TBlendEffect) override {}
    void DrawRotatedScaled(std::int32_t, TCanvasColor, double, double, double, double, std::int32_t,
                           TBlendEffect) override {}
};

// A piece of a code quoted in a message: at most QuoteLimit characters, the end of a longer one
// cut to "...", so that a crafted code of megabytes gives a message of one line.
constexpr std::size_t QuoteLimit = 40;
std::string Quoted(std::string_view text) {
    if (text.size() <= QuoteLimit) return std::string(text);
    return std::string(text.substr(0, QuoteLimit - 3)) + "...";
}

bool IsKeep(const TGenSettingsSource& settings) {
    return settings.Value(gpImage) == 1;
}

// The recipe-wide values belong to the recipe; its links carry the same, so that a decoded
// recipe equals the one encoded.
void ShareRecipeValues(TRecipe& recipe) {
    for (TRecipeLink& link : recipe.links) {
        link.settings.size = recipe.size;
        link.settings.bgColor = static_cast<int>(RgbOfCanvasColor(recipe.background));
    }
}

bool IsRecipeWide(const TGenParam& param) {
    return param.kind == pkSize || param.kind == pkColor;
}

// Reads a code field by field; every error is one line naming what is wrong.
class TDecoder {
public:
    explicit TDecoder(std::string_view code) : m_code(code) {}

    TRecipeDecoding Run();

private:
    std::string Field(std::string_view field, bool firstLink, TRecipeLink& link, TRecipe& recipe);

    std::string_view m_code;
    std::array<bool, GenParamCount> m_seen{};
    bool m_seenSeed = false;
    bool m_seenBrushes = false;
    bool m_seenPalette = false;
    bool m_seenLayers = false;
    std::vector<bool> m_hasSeed;
};

std::string TDecoder::Field(std::string_view field, bool firstLink, TRecipeLink& link, TRecipe& recipe) {
    const std::size_t eq = field.find('=');
    const std::string_view name = field.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : field.substr(eq + 1);
    const TGenParam* param = FindGenParam(name);
    const bool brushes = name == BrushesField;
    const bool palette = name == PaletteField;
    const bool layers = name == LayersField;
    if (!param && name != SeedField && !brushes && !palette && !layers)
        return "unknown field '" + Quoted(name) + "'";
    const std::string number = std::to_string(m_hasSeed.size());
    bool& seen = param     ? m_seen[param->id]
                 : brushes ? m_seenBrushes
                 : palette ? m_seenPalette
                 : layers  ? m_seenLayers
                           : m_seenSeed;
    if (seen) return "repeated field '" + Quoted(name) + "' in link " + number;
    seen = true;
    if (eq == std::string_view::npos) return "truncated: field '" + Quoted(name) + "' has no value";
    if (palette) {
        TPaletteResult colors = ParsePaletteRecipeText(value);
        if (!colors.ok()) return "field 'palette' in link " + number + ": " + colors.error;
        link.settings.palette = std::move(colors.palette);
        return {};
    }
    if (layers) {
        if (value.empty()) return "truncated: field 'layers' has no value";
        TLayerStackParse stack = ParseLayerStack(value);
        if (!stack.ok()) return "field 'layers' in link " + number + ": " + stack.error;
        link.settings.layers = std::move(stack.stack);
        return {};
    }
    if (((param && IsRecipeWide(*param)) || brushes) && !firstLink) {
        return "field '" + Quoted(name) + "' in link " + number +
               ": it applies to the whole code and "
               "belongs to link 1";
    }

    TParsedValue parsed;
    if (param) {
        parsed = ParseParamValue(*param, value);
    } else {
        const TParsedHex hex = ParseHexDigits(value, SeedDigits);
        parsed = {0, hex.error, hex.at};
        if (brushes) {
            recipe.brushes = hex.value;
        } else {
            link.seed = hex.value;
            m_hasSeed.back() = true;
        }
    }
    const std::string text = Quoted(std::string(name) + "=" + std::string(value));
    const std::size_t digits = param ? 6 : SeedDigits;
    switch (parsed.error) {
    case TValueError::None:
        break;
    case TValueError::Empty:
        return "truncated: field '" + Quoted(name) + "' has no value";
    case TValueError::Short:
        return "truncated: " + text + " has " + std::to_string(value.size()) + " of " +
               std::to_string(digits) + " hex digits";
    case TValueError::BadHex:
        return text + ": bad hex digit '" + value[parsed.at] + "'";
    case TValueError::Trailing:
        return "trailing characters '" + Quoted(value.substr(parsed.at)) + "' after " +
               Quoted(std::string(name) + "=" + std::string(value.substr(0, parsed.at)));
    case TValueError::NotANumber:
    case TValueError::OutOfRange:
    case TValueError::Unknown:
        return text + " is out of range (" + AcceptedValues(*param) + ")";
    }
    if (!param) return {};
    if (param->kind == pkSize) {
        recipe.size = parsed.value;
    } else if (param->kind == pkColor) {
        recipe.background = CanvasColorOfRgb(static_cast<std::uint32_t>(parsed.value));
    } else {
        link.settings.SetValue(param->id, parsed.value);
    }
    return {};
}

TRecipeDecoding TDecoder::Run() {
    TRecipeDecoding result;
    TRecipe& recipe = result.recipe;
    const auto fail = [&result](std::string error) {
        result.recipe = {};
        result.error = std::move(error);
        return result;
    };
    if (m_code.empty()) return fail("truncated: the code is empty");
    for (std::size_t i = 0; i < m_code.size(); ++i) {
        const auto c = static_cast<unsigned char>(m_code[i]);
        if (c <= ' ' || c > '~') {
            char text[96];
            std::snprintf(text, sizeof text,
                          "character 0x%02X at position %zu: codes are printable ASCII "
                          "without spaces",
                          static_cast<unsigned>(c), i + 1);
            fail(text);
            result.badCharAt = i + 1;
            return result;
        }
    }
    std::size_t pos = m_code.find_first_of(".+");
    const std::string_view version = m_code.substr(0, pos);
    if (version != RecipeVersion) {
        return fail("unknown version '" + Quoted(version) + "'; this program reads " + RecipeVersion);
    }
    if (pos == std::string_view::npos) return fail(std::string("truncated: nothing after ") + RecipeVersion);
    if (m_code[pos] == '+') return fail("truncated: no field before the first '+'");

    while (pos < m_code.size()) {
        if (m_code[pos] == '+' || recipe.links.empty()) {
            if (recipe.links.size() == MaxRecipeLinks) {
                return fail("the chain is longer than " + std::to_string(MaxRecipeLinks) + " links");
            }
            recipe.links.emplace_back();
            m_hasSeed.push_back(false);
            m_seen = {};
            m_seenSeed = false;
            m_seenPalette = false;
            m_seenLayers = false;
        }
        const std::size_t start = pos + 1;
        const std::size_t end = std::min(m_code.find_first_of(".+", start), m_code.size());
        if (end == start) {
            return fail("truncated: no field after '" + std::string(1, m_code[pos]) + "' at position " +
                        std::to_string(start));
        }
        const std::string error =
            Field(m_code.substr(start, end - start), recipe.links.size() == 1, recipe.links.back(), recipe);
        if (!error.empty()) return fail(error);
        pos = end;
    }

    for (std::size_t i = 0; i < recipe.links.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        TRecipeLink& link = recipe.links[i];
        if (i == 0 && !m_hasSeed[0]) return fail("link 1 has no seed");
        if (i > 0 && !IsKeep(link.settings)) {
            return fail("link " + number + " is not image=keep: only link 1 may paint a new background");
        }
        if (!m_hasSeed[i]) link.seed = SeedAfter(recipe.links[i - 1].settings, recipe.links[i - 1].seed);
    }
    ShareRecipeValues(recipe);
    return result;
}

} // namespace

TRecipe NextRecipe(const TRecipe* previous, const TGenSettingsSource& settings, std::uint32_t seedBefore,
                   int size, TCanvasColor background, std::uint32_t brushes) {
    TRecipe recipe;
    recipe.size = size;
    recipe.background = background;
    recipe.brushes = brushes;
    const bool overPrevious = IsKeep(settings) && previous && (previous->tooLong || !previous->links.empty());
    if (overPrevious) {
        recipe.background = previous->background;
        recipe.links = previous->links;
    }
    // One code names one brush set: a chain drawn with two has none.
    const bool mixedBrushes = overPrevious && previous->brushes != brushes;
    if ((overPrevious && previous->tooLong) || mixedBrushes || recipe.links.size() >= MaxRecipeLinks) {
        recipe.links.clear();
        recipe.tooLong = true;
        // Once two sets met in a chain, every Keep over it has them too.
        recipe.mixedBrushes = mixedBrushes || (overPrevious && previous->mixedBrushes);
        return recipe;
    }
    TRecipeLink link;
    link.seed = seedBefore;
    // What the synthesis reads: values outside a control's range clamped into it, and the palette.
    link.settings = ClampedSettings(settings);
    recipe.links.push_back(link);
    ShareRecipeValues(recipe);
    return recipe;
}

std::string EncodeRecipe(const TRecipe& recipe) {
    if (recipe.tooLong || recipe.links.empty() || recipe.links.size() > MaxRecipeLinks) return {};
    std::string code = RecipeVersion;
    const auto field = [&code](char separator, std::string_view name, const std::string& value) {
        code += separator;
        code += name;
        code += '=';
        code += value;
    };
    const TGenParam& size = GenParam(gpSize);
    const TGenParam& color = GenParam(gpBGColor);
    const int rgb = static_cast<int>(RgbOfCanvasColor(recipe.background));
    if (recipe.size != size.defaultValue) field('.', size.name, ParamValueText(size, recipe.size));
    if (rgb != color.defaultValue) field('.', color.name, ParamValueText(color, rgb));
    if (recipe.brushes != ShippedBrushSetHash) field('.', BrushesField, SeedText(recipe.brushes));

    for (std::size_t i = 0; i < recipe.links.size(); ++i) {
        const TRecipeLink& link = recipe.links[i];
        char separator = i == 0 ? '.' : '+'; // '+' starts the next link
        const auto next = [&separator] { return std::exchange(separator, '.'); };
        const bool continues =
            i > 0 && link.seed == SeedAfter(recipe.links[i - 1].settings, recipe.links[i - 1].seed);
        if (!continues) field(next(), SeedField, SeedText(link.seed));
        for (const TGenParam& param : GenParams) {
            const int value = link.settings.Value(param.id);
            if (IsRecipeWide(param) || value == param.defaultValue) continue;
            field(next(), param.name, ParamValueText(param, value));
        }
        // The colours themselves, so that the code needs no palette file to be made again.
        if (!link.settings.palette.colors.empty())
            field(next(), PaletteField, PaletteRecipeText(link.settings.palette));
        if (!link.settings.layers.Empty()) field(next(), LayersField, LayerStackText(link.settings.layers));
    }
    return code;
}

TRecipeDecoding DecodeRecipe(std::string_view code) {
    return TDecoder(code).Run();
}

std::uint32_t SeedAfter(const TGenSettingsSource& settings, std::uint32_t seedBefore) {
    const std::uint32_t saved = random::Seed();
    random::SetSeed(seedBefore);
    TNoPainter painter;
    TGenHooks hooks;
    const bool batchRunning = true; // no progress
    SynthesizeTile(settings, 0xFF000000u, batchRunning, hooks, painter);
    const std::uint32_t after = random::Seed();
    random::SetSeed(saved);
    return after;
}

namespace {

// One generation of a chain with the link's settings, over a cleared tile when first; the
// random source is seeded by the caller. False when the generator drew nothing.
bool DrawLink(TGenerator& generator, const TRecipeLink& link, int number, bool first, TBatchHooks* hooks,
              bool deferLarge = false) {
    TBatchHooks none;
    TBatchHooks& hear = hooks ? *hooks : none;
    hear.BeforeTexture(number);
    const bool drawn = generator.Draw(link.settings, first, deferLarge);
    hear.Generated(number);
    return drawn;
}

} // namespace

bool PrepareRecipe(TGenerator& generator, const TRecipe& recipe, TBatchHooks* hooks, bool deferLarge) {
    generator.TextureSize = recipe.size;
    generator.BackgroundColor = recipe.background;
    if (recipe.links.empty()) return true;
    for (std::size_t i = 0; i + 1 < recipe.links.size(); ++i) {
        random::SetSeed(recipe.links[i].seed);
        if (!DrawLink(generator, recipe.links[i], static_cast<int>(i) + 1, i == 0, hooks, deferLarge))
            return false;
    }
    random::SetSeed(recipe.links.back().seed);
    return true;
}

bool RegenerateRecipe(TGenerator& generator, const TRecipe& recipe, TBatchHooks* hooks,
                      std::size_t firstLink) {
    if (recipe.links.empty()) return false;
    if (firstLink == 0) {
        if (!PrepareRecipe(generator, recipe, hooks)) return false;
        firstLink = recipe.links.size() - 1;
    } else {
        generator.TextureSize = recipe.size;
        generator.BackgroundColor = recipe.background;
    }
    for (std::size_t i = firstLink; i < recipe.links.size(); ++i) {
        random::SetSeed(recipe.links[i].seed);
        if (!DrawLink(generator, recipe.links[i], static_cast<int>(i) + 1, i == 0, hooks)) return false;
    }
    return true;
}

namespace {

bool SameLinks(const TRecipe& a, const TRecipe& b, std::size_t count) {
    if (a.tooLong || b.tooLong || a.background != b.background || a.brushes != b.brushes ||
        a.links.size() < count || b.links.size() < count)
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (a.links[i].seed != b.links[i].seed) return false;
        for (const TGenParam& param : GenParams) {
            // Every link carries its recipe's size, which the tile does not depend on.
            if (param.kind != pkSize &&
                a.links[i].settings.Value(param.id) != b.links[i].settings.Value(param.id))
                return false;
        }
        if (a.links[i].settings.palette != b.links[i].settings.palette) return false;
    }
    return true;
}

} // namespace

bool TransparentTile(const TRecipe& recipe) {
    return !recipe.links.empty() &&
           std::all_of(recipe.links.begin(), recipe.links.end(),
                       [](const TRecipeLink& link) { return link.settings.bgFill == BGFillNone; });
}

bool SameTile(const TRecipe& a, const TRecipe& b) {
    return !a.links.empty() && a.links.size() == b.links.size() && SameLinks(a, b, a.links.size());
}

bool StartsChain(const TRecipe& a, const TRecipe& b) {
    return !a.links.empty() && a.links.size() < b.links.size() && SameLinks(a, b, a.links.size());
}

} // namespace vorn
