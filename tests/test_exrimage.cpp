// Half-float OpenEXR data maps: values a half holds come back exactly, others as the nearest
// half, and malformed input is refused with a one-line reason.
#include <cstdint>
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
