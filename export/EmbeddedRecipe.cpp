#include "export/EmbeddedRecipe.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <zlib.h>

#include "io/FileBytes.h"

namespace vorn {

namespace {

constexpr std::array<std::uint8_t, 8> PngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t PngIhdrEnd = 8 + 4 + 4 + 13 + 4; // signature, then IHDR's length, type, data, CRC
constexpr std::size_t MaxSegment = 65535 - 2;          // a JPEG segment's data after its length

bool PrintableCode(std::string_view code) {
    return !code.empty() && std::all_of(code.begin(), code.end(), [](char c) { return c > ' ' && c <= '~'; });
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void PutBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}

bool IsPng(std::span<const std::uint8_t> file) {
    return file.size() >= PngSignature.size() &&
           std::equal(PngSignature.begin(), PngSignature.end(), file.begin());
}

bool IsJpeg(std::span<const std::uint8_t> file) {
    return file.size() >= 2 && file[0] == 0xFF && file[1] == 0xD8;
}

// The tEXt chunk: length, type, keyword, NUL, text, CRC of type and data.
std::vector<std::uint8_t> PngTextChunk(std::string_view code) {
    const std::string data = "tEXt" + std::string(RecipeKey) + '\0' + std::string(code);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    std::vector<std::uint8_t> chunk;
    chunk.reserve(data.size() + 8);
    PutBigEndian32(chunk, std::uint32_t(data.size() - 4));
    chunk.insert(chunk.end(), bytes, bytes + data.size());
    PutBigEndian32(chunk, std::uint32_t(crc32(0, bytes, uInt(data.size()))));
    return chunk;
}

std::optional<std::string> ReadPng(std::span<const std::uint8_t> file) {
    std::size_t at = PngSignature.size();
    while (file.size() - at >= 12) {
        const std::uint32_t length = BigEndian32(&file[at]);
        if (length > file.size() - at - 12) return std::nullopt;
        const std::uint8_t* type = &file[at + 4];
        const std::uint8_t* data = type + 4;
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return std::nullopt;
        const std::string_view text(reinterpret_cast<const char*>(data), length);
        if (std::memcmp(type, "tEXt", 4) == 0 && text.size() > RecipeKey.size() &&
            text.starts_with(RecipeKey) && text[RecipeKey.size()] == '\0')
            return std::string(text.substr(RecipeKey.size() + 1));
        at += 12 + std::size_t(length);
    }
    return std::nullopt;
}

std::string JpegComment(std::string_view code) {
    return std::string(RecipeKey) + ": " + std::string(code);
}

std::optional<std::string> ReadJpeg(std::span<const std::uint8_t> file) {
    const std::string prefix = JpegComment("");
    std::size_t at = 2;
    while (file.size() - at >= 4) {
        if (file[at] != 0xFF) return std::nullopt;
        const std::uint8_t marker = file[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return std::nullopt; // the image data, or its end
        const std::size_t length = std::size_t(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || length > file.size() - at - 2) return std::nullopt;
        const std::string_view data(reinterpret_cast<const char*>(&file[at + 4]), length - 2);
        if (marker == 0xFE && data.size() > prefix.size() && data.starts_with(prefix))
            return std::string(data.substr(prefix.size()));
        at += 2 + length;
    }
    return std::nullopt;
}

} // namespace

bool EmbedRecipe(TExportFormat format, std::vector<std::uint8_t>& file, std::string_view code) {
    if (!PrintableCode(code)) return false;
    if (format == TExportFormat::Png) {
        if (!IsPng(file) || file.size() < PngIhdrEnd || std::memcmp(&file[12], "IHDR", 4) != 0) return false;
        const std::vector<std::uint8_t> chunk = PngTextChunk(code);
        file.insert(file.begin() + std::ptrdiff_t(PngIhdrEnd), chunk.begin(), chunk.end());
        return true;
    }
    if (format == TExportFormat::Jpeg) {
        const std::string comment = JpegComment(code);
        if (!IsJpeg(file) || comment.size() > MaxSegment) return false;
        // After the JFIF header (APP0) when there is one, else right after the start marker.
        std::size_t at = 2;
        if (file.size() >= 6 && file[2] == 0xFF && file[3] == 0xE0) {
            const std::size_t length = std::size_t(file[4]) << 8 | file[5];
            if (length < 2 || length > file.size() - 4) return false;
            at = 4 + length;
        }
        const std::size_t length = comment.size() + 2;
        const std::string segment =
            std::string{'\xFF', '\xFE', char(length >> 8), char(length & 0xFF)} + comment;
        file.insert(file.begin() + std::ptrdiff_t(at), segment.begin(), segment.end());
        return true;
    }
    return false;
}

std::optional<std::string> ReadEmbeddedRecipe(std::span<const std::uint8_t> file) {
    if (IsPng(file)) return ReadPng(file);
    if (IsJpeg(file)) return ReadJpeg(file);
    return std::nullopt;
}

TFileRecipe ReadRecipeOfFile(const std::string& fileName) {
    // The recipe sits near the start; the whole file is read only to keep the parsers simple.
    constexpr std::size_t MaxFile = std::size_t(512) << 20;
    TFileRecipe result;
    std::vector<std::uint8_t> bytes;
    result.error = ReadFileBytes(fileName, MaxFile, bytes);
    if (result.error == 0) result.code = ReadEmbeddedRecipe(bytes);
    return result;
}

} // namespace vorn
