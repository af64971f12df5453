// Brush archives as folders of PNG images and back. One naming convention both ways: position 0
// "unused.png" (a transparent pixel when missing), 1 "background.png", 2 to 9 "hard-16.png",
// "soft-16.png", ... "hard-128.png", "soft-128.png", then "extra-NAME.png" in the order of their
// names. Packing gives the records the keys of the shipped archive (an extra's key is NAME, a
// leading "NN-" dropped), A8R8G8B8 texels, one texture of one pattern the size of the image.
// Unpacking names an extra "extra-NN-KEY.png" after its position, so packing keeps the order; an
// extra whose key cannot be such a name (empty, '/', '\', NUL or another control character, a
// leading '.', or a name past 255 bytes) is refused, not renamed, so that packing the folder
// gives the same archive back. Every fault is one line naming the file or the record; on any
// fault nothing is written.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "io/SafeFile.h"

namespace vorn {

inline constexpr int MaxBrushImageSide = 1024;
inline constexpr int NamedBrushImages = 10; // positions 0 to 9

// The file name of the image at position in an archive, its record key given (extras only).
std::string BrushFileName(int position, const std::string& key);

struct TBrushFile {
    std::string name; // file name, without the folder
    std::vector<std::uint8_t> bytes;
};

struct TBrushResult {
    std::vector<std::string> faults; // one line each; empty: done
    bool ok() const { return faults.empty(); }
};

// The archive made of files: its bytes in archive, or the faults (a missing, unreadable,
// oversized or misnamed image). Files whose names do not end in ".png" are not brush images.
TBrushResult PackBrushFiles(std::span<const TBrushFile> files, std::vector<std::uint8_t>& archive);
// Every image record of the archive file, each read by its position in the table, as a PNG file
// named by the convention.
TBrushResult UnpackBrushFiles(const std::string& archivePath, std::vector<TBrushFile>& files);

class TVornDb;

// The brush set's name in recipes: the first four bytes, big-endian, of the MD5 of the image
// records' checksums (the MD5 of each record's data) in archive order. 0 when db cannot be opened.
std::uint32_t BrushSetHash(TVornDb& db);
// BrushSetHash of the archive file at path, opened for reading.
std::uint32_t BrushSetHashOfFile(const std::string& path);
// That of the shipped default set (vorn.dat): recipes made with it carry no brush field.
inline constexpr std::uint32_t ShippedBrushSetHash = 0xCCA38C1Au;

// The same between a folder and an archive file, saved whole or not at all; an existing archive,
// or an image file of the folder, is replaced only with replace. Unpacking makes the folder and
// its parents; it writes every file into a new folder beside the target (through writer) and
// only then moves them in, a new folder by renaming it, the files of an existing one each by a
// rename (a replaced file swapped with its successor); a fault undoes the moves made, so the
// target is left as it was.
TBrushResult PackBrushFolder(const std::string& folder, const std::string& archivePath, bool replace);
TBrushResult UnpackBrushArchive(const std::string& archivePath, const std::string& folder, bool replace,
                                TFileWriter& writer = SystemFileWriter());

} // namespace vorn
