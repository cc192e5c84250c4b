// Finding the seed of the random stream from bytes of it. Only the low 24 bits
// of the seed reach the bytes, so seeds are found as 24-bit numbers; any seed
// with the same low 24 bits makes the same stream.
#pragma once

#include <cstddef>
#include <cstdint>

const uint32_t kRandomSeedBits = 24;
const uint32_t kRandomSeedCount = 1u << kRandomSeedBits;
// The longest run of bytes one search compares.
const size_t kRandomSearchWindow = 256;

struct RandomSeedsFound {
    uint32_t count = 0;  // how many of the 2^24 seeds make these bytes
    uint32_t first = 0;  // the lowest of them, when count > 0
};

// The seeds whose stream holds bytes[0 .. count) at stream position offset.
// Only the first kRandomSearchWindow bytes are compared.
RandomSeedsFound FindRandomSeeds(const unsigned char* bytes, size_t count, uint64_t offset);
