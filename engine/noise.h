// The noise stream: the values of std::mt19937_64 seeded with the seed, each
// written as 8 bytes, least significant first. Incompressible at any size,
// and anyone can make it again with any C++ standard library.
#pragma once

#include "sse2_choice.h"

#include <cstddef>
#include <cstdint>

const size_t kNoiseWords = 312;                   // the generator's state, in 64-bit words
const size_t kNoiseBlockBytes = kNoiseWords * 8;  // the output of one twist of the state

struct NoiseStream {
    uint64_t words[kNoiseWords];
    unsigned char block[kNoiseBlockBytes];  // the values of the current twist, as bytes
    size_t used;                            // bytes of block already handed out
};

// As std::mt19937_64 g(seed): the next byte is the first of g()'s value.
void SeedNoise(NoiseStream& stream, uint64_t seed);
// The next count bytes of the stream.
void FillNoise(NoiseStream& stream, unsigned char* bytes, size_t count);

// Twists words into their next state and writes its kNoiseBlockBytes tempered
// bytes to out. The fastest version the build allows; the portable one stays
// callable so that tests can hold the other to it.
void NextNoiseBlock(uint64_t* words, unsigned char* out);
void NextNoiseBlockPortable(uint64_t* words, unsigned char* out);
#if FILLWRIGHT_SSE2
void NextNoiseBlockSse2(uint64_t* words, unsigned char* out);
#endif
