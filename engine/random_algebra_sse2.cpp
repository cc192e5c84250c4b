#include "random_algebra.h"

#if FILLWRIGHT_SSE2

#include <emmintrin.h>

// A table slice plus the 64-byte pattern (random_algebra.h says why).

namespace {

const uint32_t kCycle = kRandomCycle;
const size_t kChunk = kRandomCycleSlack;  // bytes per table slice

inline __m128i Load(const void* from) { return _mm_loadu_si128(static_cast<const __m128i*>(from)); }
inline void Store(void* to, __m128i value) { _mm_storeu_si128(static_cast<__m128i*>(to), value); }

// Where the bytes go: stored, or compared with bytes already there.
struct StoreSink {
    unsigned char* out;
};
struct CompareSink {
    const unsigned char* against;
    __m128i differ;  // any bit set: some byte differs
};

inline void Put(StoreSink& sink, size_t k, __m128i bytes) { Store(sink.out + k, bytes); }
inline void Put(CompareSink& sink, size_t k, __m128i bytes) {
    sink.differ = _mm_or_si128(sink.differ, _mm_xor_si128(bytes, Load(sink.against + k)));
}
inline void PutByte(StoreSink& sink, size_t k, unsigned char byte) { sink.out[k] = byte; }
inline void PutByte(CompareSink& sink, size_t k, unsigned char byte) {
    sink.differ = _mm_or_si128(sink.differ, _mm_cvtsi32_si128(sink.against[k] ^ byte));
}

// n <= kChunk bytes from state, whose place in the cycle is index, as bytes
// at to .. to + n of the sink.
template <typename Sink>
void WalkCycle(Sink& sink, size_t to, size_t n, uint32_t state, uint32_t index, const unsigned char* high) {
    // (a^k mod 256) * d for the 64 positions of the pattern.
    const uint32_t d = ((state >> 16) - high[index]) & 0xFFu;
    const __m128i dLanes = _mm_set1_epi16(static_cast<short>(d));
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    __m128i pattern[4];
    for (size_t v = 0; v < 4; ++v) {
        const __m128i first = _mm_mullo_epi16(Load(kRandomPowers.lowByte + 16 * v), dLanes);
        const __m128i second = _mm_mullo_epi16(Load(kRandomPowers.lowByte + 16 * v + 8), dLanes);
        pattern[v] = _mm_packus_epi16(_mm_and_si128(first, lowByte), _mm_and_si128(second, lowByte));
    }
    const unsigned char* slice = high + index + 1;  // byte k comes from Z(index + k + 1)
    size_t k = 0;
    for (; k + 64 <= n; k += 64) {
        Put(sink, to + k, _mm_add_epi8(Load(slice + k), pattern[0]));
        Put(sink, to + k + 16, _mm_add_epi8(Load(slice + k + 16), pattern[1]));
        Put(sink, to + k + 32, _mm_add_epi8(Load(slice + k + 32), pattern[2]));
        Put(sink, to + k + 48, _mm_add_epi8(Load(slice + k + 48), pattern[3]));
    }
    if (k < n) {
        unsigned char tail[64];
        for (size_t v = 0; v < 4; ++v) Store(tail + 16 * v, pattern[v]);
        for (; k < n; ++k) PutByte(sink, to + k, static_cast<unsigned char>(slice[k] + tail[k & 63u]));
    }
}

template <typename Sink>
uint32_t WalkRandom(Sink& sink, size_t count, uint32_t state) {
    const uint32_t end = JumpRandom(state, count);
    const unsigned char* high = RandomCycleHigh();
    uint32_t index = RandomCycleIndex(state);
    for (size_t done = 0; done < count;) {
        const size_t n = count - done < kChunk ? count - done : kChunk;
        WalkCycle(sink, done, n, state, index, high);
        done += n;
        state = JumpRandom(state, n);
        index = (index + static_cast<uint32_t>(n)) & (kCycle - 1u);
    }
    return end;
}

}  // namespace

uint32_t FillRandomSse2(unsigned char* bytes, size_t count, uint32_t state) {
    StoreSink sink = {bytes};
    return WalkRandom(sink, count, state);
}

bool RandomMatchesSse2(const unsigned char* bytes, size_t count, uint32_t state) {
    CompareSink sink = {bytes, _mm_setzero_si128()};
    WalkRandom(sink, count, state);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(sink.differ, _mm_setzero_si128())) == 0xFFFF;
}

#endif
