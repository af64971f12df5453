// pallimor-cli generate: not built yet.
#include <cstdio>

#include "cli/Cli.h"

int CliGenerate(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::fputs("generate: not available yet\n", stderr);
    return 2;
}
