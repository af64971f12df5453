// A texture's recipe code inside its file, for a reader to make the texture again: in a PNG a
// tEXt chunk with the keyword RecipeKey right after IHDR; in a JPEG a comment segment (COM)
// "RecipeKey: CODE" right after the JFIF header. Image tools show both (a PNG text property, a
// JPEG comment). BMP files have no place for it. Without a recipe the files are left as encoded.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/ExportFormats.h"

namespace vorn {

inline constexpr std::string_view RecipeKey = "pallimor-recipe";

// Puts code into file, the bytes of an encoded file of format. False, with file unchanged, for
// BMP, for a code that is empty, longer than a segment can hold or holds a byte outside
// printable ASCII, and for bytes that do not start as that format's encoder writes them.
bool EmbedRecipe(TExportFormat format, std::vector<std::uint8_t>& file, std::string_view code);

// The recipe code a PNG or JPEG file carries under RecipeKey; none when it holds none or is not
// such a file. Reads only within file; any damage after the recipe is not noticed.
std::optional<std::string> ReadEmbeddedRecipe(std::span<const std::uint8_t> file);

// The most of a file's start ReadRecipeOfFile reads to find the recipe before the image data.
inline constexpr std::size_t MaxRecipeHead = std::size_t(4) << 20;

// ReadEmbeddedRecipe of the file fileName, read from its start up to the image data (PNG: the
// chunks before the first IDAT; JPEG: the segments before SOS), at most MaxRecipeHead bytes;
// a recipe further on is not found. Only a regular file is read: a FIFO, a device or a folder
// is refused at once, without waiting for a writer.
// error: 0, or errno when the file could not be read (ENOENT no such file, EISDIR a folder,
// EINVAL a pipe, socket or device). reason: why there is no code, as one line naming the file
// ("FILE: no such file", "FILE holds no recipe"); empty with a code.
struct TFileRecipe {
    std::optional<std::string> code;
    int error = 0;
    std::string reason;
};
TFileRecipe ReadRecipeOfFile(const std::string& fileName);

} // namespace vorn
