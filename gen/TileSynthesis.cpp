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

// A start coordinate in (0, 256]: the walk begins in the top-left quarter.
float StartCoordinate() {
    return static_cast<float>(256.0 - 256.0 * RandomFloat());
}

// The background's hue step: a constant 0.05 plus a drift; past 1 it drops to 0, it does not wrap.
double NextBackgroundHue(double hue, int hueSwitch) {
    hue = (hue + 0.05) + 0.05 * (hueSwitch / 100.0) * RandomFloat();
    return hue > 1.0 ? 0.0 : hue;
}

// Half-transparent fully saturated colour of the background shapes.
TCanvasColor ShapeColor(double hue) {
    return HslToColor(static_cast<float>(hue), 1.0f, 0.5f) + 0x80000000u;
}

// X truncated toward zero. The walk stays within a few hundred thousand pixels of the tile; the
// clamp only keeps the conversion defined whatever the float holds.
std::int32_t TruncToInt(float v) {
    if (std::isnan(v)) return 0;
    return static_cast<std::int32_t>(std::clamp(v, -1.0e9f, 1.0e9f));
}

void PaintSquares(int hueSwitch, TTilePainter& painter) {
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
        painter.FillSolidRect(px + d * i, py + d * i, TileSize - 2 * d * i - 2 * px,
                              TileSize - 2 * d * i - 2 * py, ShapeColor(hue), beAlphaBlend);
    }
}

void PaintCircles(int hueSwitch, TTilePainter& painter) {
    double scale = RandomFloat() + 1.0;
    double hue = RandomFloat();
    const std::int32_t count = RandomInt(8) + 5;
    for (std::int32_t i = 0; i < count; ++i) {
        hue = NextBackgroundHue(hue, hueSwitch);
        const TCanvasColor color = ShapeColor(hue);
        if (RandomInt(2) == 0) scale = scale - 0.2 * scale * RandomFloat();
        painter.DrawRotatedScaled(CircleImage, color, Half, Half, 0.0, scale, 0, beAlphaBlend);
    }
}

void PaintBackground(const TGenSettings& s, TCanvasColor background, TTilePainter& painter) {
    // Two shades: an opaque grey of 64..255 per channel masking the background colour bitwise.
    const auto shade = [background] {
        return (static_cast<TCanvasColor>(RandomInt(192)) * 0x010101u + 0xFF404040u) & background;
    };
    const TCanvasColor a = shade();
    const TCanvasColor b = shade();

    if (s.bgFill == 0 || s.bgFill == 3) {
        painter.FillGradientRect({0, 0, TileSize, TileSize}, ColorQuadOf(background), beOpaque);
    }
    if (s.bgFill == 1 || (s.bgFill == 3 && RandomInt(2) == 0)) { // A -> B -> A, left to right
        painter.FillGradientRect({0, 0, Half, TileSize}, MakeColorQuad(a, b, b, a), beOpaque);
        painter.FillGradientRect({Half, 0, TileSize, TileSize}, MakeColorQuad(b, a, a, b), beOpaque);
    }
    if (s.bgFill == 2 || (s.bgFill == 3 && RandomInt(2) == 0)) { // A -> B -> A, top to bottom
        painter.FillGradientRect({0, 0, TileSize, Half}, MakeColorQuad(a, a, b, b), beOpaque);
        painter.FillGradientRect({0, Half, TileSize, TileSize}, MakeColorQuad(b, b, a, a), beOpaque);
    }
    if (s.bgForm == 2 || (s.bgForm == 3 && RandomInt(2) == 0)) PaintSquares(s.hueSwitch, painter);
    if (s.bgForm == 1 || (s.bgForm == 3 && RandomInt(2) == 0)) PaintCircles(s.hueSwitch, painter);
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

TWalk StartWalk(const TGenSettings& s) {
    TWalk w{};
    w.x = StartCoordinate();
    w.y = StartCoordinate();
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
TCanvasColor StepWalk(TWalk& w, const TGenSettings& s) {
    const double c = std::cos(static_cast<double>(w.angle));
    const double n = std::sin(static_cast<double>(w.angle));
    const double along = w.cosineOnX ? c : n;  // moves X
    const double across = w.cosineOnX ? n : c; // moves Y
    w.x = static_cast<float>(w.x + along * w.radius);
    w.y = static_cast<float>(w.y + across * w.radius);

    // Neither is bounded: a negative radius walks backwards; the angle never wraps.
    w.radius = static_cast<float>(w.radius + w.radiusSign * static_cast<double>(w.radiusSpeed));
    w.angle = static_cast<float>(w.angle + w.angleSign * static_cast<double>(w.angleSpeed));

    // Turn: always outside the tile; inside with odds 1 in 256 (that draw only while inside).
    const bool outside = w.x < 0.0f || w.x > TileSize || w.y < 0.0f || w.y > TileSize;
    if (outside || RandomInt(256) == 128) {
        if (RandomInt(2) == 0) {
            w.x = StartCoordinate();
            w.y = StartCoordinate();
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
    const TCanvasColor stroke = HslToColor(w.hue, w.saturation, w.lightness);

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

constexpr int EffectShift = 7;
constexpr int EffectGlow = 8;
constexpr int EffectStroke = 9;

} // namespace

bool SynthesizeTile(const TGenSettingsSource& settings, TCanvasColor backgroundColor,
                    const bool& batchRunning, TGenHooks& hooks, TTilePainter& painter) {
    const TGenSettings s = ClampedSettings(settings);
    const std::int32_t stepCount = s.steps + 1024;

    int progress = 1;
    if (!batchRunning) {
        hooks.SetProgressPosition(progress);
        hooks.SetProgressMaximum(stepCount);
    }

    if (s.image == 0) PaintBackground(s, backgroundColor, painter); // "Keep" draws over the old tile

    TWalk w = StartWalk(s);
    const std::int32_t brush = BrushImage(s.brushSize, s.brushType);
    const TBlendEffect effect = GeneratorEffects[static_cast<std::size_t>(s.effect)];

    bool finished = true;
    for (std::int32_t step = 0; step < stepCount; ++step) {
        hooks.PumpMessages();
        if (hooks.StopRequested()) {
            finished = false;
            break;
        }
        const TCanvasColor stroke = StepWalk(w, s);
        const std::int32_t qx = TruncToInt(w.x);
        const std::int32_t qy = TruncToInt(w.y);
        const double scale = w.scale;
        const double mx = TileSize - qx; // the mirror images of the stamp point
        const double my = TileSize - qy;

        switch (s.effect) {
        case EffectShift: {
            // An inverted, half-transparent copy twice the size, offset by up to 16 pixels; the
            // offset is mirrored with the point.
            const double dx = 16.0 * RandomFloat();
            const double dy = 16.0 * RandomFloat();
            DrawMirrored(painter, brush, stroke ^ 0x7FFFFFFFu, qx + dx, TileSize - qx - dx, qy + dy,
                         TileSize - qy - dy, 2.0 * scale, beAlphaBlend);
            break;
        }
        case EffectGlow:
            DrawMirrored(painter, brush, 0x7FFFFF00u, qx, mx, qy, my, 1.4 * scale, beAlphaBlend);
            break;
        case EffectStroke:
            DrawMirrored(painter, brush, 0x7F000000u, qx, mx, qy, my, 1.4 * scale, beAlphaBlend);
            break;
        default:
            break;
        }
        DrawMirrored(painter, brush, stroke + 0xC0000000u, qx, mx, qy, my, scale, effect);

        if (!batchRunning) hooks.SetProgressPosition(++progress);
    }

    if (!batchRunning) hooks.SetProgressPosition(1);
    return finished;
}

} // namespace vorn
