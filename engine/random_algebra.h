// The fast algebra of the FileRandom byte stream: jumps, the cycle tables,
// block fills and matches from an explicit state, and the seed search.
// Byte i is bits 16..23 of the state after i + 1 steps of
// state = state * a + c with a = 22695477, c = 1 (mod 2^32).
//
// Why it is fast: only bits 0..23 of the state reach a byte, and the low 16
// bits run through one cycle of 65536 states whatever the high bits are. Let
// Z(j) be the state j steps after state 0 and i the index with Z(i) = state in
// the low 16 bits; then state = Z(i) + 2^16 d (mod 2^24) for one byte d, and k
// steps later the state is Z(i + k) + 2^16 a^k d (mod 2^24). So byte k is
// high[i + k + 1] + (a^(k+1) mod 256) d (mod 256), where high[] holds bits
// 16..23 of Z, and a^k mod 256 repeats every 64 steps:
// - a block is one table slice plus a 64-byte pattern (the fills);
// - each 65536 bytes of the stream are the 65536 before with the same 64-byte
//   step added (a^(2^16) = 1 mod 256; patterns' RandomPeriod);
// - the first byte fixes d for each i since a is odd, and the next bytes rule
//   out all but the right i: 65536 tries find a seed (FindRandomSeeds).
#pragma once

#include "sse2_choice.h"

#include <cstddef>
#include <cstdint>

const uint32_t kRandomMultiplier = 22695477u;
const uint32_t kRandomIncrement = 1u;

// k steps of state = a * state + c equal one step of state = a^k * state + c_k,
// with c_k = c * (a^(k-1) + ... + a + 1), all mod 2^32.
struct RandomJump {
    uint32_t multiplier;
    uint32_t increment;
};

constexpr RandomJump RandomJumpOf(uint32_t steps) {
    RandomJump jump = {1u, 0u};
    for (uint32_t i = 0; i < steps; ++i) {
        jump.multiplier = jump.multiplier * kRandomMultiplier;
        jump.increment = jump.increment * kRandomMultiplier + kRandomIncrement;
    }
    return jump;
}

// The jumps by 2^b steps, so that any count of steps costs one step per set bit.
struct RandomPowerJumps {
    RandomJump byPowerOfTwo[64];
};

constexpr RandomPowerJumps MakeRandomPowerJumps() {
    RandomPowerJumps t = {};
    RandomJump jump = RandomJumpOf(1);
    for (int b = 0; b < 64; ++b) {
        t.byPowerOfTwo[b] = jump;
        jump = {jump.multiplier * jump.multiplier, jump.increment * jump.multiplier + jump.increment};
    }
    return t;
}

inline constexpr RandomPowerJumps kRandomPowerJumps = MakeRandomPowerJumps();

// The state steps steps after state.
inline uint32_t JumpRandom(uint32_t state, uint64_t steps) {
    for (int b = 0; steps != 0; ++b, steps >>= 1) {
        if (steps & 1u)
            state = state * kRandomPowerJumps.byPowerOfTwo[b].multiplier + kRandomPowerJumps.byPowerOfTwo[b].increment;
    }
    return state;
}

// x with odd * x = 1 (mod 256): every odd number has one.
constexpr uint32_t InverseMod256(uint32_t odd) {
    uint32_t inverse = odd;  // right in 3 bits; each round doubles that
    for (int i = 0; i < 3; ++i) inverse *= 2u - odd * inverse;
    return inverse & 0xFFu;
}

// a^(k+1) mod 256 for k = 0..63: the pattern's factor for byte k. 16 bits
// wide so that the vector fill loads eight at a time.
struct RandomPowers {
    uint16_t lowByte[64];
};

constexpr RandomPowers MakeRandomPowers() {
    RandomPowers t = {};
    uint32_t power = 1;
    for (uint16_t& entry : t.lowByte) {
        power *= kRandomMultiplier;
        entry = static_cast<uint16_t>(power & 0xFFu);
    }
    return t;
}

inline constexpr RandomPowers kRandomPowers = MakeRandomPowers();

// high[j] = bits 16..23 of Z(j), for j = 0 .. kRandomCycle + kRandomCycleSlack
// - 1, so that a slice of up to kRandomCycleSlack bytes starting anywhere in
// the cycle fits. Built on first use (70 KB, ~0.1 ms).
const uint32_t kRandomCycle = 65536;
const uint32_t kRandomCycleSlack = 4096;
const unsigned char* RandomCycleHigh();
// The i < 65536 with Z(i) = state in the low 16 bits.
uint32_t RandomCycleIndex(uint32_t state);

// Fills bytes with the stream from state; returns the state after count steps,
// so the caller carries on where count single steps would have left it. The
// fastest path the build has; the others stay callable so that tests can hold
// them to the same bytes.
uint32_t FillRandomFrom(unsigned char* bytes, size_t count, uint32_t state);
// Whether bytes are the count bytes FillRandomFrom would make from state.
bool RandomMatchesFrom(const unsigned char* bytes, size_t count, uint32_t state);

// Plain C++ for any target.
uint32_t FillRandomPortable(unsigned char* bytes, size_t count, uint32_t state);
bool RandomMatchesPortable(const unsigned char* bytes, size_t count, uint32_t state);
#if FILLWRIGHT_SSE2
// A table slice plus the 64-byte pattern, added 16 bytes at a time.
uint32_t FillRandomSse2(unsigned char* bytes, size_t count, uint32_t state);
bool RandomMatchesSse2(const unsigned char* bytes, size_t count, uint32_t state);
#endif

// The seed search. Only the low 24 bits of the seed reach the bytes, so seeds
// are found as 24-bit numbers; any seed with the same low 24 bits makes the
// same stream.
const uint32_t kRandomSeedBits = 24;
const uint32_t kRandomSeedCount = 1u << kRandomSeedBits;
// The longest run of bytes one search compares.
const size_t kRandomSearchWindow = 256;

struct RandomSeedsFound {
    uint32_t count = 0;  // how many of the 2^24 seeds make these bytes
    uint32_t first = 0;  // the lowest of them, when count > 0
};

// The seeds whose stream holds bytes[0 .. count) at stream position offset.
// Only the first kRandomSearchWindow bytes are compared.
RandomSeedsFound FindRandomSeeds(const unsigned char* bytes, size_t count, uint64_t offset);
