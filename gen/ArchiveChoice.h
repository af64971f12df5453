// Which brush archive the programs read: the candidates in search order and the choice among
// them, the first that yields every image the generator draws (positions 0..9).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorn {

inline constexpr const char* ArchiveFileName = "vorn.dat";
// Images the generator draws from: position 1 (backgrounds) and 2..9 (brushes); 0 is loaded too.
inline constexpr int ArchiveImagesNeeded = 10;

struct TArchiveChoice {
    std::string path; // empty when no candidate exists
    int images = 0;   // images the archive yielded
    bool Complete() const { return images >= ArchiveImagesNeeded; }
};

// Why an archive that is not Complete is refused: "Brush archive PATH holds N usable images; the
// generator needs 10".
std::string IncompleteArchiveText(const TArchiveChoice& choice);

// Where a file the program ships may be, in search order: beside the program (exeDir), in
// exeDir/../share/pallimor, then in the data folder compiled in; exeDir may be empty.
std::vector<std::string> InstalledFileCandidates(const std::string& exeDir, const std::string& fileName);
// The first of those candidates that is a regular file; empty when none is.
std::string FindInstalledFile(const std::string& exeDir, const std::string& fileName);

// Where vorn.dat may be, in search order: the bare name in the current folder, beside the
// program (exeDir), in exeDir/../share/pallimor (an installation under any prefix), then in the
// data folder compiled in. Missing files are listed too; exeDir may be empty.
std::vector<std::string> ArchiveCandidates(const std::string& exeDir);

// countImages answers how many images an archive yields, or -1 when there is no such file. The
// first candidate yielding ArchiveImagesNeeded is chosen; when none does, the existing one
// yielding the most (the earliest among equals); when none exists, an empty path.
TArchiveChoice ChooseArchive(const std::vector<std::string>& candidates,
                             const std::function<int(const std::string&)>& countImages);

// A brush set that is installed: "default" for vorn.dat, NAME for vorn-NAME.dat.
struct TBrushSet {
    std::string name;
    std::string path;
};
inline constexpr const char* DefaultBrushSet = "default";
// The sets found in the folders of ArchiveCandidates, in their search order; a name found in
// an earlier folder hides the same name in a later one. The default set first, then by name.
std::vector<TBrushSet> InstalledBrushSets(const std::string& exeDir);
// The file of the installed set whose BrushSetHash is hash; empty when none is.
std::string FindBrushSet(const std::string& exeDir, std::uint32_t hash);
// The name of the installed set whose BrushSetHash is hash ("default" for the shipped set even
// when it is not installed); empty when none is.
std::string BrushSetName(const std::string& exeDir, std::uint32_t hash);
// A brush set as a user knows it: "the ink brushes", or "brushes CCA38C1A, not installed here".
std::string BrushSetText(const std::string& exeDir, std::uint32_t hash);
// The installed sets' names: "default, ink, shapes" ("none" when there are none).
std::string InstalledBrushSetNames(const std::string& exeDir);
// Why a recipe's set cannot be drawn: "made with the ink brushes; installed sets: default, shapes"
// or "made with brushes 12345678, not installed here; installed sets: default".
std::string BrushSetMissingText(const std::string& exeDir, std::uint32_t hash);

} // namespace vorn
