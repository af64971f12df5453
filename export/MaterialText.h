// The text files of the engine sets (export/MaterialSets.h): the glTF 2.0 asset, Godot's
// material resource and the import notes for Unity and Unreal. Image names are the files' own
// names, relative to the text file beside them.
#pragma once

#include <string>

#include "export/MaterialSets.h"

namespace vorn {

// The images a descriptor names; height empty when none is written.
struct TMaterialFiles {
    std::string name; // the material's name: the texture's file name without its extension
    std::string colour, packed, normal, height;
    bool transparent = false; // the colour's alpha is the material's opacity
};

// A glTF 2.0 asset: one unit square in the x-y plane facing +z, with texture coordinates, normals
// and tangents in an embedded buffer, and a material whose base colour is colour, whose
// metallic-roughness and occlusion are the packed ORM image and whose normal texture is normal.
std::string GltfText(const TMaterialFiles& files);
// A Godot 4 ORMMaterial3D resource (.tres) naming the images by relative paths.
std::string GodotText(const TMaterialFiles& files);
// Which file goes where in set's material and how to import it.
std::string ImportNotesText(const TMaterialSetInfo& set, const TMaterialFiles& files);

// s with every byte outside A-Z a-z 0-9 - . _ ~ as %XX: a relative URI naming the file s.
std::string UriOfFileName(const std::string& s);

} // namespace vorn
