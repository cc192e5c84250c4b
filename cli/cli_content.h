// The bytes a file of each mode holds, produced chunk after chunk from the
// start of the file: shared by making and checking, so both agree.
#pragma once

#include "cli_content_kind.h"
#include "noise.h"

#include <cstddef>
#include <cstdint>

struct ContentStream {
    ContentKind mode = kZeroContent;
    uint64_t offset = 0;       // bytes produced so far
    uint32_t randomState = 0;  // random mode: the generator before the next byte
    NoiseStream noise;         // noise mode
};

// From the first byte of a file of mode made with seed (random and noise).
void StartContent(ContentStream& stream, ContentKind mode, uint32_t seed);
// The next count bytes of the file.
void NextContent(ContentStream& stream, unsigned char* bytes, size_t count);
// Whether bytes are the next count bytes of the file, moving on past them
// either way; when they are not, expected (count bytes) holds what they
// should be. Random bytes are compared without being written out first.
bool NextContentMatches(ContentStream& stream, const unsigned char* bytes, size_t count, unsigned char* expected);
// True when every chunk of chunkSize bytes holds the same bytes as the first,
// so that a buffer filled once serves for all of them.
bool ContentRepeats(ContentKind mode, size_t chunkSize);
