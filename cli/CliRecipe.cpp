// pallimor-cli recipe CODE|FILE: the values a recipe code fixes, one "name value" line each, names
// and values as the generate command's options take them; one block per generation of the chain,
// then the brush set and the code itself. A file is read for the code written into it by
// generate --embed-recipe. --json gives the same as one JSON object.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/Cli.h"
#include "cli/GenerateOptions.h"
#include "gen/ArchiveChoice.h"
#include "gen/JsonText.h"
#include "gen/Presets.h"
#include "gen/Recipe.h"
#include "gen/SeedText.h"

namespace {

using namespace vorn;

// The brush set's installed name, or its hash marked as not installed.
std::string BrushesLine(std::uint32_t hash) {
    const std::string name = BrushSetName(ExecutableFolder(), hash);
    return name.empty() ? SeedText(hash) + " (not installed here)" : name;
}

// A link's palette as --palette takes it: "walk", or its colours.
std::string PaletteLine(const TGenSettings& settings) {
    return settings.palette.colors.empty() ? "walk" : PaletteColorsText(settings.palette);
}

void PrintText(const TRecipe& recipe, const std::string& code) {
    bool first = true;
    for (const TRecipeLink& link : recipe.links) {
        if (!first) std::fputc('\n', stdout);
        first = false;
        std::printf("seed 0x%s\n", SeedText(link.seed).c_str());
        for (const TGenParam& param : GenParams)
            std::printf("%s %s\n", param.name, ParamValueText(param, link.settings.Value(param.id)).c_str());
        std::printf("palette %s\n", PaletteLine(link.settings).c_str());
        if (!link.settings.layers.Empty())
            std::printf("layers %s\n", LayerStackText(link.settings.layers).c_str());
    }
    std::printf("brushes %s\ncode %s\n", BrushesLine(recipe.brushes).c_str(), code.c_str());
}

// {"code":..., "brushes":..., "links":[{"seed":"0000002A","size":"64",...},...]}, values as text.
void PrintJson(const TRecipe& recipe, const std::string& code) {
    std::string json = "{\"code\":" + JsonString(code) +
                       ",\"brushes\":" + JsonString(BrushesLine(recipe.brushes)) + ",\"links\":[";
    for (std::size_t i = 0; i < recipe.links.size(); ++i) {
        const TRecipeLink& link = recipe.links[i];
        json += (i > 0 ? ",{\"seed\":\"" : "{\"seed\":\"") + SeedText(link.seed) + "\"";
        for (const TGenParam& param : GenParams)
            json += ",\"" + std::string(param.name) +
                    "\":" + JsonString(ParamValueText(param, link.settings.Value(param.id)));
        json += ",\"palette\":" + JsonString(PaletteLine(link.settings));
        if (!link.settings.layers.Empty())
            json += ",\"layers\":" + JsonString(LayerStackText(link.settings.layers));
        json += "}";
    }
    json += "]}\n";
    std::fputs(json.c_str(), stdout);
}

} // namespace

int CliRecipe(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("usage: pallimor-cli recipe [--json] CODE|FILE\n"
                   "Prints the values of a recipe code, one \"name value\" line each; a Keep chain\n"
                   "prints one block per generation, oldest first. Then \"brushes NAME\" (the\n"
                   "installed set, or \"HASH (not installed here)\") and \"code CODE\", the code to\n"
                   "copy. A PNG or JPEG file written with --embed-recipe is read for its code.\n"
                   "--json prints the same as one JSON object. Exit status: 0 done, 1 a file\n"
                   "missing, unreadable or without a recipe, 2 bad code or usage.\n",
                   stdout);
        return 0;
    }
    const bool json = argc == 3 && std::strcmp(argv[1], "--json") == 0;
    if (argc != 2 + (json ? 1 : 0) || (!json && std::string_view(argv[1]).starts_with("--"))) {
        std::fputs("pallimor-cli recipe: give one recipe code or file (pallimor-cli recipe --help)\n",
                   stderr);
        return 2;
    }
    const char* argument = argv[argc - 1];
    std::string why;
    const std::string code = RecipeCodeOfArgument(argument, why);
    if (!why.empty()) {
        std::fprintf(stderr, "pallimor-cli recipe: %s\n", OneLine(why).c_str());
        return 1;
    }
    const TRecipeDecoding decoded = DecodeRecipe(code);
    if (!decoded.ok()) {
        std::fprintf(stderr, "pallimor-cli recipe: %s\n", OneLine(decoded.error).c_str());
        return 2;
    }
    if (json) {
        PrintJson(decoded.recipe, code);
    } else {
        PrintText(decoded.recipe, code);
    }
    return 0;
}

int CliPresets(int argc, char** argv) {
    if (argc > 1) {
        const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
        std::fputs(help ? "usage: pallimor-cli presets\n"
                          "Lists the shipped materials, one a line: the name, then what it is.\n"
                          "pallimor-cli generate --preset NAME starts from one.\n"
                        : "pallimor-cli presets: takes no arguments (pallimor-cli presets --help)\n",
                   help ? stdout : stderr);
        return help ? 0 : 2;
    }
    const TPresetFileResult presets = LoadShippedPresets(ExecutableFolder());
    if (!presets.ok()) {
        std::fprintf(stderr, "pallimor-cli presets: %s\n", OneLine(presets.error).c_str());
        return 1;
    }
    std::size_t width = 0;
    for (const TPreset& preset : presets.presets) width = std::max(width, preset.name.size());
    for (const TPreset& preset : presets.presets)
        std::printf("%-*s  %s\n", int(width), preset.name.c_str(), preset.description.c_str());
    return 0;
}
