// MD5 against the RFC 1321 test suite and the padding boundaries of the 64-byte block.
#include <gtest/gtest.h>

#include <string>

#include "archive/VornMd5.h"

namespace {

std::string HexOf(const std::string& text) {
    return vorn::Md5Hex(vorn::Md5Of(text.data(), text.size()));
}

TEST(Md5, Rfc1321Suite) {
    EXPECT_EQ(HexOf(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(HexOf("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(HexOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(HexOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(HexOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(HexOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(HexOf("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around 56 and 64 bytes, where the padding needs one or two extra blocks.
TEST(Md5, PaddingBoundaries) {
    EXPECT_EQ(HexOf(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(HexOf(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(HexOf(std::string(63, 'a')), "b06521f39153d618550606be297466d5");
    EXPECT_EQ(HexOf(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
    EXPECT_EQ(HexOf(std::string(65, 'a')), "c743a45e0d2e6a95cb859adae0248435");
    EXPECT_EQ(HexOf(std::string(119, 'a')), "8a7bd0732ed6a28ce75f6dabc90e1613");
    EXPECT_EQ(HexOf(std::string(120, 'a')), "5f61c0ccad4cac44c75ff505e1f1e537");
    EXPECT_EQ(HexOf(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

// Feeding the same bytes in pieces of any size gives the one-shot digest.
TEST(Md5, PiecewiseUpdateMatchesOneShot) {
    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>((i * 37 + 11) & 0xFF);
    const vorn::TMd5Digest whole = vorn::Md5Of(data.data(), data.size());
    for (std::size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 200u}) {
        vorn::TMd5 md5;
        for (std::size_t at = 0; at < data.size(); at += piece)
            md5.Update(data.data() + at, std::min(piece, data.size() - at));
        EXPECT_EQ(md5.Final(), whole) << "piece size " << piece;
    }
}

} // namespace
