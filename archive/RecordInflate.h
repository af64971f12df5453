// Inflating one archive record's zlib stream whole into memory the caller gives. Two builds of
// it: libdeflate (archive/RecordInflate.cpp) where the system has it, zlib's inflate
// (archive/RecordInflateZlib.cpp) in the browser build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorn::detail {

// A stream counts only when it ends within the stored bytes (bytes after its end are allowed),
// its Adler-32 holds and it gives exactly size bytes: one that would give more finds no room,
// one that gives fewer reports its shorter length. A header asking for a preset dictionary, or
// for a window larger than 32 KiB, is bad data.
bool InflateInto(const std::uint8_t* stored, std::size_t storedSize, std::uint8_t* out, std::size_t size);

} // namespace vorn::detail
