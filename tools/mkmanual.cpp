// mkmanual: writes the man pages pallimor(1) and pallimor-cli(1) and the bash completion of
// pallimor-cli, drawn from the parameter table, the option tables and the help texts, so that
// they always list what the programs accept. Run at build time.
// Usage: mkmanual pallimor.1|pallimor-cli.1|completion FILE
#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

#include "PallimorVersion.h"
#include "cli/GenerateOptions.h"
#include "gen/ArchiveChoice.h"
#include "gen/Layers.h"
#include "gen/BatchLoop.h"
#include "gen/Favourites.h"
#include "gen/GenParams.h"
#include "gen/ProgramHelp.h"
#include "gen/Shortcuts.h"

namespace {

using namespace vorn;

// Text for roff: backslashes and hyphens escaped, continuation breaks ('\n') joined by a space,
// and a line never starting with a control character.
std::string Roff(std::string_view text) {
    std::string roff;
    for (const char c : text) {
        if (c == '\\') {
            roff += "\\e";
        } else if (c == '-') {
            roff += "\\-";
        } else if (c == '\n') {
            roff += ' ';
        } else {
            roff += c;
        }
    }
    if (!roff.empty() && (roff[0] == '.' || roff[0] == '\'')) roff.insert(0, "\\&");
    return roff;
}

void Header(std::ostream& out, const char* title, const char* name, const char* summary) {
    out << ".TH " << title << " 1 \"\" \"pallimor " << PallimorVersion << "\" \"User Commands\"\n"
        << ".SH NAME\n"
        << Roff(name) << " \\- " << Roff(summary) << "\n";
}

void ProgramOptionItems(std::ostream& out) {
    for (const TCommandHelp& option : ProgramOptions)
        out << ".TP\n.B " << Roff(option.name) << "\n" << Roff(option.help) << ".\n";
}

void ParameterItems(std::ostream& out, bool asOptions) {
    for (const TGenParam& param : GenParams) {
        const std::string argument = param.kind == pkList ? "" : param.argument;
        out << ".TP\n";
        if (asOptions) {
            out << ".BI \"" << Roff(std::string("--") + param.name) << "\" \" " << Roff(argument) << "\"\n";
        } else {
            out << ".B " << Roff(param.caption) << "\n";
        }
        std::string values = AcceptedValues(param);
        for (std::size_t bar = values.find('|'); bar != std::string::npos; bar = values.find('|', bar))
            values.replace(bar, 1, ", ");
        out << Roff(param.help) << ".";
        if (param.kind != pkSize) out << " Values: " << Roff(values) << ".";
        out << " Default: " << Roff(ParamValueText(param, param.defaultValue)) << ".";
        if (asOptions) {
            out << " The window's " << Roff(param.caption) << ".";
        } else {
            out << " Command line: \\fB" << Roff(std::string("--") + param.name) << "\\fR.";
        }
        out << "\n";
    }
}

void CliOptionItems(std::ostream& out, std::span<const TCliOption> options) {
    for (const TCliOption& option : options) {
        out << ".TP\n";
        if (option.argument) {
            out << ".BI \"" << Roff(std::string("--") + option.name) << "\" \" " << Roff(option.argument)
                << "\"\n";
        } else {
            out << ".B " << Roff(std::string("--") + option.name) << "\n";
        }
        out << Roff(option.help) << ".\n";
    }
}

// The window's keys, menu by menu, then the Tiled and Material Views': "Ctrl+S  Export (File
// menu): what it does".
void KeyItems(std::ostream& out) {
    out << ".SH KEYS\n";
    for (const TShortcut& shortcut : Shortcuts) {
        if (!*shortcut.keys) continue;
        std::string keys = shortcut.keys;
        for (std::size_t at = keys.find("; "); at != std::string::npos; at = keys.find("; ", at))
            keys.replace(at, 2, " or ");
        out << ".TP\n.B " << Roff(keys) << "\n" << Roff(shortcut.command);
        if (*shortcut.menu) out << " (" << Roff(shortcut.menu) << " menu)";
        if (*shortcut.window) out << " (in the " << Roff(shortcut.window) << ")";
        out << ": " << Roff(shortcut.help) << ".\n";
    }
}

void FilesSection(std::ostream& out) {
    out << ".SH FILES\n.TP\n.I " << Roff(std::string(PALLIMOR_DATA_DIR) + "/" + ArchiveFileName) << "\n"
        << "The brush archive. A " << Roff(ArchiveFileName)
        << " in the current folder or beside the program is preferred to it.\n"
        << ".TP\n.I " << Roff(std::string("~/.local/share/Pallimor/") + FavouritesFileName) << "\n"
        << "The window's favourites, one recipe code a line followed by its name; pallimor\\-cli generate "
           "\\-\\-recipes makes them all.\n";
}

// The layer kinds, their values, the blends and each layer's own settings, from their tables.
void LayerSection(std::ostream& out) {
    out << ".SH LAYERS\n\\fB\\-\\-layers\\fR composes a texture of layers, bottom first, joined by "
           "\\(oq,\\(cq: each a kind, then \\fB:\\fR\\fINAME\\fR\\fB=\\fR\\fIVALUE\\fR for the values that "
           "differ from their defaults. Patterns are drawn at the output's own size from the texture's "
           "seed and repeat as the tile does; their tones read the palette. The maps take their height "
           "and roughness from the layers (\\fB\\-\\-height\\-from\\fR).\n"
        << ".TP\n.B tile\nThe texture the parameters draw: the background and the brush walk.\n";
    for (const TPatternKindInfo& kind : PatternKinds()) {
        out << ".TP\n.B " << Roff(kind.name) << "\n" << Roff(kind.help) << ".\n";
        for (const TPatternParam& param : kind.params)
            out << ".br\n\\fB" << Roff(param.name) << "\\fR " << param.min << ".." << param.max << " (default "
                << param.defaultValue << "): " << Roff(param.help) << ".\n";
    }
    out << ".PP\nEvery layer also takes \\fBblend\\fR:\n";
    for (const TLayerBlendInfo& blend : LayerBlends())
        out << ".TP\n.B " << Roff(blend.name) << "\n" << Roff(blend.help) << ".\n";
    out << ".PP\nand these settings:\n";
    for (const TLayerSetting& setting : LayerSettings())
        out << ".TP\n.B " << Roff(setting.name) << "\n" << setting.min << ".." << setting.max << " (default "
            << setting.defaultValue << "): " << Roff(setting.help) << ".\n";
    out << ".PP\n\\fBpallimor\\-cli presets\\fR lists the shipped materials; \\fB\\-\\-preset\\fR starts "
           "from one, and the options given beside it change its values.\n";
}

void WindowPage(std::ostream& out) {
    Header(out, "PALLIMOR", "pallimor", "generate seamlessly repeating textures");
    out << ".SH SYNOPSIS\n.B pallimor\n.RB [ \\-\\-help | \\-\\-version ]\n"
        << ".SH DESCRIPTION\n"
        << "Opens a window that paints random textures whose opposite edges match, so that they tile "
           "without a seam: a random walk of mirrored brush stamps over a flat, graded or patterned "
           "background. Set the parameters, press \\(lqGenerate\\(rq and export the texture as a BMP, PNG "
           "or JPEG file, or a numbered batch of up to "
        << MaxBatchCount << " textures.\n"
        << ".SH OPTIONS\n";
    ProgramOptionItems(out);
    out << ".PP\nAny other argument is left to Qt.\n"
        << ".SH PARAMETERS\nThe window's controls, with the option that sets each in "
        << "\\fBpallimor\\-cli generate\\fR:\n";
    ParameterItems(out, false);
    KeyItems(out);
    FilesSection(out);
    out << ".SH SEE ALSO\n.BR pallimor\\-cli (1)\n";
}

void CliPage(std::ostream& out) {
    Header(out, "PALLIMOR-CLI", "pallimor-cli",
           "generate seamlessly repeating textures from the command line");
    out << ".SH SYNOPSIS\n";
    bool first = true;
    for (const TCommandHelp& command : CliCommands) {
        if (!first) out << ".br\n";
        first = false;
        const bool options = std::string_view(command.arguments) == "...";
        out << ".B pallimor\\-cli " << command.name << "\n"
            << (options ? ".RI [ options ]\n" : ".I " + Roff(command.arguments) + "\n");
    }
    out << ".br\n.B pallimor\\-cli\n.RB [ \\-\\-help | \\-\\-version ]\n"
        << ".SH DESCRIPTION\n"
        << "Makes the textures of the window \\fBpallimor\\fR(1) without a window: the same synthesis, the "
           "same random sequence and the same export, with the window's defaults. A recipe code, printed "
           "by \\fB\\-\\-json\\fR, makes a texture again.\n"
        << ".SH COMMANDS\n";
    for (const TCommandHelp& command : CliCommands) {
        out << ".TP\n.B " << command.name << "\n" << Roff(command.help) << ".\n";
    }
    ProgramOptionItems(out);
    out << ".SH GENERATE OPTIONS\n.SS Source\n";
    CliOptionItems(out, SourceOptions());
    out << ".SS Generation parameters\n";
    ParameterItems(out, true);
    out << ".SS Output\n";
    CliOptionItems(out, OutputOptions());
    out << ".SS File names\nThe fields of a \\fB\\-\\-name\\fR pattern:\n";
    for (const TNameField& field : GenerateNameFields())
        out << ".TP\n.B " << Roff(field.field) << "\n" << Roff(field.help) << ".\n";
    out << ".PP\nThe file type's extension is added to the name. An existing file is never replaced "
           "without \\fB\\-\\-force\\fR: before anything is written the command checks every file it would "
           "write and stops at the first that exists.\n"
        << ".SH EXIT STATUS\n0 done, 1 failed (the reason on standard error), 2 bad usage.\n";
    LayerSection(out);
    FilesSection(out);
    out << ".SH EXAMPLES\n.nf\n"
        << "pallimor\\-cli generate \\-\\-preset brick\\-wall \\-\\-palette ember \\-\\-size 1024 "
           "\\-\\-maps height,normal \\-\\-out wall.png\n"
        << "pallimor\\-cli generate \\-\\-seed 1 \\-\\-size 512 \\-\\-out texture.png\n"
        << "pallimor\\-cli generate \\-\\-effect glow \\-\\-count 20 \\-\\-folder textures "
           "\\-\\-name glow\\-{n}\n"
        << "pallimor\\-cli generate \\-\\-recipe P1.size=512.seed=00000001 \\-\\-out \\- \\-\\-type png "
           "> again.png\n"
        << "pallimor\\-cli generate \\-\\-recipes favourites.txt \\-\\-folder kept \\-\\-name {name} "
           "\\-\\-type png\n"
        << ".fi\n"
        << ".SH SEE ALSO\n.BR pallimor (1)\n";
}

// The words a parameter's value completes to, separated by spaces.
std::string ValueWords(const TGenParam& param) {
    std::string words;
    if (param.kind == pkList) {
        for (std::size_t i = 0; i < param.items.size(); ++i) {
            if (i > 0) words += ' ';
            words += ParamValueText(param, static_cast<int>(i));
        }
    } else if (param.kind == pkSize) {
        for (int size = param.min; size <= param.max; size *= 2) {
            if (size != param.min) words += ' ';
            words += std::to_string(size);
        }
    }
    return words;
}

void Completion(std::ostream& out) {
    std::string commands, options, valueOptions;
    for (const TCommandHelp& command : CliCommands) commands += std::string(command.name) + " ";
    for (const TCommandHelp& option : ProgramOptions) commands += std::string(option.name) + " ";
    out << "# bash completion of pallimor-cli, written by mkmanual from the program's option tables.\n"
        << "_pallimor_cli() {\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
        << "    COMPREPLY=()\n"
        << "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
        << "        mapfile -t COMPREPLY < <(compgen -W \"" << commands.substr(0, commands.size() - 1)
        << "\" -- \"$cur\")\n"
        << "        return\n"
        << "    fi\n"
        << "    case ${COMP_WORDS[1]} in\n"
        << "    archive) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- \"$cur\"); "
           "return ;;\n"
        << "    generate) ;;\n"
        << "    *) return ;;\n"
        << "    esac\n"
        << "    case $prev in\n";
    for (const TGenParam& param : GenParams) {
        options += std::string("--") + param.name + " ";
        if (const std::string words = ValueWords(param); !words.empty()) {
            out << "    --" << param.name << ") mapfile -t COMPREPLY < <(compgen -W \"" << words
                << "\" -- \"$cur\"); return ;;\n";
        } else {
            valueOptions += std::string(valueOptions.empty() ? "" : " | ") + "--" + param.name;
        }
    }
    for (const std::span<const TCliOption> table : {SourceOptions(), OutputOptions()}) {
        for (const TCliOption& option : table) {
            options += std::string("--") + option.name + " ";
            if (!option.argument) continue;
            out << "    --" << option.name << ") ";
            switch (option.completion) {
            case coFile:
                out << "compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- \"$cur\"); "
                       "return ;;\n";
                break;
            case coFolder:
                out << "compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -d -- \"$cur\"); "
                       "return ;;\n";
                break;
            case coWords: {
                std::string words = option.words;
                for (char& c : words) c = c == '|' ? ' ' : c;
                out << "mapfile -t COMPREPLY < <(compgen -W \"" << words << "\" -- \"$cur\"); return ;;\n";
                break;
            }
            case coNone:
                out << "return ;;\n";
                break;
            }
        }
    }
    out << "    " << valueOptions << ") return ;;\n"
        << "    esac\n"
        << "    mapfile -t COMPREPLY < <(compgen -W \"" << options.substr(0, options.size() - 1)
        << "\" -- \"$cur\")\n"
        << "}\n"
        << "complete -F _pallimor_cli pallimor-cli\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: mkmanual pallimor.1|pallimor-cli.1|completion FILE\n", stderr);
        return 2;
    }
    std::ostringstream text;
    if (std::strcmp(argv[1], "pallimor.1") == 0) {
        WindowPage(text);
    } else if (std::strcmp(argv[1], "pallimor-cli.1") == 0) {
        CliPage(text);
    } else if (std::strcmp(argv[1], "completion") == 0) {
        Completion(text);
    } else {
        std::fprintf(stderr, "mkmanual: unknown kind '%s'\n", argv[1]);
        return 2;
    }
    std::ofstream file(argv[2], std::ios::binary);
    file << text.str();
    file.close();
    if (!file) {
        std::fprintf(stderr, "mkmanual: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
