// The file types the export writes, in the order every list of them shows: the extension that
// names the type, its name in the save dialog's and the batch dialog's lists, and the encoder.
#pragma once

#include <string>
#include <string_view>

namespace vorn {

enum class TExportFormat { Bmp, Png, Jpeg };

struct TExportFileType {
    const char* extension; // lower case, without the dot: what --type and a batch name
    const char* alias;     // another extension a file name may end in; nullptr: none
    const char* name;      // "Microsoft Windows Bitmap"
    TExportFormat format;
};

inline constexpr TExportFileType ExportFileTypes[] = {
    {"bmp", nullptr, "Microsoft Windows Bitmap", TExportFormat::Bmp},
    {"png", nullptr, "Portable Network Graphics", TExportFormat::Png},
    {"jpg", "jpeg", "Joint Photographic Experts Group", TExportFormat::Jpeg},
};
inline constexpr int ExportFileTypeCount = int(std::size(ExportFileTypes));

// The type a list starts on and a batch writes unless told otherwise: JPEG.
inline constexpr int DefaultExportType = 2;
// The type of a single file named without an extension: BMP.
inline constexpr int BareNameExportType = 0;

// "Microsoft Windows Bitmap (*.BMP)": the type's entry in a save dialog or a list of types.
std::string ExportFilter(const TExportFileType& type);

// The type whose extension is exactly extension ("jpg", not "JPG" or "jpeg"); nullptr for others.
const TExportFileType* ExportFileTypeOf(std::string_view extension);
// The type a file's extension (without the dot) names, in any case and aliases included;
// nullptr for any other extension.
const TExportFileType* ExportFileTypeOfFile(std::string_view extension);
// The format a file's extension (without the dot) chooses: that of its type, JPEG for any other.
TExportFormat ExportFormatOfFile(std::string_view extension);

} // namespace vorn
