// pallimor-cli recipe CODE|FILE: the values a recipe code fixes, one "name value" line each, names
// and values as the generate command's options take them; one block per generation of the chain.
// A file is read for the code written into it by generate --embed-recipe.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Cli.h"
#include "cli/GenerateOptions.h"
#include "gen/Recipe.h"
#include "gen/SeedText.h"

int CliRecipe(int argc, char** argv) {
    using namespace vorn;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("usage: pallimor-cli recipe CODE|FILE\n"
                   "Prints the values of a recipe code, one \"name value\" line each; a Keep chain\n"
                   "prints one block per generation, oldest first. A PNG or JPEG file written with\n"
                   "--embed-recipe is read for its code. Exit status: 0 done, 1 a file without a\n"
                   "recipe or unreadable, 2 bad code.\n",
                   stdout);
        return 0;
    }
    if (argc != 2) {
        std::fputs("pallimor-cli recipe: give one recipe code or file (pallimor-cli recipe --help)\n",
                   stderr);
        return 2;
    }
    std::string why;
    const std::string code = RecipeCodeOfArgument(argv[1], why);
    if (!why.empty()) {
        std::fprintf(stderr, "pallimor-cli recipe: %s\n", why.c_str());
        return 1;
    }
    const TRecipeDecoding decoded = DecodeRecipe(code);
    if (!decoded.ok()) {
        std::fprintf(stderr, "pallimor-cli recipe: %s\n", decoded.error.c_str());
        return 2;
    }
    bool first = true;
    for (const TRecipeLink& link : decoded.recipe.links) {
        if (!first) std::fputc('\n', stdout);
        first = false;
        std::printf("seed 0x%s\n", SeedText(link.seed).c_str());
        for (const TGenParam& param : GenParams) {
            std::printf("%s %s\n", param.name, ParamValueText(param, link.settings.Value(param.id)).c_str());
        }
    }
    return 0;
}
