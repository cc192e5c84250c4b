#include "noise.h"

#include "noise_constants.h"

#include <cstring>

void SeedNoise(NoiseStream& stream, uint64_t seed) {
    stream.words[0] = seed;
    for (size_t i = 1; i < kNoiseWords; ++i) {
        const uint64_t before = stream.words[i - 1];
        stream.words[i] = 6364136223846793005ull * (before ^ (before >> 62)) + i;
    }
    stream.used = kNoiseBlockBytes;  // the first twist comes with the first byte
}

void NextNoiseBlockPortable(uint64_t* words, unsigned char* out) {
    for (size_t i = 0; i < kNoiseWords; ++i) {
        const uint64_t far = words[(i + kNoiseShift) % kNoiseWords];
        words[i] = NoiseTwisted(words[i], words[(i + 1) % kNoiseWords], far);
        StoreNoiseValue(out + 8 * i, NoiseTempered(words[i]));
    }
}

void NextNoiseBlock(uint64_t* words, unsigned char* out) {
#if FILLWRIGHT_SSE2
    NextNoiseBlockSse2(words, out);
#else
    NextNoiseBlockPortable(words, out);
#endif
}

void FillNoise(NoiseStream& stream, unsigned char* bytes, size_t count) {
    while (count > 0) {
        if (stream.used == kNoiseBlockBytes) {
            if (count >= kNoiseBlockBytes) {  // a whole twist goes straight to the caller
                NextNoiseBlock(stream.words, bytes);
                bytes += kNoiseBlockBytes;
                count -= kNoiseBlockBytes;
                continue;
            }
            NextNoiseBlock(stream.words, stream.block);
            stream.used = 0;
        }
        size_t piece = kNoiseBlockBytes - stream.used;
        if (piece > count) piece = count;
        std::memcpy(bytes, stream.block + stream.used, piece);
        stream.used += piece;
        bytes += piece;
        count -= piece;
    }
}
