#include "gen/Randomize.h"

namespace vorn {

namespace {

// Three bytes: every colour 0xRRGGBB as likely as drawing 0..0xFFFFFF at once.
int RandomColor(std::mt19937& random) {
    std::uniform_int_distribution<int> byte(0, 255);
    const int red = byte(random);
    const int green = byte(random);
    return red << 16 | green << 8 | byte(random);
}

} // namespace

TGenSettings RandomizeSettings(const TGenSettingsSource& current, const TParamLocks& locked,
                               std::mt19937& random) {
    TGenSettings values;
    for (const TGenParam& param : GenParams) {
        int value = current.Value(param.id);
        if (Randomizable(param.id) && !locked[param.id]) {
            value = param.kind == pkColor
                        ? RandomColor(random)
                        : std::uniform_int_distribution<int>(param.min, RandomMax(param))(random);
        }
        values.SetValue(param.id, value);
    }
    values.palette = current.Palette(); // kept, as the Tiling is
    values.layers = current.Layers();
    return values;
}

} // namespace vorn
