// libFuzzer entry point for the palette readers (built as fuzz_palette with -DPALLIMOR_FUZZ=ON, run
// by scripts/fuzz.sh). Each input is read as typed colours, as a recipe's palette text and as a
// palette file; a palette read must write back to text that reads as the same palette, and every
// error is one line. Images are left out: a header may ask for a gigabyte of pixels.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gen/Palette.h"

namespace {

void OneLine(const std::string& error) {
    if (error.find('\n') != std::string::npos) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vorn::TPaletteResult typed = vorn::ParsePaletteColors(text);
    OneLine(typed.error);
    if (typed.ok()) {
        const vorn::TPaletteResult again = vorn::ParsePaletteColors(vorn::PaletteColorsText(typed.palette));
        if (!again.ok() || again.palette != typed.palette) __builtin_trap();
        const vorn::TPaletteResult inRecipe =
            vorn::ParsePaletteRecipeText(vorn::PaletteRecipeText(typed.palette));
        if (!inRecipe.ok() || inRecipe.palette != typed.palette) __builtin_trap();
        for (int i = 0; i <= 8; ++i) (void)vorn::ColorAt(typed.palette, i / 8.0);
    }
    OneLine(vorn::ParsePaletteRecipeText(text).error);
    OneLine(vorn::ParsePaletteFile(text).error);
    return 0;
}
