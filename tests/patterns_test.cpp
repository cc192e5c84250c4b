#include "patterns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The generator as its definition states it, written out independently.
uint32_t ReferenceStep(uint32_t& state) {
    state = static_cast<uint32_t>((static_cast<uint64_t>(state) * 22695477u + 1u) & 0xFFFFFFFFu);
    return (state >> 16) & 0x7FFFu;
}

TEST(RandomSource, KnownValuesAfterSeedZero) {
    SeedRandom(0);
    const uint32_t expected[] = {0, 346, 130, 10982, 1090, 11656, 7117, 17595};
    for (uint32_t value : expected) EXPECT_EQ(NextRandom(), value);
}

TEST(RandomSource, KnownBytesAfterSeedZero) {
    SeedRandom(0);
    unsigned char bytes[8];
    FillRandom(bytes, sizeof bytes);
    const unsigned char expected[] = {0x00, 0x5A, 0x82, 0xE6, 0x42, 0x88, 0xCD, 0xBB};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof bytes));
}

TEST(RandomSource, FirstValueAfterSeedOne) {
    SeedRandom(1);
    EXPECT_EQ(NextRandom(), 346u);
}

TEST(RandomSource, ValuesStayWithinFifteenBitsOverLongRun) {
    SeedRandom(0xDEADBEEF);
    uint32_t state = 0xDEADBEEF;
    for (int i = 0; i < 1000000; ++i) {
        uint32_t value = NextRandom();
        ASSERT_LE(value, 32767u);
        ASSERT_EQ(value, ReferenceStep(state)) << "at call " << i;
    }
}

// The block fill must be byte for byte the per-call stream, for any length and
// starting state, and leave the generator where the per-call loop would.
TEST(RandomSource, FillMatchesOneCallPerByte) {
    const uint32_t seeds[] = {0u, 1u, 2u, 12345u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    const size_t lengths[] = {0, 1, 3, 15, 16, 17, 63, 64, 1023, 1024, 1025, 4096 + 7};
    for (uint32_t seed : seeds) {
        for (size_t length : lengths) {
            std::vector<unsigned char> filled(length + 1, 0xAB);
            SeedRandom(seed);
            FillRandom(filled.data(), length);
            uint32_t nextAfterFill = NextRandom();

            uint32_t state = seed;
            for (size_t i = 0; i < length; ++i) {
                ASSERT_EQ(filled[i], static_cast<unsigned char>(ReferenceStep(state)))
                    << "seed " << seed << " length " << length << " byte " << i;
            }
            EXPECT_EQ(filled[length], 0xAB) << "wrote past the end";
            EXPECT_EQ(nextAfterFill, ReferenceStep(state)) << "seed " << seed << " length " << length;
        }
    }
}

TEST(RandomSource, ConsecutiveBlocksContinueTheStream) {
    SeedRandom(42);
    std::vector<unsigned char> blocks(64 * kDataBlockSize);
    for (size_t b = 0; b < 64; ++b) FillRandom(&blocks[b * kDataBlockSize], kDataBlockSize);
    uint32_t state = 42;
    for (size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_EQ(blocks[i], static_cast<unsigned char>(ReferenceStep(state))) << "byte " << i;
    }
}

TEST(TextLine, IsSixtyTwoLettersAndDigitsThenCrLf) {
    std::string line(AsciiLine, kAsciiLineSize);
    EXPECT_EQ(line, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\r\n");
    EXPECT_EQ(AsciiLine[kAsciiLineSize], '\0');
}

}  // namespace
