// Reading a whole file into memory, with a ceiling on its size. Paths use '/'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn {

// Fills bytes with the file's content; 0, or errno on failure (EFBIG: more than maxBytes).
// Reads to the end of the stream, so it works for pipes and special files too.
int ReadFileBytes(const std::string& fileName, std::size_t maxBytes, std::vector<std::uint8_t>& bytes);

} // namespace vorn
