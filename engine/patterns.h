// The bytes of each creation mode: the zero block, the text line and the
// seeded pseudo-random stream.
#pragma once

#include <cstddef>
#include <cstdint>

const uint32_t kDataBlockSize = 1024;  // zero and random blocks
const uint32_t kAsciiLineSize = 64;    // one text line, CR LF included

// 62 letters and digits, CR, LF; the NUL after them is never written.
extern const char AsciiLine[kAsciiLineSize + 1];

// FileRandom: a 32-bit linear congruential generator, one per process.
void SeedRandom(uint32_t seed);
uint32_t NextRandom();  // 0 .. 32767

// Fills bytes with the low 8 bits of count successive NextRandom() values,
// leaving FileRandom exactly where that many calls would.
void FillRandom(unsigned char* bytes, size_t count);

// The stream in periods of kRandomPeriod bytes: each period is the one before
// with the same 64-byte step added to every 64 bytes, whatever the seed
// (random_algebra.h has the algebra). A period is a whole
// number of random blocks, so a writer can hold one and write its blocks from
// it, renewing it with one pass of additions every 64 blocks.
const uint32_t kRandomPeriod = 65536;
const uint32_t kRandomStepSize = 64;

struct RandomPeriod {
    unsigned char bytes[kRandomPeriod];
    unsigned char step[kRandomStepSize];  // the next period minus this one, bytewise mod 256
};

// Fills period with the next kRandomPeriod bytes of the stream and their
// step, leaving FileRandom where it is.
void StartRandomPeriod(RandomPeriod& period);

// Turns period into the kRandomPeriod bytes that follow it in the stream.
void NextRandomPeriod(RandomPeriod& period);

// Steps FileRandom as count NextRandom() calls would, without their values.
void SkipRandom(uint64_t count);

// Fills bytes with AsciiLine repeated without separator, starting at byte
// (offset modulo kAsciiLineSize) of the line: the bytes at file position
// offset onwards of an ASCII Text file. Lets writers use chunks of any size.
void FillAsciiText(unsigned char* bytes, size_t count, uint64_t offset);
