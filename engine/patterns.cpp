#include "patterns.h"

#include "random_algebra.h"

const char AsciiLine[kAsciiLineSize + 1] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\r\n";

static uint32_t randomState = 0;

void SeedRandom(uint32_t seed) { randomState = seed; }

uint32_t NextRandom() {
    randomState = randomState * kRandomMultiplier + kRandomIncrement;
    return (randomState >> 16) & 0x7FFFu;
}

void FillRandom(unsigned char* bytes, size_t count) { randomState = FillRandomFrom(bytes, count, randomState); }

void SkipRandom(uint64_t count) { randomState = JumpRandom(randomState, count); }

// The step is read off the stream itself: the first kRandomStepSize bytes of
// the next period minus those of this one.
void StartRandomPeriod(RandomPeriod& period) {
    FillRandomFrom(period.bytes, kRandomPeriod, randomState);
    unsigned char next[kRandomStepSize];
    FillRandomFrom(next, kRandomStepSize, JumpRandom(randomState, kRandomPeriod));
    for (uint32_t k = 0; k < kRandomStepSize; ++k)
        period.step[k] = static_cast<unsigned char>(next[k] - period.bytes[k]);
}

void NextRandomPeriod(RandomPeriod& period) {
    // Plain loops of byte additions, which compilers turn into vector adds.
    for (uint32_t at = 0; at < kRandomPeriod; at += kRandomStepSize) {
        for (uint32_t k = 0; k < kRandomStepSize; ++k)
            period.bytes[at + k] = static_cast<unsigned char>(period.bytes[at + k] + period.step[k]);
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
