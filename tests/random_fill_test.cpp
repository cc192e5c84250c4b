// The random block fills against the generator's one-step definition: every
// path the engine carries (the portable one and, where the build has it, the
// SSE2 one), and FillRandom itself, must give the same bytes and end in the
// same state as one step per byte.
#include "patterns.h"
#include "random_algebra.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const uint32_t kA = 22695477u;

// One step as the generator's definition states it, written out independently.
uint32_t ReferenceStep(uint32_t state) {
    return static_cast<uint32_t>((static_cast<uint64_t>(state) * kA + 1u) & 0xFFFFFFFFu);
}
unsigned char ReferenceByte(uint32_t state) { return static_cast<unsigned char>((state >> 16) & 0xFFu); }

// The step undone: state = (next - 1) * a^-1, with a^-1 mod 2^32 found by
// Newton's iteration (each round doubles the correct low bits).
uint32_t InverseOfA() {
    uint32_t inverse = kA;  // correct to 3 bits, since a is odd
    for (int i = 0; i < 5; ++i) inverse *= 2u - kA * inverse;
    return inverse;
}
uint32_t PreviousState(uint32_t state) { return (state - 1u) * InverseOfA(); }

typedef uint32_t (*StateFill)(unsigned char*, size_t, uint32_t);

struct FillPath {
    const char* name;
    StateFill fill;
};

std::vector<FillPath> EnginePaths() {
    std::vector<FillPath> paths;
    paths.push_back({"portable", FillRandomPortable});
#if FILLWRIGHT_SSE2
    paths.push_back({"sse2", FillRandomSse2});
#endif
    return paths;
}

// Seeds that make the stream pass through the states 0 and 2^32 - 1 at every
// position of a 32-byte round and in the scalar tail, plus the cycle's other
// edges and a spread of arbitrary states.
std::vector<uint32_t> TestSeeds() {
    std::vector<uint32_t> seeds = {0u,          1u,          2u,          0x7FFFFFFFu, 0x80000000u,
                                   0xFFFFFFFEu, 0xFFFFFFFFu, 0xFFFF0000u, 0x0000FFFFu, 0x00010000u};
    const uint32_t edges[] = {0u, 0xFFFFFFFFu};
    for (uint32_t edge : edges) {
        uint32_t state = edge;
        for (int back = 1; back <= 70; ++back) {
            state = PreviousState(state);
            seeds.push_back(state);
        }
    }
    uint32_t x = 0x9E3779B9u;  // xorshift32: arbitrary but repeatable states
    for (int i = 0; i < 200; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        seeds.push_back(x);
    }
    return seeds;
}

std::vector<size_t> TestLengths() {
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 100; ++n) lengths.push_back(n);
    const size_t more[] = {127, 128, 129, 255, 1023, 1024, 1025, 4096 + 7, 65536 + 31};
    lengths.insert(lengths.end(), more, more + sizeof more / sizeof more[0]);
    return lengths;
}

const unsigned char kGuard = 0xA5;
const size_t kGuardBytes = 64;

TEST(RandomFill, PreviousStateUndoesOneStep) {
    const uint32_t states[] = {0u, 1u, 12345u, 0xFFFFFFFFu, 0x80000000u};
    for (uint32_t s : states) {
        EXPECT_EQ(ReferenceStep(PreviousState(s)), s);
        EXPECT_EQ(PreviousState(ReferenceStep(s)), s);
    }
}

TEST(RandomFill, EveryPathMatchesOneStepPerByte) {
    const std::vector<uint32_t> seeds = TestSeeds();
    const std::vector<size_t> lengths = TestLengths();
    for (const FillPath& path : EnginePaths()) {
        size_t misalign = 0;
        for (uint32_t seed : seeds) {
            for (size_t length : lengths) {
                // Output at every alignment; guards on both sides catch stray stores.
                misalign = (misalign + 1) % 16;
                std::vector<unsigned char> buffer(kGuardBytes + misalign + length + kGuardBytes, kGuard);
                unsigned char* out = buffer.data() + kGuardBytes + misalign;
                const uint32_t end = path.fill(out, length, seed);

                uint32_t state = seed;
                for (size_t i = 0; i < length; ++i) {
                    state = ReferenceStep(state);
                    ASSERT_EQ(out[i], ReferenceByte(state))
                        << path.name << ": seed " << seed << " length " << length << " byte " << i;
                }
                ASSERT_EQ(end, state) << path.name << ": seed " << seed << " length " << length;
                for (size_t i = 0; i < kGuardBytes + misalign; ++i)
                    ASSERT_EQ(buffer[i], kGuard) << path.name << ": wrote before the start, length " << length;
                for (size_t i = 0; i < kGuardBytes; ++i)
                    ASSERT_EQ(out[length + i], kGuard) << path.name << ": wrote past the end, length " << length;
            }
        }
    }
}

TEST(RandomFill, EveryPathContinuesTheStreamAcrossCalls) {
    // Many whole blocks, then chunks of awkward lengths, against one reference run.
    std::vector<size_t> chunks(1000, kDataBlockSize);
    const size_t odd[] = {1, 31, 33, 1000, 7, 64, 65, 2047, 3, 32, 0, 95};
    for (int repeat = 0; repeat < 20; ++repeat) chunks.insert(chunks.end(), odd, odd + sizeof odd / sizeof odd[0]);
    size_t total = 0;
    for (size_t c : chunks) total += c;

    const uint32_t seed = PreviousState(PreviousState(0u));
    std::vector<unsigned char> expected(total);
    uint32_t state = seed;
    for (unsigned char& byte : expected) {
        state = ReferenceStep(state);
        byte = ReferenceByte(state);
    }
    for (const FillPath& path : EnginePaths()) {
        std::vector<unsigned char> got(total, kGuard);
        uint32_t s = seed;
        size_t at = 0;
        for (size_t c : chunks) {
            s = path.fill(got.data() + at, c, s);
            at += c;
        }
        EXPECT_EQ(s, state) << path.name;
        for (size_t i = 0; i < total; ++i) ASSERT_EQ(got[i], expected[i]) << path.name << ": byte " << i;
    }
}

// Every value of the low 16 bits of the state, each with arbitrary high bits:
// a fast path that finds the state's place in the generator's low cycle must
// find it for all of them.
TEST(RandomFill, EveryLowHalfOfTheStartState) {
    const size_t length = 70;  // past the 64-step repeat of the high-bit term
    uint32_t x = 0x2545F491u;
    for (const FillPath& path : EnginePaths()) {
        for (uint32_t low = 0; low < 0x10000u; ++low) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            const uint32_t seed = (x & 0xFFFF0000u) | low;
            unsigned char out[length];
            const uint32_t end = path.fill(out, length, seed);
            uint32_t state = seed;
            for (size_t i = 0; i < length; ++i) {
                state = ReferenceStep(state);
                ASSERT_EQ(out[i], ReferenceByte(state)) << path.name << ": seed " << seed << " byte " << i;
            }
            ASSERT_EQ(end, state) << path.name << ": seed " << seed;
        }
    }
}

// Long fills that start near the end of the low cycle (the states 65536 - j
// steps after state 0), so that they run across its wrap and across several
// internal slices.
TEST(RandomFill, LongFillsAcrossTheLowCycleWrap) {
    const size_t length = 9000 + 13;
    std::vector<uint32_t> seeds;
    uint32_t state = 0;
    for (uint32_t j = 0; j < 0x10000u; ++j) {
        if (j >= 0x10000u - 5000u && j % 37u == 0) seeds.push_back(state ^ (j << 24));
        state = ReferenceStep(state);
    }
    std::vector<unsigned char> out(length);
    for (const FillPath& path : EnginePaths()) {
        for (uint32_t seed : seeds) {
            const uint32_t end = path.fill(out.data(), length, seed);
            uint32_t s = seed;
            for (size_t i = 0; i < length; ++i) {
                s = ReferenceStep(s);
                ASSERT_EQ(out[i], ReferenceByte(s)) << path.name << ": seed " << seed << " byte " << i;
            }
            ASSERT_EQ(end, s) << path.name << ": seed " << seed;
        }
    }
}

TEST(RandomFill, Sse2AndPortablePathsGiveTheSameBytes) {
#if FILLWRIGHT_SSE2
    std::vector<unsigned char> portable(1 << 20), sse2(1 << 20);
    const uint32_t seeds[] = {0u, 0xFFFFFFFFu, 1700000000u, 0xDEADBEEFu};
    for (uint32_t seed : seeds) {
        const uint32_t endPortable = FillRandomPortable(portable.data(), portable.size(), seed);
        const uint32_t endSse2 = FillRandomSse2(sse2.data(), sse2.size(), seed);
        EXPECT_EQ(endPortable, endSse2) << "seed " << seed;
        EXPECT_EQ(0, std::memcmp(portable.data(), sse2.data(), portable.size())) << "seed " << seed;
    }
#else
    GTEST_SKIP() << "this build has no SSE2 path";
#endif
}

// FillRandom goes through the process-wide generator: its bytes, and the
// values NextRandom() gives after it, must be those of single steps.
TEST(RandomFill, FillRandomMatchesSingleCallsAndLeavesTheSameState) {
    const std::vector<uint32_t> seeds = TestSeeds();
    const size_t lengths[] = {0, 1, 31, 32, 33, 1023, 1024, 1025, 5000};
    for (uint32_t seed : seeds) {
        for (size_t length : lengths) {
            std::vector<unsigned char> filled(length + kGuardBytes, kGuard);
            SeedRandom(seed);
            FillRandom(filled.data(), length);
            uint32_t after[4];
            for (uint32_t& value : after) value = NextRandom();

            SeedRandom(seed);
            for (size_t i = 0; i < length; ++i)
                ASSERT_EQ(filled[i], static_cast<unsigned char>(NextRandom() & 0xFFu))
                    << "seed " << seed << " length " << length << " byte " << i;
            for (uint32_t value : after) ASSERT_EQ(value, NextRandom()) << "seed " << seed << " length " << length;
            for (size_t i = 0; i < kGuardBytes; ++i) ASSERT_EQ(filled[length + i], kGuard);
        }
    }
}

// The random writer writes from a period of the stream, renewed in place:
// the periods must be the stream itself, over several renewals, from any
// seed, and making the first one must not move the generator.
TEST(RandomFill, PeriodsFollowTheStream) {
    const int kPeriods = 4;
    const std::vector<uint32_t> seeds = TestSeeds();
    RandomPeriod period;
    for (size_t s = 0; s < seeds.size(); s += 5) {  // some of the cycle's edges, some arbitrary states
        const uint32_t seed = seeds[s];
        SeedRandom(seed);
        StartRandomPeriod(period);
        EXPECT_EQ(NextRandom(), (ReferenceStep(seed) >> 16) & 0x7FFFu) << "making the period moved the generator";
        uint32_t state = seed;
        for (int p = 0; p < kPeriods; ++p) {
            if (p > 0) NextRandomPeriod(period);
            for (size_t i = 0; i < kRandomPeriod; ++i) {
                state = ReferenceStep(state);
                ASSERT_EQ(period.bytes[i], ReferenceByte(state)) << "seed " << seed << " period " << p << " byte " << i;
            }
        }
    }
}

// Skipping count steps must leave the generator where count calls would; the
// 32-bit state returns to itself after 2^32 steps, which checks the long jumps.
TEST(RandomFill, SkipEqualsThatManyCalls) {
    const uint64_t counts[] = {0, 1, 2, 3, 1023, 1024, 1025, 65536, 65537, 1000003};
    for (uint32_t seed : {0u, 1u, 0xFFFFFFFFu, 1700000000u}) {
        for (uint64_t count : counts) {
            SeedRandom(seed);
            for (uint64_t i = 0; i < count; ++i) NextRandom();
            const uint32_t expected = NextRandom();
            SeedRandom(seed);
            SkipRandom(count);
            EXPECT_EQ(NextRandom(), expected) << "seed " << seed << " count " << count;
            SeedRandom(seed);
            SkipRandom(count + (uint64_t{1} << 32));
            EXPECT_EQ(NextRandom(), expected) << "seed " << seed << " count 2^32 + " << count;
            SeedRandom(seed);
            SkipRandom(count + (uint64_t{5} << 34));
            EXPECT_EQ(NextRandom(), expected) << "seed " << seed << " count 5 * 2^34 + " << count;
        }
    }
}

}  // namespace

namespace {

// The comparison without writing: true for the stream's bytes, false when any
// one of them is off, wherever it lies (vector body or byte tail).
// Every match path the build has, the portable one always among them.
TEST(RandomMatch, SeesEveryChangedByte) {
    typedef bool (*StateMatch)(const unsigned char*, size_t, uint32_t);
    std::vector<std::pair<const char*, StateMatch>> paths = {{"chosen", RandomMatchesFrom},
                                                             {"portable", RandomMatchesPortable}};
#if FILLWRIGHT_SSE2
    paths.push_back({"sse2", RandomMatchesSse2});
#endif
    for (const auto& path : paths) {
        for (size_t count : {size_t(1), size_t(63), size_t(64), size_t(4097), size_t(10000)}) {
            std::vector<unsigned char> bytes(count);
            const uint32_t state = 0x12345678u;
            FillRandomFrom(bytes.data(), count, state);
            EXPECT_TRUE(path.second(bytes.data(), count, state)) << path.first << " " << count;
            for (size_t at : {size_t(0), count / 2, count - 1}) {
                bytes[at] ^= 0x80;
                EXPECT_FALSE(path.second(bytes.data(), count, state)) << path.first << " " << count << " at " << at;
                bytes[at] ^= 0x80;
            }
            EXPECT_FALSE(path.second(bytes.data(), count, state + 1)) << path.first << " " << count;
        }
    }
}

}  // namespace
