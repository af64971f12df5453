// Reading a whole file into memory, with a ceiling on its size, or only the head of a regular
// file. Paths use '/'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vorn {

// Fills bytes with the file's content; 0, or errno on failure (EFBIG: more than maxBytes).
// Reads to the end of the stream, so it works for pipes and special files too.
int ReadFileBytes(const std::string& fileName, std::size_t maxBytes, std::vector<std::uint8_t>& bytes);

// Fills bytes with the start of a regular file, a growing piece at a time (64 KiB, then twice
// as much each time): after each piece wantsMore(bytes) says whether the bytes so far are not
// enough yet. Stops at the end of the file or at maxBytes. The file is opened without blocking
// and refused before anything is read when it is no regular file: EISDIR for a folder, EINVAL
// for a pipe, socket or device. 0, or errno on failure (ENOENT: no such file).
int ReadFileHead(const std::string& fileName, std::size_t maxBytes,
                 const std::function<bool(std::span<const std::uint8_t> bytes)>& wantsMore,
                 std::vector<std::uint8_t>& bytes);

} // namespace vorn
