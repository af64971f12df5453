#include "archive/BrushFolder.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "archive/VornDb.h"
#include "archive/VornDbWriter.h"
#include "archive/VornMd5.h"
#include "io/ByteOrder.h"
#include "io/FileBytes.h"
#include "io/SafeFile.h"
#include "pixel/VornTexels.h"

namespace vorn {

namespace {

namespace fs = std::filesystem;

struct TNamed {
    const char* file; // without ".png"
    const char* key;  // the shipped archive's key
};
constexpr std::array<TNamed, NamedBrushImages> Named = {{{"unused", "logo"},
                                                         {"background", "circle"},
                                                         {"hard-16", "brush16hard"},
                                                         {"soft-16", "brush16soft"},
                                                         {"hard-32", "brush32hard"},
                                                         {"soft-32", "brush32soft"},
                                                         {"hard-64", "brush64hard"},
                                                         {"soft-64", "brush64soft"},
                                                         {"hard-128", "brush128hard"},
                                                         {"soft-128", "brush128soft"}}};
constexpr std::string_view ExtraPrefix = "extra-";
constexpr std::string_view PngSuffix = ".png";
constexpr double PackTimestamp = 45292.0; // a fixed record date: the same folder packs to the same bytes
constexpr std::size_t ImageHeaderSize = 33;

struct TImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra; // rows top first
};

// Any PNG (every colour type, with or without alpha) as 8-bit BGRA, straight alpha.
std::optional<TImage> DecodePng(std::span<const std::uint8_t> bytes, std::string& why) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        why = std::string("not a readable PNG image (") + png.message + ")";
        return std::nullopt;
    }
    if (png.width < 1 || png.height < 1 || png.width > MaxBrushImageSide || png.height > MaxBrushImageSide) {
        why = std::to_string(png.width) + " x " + std::to_string(png.height) +
              " pixels; a side may be 1 to " + std::to_string(MaxBrushImageSide);
        png_image_free(&png);
        return std::nullopt;
    }
    png.format = PNG_FORMAT_BGRA;
    TImage image{int(png.width), int(png.height), std::vector<std::uint8_t>(PNG_IMAGE_SIZE(png))};
    if (!png_image_finish_read(&png, nullptr, image.bgra.data(), 0, nullptr)) {
        why = std::string("not a readable PNG image (") + png.message + ")";
        png_image_free(&png);
        return std::nullopt;
    }
    return image;
}

std::optional<std::vector<std::uint8_t>> EncodePng(const TImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.bgra.data(), 0, nullptr))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, image.bgra.data(), 0, nullptr))
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> ImageRecord(const TImage& image) {
    TImageRecordHeader header;
    header.Format = std::uint8_t(tfA8R8G8B8);
    header.PatternWidth = header.VisibleWidth = header.TextureWidth = image.width;
    header.PatternHeight = header.VisibleHeight = header.TextureHeight = image.height;
    header.PatternCount = 1;
    header.TextureCount = 1;
    return BuildImageRecord(header, image.bgra);
}

// Texture 0 of an image record as BGRA; none when the record is not one the reader could load.
std::optional<TImage> RecordImage(const std::vector<std::uint8_t>& record) {
    if (record.size() < ImageHeaderSize || record[0] >= tfUnknown) return std::nullopt;
    const auto format = static_cast<TTexelFormat>(record[0]);
    TImage image{detail::ReadInt32(&record[21]), detail::ReadInt32(&record[25]), {}};
    const std::int32_t texel = BytesPerTexel(format);
    if (image.width < 1 || image.height < 1 || image.width > 8192 || image.height > 8192 || texel <= 0 ||
        detail::ReadInt32(&record[29]) < 1)
        return std::nullopt;
    const std::size_t rowBytes = std::size_t(image.width) * std::size_t(texel);
    if (record.size() - ImageHeaderSize < rowBytes * std::size_t(image.height)) return std::nullopt;
    image.bgra.resize(std::size_t(image.width) * std::size_t(image.height) * 4);
    for (int y = 0; y < image.height; ++y)
        RowToArgb(
            &record[ImageHeaderSize + rowBytes * std::size_t(y)],
            reinterpret_cast<std::uint32_t*>(&image.bgra[std::size_t(y) * std::size_t(image.width) * 4]),
            image.width, format);
    return image;
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// An extra's key: the name after "extra-" without a leading "NN-".
std::string ExtraKey(std::string_view name) {
    std::string_view key =
        name.substr(ExtraPrefix.size(), name.size() - ExtraPrefix.size() - PngSuffix.size());
    const std::size_t digits =
        std::size_t(std::find_if(key.begin(), key.end(),
                                 [](char c) { return !std::isdigit(static_cast<unsigned char>(c)); }) -
                    key.begin());
    if (digits > 0 && digits + 1 < key.size() && key[digits] == '-') key.remove_prefix(digits + 1);
    return std::string(key);
}

std::string ErrnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

} // namespace

std::uint32_t BrushSetHash(TVornDb& db) {
    if (!db.EnsureOpen()) return 0;
    TMd5 md5;
    for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
        const TRecordInfo* record = db.Record(i);
        if (record && record->RecordType == TVornDbWriter::kImageRecord)
            md5.Update(record->Checksum.data(), record->Checksum.size());
    }
    const TMd5Digest digest = md5.Final();
    return std::uint32_t(digest[0]) << 24 | std::uint32_t(digest[1]) << 16 | std::uint32_t(digest[2]) << 8 |
           digest[3];
}

std::uint32_t BrushSetHashOfFile(const std::string& path) {
    TVornDb db;
    db.SetFileName(path);
    db.SetOpenMode(opReadOnly);
    return BrushSetHash(db);
}

std::string BrushFileName(int position, const std::string& key) {
    if (position >= 0 && position < NamedBrushImages)
        return std::string(Named[std::size_t(position)].file) + ".png";
    char number[16];
    std::snprintf(number, sizeof number, "%02d-", position);
    return std::string(ExtraPrefix) + number + key + ".png";
}

TBrushResult PackBrushFiles(std::span<const TBrushFile> files, std::vector<std::uint8_t>& archive) {
    TBrushResult result;
    std::array<const TBrushFile*, NamedBrushImages> named{};
    std::vector<const TBrushFile*> extras;
    for (const TBrushFile& file : files) {
        if (!EndsWith(file.name, PngSuffix)) continue;
        const std::string stem = file.name.substr(0, file.name.size() - PngSuffix.size());
        const auto at =
            std::find_if(Named.begin(), Named.end(), [&](const TNamed& n) { return stem == n.file; });
        if (at != Named.end()) {
            named[std::size_t(at - Named.begin())] = &file;
        } else if (stem.starts_with(ExtraPrefix) && !ExtraKey(file.name).empty()) {
            extras.push_back(&file);
        } else {
            result.faults.push_back(file.name + ": not a brush image name (background, hard-16 ... soft-128, "
                                                "unused, extra-NAME)");
        }
    }
    std::sort(extras.begin(), extras.end(), [](const auto* a, const auto* b) { return a->name < b->name; });

    TVornDbWriter writer;
    const auto add = [&](const TBrushFile& file, const std::string& key) {
        std::string why;
        const std::optional<TImage> image = DecodePng(file.bytes, why);
        if (!image) {
            result.faults.push_back(file.name + ": " + why);
            return;
        }
        writer.AddRecord(key, TVornDbWriter::kImageRecord, ImageRecord(*image), PackTimestamp);
    };
    for (std::size_t i = 0; i < Named.size(); ++i) {
        if (named[i]) {
            add(*named[i], Named[i].key);
        } else if (i == 0) {
            writer.AddRecord(Named[0].key, TVornDbWriter::kImageRecord, ImageRecord({1, 1, {0, 0, 0, 0}}),
                             PackTimestamp);
        } else {
            result.faults.push_back(std::string(Named[i].file) + ".png: missing");
        }
    }
    for (const TBrushFile* extra : extras) add(*extra, ExtraKey(extra->name));
    if (result.ok()) archive = writer.Build();
    return result;
}

TBrushResult UnpackBrushFiles(const std::string& archivePath, std::vector<TBrushFile>& files) {
    TBrushResult result;
    TVornDb db;
    db.SetFileName(archivePath);
    db.SetOpenMode(opReadOnly);
    if (!db.Open()) {
        result.faults.push_back(archivePath + ": not a brush archive, or it cannot be read");
        return result;
    }
    std::vector<TBrushFile> made;
    int position = 0;
    for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
        if (db.RecordType(i) != TVornDbWriter::kImageRecord) continue;
        const std::string key = db.RecordKey(i);
        const std::string name = BrushFileName(position++, key);
        std::vector<std::uint8_t> record;
        std::optional<TImage> image;
        if (db.ReadRecord(key, record)) image = RecordImage(record);
        std::optional<std::vector<std::uint8_t>> png;
        if (image) png = EncodePng(*image);
        if (!png) {
            result.faults.push_back(archivePath + ": image record '" + key + "' cannot be read (for " + name +
                                    ")");
            continue;
        }
        made.push_back({name, std::move(*png)});
    }
    if (result.ok()) files = std::move(made);
    return result;
}

TBrushResult PackBrushFolder(const std::string& folder, const std::string& archivePath, bool replace) {
    TBrushResult result;
    std::vector<TBrushFile> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!EndsWith(name, PngSuffix)) continue;
        TBrushFile file{name, {}};
        // No brush image comes near 64 MiB; a larger file is not read whole.
        if (const int error = ReadFileBytes(entry.path().string(), std::size_t(64) << 20, file.bytes);
            error != 0)
            result.faults.push_back(
                name + ": cannot be read: " + (error == EFBIG ? "larger than 64 MiB" : ErrnoText(error)));
        else
            files.push_back(std::move(file));
    }
    if (error) {
        result.faults.push_back(folder + ": " + error.message());
        return result;
    }
    std::vector<std::uint8_t> archive;
    TBrushResult packed = PackBrushFiles(files, archive);
    result.faults.insert(result.faults.end(), packed.faults.begin(), packed.faults.end());
    if (!replace && fs::exists(fs::symlink_status(archivePath, error)))
        result.faults.push_back(archivePath + ": exists; --force replaces it");
    if (!result.ok()) return result;
    std::string reason;
    if (!SaveFileSafely(archivePath, archive, &reason, SystemFileWriter(), replace ? smReplace : smNoReplace))
        result.faults.push_back(archivePath + ": " + reason);
    return result;
}

TBrushResult UnpackBrushArchive(const std::string& archivePath, const std::string& folder, bool replace) {
    std::vector<TBrushFile> files;
    TBrushResult result = UnpackBrushFiles(archivePath, files);
    if (!result.ok()) return result;
    std::error_code error;
    if (!replace) {
        for (const TBrushFile& file : files)
            if (fs::exists(fs::symlink_status(folder + "/" + file.name, error)))
                result.faults.push_back(folder + "/" + file.name + ": exists; --force replaces it");
        if (!result.ok()) return result;
    }
    fs::create_directories(folder, error);
    for (const TBrushFile& file : files) {
        std::string reason;
        if (!SaveFileSafely(folder + "/" + file.name, file.bytes, &reason, SystemFileWriter(),
                            replace ? smReplace : smNoReplace)) {
            result.faults.push_back(folder + "/" + file.name + ": " + reason);
            return result;
        }
    }
    return result;
}

} // namespace vorn
