// pallimor-cli: the texture generator and its brush archive without a window.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "PallimorVersion.h"
#include "cli/Cli.h"
#include "gen/ProgramHelp.h"

namespace {

std::string Head(const vorn::TCommandHelp& entry) {
    return *entry.arguments ? std::string(entry.name) + " " + entry.arguments : std::string(entry.name);
}

// The commands and options in two columns: the help starts two spaces after the longest head.
void PrintUsage(std::FILE* out) {
    std::size_t width = 0;
    for (const vorn::TCommandHelp& command : vorn::CliCommands) width = std::max(width, Head(command).size());
    for (const vorn::TCommandHelp& option : vorn::ProgramOptions)
        width = std::max(width, Head(option).size());
    const int column = static_cast<int>(width + 2);
    std::fputs("usage: pallimor-cli COMMAND [ARGUMENTS]\ncommands:\n", out);
    for (const vorn::TCommandHelp& command : vorn::CliCommands)
        std::fprintf(out, "  %-*s%s\n", column, Head(command).c_str(), command.help);
    for (const vorn::TCommandHelp& option : vorn::ProgramOptions)
        std::fprintf(out, "  %-*s%s\n", column, Head(option).c_str(), option.help);
}

int Dispatch(int argc, char** argv) {
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
    if (std::strcmp(command, "presets") == 0) return CliPresets(argc - 1, argv + 1);
    std::fprintf(stderr, "pallimor-cli: unknown command '%s' (pallimor-cli --help lists the commands)\n",
                 command);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // Whatever escapes a command ends the program with one line, not with std::terminate.
    try {
        const int status = Dispatch(argc, argv);
        // What a command printed may still sit in the buffer: a full device or a closed pipe is
        // a failure, not a success with the output lost.
        const bool flushed = std::fflush(stdout) == 0;
        const int error = flushed ? EIO : errno;
        if (!flushed || std::ferror(stdout)) {
            if (status == 0)
                std::fprintf(stderr, "pallimor-cli: cannot write to standard output: %s\n",
                             std::strerror(error));
            return status == 0 ? 1 : status;
        }
        return status;
    } catch (const std::bad_alloc&) {
        std::fputs("pallimor-cli: out of memory\n", stderr);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pallimor-cli: %s\n", error.what());
    } catch (...) {
        std::fputs("pallimor-cli: unexpected error\n", stderr);
    }
    return 1;
}
