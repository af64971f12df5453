// Commands of pallimor-cli. Each takes the arguments from its own name on (argv[0] is the
// command, e.g. "archive") and answers the exit status: 0 done, 1 failed, 2 usage error.
#pragma once

#include <string>
#include <string_view>

int CliArchive(int argc, char** argv);
int CliGenerate(int argc, char** argv);
int CliRecipe(int argc, char** argv);
int CliPresets(int argc, char** argv);

// The folder of the running program, where its brush archives may be; empty when unknown.
std::string ExecutableFolder();

// A message as one line on a terminal: control characters (newlines, escape sequences of a
// crafted file name) shown as \xHH, and a text over 400 bytes cut to "...".
std::string OneLine(std::string_view text);
