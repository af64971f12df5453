// libFuzzer entry point for the archive reader and the image list (built as fuzz_vorndb with
// -DPALLIMOR_FUZZ=ON, run by scripts/fuzz.sh). Each input is read from memory as an archive:
// every record is read, and the image records are loaded into an image list on a headless device;
// the input is also loaded directly as the data of one image record.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/VornDb.h"
#include "archive/VornImages.h"
#include "engine/VornDevices.h"

namespace {

vorn::TVornDevice& Device() {
    static vorn::TVornDevice device;
    static const bool ready = device.Initialize();
    (void)ready;
    return device;
}

} // namespace

namespace {

// A reachable sub-texture must bind: the first patterns and both ends of the pattern range (the
// count may be as large as int32).
void CheckPatterns(vorn::TVornImage& image) {
    const std::int64_t count = image.PatternCount();
    std::vector<std::int64_t> patterns{-1, count - 1, count};
    for (std::int64_t p = 0; p < std::min<std::int64_t>(count, 256); ++p) patterns.push_back(p);
    for (const std::int64_t p : patterns) {
        if (p < INT32_MIN || p > INT32_MAX) continue;
        const std::int32_t n = image.SubTextureOfPattern(static_cast<std::int32_t>(p));
        if (n >= 0 && !image.Bind(0, n)) __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorn::TVornImages images;
    images.SetPublisher(&Device());

    // The input as image record data: the checksum of an archive record keeps mutated image
    // data from ever reaching the loader, so it is fed to it directly as well.
    vorn::TMemoryStream stream;
    stream.Write(data, size);
    stream.Seek(0);
    vorn::TVornImage* direct = images.AddImage();
    if (direct->LoadFromStream(stream)) CheckPatterns(*direct);
    images.RemoveAll();

    // The input as an archive: every record is read (the image records by the image list).
    vorn::TVornDb db;
    db.SetMemory(std::span<const std::uint8_t>(data, size));
    db.SetOpenMode(vorn::opReadOnly);
    if (!db.Open()) return 0;
    std::vector<std::string> others;
    for (std::int32_t i = 0; i < db.RecordCount(); ++i)
        if (db.RecordType(i) != 1) others.push_back(db.RecordKey(i));
    std::vector<std::uint8_t> record;
    for (const std::string& key : others) db.ReadRecord(key, record);
    images.LoadFromVornDb(db);
    for (std::int32_t i = 0; i < images.Count(); ++i) CheckPatterns(*images.Item(i));
    return 0;
}
