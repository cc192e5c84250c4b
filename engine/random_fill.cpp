#include "random_fill.h"

#include "random_fill_constants.h"

static inline uint32_t Step(uint32_t state) { return state * kRandomMultiplier + kRandomIncrement; }

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
