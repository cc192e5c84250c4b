// The seed search against streams made by the engine's own generator.
#include "patterns.h"
#include "random_algebra.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(RandomSeedSearch, FindsTheLow24BitsAtAnyOffset) {
    for (uint32_t seed : {0u, 1u, 42u, 0x00FFFFFFu, 1765191228u, 0xFFFFFFFFu}) {
        std::vector<unsigned char> stream(300000);
        SeedRandom(seed);
        FillRandom(stream.data(), stream.size());
        for (uint64_t offset : {0ull, 1ull, 63ull, 65535ull, 65536ull, 299000ull}) {
            const RandomSeedsFound found = FindRandomSeeds(stream.data() + offset, 256, offset);
            EXPECT_EQ(found.count, 1u) << "seed " << seed << " offset " << offset;
            EXPECT_EQ(found.first, seed & 0xFFFFFFu) << "seed " << seed << " offset " << offset;
        }
    }
}

TEST(RandomSeedSearch, ShortRunsFitManySeedsAndStrangersNone) {
    std::vector<unsigned char> stream(16);
    SeedRandom(7);
    FillRandom(stream.data(), stream.size());
    // One byte fixes one value of the top byte for each of the 2^16 others.
    EXPECT_EQ(FindRandomSeeds(stream.data(), 1, 0).count, 65536u);
    EXPECT_EQ(FindRandomSeeds(stream.data(), 0, 0).count, kRandomSeedCount);
    const RandomSeedsFound two = FindRandomSeeds(stream.data(), 2, 0);
    EXPECT_GE(two.count, 1u);
    EXPECT_LE(two.first, 7u) << "the lowest seed that fits comes first";
    const std::vector<unsigned char> zeros(256, 0);
    EXPECT_EQ(FindRandomSeeds(zeros.data(), zeros.size(), 0).count, 0u);
}

}  // namespace
