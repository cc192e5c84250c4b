#include "random_fill.h"

#if FILLWRIGHT_RANDOM_FILL_SSE2

#include "random_fill_constants.h"

#include <emmintrin.h>

// Why a table: only bits 0..23 of the state decide the bytes, and the low 16
// bits run through one cycle of 65536 states whatever the high bits are. Let
// Z(j) be the state j steps after state 0 and i the index with Z(i) = state
// in the low 16 bits; then state = Z(i) + 2^16 * d (mod 2^24) for one byte d,
// and k steps later the state is Z(i + k) + 2^16 * a^k * d (mod 2^24). So
// byte k is high[i + k] + (a^k mod 256) * d (mod 256), where high[] holds
// bits 16..23 of Z, and a^k mod 256 repeats every 64 steps: a block is one
// table slice plus a 64-byte pattern, added 16 bytes at a time.

namespace {

const uint32_t kCycle = kRandomCycle;
const size_t kChunk = kRandomCycleSlack;  // bytes per table slice

// Small tables for finding a state's place in the cycle and for the pattern.
struct CycleTables {
    uint8_t indexOfLowByte[256];  // i < 256 with Z(i) = x in the low 8 bits
    uint16_t lowState[256];       // Z(i) mod 2^16 for i < 256
    uint8_t stepInverse[256];     // see CycleIndex
    uint16_t powerLowByte[64];    // a^(k+1) mod 256 for k = 0..63
};

constexpr CycleTables MakeCycleTables() {
    CycleTables t = {};
    // 256 steps multiply by 1 + 2^10 u and add 2^8 w (mod 2^16), u and w odd.
    const RandomJump jump256 = RandomJumpOf(256);
    const uint32_t u = ((jump256.multiplier - 1u) >> 10) & 0x3Fu;
    const uint32_t w = (jump256.increment >> 8) & 0xFFu;
    uint32_t state = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        t.indexOfLowByte[state & 0xFFu] = static_cast<uint8_t>(i);
        t.lowState[i] = static_cast<uint16_t>(state);
        t.stepInverse[i] = static_cast<uint8_t>(InverseMod256((4u * u * state + w) & 0xFFu));
        state = state * kRandomMultiplier + kRandomIncrement;
    }
    uint32_t power = 1;
    for (uint32_t k = 0; k < 64; ++k) {
        power *= kRandomMultiplier;
        t.powerLowByte[k] = static_cast<uint16_t>(power & 0xFFu);
    }
    return t;
}

constexpr CycleTables kTables = MakeCycleTables();

// The i < 65536 with Z(i) = state in the low 16 bits. The low byte gives
// i mod 256 (by table); from there, t more jumps of 256 steps add
// 2^8 * t * (4u Z + w) (mod 2^16), and that factor is odd, so t follows from
// bits 8..15 of the difference by one multiplication mod 256.
uint32_t CycleIndex(uint32_t state) {
    const uint32_t low = kTables.indexOfLowByte[state & 0xFFu];
    const uint32_t gap = ((state - kTables.lowState[low]) & 0xFFFFu) >> 8;
    return low + 256u * ((gap * kTables.stepInverse[low]) & 0xFFu);
}

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
        const __m128i first = _mm_mullo_epi16(Load(kTables.powerLowByte + 16 * v), dLanes);
        const __m128i second = _mm_mullo_epi16(Load(kTables.powerLowByte + 16 * v + 8), dLanes);
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
    uint32_t index = CycleIndex(state);
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
