#include "export/ExportFormats.h"

#include <algorithm>

namespace vorn {

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// ASCII comparison without case: "PNG" names the type "png".
bool SameExtension(std::string_view extension, const char* lowerCase) {
    return lowerCase && std::ranges::equal(extension, std::string_view(lowerCase),
                                           [](char a, char b) { return Upper(a) == Upper(b); });
}

} // namespace

std::string ExportFilter(const TExportFileType& type) {
    std::string pattern = type.extension;
    std::ranges::transform(pattern, pattern.begin(), Upper);
    return std::string(type.name) + " (*." + pattern + ")";
}

const TExportFileType* ExportFileTypeOf(std::string_view extension) {
    for (const TExportFileType& type : ExportFileTypes) {
        if (extension == type.extension) return &type;
    }
    return nullptr;
}

const TExportFileType* ExportFileTypeOfFile(std::string_view extension) {
    for (const TExportFileType& type : ExportFileTypes) {
        if (SameExtension(extension, type.extension) || SameExtension(extension, type.alias)) return &type;
    }
    return nullptr;
}

TExportFormat ExportFormatOfFile(std::string_view extension) {
    const TExportFileType* type = ExportFileTypeOfFile(extension);
    return type ? type->format : TExportFormat::Jpeg;
}

} // namespace vorn
