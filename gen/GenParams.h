// The generation parameters in one table: the sixteen groups of the settings panel in panel
// order (row by row, left column first), then the rows the window offers in its menus (Tiling),
// each with its command-line name, caption, items or range, default, slider steps and a one-line
// help. The window, the command line, the recipe codes and TGenSettings's defaults are built from
// it; adding a parameter is one row. No Qt.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vorn {

// Positions in GenParams.
enum TGenParamId : int {
    gpSize,
    gpBGColor,
    gpImage,
    gpEffect,
    gpBGFill,
    gpBGForm,
    gpBrushType,
    gpBrushSize,
    gpSteps,
    gpHueSwitch,
    gpSaturation,
    gpLightness,
    gpRadiusSpeed,
    gpAngleSpeed,
    gpScaleSpeed,
    gpTurnFreq,
    gpTiling,
};
inline constexpr int GenParamCount = 17;
// Rows 0 .. PanelParamCount - 1 are the settings panel's group boxes; the rest live in menus.
inline constexpr int PanelParamCount = 16;

enum TParamKind {
    pkSize,  // output size in pixels, a power of two in min..max; the synthesis does not read it
    pkColor, // background colour as picked, 0xRRGGBB
    pkList,  // a fixed drop-down list; the value is the index of the selected item
    pkTrack, // a track bar; the value is its position
};

// The mouse gesture on a group box that puts its track bar back to the default.
enum TResetGesture { rgNone, rgClick, rgDoubleClick };

// One value per parameter, in table order; what each holds the table's row says (its field).
struct TGenValues {
    int size, bgColor, image, effect, bgFill, bgForm, brushType, brushSize, steps;
    int hueSwitch, saturation, lightness, radiusSpeed, angleSpeed, scaleSpeed, turnFreq;
    int tiling;
};

struct TGenParam {
    TGenParamId id;
    int TGenValues::*field; // where TGenSettings keeps the value
    const char* name;       // option without "--", recipe field and `recipe` output name: "bg-fill"
    const char* caption;    // the group box's caption: "BG Fill"
    TParamKind kind;
    std::span<const char* const> items; // pkList: the list's captions; the option values are
                                        // the captions in lower case, spaces as '-'
    int min, max;                       // pkList: 0 .. items - 1
    int defaultValue;
    int lineStep, pageStep, tickInterval; // pkTrack
    TResetGesture reset;                  // pkTrack
    const char* argument;                 // the value in --help when not a list: "N", "RRGGBB"
    const char* help;                     // one line for --help and the manual
};

namespace detail {

inline constexpr const char* ImageItems[] = {"Clear", "Keep"};
inline constexpr const char* EffectItems[] = {"Blend", "Add", "Sub",   "Color", "Shadow",
                                              "Light", "Max", "Shift", "Glow",  "Stroke"};
inline constexpr const char* BGFillItems[] = {"Color", "H-Grad", "V-Grad", "Random", "None"};
inline constexpr const char* BGFormItems[] = {"None", "Circle", "Square", "Random"};
inline constexpr const char* BrushTypeItems[] = {"Hard", "Soft"};
inline constexpr const char* BrushSizeItems[] = {"16", "32", "64", "128"};
inline constexpr const char* TilingItems[] = {"Mirror", "Wrap", "Wrap X", "Wrap Y"};

constexpr TGenParam List(TGenParamId id, int TGenValues::*field, const char* name, const char* caption,
                         std::span<const char* const> items, int defaultValue, const char* help) {
    return {id,           field, name, caption, pkList, items, 0,   static_cast<int>(items.size()) - 1,
            defaultValue, 0,     0,    0,       rgNone, "",    help};
}

constexpr TGenParam Track(TGenParamId id, int TGenValues::*field, const char* name, const char* caption,
                          int min, int max, int defaultValue, int lineStep, int pageStep, int tick,
                          TResetGesture reset, const char* help) {
    return {id,           field,    name,     caption, pkTrack, {},  min, max,
            defaultValue, lineStep, pageStep, tick,    reset,   "N", help};
}

// The eight 1..100 sliders: line step 5, page step 10, a tick every 10, default 50.
constexpr TGenParam Percent(TGenParamId id, int TGenValues::*field, const char* name, const char* caption,
                            const char* help, TResetGesture reset = rgDoubleClick) {
    return Track(id, field, name, caption, 1, 100, 50, 5, 10, 10, reset, help);
}

} // namespace detail

inline constexpr std::array<TGenParam, GenParamCount> GenParams = {{
    {gpSize,
     &TGenValues::size,
     "size",
     "Size",
     pkSize,
     {},
     64,
     4096,
     256,
     0,
     0,
     0,
     rgNone,
     "N",
     "output size in pixels: 64, 128, 256, 512, 1024, 2048 or 4096"},
    {gpBGColor,
     &TGenValues::bgColor,
     "bg-color",
     "BG Color",
     pkColor,
     {},
     0,
     0xFFFFFF,
     0x0080FF,
     0,
     0,
     0,
     rgNone,
     "RRGGBB",
     "background colour as picked (red, green, blue), also #RRGGBB"},
    detail::List(gpImage, &TGenValues::image, "image", "Image", detail::ImageItems, 0,
                 "clear paints a new background; keep draws over the previous tile"),
    detail::List(gpEffect, &TGenValues::effect, "effect", "Effect", detail::EffectItems, 9,
                 "blend effect of the brush stamps"),
    detail::List(gpBGFill, &TGenValues::bgFill, "bg-fill", "BG Fill", detail::BGFillItems, 3,
                 "background fill (clear only); none leaves the tile transparent"),
    detail::List(gpBGForm, &TGenValues::bgForm, "bg-form", "BG Form", detail::BGFormItems, 3,
                 "background shapes (clear only)"),
    detail::List(gpBrushType, &TGenValues::brushType, "brush-type", "Brush Type", detail::BrushTypeItems, 1,
                 "soft brushes also sweep their scale"),
    detail::List(gpBrushSize, &TGenValues::brushSize, "brush-size", "Brush Size", detail::BrushSizeItems, 2,
                 "brush image"),
    detail::Track(gpSteps, &TGenValues::steps, "steps", "Steps", 0, 2048, 1024, 128, 256, 256, rgDoubleClick,
                  "the walk runs N + 1024 steps"),
    detail::Percent(gpHueSwitch, &TGenValues::hueSwitch, "hue-switch", "Hue Switch",
                    "how fast the hue drifts", rgClick),
    detail::Percent(gpSaturation, &TGenValues::saturation, "saturation", "Saturation",
                    "stroke saturation in percent"),
    detail::Percent(gpLightness, &TGenValues::lightness, "lightness", "Lightness",
                    "stroke lightness in percent"),
    detail::Percent(gpRadiusSpeed, &TGenValues::radiusSpeed, "radius-speed", "Radius Speed",
                    "how fast the step length changes"),
    detail::Percent(gpAngleSpeed, &TGenValues::angleSpeed, "angle-speed", "Angle Speed",
                    "how fast the walk turns"),
    detail::Percent(gpScaleSpeed, &TGenValues::scaleSpeed, "scale-speed", "Scale Speed",
                    "how fast soft brushes change scale"),
    detail::Percent(gpTurnFreq, &TGenValues::turnFreq, "turn-freq", "Turn Freq",
                    "how often the walk reverses its turn"),
    detail::List(gpTiling, &TGenValues::tiling, "tiling", "Tiling", detail::TilingItems, 0,
                 "how the tile repeats: mirrored, or wrapped across both, x or y edges"),
}};

constexpr const TGenParam& GenParam(TGenParamId id) {
    return GenParams[static_cast<std::size_t>(id)];
}

constexpr bool RowsInIdOrder() {
    for (std::size_t i = 0; i < GenParams.size(); ++i) {
        if (GenParams[i].id != static_cast<TGenParamId>(i)) return false;
    }
    return true;
}
static_assert(RowsInIdOrder(), "GenParams rows must follow TGenParamId");

// Every row names a field of its own.
constexpr bool FieldsDistinct() {
    for (std::size_t i = 0; i < GenParams.size(); ++i) {
        if (!GenParams[i].field) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (GenParams[i].field == GenParams[j].field) return false;
        }
    }
    return true;
}
static_assert(FieldsDistinct(), "each GenParams row needs a TGenValues field of its own");
static_assert(sizeof(TGenValues) == GenParamCount * sizeof(int), "one TGenValues field per parameter");

// The parameter whose name is name; nullptr when none.
const TGenParam* FindGenParam(std::string_view name);

// The BG Fill that draws no fill: the tile keeps its alpha and is exported with it where the
// format holds it.
inline constexpr int BGFillNone = 4;
static_assert(detail::BGFillItems[BGFillNone] == std::string_view("None"));

// Whether the tile repeats across x (y): the wrap modes across their axes, Mirror across both.
enum TTilingMode : int { tmMirror, tmWrap, tmWrapX, tmWrapY };
constexpr bool TilesAcrossX(int tiling) {
    return tiling != tmWrapY;
}
constexpr bool TilesAcrossY(int tiling) {
    return tiling != tmWrapX;
}

// The axes a drawn tile repeats across without a seam. A Keep generation over a tile keeps only
// the axes both repeat across (Wrap X over Wrap Y: neither).
struct TTileAxes {
    bool x = true, y = true;
    friend bool operator==(const TTileAxes&, const TTileAxes&) = default;
};
constexpr TTileAxes TileAxesOf(int tiling) {
    return {TilesAcrossX(tiling), TilesAcrossY(tiling)};
}
constexpr TTileAxes CommonAxes(TTileAxes a, TTileAxes b) {
    return {a.x && b.x, a.y && b.y};
}

// A value as the option takes it: a list item's caption in lower case (spaces as '-'), a colour as six
// upper-case hex digits RRGGBB, anything else in decimal.
std::string ParamValueText(const TGenParam& param, int value);

enum class TValueError {
    None,
    Empty,      // no value at all
    NotANumber, // no digit where a number starts
    Trailing,   // characters after a number or after six hex digits
    OutOfRange, // a number outside min..max (or, for the size, not one of its powers of two)
    BadHex,     // a colour with a character that is no hex digit
    Short,      // a colour with fewer than six hex digits
    Unknown,    // a list value that is none of its items
};

struct TParsedValue {
    int value = 0;
    TValueError error = TValueError::None;
    std::size_t at = 0; // Trailing: where the extra characters start; BadHex: the bad character
};

// Reads a value as ParamValueText writes it (hex digits of either case).
TParsedValue ParseParamValue(const TGenParam& param, std::string_view text);

struct TParsedHex {
    std::uint32_t value = 0;
    TValueError error = TValueError::None; // Empty, BadHex, Short or Trailing
    std::size_t at = 0;
};

// Exactly digits (at most 8) hex digits of either case: a colour has 6, a seed 8.
TParsedHex ParseHexDigits(std::string_view text, std::size_t digits);

// What a parameter accepts, for messages: "64, 128, 256, 512 or 1024", "a whole number from 1 to
// 100", "blend|add|...", "six hex digits RRGGBB".
std::string AcceptedValues(const TGenParam& param);

// The canvas colour (0xAABBGGRR, opaque) of a colour as picked (0xRRGGBB), and back.
constexpr std::uint32_t CanvasColorOfRgb(std::uint32_t rgb) {
    return 0xFF000000u | (rgb & 0xFFu) << 16 | (rgb & 0xFF00u) | (rgb >> 16 & 0xFFu);
}
constexpr std::uint32_t RgbOfCanvasColor(std::uint32_t color) {
    return (color & 0xFFu) << 16 | (color & 0xFF00u) | (color >> 16 & 0xFFu);
}
static_assert(CanvasColorOfRgb(0x0080FF) == 0xFFFF8000u, "the window's start colour");

} // namespace vorn
