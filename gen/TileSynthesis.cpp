#include "gen/TileSynthesis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vorn {

namespace {

using random::RandomFloat;
using random::RandomInt;

constexpr double TwoPi = 2.0 * std::numbers::pi;
constexpr std::int32_t Half = TileSize / 2;

// A fresh speed: 0.005 + 0.05 * (slider / 100) * r, in [0.005, 0.005 + 0.0005 * slider).
float NewSpeed(int slider) {
    return static_cast<float>(0.005 + 0.05 * (slider / 100.0) * RandomFloat());
}

// The axes a wrap mode repeats the tile across by shifted copies; none in Mirror, where the
// stamps are mirrored instead.
struct TWrap {
    bool x = false, y = false;
    bool any() const { return x || y; }
};

TWrap WrapOf(int tiling) {
    if (tiling == tmMirror) return {};
    return {TilesAcrossX(tiling), TilesAcrossY(tiling)};
}

// A start coordinate in (0, 256]: the walk begins in the top-left quarter. Along a wrapped axis
// it begins anywhere, in (0, 1024].
float StartCoordinate(bool wrapped = false) {
    if (wrapped) return static_cast<float>(TileSize - TileSize * RandomFloat());
    return static_cast<float>(256.0 - 256.0 * RandomFloat());
}

// v wrapped into [0, 1024): v - 1024 * floor(v / 1024) in double; a value that rounds to 1024 as
// a float, and anything not finite, becomes 0.
float WrappedCoordinate(float v) {
    if (!std::isfinite(v)) return 0.0f;
    const double t = TileSize;
    const auto wrapped = static_cast<float>(v - t * std::floor(v / t));
    return wrapped >= 0.0f && wrapped < TileSize ? wrapped : 0.0f;
}

// The shift that carries a copy of something centred at c in [0, 1024) across the nearer edge:
// with it, anything up to 1024 wide (half-extent 512) covers the tile as its repetition does.
double CopyShift(double c) {
    return c < Half ? TileSize : -TileSize;
}

// The shifts of a shape's copies along one axis (0 first, none along an axis that does not wrap):
// where its half side half is known, each of -1024 and +1024 at which the shape centred at c
// reaches into the tile; not known (negative), the nearer edge's.
struct TShifts {
    std::int32_t count = 0;
    double at[3] = {};
};
TShifts StampShifts(double c, double half, bool wrapped) {
    TShifts shifts;
    shifts.at[shifts.count++] = 0.0;
    if (!wrapped) return shifts;
    if (half < 0.0) {
        shifts.at[shifts.count++] = CopyShift(c);
        return shifts;
    }
    for (const double shift : {-double(TileSize), double(TileSize)}) {
        if (c - half + shift < TileSize && c + half + shift > 0.0) shifts.at[shifts.count++] = shift;
    }
    return shifts;
}

// One stamp and, in a wrap mode, its copies across the wrapped edges it reaches, in this order:
// (x, y), the copies across x, then, for each copy across y, that copy and its copies across x
// (the corners).
void DrawWrapped(TTilePainter& painter, TWrap wrap, std::int32_t image, TCanvasColor color, double x,
                 double y, double scale, TBlendEffect effect) {
    // The quad's corners are rounded to pixels: a pixel more keeps every touched pixel inside.
    const double side = painter.ImageHalfSide(image);
    const double half = side < 0.0 ? -1.0 : side * scale + 1.0;
    const TShifts sx = StampShifts(x, half, wrap.x);
    const TShifts sy = StampShifts(y, half, wrap.y);
    for (std::int32_t j = 0; j < sy.count; ++j) {
        for (std::int32_t i = 0; i < sx.count; ++i) {
            painter.DrawRotatedScaled(image, color, x + sx.at[i], y + sy.at[j], 0.0, scale, 0, effect);
        }
    }
}

// The background's hue step: a constant 0.05 plus a drift; past 1 it drops to 0, it does not wrap.
double NextBackgroundHue(double hue, int hueSwitch) {
    hue = (hue + 0.05) + 0.05 * (hueSwitch / 100.0) * RandomFloat();
    return hue > 1.0 ? 0.0 : hue;
}

// Half-transparent colour of the background shapes: fully saturated, or the palette's own.
TCanvasColor ShapeColor(double hue, const TPaletteGradient& palette) {
    if (!palette.Empty()) return palette.StrokeColor(hue, 0.5, 0.5) + 0x80000000u;
    return HslToColor(static_cast<float>(hue), 1.0f, 0.5f) + 0x80000000u;
}

// The Glow and Stroke copies of a palette texture: its lightest and its darkest colour (the
// first among equals), as canvas colours with alpha 0.
struct TCopyColors {
    TCanvasColor glow = 0x00FFFF00u, stroke = 0x00000000u;
};
TCopyColors CopyColorsOf(const TPalette& palette) {
    if (palette.colors.empty()) return {};
    std::uint32_t lightest = palette.colors.front(), darkest = lightest;
    for (const std::uint32_t rgb : palette.colors) {
        if (PaletteLightness(rgb) > PaletteLightness(lightest)) lightest = rgb;
        if (PaletteLightness(rgb) < PaletteLightness(darkest)) darkest = rgb;
    }
    return {CanvasColorOfRgb(lightest) & 0x00FFFFFFu, CanvasColorOfRgb(darkest) & 0x00FFFFFFu};
}

// X truncated toward zero. The walk stays within a few hundred thousand pixels of the tile; the
// clamp only keeps the conversion defined whatever the float holds.
std::int32_t TruncToInt(float v) {
    if (std::isnan(v)) return 0;
    return static_cast<std::int32_t>(std::clamp(v, -1.0e9f, 1.0e9f));
}

// The background's centre: the tile's in Mirror; in a wrap mode a random point along each wrapped
// axis (x drawn first), so the shapes lose the mirror symmetry and repeat by their copies.
struct TCentre {
    std::int32_t x = Half, y = Half;
};

// A rectangle and, along the wrapped axes, its copies that reach into the tile.
void FillSolidWrapped(TTilePainter& painter, TWrap wrap, std::int32_t left, std::int32_t top,
                      std::int32_t width, std::int32_t height, TCanvasColor color, TBlendEffect effect) {
    // Either winding: the centre and half side hold for a negative width or height too.
    const TShifts sx = StampShifts(left + 0.5 * width, 0.5 * std::abs(width), wrap.x);
    const TShifts sy = StampShifts(top + 0.5 * height, 0.5 * std::abs(height), wrap.y);
    for (std::int32_t j = 0; j < sy.count; ++j) {
        for (std::int32_t i = 0; i < sx.count; ++i) {
            painter.FillSolidRect(left + static_cast<std::int32_t>(sx.at[i]),
                                  top + static_cast<std::int32_t>(sy.at[j]), width, height, color, effect);
        }
    }
}

void PaintSquares(int hueSwitch, const TPaletteGradient& palette, TWrap wrap, TCentre centre,
                  TBlendEffect effect, TTilePainter& painter) {
    double hue = RandomFloat();
    std::int32_t px = 0;
    std::int32_t py = 0;
    if (RandomInt(4) == 0) {
        py = RandomInt(256); // Y is drawn first
        px = RandomInt(256);
    }
    const std::int32_t d = RandomInt(64) + 8;
    const std::int32_t count = RandomInt(16) + 1;
    for (std::int32_t i = 0; i < count; ++i) {
        hue = NextBackgroundHue(hue, hueSwitch);
        // Centred on the tile; once 2 * d * i passes the tile the extents turn negative and the
        // rectangle lies on the other side of its corner, still centred.
        const std::int32_t left = px + d * i, top = py + d * i;
        const std::int32_t width = TileSize - 2 * d * i - 2 * px, height = TileSize - 2 * d * i - 2 * py;
        if (!wrap.any()) {
            painter.FillSolidRect(left, top, width, height, ShapeColor(hue, palette), effect);
        } else {
            FillSolidWrapped(painter, wrap, left + centre.x - Half, top + centre.y - Half, width, height,
                             ShapeColor(hue, palette), effect);
        }
    }
}

void PaintCircles(int hueSwitch, const TPaletteGradient& palette, TWrap wrap, TCentre centre,
                  TBlendEffect effect, TTilePainter& painter) {
    double scale = RandomFloat() + 1.0;
    double hue = RandomFloat();
    const std::int32_t count = RandomInt(8) + 5;
    for (std::int32_t i = 0; i < count; ++i) {
        hue = NextBackgroundHue(hue, hueSwitch);
        const TCanvasColor color = ShapeColor(hue, palette);
        if (RandomInt(2) == 0) scale = scale - 0.2 * scale * RandomFloat();
        DrawWrapped(painter, wrap, CircleImage, color, centre.x, centre.y, scale, effect);
    }
}

// The two halves of a mirrored gradient A -> B -> A whose B lies at centre: along x when
// horizontal, else along y; in a wrap mode also its copy across the nearer edge.
void FillMirroredGradient(TTilePainter& painter, bool horizontal, bool wrapped, std::int32_t centre,
                          TCanvasColor a, TCanvasColor b) {
    const std::int32_t offset = centre - Half;
    const auto halves = [&](std::int32_t at) {
        if (horizontal) {
            painter.FillGradientRect({at, 0, at + Half, TileSize}, MakeColorQuad(a, b, b, a), beOpaque);
            painter.FillGradientRect({at + Half, 0, at + TileSize, TileSize}, MakeColorQuad(b, a, a, b),
                                     beOpaque);
        } else {
            painter.FillGradientRect({0, at, TileSize, at + Half}, MakeColorQuad(a, a, b, b), beOpaque);
            painter.FillGradientRect({0, at + Half, TileSize, at + TileSize}, MakeColorQuad(b, b, a, a),
                                     beOpaque);
        }
    };
    halves(offset);
    if (wrapped) halves(offset + static_cast<std::int32_t>(CopyShift(centre)));
}

// cover: beCoverageAlpha with the fill None, else 0.
void PaintBackground(const TGenSettings& s, const TPaletteGradient& palette, TWrap wrap,
                     TCanvasColor background, TBlendEffect cover, TTilePainter& painter) {
    // Two shades: an opaque grey of 64..255 per channel masking the background colour bitwise.
    const auto shade = [background] {
        return (static_cast<TCanvasColor>(RandomInt(192)) * 0x010101u + 0xFF404040u) & background;
    };
    const TCanvasColor a = shade();
    const TCanvasColor b = shade();
    TCentre centre;
    if (wrap.x) centre.x = RandomInt(TileSize);
    if (wrap.y) centre.y = RandomInt(TileSize);

    if (s.bgFill == 0 || s.bgFill == 3) {
        painter.FillGradientRect({0, 0, TileSize, TileSize}, ColorQuadOf(background), beOpaque);
    }
    if (s.bgFill == BGFillNone) { // no fill: the tile cleared to transparent, the old one gone
        painter.FillGradientRect({0, 0, TileSize, TileSize}, ColorQuadOf(0x00000000u), beOpaque);
    }
    if (s.bgFill == 1 || (s.bgFill == 3 && RandomInt(2) == 0)) { // A -> B -> A, left to right
        FillMirroredGradient(painter, true, wrap.x, centre.x, a, b);
    }
    if (s.bgFill == 2 || (s.bgFill == 3 && RandomInt(2) == 0)) { // A -> B -> A, top to bottom
        FillMirroredGradient(painter, false, wrap.y, centre.y, a, b);
    }
    if (s.bgForm == 2 || (s.bgForm == 3 && RandomInt(2) == 0))
        PaintSquares(s.hueSwitch, palette, wrap, centre, beAlphaBlend | cover, painter);
    if (s.bgForm == 1 || (s.bgForm == 3 && RandomInt(2) == 0))
        PaintCircles(s.hueSwitch, palette, wrap, centre, beAlphaBlend | cover, painter);
}

// The walk's state between steps. Reals are float; each update is computed in double and
// stored back, so the sequence of positions is the same on every platform.
struct TWalk {
    float x, y, radius, angle, scale;
    float radiusSpeed, angleSpeed, scaleSpeed;
    std::int8_t radiusSign, angleSign, scaleSign;
    float hue, saturation, lightness;
    std::int32_t turnDivisor;
    bool cosineOnX;
};

std::int8_t RandomSign() {
    return static_cast<std::int8_t>(1 - 2 * RandomInt(2));
}

TWalk StartWalk(const TGenSettings& s, TWrap wrap) {
    TWalk w{};
    w.x = StartCoordinate(wrap.any());
    w.y = StartCoordinate(wrap.any());
    w.radius = 0.0f;
    w.angle = static_cast<float>(RandomFloat() * TwoPi);
    w.scale = 1.0f;
    w.radiusSpeed = NewSpeed(s.radiusSpeed);
    w.angleSpeed = NewSpeed(s.angleSpeed);
    w.scaleSpeed = NewSpeed(s.scaleSpeed);
    w.radiusSign = RandomSign();
    w.angleSign = RandomSign();
    w.scaleSign = RandomSign();
    w.hue = static_cast<float>(RandomFloat());
    w.saturation = static_cast<float>(s.saturation / 100.0);
    w.lightness = static_cast<float>(s.lightness / 100.0);
    w.turnDivisor = 100 - s.turnFreq;
    w.cosineOnX = RandomInt(2) == 1;
    return w;
}

// Moves the walk one step and answers the stroke colour (alpha 0).
// Along a wrapped axis the point wraps around the edges and is never outside.
TCanvasColor StepWalk(TWalk& w, const TGenSettings& s, const TPaletteGradient& palette, TWrap wrap) {
    const double c = std::cos(static_cast<double>(w.angle));
    const double n = std::sin(static_cast<double>(w.angle));
    const double along = w.cosineOnX ? c : n;  // moves X
    const double across = w.cosineOnX ? n : c; // moves Y
    w.x = static_cast<float>(w.x + along * w.radius);
    w.y = static_cast<float>(w.y + across * w.radius);
    if (wrap.x) w.x = WrappedCoordinate(w.x);
    if (wrap.y) w.y = WrappedCoordinate(w.y);

    // Neither is bounded: a negative radius walks backwards; the angle never wraps.
    w.radius = static_cast<float>(w.radius + w.radiusSign * static_cast<double>(w.radiusSpeed));
    w.angle = static_cast<float>(w.angle + w.angleSign * static_cast<double>(w.angleSpeed));

    // Turn: always outside the tile; inside with odds 1 in 256 (that draw only while inside).
    const bool outsideX = !wrap.x && (w.x < 0.0f || w.x > TileSize);
    const bool outsideY = !wrap.y && (w.y < 0.0f || w.y > TileSize);
    if (outsideX || outsideY || RandomInt(256) == 128) {
        if (RandomInt(2) == 0) {
            w.x = StartCoordinate(wrap.any());
            w.y = StartCoordinate(wrap.any());
        }
        if (RandomInt(2) == 0) w.radiusSpeed = NewSpeed(s.radiusSpeed);
        if (RandomInt(2) == 0) w.angleSpeed = NewSpeed(s.angleSpeed);
        w.radiusSign = static_cast<std::int8_t>(-w.radiusSign);
    }

    // Angle reversal, odds 1 in turnDivisor + 1; switched off (no draw) at Turn Freq 1.
    if (w.turnDivisor < 99 && RandomInt(w.turnDivisor + 1) == w.turnDivisor / 2) {
        w.angleSign = static_cast<std::int8_t>(-w.angleSign);
    }

    // Hue drift without the background's constant step; past 1 the hue drops to 0.
    w.hue = static_cast<float>(w.hue + 0.05 * (s.hueSwitch / 100.0) * RandomFloat());
    if (w.hue > 1.0f) w.hue = 0.0f;
    // With a palette the hue is a position along its gradient.
    const TCanvasColor stroke = palette.Empty() ? HslToColor(w.hue, w.saturation, w.lightness)
                                                : palette.StrokeColor(w.hue, w.saturation, w.lightness);

    if (s.brushType == 1) { // Soft: the scale sweeps between 0 and 1
        w.scale = static_cast<float>(w.scale + w.scaleSign * static_cast<double>(w.scaleSpeed));
        if (w.scale > 1.0f) {
            w.scaleSpeed = NewSpeed(s.scaleSpeed);
            w.scaleSign = static_cast<std::int8_t>(-w.scaleSign);
            w.scale = 1.0f;
        }
        if (w.scale < 0.0f) {
            w.scaleSpeed = NewSpeed(s.scaleSpeed);
            w.scaleSign = static_cast<std::int8_t>(-w.scaleSign);
            w.scale = 0.0f;
        }
    } else {
        w.scale = 1.0f;
    }
    return stroke;
}

// One stamp at its four mirrored points, in this order: (x, y), (mx, y), (x, my), (mx, my), where
// mx and my are the mirror images of x and y about the tile's centre lines.
void DrawMirrored(TTilePainter& painter, std::int32_t image, TCanvasColor color, double x, double mx,
                  double y, double my, double scale, TBlendEffect effect) {
    painter.DrawRotatedScaled(image, color, x, y, 0.0, scale, 0, effect);
    painter.DrawRotatedScaled(image, color, mx, y, 0.0, scale, 0, effect);
    painter.DrawRotatedScaled(image, color, x, my, 0.0, scale, 0, effect);
    painter.DrawRotatedScaled(image, color, mx, my, 0.0, scale, 0, effect);
}

constexpr int EffectLight = 5;
constexpr int EffectShift = 7;
constexpr int EffectGlow = 8;
constexpr int EffectStroke = 9;

} // namespace

bool SynthesizeTile(const TGenSettingsSource& settings, TCanvasColor backgroundColor,
                    const bool& batchRunning, TGenHooks& hooks, TTilePainter& painter) {
    const TGenSettings s = ClampedSettings(settings);
    const TWrap wrap = WrapOf(s.tiling);
    const std::int32_t stepCount = s.steps + 1024;
    // A mirrored step lays four stamps, a wrapped one a single stamp (with its edge copies): four
    // walks, one after the other, each from its own start with its own colour, keep the tile as
    // full as the mirror's.
    const std::int32_t walkCount = wrap.any() ? 4 : 1;

    int progress = 1;
    if (!batchRunning) {
        hooks.SetProgressPosition(progress);
        hooks.SetProgressMaximum(walkCount * stepCount);
    }

    // Without a fill the tile starts transparent (or, with Keep, is drawn over as it is) and its
    // alpha must tell what covers each pixel: every draw then blends its alpha as "over" (the
    // device's own blend would give Blend's alpha as a^2 + d (1 - a)), so the colour is the
    // premultiplied colour of what was drawn and the read-back divides it by the alpha. Light
    // multiplies what lies beneath and adds no coverage of its own: over nothing it shows nothing.
    const TBlendEffect cover = s.bgFill == BGFillNone ? beCoverageAlpha : 0;
    const TPaletteGradient palette(s.palette);
    if (s.image == 0)
        PaintBackground(s, palette, wrap, backgroundColor, cover, painter); // "Keep" draws over the old tile

    const std::int32_t brush = BrushImage(s.brushSize, s.brushType);
    const TBlendEffect effect =
        GeneratorEffects[static_cast<std::size_t>(s.effect)] | (s.effect == EffectLight ? 0 : cover);
    const TBlendEffect copyEffect = beAlphaBlend | cover; // Shift's, Glow's and Stroke's copies
    const TCopyColors copies = CopyColorsOf(s.palette);

    bool finished = true;
    for (std::int32_t walk = 0; walk < walkCount && finished; ++walk) {
        TWalk w = StartWalk(s, wrap);
        for (std::int32_t step = 0; step < stepCount; ++step) {
            hooks.PumpMessages();
            if (hooks.StopRequested()) {
                finished = false;
                break;
            }
            const TCanvasColor stroke = StepWalk(w, s, palette, wrap);
            const std::int32_t qx = TruncToInt(w.x);
            const std::int32_t qy = TruncToInt(w.y);
            const double scale = w.scale;
            const double mx = TileSize - qx; // the mirror images of the stamp point
            const double my = TileSize - qy;
            // One stamp at (x, y): at its mirror images (mirrorX, mirrorY) too in Mirror, with its
            // edge copies in a wrap mode.
            const auto stamp = [&](TCanvasColor color, double x, double mirrorX, double y, double mirrorY,
                                   double stampScale, TBlendEffect e) {
                if (wrap.any()) {
                    DrawWrapped(painter, wrap, brush, color, x, y, stampScale, e);
                } else {
                    DrawMirrored(painter, brush, color, x, mirrorX, y, mirrorY, stampScale, e);
                }
            };

            switch (s.effect) {
            case EffectShift: {
                // An inverted, half-transparent copy twice the size, offset by up to 16 pixels; the
                // offset is mirrored with the point. With a palette the copy takes the colour half
                // the gradient away, so it stays among the palette's colours.
                const double dx = 16.0 * RandomFloat();
                const double dy = 16.0 * RandomFloat();
                const TCanvasColor shifted =
                    palette.Empty()
                        ? stroke ^ 0x7FFFFFFFu
                        : palette.StrokeColor(w.hue + 0.5, w.saturation, w.lightness) + 0x7F000000u;
                stamp(shifted, qx + dx, TileSize - qx - dx, qy + dy, TileSize - qy - dy, 2.0 * scale,
                      copyEffect);
                break;
            }
            case EffectGlow:
                stamp(copies.glow + 0x7F000000u, qx, mx, qy, my, 1.4 * scale, copyEffect);
                break;
            case EffectStroke:
                stamp(copies.stroke + 0x7F000000u, qx, mx, qy, my, 1.4 * scale, copyEffect);
                break;
            default:
                break;
            }
            stamp(stroke + 0xC0000000u, qx, mx, qy, my, scale, effect);

            if (!batchRunning) hooks.SetProgressPosition(++progress);
        }
    }

    if (!batchRunning) hooks.SetProgressPosition(1);
    return finished;
}

} // namespace vorn
