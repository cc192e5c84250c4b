#include "patterns.h"

#include "random_fill.h"
#include "random_fill_constants.h"

#include <cstring>

const char AsciiLine[kAsciiLineSize + 1] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\r\n";

static uint32_t randomState = 0;

void SeedRandom(uint32_t seed) { randomState = seed; }

uint32_t NextRandom() {
    randomState = randomState * kRandomMultiplier + kRandomIncrement;
    return (randomState >> 16) & 0x7FFFu;
}

// Several positions at a time, with the fastest fill the build allows.
uint32_t FillRandomFrom(unsigned char* bytes, size_t count, uint32_t state) {
#if FILLWRIGHT_RANDOM_FILL_SSE2
    return FillRandomSse2(bytes, count, state);
#else
    return FillRandomPortable(bytes, count, state);
#endif
}

bool RandomMatchesFrom(const unsigned char* bytes, size_t count, uint32_t state) {
#if FILLWRIGHT_RANDOM_FILL_SSE2
    return RandomMatchesSse2(bytes, count, state);
#else
    unsigned char expected[4096];
    for (size_t done = 0; done < count;) {
        const size_t piece = count - done < sizeof expected ? count - done : sizeof expected;
        state = FillRandomPortable(expected, piece, state);
        if (std::memcmp(expected, bytes + done, piece) != 0) return false;
        done += piece;
    }
    return true;
#endif
}

void FillRandom(unsigned char* bytes, size_t count) { randomState = FillRandomFrom(bytes, count, randomState); }

void SkipRandom(uint64_t count) { randomState = JumpRandom(randomState, count); }

// Why the step is the same for every period: only bits 16..23 of the state
// reach a byte, so states count mod 2^24. Let Z(j) be the state j steps after
// 0. The low 16 bits return to 0 after 2^16 steps, so Z(2^16) = 2^16 e for
// some byte e, and stepping on from there gives Z(j + 2^16) = Z(j) + 2^16 a^j e
// (mod 2^24). Any start state is Z(i) + 2^16 d for some i and byte d, whose
// term 2^16 a^n d after n steps is the same 2^16 steps later (a^(2^16) = 1
// mod 256). So the byte n steps in grows by a^(i+n) e (mod 256) from one
// period to the next, and a^k mod 256 repeats every 64 steps: the step is a
// 64-byte pattern, fixed by the start state. It is read off the stream itself.
void StartRandomPeriod(RandomPeriod& period) {
    FillRandomFrom(period.bytes, kRandomPeriod, randomState);
    unsigned char next[kRandomStepSize];
    FillRandomFrom(next, kRandomStepSize, JumpRandom(randomState, kRandomPeriod));
    for (uint32_t k = 0; k < kRandomStepSize; ++k) period.step[k] = static_cast<unsigned char>(next[k] - period.bytes[k]);
}

void NextRandomPeriod(RandomPeriod& period) {
    // Plain loops of byte additions, which compilers turn into vector adds.
    for (uint32_t at = 0; at < kRandomPeriod; at += kRandomStepSize) {
        for (uint32_t k = 0; k < kRandomStepSize; ++k) period.bytes[at + k] = static_cast<unsigned char>(period.bytes[at + k] + period.step[k]);
    }
}

void FillAsciiText(unsigned char* bytes, size_t count, uint64_t offset) {
    size_t start = static_cast<size_t>(offset % kAsciiLineSize);
    size_t done = 0;
    while (done < count) {
        size_t piece = kAsciiLineSize - start;
        if (piece > count - done) piece = count - done;
        for (size_t i = 0; i < piece; ++i) bytes[done + i] = static_cast<unsigned char>(AsciiLine[start + i]);
        done += piece;
        start = 0;
    }
}
