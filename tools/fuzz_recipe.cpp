// libFuzzer entry point for the recipe decoder (built as fuzz_recipe with -DPALLIMOR_FUZZ=ON, run by
// scripts/fuzz.sh). Each input is decoded as a code; a code that decodes must encode again to a
// code that decodes to the same recipe and encodes to itself. Each input is also read as an image
// file that may carry a code (the seeds hold a PNG and a JPEG). No texture is drawn.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "export/EmbeddedRecipe.h"
#include "gen/Recipe.h"

namespace {

bool SameRecipe(const vorn::TRecipe& a, const vorn::TRecipe& b) {
    if (a.size != b.size || a.background != b.background || a.tooLong != b.tooLong) return false;
    if (a.links.size() != b.links.size()) return false;
    for (std::size_t i = 0; i < a.links.size(); ++i) {
        if (a.links[i].seed != b.links[i].seed) return false;
        if (!vorn::SameSettings(a.links[i].settings, b.links[i].settings)) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto embedded = vorn::ReadEmbeddedRecipe({data, size}))
        if (embedded->size() >= size) __builtin_trap(); // read from within the file
    const std::string_view code(reinterpret_cast<const char*>(data), size);
    const vorn::TRecipeDecoding decoded = vorn::DecodeRecipe(code);
    if (!decoded.ok()) {
        if (decoded.error.find('\n') != std::string::npos) __builtin_trap(); // one line
        return 0;
    }
    const std::string again = vorn::EncodeRecipe(decoded.recipe);
    if (again.empty()) __builtin_trap(); // a decoded recipe always has links and a code
    const vorn::TRecipeDecoding redecoded = vorn::DecodeRecipe(again);
    if (!redecoded.ok() || !SameRecipe(decoded.recipe, redecoded.recipe)) __builtin_trap();
    if (vorn::EncodeRecipe(redecoded.recipe) != again) __builtin_trap();
    return 0;
}
