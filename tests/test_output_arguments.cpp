// The map arguments the window passes to pallimor-cli: the command line's own parser reads back
// from them the very map options they were made of, every field, for each map kind, each
// material set, both map formats and the extremes of every range; what no chosen map uses is
// left out, and nothing at its default is written.
#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/GenerateOptions.h"
#include "export/MaterialSets.h"
#include "gen/TextureOptions.h"

namespace vorn {

// Every field, for the failures' messages.
void PrintTo(const TMapOptions& m, std::ostream* out) {
    *out << "{height " << m.height << ", normal " << m.normal << ", roughness " << m.roughness << ", ao "
         << m.occlusion << ", blur " << m.heightBlur << ", strength " << m.normalStrength << ", y "
         << int(m.normalY) << ", filter " << int(m.normalFilter) << ", radius " << m.occlusionRadius
         << ", roughness " << m.roughnessMin << ".." << m.roughnessMax << ", format " << int(m.format)
         << ", material " << int(m.material) << ", metallic " << m.metallic << ", edges " << m.edges.wrapX
         << m.edges.wrapY << "}";
}

namespace {

// The maps pallimor-cli reads from the Library's export command line with arguments added.
TMapOptions ParsedMaps(const std::vector<std::string>& arguments) {
    std::vector<std::string> line{"generate", "--recipes", "-",      "--folder", "out",
                                  "--name",   "{name}",    "--type", "png",      "--json"};
    line.insert(line.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : line) argv.push_back(argument.data());
    try {
        return ParseGenerateOptions(int(argv.size()), argv.data()).maps;
    } catch (const TUsageError& error) {
        ADD_FAILURE() << "refused: " << error.text;
        return {};
    }
}

std::string Joined(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments) text += std::string(text.empty() ? "" : " ") + argument;
    return text;
}

TMapOptions Maps(bool height, bool normal, bool roughness, bool occlusion) {
    TMapOptions maps;
    maps.height = height;
    maps.normal = normal;
    maps.roughness = roughness;
    maps.occlusion = occlusion;
    return maps;
}

// Every setting away from its default.
TMapOptions AllSettings(TMapOptions maps) {
    maps.heightBlur = 5;
    maps.normalStrength = 2.75;
    maps.normalY = TNormalY::Down;
    maps.normalFilter = TNormalFilter::Scharr;
    maps.occlusionRadius = 77;
    maps.roughnessMin = 0.1;
    maps.roughnessMax = 0.6;
    maps.format = TMapFormat::Exr;
    return maps;
}

struct TRow {
    const char* what;
    TMapOptions maps;
};

std::vector<TRow> Rows() {
    std::vector<TRow> rows;
    rows.push_back({"no maps", TMapOptions()});
    rows.push_back({"the window's default choice", TMapOptions::Both(true)});
    // Each kind alone, with the settings it reads.
    TMapOptions height = Maps(true, false, false, false);
    height.heightBlur = 7;
    height.format = TMapFormat::Exr;
    rows.push_back({"height, blurred, EXR", height});
    TMapOptions normal = Maps(false, true, false, false);
    normal.normalStrength = 0.3;
    normal.normalY = TNormalY::Down;
    rows.push_back({"normal, green down", normal});
    normal.normalY = TNormalY::Up;
    normal.normalFilter = TNormalFilter::Scharr;
    normal.heightBlur = 3;
    rows.push_back({"normal, Scharr, blurred", normal});
    TMapOptions roughness = Maps(false, false, true, false);
    roughness.roughnessMin = 0.123456789;
    roughness.roughnessMax = 0.987654321;
    roughness.format = TMapFormat::Exr;
    rows.push_back({"roughness, range, EXR", roughness});
    roughness.roughnessMin = 0.35; // only the high end moved
    roughness.roughnessMax = 1.0;
    roughness.format = TMapFormat::Png;
    rows.push_back({"roughness, high end", roughness});
    TMapOptions occlusion = Maps(false, false, false, true);
    occlusion.occlusionRadius = 200;
    rows.push_back({"ao, radius", occlusion});
    // All four, every setting away from its default, then at the ends of their ranges.
    rows.push_back({"every map and setting", AllSettings(Maps(true, true, true, true))});
    TMapOptions ends = AllSettings(Maps(true, true, true, true));
    ends.heightBlur = MaxHeightBlur;
    ends.normalStrength = MaxNormalStrength;
    ends.occlusionRadius = MinOcclusionRadius;
    ends.roughnessMin = ends.roughnessMax = 0.0;
    rows.push_back({"upper and lower ends", ends});
    ends.heightBlur = MinHeightBlur + 1;
    ends.normalStrength = MinNormalStrength;
    ends.occlusionRadius = MaxOcclusionRadius;
    ends.roughnessMin = ends.roughnessMax = 1.0;
    rows.push_back({"the other ends", ends});
    TMapOptions tiny = Maps(false, true, false, false);
    tiny.normalStrength = 1e-9; // a decimal of many digits, no exponent
    rows.push_back({"a tiny strength", tiny});
    // Each material set alone (it packs the normal, roughness and ao maps), with its metalness
    // and every setting, then beside the height map and at the default metalness.
    double metallic = 0.05;
    for (const TMaterialSetInfo& set : MaterialSetTable) {
        if (set.set == TMaterialSet::None) continue;
        TMapOptions packed = AllSettings(TMapOptions());
        packed.material = set.set;
        packed.metallic = metallic;
        metallic += 0.2;
        rows.push_back({set.name, packed});
        TMapOptions withHeight = Maps(true, false, false, false);
        withHeight.material = set.set;
        withHeight.roughnessMin = 0.5;
        withHeight.normalY = TNormalY::Down;
        rows.push_back({set.name, withHeight});
    }
    TMapOptions metal = Maps(false, false, false, false);
    metal.material = TMaterialSet::Gltf;
    metal.metallic = MaxMetallic;
    rows.push_back({"fully metal", metal});
    return rows;
}

TEST(OutputArguments, TheCommandLineReadsBackEveryFieldOfTheMaps) {
    for (const TRow& row : Rows()) {
        const std::vector<std::string> arguments = MapArguments(row.maps);
        EXPECT_EQ(ParsedMaps(arguments), row.maps) << row.what << ": " << Joined(arguments);
    }
}

TEST(OutputArguments, NothingAtItsDefaultIsWrittenAndNumbersHaveNoExponent) {
    EXPECT_EQ(MapArguments(TMapOptions()), std::vector<std::string>{});
    EXPECT_EQ(MapArguments(TMapOptions::Both(true)), (std::vector<std::string>{"--maps", "height,normal"}));
    TMapOptions set;
    set.material = TMaterialSet::UnityHdrp;
    EXPECT_EQ(MapArguments(set), (std::vector<std::string>{"--material", "unity-hdrp"}));
    // The numbers in plain decimals, no exponent, the only form the parser reads.
    const std::vector<std::string> numeric{"--metallic", "--height-blur", "--normal-strength", "--ao-radius",
                                           "--roughness"};
    for (const TRow& row : Rows()) {
        const std::vector<std::string> arguments = MapArguments(row.maps);
        for (std::size_t i = 0; i + 1 < arguments.size(); i += 2) {
            if (std::ranges::find(numeric, arguments[i]) == numeric.end()) continue;
            EXPECT_EQ(arguments[i + 1].find_first_not_of("0123456789.,"), std::string::npos)
                << row.what << ": " << arguments[i] << " " << arguments[i + 1];
        }
    }
}

// Without the map that reads it a setting is left out, as the command line refuses it; the
// parser then holds its default, which writes the same files.
TEST(OutputArguments, SettingsNoChosenMapUsesAreLeftOut) {
    TMapOptions height = AllSettings(Maps(true, false, false, false));
    height.metallic = 0.5; // no material set
    TMapOptions expected = Maps(true, false, false, false);
    expected.heightBlur = height.heightBlur;
    expected.format = height.format;
    EXPECT_EQ(ParsedMaps(MapArguments(height)), expected) << Joined(MapArguments(height));

    TMapOptions none = AllSettings(TMapOptions());
    none.metallic = 0.5;
    EXPECT_EQ(MapArguments(none), std::vector<std::string>{});

    TMapOptions normal = AllSettings(Maps(false, true, false, false));
    expected = Maps(false, true, false, false);
    expected.heightBlur = normal.heightBlur;
    expected.format = normal.format;
    expected.normalStrength = normal.normalStrength;
    expected.normalY = normal.normalY;
    expected.normalFilter = normal.normalFilter;
    EXPECT_EQ(ParsedMaps(MapArguments(normal)), expected) << Joined(MapArguments(normal));
}

} // namespace
} // namespace vorn
