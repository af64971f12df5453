// Ambient-occlusion and roughness maps of a texture: 8-bit grey, one byte a pixel, rows top first,
// linear values (no sRGB curve), the size of the height map. Like the height and normal maps they
// read on across the edges the texture repeats over and clamp across the others (TMapEdges), so
// they tile as the texture does and the map of a texture shifted along a repeating axis is the
// shifted map. Radii are fractions of the tile's width, so a 4096 and a 512 map of one texture
// look alike. Metalness is a constant the caller writes.
//
// Occlusion (horizon based): the height is a relief h = reliefFraction * width * H / 65535 pixels.
// From each pixel the height is sampled (bilinearly) in 8 directions 45 degrees apart, at 7 steps
// out to R = max(1, radiusFraction * width) pixels, at R/16, R/8, R/4, 3R/8, 9R/16, 3R/4 and R.
// In each direction the horizon is the largest tangent t = (h(sample) - h(pixel)) / distance, at
// least 0; the direction is occluded by sin = t / sqrt(1 + t^2), and
//     AO = 1 - (sum of the 8 sines) / 8,   stored as floor(255 AO + 0.5).
// A flat height gives 255 everywhere; a pit is darker the steeper its walls. Maps wider than
// OcclusionMaxGrid are box-averaged down by a power of two to that width first, the occlusion is
// found there and then scaled back up bilinearly (wrapping or clamping as the filters do): the
// horizon varies slowly across a pixel of the reduced grid, and this keeps 4096 maps fast.
//
// Roughness: brush strokes are paint laid over a matte ground, so they read glossier (lower
// roughness) than the ground, and the more so where they stand high and where the paint changes
// quickly (stroke edges, bristle marks). Two measures in 0..1 are averaged into a gloss g:
//     c = min(1, sd / RoughnessContrastFull), sd the standard deviation of the texture's
//         luminance L = (257 (2126 R + 7152 G + 722 B) + 5000) / 10000 (0..65535, as the height
//         before any blur) over the box of 2r + 1 pixels square, r = max(1, radiusFraction *
//         width rounded); the luminance rather than the height, as the height may be blurred;
//     t = H / 65535, the height at the pixel;
//     g = (c + t) / 2,   roughness = maxRoughness - (maxRoughness - minRoughness) g,
// stored as floor(255 roughness + 0.5). A constant texture with its constant height H gives the
// constant maxRoughness - (maxRoughness - minRoughness) H / 131070.
//
// Both spread their rows over threads (0: the processor count, at most 8); every thread count
// gives the same bytes. Failures come back as false with out untouched.
#pragma once

#include <cstdint>
#include <vector>

#include "export/ImageWriters.h"
#include "export/MaterialMaps.h"

namespace vorn {

inline constexpr int OcclusionDirections = 8;
inline constexpr int OcclusionSteps = 7;
// The widest grid the occlusion is computed on; wider maps are reduced to it and scaled back.
inline constexpr std::int32_t OcclusionMaxGrid = 1024;
// The luminance deviation (of 65535) that counts as full local contrast in the roughness.
inline constexpr double RoughnessContrastFull = 8192.0;
// The largest radius fraction either map takes (half the tile).
inline constexpr double MaxSurfaceRadius = 0.5;
// The largest relief fraction the occlusion takes (white a whole tile's width above black).
inline constexpr double MaxOcclusionRelief = 1.0;

// The occlusion of height. radiusFraction: how far the horizon is searched, in parts of the
// width, in (0, MaxSurfaceRadius]; reliefFraction: how high white stands above black, in parts of
// the width, in [0, MaxOcclusionRelief] (e.g. 8.0 / 1024). False for an empty or inconsistent
// height map or an argument out of range.
bool MakeOcclusionMap(const THeightMap& height, double radiusFraction, double reliefFraction, TMapEdges edges,
                      std::vector<std::uint8_t>& out, int threads = 0);

// The roughness of texture with its height (same size). minRoughness <= maxRoughness, both in
// 0..1; radiusFraction: the contrast box's radius in parts of the width, in (0,
// MaxSurfaceRadius]. False for empty input, differing sizes or an argument out of range.
bool MakeRoughnessMap(const TBitmap32& texture, const THeightMap& height, double minRoughness,
                      double maxRoughness, double radiusFraction, TMapEdges edges,
                      std::vector<std::uint8_t>& out, int threads = 0);

// The two maps with options' radius, relief (the normal strength's) and roughness range, scaled
// to the side as the height and normal maps are. False as the two above.
bool MakeTileOcclusionMap(const THeightMap& height, const TMapOptions& options, std::vector<std::uint8_t>& out);
bool MakeTileRoughnessMap(const TBitmap32& texture, const THeightMap& height, const TMapOptions& options,
                          std::vector<std::uint8_t>& out);

} // namespace vorn
