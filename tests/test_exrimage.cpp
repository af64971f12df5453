// Half-float OpenEXR data maps: values a half holds come back exactly, others as the nearest
// half, and malformed input is refused with a one-line reason.
#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/ExrImage.h"

namespace vorn {
namespace {

struct TDecoded {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::vector<TExrChannel> channels;
    std::string reason;
};

TDecoded RoundTrip(int width, int height, const std::vector<TExrChannel>& channels) {
    TDecoded decoded;
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!EncodeExr(width, height, channels, bytes, &reason)) {
        decoded.reason = "encode: " + reason;
        return decoded;
    }
    decoded.ok = DecodeExr(bytes, decoded.width, decoded.height, decoded.channels, &decoded.reason);
    return decoded;
}

bool OneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == std::string::npos;
}

TEST(ExrImage, GreyMapOfHalfValuesComesBackExactly) {
    // All six are halves: 65504 is the largest finite one, (2 - 2^-10) * 2^15.
    const std::vector<float> values = {0.0f, 0.25f, 0.5f, 1.0f, 2.0f, 65504.0f};
    const TDecoded decoded = RoundTrip(3, 2, {{"Y", values}});
    ASSERT_TRUE(decoded.ok) << decoded.reason;
    EXPECT_EQ(decoded.width, 3);
    EXPECT_EQ(decoded.height, 2);
    ASSERT_EQ(decoded.channels.size(), 1u);
    EXPECT_EQ(decoded.channels[0].name, "Y");
    EXPECT_EQ(decoded.channels[0].values, values);
}

TEST(ExrImage, TwoChannelsKeepNamesAndValuesInAlphabeticalOrder) {
    const std::vector<float> red = {1.0f, -0.5f};
    const std::vector<float> green = {0.125f, 4.0f};
    const TDecoded decoded = RoundTrip(1, 2, {{"R", red}, {"G", green}});
    ASSERT_TRUE(decoded.ok) << decoded.reason;
    ASSERT_EQ(decoded.channels.size(), 2u);
    EXPECT_EQ(decoded.channels[0].name, "G");
    EXPECT_EQ(decoded.channels[0].values, green);
    EXPECT_EQ(decoded.channels[1].name, "R");
    EXPECT_EQ(decoded.channels[1].values, red);
}

TEST(ExrImage, OtherValuesComeBackAsTheNearestHalf) {
    // 1/3 = 1.0101010101|0101...b * 2^-2; ten mantissa bits keep 1 + 341/1024 and the rest is
    // below half a step, so the half is 1365/4096.
    const TDecoded decoded = RoundTrip(1, 1, {{"Y", {1.0f / 3.0f}}});
    ASSERT_TRUE(decoded.ok) << decoded.reason;
    ASSERT_EQ(decoded.channels.size(), 1u);
    EXPECT_EQ(decoded.channels[0].values, std::vector<float>{0.333251953125f});
}

TEST(ExrImage, RoundingGoesToTheNearestHalfAndTiesToTheEvenOne) {
    // Halves have 10 mantissa bits: a step of 2^-10 at 1, of 2^-24 below 2^-14 (the subnormals);
    // a tie goes to the half whose last mantissa bit is 0.
    struct TCase {
        const char* what;
        float value;
        float half;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const TCase cases[] = {
        {"1 + 2^-11, a tie, down to even", 1.0f + 0x1p-11f, 1.0f},
        {"1 + 3 * 2^-11, a tie, up to even", 1.0f + 0x3p-11f, 1.0f + 0x1p-9f},
        {"just above a tie goes up", 1.0f + 0x1p-11f + 0x1p-23f, 1.0f + 0x1p-10f},
        {"largest float below 65520", 0x1.ffdffep15f, 65504.0f},
        {"65520, a tie, up to infinity", 65520.0f, inf},
        {"-65520 to minus infinity", -65520.0f, -inf},
        {"1e6 to infinity", 1e6f, inf},
        {"infinity stays", inf, inf},
        {"a subnormal half, 3 * 2^-16, stays", 0x3p-16f, 0x3p-16f},
        {"2^-25, a tie, down to zero", 0x1p-25f, 0.0f},
        {"just above 2^-25 to the smallest subnormal", 0x1.000002p-25f, 0x1p-24f},
        {"3 * 2^-25, a tie, up to even", 0x3p-25f, 0x1p-23f},
        {"5 * 2^-25, a tie, down to even", 0x5p-25f, 0x1p-23f},
        {"1023.5 * 2^-24, a tie, up to the smallest normal", 0x1.ffep-15f, 0x1p-14f},
        {"1e-10 to zero", 1e-10f, 0.0f},
        {"minus zero keeps its sign", -0.0f, -0.0f},
    };
    // A NaN stays one, also when its payload lies below the bits a half keeps.
    const float nans[] = {std::numeric_limits<float>::quiet_NaN(), std::bit_cast<float>(0x7f800001u)};
    std::vector<float> values;
    for (const TCase& c : cases) values.push_back(c.value);
    values.insert(values.end(), std::begin(nans), std::end(nans));
    const TDecoded decoded = RoundTrip(static_cast<int>(values.size()), 1, {{"Y", values}});
    ASSERT_TRUE(decoded.ok) << decoded.reason;
    ASSERT_EQ(decoded.channels.size(), 1u);
    const std::vector<float>& halves = decoded.channels[0].values;
    ASSERT_EQ(halves.size(), values.size());
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(std::bit_cast<std::uint32_t>(halves[i]), std::bit_cast<std::uint32_t>(cases[i].half))
            << cases[i].what << ": " << halves[i];
    for (std::size_t i = std::size(cases); i < halves.size(); ++i) EXPECT_TRUE(std::isnan(halves[i])) << i;
}

TEST(ExrImage, EncodeRefusesMalformedImages) {
    const std::vector<float> four(4, 0.5f);
    struct TCase {
        const char* what;
        int width;
        int height;
        std::vector<TExrChannel> channels;
    };
    const TCase cases[] = {
        {"width 0", 0, 2, {{"Y", {}}}},
        {"no channels", 2, 2, {}},
        {"wrong count", 2, 2, {{"Y", {0.5f, 0.5f, 0.5f}}}},
        {"duplicate names", 2, 2, {{"Y", four}, {"Y", four}}},
    };
    for (const TCase& c : cases) {
        std::vector<std::uint8_t> bytes;
        std::string reason;
        EXPECT_FALSE(EncodeExr(c.width, c.height, c.channels, bytes, &reason)) << c.what;
        EXPECT_TRUE(OneLine(reason)) << c.what << ": '" << reason << "'";
    }
}

TEST(ExrImage, DecodeRefusesBytesThatAreNotAnExrFile) {
    const std::vector<std::uint8_t> bytes = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'E', 'X', 'R', 0, 1, 2, 3};
    int width = -1;
    int height = -1;
    std::vector<TExrChannel> channels;
    std::string reason;
    EXPECT_FALSE(DecodeExr(bytes, width, height, channels, &reason));
    EXPECT_TRUE(OneLine(reason)) << "'" << reason << "'";
    EXPECT_EQ(width, -1);
    EXPECT_TRUE(channels.empty());
}

TEST(ExrImage, FileStartsWithTheMagicNumber) {
    std::vector<std::uint8_t> bytes;
    std::string reason;
    ASSERT_TRUE(EncodeExr(1, 1, {{"Y", {1.0f}}}, bytes, &reason)) << reason;
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4),
              (std::vector<std::uint8_t>{0x76, 0x2f, 0x31, 0x01}));
}

} // namespace
} // namespace vorn
