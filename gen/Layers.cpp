#include "gen/Layers.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace vorn {

namespace {

constexpr TLayerBlendInfo BlendTable[] = {
    {TLayerBlend::Normal, "normal", "its colour over the layers below"},
    {TLayerBlend::Add, "add", "its colour added to the layers below"},
    {TLayerBlend::Sub, "sub", "its colour taken from the layers below"},
    {TLayerBlend::Multiply, "multiply", "the layers below darkened by its colour"},
    {TLayerBlend::Overlay, "overlay",
     "the layers below darker where it is dark and lighter where it is light"},
    {TLayerBlend::Height, "height", "no colour: its relief and roughness added to the layers below"},
    {TLayerBlend::Mask, "mask", "no colour: the next layer shows only where this one stands high"},
    {TLayerBlend::MaskLow, "mask-low", "no colour: the next layer shows only where this one lies low"},
};

constexpr TLayerSetting SettingTable[] = {
    {"opacity", 0, 100, 100, &TLayer::opacity, "how much of the layer shows, in percent"},
    {"relief", 0, 100, 100, &TLayer::relief, "how much of its rise and fall the relief gets, in percent"},
    {"tone-low", 0, 100, 0, &TLayer::toneLow, "where along the palette its lowest tone lies, in percent"},
    {"tone-high", 0, 100, 100, &TLayer::toneHigh,
     "where along the palette its highest tone lies, in percent"},
    {"variant", 0, 999, 0, &TLayer::variant, "another pattern with the same values"},
    {"mask-from", 0, 100, 0, &TLayer::maskFrom, "a mask: the height in percent where it begins"},
    {"mask-to", 0, 100, 100, &TLayer::maskTo, "a mask: the height in percent where it is whole"},
};

constexpr const char* TileKindName = "tile";
constexpr const char* BlendName = "blend";

const TLayerBlendInfo& BlendInfo(TLayerBlend blend) {
    return BlendTable[static_cast<int>(blend)];
}

std::string Quoted(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u >= 0x7F ? '?' : c;
    }
    return text.size() > 40 ? out + "..." : out;
}

// One layer "kind:name=value:..."; error names what is wrong.
TLayer ParseLayer(std::string_view text, std::string& error) {
    const std::size_t colon = text.find(':');
    const std::string_view kindName = text.substr(0, colon);
    TLayer layer;
    if (kindName == TileKindName) {
        layer = TileLayer();
    } else if (const TPatternKindInfo* info = FindPatternKind(kindName)) {
        layer = DefaultLayer(info->kind);
    } else {
        std::string kinds = TileKindName;
        for (const TPatternKindInfo& info : PatternKinds()) kinds += std::string(", ") + info.name;
        error = "unknown layer '" + Quoted(kindName) + "' (one of " + kinds + ")";
        return layer;
    }
    const std::span<const TPatternParam> params =
        layer.tile ? std::span<const TPatternParam>() : PatternKindInfo(layer.kind).params;
    std::vector<std::string_view> seen;
    std::string_view rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    while (colon != std::string_view::npos) {
        const std::size_t next = rest.find(':');
        const std::string_view item = rest.substr(0, next);
        const std::size_t eq = item.find('=');
        const std::string_view name = item.substr(0, eq),
                               value = eq == std::string_view::npos ? "" : item.substr(eq + 1);
        const std::string where = std::string(kindName) + " layer: ";
        if (std::ranges::find(seen, name) != seen.end()) {
            error = where + "'" + Quoted(name) + "' given twice";
            return layer;
        }
        seen.push_back(name);
        if (eq == std::string_view::npos || value.empty()) {
            error = where + "'" + Quoted(name) + "' has no value";
            return layer;
        }
        if (name == BlendName) {
            const auto found =
                std::ranges::find_if(BlendTable, [&](const auto& b) { return value == b.name; });
            if (found == std::end(BlendTable)) {
                std::string names;
                for (const TLayerBlendInfo& b : BlendTable)
                    names += (names.empty() ? "" : ", ") + std::string(b.name);
                error = where + "unknown blend '" + Quoted(value) + "' (one of " + names + ")";
                return layer;
            }
            layer.blend = found->blend;
        } else {
            int* target = nullptr;
            int min = 0, max = 0;
            for (std::size_t i = 0; i < params.size(); ++i)
                if (name == params[i].name)
                    target = &layer.values[i], min = params[i].min, max = params[i].max;
            for (const TLayerSetting& setting : SettingTable)
                if (name == setting.name)
                    target = &(layer.*setting.field), min = setting.min, max = setting.max;
            if (!target) {
                std::string names;
                for (const TPatternParam& p : params) names += std::string(p.name) + ", ";
                for (const TLayerSetting& s : SettingTable) names += std::string(s.name) + ", ";
                error = where + "unknown value '" + Quoted(name) + "' (one of " + names + BlendName + ")";
                return layer;
            }
            int number = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
            if (ec != std::errc() || end != value.data() + value.size() || number < min || number > max) {
                error = where + Quoted(name) + "=" + Quoted(value) + " is not a whole number from " +
                        std::to_string(min) + " to " + std::to_string(max);
                return layer;
            }
            *target = number;
        }
        if (next == std::string_view::npos) break;
        rest = rest.substr(next + 1);
    }
    return layer;
}

} // namespace

std::span<const TLayerBlendInfo> LayerBlends() {
    return BlendTable;
}

std::span<const TLayerSetting> LayerSettings() {
    return SettingTable;
}

TLayer DefaultLayer(TPatternKind kind) {
    TLayer layer;
    layer.kind = kind;
    layer.values = DefaultPattern(kind, 0).values;
    return layer;
}

TLayer TileLayer() {
    TLayer layer;
    layer.tile = true;
    return layer;
}

std::string LayerStackText(const TLayerStack& stack) {
    std::string text;
    for (const TLayer& layer : stack.layers) {
        if (!text.empty()) text += ',';
        const auto item = [&text](std::string_view name, std::string_view value) {
            text += ':';
            text += name;
            text += '=';
            text += value;
        };
        if (layer.tile) {
            text += TileKindName;
        } else {
            const TPatternKindInfo& info = PatternKindInfo(layer.kind);
            text += info.name;
            for (std::size_t i = 0; i < info.params.size(); ++i)
                if (layer.values[i] != info.params[i].defaultValue)
                    item(info.params[i].name, std::to_string(layer.values[i]));
        }
        if (layer.blend != TLayerBlend::Normal) item(BlendName, BlendInfo(layer.blend).name);
        for (const TLayerSetting& setting : SettingTable)
            if (layer.*setting.field != setting.defaultValue)
                item(setting.name, std::to_string(layer.*setting.field));
    }
    return text;
}

TLayerStackParse ParseLayerStack(std::string_view text) {
    TLayerStackParse result;
    if (text.empty() || text == "none") return result;
    bool tile = false;
    while (true) {
        const std::size_t comma = text.find(',');
        if (result.stack.layers.size() == MaxLayers) {
            result.error = "more than " + std::to_string(MaxLayers) + " layers";
            break;
        }
        const std::string_view one = text.substr(0, comma);
        if (one.empty()) {
            result.error = "an empty layer between commas";
            break;
        }
        TLayer layer = ParseLayer(one, result.error);
        if (!result.ok()) break;
        if (layer.tile && std::exchange(tile, true)) {
            result.error = "more than one tile layer";
            break;
        }
        result.stack.layers.push_back(layer);
        if (comma == std::string_view::npos) break;
        text = text.substr(comma + 1);
    }
    if (!result.ok()) result.stack = {};
    return result;
}

TPatternParams LayerPattern(const TLayer& layer, std::uint32_t textureSeed, TTileAxes axes) {
    TPatternParams params;
    params.kind = layer.kind;
    params.values = layer.values;
    params.axes = axes;
    // The kind in the seed, so a layer keeps its pattern when the stack is reordered.
    params.seed =
        PatternHash(textureSeed ^ 0x4C415952u, static_cast<std::int32_t>(layer.kind), layer.variant);
    return params;
}

} // namespace vorn
