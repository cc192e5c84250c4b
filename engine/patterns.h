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

// Fills bytes with AsciiLine repeated without separator, starting at byte
// (offset modulo kAsciiLineSize) of the line: the bytes at file position
// offset onwards of an ASCII Text file. Lets writers use chunks of any size.
void FillAsciiText(unsigned char* bytes, size_t count, uint64_t offset);
