// The chunk layout check run before libpng reads a brush or palette image: a chunk that claims
// more bytes than the file holds is refused before any decoder allocates for it.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "io/PngChunks.h"
#include "support/TempDir.h"

namespace vorn {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The signature, then chunks of the given data lengths (as declared, data zero) up to IEND.
Bytes File(const std::vector<std::uint32_t>& declared, const std::vector<std::uint32_t>& actual) {
    Bytes file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (std::size_t i = 0; i < declared.size(); ++i) {
        for (int k = 0; k < 4; ++k) file.push_back(std::uint8_t(declared[i] >> (24 - 8 * k)));
        for (const char c : {'t', 'E', 'X', 't'}) file.push_back(std::uint8_t(c));
        file.insert(file.end(), actual[i] + 4, 0); // data and CRC
    }
    const Bytes iend{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    file.insert(file.end(), iend.begin(), iend.end());
    return file;
}

TEST(PngChunks, AChunkClaimingMoreThanTheFileHoldsIsRefused) {
    const struct {
        std::vector<std::uint32_t> declared, actual;
        bool fits;
    } cases[] = {
        {{}, {}, true},
        {{5, 0}, {5, 0}, true},
        {{6}, {5}, false},            // one byte more than there is
        {{0x692D0025u}, {20}, false}, // the fuzzer's 1.76 GB text chunk
        {{0xFFFFFFFFu}, {0}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(PngChunksFit(File(c.declared, c.actual)), c.fits);
    EXPECT_TRUE(
        PngChunksFit(Bytes{'j', 'u', 'n', 'k'})); // too short to hold a chunk: the decoder's to refuse
    // The fuzzer's input itself.
    EXPECT_FALSE(PngChunksFit(
        test::ReadFile(std::string(PALLIMOR_TEST_DATA) + "/../fuzz/pack/chunk-longer-than-file.png")));
}

} // namespace
} // namespace vorn
