// libFuzzer entry point for the archive reader and the image loader; not built by default.
// Build, for example:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. tools/fuzz_vorndb.cpp \
//       <the core sources> -lz -ljpeg -o fuzz_vorndb
// Each input is written to a file, opened read-only, every record read, and the image records
// loaded into an image list on a headless device.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/fuzz-vorndb-" + std::to_string(::getpid()) + ".dat";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return 0;

    vorn::TVornDb db;
    db.SetFileName(path);
    db.SetOpenMode(vorn::opReadOnly);
    if (!db.Open()) return 0;
    std::vector<std::string> keys;
    for (std::int32_t i = 0; i < db.RecordCount(); ++i) keys.push_back(db.RecordKey(i));
    std::vector<std::uint8_t> record;
    for (const std::string& key : keys) db.ReadRecord(key, record);

    vorn::TVornImages images;
    images.SetPublisher(&Device());
    images.LoadFromVornDb(db);
    for (std::int32_t i = 0; i < images.Count(); ++i) {
        vorn::TVornImage* image = images.Item(i);
        for (std::int32_t p = -1; p <= image->PatternCount(); ++p) {
            const std::int32_t n = image->SubTextureOfPattern(p);
            if (n >= 0 && !image->Bind(0, n)) __builtin_trap(); // a reachable sub-texture must bind
        }
    }
    return 0;
}
