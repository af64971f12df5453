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

// ReadEmbeddedRecipe of the file fileName. error: 0, or errno when the file could not be read
// (EFBIG for a file too large to be one of ours).
struct TFileRecipe {
    std::optional<std::string> code;
    int error = 0;
};
TFileRecipe ReadRecipeOfFile(const std::string& fileName);

} // namespace vorn
