// pallimor-cli archive FILE: the records of a brush archive as the reader sees them, then the
// images that an image list loads from it on a headless device.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/VornDb.h"
#include "archive/VornImages.h"
#include "cli/Cli.h"
#include "engine/VornDevices.h"

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
    std::fputs("usage: pallimor-cli archive FILE\n", out);
}

} // namespace

int CliArchive(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
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
        std::fprintf(stderr, "archive: cannot open '%s' as a brush archive\n", fileName.c_str());
        return 1;
    }

    // Every read replaces the reader's table, so the entries are taken first.
    std::vector<vorn::TRecordInfo> records;
    for (std::int32_t i = 0; i < db.RecordCount(); ++i) records.push_back(*db.Record(i));
    std::printf("records %zu\n", records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const vorn::TRecordInfo& record = records[i];
        std::vector<std::uint8_t> data;
        const bool read = db.ReadRecord(record.Key, data);
        std::printf("record %zu key=%s type=%d unpacked=%d stored=%d read=%s\n", i,
                    Printable(record.Key).c_str(), record.RecordType, record.UnpackedSize, record.StoredSize,
                    read ? "ok" : "failed");
    }

    vorn::TVornDevice device;
    vorn::TVornImages images;
    images.SetPublisher(&device);
    images.SetMipMappping(false);
    if (!device.Initialize()) {
        std::fputs("archive: cannot initialise the graphics device\n", stderr);
        return 1;
    }
    const bool loaded = images.LoadFromVornDb(db);
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
