// libFuzzer entry point for packing brush images (built as fuzz_pack with -DPALLIMOR_FUZZ=ON, run
// by scripts/fuzz.sh). Each input is read as every one of the nine brush images of a folder; an
// input that packs must make an archive whose records the reader opens, each one of them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/BrushFolder.h"
#include "archive/VornDb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    std::vector<vorn::TBrushFile> files;
    for (int position = 1; position < vorn::NamedBrushImages; ++position)
        files.push_back({vorn::BrushFileName(position, {}), bytes});
    std::vector<std::uint8_t> archive;
    const vorn::TBrushResult result = vorn::PackBrushFiles(files, archive);
    if (!result.ok()) {
        if (result.faults.size() != 9 || !archive.empty()) __builtin_trap(); // one line per file
        return 0;
    }
    vorn::TVornDb db;
    db.SetMemory(archive);
    db.SetOpenMode(vorn::opReadOnly);
    if (!db.Open() || db.RecordCount() != vorn::NamedBrushImages) __builtin_trap();
    std::vector<std::uint8_t> record;
    for (std::int32_t i = 0; i < db.RecordCount(); ++i)
        if (!db.ReadRecord(db.RecordKey(i), record)) __builtin_trap();
    return 0;
}
