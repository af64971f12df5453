// The command-line options that ask pallimor-cli generate for the maps a window's export writes,
// so that a child run of the tool (the Library's export) writes the files File > Export writes.
#pragma once

#include <string>
#include <vector>

#include "export/MaterialMaps.h"

namespace vorn {

// The arguments (--maps, --material, --metallic, --map-format, --height-blur, --normal-strength,
// --normal-y, --normal-filter, --ao-radius, --roughness) from which the command line's parser
// reads back exactly maps: the numbers in the shortest decimals that read back as the same
// doubles, an option left out where its value is the parser's default. A setting no chosen map
// uses (the normal's without a normal map or a material set, the metalness without a set, ...)
// is left out too: the command line refuses it there, and no file depends on it. The edges are
// not an option: the tool takes them from each texture's tiling, as the window does.
std::vector<std::string> MapArguments(const TMapOptions& maps);

} // namespace vorn
