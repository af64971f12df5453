#include "archive/VornDbWriter.h"

#include <zlib.h>

#include <cstring>
#include <memory>

#include "archive/VornMd5.h"
#include "io/SafeFile.h"

namespace vorn {

namespace {

void PutInt32(std::vector<std::uint8_t>& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

void PutUInt16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutDouble(std::vector<std::uint8_t>& out, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

template <std::size_t N>
void PutBytes(std::vector<std::uint8_t>& out, const std::array<std::uint8_t, N>& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

} // namespace

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<std::uint8_t> out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) !=
        Z_OK)
        return {};
    out.resize(size);
    return out;
}

std::vector<std::uint8_t> BuildImageRecord(const TImageRecordHeader& header,
                                           const std::vector<std::uint8_t>& texels) {
    std::vector<std::uint8_t> out;
    out.reserve(33 + texels.size());
    out.push_back(header.Format);
    for (std::int32_t value :
         {header.PatternWidth, header.PatternHeight, header.VisibleWidth, header.VisibleHeight,
          header.PatternCount, header.TextureWidth, header.TextureHeight, header.TextureCount})
        PutInt32(out, value);
    out.insert(out.end(), texels.begin(), texels.end());
    return out;
}

TRawRecord TVornDbWriter::MakeRecord(const std::string& key, std::uint16_t recordType,
                                     const std::vector<std::uint8_t>& plain, double timestamp) {
    TRawRecord record;
    record.Key = key;
    record.RecordType = recordType;
    record.UnpackedSize = static_cast<std::int32_t>(plain.size());
    record.Timestamp = timestamp;
    record.Checksum = Md5Of(plain.data(), plain.size());
    record.Stored = Deflate(plain);
    return record;
}

void TVornDbWriter::AddRecord(const std::string& key, std::uint16_t recordType,
                              const std::vector<std::uint8_t>& plain, double timestamp) {
    m_records.push_back(MakeRecord(key, recordType, plain, timestamp));
}

void TVornDbWriter::AddRawRecord(TRawRecord record) {
    m_records.push_back(std::move(record));
}

std::vector<std::uint8_t> TVornDbWriter::Build() const {
    std::vector<std::uint8_t> out = {'V', 'N', 'D', 'b'};
    PutInt32(out, static_cast<std::int32_t>(m_records.size()));
    PutInt32(out, 0); // table offset, filled in below
    std::vector<std::int32_t> offsets;
    for (const TRawRecord& record : m_records) {
        offsets.push_back(static_cast<std::int32_t>(out.size()));
        PutUInt16(out, record.RecordType);
        PutInt32(out, record.UnpackedSize);
        PutInt32(out, record.StoredSize.value_or(static_cast<std::int32_t>(record.Stored.size())));
        PutDouble(out, record.Timestamp);
        PutBytes(out, record.Checksum);
        PutUInt16(out, record.Secure);
        PutBytes(out, record.Vector);
        out.insert(out.end(), record.Stored.begin(), record.Stored.end());
    }
    const auto tableOffset = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[8 + i] = static_cast<std::uint8_t>(tableOffset >> (8 * i));
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        const TRawRecord& record = m_records[i];
        PutInt32(out, record.KeyLength.value_or(static_cast<std::int32_t>(record.Key.size())));
        out.insert(out.end(), record.Key.begin(), record.Key.end());
        PutInt32(out, offsets[i]);
    }
    return out;
}

bool TVornDbWriter::SaveToFile(const std::string& path) const {
    const std::vector<std::uint8_t> bytes = Build();
    return SaveFileSafely(path, bytes);
}

} // namespace vorn
