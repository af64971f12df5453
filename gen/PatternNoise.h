// Pattern kind noise: value or gradient lattice noise in octaves, plain, ridged or billowed, optionally
// warped; and the periodic noise sampler the other kinds (grain, scratches) build their bending and
// streaks from. See gen/Pattern.h for the field's conventions.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "gen/Pattern.h"

namespace vorn {

enum class TNoiseBasis { Value, Gradient };

// One octave of lattice noise in [-1, 1] at tile position (u, v) with cellsX x cellsY lattice cells
// per tile. Along an axis in axes the lattice wraps with the tile, so the noise repeats; along another
// it runs on. Gradient noise is 0 at every lattice point; value noise takes its hashed value there.
// For a few samples; many samples want a TPeriodicFbm, which keeps its cells between them.
float PeriodicNoise(std::uint32_t seed, double u, double v, int cellsX, int cellsY, TTileAxes axes,
                    TNoiseBasis basis = TNoiseBasis::Gradient);

// Fractal sums of periodic lattice noise: octave k has cellsX << k by cellsY << k cells per tile (so
// each stays periodic) and persistence^k of the first one's amplitude. Sampling keeps each octave's
// last lattice cell, so nearby samples in a row skip the hashing; a sampler is therefore used by one
// thread at a time. Built with rowSize > 0 it also fills whole rows of a rowSize field (texel centres
// u = (i + 0.5) / rowSize) from per-row column tables, which is several times cheaper per texel; a row
// gives the very values At gives at those centres.
class TPeriodicFbm {
public:
    TPeriodicFbm(std::uint32_t seed, int cellsX, int cellsY, int octaves, float persistence, TTileAxes axes,
                 TNoiseBasis basis = TNoiseBasis::Gradient, int rowSize = 0);

    int Octaves() const { return static_cast<int>(m_octaves.size()); }
    float Amplitude(int octave) const { return m_octaves[std::size_t(octave)].amplitude; }
    // Octave octave alone at (u, v), in [-1, 1].
    float Octave(int octave, double u, double v);
    // The octaves' sum over the sum of their amplitudes, in [-1, 1].
    float At(double u, double v);
    // out[i] = Octave(octave, (i + 0.5) / rowSize, v); out holds rowSize values.
    void OctaveRow(int octave, double v, std::span<float> out);
    // out[i] = At((i + 0.5) / rowSize, v).
    void Row(double v, std::span<float> out);

private:
    struct TOctave {
        std::uint32_t seed;
        std::int32_t cellsX, cellsY;
        float amplitude;
        // The cell Octave last looked at and its corners: gradients (x, y), or the value in [0].
        std::int32_t cachedX, cachedY;
        bool cached;
        float corner[4][2];
        // Per texel of a row: the lattice cell, the offset in it and its fade.
        std::vector<std::int32_t> cell;
        std::vector<float> offset, fade;
    };
    void Corner(const TOctave& octave, std::int32_t x, std::int32_t y, float* out) const;

    TTileAxes m_axes;
    TNoiseBasis m_basis;
    float m_amplitudeSum = 0.0f;
    int m_rowSize = 0;
    std::vector<TOctave> m_octaves;
    std::vector<float> m_columnSlope, m_columnOffset, m_rowSum;
};

// The kind's parameters, in the order of TPatternParams::values.
std::span<const TPatternParam> NoiseParams();
// Rows rowBegin .. rowEnd - 1 of the field (sized already); other rows are left as they are.
void DrawNoise(const TPatternParams& params, int size, int rowBegin, int rowEnd, TPatternField& field);

} // namespace vorn
