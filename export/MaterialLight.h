// A texture lit as a surface, for the Material View: the colour, normal, roughness and occlusion
// maps shaded for one light seen straight from above, 2 x 2 copies of the tile side by side.
//
// What does not depend on the light is prepared once per texture (TMaterialSurface): the tile
// reduced by a power of two to at most MaterialTileSide texels a side (box averages: the colour
// in linear light, the map input in 8-bit values), its maps made at that size with the default
// settings (they measure strength and radii in parts of the tile, so they look as the exported
// maps do), and per texel the linear albedo, the unit normal and the roughness's terms as floats.
// A light move then only re-runs ShadeMaterial.
//
// Shading, in linear light, with the view V = (0, 0, 1), the light direction L (towards the
// light; a point light's from each pixel's centre), H = normalize(L + V), n the texel's normal:
//     out = albedo * (ambient * occlusion + intensity * max(0, n.L)) + specular term,
//     specular term = s * intensity * pi * D * Vis * F * max(0, n.L), s the light's specular,
// GGX with alpha = max(roughness^2, MinMaterialAlpha), roughness the map's byte / 255:
//     pi * D = alpha^2 / ((n.H)^2 (alpha^2 - 1) + 1)^2,
//     Vis = 1 / (4 (n.L (1 - k) + k) (n.V (1 - k) + k)), k = alpha / 2 (Smith, Schlick's form),
//     F = F0 + (1 - F0) (1 - V.H)^5, F0 = MaterialReflectance (paint, a dielectric).
// The diffuse term leaves out 1 / pi, as the light's intensity carries it: a white surface facing
// a light of intensity 1 reflects 1. Albedo is the texel sRGB-decoded; each channel of out is
// clamped to 0..1 and encoded to sRGB 8 bits through a table of MaterialEncodeSteps + 1 entries:
//     byte = round(255 srgb(i / MaterialEncodeSteps)), i = round(out * MaterialEncodeSteps).
// The normal map's bytes c read as (c - 128) / 127.5 (128 is 0), normalised; the occlusion's
// bytes as byte / 255.
//
// Coordinates: x right, y down the image, z out of the surface towards the viewer. Rows spread
// over threads (0: the processor count, at most 8); every thread count gives the same bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "export/ImageWriters.h"
#include "export/MaterialMaps.h"

namespace vorn {

// The largest tile side shaded: 2 x 2 copies of it make a 512 x 512 view.
inline constexpr std::int32_t MaterialTileSide = 256;
inline constexpr float MaterialReflectance = 0.04f;
inline constexpr float MinMaterialAlpha = 0.02f;
inline constexpr int MaterialEncodeSteps = 16384;

// The light-independent terms of every texel, one plane (rows top first, packed) each, so that
// the shading loop reads them as plain arrays.
enum TMaterialPlane {
    mpNormalX,   // the unit normal
    mpNormalY,   //
    mpNormalZ,   //
    mpAlpha2,    // GGX alpha^2
    mpK,         // the visibility's k
    mpViewTerm,  // 1 / (4 (n.V (1 - k) + k))
    mpOcclusion, // 0..1
    mpRed,       // the linear albedo
    mpGreen,     //
    mpBlue,      //
    MaterialPlaneCount
};

struct TMaterialSurface {
    std::int32_t width = 0, height = 0; // the tile's size in texels
    std::vector<float> planes;          // MaterialPlaneCount planes of width x height

    bool Empty() const { return width <= 0 || height <= 0; }
    std::size_t Count() const { return std::size_t(width) * std::size_t(height); }
    float* Row(TMaterialPlane plane, std::int32_t y) {
        return planes.data() + plane * Count() + std::size_t(y) * std::size_t(width);
    }
    const float* Row(TMaterialPlane plane, std::int32_t y) const {
        return planes.data() + plane * Count() + std::size_t(y) * std::size_t(width);
    }
};

struct TMaterialLight {
    // point false: a direction towards the light (need not be unit length). point true: the
    // light's position, x and y in pixels of the shaded output ((0, 0) its top-left corner), z its
    // height above the surface in pixels (above 0).
    bool point = false;
    float x = 0, y = 0, z = 1;
    float ambient = 0.2f;   // the ambient light, times the occlusion
    float intensity = 0.8f; // the light's
    float specular = 1.0f;  // scales the specular term; 0 leaves it out
};

// The surface of texture (BGRA, alpha ignored) and its maps, reduced to at most maxTileSide a
// side; edges: the axes the texture repeats across, as the maps read them. With relief (the
// texture's own, of its size; TSurfaceRelief) the height and roughness are the relief's reduced
// by the same boxes (rounded averages), as the exported maps of the texture are made from it;
// otherwise from the lightness. False for an empty texture or when a map cannot be made; out is
// then untouched.
bool PrepareMaterialSurface(const TBitmap32& texture, TMapEdges edges, TMaterialSurface& out,
                            std::int32_t maxTileSide = MaterialTileSide, int threads = 0,
                            const TSurfaceRelief* relief = nullptr);
// The relief reduced by the power-of-two factor k (each side divisible by k): every value the
// rounded average of its k x k box.
TSurfaceRelief ReducedRelief(const TSurfaceRelief& relief, std::int32_t k);

// The surface of the given maps, all the texture's size: normal as MakeNormalMap makes it, with
// its green axis normalY; roughness and occlusion a byte a texel. False when sizes disagree.
bool MakeMaterialSurface(const TBitmap32& texture, const TBitmap32& normal, TNormalY normalY,
                         const std::vector<std::uint8_t>& roughness,
                         const std::vector<std::uint8_t>& occlusion, TMaterialSurface& out, int threads = 0);

// surface shaded for light: out becomes 2 width x 2 height BGRA, alpha 255. False (out untouched)
// for an empty surface.
bool ShadeMaterial(const TMaterialSurface& surface, const TMaterialLight& light, TBitmap32& out,
                   int threads = 0);

} // namespace vorn
