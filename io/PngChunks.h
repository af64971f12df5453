// A look at a PNG file's chunk layout before a decoder reads it: libpng allocates a chunk's
// buffer from the length the chunk declares, so a few bytes claiming a 1.7 GB text chunk would
// make it allocate that much before it finds the file short.
#pragma once

#include <cstdint>
#include <span>

namespace vorn {

// True when every chunk from the signature up to IEND (or the end of the bytes) declares a
// length that fits in the bytes left; false for a chunk that claims more. The signature, CRCs
// and chunk types are the decoder's to check.
bool PngChunksFit(std::span<const std::uint8_t> bytes);

} // namespace vorn
