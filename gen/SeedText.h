// A random seed as the program writes it everywhere (recipe codes, traces, file names, the seed
// lines and the JSON list of pallimor-cli): eight upper-case hex digits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

inline constexpr std::size_t SeedTextLength = 8;

// "0005EED0" for 0x5EED0.
std::string SeedText(std::uint32_t seed);
// Whether text is a seed so written: SeedTextLength characters 0-9 or A-F.
bool IsSeedText(std::string_view text);

} // namespace vorn
