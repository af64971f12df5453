// Randomize's values: locked and non-random parameters keep theirs, every other one reaches both
// ends of its range (BG Fill stops below None), and the program's random source is never drawn from.
#include <gtest/gtest.h>
#include <random>

#include "engine/VornDef.h"
#include "gen/Randomize.h"

namespace vorn {
namespace {

TEST(Randomize, LockedValuesStayAndEveryOtherReachesBothEndsOfItsRange) {
    TGenSettings current;
    current.SetValue(gpSteps, 300);
    current.SetValue(gpEffect, 4);
    current.SetValue(gpTiling, tmWrapY); // kept as it is, like the size
    TParamLocks locked{};
    locked[gpSteps] = locked[gpEffect] = true;
    std::mt19937 random(20261208); // fixed: the run is the same every time
    random::SetSeed(0x1234);
    std::array<int, GenParamCount> low, high;
    low.fill(1 << 30);
    high.fill(-(1 << 30));
    int channelLow[3] = {255, 255, 255}, channelHigh[3] = {0, 0, 0}; // the colour's red, green, blue
    for (int i = 0; i < 40000; ++i) {
        const TGenSettings values = RandomizeSettings(current, locked, random);
        for (const TGenParam& param : GenParams) {
            const int value = values.Value(param.id);
            ASSERT_GE(value, param.min) << param.name;
            ASSERT_LE(value, param.max) << param.name;
            low[param.id] = std::min(low[param.id], value);
            high[param.id] = std::max(high[param.id], value);
        }
        for (int c = 0; c < 3; ++c) {
            const int channel = values.bgColor >> (16 - 8 * c) & 0xFF;
            channelLow[c] = std::min(channelLow[c], channel);
            channelHigh[c] = std::max(channelHigh[c], channel);
        }
    }
    for (const TGenParam& param : GenParams) {
        if (locked[param.id] || !Randomizable(param.id)) {
            EXPECT_EQ(low[param.id], current.Value(param.id)) << param.name;
            EXPECT_EQ(high[param.id], current.Value(param.id)) << param.name;
        } else if (param.kind == pkColor) {
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(channelLow[c], 0) << "channel " << c;
                EXPECT_EQ(channelHigh[c], 255) << "channel " << c;
            }
        } else {
            EXPECT_EQ(low[param.id], param.min) << param.name;
            EXPECT_EQ(high[param.id], RandomMax(param)) << param.name;
        }
    }
    // A random texture is never transparent: BG Fill None is not drawn.
    EXPECT_EQ(high[gpBGFill], BGFillNone - 1);
    EXPECT_EQ(low[gpTiling], tmWrapY);
    EXPECT_EQ(high[gpTiling], tmWrapY);
    EXPECT_EQ(random::Seed(), 0x1234u) << "the program's random source was drawn from";
}

} // namespace
} // namespace vorn
