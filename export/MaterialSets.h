// A texture's maps packed as one engine's standard material reads them, beside the texture
// NAME.EXT (the colour, which the export writes first):
//
//   set         packed image (channels)                           normal (green)   descriptor
//   gltf        NAME_orm.png       R occlusion G roughness B metal  NAME_normal.png up   NAME.gltf
//   godot       NAME_orm.png       R occlusion G roughness B metal  NAME_normal.png up   NAME.tres
//   unity-urp   NAME_MetallicSmoothness.png  R metal G occlusion B 0 A smoothness
//                                                                  NAME_Normal.png up   NAME_import.txt
//   unity-hdrp  NAME_MaskMap.png   R metal G occlusion B detail mask (255) A smoothness
//                                                                  NAME_Normal.png up   NAME_import.txt
//   unreal      NAME_ORM.png       R occlusion G roughness B metal  NAME_N.png down     NAME_import.txt
//
// smoothness = 255 - roughness, metal = floor(255 metallic + 0.5). The packed images and the
// normal map are data: PNG without an sRGB chunk. With the height asked for too it is written as
// the set's material reads it (Godot: NAME_height.exr, as Godot keeps 8 bits a channel of a PNG;
// Unity: NAME_Height.png; glTF and Unreal, which have no height input: NAME_height as the map
// format says). The descriptor comes last, once every image it names is written.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export/MaterialMaps.h"

namespace vorn {

// Where a packed image's channel comes from.
enum class TPackSource : std::uint8_t { Zero, Full, Metal, Occlusion, Roughness, Smoothness };

// A packed image's red, green, blue and alpha.
using TPacking = std::array<TPackSource, 4>;
inline constexpr TPacking OrmPacking = {TPackSource::Occlusion, TPackSource::Roughness, TPackSource::Metal,
                                        TPackSource::Full};

struct TMaterialSetInfo {
    TMaterialSet set;
    const char* name;       // as --material spells it: "unity-urp"; "none" for the separate maps
    const char* caption;    // in the dialogs' list
    const char* packedKind; // the packed image's suffix: "orm"
    TPacking channels;      // red, green, blue, alpha
    const char* normalKind; // "normal", "Normal", "N"
    TNormalY normalY;       // the engine's normal convention
    const char* heightKind; // "height", "Height"
    bool heightExr;         // the height always as EXR
    const char* descriptor; // appended to NAME: ".gltf", ".tres", "_import.txt"

    // The packed image keeps an alpha channel (RGBA) where it carries something.
    constexpr bool Alpha() const { return channels[3] != TPackSource::Full; }
};

inline constexpr TMaterialSetInfo MaterialSetTable[] = {
    {TMaterialSet::None, "none", "Separate maps", "", {}, "", TNormalY::Up, "", false, ""},
    {TMaterialSet::Gltf, "gltf", "glTF 2.0", "orm", OrmPacking, "normal", TNormalY::Up, "height", false,
     ".gltf"},
    {TMaterialSet::Godot, "godot", "Godot (ORMMaterial3D)", "orm", OrmPacking, "normal", TNormalY::Up,
     "height", true, ".tres"},
    {TMaterialSet::UnityUrp,
     "unity-urp",
     "Unity URP (Lit)",
     "MetallicSmoothness",
     {TPackSource::Metal, TPackSource::Occlusion, TPackSource::Zero, TPackSource::Smoothness},
     "Normal",
     TNormalY::Up,
     "Height",
     false,
     "_import.txt"},
    {TMaterialSet::UnityHdrp,
     "unity-hdrp",
     "Unity HDRP (Lit)",
     "MaskMap",
     {TPackSource::Metal, TPackSource::Occlusion, TPackSource::Full, TPackSource::Smoothness},
     "Normal",
     TNormalY::Up,
     "Height",
     false,
     "_import.txt"},
    {TMaterialSet::Unreal, "unreal", "Unreal (ORM)", "ORM", OrmPacking, "N", TNormalY::Down, "height", false,
     "_import.txt"},
};

const TMaterialSetInfo& MaterialSetInfo(TMaterialSet set);
// The set --material names; nullptr for none of them.
const TMaterialSetInfo* FindMaterialSet(std::string_view name);

// Why textureFile cannot carry options' set ("A glTF material needs a PNG or JPEG texture"), or
// empty when it can. Checked before anything is written.
std::string MaterialSetProblem(const std::string& textureFile, const TMapOptions& options);

// The packed image of set from the occlusion and roughness (width * height bytes each) and the
// metalness byte, as BGRA texels. False when the sizes differ or set is none.
bool PackMaterialImage(const TMaterialSetInfo& set, std::int32_t width, std::int32_t height,
                       const std::vector<std::uint8_t>& occlusion, const std::vector<std::uint8_t>& roughness,
                       std::uint8_t metal, TBitmap32& out);
// floor(255 metallic + 0.5), metallic clamped to 0..1.
std::uint8_t MetalByte(double metallic);

// The files options' set writes beside textureFile, in the order of writing (not the texture).
std::vector<std::string> MaterialSetFileNames(const std::string& textureFile, const TMapOptions& options);

// Writes them, each whole or not at all with mode as the texture's; the first failure is the
// result, as WriteMaps words it.
TExportResult WriteMaterialSet(const TBitmap32& texture, const std::string& textureFile,
                               const TMapOptions& options, TFileWriter& writer = SystemFileWriter(),
                               TSaveMode mode = smReplace);

} // namespace vorn
