#include "archive/RecordInflate.h"

#include <zlib.h>

#include <limits>

namespace vorn::detail {

bool InflateInto(const std::uint8_t* stored, std::size_t storedSize, std::uint8_t* out, std::size_t size) {
    if (storedSize > std::numeric_limits<uInt>::max() || size > std::numeric_limits<uInt>::max())
        return false;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(stored);
    stream.avail_in = static_cast<uInt>(storedSize);
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(size);
    const int result = inflate(&stream, Z_FINISH);
    const bool whole = result == Z_STREAM_END && stream.total_out == size;
    inflateEnd(&stream);
    return whole;
}

} // namespace vorn::detail
