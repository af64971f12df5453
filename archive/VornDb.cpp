#include "archive/VornDb.h"

#include "archive/RecordInflate.h"
#include "archive/VornMd5.h"
#include "io/ByteOrder.h"

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
        if (end < 0 || std::fseek(m_file.get(), 0, SEEK_SET) != 0) return;
        m_size = end;
        // A small archive is read whole at once: one read instead of a seek and a read per
        // table entry and record header. Bytes the file no longer holds are past its end.
        if (end <= kWholeFile) {
            try {
                m_owned = std::unique_ptr<std::uint8_t[]>(new std::uint8_t[static_cast<std::size_t>(end)]);
            } catch (const std::bad_alloc&) {
                return; // read piece by piece instead
            }
            m_size = static_cast<std::int64_t>(
                std::fread(m_owned.get(), 1, static_cast<std::size_t>(end), m_file.get()));
            m_bytes = std::span<const std::uint8_t>(m_owned.get(), static_cast<std::size_t>(m_size));
            m_file.reset();
        }
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
    static constexpr long kWholeFile = 1 << 20;
    std::unique_ptr<std::FILE, TCloser> m_file; // null when reading memory
    std::unique_ptr<std::uint8_t[]> m_owned;    // a small file read whole
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

namespace detail {

namespace {

// A deflate stream gives at most this many bytes per stored byte (zlib's documented bound), so
// a record claiming more than its stored bytes can give is refused before anything is allocated.
constexpr std::size_t MaxDeflateRatio = 1032;

bool Backed(std::size_t storedSize, std::int64_t unpackedSize) {
    return unpackedSize >= 1 && unpackedSize <= TVornDb::kMaxUnpackedSize &&
           storedSize <= std::numeric_limits<std::uint32_t>::max() &&
           static_cast<std::uint64_t>(unpackedSize) <= storedSize * MaxDeflateRatio + 64 * 1024;
}

} // namespace

bool InflateExact(const std::uint8_t* stored, std::size_t storedSize, std::int32_t unpackedSize,
                  std::vector<std::uint8_t>& out) {
    out.clear();
    if (!Backed(storedSize, unpackedSize)) return false;
    try {
        out.resize(static_cast<std::size_t>(unpackedSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (InflateInto(stored, storedSize, out.data(), out.size())) return true;
    out.clear();
    return false;
}

} // namespace detail

// The stored bytes until the first read inflates them whole into plain (a large record in
// fresh huge pages: the background image would otherwise fault in page by page).
struct TVornDb::TRecordReader::TState {
    std::vector<std::uint8_t> stored;
    sd::ZeroedMemory plain;
    std::size_t size = 0;     // UnpackedSize
    std::size_t position = 0; // plain bytes handed out
    TMd5Digest checksum{};
    bool inflated = false;
    bool failed = false;

    bool Inflate() {
        if (inflated || failed) return !failed;
        try {
            plain = sd::ZeroedMemory(size);
        } catch (const std::bad_alloc&) {
            failed = true;
            return false;
        }
        failed = !detail::InflateInto(stored.data(), stored.size(), plain.data(), size);
        inflated = true;
        stored = {}; // not needed again
        return !failed;
    }
};

TVornDb::TRecordReader::TRecordReader() = default;
TVornDb::TRecordReader::~TRecordReader() = default;

std::int64_t TVornDb::TRecordReader::Remaining() const {
    return m_state ? static_cast<std::int64_t>(m_state->size - m_state->position) : 0;
}

bool TVornDb::TRecordReader::Read(void* dest, std::size_t size) {
    TState* s = m_state.get();
    if (!s || s->failed || size > s->size - s->position) return false;
    if (!s->Inflate()) return false;
    if (size > 0) std::memcpy(dest, s->plain.data() + s->position, size);
    s->position += size;
    return true;
}

bool TVornDb::TRecordReader::Finish() {
    return Detach().Check();
}

TVornDb::TPendingCheck TVornDb::TRecordReader::Detach() {
    TPendingCheck check;
    TState* s = m_state.get();
    if (s && s->Inflate()) {
        check.m_plain = std::move(s->plain);
        check.m_inflated = true;
        check.m_size = s->size;
        check.m_checksum = s->checksum;
    }
    m_state.reset();
    return check;
}

bool TVornDb::TPendingCheck::Check() const {
    // Bytes nobody read count as well: the checksum covers the whole record.
    return m_inflated && Md5Of(m_plain.data(), m_size) == m_checksum;
}

bool TVornDb::OpenRecord(const std::string& key, TRecordReader& reader) {
    reader.m_state.reset();
    const std::unique_ptr<TFile> source = TFile::OpenSource(*this);
    TFile& file = *source;
    if (!file.IsOpen() || !ReadRecordTable(&file)) return false;
    return OpenEntry(file, IndexOf(key), reader);
}

bool TVornDb::OpenEntry(TFile& file, std::int32_t index, TRecordReader& reader) {
    if (index < 0 || index >= RecordCount()) return false;
    const TRecordInfo& record = m_records[static_cast<std::size_t>(index)];
    // Sizes the record cannot have are refused before anything is allocated.
    if (record.StoredSize < 0 || record.StoredSize > kMaxStoredSize || record.Offset < 0 ||
        !detail::Backed(static_cast<std::size_t>(record.StoredSize), record.UnpackedSize))
        return false;
    const std::int64_t dataStart = std::int64_t(record.Offset) + kRecordHeaderSize;
    if (dataStart + record.StoredSize > file.Size()) return false;
    auto state = std::make_unique<TRecordReader::TState>();
    try {
        state->stored.resize(static_cast<std::size_t>(record.StoredSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!file.Seek(dataStart) || !file.ReadExact(state->stored.data(), state->stored.size())) return false;
    state->checksum = record.Checksum;
    state->size = static_cast<std::size_t>(record.UnpackedSize);
    reader.m_state = std::move(state);
    return true;
}

namespace {

// The whole record that reader has open into data, verified; data is empty on failure.
bool ReadWhole(TVornDb::TRecordReader& reader, std::vector<std::uint8_t>& data) {
    try {
        data.resize(static_cast<std::size_t>(reader.Remaining()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (reader.Read(data.data(), data.size()) && reader.Finish()) return true;
    data.clear();
    return false;
}

} // namespace

bool TVornDb::ReadRecord(const std::string& key, std::vector<std::uint8_t>& data) {
    data.clear();
    TRecordReader reader;
    return OpenRecord(key, reader) && ReadWhole(reader, data);
}

bool TVornDb::ReadRecordAt(std::int32_t index, std::vector<std::uint8_t>& data) {
    data.clear();
    TRecordReader reader;
    const std::unique_ptr<TFile> source = TFile::OpenSource(*this);
    return source->IsOpen() && ReadRecordTable(source.get()) && OpenEntry(*source, index, reader) &&
           ReadWhole(reader, data);
}

bool TVornDb::ReadStream(const std::string& key, TMemoryStream& stream) {
    std::vector<std::uint8_t> data;
    if (!ReadRecord(key, data)) return false;
    return stream.Write(data.data(), data.size()) == data.size();
}

} // namespace vorn
