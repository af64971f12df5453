// Colour palettes: 2 to 16 colours written 0xRRGGBB (red in bits 16-23), the cyclic gradient
// through them blended in OKLab, the stroke colour a palette gives for a hue, saturation and
// lightness, the shipped palette file, and the palette of an image by median cut.
//
// Determinism: every colour computed here is the same on every processor. The arithmetic is IEEE
// double with +, -, *, / and sqrt only (the file is built without fused multiply-add); the cube
// and fifth roots are fixed-count Newton iterations, not the C library's pow or cbrt, which may
// differ by an ulp between libraries. A channel leaves OKLab as linear light clipped to [0, 1],
// encoded with the sRGB curve and then rounded half up to a byte: floor(255 * v + 0.5).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

inline constexpr int MinPaletteColors = 2;
inline constexpr int MaxPaletteColors = 16;
inline constexpr const char* PaletteFileName = "palettes.txt";

struct TPalette {
    std::vector<std::uint32_t> colors; // 0xRRGGBB, MinPaletteColors..MaxPaletteColors of them
    friend bool operator==(const TPalette&, const TPalette&) = default;
};

// A palette or why there is none (one line; empty when the palette is good).
struct TPaletteResult {
    TPalette palette;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Typed colours "RRGGBB,RRGGBB,...": hex digits in either case, each colour optionally led by
// '#', blanks around a colour ignored. Errors name the colour: "colour 2 'FF00G0' is not six hex
// digits (RRGGBB)", or the count: "a palette has 2 to 16 colours, not 1".
TPaletteResult ParsePaletteColors(std::string_view text);
// The typed form of a palette: "RRGGBB,RRGGBB,..." in upper case.
std::string PaletteColorsText(const TPalette& palette);

// The palette inside a recipe code: "RRGGBB-RRGGBB-..." in upper case, only hex digits and '-',
// which recipe codes allow and do not use as separators.
std::string PaletteRecipeText(const TPalette& palette);
// Its reverse: hex digits in either case, no '#' and no blanks ("a palette in a recipe has no
// blanks"), otherwise the errors of ParsePaletteColors.
TPaletteResult ParsePaletteRecipeText(std::string_view text);

// The cyclic gradient through the palette: colour i sits at position i / n and the gradient runs
// from the last colour back to the first as position approaches 1, so it has no jump where a hue
// drops from 1 to 0. position is taken modulo 1 (NaN and infinities as 0). Between two colours
// the blend is linear in OKLab; at a colour's position the colour itself is answered. An empty
// palette answers black. Result 0xRRGGBB.
std::uint32_t ColorAt(const TPalette& palette, double position);

// The stroke colour of the walk with a palette, in the place of HslToColor: the hue picks
// ColorAt(palette, hue); saturation scales its OKLab chroma (a, b) by 2 * saturation, so 0.5 (the
// slider's default) keeps the palette colour, 0 gives the grey of the same OKLab lightness and 1
// doubles the chroma (channels clipped); then lightness 0.5 keeps the colour, below 0.5 it is
// blended toward black (scaled by 2 * lightness, 0 is black) and above toward white (blended by
// 2 * lightness - 1, 1 is white), as HSL lightness does. Saturation and lightness are clipped to
// [0, 1]. The result is a canvas colour (red in bits 0-7, 0x00BBGGRR) with alpha 0; callers add
// the alpha. The background shapes take PaletteStrokeColor(palette, hue, 0.5, 0.5): the
// gradient's colour itself.
std::uint32_t PaletteStrokeColor(const TPalette& palette, double hue, double saturation, double lightness);

// A palette made ready for many colours: its colours' OKLab values are found once, not at every
// colour. ColorAt and StrokeColor answer exactly what the functions above answer for the palette;
// the synthesis asks one for each of its strokes.
class TPaletteGradient {
public:
    explicit TPaletteGradient(const TPalette& palette);
    bool Empty() const { return m_rgb.empty(); }
    std::uint32_t ColorAt(double position) const;
    std::uint32_t StrokeColor(double hue, double saturation, double lightness) const;

private:
    std::vector<std::uint32_t> m_rgb; // 0xRRGGBB
    std::vector<double> m_lab;        // L, a, b of each colour
};

// OKLab lightness of a colour 0xRRGGBB in [0, 1]; palettes are sorted by it, darkest first.
double PaletteLightness(std::uint32_t rgb);

struct TNamedPalette {
    std::string name; // lower case letters, digits, '-' and '_'
    TPalette palette;
};

struct TPaletteFileResult {
    std::vector<TNamedPalette> palettes; // in file order
    std::string error;                   // "line 7: ..." naming the first bad line; empty: good
    bool ok() const { return error.empty(); }
};

// The palette file: one palette a line, "name RRGGBB,RRGGBB,..."; blank lines and lines whose
// first non-blank character is '#' are skipped. A name appears once; no palette is a fault.
TPaletteFileResult ParsePaletteFile(std::string_view text);
// The palette called name (case ignored), or nullptr.
const TNamedPalette* FindNamedPalette(const std::vector<TNamedPalette>& palettes, std::string_view name);

// Where palettes.txt may be, in search order: beside the program (exeDir), in
// exeDir/../share/pallimor (an installation under any prefix), then in the data folder compiled
// in. Missing files are listed too; exeDir may be empty.
std::vector<std::string> PaletteFileCandidates(const std::string& exeDir);
// The first candidate that is a regular file; empty when none is.
std::string FindPaletteFile(const std::string& exeDir);

// The palette of an image by median cut in OKLab: pixels are 0xRRGGBB (the top byte is ignored),
// width * height of them, row by row. The distinct colours, weighted by their pixel counts, are
// split count - 1 times at most: each time the box with the widest spread along an OKLab axis
// (the earliest among equals) is cut at the weighted median along that axis. Each box gives its
// weighted mean (a box of one colour gives that colour exactly); the colours are sorted by
// lightness, duplicates dropped. At most count colours; the same pixels always give the same
// palette. Errors: count outside 2..16, a size that does not match, fewer than two colours.
TPaletteResult ExtractPalette(std::span<const std::uint32_t> pixels, int width, int height, int count);

// "From image": the palette of a PNG or JPEG file, by ExtractPalette over its pixels that are not
// fully transparent (of at most MaxPalettePixels on a grid, see there). Errors name the file: "PATH: not a
// PNG or JPEG image".
TPaletteResult PaletteOfImageFile(const std::string& path, int count);

// The colours "From image" takes when no count is given.
inline constexpr int DefaultImagePaletteColors = 6;
// At most this many pixels of an image are read for its palette: a larger image is sampled on
// a regular grid of rows and columns, so that a photograph takes a moment, not seconds.
inline constexpr std::size_t MaxPalettePixels = std::size_t(1) << 18;

// The shipped palettes: the palette file FindPaletteFile(exeDir) finds, parsed. Errors name the
// file, or say that none was found.
TPaletteFileResult LoadShippedPalettes(const std::string& exeDir);

// What a --palette argument names, tried in this order: "walk" (the walk's own colours: an empty
// palette), a shipped palette by name (case ignored), a file (an image's palette of imageColors
// colours, else the typed colours it holds), typed colours. imageColors 0 is the default; given
// with anything but an image it is refused. One line saying what is wrong otherwise.
TPaletteResult ResolvePalette(std::string_view argument, int imageColors, const std::string& exeDir);

} // namespace vorn
