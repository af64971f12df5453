// The values of pallimor-cli generate's options as text, read the one way every front end reads
// them (the command line, the Python module): a generation parameter, a seed, whole and decimal
// numbers in a range and the map options. A bad value throws TUsageError naming the option and
// what it accepts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "export/MaterialMaps.h"
#include "gen/GenParams.h"

namespace vorn {

// A bad value or command line; the text names the option and what it accepts.
struct TUsageError {
    std::string text;
};

// The whole text as an integer in base; none when it is not one.
std::optional<long long> ParseInteger(std::string_view text, int base = 10);

// "low..high".
std::string RangeText(int low, int high);
// A whole number in low..high.
int IntegerIn(std::string_view option, std::string_view text, int low, int high);
// A decimal number in low..high, such as 0.5 or 2 (no exponent).
double RealIn(std::string_view option, std::string_view text, double low, double high);
// A generation parameter's value as ParseParamValue reads it; a colour may also be written #RRGGBB.
int ParamOf(const TGenParam& param, std::string_view text);
// A random seed, decimal or 0x-hex, 0..4294967295.
std::uint32_t SeedOf(std::string_view text);

// The map options' values, set in maps: --maps (any of height, normal, roughness and ao,
// comma-separated, each once), --roughness MIN,MAX (two numbers in 0..1, MIN at most MAX),
// --normal-y up|down and --normal-filter sobel|scharr; option is the name the message gives.
void SetMapList(TMapOptions& maps, const std::string& option, const std::string& value);
void SetRoughnessRange(TMapOptions& maps, const std::string& option, const std::string& value);
void SetNormalY(TMapOptions& maps, const std::string& option, const std::string& value);
void SetNormalFilter(TMapOptions& maps, const std::string& option, const std::string& value);

} // namespace vorn
