// The constants and one-word steps of the 64-bit Mersenne Twister
// (mt19937_64), shared by the portable and the vector versions of the noise
// stream.
#pragma once

#include <cstddef>
#include <cstdint>

const size_t kNoiseShift = 156;  // the twist mixes word i with word i + 156
const uint64_t kNoiseMatrix = 0xB5026F5AA96619E9ull;
const uint64_t kNoiseUpperMask = 0xFFFFFFFF80000000ull;
const uint64_t kNoiseLowerMask = 0x000000007FFFFFFFull;
const uint64_t kNoiseTemperB = 0x71D67FFFEDA60000ull;
const uint64_t kNoiseTemperC = 0xFFF7EEE000000000ull;
const uint64_t kNoiseTemperD = 0x5555555555555555ull;

// Word i of the next state from words i, i + 1 and i + 156.
inline uint64_t NoiseTwisted(uint64_t word, uint64_t next, uint64_t far) {
    const uint64_t y = (word & kNoiseUpperMask) | (next & kNoiseLowerMask);
    return far ^ (y >> 1) ^ ((y & 1u) ? kNoiseMatrix : 0u);
}

inline uint64_t NoiseTempered(uint64_t y) {
    y ^= (y >> 29) & kNoiseTemperD;
    y ^= (y << 17) & kNoiseTemperB;
    y ^= (y << 37) & kNoiseTemperC;
    return y ^ (y >> 43);
}

// Byte by byte: little-endian whatever the machine's own order.
inline void StoreNoiseValue(unsigned char* out, uint64_t value) {
    for (int b = 0; b < 8; ++b) out[b] = static_cast<unsigned char>(value >> (8 * b));
}
