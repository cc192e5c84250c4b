// The noise stream against std::mt19937_64 itself, through every path the
// engine carries and read in pieces of awkward sizes.
#include "noise.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<unsigned char> LibraryNoise(uint64_t seed, size_t count) {
    std::mt19937_64 generator(seed);
    std::vector<unsigned char> bytes(count);
    for (size_t i = 0; i < count; i += 8) {
        const uint64_t value = generator();
        for (size_t b = 0; b < 8 && i + b < count; ++b) bytes[i + b] = static_cast<unsigned char>(value >> (8 * b));
    }
    return bytes;
}

TEST(NoiseStream, EqualsTheStandardGeneratorInAnyPieces) {
    const size_t count = 3 * kNoiseBlockBytes + 1001;
    const size_t pieceTable[][3] = {{1, 1, 1}, {7, 2496, 13}, {kNoiseBlockBytes, 5000, 3}, {count, count, count}};
    for (uint64_t seed : {0ull, 1ull, 42ull, 4294967295ull}) {
        const std::vector<unsigned char> expected = LibraryNoise(seed, count);
        for (const size_t* pieces : pieceTable) {
            NoiseStream stream;
            SeedNoise(stream, seed);
            std::vector<unsigned char> made(count);
            for (size_t at = 0, k = 0; at < count; ++k) {
                const size_t piece = std::min(pieces[k % 3], count - at);
                FillNoise(stream, made.data() + at, piece);
                at += piece;
            }
            EXPECT_TRUE(made == expected) << "seed " << seed << ", pieces of " << pieces[0] << "/" << pieces[1];
        }
    }
}

TEST(NoiseStream, PortableAndVectorTwistsAgree) {
    uint64_t portable[kNoiseWords], vector[kNoiseWords];
    NoiseStream stream;
    SeedNoise(stream, 99);
    std::copy(stream.words, stream.words + kNoiseWords, portable);
    std::copy(stream.words, stream.words + kNoiseWords, vector);
    std::vector<unsigned char> a(kNoiseBlockBytes), b(kNoiseBlockBytes);
    const std::vector<unsigned char> expected = LibraryNoise(99, 3 * kNoiseBlockBytes);
    for (size_t twist = 0; twist < 3; ++twist) {
        NextNoiseBlockPortable(portable, a.data());
        NextNoiseBlock(vector, b.data());
        EXPECT_TRUE(std::equal(a.begin(), a.end(), expected.begin() + twist * kNoiseBlockBytes)) << twist;
        EXPECT_TRUE(a == b) << "twist " << twist;
    }
}

}  // namespace
