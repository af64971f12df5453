// The commands and the common options of the two programs, as their --help texts and the man
// pages (tools/mkmanual.cpp) show them. No Qt: the window's entry point reads it too.
#pragma once

namespace vorn {

struct TCommandHelp {
    const char* name;
    const char* arguments;
    const char* help;
};

// pallimor-cli's commands.
inline constexpr TCommandHelp CliCommands[] = {
    {"archive", "FILE", "list the records and the images of a brush archive"},
    {"archive", "pack|unpack ...", "make a brush archive from a folder of PNG images, or the images of one"},
    {"archive", "list", "list the installed brush sets, the name first"},
    {"generate", "...", "generate textures (pallimor-cli generate --help)"},
    {"presets", "", "list the shipped materials generate --preset starts from, one a line, the name first"},
    {"recipe", "[--json] CODE|FILE",
     "print the values, brush set and code of a recipe code, or of the one an image file carries"},
};

// Answered by both programs without a window.
inline constexpr TCommandHelp ProgramOptions[] = {
    {"--help", "", "show this text"},
    {"--version", "", "show the program's name and version"},
};

} // namespace vorn
