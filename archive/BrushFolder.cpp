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
#include <random>
#include <system_error>

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/VornDb.h"
#include "archive/VornDbWriter.h"
#include "archive/VornMd5.h"
#include "io/ByteOrder.h"
#include "io/FileBytes.h"
#include "io/PngChunks.h"
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
    if (!PngChunksFit(bytes)) {
        why = "not a readable PNG image (a chunk is longer than the file)";
        return std::nullopt;
    }
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

// Key bytes as they can be shown on one line: printable ASCII other than backslash as is,
// every other byte as \xHH; a long key is cut after 40 bytes.
std::string Printable(const std::string& key) {
    std::string out;
    for (std::size_t i = 0; i < key.size() && i < 40; ++i) {
        const auto c = static_cast<unsigned char>(key[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += char(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return key.size() > 40 ? out + "..." : out;
}

// Why an extra's key cannot be part of its file name, or empty when it can. Such a key is refused
// rather than changed: a file named otherwise would pack to another key.
std::string KeyFault(const std::string& key, const std::string& fileName) {
    if (key.empty()) return "it is empty";
    for (const char c : key) {
        if (c == '/') return "it holds '/'";
        if (c == '\\') return "it holds '\\'";
        if (c == '\0') return "it holds a NUL byte";
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "it holds a control character";
    }
    if (key[0] == '.') return "it starts with '.'";
    if (fileName.size() > NAME_MAX)
        return "its file name would be " + std::to_string(fileName.size()) + " bytes long; one may have " +
               std::to_string(NAME_MAX);
    return {};
}

// The folders that Make created, removed again (when still empty) unless Keep was called.
class TMadeFolders {
public:
    TMadeFolders() = default;
    TMadeFolders(const TMadeFolders&) = delete;
    TMadeFolders& operator=(const TMadeFolders&) = delete;
    ~TMadeFolders() {
        for (auto it = m_made.rbegin(); it != m_made.rend(); ++it) ::rmdir(it->c_str());
    }
    // Makes folder and its missing parents; 0 or errno.
    int Make(const fs::path& folder) {
        std::vector<fs::path> missing;
        std::error_code error;
        for (fs::path at = folder; !at.empty() && !fs::exists(at, error); at = at.parent_path()) {
            missing.push_back(at);
            if (at == at.parent_path()) break;
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            if (::mkdir(it->c_str(), 0777) != 0 && errno != EEXIST) return errno;
            m_made.push_back(*it);
        }
        return 0;
    }
    void Keep() { m_made.clear(); }

private:
    std::vector<fs::path> m_made;
};

// A new folder beside a target, named like a safe save's temporary file, removed with what it
// holds unless Release was called. Made with mkdir's own mode so that, renamed into the target's
// place, it has the permissions a folder made there would have.
class TStagingFolder {
public:
    TStagingFolder() = default;
    TStagingFolder(const TStagingFolder&) = delete;
    TStagingFolder& operator=(const TStagingFolder&) = delete;
    ~TStagingFolder() {
        if (m_path.empty()) return;
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    // 0 or errno.
    int Make(const std::string& target) {
        static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = SafeFileTemplate(target);
            for (std::size_t i = name.size() - 6; i < name.size(); ++i)
                name[i] = Letters[random() % (sizeof Letters - 1)];
            if (::mkdir(name.c_str(), 0777) == 0) {
                m_path = name;
                return 0;
            }
            if (errno != EEXIST) return errno;
        }
        return EEXIST;
    }
    const std::string& path() const { return m_path; }
    void Release() { m_path.clear(); }

private:
    std::string m_path;
};

// The staging folders an unpack into target that was killed left beside it (named as
// TStagingFolder names them), removed: what they hold is either not moved in yet or the files
// it replaced.
void RemoveStaleStaging(const std::string& target) {
    const std::string pattern = fs::path(SafeFileTemplate(target)).filename().string();
    const std::string_view head = std::string_view(pattern).substr(0, pattern.size() - 6);
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(target).parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != pattern.size() || !name.starts_with(head)) continue;
        if (fs::symlink_status(entry.path(), error).type() == fs::file_type::directory)
            fs::remove_all(entry.path(), error);
    }
}

// Moves every file from staging into target: a new name by a rename that refuses to replace, a
// replaced file by swapping the two (the old one goes into staging, removed with it). On a fault
// every move made is undone and the fault comes back as "NAME: reason"; empty when all moved.
std::string MoveInto(const std::string& staging, const std::string& target,
                     const std::vector<TBrushFile>& files, bool replace, TFileWriter& writer) {
    enum TUndo { unRenameBack, unSwapBack, unNone };
    struct TMove {
        std::string from, to;
        TUndo undo;
    };
    std::vector<TMove> moved;
    std::string fault;
    std::error_code error;
    for (const TBrushFile& file : files) {
        TMove move{staging + "/" + file.name, target + "/" + file.name, unRenameBack};
        int placed = -1;
        if (replace && fs::exists(fs::symlink_status(move.to, error))) {
            move.undo = unSwapBack;
            placed = ::renameat2(AT_FDCWD, move.from.c_str(), AT_FDCWD, move.to.c_str(), RENAME_EXCHANGE);
            // A file system that cannot swap names replaces the file, which cannot be undone.
            if (placed != 0 && (errno == EINVAL || errno == ENOSYS)) {
                move.undo = unNone;
                placed = writer.Rename(move.from.c_str(), move.to.c_str());
            }
        } else {
            placed = writer.RenameNoReplace(move.from.c_str(), move.to.c_str());
        }
        if (placed != 0) {
            fault =
                file.name + ": " + (errno == EEXIST ? "made by another program meanwhile" : ErrnoText(errno));
            break;
        }
        moved.push_back(std::move(move));
    }
    if (fault.empty()) return fault;
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
        if (it->undo == unSwapBack)
            ::renameat2(AT_FDCWD, it->from.c_str(), AT_FDCWD, it->to.c_str(), RENAME_EXCHANGE);
        else if (it->undo == unRenameBack)
            ::rename(it->to.c_str(), it->from.c_str());
    }
    return fault;
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
    // Every read re-reads the table, so the entries are taken first.
    std::vector<TRecordInfo> records;
    for (std::int32_t i = 0; i < db.RecordCount(); ++i) records.push_back(*db.Record(i));
    std::vector<TBrushFile> made;
    int position = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].RecordType != TVornDbWriter::kImageRecord) continue;
        const std::string& key = records[i].Key;
        const int at = position++;
        const std::string name = BrushFileName(at, key);
        const std::string where = archivePath + ": record " + std::to_string(i) + " (image " +
                                  std::to_string(at) + ", key '" + Printable(key) + "')";
        if (at >= NamedBrushImages) {
            if (const std::string why = KeyFault(key, name); !why.empty()) {
                result.faults.push_back(where + " cannot name a file: " + why);
                continue;
            }
        }
        std::vector<std::uint8_t> record;
        std::optional<TImage> image;
        if (db.ReadRecordAt(std::int32_t(i), record)) image = RecordImage(record);
        std::optional<std::vector<std::uint8_t>> png;
        if (image) png = EncodePng(*image);
        if (!png) {
            result.faults.push_back(where + " cannot be read as an image (for " + name + ")");
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

TBrushResult UnpackBrushArchive(const std::string& archivePath, const std::string& folder, bool replace,
                                TFileWriter& writer) {
    std::vector<TBrushFile> files;
    TBrushResult result = UnpackBrushFiles(archivePath, files);
    if (!result.ok()) return result;
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    const bool exists = fs::exists(status);
    if (exists && !fs::is_directory(status)) {
        result.faults.push_back(folder + ": exists and is not a folder");
        return result;
    }
    if (exists && !replace) {
        for (const TBrushFile& file : files)
            if (fs::exists(fs::symlink_status(folder + "/" + file.name, error)))
                result.faults.push_back(folder + "/" + file.name + ": exists; --force replaces it");
        if (!result.ok()) return result;
    }
    // The files go into a folder beside the target (through a symbolic link, beside the folder it
    // names), on the same file system, so that moving them in is a rename.
    fs::path target = exists ? fs::canonical(folder, error) : fs::absolute(folder, error).lexically_normal();
    if (!target.has_filename()) target = target.parent_path(); // "out/" is the folder out
    if (error) {
        result.faults.push_back(folder + ": " + error.message());
        return result;
    }
    TMadeFolders parents;
    if (const int made = parents.Make(target.parent_path()); made != 0) {
        result.faults.push_back(target.parent_path().string() + ": cannot be made: " + ErrnoText(made));
        return result;
    }
    RemoveStaleStaging(target.string());
    TStagingFolder staging;
    if (const int made = staging.Make(target.string()); made != 0) {
        result.faults.push_back(target.parent_path().string() +
                                ": no folder can be made in it: " + ErrnoText(made));
        return result;
    }
    for (const TBrushFile& file : files) {
        std::string reason;
        if (!SaveFileSafely(staging.path() + "/" + file.name, file.bytes, &reason, writer, smNoReplace)) {
            result.faults.push_back(folder + "/" + file.name + ": " + reason);
            return result;
        }
    }
    if (!exists) {
        if (writer.RenameNoReplace(staging.path().c_str(), target.c_str()) != 0) {
            result.faults.push_back(folder + ": " + ErrnoText(errno));
            return result;
        }
        staging.Release();
        parents.Keep();
        return result;
    }
    if (const std::string fault = MoveInto(staging.path(), target.string(), files, replace, writer);
        !fault.empty())
        result.faults.push_back(folder + "/" + fault);
    return result;
}

} // namespace vorn
