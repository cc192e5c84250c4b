#include "cli_content.h"

#include "patterns.h"
#include "random_algebra.h"

#include <cstring>

void StartContent(ContentStream& stream, ContentKind mode, uint32_t seed) {
    stream.mode = mode;
    stream.offset = 0;
    stream.randomState = seed;  // as SeedRandom(seed)
    if (mode == kNoiseContent) SeedNoise(stream.noise, seed);
}

void NextContent(ContentStream& stream, unsigned char* bytes, size_t count) {
    switch (stream.mode) {
        case kRandomContent: stream.randomState = FillRandomFrom(bytes, count, stream.randomState); break;
        case kAsciiContent: FillAsciiText(bytes, count, stream.offset); break;
        case kNoiseContent: FillNoise(stream.noise, bytes, count); break;
        default: std::memset(bytes, 0, count); break;  // zero mode
    }
    stream.offset += count;
}

bool NextContentMatches(ContentStream& stream, const unsigned char* bytes, size_t count, unsigned char* expected) {
    if (stream.mode == kRandomContent && RandomMatchesFrom(bytes, count, stream.randomState)) {
        stream.randomState = JumpRandom(stream.randomState, count);
        stream.offset += count;
        return true;
    }
    NextContent(stream, expected, count);
    return std::memcmp(expected, bytes, count) == 0;
}

bool ContentRepeats(ContentKind mode, size_t chunkSize) {
    return mode == kZeroContent || mode == kSizeContent || (mode == kAsciiContent && chunkSize % kAsciiLineSize == 0);
}
