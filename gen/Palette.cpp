#include "gen/Palette.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "export/ImagePalette.h"
#include "gen/ArchiveChoice.h"
#include "io/FileBytes.h"

namespace vorn {

namespace {

// ---- deterministic arithmetic: basic IEEE operations only ----

// The n-th root of x >= 0 (n >= 2), by Newton's iteration. x = m * 2^e is scaled exactly to
// a = m * 2^r with e = n * q + r, 0 <= r < n, so a lies in [0.5, 2^(n-1)) and its root in
// [0.5, 2). From the start 2, above the root, the steps fall toward it; the first step that does
// not fall ends the iteration (64 at most, about 8 are needed). Only IEEE operations decide
// that, so every processor makes the same steps.
double Root(double x, int n) {
    if (!(x > 0.0)) return 0.0;
    if (std::isinf(x)) return x;
    int e = 0;
    const double m = std::frexp(x, &e);
    int q = e / n;
    int r = e - q * n;
    if (r < 0) {
        r += n;
        q -= 1;
    }
    const double a = std::ldexp(m, r);
    double y = 2.0;
    for (int step = 0; step < 64; ++step) {
        double power = 1.0;
        for (int k = 1; k < n; ++k) power = power * y;
        const double next = ((n - 1) * y + a / power) / n;
        if (!(next < y)) break; // from above the steps only fall, until rounding stops them
        y = next;
    }
    return std::ldexp(y, q);
}

double Cube(double v) {
    return v * v * v;
}

// sRGB byte to linear light: c / 12.92 up to 0.04045, else ((c + 0.055) / 1.055)^2.4, where
// y^2.4 = y^2 * (y^2)^(1/5).
double ByteToLinear(std::uint32_t byte) {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            if (c <= 0.04045) {
                t[i] = c / 12.92;
            } else {
                const double y = (c + 0.055) / 1.055;
                const double y2 = y * y;
                t[i] = y2 * Root(y2, 5);
            }
        }
        return t;
    }();
    return table[byte & 0xFFu];
}

// Linear light to an sRGB byte: clipped to [0, 1], 12.92 v up to 0.0031308, else
// 1.055 v^(1/2.4) - 0.055, where v^(1/2.4) = t^5 with t = sqrt(sqrt(cbrt(v))) = v^(1/12); then
// rounded half up, floor(255 s + 0.5).
std::uint32_t LinearToByte(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 1.0) return 255;
    double s;
    if (v <= 0.0031308) {
        s = 12.92 * v;
    } else {
        const double t = std::sqrt(std::sqrt(Root(v, 3)));
        const double t2 = t * t;
        s = 1.055 * (t2 * t2 * t) - 0.055;
    }
    const double scaled = std::floor(255.0 * s + 0.5);
    if (!(scaled > 0.0)) return 0;
    if (scaled >= 255.0) return 255;
    return static_cast<std::uint32_t>(scaled);
}

struct TLab {
    double L = 0.0, a = 0.0, b = 0.0;
};

// The published sRGB to OKLab conversion: linear RGB to LMS, cube roots, LMS to Lab.
TLab RgbToLab(std::uint32_t rgb) {
    const double r = ByteToLinear(rgb >> 16);
    const double g = ByteToLinear(rgb >> 8);
    const double b = ByteToLinear(rgb);
    const double l = Root(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b, 3);
    const double m = Root(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b, 3);
    const double s = Root(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b, 3);
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
            1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

// And back: Lab to LMS, cubes, LMS to linear RGB, each channel clipped and encoded.
std::uint32_t LabToRgb(const TLab& lab) {
    const double l = Cube(lab.L + 0.3963377774 * lab.a + 0.2158037573 * lab.b);
    const double m = Cube(lab.L - 0.1055613458 * lab.a - 0.0638541728 * lab.b);
    const double s = Cube(lab.L - 0.0894841775 * lab.a - 1.2914855480 * lab.b);
    const double r = 4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s;
    const double g = -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s;
    const double b = -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s;
    return (LinearToByte(r) << 16) | (LinearToByte(g) << 8) | LinearToByte(b);
}

double Mix(double from, double to, double f) {
    return from + (to - from) * f;
}

TLab MixLab(const TLab& from, const TLab& to, double f) {
    return {Mix(from.L, to.L, f), Mix(from.a, to.a, f), Mix(from.b, to.b, f)};
}

// 0xRRGGBB to a canvas colour 0x00BBGGRR.
std::uint32_t RgbToCanvas(std::uint32_t rgb) {
    return ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
}

double Clip01(double v) {
    return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0;
}

// Where a position falls: the colour index i and the fraction f toward colour i + 1 (cyclic).
struct TSpot {
    std::size_t index = 0;
    double fraction = 0.0;
};

TSpot SpotOf(std::size_t n, double position) {
    if (!std::isfinite(position)) position = 0.0;
    double p = position - std::floor(position);
    if (p >= 1.0) p = 0.0; // a tiny negative position rounds up to 1
    const double scaled = p * static_cast<double>(n);
    double whole = std::floor(scaled);
    TSpot spot{static_cast<std::size_t>(whole), scaled - whole};
    if (spot.index >= n) spot = {0, 0.0};
    return spot;
}

// ---- text ----

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Text of the input quoted in a message: control characters as '?', and at most 40 characters,
// a longer piece cut to "...", so that every message stays one short line.
std::string Shown(std::string_view text) {
    constexpr std::size_t Limit = 40;
    std::string shown(text.substr(0, text.size() > Limit ? Limit - 3 : Limit));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text.size() > Limit ? shown + "..." : shown;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string HexText(std::uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(rgb & 0xFFFFFFu));
    return text;
}

// Colours separated by separator; leadingHash allows '#' before each.
TPaletteResult ParseColorList(std::string_view text, char separator, bool leadingHash) {
    TPaletteResult result;
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        std::string_view item =
            Trimmed(text.substr(start, end == std::string_view::npos ? end : end - start));
        ++count;
        const std::string shown = Shown(item);
        if (leadingHash && !item.empty() && item.front() == '#') item.remove_prefix(1);
        std::uint32_t rgb = 0;
        bool good = item.size() == 6;
        for (const char c : item) {
            const int digit = HexDigit(c);
            if (digit < 0) good = false;
            rgb = (rgb << 4) | static_cast<std::uint32_t>(digit < 0 ? 0 : digit);
        }
        if (!good) {
            result.error = shown.empty() ? "colour " + std::to_string(count) + " is empty"
                                         : "colour " + std::to_string(count) + " '" + shown +
                                               "' is not six hex digits (RRGGBB)";
            result.palette = {};
            return result;
        }
        if (result.palette.colors.size() < MaxPaletteColors + 1) result.palette.colors.push_back(rgb);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (count < MinPaletteColors || count > MaxPaletteColors) {
        result.error = "a palette has " + std::to_string(MinPaletteColors) + " to " +
                       std::to_string(MaxPaletteColors) + " colours, not " + std::to_string(count);
        result.palette = {};
    }
    return result;
}

std::string JoinColors(const TPalette& palette, char separator) {
    std::string text;
    for (const std::uint32_t rgb : palette.colors) {
        if (!text.empty()) text += separator;
        text += HexText(rgb);
    }
    return text;
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// ---- median cut ----

struct TEntry {
    std::uint32_t rgb = 0;
    std::uint64_t weight = 0;
    TLab lab;
};

double Axis(const TLab& lab, int axis) {
    return axis == 0 ? lab.L : axis == 1 ? lab.a : lab.b;
}

// A box: entries [begin, end) of the shared list.
struct TBox {
    std::size_t begin = 0, end = 0;
    int axis = 0;       // the axis of the widest spread
    double spread = 0.; // max - min along it
};

TBox MakeBox(const std::vector<TEntry>& entries, std::size_t begin, std::size_t end) {
    TBox box{begin, end, 0, -1.0};
    for (int axis = 0; axis < 3; ++axis) {
        double lo = Axis(entries[begin].lab, axis);
        double hi = lo;
        for (std::size_t i = begin; i < end; ++i) {
            lo = std::min(lo, Axis(entries[i].lab, axis));
            hi = std::max(hi, Axis(entries[i].lab, axis));
        }
        if (hi - lo > box.spread) box = {begin, end, axis, hi - lo};
    }
    return box;
}

std::uint32_t BoxColor(const std::vector<TEntry>& entries, const TBox& box) {
    if (box.end - box.begin == 1) return entries[box.begin].rgb;
    double total = 0.0;
    TLab sum;
    for (std::size_t i = box.begin; i < box.end; ++i) {
        const double w = static_cast<double>(entries[i].weight);
        total += w;
        sum.L += entries[i].lab.L * w;
        sum.a += entries[i].lab.a * w;
        sum.b += entries[i].lab.b * w;
    }
    return LabToRgb({sum.L / total, sum.a / total, sum.b / total});
}

} // namespace

TPaletteResult ParsePaletteColors(std::string_view text) {
    return ParseColorList(text, ',', true);
}

std::string PaletteColorsText(const TPalette& palette) {
    return JoinColors(palette, ',');
}

std::string PaletteRecipeText(const TPalette& palette) {
    return JoinColors(palette, '-');
}

TPaletteResult ParsePaletteRecipeText(std::string_view text) {
    for (const char c : text)
        if (IsBlank(c)) return {{}, "a palette in a recipe has no blanks"};
    return ParseColorList(text, '-', false);
}

TPaletteGradient::TPaletteGradient(const TPalette& palette) {
    for (const std::uint32_t color : palette.colors) {
        const std::uint32_t rgb = color & 0xFFFFFFu;
        const TLab lab = RgbToLab(rgb);
        m_rgb.push_back(rgb);
        m_lab.insert(m_lab.end(), {lab.L, lab.a, lab.b});
    }
}

std::uint32_t TPaletteGradient::ColorAt(double position) const {
    const std::size_t n = m_rgb.size();
    if (n == 0) return 0;
    const TSpot spot = SpotOf(n, position);
    if (spot.fraction == 0.0) return m_rgb[spot.index];
    const std::size_t next = (spot.index + 1) % n;
    const TLab from{m_lab[3 * spot.index], m_lab[3 * spot.index + 1], m_lab[3 * spot.index + 2]};
    const TLab to{m_lab[3 * next], m_lab[3 * next + 1], m_lab[3 * next + 2]};
    return LabToRgb(MixLab(from, to, spot.fraction));
}

std::uint32_t ColorAt(const TPalette& palette, double position) {
    return TPaletteGradient(palette).ColorAt(position);
}

std::uint32_t PaletteStrokeColor(const TPalette& palette, double hue, double saturation, double lightness) {
    return TPaletteGradient(palette).StrokeColor(hue, saturation, lightness);
}

std::uint32_t TPaletteGradient::StrokeColor(double hue, double saturation, double lightness) const {
    const std::uint32_t base = ColorAt(hue);
    const double s = 2.0 * Clip01(saturation);
    const double l = Clip01(lightness);
    if (s == 1.0 && l == 0.5) return RgbToCanvas(base);
    TLab lab = RgbToLab(base);
    lab.a = lab.a * s;
    lab.b = lab.b * s;
    if (l < 0.5) {
        const double k = 2.0 * l;
        lab = {lab.L * k, lab.a * k, lab.b * k};
    } else if (l > 0.5) {
        lab = MixLab(lab, {1.0, 0.0, 0.0}, 2.0 * l - 1.0);
    }
    return RgbToCanvas(LabToRgb(lab));
}

double PaletteLightness(std::uint32_t rgb) {
    return RgbToLab(rgb & 0xFFFFFFu).L;
}

TPaletteFileResult ParsePaletteFile(std::string_view text) {
    TPaletteFileResult result;
    const auto fail = [&result](std::size_t line, const std::string& why) {
        result.palettes.clear();
        result.error = "line " + std::to_string(line) + ": " + why;
        return result;
    };
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = Trimmed(text.substr(start, end - start));
        ++lineNumber;
        start = end + 1;
        if (line.empty() || line.front() == '#') continue;
        std::size_t gap = 0;
        while (gap < line.size() && !IsBlank(line[gap])) ++gap;
        const std::string_view name = line.substr(0, gap);
        const std::string_view colors = Trimmed(line.substr(gap));
        if (colors.empty()) return fail(lineNumber, "expected 'name RRGGBB,RRGGBB,...'");
        if (!std::all_of(name.begin(), name.end(), IsNameChar))
            return fail(lineNumber,
                        "the name '" + Shown(name) + "' is not lower case letters, digits, '-' and '_'");
        if (FindNamedPalette(result.palettes, name))
            return fail(lineNumber, "the palette '" + Shown(name) + "' appears twice");
        TPaletteResult parsed = ParsePaletteColors(colors);
        if (!parsed.ok()) return fail(lineNumber, parsed.error);
        result.palettes.push_back({std::string(name), std::move(parsed.palette)});
    }
    if (result.palettes.empty()) result.error = "no palette in the file";
    return result;
}

const TNamedPalette* FindNamedPalette(const std::vector<TNamedPalette>& palettes, std::string_view name) {
    for (const TNamedPalette& named : palettes) {
        if (named.name.size() != name.size()) continue;
        if (std::equal(name.begin(), name.end(), named.name.begin(),
                       [](char a, char b) { return Lower(a) == Lower(b); }))
            return &named;
    }
    return nullptr;
}

std::vector<std::string> PaletteFileCandidates(const std::string& exeDir) {
    return InstalledFileCandidates(exeDir, PaletteFileName);
}

std::string FindPaletteFile(const std::string& exeDir) {
    return FindInstalledFile(exeDir, PaletteFileName);
}

TPaletteResult ExtractPalette(std::span<const std::uint32_t> pixels, int width, int height, int count) {
    if (count < MinPaletteColors || count > MaxPaletteColors)
        return {{},
                "a palette has " + std::to_string(MinPaletteColors) + " to " +
                    std::to_string(MaxPaletteColors) + " colours, not " + std::to_string(count)};
    if (width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) != pixels.size())
        return {{}, "the image's size does not match its pixels"};

    // The distinct colours in ascending order with their counts: the order of the input is gone,
    // so the palette depends on the colours alone.
    std::vector<std::uint32_t> sorted(pixels.begin(), pixels.end());
    for (std::uint32_t& rgb : sorted) rgb &= 0xFFFFFFu;
    std::sort(sorted.begin(), sorted.end());
    std::vector<TEntry> entries;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i;
        while (j < sorted.size() && sorted[j] == sorted[i]) ++j;
        entries.push_back({sorted[i], j - i, RgbToLab(sorted[i])});
        i = j;
    }
    if (entries.size() < MinPaletteColors) return {{}, "the image has fewer than two colours"};

    std::vector<TBox> boxes{MakeBox(entries, 0, entries.size())};
    while (boxes.size() < static_cast<std::size_t>(count)) {
        std::size_t widest = boxes.size();
        for (std::size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].end - boxes[i].begin > 1 &&
                (widest == boxes.size() || boxes[i].spread > boxes[widest].spread))
                widest = i;
        if (widest == boxes.size()) break; // every box holds one colour
        const TBox box = boxes[widest];
        const auto first = entries.begin() + static_cast<std::ptrdiff_t>(box.begin);
        const auto last = entries.begin() + static_cast<std::ptrdiff_t>(box.end);
        // Along the axis, equal values by colour, so the order is total.
        std::sort(first, last, [axis = box.axis](const TEntry& x, const TEntry& y) {
            const double a = Axis(x.lab, axis), b = Axis(y.lab, axis);
            return a != b ? a < b : x.rgb < y.rgb;
        });
        // The weighted median: the first entry where the running weight reaches half the total;
        // the cut keeps at least one entry on each side.
        std::uint64_t total = 0;
        for (auto it = first; it != last; ++it) total += it->weight;
        std::uint64_t running = 0;
        std::size_t cut = box.begin + 1;
        for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
            running += entries[i].weight;
            cut = i + 1;
            if (2 * running >= total) break;
        }
        boxes[widest] = MakeBox(entries, box.begin, cut);
        boxes.insert(boxes.begin() + static_cast<std::ptrdiff_t>(widest) + 1, MakeBox(entries, cut, box.end));
    }

    std::vector<std::uint32_t> colors;
    for (const TBox& box : boxes) colors.push_back(BoxColor(entries, box));
    std::sort(colors.begin(), colors.end(), [](std::uint32_t x, std::uint32_t y) {
        const double a = PaletteLightness(x), b = PaletteLightness(y);
        return a != b ? a < b : x < y;
    });
    colors.erase(std::unique(colors.begin(), colors.end()), colors.end());
    if (colors.size() < MinPaletteColors) return {{}, "the image has fewer than two colours"};
    return {{std::move(colors)}, {}};
}

TPaletteResult PaletteOfImageFile(const std::string& path, int count) {
    std::vector<std::uint32_t> seen;
    {
        std::vector<std::uint8_t> bytes;
        // A ceiling well above any texture source, below what would exhaust memory.
        constexpr std::size_t MaxImageFileBytes = std::size_t(256) << 20;
        if (const int error = ReadFileBytes(path, MaxImageFileBytes, bytes); error != 0)
            return {{},
                    path + ": " +
                        (error == EFBIG ? std::string("larger than 256 MiB") : std::strerror(error))};
        // Every step-th row and column, step the smallest that keeps the grid within
        // MaxPalettePixels; only the grid's pixels are kept while the image is decoded.
        const TImageGrid grid = ReadPaletteImageGrid(bytes, MaxPalettePixels);
        if (!grid.ok()) return {{}, path + ": " + grid.error};
        seen.reserve(grid.pixels.size());
        for (const std::uint32_t argb : grid.pixels)
            if ((argb >> 24) != 0) seen.push_back(argb & 0xFFFFFFu);
    } // the file's bytes and the grid go before the colours are cut
    if (seen.empty()) return {{}, path + ": the image is fully transparent"};
    TPaletteResult result = ExtractPalette(seen, static_cast<int>(seen.size()), 1, count);
    if (!result.ok()) result.error = path + ": " + result.error;
    return result;
}

TPaletteFileResult LoadShippedPalettes(const std::string& exeDir) {
    const std::string path = FindPaletteFile(exeDir);
    if (path.empty()) return {{}, std::string("no ") + PaletteFileName + " was found"};
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t MaxPaletteFileBytes = std::size_t(1) << 20;
    if (const int error = ReadFileBytes(path, MaxPaletteFileBytes, bytes); error != 0)
        return {{}, path + ": " + std::strerror(error)};
    TPaletteFileResult file = ParsePaletteFile({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    if (!file.ok()) file.error = path + ": " + file.error;
    return file;
}

TPaletteResult ResolvePalette(std::string_view argument, int imageColors, const std::string& exeDir) {
    const auto notImage = [imageColors](TPaletteResult result) {
        if (result.ok() && imageColors != 0)
            return TPaletteResult{{}, "a colour count applies only to a palette taken from an image"};
        return result;
    };
    if (argument == "walk") return notImage({});
    const TPaletteFileResult shipped = LoadShippedPalettes(exeDir);
    if (const TNamedPalette* named = FindNamedPalette(shipped.palettes, argument))
        return notImage({named->palette, {}});
    const std::string path(argument);
    std::error_code error;
    if (!path.empty() && std::filesystem::is_regular_file(path, error)) {
        // The first piece tells an image; typed colours are short, 64 KiB holds any.
        constexpr std::size_t TypedLimit = 64 << 10;
        std::vector<std::uint8_t> head;
        if (const int failed = ReadFileHead(
                path, TypedLimit + 1, [](auto bytes) { return bytes.size() <= TypedLimit; }, head);
            failed != 0)
            return {{}, Shown(path) + ": " + std::strerror(failed)};
        if (IsPaletteImage(head))
            return PaletteOfImageFile(path, imageColors == 0 ? DefaultImagePaletteColors : imageColors);
        if (head.size() > TypedLimit)
            return {{},
                    Shown(path) + " is neither a PNG or JPEG image nor typed colours (over 64 KiB of text)"};
        const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
        TPaletteResult typed = ParsePaletteColors(Trimmed(text));
        if (!typed.ok()) typed.error = Shown(path) + ": " + typed.error;
        return notImage(typed);
    }
    if (argument.find(',') == std::string_view::npos && argument.find('/') == std::string_view::npos &&
        argument.find('.') == std::string_view::npos) {
        std::string names;
        for (const TNamedPalette& named : shipped.palettes) names += (names.empty() ? "" : ", ") + named.name;
        return {{},
                "no palette, file or colours '" + Shown(argument) + "' (walk, " +
                    (names.empty() ? shipped.error : names) + ", a PNG or JPEG file, or RRGGBB,RRGGBB,...)"};
    }
    if (argument.find(',') == std::string_view::npos) {
        const std::filesystem::file_type type = std::filesystem::status(path, error).type();
        if (type == std::filesystem::file_type::directory) return {{}, Shown(argument) + " is a folder"};
        if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none)
            return {{}, Shown(argument) + " is not a regular file (a pipe, a socket or a device)"};
        return {{}, Shown(argument) + ": " + std::strerror(ENOENT)};
    }
    return notImage(ParsePaletteColors(argument));
}

} // namespace vorn
