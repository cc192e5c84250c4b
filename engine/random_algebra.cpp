#include "random_algebra.h"

#include <cstring>

static constexpr uint32_t Step(uint32_t state) { return state * kRandomMultiplier + kRandomIncrement; }

static inline unsigned char ByteOf(uint32_t state) { return static_cast<unsigned char>(state >> 16); }

static unsigned char cycleHigh[kRandomCycle + kRandomCycleSlack];

static bool BuildCycleTable() {
    uint32_t state = 0;
    for (unsigned char& high : cycleHigh) {
        high = ByteOf(state);
        state = Step(state);
    }
    return true;
}

const unsigned char* RandomCycleHigh() {
    static const bool built = BuildCycleTable();  // once, even with several threads
    (void)built;
    return cycleHigh;
}

namespace {

// Small tables for finding a state's place in the cycle.
struct CycleTables {
    uint8_t indexOfLowByte[256];  // i < 256 with Z(i) = x in the low 8 bits
    uint16_t lowState[256];       // Z(i) mod 2^16 for i < 256
    uint8_t stepInverse[256];     // see RandomCycleIndex
};

constexpr CycleTables MakeCycleTables() {
    CycleTables t = {};
    // 256 steps multiply by 1 + 2^10 u and add 2^8 w (mod 2^16), u and w odd.
    const RandomJump jump256 = RandomJumpOf(256);
    const uint32_t u = ((jump256.multiplier - 1u) >> 10) & 0x3Fu;
    const uint32_t w = (jump256.increment >> 8) & 0xFFu;
    uint32_t state = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        t.indexOfLowByte[state & 0xFFu] = static_cast<uint8_t>(i);
        t.lowState[i] = static_cast<uint16_t>(state);
        t.stepInverse[i] = static_cast<uint8_t>(InverseMod256((4u * u * state + w) & 0xFFu));
        state = Step(state);
    }
    return t;
}

constexpr CycleTables kCycleTables = MakeCycleTables();

}  // namespace

// The low byte gives i mod 256 (by table); from there, t more jumps of 256
// steps add 2^8 * t * (4u Z + w) (mod 2^16), and that factor is odd, so t
// follows from bits 8..15 of the difference by one multiplication mod 256.
uint32_t RandomCycleIndex(uint32_t state) {
    const uint32_t low = kCycleTables.indexOfLowByte[state & 0xFFu];
    const uint32_t gap = ((state - kCycleTables.lowState[low]) & 0xFFFFu) >> 8;
    return low + 256u * ((gap * kCycleTables.stepInverse[low]) & 0xFFu);
}

uint32_t FillRandomPortable(unsigned char* bytes, size_t count, uint32_t state) {
    // One chain of dependent multiplies waits on each product in turn; four
    // chains, each jumping four positions, keep the multiplier busy.
    const RandomJump four = RandomJumpOf(4);
    size_t i = 0;
    if (count >= 4) {
        uint32_t s0 = Step(state);
        uint32_t s1 = Step(s0);
        uint32_t s2 = Step(s1);
        uint32_t s3 = Step(s2);
        for (; i + 4 <= count; i += 4) {
            bytes[i] = ByteOf(s0);
            bytes[i + 1] = ByteOf(s1);
            bytes[i + 2] = ByteOf(s2);
            bytes[i + 3] = ByteOf(s3);
            state = s3;
            s0 = s0 * four.multiplier + four.increment;
            s1 = s1 * four.multiplier + four.increment;
            s2 = s2 * four.multiplier + four.increment;
            s3 = s3 * four.multiplier + four.increment;
        }
    }
    for (; i < count; ++i) {
        state = Step(state);
        bytes[i] = ByteOf(state);
    }
    return state;
}

bool RandomMatchesPortable(const unsigned char* bytes, size_t count, uint32_t state) {
    unsigned char expected[4096];
    for (size_t done = 0; done < count;) {
        const size_t piece = count - done < sizeof expected ? count - done : sizeof expected;
        state = FillRandomPortable(expected, piece, state);
        if (std::memcmp(expected, bytes + done, piece) != 0) return false;
        done += piece;
    }
    return true;
}

uint32_t FillRandomFrom(unsigned char* bytes, size_t count, uint32_t state) {
#if FILLWRIGHT_SSE2
    return FillRandomSse2(bytes, count, state);
#else
    return FillRandomPortable(bytes, count, state);
#endif
}

bool RandomMatchesFrom(const unsigned char* bytes, size_t count, uint32_t state) {
#if FILLWRIGHT_SSE2
    return RandomMatchesSse2(bytes, count, state);
#else
    return RandomMatchesPortable(bytes, count, state);
#endif
}

namespace {

constexpr uint32_t kFirstInverse = InverseMod256(kRandomMultiplier & 0xFFu);

// The jump from the state after offset steps back to the seed: offset steps
// back, which modulo 2^24 (the period of the low 24 bits) is a jump forward.
RandomJump BackTo(uint64_t offset) {
    const uint64_t back = (kRandomSeedCount - offset % kRandomSeedCount) % kRandomSeedCount;
    const uint32_t increment = JumpRandom(0, back);
    return {JumpRandom(1, back) - increment, increment};
}

}  // namespace

RandomSeedsFound FindRandomSeeds(const unsigned char* bytes, size_t count, uint64_t offset) {
    RandomSeedsFound found;
    if (count > kRandomSearchWindow) count = kRandomSearchWindow;
    if (count == 0) {
        found.count = kRandomSeedCount;  // every seed makes no bytes
        return found;
    }
    const unsigned char* high = RandomCycleHigh();
    const RandomJump back = BackTo(offset);
    uint32_t cycleState = 0;  // Z(i)
    for (uint32_t i = 0; i < kRandomCycle; ++i, cycleState = Step(cycleState)) {
        const uint32_t d = ((bytes[0] - high[i + 1]) * kFirstInverse) & 0xFFu;
        size_t k = 1;
        while (k < count && ((high[i + k + 1] + kRandomPowers.lowByte[k & 63u] * d) & 0xFFu) == bytes[k]) ++k;
        if (k < count) continue;
        const uint32_t state = cycleState + (d << 16);
        const uint32_t seed = (state * back.multiplier + back.increment) & (kRandomSeedCount - 1u);
        if (found.count == 0 || seed < found.first) found.first = seed;
        ++found.count;
    }
    return found;
}
