// libFuzzer entry point for the command line of `pallimor-cli generate` (built as fuzz_cli with
// -DPALLIMOR_FUZZ=ON, run by scripts/fuzz.sh). Each input is one command line, its arguments
// separated by newlines or NUL bytes; it is parsed as generate's options and nothing is generated.
// A bad command line must end in a usage error with a one-line text; any other exception or
// fault is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/GenerateOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments{"generate"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n' || c == '\0') {
            arguments.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) arguments.push_back(current);

    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    try {
        const vorn::TGenerateOptions options =
            vorn::ParseGenerateOptions(static_cast<int>(arguments.size()), argv.data());
        if (options.count < 1) __builtin_trap();
    } catch (const vorn::TUsageError& error) {
        if (error.text.empty() || error.text.find('\n') != std::string::npos) __builtin_trap();
    }
    return 0;
}
