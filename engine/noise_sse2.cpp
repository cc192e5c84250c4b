#include "noise.h"

#if FILLWRIGHT_SSE2

#include "noise_constants.h"

#include <emmintrin.h>

// Two words per step. Word i depends on words i + 1 and i + 156 as they were
// before this twist, and from i = 156 on on word i - 156 as already twisted:
// pairs never reach a word that the same pair changes, except at the end,
// where word 311 needs the new word 0.

namespace {

inline __m128i Load(const void* from) { return _mm_loadu_si128(static_cast<const __m128i*>(from)); }
inline void Store(void* to, __m128i value) { _mm_storeu_si128(static_cast<__m128i*>(to), value); }
inline __m128i Lanes(uint64_t value) { return _mm_set1_epi64x(static_cast<long long>(value)); }

struct NoiseLanes {
    __m128i upper, lower, one, matrix, temperB, temperC, temperD;
};

inline __m128i TwistPair(const uint64_t* word, const uint64_t* far, const NoiseLanes& k) {
    const __m128i y = _mm_or_si128(_mm_and_si128(Load(word), k.upper), _mm_and_si128(Load(word + 1), k.lower));
    // All ones where the low bit is set: 0 - 1.
    const __m128i odd = _mm_sub_epi64(_mm_setzero_si128(), _mm_and_si128(y, k.one));
    return _mm_xor_si128(_mm_xor_si128(Load(far), _mm_srli_epi64(y, 1)), _mm_and_si128(odd, k.matrix));
}

inline __m128i TemperPair(__m128i y, const NoiseLanes& k) {
    y = _mm_xor_si128(y, _mm_and_si128(_mm_srli_epi64(y, 29), k.temperD));
    y = _mm_xor_si128(y, _mm_and_si128(_mm_slli_epi64(y, 17), k.temperB));
    y = _mm_xor_si128(y, _mm_and_si128(_mm_slli_epi64(y, 37), k.temperC));
    return _mm_xor_si128(y, _mm_srli_epi64(y, 43));
}

inline void StepPair(uint64_t* words, size_t i, size_t farIndex, unsigned char* out, const NoiseLanes& k) {
    const __m128i next = TwistPair(words + i, words + farIndex, k);
    Store(words + i, next);
    Store(out + 8 * i, TemperPair(next, k));  // x86 stores lanes little-endian
}

}  // namespace

void NextNoiseBlockSse2(uint64_t* words, unsigned char* out) {
    const NoiseLanes k = {Lanes(kNoiseUpperMask), Lanes(kNoiseLowerMask), Lanes(1),
                          Lanes(kNoiseMatrix),    Lanes(kNoiseTemperB),   Lanes(kNoiseTemperC),
                          Lanes(kNoiseTemperD)};
    size_t i = 0;
    for (; i < kNoiseWords - kNoiseShift; i += 2) StepPair(words, i, i + kNoiseShift, out, k);
    for (; i + 2 < kNoiseWords; i += 2) StepPair(words, i, i - kNoiseShift, out, k);
    // Words 310 and 311, one at a time: 311 pairs with the new word 0.
    for (; i < kNoiseWords; ++i) {
        words[i] = NoiseTwisted(words[i], words[(i + 1) % kNoiseWords], words[i - kNoiseShift]);
        StoreNoiseValue(out + 8 * i, NoiseTempered(words[i]));
    }
}

#endif
