// Data maps (height and other maps) as half-float OpenEXR images, through libopenexr. The values
// are linear and stored as they are, with no gamma and no scaling: one HALF channel per map
// channel ("Y" for a grey height map, "R", "G", "B", "A" for colour), ZIP compressed scanlines,
// top row first, and only the attributes every OpenEXR file has, so exrheader and the other EXR
// tools read them. Floats round to the nearest half; beyond +-65504 they become infinite.
// EncodeExr and DecodeExr work in memory; failures come back as false and a one-line reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorn {

// One channel of width * height values, rows top first.
struct TExrChannel {
    std::string name;
    std::vector<float> values;
};

// Writes a scanline OpenEXR file of the channels into out (replacing what it held). Refused: an
// empty size, no channels, an unnamed channel, a channel whose value count is not width * height
// and two channels of one name.
bool EncodeExr(int width, int height, const std::vector<TExrChannel>& channels,
               std::vector<std::uint8_t>& out, std::string* reason = nullptr);

// Reads an OpenEXR file from memory: its data window's size and every channel as floats, in the
// file's order (alphabetical by name). The outputs change only on success.
bool DecodeExr(std::span<const std::uint8_t> bytes, int& width, int& height,
               std::vector<TExrChannel>& channels, std::string* reason = nullptr);

} // namespace vorn
