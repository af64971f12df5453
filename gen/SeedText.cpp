#include "gen/SeedText.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace vorn {

std::string SeedText(std::uint32_t seed) {
    char text[12];
    std::snprintf(text, sizeof text, "%08" PRIX32, seed);
    return text;
}

bool IsSeedText(std::string_view text) {
    return text.size() == SeedTextLength &&
           std::ranges::all_of(text, [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

} // namespace vorn
