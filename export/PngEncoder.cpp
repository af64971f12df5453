#include "export/PngEncoder.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include <zlib.h>

#include "export/MapIndex.h"

namespace vorn {

namespace {

void SetReason(std::string* reason, const char* text) {
    if (reason) *reason = text;
}

std::size_t RowBytes(std::int32_t width, TPngColour colour) {
    return std::size_t(width) * std::size_t(PngPixelBytes(colour));
}

// Paeth (type 4) of row cur over prev, n bytes of bpp-byte pixels, into out (the filter byte
// first). Each output reads only the two input rows, so the loop vectorises; the first pixel has
// no left neighbour, and Paeth of (0, b, 0) is b.
void FilterRowPaeth(const std::uint8_t* cur, const std::uint8_t* prev, std::size_t n, std::size_t bpp,
                    std::uint8_t* out) {
    *out++ = 4;
    const std::size_t head = std::min(bpp, n);
    for (std::size_t i = 0; i < head; ++i) out[i] = std::uint8_t(cur[i] - prev[i]);
    for (std::size_t i = head; i < n; ++i) {
        const int a = cur[i - bpp], b = prev[i], c = prev[i - bpp];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        out[i] = std::uint8_t(cur[i] - predicted);
    }
}

// A raw deflate stream (no zlib header), run-length matches only.
class TRawDeflate {
public:
    TRawDeflate() {
        // Level 6 only marks the stream as compressed; Z_RLE chooses the matches at any level.
        if (deflateInit2(&m_zs, 6, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK) throw std::bad_alloc();
    }
    ~TRawDeflate() { deflateEnd(&m_zs); }
    TRawDeflate(const TRawDeflate&) = delete;
    TRawDeflate& operator=(const TRawDeflate&) = delete;

    // in compressed into out (resized to fit), ended by a sync flush or, last, by the final block.
    bool Compress(const std::uint8_t* in, std::size_t size, bool last, std::vector<std::uint8_t>& out) {
        if (deflateReset(&m_zs) != Z_OK) return false;
        // The bound of one Z_FINISH, and room for the empty stored block a sync flush adds.
        out.resize(std::size_t(deflateBound(&m_zs, uLong(size))) + 16);
        m_zs.next_in = const_cast<std::uint8_t*>(in);
        m_zs.avail_in = uInt(size);
        std::size_t used = 0;
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        while (true) {
            if (used == out.size()) out.resize(out.size() * 2);
            const std::size_t room = std::min<std::size_t>(out.size() - used, UINT_MAX);
            m_zs.next_out = out.data() + used;
            m_zs.avail_out = uInt(room);
            const int ret = deflate(&m_zs, flush);
            used += room - m_zs.avail_out;
            if (ret == Z_STREAM_ERROR) return false;
            if (last ? ret == Z_STREAM_END : m_zs.avail_in == 0 && m_zs.avail_out > 0) break;
        }
        out.resize(used);
        return true;
    }

private:
    z_stream m_zs{};
};

// One group's compressed bytes and the adler32 of its filtered bytes.
struct TGroup {
    std::vector<std::uint8_t> bytes;
    uLong adler = 1;
    std::size_t size = 0; // filtered bytes
};

enum TFailure : int { fNone, fMemory, fFailed };

// Filters and compresses groups, taking the next undone one until none is left; each group's
// bytes depend on its rows alone.
class TGroupWorker {
public:
    TGroupWorker(const TPngImage& image, std::int32_t groupRows, std::vector<TGroup>& groups)
        : m_image(image), m_groupRows(groupRows), m_groups(groups),
          m_rowBytes(RowBytes(image.width, image.colour)), m_bpp(std::size_t(PngPixelBytes(image.colour))) {}

    void Run(std::atomic<std::size_t>& next, std::atomic<int>& failure) {
        try {
            TRawDeflate deflater;
            m_prev.resize(m_rowBytes);
            m_cur.resize(m_rowBytes);
            m_filtered.resize(std::size_t(m_groupRows) * (m_rowBytes + 1));
            for (std::size_t g = next++; g < m_groups.size() && failure.load() == fNone; g = next++)
                if (!Group(g, deflater)) failure.store(fFailed);
        } catch (const std::bad_alloc&) {
            failure.store(fMemory);
        } catch (...) { // a row source's fault: no exception may leave a worker thread
            failure.store(fFailed);
        }
    }

private:
    bool Group(std::size_t g, TRawDeflate& deflater) {
        const std::int32_t y0 = std::int32_t(std::int64_t(g) * m_groupRows);
        const std::int32_t y1 =
            std::int32_t(std::min<std::int64_t>(m_image.height, std::int64_t(y0) + m_groupRows));
        if (y0 > 0)
            m_image.row(y0 - 1, m_prev.data());
        else
            std::fill(m_prev.begin(), m_prev.end(), std::uint8_t(0));
        std::uint8_t* out = m_filtered.data();
        for (std::int32_t y = y0; y < y1; ++y, out += m_rowBytes + 1) {
            m_image.row(y, m_cur.data());
            FilterRowPaeth(m_cur.data(), m_prev.data(), m_rowBytes, m_bpp, out);
            std::swap(m_cur, m_prev);
        }
        TGroup& group = m_groups[g];
        group.size = std::size_t(out - m_filtered.data());
        group.adler = adler32_z(1, m_filtered.data(), group.size);
        if (!deflater.Compress(m_filtered.data(), group.size, g + 1 == m_groups.size(), m_compressed))
            return false;
        group.bytes.assign(m_compressed.begin(), m_compressed.end());
        return true;
    }

    const TPngImage& m_image;
    const std::int32_t m_groupRows;
    std::vector<TGroup>& m_groups;
    const std::size_t m_rowBytes, m_bpp;
    std::vector<std::uint8_t> m_prev, m_cur, m_filtered, m_compressed;
};

// Writes big-endian numbers and chunks into a file sized beforehand.
class TFileCursor {
public:
    explicit TFileCursor(std::uint8_t* at) : m_at(at) {}

    void Bytes(const void* data, std::size_t size) {
        if (size > 0) std::memcpy(m_at, data, size);
        m_at += size;
    }
    void Be32(std::uint32_t v) {
        const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                                   std::uint8_t(v)};
        Bytes(b, 4);
    }
    // Length, type, data, CRC-32 of type and data.
    void Chunk(const char* type, const std::uint8_t* data, std::size_t size) {
        Be32(std::uint32_t(size));
        const std::uint8_t* typeAt = m_at;
        Bytes(type, 4);
        Bytes(data, size);
        Be32(std::uint32_t(crc32_z(0, typeAt, size + 4)));
    }

private:
    std::uint8_t* m_at;
};

// Cuts one zlib stream of a known size into IDAT chunks of PngIdatChunkSize bytes, the last one
// shorter, as its pieces arrive.
class TIdatWriter {
public:
    TIdatWriter(TFileCursor& out, std::size_t total) : m_out(out), m_remaining(total) {}

    void Append(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            if (m_left == 0) Open();
            const std::size_t n = std::min(size, m_left);
            m_out.Bytes(data, n);
            m_crc = crc32_z(m_crc, data, n);
            data += n;
            size -= n;
            m_left -= n;
            if (m_left == 0) m_out.Be32(std::uint32_t(m_crc));
        }
    }

private:
    void Open() {
        m_left = std::min(m_remaining, PngIdatChunkSize);
        m_remaining -= m_left;
        m_out.Be32(std::uint32_t(m_left));
        static const std::uint8_t Type[4] = {'I', 'D', 'A', 'T'};
        m_out.Bytes(Type, 4);
        m_crc = crc32_z(0, Type, 4);
    }

    TFileCursor& m_out;
    std::size_t m_remaining;
    std::size_t m_left = 0;
    uLong m_crc = 0;
};

bool ValidChunkType(const std::array<char, 4>& type) {
    return std::all_of(type.begin(), type.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

// The file from the compressed groups, each freed once copied.
void AssembleFile(const TPngImage& image, const TPngOptions& options, std::vector<TGroup>& groups,
                  std::vector<std::uint8_t>& file) {
    std::size_t stream = 2 + 4; // zlib header and adler32
    for (const TGroup& group : groups) stream += group.bytes.size();
    std::size_t extra = 0;
    for (const TPngChunk& chunk : options.chunks) extra += 12 + chunk.data.size();
    const std::size_t idats = (stream + PngIdatChunkSize - 1) / PngIdatChunkSize;
    file.resize(8 + 25 + extra + stream + 12 * idats + 12);
    TFileCursor out(file.data());

    static const std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.Bytes(Signature, 8);
    static constexpr std::uint8_t Depth[] = {8, 16, 8, 8}, Type[] = {0, 0, 2, 6}; // by TPngColour
    const std::size_t colour = std::size_t(image.colour);
    std::uint8_t ihdr[13] = {};
    for (int i = 0; i < 4; ++i) {
        ihdr[i] = std::uint8_t(std::uint32_t(image.width) >> (24 - 8 * i));
        ihdr[4 + i] = std::uint8_t(std::uint32_t(image.height) >> (24 - 8 * i));
    }
    ihdr[8] = Depth[colour];
    ihdr[9] = Type[colour]; // compression, filter method and interlace stay 0
    out.Chunk("IHDR", ihdr, sizeof ihdr);
    for (const TPngChunk& chunk : options.chunks)
        out.Chunk(chunk.type.data(), chunk.data.data(), chunk.data.size());

    TIdatWriter idat(out, stream);
    // CMF 0x78: deflate with a 32 KiB window; FLG 0x01: the check bits, no dictionary, the level
    // field "fastest", as zlib marks a run-length stream.
    static const std::uint8_t ZlibHeader[2] = {0x78, 0x01};
    idat.Append(ZlibHeader, 2);
    uLong adler = 1;
    for (TGroup& group : groups) {
        idat.Append(group.bytes.data(), group.bytes.size());
        adler = adler32_combine(adler, group.adler, z_off_t(group.size));
        std::vector<std::uint8_t>().swap(group.bytes);
    }
    const std::uint8_t sum[4] = {std::uint8_t(adler >> 24), std::uint8_t(adler >> 16),
                                 std::uint8_t(adler >> 8), std::uint8_t(adler)};
    idat.Append(sum, 4);
    out.Chunk("IEND", nullptr, 0);
}

} // namespace

int PngPixelBytes(TPngColour colour) {
    switch (colour) {
    case TPngColour::Grey8:
        return 1;
    case TPngColour::Grey16:
        return 2;
    case TPngColour::Rgb8:
        return 3;
    case TPngColour::Rgba8:
        break;
    }
    return 4;
}

std::int32_t PngGroupRows(std::int32_t width, TPngColour colour) {
    const std::size_t filtered = RowBytes(width, colour) + 1;
    return std::int32_t(std::clamp<std::size_t>((PngGroupBytes + filtered - 1) / filtered, 1, INT32_MAX));
}

bool EncodePngImage(const TPngImage& image, const TPngOptions& options, std::vector<std::uint8_t>& out,
                    std::string* reason) {
    if (image.width <= 0 || image.height <= 0 || !image.row) {
        SetReason(reason, "The image is empty");
        return false;
    }
    // zlib counts a group's bytes in 32 bits; a group of one row must stay well below that.
    if (RowBytes(image.width, image.colour) >= PngGroupBytes * 4096) {
        SetReason(reason, "The image is too large for a PNG file");
        return false;
    }
    for (const TPngChunk& chunk : options.chunks)
        if (!ValidChunkType(chunk.type) || chunk.data.size() > 0x7FFFFFFFu) {
            SetReason(reason, "A chunk is not valid");
            return false;
        }
    try {
        const std::int32_t groupRows = PngGroupRows(image.width, image.colour);
        std::vector<TGroup> groups(std::size_t((std::int64_t(image.height) + groupRows - 1) / groupRows));
        const int threads = BandCount(options.threads, std::int32_t(groups.size()));
        std::atomic<std::size_t> next{0};
        std::atomic<int> failure{fNone};
        RunBands(threads, threads, [&](int, std::int32_t, std::int32_t) {
            TGroupWorker(image, groupRows, groups).Run(next, failure);
        });
        if (failure.load() != fNone) {
            SetReason(reason, failure.load() == fMemory ? "Out of memory" : "Compressing the image failed");
            return false;
        }
        std::vector<std::uint8_t> file;
        AssembleFile(image, options, groups, file);
        out.swap(file);
        return true;
    } catch (const std::bad_alloc&) {
        SetReason(reason, "Out of memory");
        return false;
    }
}

TPngImage PngBitmapRows(const TBitmap32& bitmap, bool alpha) {
    TPngImage image{bitmap.Width(), bitmap.Height(), alpha ? TPngColour::Rgba8 : TPngColour::Rgb8, {}};
    const std::int32_t width = bitmap.Width();
    if (alpha)
        image.row = [&bitmap, width](std::int32_t y, std::uint8_t* out) {
            const std::uint8_t* bgra = bitmap.Row(y);
            for (std::int32_t x = 0; x < width; ++x, bgra += 4, out += 4) {
                out[0] = bgra[2];
                out[1] = bgra[1];
                out[2] = bgra[0];
                out[3] = bgra[3];
            }
        };
    else
        image.row = [&bitmap, width](std::int32_t y, std::uint8_t* out) {
            const std::uint8_t* bgra = bitmap.Row(y);
            for (std::int32_t x = 0; x < width; ++x, bgra += 4, out += 3) {
                out[0] = bgra[2];
                out[1] = bgra[1];
                out[2] = bgra[0];
            }
        };
    return image;
}

TPngImage PngGrey8Rows(std::int32_t width, std::int32_t height, const std::uint8_t* values) {
    return {width, height, TPngColour::Grey8, [width, values](std::int32_t y, std::uint8_t* out) {
                std::memcpy(out, values + std::size_t(y) * std::size_t(width), std::size_t(width));
            }};
}

TPngImage PngGrey16Rows(std::int32_t width, std::int32_t height, const std::uint16_t* values) {
    return {width, height, TPngColour::Grey16, [width, values](std::int32_t y, std::uint8_t* out) {
                const std::uint16_t* row = values + std::size_t(y) * std::size_t(width);
                for (std::int32_t x = 0; x < width; ++x, out += 2) {
                    out[0] = std::uint8_t(row[x] >> 8);
                    out[1] = std::uint8_t(row[x]);
                }
            }};
}

} // namespace vorn
