// Pattern layers: noise, cells, bricks, weave, grain and scratches drawn over the whole tile at the
// output's own resolution from a seed of their own, so that a 4096 pattern carries four times the
// detail of a 1024 one and a recipe remakes it exactly. Texel (i, j) of a size x size field is the
// pattern at u = (i + 0.5) / size, v = (j + 0.5) / size, u and v in [0, 1) across the tile, rows
// top first. Along an axis the tile repeats across, the pattern has the tile as its period; along
// another it does not repeat. Every kind gives a tone (where the palette is read), a height and a
// roughness at each texel. Arithmetic is float or double as each kind says, with no fused
// multiply-add, so that every build draws the same values. No Qt.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "gen/GenParams.h"
#include "gen/Palette.h"

namespace vorn {

enum class TPatternKind { Noise, Cells, Bricks, Weave, Grain, Scratches };

// An allocator that leaves new elements unset, so that the bands drawing a field are the first to
// touch its memory, each its own rows on its own thread (a 4096 field is 192 MiB, and the first
// touch of fresh memory costs more than drawing into it).
template <class T> struct TUnsetAllocator : std::allocator<T> {
    template <class U> struct rebind { using other = TUnsetAllocator<U>; };
    TUnsetAllocator() = default;
    template <class U> TUnsetAllocator(const TUnsetAllocator<U>&) noexcept {}
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... A> void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
};
using TPatternPlane = std::vector<float, TUnsetAllocator<float>>;

// The values of a pattern at the texels of rows firstRow .. firstRow + rows - 1 of a size x size
// tile (every row unless a band of them is drawn), rows top first.
struct TPatternField {
    int size = 0;
    int firstRow = 0, rows = 0;
    TPatternPlane tone;      // 0..1: where the layer reads the palette (a cell's tint, a brick's tone)
    TPatternPlane height;    // 0..1: the relief, 0 deepest (mortar, cracks, grooves), 1 highest
    TPatternPlane roughness; // 0..1: 0 glossy, 1 matt
    // size = side, every row; the values are unset until drawn.
    void Resize(int side) { ResizeBand(side, 0, side); }
    // size = side, rows first .. first + count - 1 only.
    void ResizeBand(int side, int first, int count);
    float* Tone(int row) { return tone.data() + Offset(row); }
    float* Height(int row) { return height.data() + Offset(row); }
    float* Roughness(int row) { return roughness.data() + Offset(row); }

private:
    std::size_t Offset(int row) const { return std::size_t(row - firstRow) * std::size_t(size); }
};

// Most a kind's parameters may be; each kind's table says what its values mean.
inline constexpr int MaxPatternValues = 6;

struct TPatternParams {
    TPatternKind kind = TPatternKind::Noise;
    std::uint32_t seed = 0;
    TTileAxes axes;                                // the edges the pattern repeats across
    std::array<int, MaxPatternValues> values = {}; // in the order of the kind's table
    bool operator==(const TPatternParams&) const = default;
};

// One whole-number parameter of a kind: cells per tile, rows, octaves, ... Values outside
// min..max are clamped before drawing.
struct TPatternParam {
    const char* name; // lower case with '-', as options name it
    int min, max, defaultValue;
    const char* help;
};

struct TPatternKindInfo {
    TPatternKind kind;
    const char* name; // "noise", "cells", ...
    const char* help;
    std::span<const TPatternParam> params; // at most MaxPatternValues
    // Draws rows rowBegin .. rowEnd - 1 of params (values clamped, axes as given) into field, sized
    // already; bands of rows may be drawn at once on several threads.
    void (*draw)(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field);
};

std::span<const TPatternKindInfo> PatternKinds();
const TPatternKindInfo& PatternKindInfo(TPatternKind kind);
const TPatternKindInfo* FindPatternKind(std::string_view name);

// A kind's defaults with seed and axes.
TPatternParams DefaultPattern(TPatternKind kind, std::uint32_t seed, TTileAxes axes = {});

// Draws params at size (64..4096), values clamped to the kind's ranges, in bands of rows on threads
// threads (0: one per processor, at most 8); the values do not depend on the thread count.
void DrawPattern(const TPatternParams& params, int size, TPatternField& field, int threads = 0);
// Draws rows rowBegin .. rowEnd - 1 only into field, sized for them (ResizeBand) on this thread; the
// values are those DrawPattern gives these rows.
void DrawPatternRows(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field);

// A row of tones coloured through palette into count BGRA texels, opaque: the colours spread
// evenly over 0..1 (the first at 0, the last at 1) and mixed linearly between neighbours in steps
// of 1/256; a palette of fewer than two or more than sixteen colours (the walk's own) gives greys
// from black to white.
void ColourPatternRow(const float* tone, int count, const TPalette& palette, std::uint8_t* bgra);

// ---- shared by the kinds ----

// A well-mixed 32-bit hash of the seed and up to three whole numbers (lattice points, cells,
// threads): the same numbers give the same hash on every build.
std::uint32_t PatternHash(std::uint32_t seed, std::int32_t a, std::int32_t b = 0, std::int32_t c = 0);
// The hash as a float in [0, 1).
float PatternUnit(std::uint32_t hash);

// A lattice index along an axis of period cells: wrapped into 0..period - 1 when the axis repeats,
// left as it is otherwise (the lattice then runs on past the tile and the pattern does not repeat).
inline std::int32_t LatticeIndex(std::int32_t index, std::int32_t period, bool repeats) {
    if (!repeats) return index;
    const std::int32_t r = index % period;
    return r < 0 ? r + period : r;
}

// How many octaves of detail a field of size carries when octaves1024 is the count at 1024: one
// more for each doubling of the size, one fewer for each halving, at least 1.
int OctavesAt(int octaves1024, int size);

} // namespace vorn
