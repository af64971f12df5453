// Reader of the brush archive: a 12-byte header, a table of keys with record positions, and per
// record a 44-byte header and a zlib stream checked by MD5. All integers are little-endian. Every
// count, size and offset of the file is checked before use; failures answer false, silently.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/soft/SoftMemory.h"

namespace vorn {

enum TOpenModes : std::uint8_t { opUpdate = 0, opOverwrite = 1, opReadOnly = 2 };

// A growable byte buffer with a position, written by TVornDb::ReadStream and read by the image
// loader. Reads deliver what is left; writes at the position overwrite and grow the buffer.
class TMemoryStream {
public:
    std::int64_t Size() const { return static_cast<std::int64_t>(m_data.size()); }
    std::int64_t Position() const { return m_position; }
    // Positions outside 0..Size are refused.
    bool Seek(std::int64_t position);
    // Bytes left after the position.
    std::int64_t Remaining() const { return Size() - m_position; }
    // Copies up to size bytes to dest and advances; answers the count copied.
    std::size_t Read(void* dest, std::size_t size);
    // Writes size bytes at the position and advances; answers the count taken (0 when the buffer
    // cannot grow).
    std::size_t Write(const void* source, std::size_t size);
    const std::vector<std::uint8_t>& Data() const { return m_data; }
    void Clear();

private:
    std::vector<std::uint8_t> m_data;
    std::int64_t m_position = 0;
};

// One table entry with its record header, in table order.
struct TRecordInfo {
    std::string Key;
    std::int32_t Offset = 0;
    std::int32_t RecordType = 0; // the 16-bit type, zero-extended; 1 = image record
    std::int32_t UnpackedSize = 0;
    std::int32_t StoredSize = 0;
    double Timestamp = 0.0;
    std::array<std::uint8_t, 16> Checksum{};
    std::uint8_t Secure = 0; // low byte of the stored flag
    std::array<std::uint8_t, 8> Vector{};
};

struct TVornDbHeader {
    std::array<std::uint8_t, 4> Signature{};
    std::int32_t RecordCount = 0;
    std::int32_t TableOffset = 0;
};

class TVornDb {
public:
    static constexpr std::int32_t kHeaderSize = 12;
    static constexpr std::int32_t kRecordHeaderSize = 44;
    // Tables longer than this are refused (the archive holds a handful of records).
    static constexpr std::int32_t kMaxRecordCount = 65536;
    // Records that would inflate to more than this are refused.
    static constexpr std::int32_t kMaxUnpackedSize = 64 * 1024 * 1024;
    // Stored data longer than this cannot hold a stream of kMaxUnpackedSize bytes.
    static constexpr std::int32_t kMaxStoredSize = 2 * kMaxUnpackedSize;

    TVornDb() = default;
    TVornDb(const TVornDb&) = delete;
    TVornDb& operator=(const TVornDb&) = delete;

    const std::string& FileName() const { return m_fileName; }
    // Also clears Opened, so the next EnsureOpen reads the file again.
    void SetFileName(const std::string& value);
    // Reads the archive from bytes in memory instead of a file, until FileName is set again;
    // the caller keeps the bytes alive while the reader uses them. Memory is never written:
    // Open in opOverwrite fails, the other modes read the bytes. Also clears Opened.
    void SetMemory(std::span<const std::uint8_t> bytes);
    TOpenModes OpenMode() const { return m_openMode; }
    // Takes effect at the next Open.
    void SetOpenMode(TOpenModes value) { m_openMode = value; }
    bool Opened() const { return m_opened; }

    // opUpdate: read the file, or create an empty archive when there is none; opOverwrite:
    // always create an empty archive; opReadOnly: read the file. Opened takes the result.
    bool Open();
    bool EnsureOpen() { return m_opened || Open(); }

    std::int32_t RecordCount() const { return static_cast<std::int32_t>(m_records.size()); }
    // 0 for an index out of range.
    std::int32_t RecordType(std::int32_t index) const;
    // "[invalid-record-#]" for an index out of range.
    std::string RecordKey(std::int32_t index) const;
    // nullptr for an index out of range.
    const TRecordInfo* Record(std::int32_t index) const;
    // First entry whose key equals key with A-Z folded to a-z (other bytes compare exactly); -1.
    std::int32_t IndexOf(const std::string& key) const;
    const TVornDbHeader& Header() const { return m_header; }

    // A record's plain bytes with the checksum they must have, taken from a TRecordReader.
    class TPendingCheck {
    public:
        // What TRecordReader::Finish answers: the stream inflated whole to the record's size
        // and the MD5 of its bytes is the record's checksum.
        bool Check() const;

    private:
        friend class TVornDb;
        sd::ZeroedMemory m_plain;
        bool m_inflated = false; // false when the stream failed
        std::size_t m_size = 0;
        std::array<std::uint8_t, 16> m_checksum{};
    };

    // One record read as it inflates, in pieces straight into the caller's memory. The bytes
    // are known good only once Finish has seen the stream end and the MD5 match.
    class TRecordReader {
    public:
        TRecordReader();
        ~TRecordReader();
        TRecordReader(const TRecordReader&) = delete;
        TRecordReader& operator=(const TRecordReader&) = delete;

        // Plain bytes not read yet.
        std::int64_t Remaining() const;
        // Exactly size bytes into dest; false (and from then on) when the stream cannot give them.
        bool Read(void* dest, std::size_t size);
        // Inflates what was not read, then true when the stream ends at the record's size and
        // the checksum matches; closes the reader.
        bool Finish();
        // Finish in two halves: inflates what was not read and closes the reader, handing the
        // record's bytes over to be checked later, on any one thread.
        TPendingCheck Detach();

    private:
        friend class TVornDb;
        struct TState;
        std::unique_ptr<TState> m_state;
    };

    // Re-reads the table from the file and opens the record key for reading; false when it is
    // missing or its sizes cannot be (more bytes than its stored bytes can inflate to included).
    bool OpenRecord(const std::string& key, TRecordReader& reader);
    // Re-reads the table from the file, then inflates and verifies the record key. On true data
    // holds exactly UnpackedSize bytes; on false it is empty.
    bool ReadRecord(const std::string& key, std::vector<std::uint8_t>& data);
    // ReadRecord of the entry at index of the re-read table rather than the first entry with its
    // key, so entries that share a key each give their own data.
    bool ReadRecordAt(std::int32_t index, std::vector<std::uint8_t>& data);
    // ReadRecord, then writes the data at the stream's position; true when every byte went in.
    bool ReadStream(const std::string& key, TMemoryStream& stream);

private:
    class TFile;
    bool CreateEmpty();
    // Reads header, table and record headers from file, or from a file of its own when null.
    bool ReadRecordTable(TFile* file);
    // Opens the entry at index of the table just read from file for reading.
    bool OpenEntry(TFile& file, std::int32_t index, TRecordReader& reader);

    std::string m_fileName;
    std::span<const std::uint8_t> m_memory;
    bool m_fromMemory = false;
    TOpenModes m_openMode = opUpdate;
    bool m_opened = false;
    TVornDbHeader m_header;
    std::vector<TRecordInfo> m_records;
};

namespace detail {
// Inflates one zlib stream that must come to its end within stored and give exactly
// unpackedSize (1..TVornDb::kMaxUnpackedSize) bytes. A size more than the stored bytes can
// inflate to is refused before anything is allocated.
bool InflateExact(const std::uint8_t* stored, std::size_t storedSize, std::int32_t unpackedSize,
                  std::vector<std::uint8_t>& out);
} // namespace detail

} // namespace vorn
