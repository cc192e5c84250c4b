// Block fills of the FileRandom byte stream from an explicit generator state.
// Byte i is bits 16..23 of the state after i + 1 steps of
// state = state * 22695477 + 1 (mod 2^32). Each fill returns the state after
// count steps, so the caller can carry on exactly where count single steps
// would have left the generator. FillRandom uses the fastest one the build
// allows; the others stay callable so tests can hold them to the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// SSE2 is part of every x86-64 target, and the i686 build enables it.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define FILLWRIGHT_RANDOM_FILL_SSE2 1
#else
#define FILLWRIGHT_RANDOM_FILL_SSE2 0
#endif

// The generator's low 16 bits run through one cycle of kRandomCycle states
// whatever the high bits are. Bits 16..23 of Z(j), the state j steps after
// state 0, for j = 0 .. kRandomCycle + kRandomCycleSlack - 1, so that a slice
// of up to kRandomCycleSlack bytes starting anywhere in the cycle fits. Built
// on first use (70 KB, ~0.1 ms).
const uint32_t kRandomCycle = 65536;
const uint32_t kRandomCycleSlack = 4096;
const unsigned char* RandomCycleHigh();

// Plain C++ for any target: four interleaved generator chains.
uint32_t FillRandomPortable(unsigned char* bytes, size_t count, uint32_t state);

#if FILLWRIGHT_RANDOM_FILL_SSE2
// A slice of a table of the generator's 65536-state low cycle plus a 64-byte
// pattern, added 16 bytes at a time (random_fill_sse2.cpp says why it holds).
uint32_t FillRandomSse2(unsigned char* bytes, size_t count, uint32_t state);
// Whether bytes are what FillRandomSse2 would write, without writing them.
bool RandomMatchesSse2(const unsigned char* bytes, size_t count, uint32_t state);
#endif
