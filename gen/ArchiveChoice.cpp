#include "gen/ArchiveChoice.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "archive/BrushFolder.h"
#include "gen/SeedText.h"

namespace vorn {

std::vector<std::string> InstalledFileCandidates(const std::string& exeDir, const std::string& fileName) {
    namespace fs = std::filesystem;
    std::vector<std::string> candidates;
    if (!exeDir.empty()) {
        candidates.push_back((fs::path(exeDir) / fileName).string());
        // An installation moved or made under another prefix: <prefix>/bin and <prefix>/share.
        candidates.push_back(
            (fs::path(exeDir) / ".." / "share" / "pallimor" / fileName).lexically_normal().string());
    }
#ifdef PALLIMOR_DATA_DIR
    candidates.push_back((fs::path(PALLIMOR_DATA_DIR) / fileName).string());
#endif
    return candidates;
}

std::string FindInstalledFile(const std::string& exeDir, const std::string& fileName) {
    std::error_code error;
    for (const std::string& candidate : InstalledFileCandidates(exeDir, fileName))
        if (std::filesystem::is_regular_file(candidate, error)) return candidate;
    return {};
}

std::vector<std::string> ArchiveCandidates(const std::string& exeDir) {
    std::vector<std::string> candidates{ArchiveFileName};
    for (std::string& candidate : InstalledFileCandidates(exeDir, ArchiveFileName))
        candidates.push_back(std::move(candidate));
    return candidates;
}

std::string IncompleteArchiveText(const TArchiveChoice& choice) {
    return "Brush archive " + choice.path + " holds " + std::to_string(choice.images) +
           " usable images; the generator needs " + std::to_string(ArchiveImagesNeeded);
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

std::vector<TBrushSet> InstalledBrushSets(const std::string& exeDir) {
    namespace fs = std::filesystem;
    std::vector<TBrushSet> sets;
    const auto add = [&sets](std::string name, const fs::path& path) {
        for (const TBrushSet& set : sets)
            if (set.name == name) return;
        sets.push_back({std::move(name), path.string()});
    };
    std::error_code error;
    for (const std::string& candidate : ArchiveCandidates(exeDir)) {
        const fs::path folder =
            fs::path(candidate).parent_path().empty() ? fs::path(".") : fs::path(candidate).parent_path();
        if (fs::is_regular_file(candidate, error)) add(DefaultBrushSet, candidate);
        std::vector<fs::path> found;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
            const std::string file = entry.path().filename().string();
            if (file.size() > 9 && file.starts_with("vorn-") && file.ends_with(".dat") &&
                entry.is_regular_file(error))
                found.push_back(candidate == ArchiveFileName ? fs::path(file) : entry.path());
        }
        std::sort(found.begin(), found.end());
        for (const fs::path& path : found) {
            const std::string file = path.filename().string();
            add(file.substr(5, file.size() - 9), path);
        }
    }
    // The default set first, then by name (names are unique here).
    std::sort(sets.begin(), sets.end(), [](const TBrushSet& a, const TBrushSet& b) {
        return std::pair(a.name != DefaultBrushSet, a.name) < std::pair(b.name != DefaultBrushSet, b.name);
    });
    return sets;
}

std::string FindBrushSet(const std::string& exeDir, std::uint32_t hash) {
    for (const TBrushSet& set : InstalledBrushSets(exeDir))
        if (BrushSetHashOfFile(set.path) == hash) return set.path;
    return {};
}

std::string BrushSetName(const std::string& exeDir, std::uint32_t hash) {
    for (const TBrushSet& set : InstalledBrushSets(exeDir))
        if (BrushSetHashOfFile(set.path) == hash) return set.name;
    return hash == ShippedBrushSetHash ? DefaultBrushSet : std::string();
}

std::string BrushSetText(const std::string& exeDir, std::uint32_t hash) {
    const std::string name = BrushSetName(exeDir, hash);
    return name.empty() ? "brushes " + SeedText(hash) + ", not installed here" : "the " + name + " brushes";
}

std::string InstalledBrushSetNames(const std::string& exeDir) {
    std::string names;
    for (const TBrushSet& set : InstalledBrushSets(exeDir)) names += (names.empty() ? "" : ", ") + set.name;
    return names.empty() ? "none" : names;
}

std::string BrushSetMissingText(const std::string& exeDir, std::uint32_t hash) {
    return "made with " + BrushSetText(exeDir, hash) + "; installed sets: " + InstalledBrushSetNames(exeDir);
}

} // namespace vorn
