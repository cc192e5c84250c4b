// Jump-ahead constants of the FileRandom generator, computed at compile time.
// k steps of state = a * state + c equal one step of state = a^k * state + c_k,
// with c_k = c * (a^(k-1) + ... + a + 1), all mod 2^32.
#pragma once

#include <cstdint>

const uint32_t kRandomMultiplier = 22695477u;
const uint32_t kRandomIncrement = 1u;

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
        if (steps & 1u) state = state * kRandomPowerJumps.byPowerOfTwo[b].multiplier + kRandomPowerJumps.byPowerOfTwo[b].increment;
    }
    return state;
}

// x with odd * x = 1 (mod 256): every odd number has one.
constexpr uint32_t InverseMod256(uint32_t odd) {
    uint32_t inverse = odd;  // right in 3 bits; each round doubles that
    for (int i = 0; i < 3; ++i) inverse *= 2u - odd * inverse;
    return inverse & 0xFFu;
}
