#include "gen/ArchiveChoice.h"

#include <filesystem>

namespace vorn {

std::vector<std::string> ArchiveCandidates(const std::string& exeDir) {
    namespace fs = std::filesystem;
    std::vector<std::string> candidates{ArchiveFileName};
    if (!exeDir.empty()) {
        candidates.push_back((fs::path(exeDir) / ArchiveFileName).string());
        // An installation moved or made under another prefix: <prefix>/bin and <prefix>/share.
        candidates.push_back(
            (fs::path(exeDir) / ".." / "share" / "pallimor" / ArchiveFileName).lexically_normal().string());
    }
#ifdef PALLIMOR_DATA_DIR
    candidates.push_back((fs::path(PALLIMOR_DATA_DIR) / ArchiveFileName).string());
#endif
    return candidates;
}

TArchiveChoice ChooseArchive(const std::vector<std::string>& candidates,
                             const std::function<int(const std::string&)>& countImages) {
    TArchiveChoice best;
    for (const std::string& path : candidates) {
        const int images = countImages(path);
        if (images < 0) continue;
        if (best.path.empty() || images > best.images) best = {path, images};
        if (best.Complete()) break;
    }
    return best;
}

} // namespace vorn
