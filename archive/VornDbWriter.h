// Writer of brush archives in the layout TVornDb reads: header, then the records (44-byte header
// and zlib data each) in the order added, then the key table. Records normally carry deflated
// data with the MD5 of the plain bytes; a raw record sets every header field as given.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

// Every field of one record as it goes into the file, unchecked.
struct TRawRecord {
    std::string Key;
    std::optional<std::int32_t> KeyLength; // written length field; none = the key's own length
    std::uint16_t RecordType = 0;
    std::int32_t UnpackedSize = 0;
    std::optional<std::int32_t> StoredSize; // written size field; none = the size of Stored
    double Timestamp = 0.0;
    std::array<std::uint8_t, 16> Checksum{};
    std::uint16_t Secure = 0;
    std::array<std::uint8_t, 8> Vector{};
    std::vector<std::uint8_t> Stored;
};

class TVornDbWriter {
public:
    static constexpr std::uint16_t kImageRecord = 1;

    // Deflates plain (zlib, best compression) and records its size and MD5.
    void AddRecord(const std::string& key, std::uint16_t recordType, const std::vector<std::uint8_t>& plain,
                   double timestamp = 0.0);
    void AddRawRecord(TRawRecord record);
    // The record as AddRecord would write it, for callers that alter a field first.
    static TRawRecord MakeRecord(const std::string& key, std::uint16_t recordType,
                                 const std::vector<std::uint8_t>& plain, double timestamp = 0.0);

    std::size_t RecordCount() const { return m_records.size(); }
    // The whole file.
    std::vector<std::uint8_t> Build() const;
    // Writes Build() to path with SaveFileSafely: whole or not at all.
    bool SaveToFile(const std::string& path) const;

private:
    std::vector<TRawRecord> m_records;
};

// The 33-byte header of an image record; the texels follow it.
struct TImageRecordHeader {
    std::uint8_t Format = 5; // TTexelFormat of the texels, tfA8R8G8B8 by default
    std::int32_t PatternWidth = 0;
    std::int32_t PatternHeight = 0;
    std::int32_t VisibleWidth = 0;
    std::int32_t VisibleHeight = 0;
    std::int32_t PatternCount = 0;
    std::int32_t TextureWidth = 0;
    std::int32_t TextureHeight = 0;
    std::int32_t TextureCount = 0;
};

// Image record data: the header, then texels as given (rows top first, no padding).
std::vector<std::uint8_t> BuildImageRecord(const TImageRecordHeader& header,
                                           const std::vector<std::uint8_t>& texels);

// zlib stream of data at the best compression level.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data);

} // namespace vorn
