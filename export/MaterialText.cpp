#include "export/MaterialText.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace vorn {

namespace {

// The bytes of s that form UTF-8 sequences, others as '?': file names on Linux are bytes, and
// both JSON and Godot's resources are UTF-8.
std::string ValidUtf8(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const std::size_t length = lead < 0x80         ? 1
                                   : (lead >> 5) == 6  ? 2
                                   : (lead >> 4) == 14 ? 3
                                   : (lead >> 3) == 30 ? 4
                                                       : 0;
        bool good = length > 0 && i + length <= s.size();
        for (std::size_t k = 1; good && k < length; ++k)
            good = (static_cast<unsigned char>(s[i + k]) >> 6) == 2;
        if (good) {
            out.append(s, i, length);
            i += length;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

// s as a double-quoted string: '"' and '\' escaped, control characters as \u00XX (JSON) or
// dropped to '?' (Godot, which knows no \u of its own in every version).
std::string Quoted(const std::string& s, bool json) {
    std::string out = "\"";
    for (const char c : ValidUtf8(s)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            if (json) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", unsigned(c));
                out += hex;
            } else {
                out += '?';
            }
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t v = std::uint32_t(bytes[i]) << 16;
        if (n > 1) v |= std::uint32_t(bytes[i + 1]) << 8;
        if (n > 2) v |= bytes[i + 2];
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? Digits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// The square's vertex attributes, in the buffer's order, each with its four vertices' values.
struct TSquareAttribute {
    const char* name;
    const char* type;
    int components;
    float values[4][4];
};
constexpr TSquareAttribute SquareAttributes[] = {
    {"POSITION", "VEC3", 3, {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}}},
    {"NORMAL", "VEC3", 3, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}}},
    // glTF's texture coordinates start at the image's top left.
    {"TEXCOORD_0", "VEC2", 2, {{0, 1}, {1, 1}, {1, 0}, {0, 0}}},
    {"TANGENT", "VEC4", 4, {{1, 0, 0, 1}, {1, 0, 0, 1}, {1, 0, 0, 1}, {1, 0, 0, 1}}},
};
constexpr std::uint16_t SquareIndices[6] = {0, 1, 2, 0, 2, 3};

// The attributes as little-endian floats one after the other, then the six 16-bit indices of
// the square's two triangles.
std::vector<std::uint8_t> SquareBuffer() {
    std::vector<std::uint8_t> bytes;
    for (const TSquareAttribute& attribute : SquareAttributes)
        for (const auto& vertex : attribute.values)
            for (int c = 0; c < attribute.components; ++c) {
                std::uint32_t u;
                std::memcpy(&u, &vertex[c], 4);
                for (int k = 0; k < 4; ++k) bytes.push_back(std::uint8_t(u >> (8 * k)));
            }
    for (const std::uint16_t i : SquareIndices) {
        bytes.push_back(std::uint8_t(i));
        bytes.push_back(std::uint8_t(i >> 8));
    }
    return bytes;
}

} // namespace

std::string UriOfFileName(const std::string& s) {
    std::string out;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", unsigned(u));
            out += hex;
        }
    }
    return out;
}

std::string GltfText(const TMaterialFiles& files) {
    const std::vector<std::uint8_t> buffer = SquareBuffer();
    const std::string name = Quoted(files.name, true);
    const auto image = [](const std::string& file) {
        return "{\"uri\":" + Quoted(UriOfFileName(file), true) + "}";
    };
    std::string t;
    t += "{\n";
    t += "  \"asset\": {\"version\": \"2.0\", \"generator\": \"Pallimor\"},\n";
    t += "  \"scene\": 0,\n";
    t += "  \"scenes\": [{\"nodes\": [0]}],\n";
    t += "  \"nodes\": [{\"mesh\": 0, \"name\": " + name + "}],\n";
    std::string attributes;
    for (std::size_t i = 0; i < std::size(SquareAttributes); ++i)
        attributes +=
            std::string(i ? ", " : "") + "\"" + SquareAttributes[i].name + "\": " + std::to_string(i);
    t += "  \"meshes\": [{\"name\": " + name + ", \"primitives\": [{\"attributes\": {" + attributes +
         "}, \"indices\": " + std::to_string(std::size(SquareAttributes)) + ", \"material\": 0}]}],\n";
    t += "  \"materials\": [{\"name\": " + name +
         ", \"pbrMetallicRoughness\": {\"baseColorTexture\": {\"index\": 0}, \"metallicRoughnessTexture\": "
         "{\"index\": 1}}, \"occlusionTexture\": {\"index\": 1}, \"normalTexture\": {\"index\": 2}" +
         std::string(files.transparent ? ", \"alphaMode\": \"BLEND\"" : "") + "}],\n";
    t +=
        "  \"textures\": [{\"sampler\": 0, \"source\": 0}, {\"sampler\": 0, \"source\": 1}, {\"sampler\": 0, "
        "\"source\": 2}],\n";
    t += "  \"images\": [" + image(files.colour) + ", " + image(files.packed) + ", " + image(files.normal) +
         "],\n";
    // Linear filtering, mipmaps and repetition: the texture tiles.
    t +=
        "  \"samplers\": [{\"magFilter\": 9729, \"minFilter\": 9987, \"wrapS\": 10497, \"wrapT\": 10497}],\n";
    t += "  \"buffers\": [{\"byteLength\": " + std::to_string(buffer.size()) +
         ", \"uri\": \"data:application/octet-stream;base64," + Base64(buffer) + "\"}],\n";
    // One view and one accessor an attribute, laid out as SquareBuffer lays them; the indices last.
    std::string views, accessors;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < std::size(SquareAttributes); ++i) {
        const TSquareAttribute& attribute = SquareAttributes[i];
        const std::size_t length = 4 * 4 * std::size_t(attribute.components);
        views += "    {\"buffer\": 0, \"byteOffset\": " + std::to_string(offset) +
                 ", \"byteLength\": " + std::to_string(length) + ", \"target\": 34962},\n";
        accessors += "    {\"bufferView\": " + std::to_string(i) +
                     ", \"componentType\": 5126, \"count\": 4, \"type\": \"" + attribute.type + "\"" +
                     (i == 0 ? ", \"min\": [-0.5, -0.5, 0.0], \"max\": [0.5, 0.5, 0.0]" : "") + "},\n";
        offset += length;
    }
    const std::string last = std::to_string(std::size(SquareAttributes));
    views += "    {\"buffer\": 0, \"byteOffset\": " + std::to_string(offset) +
             ", \"byteLength\": " + std::to_string(sizeof SquareIndices) + ", \"target\": 34963}\n";
    accessors += "    {\"bufferView\": " + last +
                 ", \"componentType\": 5123, \"count\": " + std::to_string(std::size(SquareIndices)) +
                 ", \"type\": \"SCALAR\"}\n";
    t += "  \"bufferViews\": [\n" + views + "  ],\n";
    t += "  \"accessors\": [\n" + accessors + "  ]\n";
    t += "}\n";
    return t;
}

std::string GodotText(const TMaterialFiles& files) {
    struct TResource {
        const std::string* file;
        const char* id;
    };
    std::vector<TResource> resources{
        {&files.colour, "1_albedo"}, {&files.packed, "2_orm"}, {&files.normal, "3_normal"}};
    if (!files.height.empty()) resources.push_back({&files.height, "4_height"});
    std::string t = "[gd_resource type=\"ORMMaterial3D\" load_steps=" + std::to_string(resources.size() + 1) +
                    " format=3]\n\n";
    // A path without "res://" is found relative to this file.
    for (const TResource& r : resources)
        t += "[ext_resource type=\"Texture2D\" path=" + Quoted(*r.file, false) + " id=\"" + r.id + "\"]\n";
    t += "\n[resource]\n";
    t += "resource_name = " + Quoted(files.name, false) + "\n";
    if (files.transparent) t += "transparency = 1\n";
    t += "albedo_texture = ExtResource(\"1_albedo\")\n";
    // The ORM image's blue channel is multiplied by metallic, its green by roughness (1 already).
    t += "orm_texture = ExtResource(\"2_orm\")\n";
    t += "metallic = 1.0\n";
    t += "ao_enabled = true\n";
    t += "normal_enabled = true\n";
    t += "normal_texture = ExtResource(\"3_normal\")\n";
    if (!files.height.empty()) {
        t += "heightmap_enabled = true\n";
        t += "heightmap_texture = ExtResource(\"4_height\")\n";
    }
    return t;
}

std::string ImportNotesText(const TMaterialSetInfo& set, const TMaterialFiles& files) {
    const bool unreal = set.set == TMaterialSet::Unreal;
    const bool hdrp = set.set == TMaterialSet::UnityHdrp;
    std::string t = std::string(set.caption) + " material " + files.name + ", made by Pallimor.\n\n";
    const auto line = [&t](const std::string& file, const std::string& what) {
        t += file + "\n    " + what + "\n";
    };
    if (unreal) {
        line(files.colour,
             "Base Color. Import as is (sRGB on)." +
                 std::string(files.transparent ? " Its alpha is the Opacity (Blend Mode Translucent "
                                                 "or Masked)."
                                               : ""));
        line(files.packed, "Compression Settings: Masks (no sRGB), sRGB off. R to Ambient Occlusion, G to "
                           "Roughness, B to Metallic.");
        line(files.normal,
             "Compression Settings: Normalmap (DirectX: green points down), sRGB off. To Normal.");
        if (!files.height.empty())
            line(files.height, "Height, linear: sRGB off (for a displacement or parallax node).");
        return t;
    }
    line(files.colour,
         "Texture Type Default, sRGB (Color Texture) on. Base Map." +
             std::string(files.transparent ? " Its alpha is the opacity: Surface Type Transparent." : ""));
    if (hdrp)
        line(files.packed, "Texture Type Default, sRGB (Color Texture) off. Mask Map: R metallic, G ambient "
                           "occlusion, B detail mask, A smoothness.");
    else
        line(files.packed,
             "Texture Type Default, sRGB (Color Texture) off, Alpha Source Input Texture Alpha. "
             "Metallic Map (Source: Metallic Alpha: R metallic, A smoothness) and Occlusion Map "
             "(reads G).");
    line(files.normal, "Texture Type Normal map (OpenGL: green points up). Normal Map.");
    if (!files.height.empty())
        line(files.height, "Texture Type Default, sRGB (Color Texture) off. Height Map.");
    return t;
}

} // namespace vorn
