#include "gen/Pattern.h"

#include <algorithm>
#include <string_view>

#include "gen/PatternBricks.h"
#include "gen/PatternCells.h"
#include "gen/PatternGrain.h"
#include "gen/PatternNoise.h"
#include "gen/PatternScratches.h"
#include "gen/PatternWeave.h"
#include "io/RowBands.h"

namespace vorn {

namespace {

// Built on first use: the kinds' parameter tables live in other units, and tables of options built
// while the program starts read this one.
std::span<const TPatternKindInfo> KindTable() {
    static const TPatternKindInfo table[] = {
        {TPatternKind::Noise, "noise",
         "value or gradient noise in octaves: plain, ridged or billowed, warped", NoiseParams(), DrawNoise},
        {TPatternKind::Cells, "cells", "Voronoi cells: stones, cobbles, scales, cracks", CellsParams(),
         DrawCells},
        {TPatternKind::Bricks, "bricks",
         "bricks and tiles in rows with mortar: walls, floors, roofs, planks, panels", BricksParams(),
         DrawBricks},
        {TPatternKind::Weave, "weave", "threads over and under: fabric, wicker, mesh", WeaveParams(),
         DrawWeave},
        {TPatternKind::Grain, "grain", "rings and fibres bent by noise: wood, bark", GrainParams(),
         DrawGrain},
        {TPatternKind::Scratches, "scratches", "many fine lines: brushed and worn metal, grime streaks",
         ScratchesParams(), DrawScratches},
    };
    return table;
}

} // namespace

void TPatternField::ResizeBand(int side, int first, int count_) {
    size = side;
    firstRow = first;
    rows = count_;
    const std::size_t count = std::size_t(side) * std::size_t(count_);
    tone.resize(count);
    height.resize(count);
    roughness.resize(count);
}

std::span<const TPatternKindInfo> PatternKinds() {
    return KindTable();
}

const TPatternKindInfo& PatternKindInfo(TPatternKind kind) {
    return KindTable()[std::size_t(kind)];
}

const TPatternKindInfo* FindPatternKind(std::string_view name) {
    for (const TPatternKindInfo& info : KindTable())
        if (name == info.name) return &info;
    return nullptr;
}

TPatternParams DefaultPattern(TPatternKind kind, std::uint32_t seed, TTileAxes axes) {
    TPatternParams params;
    params.kind = kind;
    params.seed = seed;
    params.axes = axes;
    const std::span<const TPatternParam> table = PatternKindInfo(kind).params;
    for (std::size_t i = 0; i < table.size(); ++i) params.values[i] = table[i].defaultValue;
    return params;
}

namespace {

TPatternParams Clamped(const TPatternParams& params, const TPatternKindInfo& info) {
    TPatternParams clamped = params;
    for (std::size_t i = 0; i < info.params.size(); ++i)
        clamped.values[i] = std::clamp(params.values[i], info.params[i].min, info.params[i].max);
    return clamped;
}

// Clears rows y0 .. y1 - 1 of field (every kind draws over zeros), then draws them.
void ClearAndDraw(const TPatternKindInfo& info, const TPatternParams& clamped, int size, int y0, int y1,
                  TPatternField& field) {
    const std::size_t count = std::size_t(y1 - y0) * std::size_t(size);
    for (float* plane : {field.Tone(y0), field.Height(y0), field.Roughness(y0)})
        std::fill_n(plane, count, 0.0f);
    info.draw(clamped, size, y0, y1, field);
}

} // namespace

void DrawPattern(const TPatternParams& params, int size, TPatternField& field, int threads) {
    const TPatternKindInfo& info = PatternKindInfo(params.kind);
    const TPatternParams clamped = Clamped(params, info);
    field.Resize(size);
    // Each band touches its rows first, on its own thread.
    RunBands(size, BandCount(threads, size), [&](int, std::int32_t y0, std::int32_t y1) {
        ClearAndDraw(info, clamped, size, y0, y1, field);
    });
}

void DrawPatternRows(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field) {
    const TPatternKindInfo& info = PatternKindInfo(params.kind);
    field.ResizeBand(size, rowBegin, rowEnd - rowBegin);
    ClearAndDraw(info, Clamped(params, info), size, rowBegin, rowEnd, field);
}

void ColourPatternRow(const float* tone, int count, const TPalette& palette, std::uint8_t* bgra) {
    static const std::vector<std::uint32_t> Greys{0x000000u, 0xFFFFFFu};
    // The palette as the synthesis reads it (UsablePalette), without copying it for every row.
    const std::size_t n = palette.colors.size();
    const bool usable = n >= std::size_t(MinPaletteColors) && n <= std::size_t(MaxPaletteColors);
    const std::vector<std::uint32_t>& colors = usable ? palette.colors : Greys;
    const int last = int(colors.size()) - 1;
    for (int i = 0; i < count; ++i, bgra += 4) {
        // The position along the palette in 1/256 of the step between two colours.
        const float t = std::clamp(tone[i], 0.0f, 1.0f);
        const int at = int(t * float(last * 256) + 0.5f);
        const int k = std::min(at >> 8, last), w = k == last ? 0 : at & 255;
        const std::uint32_t a = colors[std::size_t(k)], b = colors[std::size_t(std::min(k + 1, last))];
        // (a (256 - w) + b w + 128) / 256 per channel: a at w = 0, b's side rounded half up.
        const auto mix = [w](std::uint32_t x, std::uint32_t y) {
            return std::uint8_t((x * std::uint32_t(256 - w) + y * std::uint32_t(w) + 128u) >> 8);
        };
        bgra[0] = mix(a & 0xFFu, b & 0xFFu);
        bgra[1] = mix(a >> 8 & 0xFFu, b >> 8 & 0xFFu);
        bgra[2] = mix(a >> 16 & 0xFFu, b >> 16 & 0xFFu);
        bgra[3] = 0xFF;
    }
}

std::uint32_t PatternHash(std::uint32_t seed, std::int32_t a, std::int32_t b, std::int32_t c) {
    // Each input folded in with a multiply-xorshift round (the finaliser of MurmurHash3).
    std::uint32_t h = seed ^ 0x9E3779B9u;
    for (const std::int32_t value : {a, b, c}) {
        h ^= static_cast<std::uint32_t>(value) + 0x7F4A7C15u + (h << 6) + (h >> 2);
        h ^= h >> 16;
        h *= 0x85EBCA6Bu;
        h ^= h >> 13;
        h *= 0xC2B2AE35u;
        h ^= h >> 16;
    }
    return h;
}

float PatternUnit(std::uint32_t hash) {
    return static_cast<float>(hash >> 8) * (1.0f / 16777216.0f); // 24 bits: exact in a float
}

int OctavesAt(int octaves1024, int size) {
    int octaves = octaves1024;
    for (int s = size; s > 1024; s /= 2) ++octaves;
    for (int s = size; s < 1024; s *= 2) --octaves;
    return std::max(octaves, 1);
}

} // namespace vorn
