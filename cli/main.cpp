// pallimor-cli: the texture generator and its brush archive without a window.
#include <cstdio>
#include <cstring>
#include <string>

#include "PallimorVersion.h"
#include "cli/Cli.h"
#include "gen/ProgramHelp.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fputs("usage: pallimor-cli COMMAND [ARGUMENTS]\ncommands:\n", out);
    for (const vorn::TCommandHelp& command : vorn::CliCommands)
        std::fprintf(out, "  %-15s%s\n", (std::string(command.name) + " " + command.arguments).c_str(),
                     command.help);
    for (const vorn::TCommandHelp& option : vorn::ProgramOptions)
        std::fprintf(out, "  %-15s%s\n", option.name, option.help);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("pallimor-cli: no command given (pallimor-cli --help lists the commands)\n", stderr);
        return 2;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::printf("pallimor-cli %s\n", vorn::PallimorVersion);
        return 0;
    }
    if (std::strcmp(command, "archive") == 0) return CliArchive(argc - 1, argv + 1);
    if (std::strcmp(command, "generate") == 0) return CliGenerate(argc - 1, argv + 1);
    if (std::strcmp(command, "recipe") == 0) return CliRecipe(argc - 1, argv + 1);
    std::fprintf(stderr, "pallimor-cli: unknown command '%s' (pallimor-cli --help lists the commands)\n",
                 command);
    return 2;
}
