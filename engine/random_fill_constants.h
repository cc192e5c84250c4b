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
