// SHA-256 digests of byte strings and files, from Nettle's sha2 (the data-set manifests name each
// file by its digest). Digests are written as 64 lower-case hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorn {

std::string Sha256Hex(const std::uint8_t* data, std::size_t size);

// The digest of a regular file's bytes; empty when it cannot be read or is no regular file (a
// symbolic link, a pipe or a device).
std::string FileSha256Hex(const std::string& fileName);

} // namespace vorn
