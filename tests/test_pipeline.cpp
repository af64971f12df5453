// The render pipeline in pixels: the view with its frame and eight copies, the output targets,
// the preview surface, drawing over the old tile, missing brushes, and the mirror symmetry that
// makes a tile seamless. Expected values come from the geometry and the renderer's numeric model:
// texel centres on pixel centres, bilinear weights in 1/256, products rounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "archive/VornImages.h"
#include "engine/VornCanvas.h"
#include "engine/VornTextures.h"
#include "engine/soft/SoftDevice.h"
#include "export/TileExport.h"
#include "gen/Generator.h"
#include "gen/OutputTexture.h"
#include "support/PngDecode.h"
#include "support/TempDir.h"

using namespace vorn;

namespace {

const std::string BuiltArchive = PALLIMOR_BUILD_DIR "/vorn.dat";

// A target's texels as 0xAARRGGBB, rows top first.
struct TImage {
    int size = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * size + x)]; }
    std::uint32_t& At(int x, int y) { return pixels[static_cast<std::size_t>(y * size + x)]; }
};

TImage ReadTarget(const TGenerator& g, int index) {
    const TRenderTarget* target = g.Textures->GetTarget(index);
    TImage image;
    if (!target) return image;
    TBitmap32 bitmap;
    if (!CopyToBitmap(*g.Textures, index, target->Width(), bitmap)) return image;
    image.size = target->Width();
    image.pixels.resize(static_cast<std::size_t>(image.size) * image.size);
    for (int y = 0; y < image.size; ++y) {
        const std::uint8_t* row = bitmap.Row(y);
        for (int x = 0; x < image.size; ++x) {
            const std::uint8_t* p = row + 4 * x; // blue, green, red, alpha
            image.At(x, y) =
                std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
        }
    }
    return image;
}

::testing::AssertionResult SameImage(const TImage& actual, const TImage& expected,
                                     std::uint32_t mask = 0xFFFFFFFFu) {
    if (actual.size != expected.size) {
        return ::testing::AssertionFailure() << "size " << actual.size << " instead of " << expected.size;
    }
    for (int y = 0; y < actual.size; ++y) {
        for (int x = 0; x < actual.size; ++x) {
            if ((actual.At(x, y) & mask) != (expected.At(x, y) & mask)) {
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << ", " << y << "): " << std::hex << actual.At(x, y)
                       << " instead of " << expected.At(x, y);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// A generator started headless on the built archive.
std::unique_ptr<TGenerator> Start(const TGenSettingsSource& settings, TGenHooks* hooks = nullptr,
                                  sd::HostSink* sink = nullptr) {
    auto g = std::make_unique<TGenerator>(settings, hooks);
    g->ComponentsInit();
    const TStartupResult result = g->Startup(sink, BuiltArchive);
    EXPECT_EQ(result.failure, TStartupFailure::None);
    return g;
}

void Paint(TGenerator& g, int index, TCanvasColor clear, const std::function<void(TVornCanvas&)>& draw) {
    ASSERT_TRUE(g.Textures->RenderIntoTarget(
        index, clear, [&](TVornTextures*) { draw(*g.Canvas); }, true));
}

// Canvas colours (0xAABBGGRR) of the quadrants of a test tile, and what reads back (0xAARRGGBB).
constexpr TCanvasColor QuadrantCanvas[4] = {0xFF3020D0u, 0xFF40E010u, 0xFFC05020u, 0xFF808080u};
constexpr std::uint32_t QuadrantArgb[4] = {0xFFD02030u, 0xFF10E040u, 0xFF2050C0u, 0xFF808080u};

void PaintQuadrants(TGenerator& g) {
    Paint(g, 1, 0, [](TVornCanvas& c) {
        for (int q = 0; q < 4; ++q)
            c.FillSolidRect(q % 2 * 512, q / 2 * 512, 512, 512, QuadrantCanvas[q], beOpaque);
    });
}

// One texel of an f : 1 reduction: the sample point of pixel p lies half-way between texels
// f p + f/2 - 1 and f p + f/2, so each channel is the rounded mean of those 2 x 2 texels.
std::uint32_t Reduced(const TImage& tile, int f, int px, int py) {
    const int x = f * px + f / 2 - 1, y = f * py + f / 2 - 1;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t sum = (tile.At(x, y) >> shift & 0xFF) + (tile.At(x + 1, y) >> shift & 0xFF) +
                                  (tile.At(x, y + 1) >> shift & 0xFF) +
                                  (tile.At(x + 1, y + 1) >> shift & 0xFF);
        out |= ((sum + 2) >> 2) << shift;
    }
    return out;
}

TImage Reduce(const TImage& tile, int size) {
    TImage out{size, std::vector<std::uint32_t>(static_cast<std::size_t>(size) * size)};
    const int f = tile.size / size;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) out.At(x, y) = f == 1 ? tile.At(x, y) : Reduced(tile, f, x, y);
    return out;
}

// The view target drawn from tile: a grey frame (0x80 outside, 0xA0 inside), eight 64 x 64
// copies in the cells 6..197 and the centre cell left clear; for a tile that repeats across one
// axis only, the three cells in the middle line along that axis.
TImage ExpectedView(const TImage& tile, std::uint32_t clear = 0, int tiling = tmMirror) {
    TImage view{256, std::vector<std::uint32_t>(256 * 256, clear)};
    for (int i = 0; i < 2; ++i) {
        const int lo = 2 + i, hi = 201 - i;
        const std::uint32_t grey = i == 0 ? 0xFF808080u : 0xFFA0A0A0u;
        for (int k = lo; k <= hi; ++k)
            view.At(k, lo) = view.At(k, hi) = view.At(lo, k) = view.At(hi, k) = grey;
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const bool shown = tiling == tmWrapX ? j == 1 : tiling == tmWrapY ? i == 1 : !(i == 1 && j == 1);
            if (!shown) continue;
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    view.At(6 + 64 * i + x, 6 + 64 * j + y) = Reduced(tile, 16, x, y);
        }
    return view;
}

class TCapturingSink final : public sd::HostSink {
public:
    TImage frame;
    int frames = 0;
    void PresentImage(const std::uint32_t* pixels, int width, int height, int pitchBytes) override {
        ++frames;
        frame.size = width;
        frame.pixels.assign(static_cast<std::size_t>(width) * height, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                frame.At(x, y) =
                    pixels[static_cast<std::size_t>(y) * (static_cast<std::size_t>(pitchBytes) / 4) + x];
    }
};

std::uint64_t Fnv1a(const TImage& image) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (const std::uint32_t p : image.pixels) {
        for (int shift = 0; shift < 32; shift += 8) {
            h ^= p >> shift & 0xFF;
            h *= 0x100000001B3ull;
        }
    }
    return h;
}

} // namespace

TEST(PipelineView, FrameEightCopiesAndAnEmptyCentreCell) {
    TGenSettings settings;
    auto g = Start(settings);
    PaintQuadrants(*g);
    const TImage tile = ReadTarget(*g, 1);
    ASSERT_EQ(tile.At(100, 100), QuadrantArgb[0]);
    ASSERT_EQ(tile.At(1000, 1000), QuadrantArgb[3]);
    ASSERT_TRUE(g->Textures->RenderIntoTarget(
        0, 0x12345678u, [&](TVornTextures* s) { g->ViewRender(s); }, true));
    const TImage view = ReadTarget(*g, 0);
    // Each copy shows the four quadrants as 32 x 32 blocks.
    EXPECT_EQ(view.At(6 + 10, 6 + 10), QuadrantArgb[0]);
    EXPECT_EQ(view.At(134 + 40, 6 + 10), QuadrantArgb[1]);
    EXPECT_EQ(view.At(6 + 10, 134 + 40), QuadrantArgb[2]);
    EXPECT_EQ(view.At(100, 100), 0x12785634u); // the centre cell keeps the clear colour
    EXPECT_EQ(view.At(2, 2), 0xFF808080u);
    EXPECT_EQ(view.At(200, 3), 0xFFA0A0A0u);
    EXPECT_EQ(view.At(4, 100), 0x12785634u);
    const TImage expected = ExpectedView(tile, 0x12785634u);
    EXPECT_TRUE(SameImage(view, expected));
}

// The pane follows the axes the tile was drawn with, not the Tiling chosen since: the settings
// stay Mirror while tiles of each kind are put back.
TEST(PipelineView, ATileRepeatingAcrossOneAxisIsShownAsThreeCopiesAlongIt) {
    for (const int tiling : {tmWrapX, tmWrapY, tmWrap}) {
        TGenSettings settings;
        auto g = Start(settings);
        PaintQuadrants(*g);
        std::vector<std::uint32_t> texels;
        ASSERT_TRUE(g->ReadTile(texels));
        const TImage tile = ReadTarget(*g, 1);
        ASSERT_TRUE(g->ShowTile(texels, 0, TileAxesOf(tiling)));
        ASSERT_TRUE(g->Textures->RenderIntoTarget(
            0, 0x12345678u, [&](TVornTextures* s) { g->ViewRender(s); }, true));
        EXPECT_TRUE(SameImage(ReadTarget(*g, 0), ExpectedView(tile, 0x12785634u, tiling)))
            << "tiling " << tiling;
    }
}

// A Keep generation keeps the axes both it and the tile under it repeat across.
TEST(PipelineView, AKeepChainRepeatsAcrossTheAxesEveryLinkSharesAndAClearOneStartsAgain) {
    const struct {
        int first, second, image;
        TTileAxes axes;
    } cases[] = {
        {tmWrapX, tmWrapY, 1, {false, false}},
        {tmWrap, tmWrapX, 1, {true, false}},
        {tmMirror, tmWrapY, 1, {false, true}},
        {tmWrapX, tmWrapY, 0, {false, true}},
    };
    for (const auto& c : cases) {
        TGenSettings settings;
        settings.steps = 0;
        settings.tiling = c.first;
        auto g = Start(settings);
        ASSERT_TRUE(g->FirstRender());
        EXPECT_EQ(g->TileAxes(), TileAxesOf(c.first));
        settings.tiling = c.second;
        settings.image = c.image;
        ASSERT_TRUE(g->Generate());
        EXPECT_EQ(g->TileAxes(), c.axes) << c.first << " then " << c.second << " image " << c.image;
    }
}

TEST(PipelineOutput, EachSizeIsTheWholeTileInItsOwnTargetAndASizeChangeRedrawsOnlyThatOne) {
    TGenSettings settings;
    auto g = Start(settings);
    g->FirstRender(); // tile, view and the output target of the start size 256
    const TImage tile = ReadTarget(*g, 1);
    EXPECT_TRUE(SameImage(ReadTarget(*g, 0), ExpectedView(tile)));
    EXPECT_TRUE(SameImage(ReadTarget(*g, 4), Reduce(tile, 256)));
    const TCanvasColor marker = 0x5A6B7C8Du;
    const auto markAll = [&] {
        for (int i = 2; i <= 6; ++i) Paint(*g, i, marker, [](TVornCanvas&) {});
    };
    const auto marked = [&](int index) {
        const TImage t = ReadTarget(*g, index);
        return std::all_of(t.pixels.begin(), t.pixels.end(),
                           [](std::uint32_t p) { return p == 0x5A8D7C6Bu; });
    };
    const struct {
        bool up;
        int size, index;
    } moves[] = {{true, 512, 3},  {true, 1024, 2}, {false, 512, 3}, {false, 256, 4},
                 {false, 128, 5}, {false, 64, 6},  {false, 64, 6}};
    g->SizeUp();
    g->SizeDown();
    for (const auto& move : moves) {
        markAll();
        move.up ? g->SizeUp() : g->SizeDown();
        ASSERT_EQ(g->TextureSize, move.size);
        for (int i = 2; i <= 6; ++i) {
            if (i == move.index) {
                EXPECT_TRUE(SameImage(ReadTarget(*g, i), Reduce(tile, move.size))) << "size " << move.size;
            } else {
                EXPECT_TRUE(marked(i)) << "target " << i << " redrawn by a move to " << move.size;
            }
        }
        EXPECT_TRUE(SameImage(ReadTarget(*g, 1), tile));
    }
}

TEST(PipelineSurface, TheTileAtHalfSizeAndThePaneInTheLowerRightCorner) {
    TGenSettings settings;
    TCapturingSink sink;
    auto g = Start(settings, nullptr, &sink);
    g->FirstRender();
    PaintQuadrants(*g);
    ASSERT_TRUE(g->Textures->RenderIntoTarget(
        0, 0, [&](TVornTextures* s) { g->ViewRender(s); }, true));
    const TImage tile = ReadTarget(*g, 1);
    const TImage view = ReadTarget(*g, 0);

    g->MarkDirty();
    g->TimerTimer();
    ASSERT_EQ(sink.frames, 1);
    const TImage half = Reduce(tile, 512);
    EXPECT_TRUE(SameImage(sink.frame, half, 0x00FFFFFFu));

    g->PreviewPaneVisible = true;
    g->MarkDirty();
    g->TimerTimer();
    ASSERT_EQ(sink.frames, 2);
    TImage expected = half;
    for (int y = 308; y < 512; ++y)
        for (int x = 308; x < 512; ++x) expected.At(x, y) = view.At(x - 308, y - 308);
    EXPECT_TRUE(SameImage(sink.frame, expected, 0x00FFFFFFu));
    // The outlines land at 310..510, the copies at 314..506, the empty centre cell at 378..441.
    EXPECT_EQ(sink.frame.At(310, 400) & 0xFFFFFF, 0x808080u);
    EXPECT_EQ(sink.frame.At(311, 400) & 0xFFFFFF, 0xA0A0A0u);
    EXPECT_EQ(sink.frame.At(400, 400) & 0xFFFFFF, 0u);
    EXPECT_EQ(sink.frame.At(320, 320) & 0xFFFFFF, QuadrantArgb[0] & 0xFFFFFF);
}

namespace {

// Reads the DrawRotatedScaled lines of a trace: image, x, y, scale.
struct TStampLine {
    int image;
    double x, y, scale;
};

std::vector<TStampLine> StampsOf(std::FILE* trace) {
    std::vector<TStampLine> stamps;
    std::rewind(trace);
    char line[512];
    while (std::fgets(line, sizeof line, trace)) {
        TStampLine s{};
        unsigned color = 0, effect = 0;
        double angle = 0;
        int pattern = 0;
        if (std::sscanf(line, "DrawRotatedScaled %d %x %lf %lf %lf %lf %d %x", &s.image, &color, &s.x, &s.y,
                        &angle, &s.scale, &pattern, &effect) == 8) {
            stamps.push_back(s);
        }
    }
    return stamps;
}

// Pixels a stamp may touch: the quad's corners as the canvas places them (rounded, less half a
// pixel), widened by one pixel on each side.
std::vector<bool> CoveredBy(const std::vector<TStampLine>& stamps, const TVornImages& images) {
    std::vector<bool> covered(1024 * 1024, false);
    for (const TStampLine& s : stamps) {
        const TVornImage* image = images.Item(s.image);
        if (!image) continue;
        const auto span = [&](double centre, int visible, int& lo, int& hi) {
            const float half = static_cast<float>(-visible * 0.5f * s.scale);
            lo = static_cast<int>(std::nearbyint(static_cast<float>(half + static_cast<float>(centre)))) - 1;
            hi = static_cast<int>(std::nearbyint(static_cast<float>(-half + static_cast<float>(centre))));
        };
        int x0, x1, y0, y1;
        span(s.x, image->VisibleSize().Width, x0, x1);
        span(s.y, image->VisibleSize().Height, y0, y1);
        for (int y = std::max(0, y0); y <= std::min(1023, y1); ++y)
            for (int x = std::max(0, x0); x <= std::min(1023, x1); ++x)
                covered[static_cast<std::size_t>(y * 1024 + x)] = true;
    }
    return covered;
}

struct TTrace {
    std::FILE* file = std::tmpfile();
    ~TTrace() {
        if (file) std::fclose(file);
    }
};

} // namespace

TEST(PipelineTile, KeepDrawsOverTheOldTileAndTheFirstTextureStartsFromTransparentBlack) {
    TGenSettings settings;
    settings.image = 1; // Keep
    settings.brushSize = 0;
    settings.brushType = 0;
    settings.effect = 0;
    settings.steps = 0;
    auto g = Start(settings);
    const TTrace trace;
    ASSERT_NE(trace.file, nullptr);
    g->SetTrace(trace.file);
    PaintQuadrants(*g);
    const TImage before = ReadTarget(*g, 1);
    random::SetSeed(2);
    ASSERT_TRUE(g->Generate());
    const TImage after = ReadTarget(*g, 1);
    const std::vector<bool> covered = CoveredBy(StampsOf(trace.file), *g->Images);
    int untouched = 0;
    for (int i = 0; i < 1024 * 1024; ++i) {
        if (covered[static_cast<std::size_t>(i)]) continue;
        ++untouched;
        ASSERT_EQ(after.pixels[static_cast<std::size_t>(i)], before.pixels[static_cast<std::size_t>(i)])
            << "pixel (" << i % 1024 << ", " << i / 1024 << ") outside every stamp changed";
    }
    EXPECT_GT(untouched, 10000);
    EXPECT_NE(Fnv1a(after), Fnv1a(before));

    // The same with the first texture: the tile is cleared to transparent black first.
    std::rewind(trace.file);
    ASSERT_EQ(::ftruncate(::fileno(trace.file), 0), 0);
    random::SetSeed(2);
    g->FirstRender();
    const TImage first = ReadTarget(*g, 1);
    const std::vector<bool> firstCovered = CoveredBy(StampsOf(trace.file), *g->Images);
    for (int i = 0; i < 1024 * 1024; ++i) {
        if (firstCovered[static_cast<std::size_t>(i)]) continue;
        ASSERT_EQ(first.pixels[static_cast<std::size_t>(i)], 0u)
            << "pixel (" << i % 1024 << ", " << i / 1024 << ")";
    }
}

// Without a fill a Clear texture starts from a transparent tile, whatever the tile held: where
// no stamp lies the exported PNG (RGBA) is transparent, under the stamps it is not; a JPEG gets
// the BG Color beneath and says so.
TEST(PipelineTile, NoFillKeepsTheTilesAlphaIntoAnRgbaPng) {
    TGenSettings settings;
    settings.bgFill = BGFillNone;
    settings.bgForm = 0;
    settings.brushSize = 0;
    settings.brushType = 0;
    settings.steps = 0;
    auto g = Start(settings);
    g->TextureSize = 1024;
    const TTrace trace;
    ASSERT_NE(trace.file, nullptr);
    g->SetTrace(trace.file);
    PaintQuadrants(*g);
    random::SetSeed(2);
    ASSERT_TRUE(g->Generate());
    EXPECT_TRUE(g->TileTransparent());
    const std::vector<bool> covered = CoveredBy(StampsOf(trace.file), *g->Images);

    const test::TempDir dir;
    const TExportResult png = ExportOutputTexture(*g, dir / "t.png", 95);
    ASSERT_TRUE(png.ok) << png.error;
    EXPECT_TRUE(png.note.empty());
    const test::Bytes file = test::ReadFile(dir / "t.png");
    ASSERT_GT(file.size(), 25u);
    EXPECT_EQ(file[25], 6); // colour type RGBA
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, file.data(), file.size()));
    image.format = PNG_FORMAT_RGBA;
    test::Bytes rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
    ASSERT_EQ(rgba.size(), 4u * 1024 * 1024);
    int seen = 0;
    for (std::size_t i = 0; i < covered.size(); ++i) {
        const std::uint8_t alpha = rgba[4 * i + 3];
        if (!covered[i]) {
            ASSERT_EQ(alpha, 0) << "pixel (" << i % 1024 << ", " << i / 1024 << ")";
        }
        seen += covered[i] && alpha > 0;
    }
    EXPECT_GT(seen, 10000);

    const TExportResult jpeg = ExportOutputTexture(*g, dir / "t.jpg", 95);
    ASSERT_TRUE(jpeg.ok) << jpeg.error;
    EXPECT_EQ(jpeg.note, "JPEG holds no transparency: written over the BG Color");

    // A BG Color picked afterwards changes nothing of this texture: it stays what its recipe makes.
    TBitmap32 before, after;
    ASSERT_TRUE(ReadOutputTexture(*g, before));
    g->BackgroundColor = ~g->BackgroundColor | 0xFF000000u;
    ASSERT_TRUE(ReadOutputTexture(*g, after));
    EXPECT_TRUE(std::equal(before.Bits(), before.Bits() + before.Pitch() * std::size_t(before.Height()),
                           after.Bits()));
}

TEST(PipelineTile, MissingBrushesDrawNothingAndKeepTheRandomSequence) {
    TGenSettings settings;
    settings.bgFill = 0; // plain colour only
    settings.bgForm = 0;
    auto full = Start(settings);
    auto sparse = Start(settings);
    for (int i = sparse->Images->Count() - 1; i >= 2; --i) sparse->Images->RemoveImage(i);
    ASSERT_EQ(sparse->Images->Count(), 2);
    const TTrace a, b;
    full->SetTrace(a.file);
    sparse->SetTrace(b.file);
    random::SetSeed(77);
    full->FirstRender();
    const std::uint32_t afterFull = random::Seed();
    random::SetSeed(77);
    sparse->FirstRender();
    EXPECT_EQ(random::Seed(), afterFull);
    const auto text = [](std::FILE* f) {
        std::rewind(f);
        std::string s;
        for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
        return s;
    };
    EXPECT_EQ(text(a.file), text(b.file));
    // Only the background is left: the start colour, opaque, everywhere.
    const TImage tile = ReadTarget(*sparse, 1);
    for (std::size_t i = 0; i < tile.pixels.size(); ++i) ASSERT_EQ(tile.pixels[i], 0xFF0080FFu) << i;
}

// Seamless tiling. The four stamps of a step sit at x and 1024 - x (likewise y). A textured quad
// of width w centred at c gets its vertices at Round(c -/+ w/2) - 0.5, so it covers the pixel
// centres Round(c - w/2) .. Round(c + w/2) - 1; at 1024 - c that becomes 1024 - Round(c + w/2) ..
// 1023 - Round(c - w/2): the mirror image under x -> 1023 - x. The same holds for the centred
// squares (pixels Left .. Left + Width - 1) and the circles. So the symmetry of the tile is
// pixel x <-> pixel 1023 - x (and y <-> 1023 - y): the tile's outer columns repeat each other
// and the edges meet without a seam. It holds exactly because every stamp samples its brush at
// mirrored points with mirrored weights (the renderer rounds a sample's 1/256 weights to nearest,
// so a fraction f and its mirror 1 - f get w and 256 - w, at any scale: 1, 1.4, 2 and the soft
// brushes' free scales) and when the draws commute (Add, Sub, Max), or, for the order-dependent
// effects, away from the centre lines where a stamp and its mirror image overlap and are blended
// in a different order. Shift's fractional offsets
// cancel out: the quad corners are rounded before drawing. The gradients are symmetric about
// pixels 0 and 512 instead (x <-> 1024 - x): the halves are interpolated between vertices at 0,
// 512 and 1024, so against x <-> 1023 - x they are off by at most one step.
namespace {

struct TMirror {
    int differing = 0; // pixels unequal to their mirror image
    int maxChannel = 0;
    int firstX = -1, firstY = -1;
};

// Compares each pixel with its mirror image about the vertical (axis 0) or horizontal centre
// line, x -> pivot - x; pixels within band of the centre line are skipped.
TMirror Mirror(const TImage& t, int axis, int pivot, int band = 0) {
    TMirror m;
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x) {
            const int along = axis == 0 ? x : y;
            const int image = ((pivot - along) % 1024 + 1024) % 1024;
            if (std::abs(2 * along - 1023) <= 2 * band) continue;
            const std::uint32_t a = t.At(x, y), b = axis == 0 ? t.At(image, y) : t.At(x, image);
            if (a == b) continue;
            if (m.differing++ == 0) m.firstX = x, m.firstY = y;
            for (int shift = 0; shift < 32; shift += 8)
                m.maxChannel =
                    std::max(m.maxChannel, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
        }
    return m;
}

TImage Tile(const TGenSettings& settings, std::uint32_t seed, bool brushes = true) {
    auto g = Start(settings);
    if (!brushes)
        for (int i = g->Images->Count() - 1; i >= 2; --i) g->Images->RemoveImage(i);
    random::SetSeed(seed);
    g->FirstRender();
    return ReadTarget(*g, 1);
}

std::string Describe(const TMirror& m) {
    std::ostringstream s;
    s << m.differing << " pixels differ, by up to " << m.maxChannel << ", first at (" << m.firstX << ", "
      << m.firstY << ")";
    return s.str();
}

} // namespace

TEST(PipelineSeamless, CommutingEffectsWithHardBrushesAreExactlySymmetric) {
    const int effects[] = {1, 2, 6}; // Add, Sub, Max
    std::uint32_t seed = 10;
    for (const int effect : effects) {
        for (const int brushSize : {0, 3}) {
            TGenSettings s;
            s.steps = 0;
            s.effect = effect;
            s.brushType = 0;
            s.brushSize = brushSize;
            s.bgFill = 0;
            s.bgForm = 2; // centred squares
            const TImage tile = Tile(s, ++seed);
            for (const int axis : {0, 1}) {
                const TMirror m = Mirror(tile, axis, 1023);
                EXPECT_EQ(m.differing, 0) << "effect " << effect << " size " << brushSize << " seed " << seed
                                          << " axis " << axis << ": " << Describe(m);
            }
            // x <-> 1024 - x is not the tile's symmetry.
            EXPECT_GT(Mirror(tile, 0, 1024).differing, 0);
        }
    }
}

TEST(PipelineSeamless, OrderDependentEffectsAreExactlySymmetricAwayFromTheCentreLines) {
    const struct {
        int effect;
        int band; // half the widest stamp, its offset, and a pixel
    } cases[] = {{0, 33}, {3, 33}, {4, 33}, {5, 33}, {7, 64 + 16 + 2}};
    std::uint32_t seed = 40;
    for (const auto& c : cases) {
        TGenSettings s;
        s.steps = 0;
        s.effect = c.effect;
        s.brushType = 0;
        s.brushSize = 2; // 64
        s.bgFill = 0;
        s.bgForm = 2;
        const TImage tile = Tile(s, ++seed);
        for (const int axis : {0, 1}) {
            const TMirror outside = Mirror(tile, axis, 1023, c.band);
            EXPECT_EQ(outside.differing, 0)
                << "effect " << c.effect << " axis " << axis << ": " << Describe(outside);
        }
    }
}

TEST(PipelineSeamless, FreeScalesAreExactlySymmetricToo) {
    // Glow and Stroke halos at 1.4, soft brushes at any scale, circles at any scale: a pixel and
    // its mirror image sample the brush at x and W - 1 - x with weights w and 256 - w, so they get
    // the same value; only the order-dependent effects differ near the centre lines.
    const struct {
        int effect, type, form, fill;
    } cases[] = {{8, 0, 0, 0}, {9, 0, 0, 0}, {1, 1, 0, 0}, {6, 1, 1, 0}, {9, 1, 3, 0}, {2, 1, 3, 0}};
    std::uint32_t seed = 70;
    for (const auto& c : cases) {
        TGenSettings s;
        s.steps = c.effect == 2 ? 2048 : 0; // one long walk too
        s.effect = c.effect;
        s.brushType = c.type;
        s.bgForm = c.form;
        s.bgFill = c.fill;
        const TImage tile = Tile(s, ++seed);
        for (const int axis : {0, 1}) {
            const TMirror m =
                Mirror(tile, axis, 1023, c.effect == 1 || c.effect == 2 || c.effect == 6 ? 0 : 93);
            EXPECT_EQ(m.differing, 0) << "effect " << c.effect << " type " << c.type << ": " << Describe(m);
        }
    }
}

TEST(PipelineSeamless, GradientsAreSymmetricAboutTheirVerticesAndOneStepOffTheStampsSymmetry) {
    for (const int fill : {1, 2}) {
        TGenSettings s;
        s.bgFill = fill;
        s.bgForm = 0;
        const int axis = fill == 1 ? 0 : 1;
        const TImage background = Tile(s, 5, false);
        EXPECT_EQ(Mirror(background, axis, 1024).differing, 0) << Describe(Mirror(background, axis, 1024));
        const TMirror stamps = Mirror(background, axis, 1023);
        EXPECT_GT(stamps.differing, 0);
        EXPECT_LE(stamps.maxChannel, 1) << Describe(stamps);
        EXPECT_EQ(Mirror(background, 1 - axis, 1023).differing, 0); // constant along the other axis

        s.steps = 0;
        s.effect = 1; // with Add stamps on top the difference stays one step
        s.brushType = 0;
        const TMirror both = Mirror(Tile(s, 5), axis, 1023);
        EXPECT_LE(both.maxChannel, 1) << Describe(both);
    }
}

// Wrap tiling: the tile repeats by shifted copies instead of mirror images. A seam shows as a
// pair of neighbouring columns (rows) that differ far more than the tile's own neighbours do.
// Rolled by half its side, the tile's edge pair 1023 | 0 comes to the middle; for a seamless tile
// it is one more pair of the repeated texture, no worse than the worst pair inside. Drawn without
// its copies, a stamp cut at an edge leaves the opposite edge unrelated to it, and the pair stands
// out.
namespace {

// Sum over the other axis of the channel differences between lines a and b (columns for axis 0).
long LineDifference(const TImage& t, int axis, int a, int b) {
    long sum = 0;
    for (int k = 0; k < 1024; ++k) {
        const std::uint32_t p = axis == 0 ? t.At(a, k) : t.At(k, a);
        const std::uint32_t q = axis == 0 ? t.At(b, k) : t.At(k, b);
        for (int shift = 0; shift < 32; shift += 8)
            sum += std::abs(int(p >> shift & 0xFF) - int(q >> shift & 0xFF));
    }
    return sum;
}

// The largest difference of two neighbouring lines inside the tile.
long WorstPair(const TImage& t, int axis) {
    long worst = 0;
    for (int k = 0; k + 1 < 1024; ++k) worst = std::max(worst, LineDifference(t, axis, k, k + 1));
    return worst;
}

// The tile rolled by half its side along both axes: its edges come to the middle.
TImage HalfShifted(const TImage& t) {
    TImage out = t;
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x) out.At(x, y) = t.At((x + 512) % 1024, (y + 512) % 1024);
    return out;
}

} // namespace

TEST(PipelineWrap, WrappedTilesHaveNoSeamAcrossTheirTiledEdgesAndNoMirrorSymmetry) {
    const struct {
        int tiling, effect, type, form, fill;
    } cases[] = {
        {tmWrap, 9, 0, 2, 1},  // Stroke halos, hard brushes, squares, horizontal gradient
        {tmWrap, 7, 1, 1, 2},  // Shift copies, soft brushes, circles, vertical gradient
        {tmWrapX, 0, 0, 3, 3}, // across x only
        {tmWrapY, 8, 1, 3, 3}, // across y only
    };
    std::uint32_t seed = 90;
    for (const auto& c : cases) {
        TGenSettings s;
        s.tiling = c.tiling;
        s.steps = 0;
        s.effect = c.effect;
        s.brushType = c.type;
        s.brushSize = 3; // 128: many stamps cross the edges
        s.bgForm = c.form;
        s.bgFill = c.fill;
        const TImage tile = Tile(s, ++seed);
        const TImage shifted = HalfShifted(tile);
        for (const int axis : {0, 1}) {
            if (!(axis == 0 ? TilesAcrossX(c.tiling) : TilesAcrossY(c.tiling))) continue;
            // Shifted, the old edge pair lies in the middle, among the pairs the tile has inside.
            EXPECT_LE(WorstPair(shifted, axis), WorstPair(tile, axis))
                << "tiling " << c.tiling << " axis " << axis << " seed " << seed << ": edge pair "
                << LineDifference(tile, axis, 1023, 0);
            EXPECT_GT(Mirror(tile, axis, 1023).differing, 1024 * 512)
                << "tiling " << c.tiling << " axis " << axis << ": the mirror symmetry stayed";
        }
    }
}

// Checksums of seeded tiles, taken from a run of this implementation: they guard against an
// accidental change of the random draws, the drawing calls or the renderer. A deliberate
// change updates them.
TEST(PipelineGolden, SeededTilesKeepTheirChecksums) {
    TGenSettings shift;
    shift.steps = 0;
    shift.brushSize = 3;
    shift.brushType = 0;
    shift.effect = 7;
    TGenSettings keepAdd;
    keepAdd.steps = 0;
    keepAdd.image = 1;
    keepAdd.effect = 1;
    keepAdd.brushSize = 0;
    const struct {
        const char* name;
        TGenSettings settings;
        std::uint32_t seed;
        std::uint64_t checksum;
    } cases[] = {
        {"default", TGenSettings{}, 1, 0xF012136E800A886Aull},
        {"shift", shift, 2, 0x9380EB9A01EED025ull},
        {"keep add", keepAdd, 3, 0xD0CF415C98B62945ull},
    };
    for (const auto& c : cases) {
        const std::uint64_t checksum = Fnv1a(Tile(c.settings, c.seed));
        EXPECT_EQ(checksum, c.checksum) << c.name << ": 0x" << std::hex << checksum;
    }
}
