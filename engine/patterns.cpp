#include "patterns.h"

#include "random_fill.h"

const char AsciiLine[kAsciiLineSize + 1] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\r\n";

static uint32_t randomState = 0;

static const uint32_t kMultiplier = 22695477u;
static const uint32_t kIncrement = 1u;

void SeedRandom(uint32_t seed) { randomState = seed; }

uint32_t NextRandom() {
    randomState = randomState * kMultiplier + kIncrement;
    return (randomState >> 16) & 0x7FFFu;
}

void FillRandom(unsigned char* bytes, size_t count) {
    // The same bytes as count NextRandom() calls, several positions at a time.
#if FILLWRIGHT_RANDOM_FILL_SSE2
    randomState = FillRandomSse2(bytes, count, randomState);
#else
    randomState = FillRandomPortable(bytes, count, randomState);
#endif
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
