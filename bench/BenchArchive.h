// Where the benchmarks find the brush archive built with the project.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "gen/Generator.h"

namespace vorn::bench {

// Beside the benchmark, one folder up, or where the program would find it.
inline std::string ArchivePath() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    for (const std::filesystem::path& dir : {exe.parent_path(), exe.parent_path().parent_path()}) {
        if (std::filesystem::is_regular_file(dir / ArchiveFileName, error))
            return (dir / ArchiveFileName).string();
    }
    return TGenerator::FindArchive(exe.parent_path().string());
}

} // namespace vorn::bench
