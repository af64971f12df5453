#include "archive/VornDb.h"

#include "archive/VornMd5.h"
#include "io/ByteOrder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>

namespace vorn {

namespace {

using detail::ReadInt32;
using detail::ReadUInt16;

double ReadDouble(const std::uint8_t* p) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameKey(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

} // namespace

// An archive opened for reading, from a file or from bytes in memory, with its size taken
// once; every read is whole or fails.
class TVornDb::TFile {
public:
    explicit TFile(const std::string& name) : m_file(std::fopen(name.c_str(), "rb")) {
        if (!m_file) return;
        if (std::fseek(m_file.get(), 0, SEEK_END) != 0) return;
        const long end = std::ftell(m_file.get());
        if (end >= 0 && std::fseek(m_file.get(), 0, SEEK_SET) == 0) m_size = end;
    }
    explicit TFile(std::span<const std::uint8_t> bytes)
        : m_bytes(bytes), m_size(static_cast<std::int64_t>(bytes.size())) {}
    // Opens the reader's source: its memory when it has one, else its file.
    static std::unique_ptr<TFile> OpenSource(const TVornDb& db) {
        return db.m_fromMemory ? std::make_unique<TFile>(db.m_memory)
                               : std::make_unique<TFile>(db.m_fileName);
    }
    bool IsOpen() const { return m_size >= 0; }
    std::int64_t Size() const { return m_size; }
    std::int64_t Position() const { return m_position; }
    std::int64_t Remaining() const { return m_size - m_position; }

    bool Seek(std::int64_t position) {
        if (position < 0 || position > m_size) return false;
        if (m_file && std::fseek(m_file.get(), static_cast<long>(position), SEEK_SET) != 0) return false;
        m_position = position;
        return true;
    }
    bool ReadExact(void* dest, std::size_t size) {
        if (size == 0) return true;
        if (static_cast<std::uint64_t>(Remaining()) < size) return false;
        if (m_file) {
            if (std::fread(dest, 1, size, m_file.get()) != size) return false;
        } else {
            std::memcpy(dest, m_bytes.data() + m_position, size);
        }
        m_position += static_cast<std::int64_t>(size);
        return true;
    }
    bool ReadInt32(std::int32_t& value) {
        std::uint8_t bytes[4];
        if (!ReadExact(bytes, 4)) return false;
        value = detail::ReadInt32(bytes);
        return true;
    }

private:
    struct TCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, TCloser> m_file; // null when reading memory
    std::span<const std::uint8_t> m_bytes;
    std::int64_t m_size = -1;
    std::int64_t m_position = 0;
};

// ---- TMemoryStream ----

bool TMemoryStream::Seek(std::int64_t position) {
    if (position < 0 || position > Size()) return false;
    m_position = position;
    return true;
}

std::size_t TMemoryStream::Read(void* dest, std::size_t size) {
    const std::size_t take = std::min<std::size_t>(size, static_cast<std::size_t>(Remaining()));
    if (take > 0) std::memcpy(dest, m_data.data() + m_position, take);
    m_position += static_cast<std::int64_t>(take);
    return take;
}

std::size_t TMemoryStream::Write(const void* source, std::size_t size) {
    if (size == 0) return 0;
    const auto end = static_cast<std::size_t>(m_position) + size;
    try {
        if (end > m_data.size()) m_data.resize(end);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::memcpy(m_data.data() + m_position, source, size);
    m_position += static_cast<std::int64_t>(size);
    return size;
}

void TMemoryStream::Adopt(std::vector<std::uint8_t>&& data) {
    m_data = std::move(data);
    m_position = Size();
}

void TMemoryStream::Clear() {
    m_data.clear();
    m_position = 0;
}

// ---- TVornDb ----

void TVornDb::SetFileName(const std::string& value) {
    m_fileName = value;
    m_fromMemory = false;
    m_opened = false;
}

void TVornDb::SetMemory(std::span<const std::uint8_t> bytes) {
    m_memory = bytes;
    m_fromMemory = true;
    m_opened = false;
}

bool TVornDb::Open() {
    bool result = false;
    if (m_fromMemory) {
        // Memory is never written: every mode but opOverwrite reads it.
        m_opened = m_openMode != opOverwrite && ReadRecordTable(nullptr);
        return m_opened;
    }
    switch (m_openMode) {
    case opUpdate: {
        std::error_code error;
        result = std::filesystem::exists(m_fileName, error) ? ReadRecordTable(nullptr) : CreateEmpty();
        break;
    }
    case opOverwrite:
        result = CreateEmpty();
        break;
    case opReadOnly:
        result = ReadRecordTable(nullptr);
        break;
    }
    m_opened = result;
    return result;
}

bool TVornDb::CreateEmpty() {
    const TVornDbHeader header{{'V', 'N', 'D', 'b'}, 0, kHeaderSize};
    std::FILE* file = std::fopen(m_fileName.c_str(), "wb");
    if (!file) return false;
    const std::uint8_t bytes[kHeaderSize] = {'V', 'N', 'D', 'b', 0, 0, 0, 0, kHeaderSize, 0, 0, 0};
    bool result = std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
    // A failed close means the bytes may not have reached the file.
    if (std::fclose(file) != 0) result = false;
    m_header = header;
    m_records.clear();
    return result;
}

bool TVornDb::ReadRecordTable(TFile* file) {
    m_records.clear();
    std::unique_ptr<TFile> own;
    if (!file) {
        own = TFile::OpenSource(*this);
        file = own.get();
    }
    if (!file->IsOpen()) return false;

    std::uint8_t header[kHeaderSize];
    if (!file->Seek(0) || !file->ReadExact(header, sizeof header)) return false;
    std::memcpy(m_header.Signature.data(), header, 4);
    m_header.RecordCount = ReadInt32(header + 4);
    m_header.TableOffset = ReadInt32(header + 8);

    // Every entry takes at least 8 bytes (key length and offset), which bounds the count by the
    // bytes after the table's start before anything is allocated.
    if (!file->Seek(m_header.TableOffset) || m_header.RecordCount < 0 ||
        m_header.RecordCount > kMaxRecordCount || m_header.RecordCount > file->Remaining() / 8)
        return false;
    const auto readTable = [&]() {
        m_records.resize(static_cast<std::size_t>(m_header.RecordCount));
        for (TRecordInfo& record : m_records) {
            std::int32_t keyLength = 0;
            if (!file->ReadInt32(keyLength)) return false;
            if (keyLength > 0) { // a length below 1 is an empty key, followed directly by the offset
                // The key and the offset behind it must fit in the rest of the file.
                if (keyLength > file->Remaining() - 4) return false;
                record.Key.resize(static_cast<std::size_t>(keyLength));
                if (!file->ReadExact(record.Key.data(), record.Key.size())) return false;
            }
            if (!file->ReadInt32(record.Offset)) return false;
        }
        return true;
    };
    bool tableRead = false;
    try {
        tableRead = readTable();
    } catch (const std::bad_alloc&) {
    }
    if (!tableRead) {
        m_records.clear();
        return false;
    }
    if (m_records.empty()) return true;

    for (std::size_t i = 0; i < m_records.size(); ++i) {
        TRecordInfo& record = m_records[i];
        std::uint8_t bytes[kRecordHeaderSize];
        if (!file->Seek(record.Offset) || !file->ReadExact(bytes, sizeof bytes)) {
            m_records.resize(i); // keep the entries whose headers were read
            return false;
        }
        record.RecordType = ReadUInt16(bytes);
        record.UnpackedSize = ReadInt32(bytes + 2);
        record.StoredSize = ReadInt32(bytes + 6);
        record.Timestamp = ReadDouble(bytes + 10);
        std::memcpy(record.Checksum.data(), bytes + 18, 16);
        record.Secure = bytes[34]; // low byte of the 16-bit flag
        std::memcpy(record.Vector.data(), bytes + 36, 8);
    }
    return true;
}

std::int32_t TVornDb::RecordType(std::int32_t index) const {
    const TRecordInfo* record = Record(index);
    return record ? record->RecordType : 0;
}

std::string TVornDb::RecordKey(std::int32_t index) const {
    const TRecordInfo* record = Record(index);
    return record ? record->Key : std::string("[invalid-record-#]");
}

const TRecordInfo* TVornDb::Record(std::int32_t index) const {
    if (index < 0 || index >= RecordCount()) return nullptr;
    return &m_records[static_cast<std::size_t>(index)];
}

std::int32_t TVornDb::IndexOf(const std::string& key) const {
    for (std::size_t i = 0; i < m_records.size(); ++i)
        if (SameKey(m_records[i].Key, key)) return static_cast<std::int32_t>(i);
    return -1;
}

bool TVornDb::ReadRecord(const std::string& key, std::vector<std::uint8_t>& data) {
    data.clear();
    std::vector<std::uint8_t> stored;
    TRecordInfo record;
    {
        const std::unique_ptr<TFile> source = TFile::OpenSource(*this);
        TFile& file = *source;
        if (!file.IsOpen() || !ReadRecordTable(&file)) return false;
        const std::int32_t index = IndexOf(key);
        if (index < 0) return false;
        record = m_records[static_cast<std::size_t>(index)];
        // Sizes the record cannot have are refused before anything is allocated.
        if (record.UnpackedSize < 1 || record.UnpackedSize > kMaxUnpackedSize || record.StoredSize < 0 ||
            record.StoredSize > kMaxStoredSize || record.Offset < 0)
            return false;
        const std::int64_t dataStart = std::int64_t(record.Offset) + kRecordHeaderSize;
        if (dataStart + record.StoredSize > file.Size()) return false;
        try {
            stored.resize(static_cast<std::size_t>(record.StoredSize));
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (!file.Seek(dataStart) || !file.ReadExact(stored.data(), stored.size())) return false;
    }
    std::vector<std::uint8_t> plain;
    if (!detail::InflateExact(stored.data(), stored.size(), record.UnpackedSize, plain)) return false;
    stored = {};
    if (Md5Of(plain.data(), plain.size()) != record.Checksum) return false;
    data = std::move(plain);
    return true;
}

bool TVornDb::ReadStream(const std::string& key, TMemoryStream& stream) {
    std::vector<std::uint8_t> data;
    if (!ReadRecord(key, data)) return false;
    if (stream.Size() == 0) { // an empty stream takes the record's buffer instead of a copy
        stream.Adopt(std::move(data));
        return true;
    }
    return stream.Write(data.data(), data.size()) == data.size();
}

namespace detail {

namespace {

bool InflateInto(const std::uint8_t* stored, std::size_t storedSize, std::int32_t unpackedSize,
                 std::vector<std::uint8_t>& out) {
    if (unpackedSize < 1 || unpackedSize > TVornDb::kMaxUnpackedSize) return false;
    if (storedSize > std::numeric_limits<uInt>::max()) return false;

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    struct TEnd {
        z_stream* stream;
        ~TEnd() { inflateEnd(stream); }
    } end{&stream};

    // One byte of room beyond the expected size shows a stream that runs too long.
    const std::size_t limit = static_cast<std::size_t>(unpackedSize) + 1;
    // A deflate stream gives at most MaxDeflateRatio bytes per stored byte: the first buffer
    // holds what the stored bytes can back, the whole record for any honest one, so it is
    // written once and never grown; a header claiming more than its data can give still costs
    // no large allocation.
    constexpr std::size_t MaxDeflateRatio = 1032;
    const std::size_t first = storedSize * MaxDeflateRatio + 64 * 1024;
    std::size_t produced = 0;
    try {
        out.resize(std::min(limit, first));
        stream.next_in = const_cast<Bytef*>(stored);
        stream.avail_in = static_cast<uInt>(storedSize);
        for (;;) {
            stream.next_out = out.data() + produced;
            stream.avail_out = static_cast<uInt>(out.size() - produced);
            const int result = inflate(&stream, Z_NO_FLUSH);
            produced = out.size() - stream.avail_out;
            if (result == Z_STREAM_END) break;
            // Z_NEED_DICT, Z_DATA_ERROR, Z_MEM_ERROR and Z_STREAM_ERROR end the read; Z_BUF_ERROR
            // only says that no progress was possible.
            if (result != Z_OK && result != Z_BUF_ERROR) return false;
            if (stream.avail_out > 0) return false; // the input ended before the stream did
            if (out.size() >= limit) return false;  // more bytes than the record holds
            out.resize(std::min(limit, out.size() * 2));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (produced != static_cast<std::size_t>(unpackedSize)) return false;
    out.erase(out.begin() + static_cast<std::ptrdiff_t>(produced), out.end()); // drop the spare room
    return true;
}

} // namespace

bool InflateExact(const std::uint8_t* stored, std::size_t storedSize, std::int32_t unpackedSize,
                  std::vector<std::uint8_t>& out) {
    out.clear();
    if (InflateInto(stored, storedSize, unpackedSize, out)) return true;
    out.clear();
    return false;
}

} // namespace detail

} // namespace vorn
