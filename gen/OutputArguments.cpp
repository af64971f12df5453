#include "gen/OutputArguments.h"

#include <charconv>
#include <system_error>

#include "export/MaterialSets.h"

namespace vorn {

namespace {

// The shortest fixed-point decimal that reads back as value (the parser takes no exponent).
std::string DecimalText(double value) {
    char text[400];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return error == std::errc() ? std::string(text, end) : std::string();
}

const char* MaterialName(TMaterialSet set) {
    for (const TMaterialSetInfo& info : MaterialSetTable)
        if (info.set == set) return info.name;
    return "none";
}

} // namespace

std::vector<std::string> MapArguments(const TMapOptions& maps) {
    const TMapOptions defaults;
    std::vector<std::string> arguments;
    const auto add = [&](const char* option, std::string value) {
        arguments.emplace_back(option);
        arguments.push_back(std::move(value));
    };
    std::string kinds;
    for (const TMapKind& kind : MapKindTable)
        if (maps.*kind.wanted) kinds += std::string(kinds.empty() ? "" : ",") + kind.name;
    if (!kinds.empty()) add("--maps", kinds);
    if (!maps.Any()) return arguments;

    // A material set packs the normal, roughness and occlusion maps whichever are chosen.
    const bool set = maps.material != TMaterialSet::None;
    if (set) {
        add("--material", MaterialName(maps.material));
        if (maps.metallic != defaults.metallic) add("--metallic", DecimalText(maps.metallic));
    }
    if (maps.format != defaults.format) add("--map-format", maps.format == TMapFormat::Exr ? "exr" : "png");
    if (maps.heightBlur != defaults.heightBlur) add("--height-blur", std::to_string(maps.heightBlur));
    if (maps.normal || set) {
        if (maps.normalStrength != defaults.normalStrength)
            add("--normal-strength", DecimalText(maps.normalStrength));
        if (maps.normalY != defaults.normalY) add("--normal-y", maps.normalY == TNormalY::Up ? "up" : "down");
        if (maps.normalFilter != defaults.normalFilter)
            add("--normal-filter", maps.normalFilter == TNormalFilter::Sobel ? "sobel" : "scharr");
    }
    if ((maps.occlusion || set) && maps.occlusionRadius != defaults.occlusionRadius)
        add("--ao-radius", std::to_string(maps.occlusionRadius));
    if ((maps.roughness || set) &&
        (maps.roughnessMin != defaults.roughnessMin || maps.roughnessMax != defaults.roughnessMax))
        add("--roughness", DecimalText(maps.roughnessMin) + "," + DecimalText(maps.roughnessMax));
    return arguments;
}

} // namespace vorn
