// mkvorn OUT [SET]: draws the brush images of a set and writes them as the brush archive OUT:
// "default" (vorn.dat: discs, and its hard brushes at four times the side for large textures),
// "ink" (vorn-ink.dat: splats and dry strokes) or "shapes" (vorn-shapes.dat: stars and rings). Each image is
// a white-ish shape in alpha, A8R8G8B8, one texture and one pattern, exactly mirror-symmetric about both
// centre lines (the tile mirrors every stamp's place, so only symmetric stamps keep it seamless); the output
// is the same bytes on every run.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "archive/VornDbWriter.h"

namespace {

using vorn::TImageRecordHeader;

// A fixed record date (a day count) so that the build is reproducible.
constexpr double kTimestamp = 45292.0;

// Alpha in [0, 1] of the texel whose centre lies (dx, dy) from the image centre, dx, dy >= 0.
using TShape = std::function<double(double dx, double dy)>;

// Draws a size x size image of shape. The shape is evaluated on one quadrant only and mirrored,
// so the image is symmetric about both centre lines by construction. The colour follows the
// alpha (sqrt keeps soft edges bright under alpha blending) and is black where alpha is 0, so
// effects that use the colour and ignore alpha stamp the shape too.
std::vector<std::uint8_t> DrawImage(int size, const TShape& shape) {
    std::vector<std::uint8_t> texels(static_cast<std::size_t>(size) * size * 4);
    const int half = size / 2;
    const double centre = size / 2.0;
    for (int y = 0; y < half; ++y) {
        for (int x = 0; x < half; ++x) {
            const double alpha = std::clamp(shape(centre - (x + 0.5), centre - (y + 0.5)), 0.0, 1.0);
            const auto a = static_cast<std::uint8_t>(std::lround(alpha * 255.0));
            const auto c = static_cast<std::uint8_t>(std::lround(std::sqrt(a / 255.0) * 255.0));
            for (int row : {y, size - 1 - y}) {
                for (int column : {x, size - 1 - x}) {
                    std::uint8_t* texel = &texels[(static_cast<std::size_t>(row) * size + column) * 4];
                    texel[0] = c; // blue
                    texel[1] = c; // green
                    texel[2] = c; // red
                    texel[3] = a; // alpha
                }
            }
        }
    }
    return texels;
}

// Area coverage of a texel by inside(x, y), from n x n samples at the sub-texel centres.
TShape Supersampled(int n, std::function<bool(double x, double y)> inside) {
    return [n, inside = std::move(inside)](double dx, double dy) {
        int hits = 0;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                if (inside(dx - 0.5 + (i + 0.5) / n, dy - 0.5 + (j + 0.5) / n)) ++hits;
        return double(hits) / (n * n);
    };
}

// A solid disc of the given diameter with an antialiased edge.
TShape HardDisc(double diameter) {
    const double r2 = diameter * diameter / 4.0;
    return Supersampled(16, [r2](double x, double y) { return x * x + y * y <= r2; });
}

// A radial falloff (1 - r^2)^2 that reaches 0 at the given diameter.
TShape SoftDisc(double diameter) {
    const double radius = diameter / 2.0;
    return [radius](double dx, double dy) {
        const double t = (dx * dx + dy * dy) / (radius * radius);
        return t >= 1.0 ? 0.0 : (1.0 - t) * (1.0 - t);
    };
}

// A disc of full alpha whose rim fades out smoothly over rimWidth texels, reaching 0 at the edge.
TShape RimmedDisc(double diameter, double rimWidth) {
    const double radius = diameter / 2.0;
    const auto smooth = [radius, rimWidth](double x, double y) {
        const double t = std::clamp((radius - std::sqrt(x * x + y * y)) / rimWidth, 0.0, 1.0);
        return t * t * (3.0 - 2.0 * t);
    };
    return [smooth](double dx, double dy) {
        double sum = 0.0; // 4 x 4 samples smooth the rim's steps
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) sum += smooth(dx - 0.5 + (i + 0.5) / 4, dy - 0.5 + (j + 0.5) / 4);
        return sum / 16.0;
    };
}

// A ring: the small mark at position 0 of the list.
TShape Ring(double outerDiameter, double innerDiameter) {
    const double outer2 = outerDiameter * outerDiameter / 4.0;
    const double inner2 = innerDiameter * innerDiameter / 4.0;
    return Supersampled(16, [outer2, inner2](double x, double y) {
        const double d2 = x * x + y * y;
        return d2 <= outer2 && d2 >= inner2;
    });
}

// A deterministic value in [0, 1) for an integer.
double Hash(std::uint32_t n) {
    n = (n ^ 61u) ^ (n >> 16);
    n *= 9u;
    n ^= n >> 4;
    n *= 0x27D4EB2Du;
    n ^= n >> 15;
    return (n & 0xFFFFFFu) / double(0x1000000);
}

// An ink splat: a lobed blot with droplets around it, hard edged.
TShape InkSplat(double diameter) {
    const double radius = diameter / 2.0;
    return Supersampled(8, [radius](double x, double y) {
        const double r = std::sqrt(x * x + y * y) / radius;
        const double angle = std::atan2(y, x);
        if (r < 0.56 + 0.14 * std::cos(6.0 * angle)) return true;
        const auto drop = [&](double cx, double cy, double size) {
            return (x / radius - cx) * (x / radius - cx) + (y / radius - cy) * (y / radius - cy) <
                   size * size;
        };
        return drop(0.80, 0.28, 0.10) || drop(0.30, 0.84, 0.08) || drop(0.66, 0.66, 0.06);
    });
}

// A dry stroke: bristle streaks across the brush, thinning out towards its rim.
TShape DryStroke(double diameter) {
    const double radius = diameter / 2.0;
    return [radius](double dx, double dy) {
        const double r2 = (dx * dx + dy * dy) / (radius * radius);
        if (r2 >= 1.0) return 0.0;
        const double across = dy / radius * 9.0; // nine bristles a side
        const auto band = static_cast<std::uint32_t>(across);
        const double t = across - band;
        const double bristle = std::sin(t * 3.14159265358979) * (0.35 + 0.65 * Hash(band + 7u));
        return std::clamp(bristle * (1.0 - r2) * 1.6, 0.0, 1.0);
    };
}

// A four-pointed star (an astroid), hard edged.
TShape Star(double diameter) {
    const double radius = diameter / 2.0;
    return Supersampled(8, [radius](double x, double y) {
        return std::cbrt(x * x) + std::cbrt(y * y) <= std::cbrt(radius * radius) * 0.98;
    });
}

// A soft ring: a Gaussian band at two thirds of the radius.
TShape SoftRing(double diameter) {
    const double radius = diameter / 2.0;
    return [radius](double dx, double dy) {
        const double d = (std::sqrt(dx * dx + dy * dy) / radius - 0.62) / 0.17;
        return d > 2.7 ? 0.0 : std::exp(-d * d);
    };
}

// A rough-edged blot for the background shapes.
TShape Blot(double diameter, double rimWidth) {
    const double radius = diameter / 2.0;
    return [radius, rimWidth](double dx, double dy) {
        const double edge = radius * (0.92 + 0.06 * std::cos(10.0 * std::atan2(dy, dx)));
        const double t = std::clamp((edge - std::sqrt(dx * dx + dy * dy)) / rimWidth, 0.0, 1.0);
        return t * t * (3.0 - 2.0 * t);
    };
}

// A square with a soft rim for the background shapes.
TShape RimmedSquare(double side, double rimWidth) {
    return [half = side / 2.0, rimWidth](double dx, double dy) {
        const double t = std::clamp((half - std::max(dx, dy)) / rimWidth, 0.0, 1.0);
        return t * t * (3.0 - 2.0 * t);
    };
}

void AddImage(vorn::TVornDbWriter& writer, const std::string& key, int size, const TShape& shape) {
    TImageRecordHeader header;
    header.Format = 5; // tfA8R8G8B8
    header.PatternWidth = header.PatternHeight = size;
    header.VisibleWidth = header.VisibleHeight = size;
    header.PatternCount = 1;
    header.TextureWidth = header.TextureHeight = size;
    header.TextureCount = 1;
    writer.AddRecord(key, vorn::TVornDbWriter::kImageRecord,
                     vorn::BuildImageRecord(header, DrawImage(size, shape)), kTimestamp);
}

} // namespace

int main(int argc, char** argv) {
    const std::string set = argc == 3 ? argv[2] : "default";
    if ((argc != 2 && argc != 3) || (set != "default" && set != "ink" && set != "shapes")) {
        std::fprintf(stderr, "usage: mkvorn OUT [default|ink|shapes]\n");
        return 2;
    }
    // Each set: the background shape and the hard and soft brush of a diameter.
    struct TSet {
        TShape background;
        std::function<TShape(double)> hard, soft;
    };
    // The rim ends one texel inside the edge, so the border of the image is clear.
    const TSet chosen = set == "ink"      ? TSet{Blot(510.0, 6.0), InkSplat, DryStroke}
                        : set == "shapes" ? TSet{RimmedSquare(500.0, 8.0), Star, SoftRing}
                                          : TSet{RimmedDisc(510.0, 8.0), HardDisc, SoftDisc};
    vorn::TVornDbWriter writer;
    AddImage(writer, "logo", 16, Ring(15.0, 8.0));
    AddImage(writer, "circle", 512, chosen.background);
    for (int size : {16, 32, 64, 128}) {
        AddImage(writer, "brush" + std::to_string(size) + "hard", size, chosen.hard(size));
        AddImage(writer, "brush" + std::to_string(size) + "soft", size, chosen.soft(size));
    }
    // The shipped set carries its hard brushes again at four times the side, after the ten the
    // generator names: drawn from these, a 4096 texture keeps their edges crisp.
    if (set == "default") {
        for (int size : {16, 32, 64, 128})
            AddImage(writer, "brush" + std::to_string(size) + "hard-4x", 4 * size, chosen.hard(4.0 * size));
    }
    if (!writer.SaveToFile(argv[1])) {
        std::fprintf(stderr, "mkvorn: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
