#include "export/EmbeddedRecipe.h"

#include <algorithm>
#include <array>
#include <cerrno>
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

// What a scan of a file's first bytes found: the code, or whether more bytes could hold it.
struct TScan {
    std::optional<std::string> code;
    bool wantsMore = false; // the bytes end before the image data: the recipe may come later
};

TScan ScanPng(std::span<const std::uint8_t> file) {
    std::size_t at = PngSignature.size();
    while (true) {
        if (file.size() - at < 12) return {std::nullopt, true};
        const std::uint32_t length = BigEndian32(&file[at]);
        if (length > file.size() - at - 12) return {std::nullopt, true};
        const std::uint8_t* type = &file[at + 4];
        const std::uint8_t* data = type + 4;
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return {};
        const std::string_view text(reinterpret_cast<const char*>(data), length);
        if (std::memcmp(type, "tEXt", 4) == 0 && text.size() > RecipeKey.size() &&
            text.starts_with(RecipeKey) && text[RecipeKey.size()] == '\0')
            return {std::string(text.substr(RecipeKey.size() + 1))};
        at += 12 + std::size_t(length);
    }
}

std::string JpegComment(std::string_view code) {
    return std::string(RecipeKey) + ": " + std::string(code);
}

TScan ScanJpeg(std::span<const std::uint8_t> file) {
    const std::string prefix = JpegComment("");
    std::size_t at = 2;
    while (true) {
        if (file.size() - at < 4) return {std::nullopt, true};
        if (file[at] != 0xFF) return {};
        const std::uint8_t marker = file[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return {}; // the image data, or its end
        const std::size_t length = std::size_t(file[at + 2]) << 8 | file[at + 3];
        if (length < 2) return {};
        if (length > file.size() - at - 2) return {std::nullopt, true};
        const std::string_view data(reinterpret_cast<const char*>(&file[at + 4]), length - 2);
        if (marker == 0xFE && data.size() > prefix.size() && data.starts_with(prefix))
            return {std::string(data.substr(prefix.size()))};
        at += 2 + length;
    }
}

// A PNG or JPEG file's first bytes scanned; too few bytes to tell the format want more.
TScan Scan(std::span<const std::uint8_t> file) {
    if (IsPng(file)) return ScanPng(file);
    if (IsJpeg(file)) return ScanJpeg(file);
    const bool prefix =
        file.size() < PngSignature.size() && std::equal(file.begin(), file.end(), PngSignature.begin());
    return {std::nullopt, prefix || (file.size() < 2 && (file.empty() || file[0] == 0xFF))};
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
    return Scan(file).code;
}

TFileRecipe ReadRecipeOfFile(const std::string& fileName) {
    TFileRecipe result;
    std::vector<std::uint8_t> head;
    result.error = ReadFileHead(
        fileName, MaxRecipeHead, [](std::span<const std::uint8_t> bytes) { return Scan(bytes).wantsMore; },
        head);
    if (result.error == 0) {
        result.code = Scan(head).code;
        if (!result.code) result.reason = fileName + " holds no recipe";
    } else if (result.error == ENOENT) {
        result.reason = fileName + ": no such file";
    } else if (result.error == EISDIR) {
        result.reason = fileName + " is a folder, not an image file";
    } else if (result.error == EINVAL) {
        result.reason = fileName + " is not a regular file (a pipe, a socket or a device)";
    } else {
        result.reason = "cannot read " + fileName + ": " + std::strerror(result.error);
    }
    return result;
}

} // namespace vorn
