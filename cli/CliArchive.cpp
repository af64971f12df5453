// pallimor-cli archive FILE: the records of a brush archive as the reader sees them, then the
// images that an image list loads from it on a headless device. archive pack FOLDER ARCHIVE and
// archive unpack ARCHIVE FOLDER turn a folder of PNG images into an archive and back.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/BrushFolder.h"
#include "archive/VornDb.h"
#include "archive/VornImages.h"
#include "cli/Cli.h"
#include "engine/VornDevices.h"
#include "engine/soft/SoftHost.h"
#include "gen/ArchiveChoice.h"

namespace {

// Keys are 8-bit text from the file: printable ASCII other than space and backslash as is,
// every other byte as \xHH, so each record stays on one parseable line.
std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c > 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

void PrintUsage(std::FILE* out) {
    std::fputs("usage: pallimor-cli archive FILE\n"
               "       pallimor-cli archive pack FOLDER ARCHIVE [--force]\n"
               "       pallimor-cli archive unpack ARCHIVE FOLDER [--force]\n"
               "       pallimor-cli archive list   (the installed brush sets: NAME HASH FILE a line)\n"
               "Brush images: background.png, hard-16.png, soft-16.png, hard-32.png, soft-32.png,\n"
               "hard-64.png, soft-64.png, hard-128.png, soft-128.png, optionally unused.png and\n"
               "extra-NAME.png (in name order after them); PNG of any colour type, 1 to 1024 pixels\n"
               "a side. Without --force an existing archive or image is not replaced.\n",
               out);
}

// archive pack / unpack: one line per fault on stderr, exit 1 when there is any.
int PackOrUnpack(int argc, char** argv) {
    const bool pack = std::strcmp(argv[1], "pack") == 0;
    const bool force = argc == 5 && std::strcmp(argv[4], "--force") == 0;
    if (argc != 4 && !force) {
        std::fprintf(stderr, "archive %s: expected %s (usage: pallimor-cli archive --help)\n", argv[1],
                     pack ? "FOLDER ARCHIVE" : "ARCHIVE FOLDER");
        return 2;
    }
    const vorn::TBrushResult result = pack ? vorn::PackBrushFolder(argv[2], argv[3], force)
                                           : vorn::UnpackBrushArchive(argv[2], argv[3], force);
    for (const std::string& fault : result.faults)
        std::fprintf(stderr, "archive %s: %s\n", argv[1], OneLine(fault).c_str());
    return result.ok() ? 0 : 1;
}

} // namespace

int CliArchive(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    // "pack" and "unpack" are commands, unless an archive of that name is listed.
    std::error_code error;
    if (argc >= 2 && (std::strcmp(argv[1], "pack") == 0 || std::strcmp(argv[1], "unpack") == 0) &&
        (argc >= 3 || !std::filesystem::exists(argv[1], error)))
        return PackOrUnpack(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "list") == 0 && !std::filesystem::exists(argv[1], error)) {
        for (const vorn::TBrushSet& set : vorn::InstalledBrushSets(ExecutableFolder()))
            std::printf("%s %08X %s\n", set.name.c_str(), unsigned(vorn::BrushSetHashOfFile(set.path)),
                        set.path.c_str());
        return 0;
    }
    if (argc != 2) {
        std::fputs("archive: expected one archive file (usage: pallimor-cli archive FILE)\n", stderr);
        return 2;
    }
    const std::string fileName = argv[1];

    vorn::TVornDb db;
    db.SetFileName(fileName);
    db.SetOpenMode(vorn::opReadOnly);
    if (!db.Open()) {
        std::fprintf(stderr, "archive: cannot open '%s' as a brush archive\n", OneLine(fileName).c_str());
        return 1;
    }

    // Every read replaces the reader's table, so the entries are taken first.
    std::vector<vorn::TRecordInfo> records;
    for (std::int32_t i = 0; i < db.RecordCount(); ++i) records.push_back(*db.Record(i));

    vorn::TVornDevice device;
    vorn::TVornImages images;
    images.SetPublisher(&device);
    images.SetMipMappping(false);
    images.SetChecksumThread(vorn::sd::RasterThreads() > 1);
    const bool initialised = device.Initialize();
    const bool loaded = initialised && images.LoadFromVornDb(db);

    // The list loads the image records in order, each read and verified on the way, and stops at
    // the first that fails: only the records it did not load are read again here.
    std::printf("records %zu\n", records.size());
    std::int32_t imageRecord = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const vorn::TRecordInfo& record = records[i];
        const bool loadedAsImage = record.RecordType == 1 && imageRecord++ < images.Count();
        std::vector<std::uint8_t> data;
        const bool read = loadedAsImage || db.ReadRecord(record.Key, data);
        std::printf("record %zu key=%s type=%d unpacked=%d stored=%d read=%s\n", i,
                    Printable(record.Key).c_str(), record.RecordType, record.UnpackedSize, record.StoredSize,
                    read ? "ok" : "failed");
    }
    if (!initialised) {
        std::fputs("archive: cannot initialise the graphics device\n", stderr);
        return 1;
    }
    std::printf("images %d result=%s\n", images.Count(), loaded ? "true" : "false");
    for (std::int32_t i = 0; i < images.Count(); ++i) {
        const vorn::TVornImage* image = images.Item(i);
        std::printf("image %d name=%s texture=%dx%dx%d pattern=%dx%d visible=%dx%d patterns=%d\n", i,
                    Printable(image->Name()).c_str(), image->Width(), image->Height(), image->TextureCount(),
                    image->PatternSize().Width, image->PatternSize().Height, image->VisibleSize().Width,
                    image->VisibleSize().Height, image->PatternCount());
    }
    if (loaded) return 0;
    // The list loads the image records in order and stops at the first that fails.
    std::int32_t imageRecords = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].RecordType != 1 || imageRecords++ != images.Count()) continue;
        std::fprintf(stderr, "archive: image record %zu '%s' failed to load; the list stops before it\n", i,
                     Printable(records[i].Key).c_str());
        return 1;
    }
    std::fputs("archive: the image list failed to load\n", stderr);
    return 1;
}
