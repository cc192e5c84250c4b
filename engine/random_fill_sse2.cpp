#include "random_fill.h"

#if FILLWRIGHT_RANDOM_FILL_SSE2

#include "random_fill_constants.h"

#include <emmintrin.h>

namespace {

const size_t kRound = 32;  // positions per round: four vectors of eight 16-bit lanes

// Eight generator states, split into their low and high 16 bits.
struct StateLanes {
    __m128i lo;
    __m128i hi;
};

// The per-lane form of one affine step, state = a * state + c, in 16-bit
// halves. cHiPlusOne holds (c >> 16) + 1 so that the carry out of the low
// half can be added as "no carry" = -1.
struct StepLanes {
    __m128i aLo;
    __m128i aHi;
    __m128i cLo;
    __m128i cHiPlusOne;
};

// The jumps to positions 1..32 of a round, lane by lane.
struct RoundTable {
    uint16_t aLo[kRound];
    uint16_t aHi[kRound];
    uint16_t cLo[kRound];
    uint16_t cHiPlusOne[kRound];
};

constexpr RoundTable MakeRoundTable() {
    RoundTable table = {};
    for (uint32_t j = 0; j < kRound; ++j) {
        const RandomJump jump = RandomJumpOf(j + 1);
        table.aLo[j] = static_cast<uint16_t>(jump.multiplier);
        table.aHi[j] = static_cast<uint16_t>(jump.multiplier >> 16);
        table.cLo[j] = static_cast<uint16_t>(jump.increment);
        table.cHiPlusOne[j] = static_cast<uint16_t>((jump.increment >> 16) + 1u);
    }
    return table;
}

constexpr RoundTable kRoundTable = MakeRoundTable();
constexpr RandomJump kRoundJump = RandomJumpOf(kRound);

inline __m128i Load(const uint16_t* lanes) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes)); }

inline __m128i Splat(uint32_t half) { return _mm_set1_epi16(static_cast<short>(static_cast<uint16_t>(half))); }

StepLanes TableLanes(size_t first) {
    return {Load(kRoundTable.aLo + first), Load(kRoundTable.aHi + first), Load(kRoundTable.cLo + first),
            Load(kRoundTable.cHiPlusOne + first)};
}

// (a * s + c) mod 2^32 per lane. The low half of a * s is aLo * sLo; the high
// half is the top of aLo * sLo plus the low halves of aHi * sLo and aLo * sHi
// (aHi * sHi only reaches bits 32 and up).
inline StateLanes Advance(StateLanes s, const StepLanes& k) {
    const __m128i productLo = _mm_mullo_epi16(k.aLo, s.lo);
    __m128i productHi = _mm_mulhi_epu16(k.aLo, s.lo);
    productHi = _mm_add_epi16(productHi, _mm_mullo_epi16(k.aHi, s.lo));
    productHi = _mm_add_epi16(productHi, _mm_mullo_epi16(k.aLo, s.hi));
    StateLanes next;
    next.lo = _mm_add_epi16(productLo, k.cLo);
    // The low-half sum carried exactly when the saturating sum differs from it.
    const __m128i noCarry = _mm_cmpeq_epi16(_mm_adds_epu16(productLo, k.cLo), next.lo);
    next.hi = _mm_add_epi16(_mm_add_epi16(productHi, k.cHiPlusOne), noCarry);
    return next;
}

// Bits 16..23 of the states: the low byte of each high half, in lane order.
inline __m128i BytesOf(StateLanes first, StateLanes second, __m128i lowByte) {
    return _mm_packus_epi16(_mm_and_si128(first.hi, lowByte), _mm_and_si128(second.hi, lowByte));
}

}  // namespace

uint32_t FillRandomSse2(unsigned char* bytes, size_t count, uint32_t state) {
    const size_t rounds = count / kRound;
    if (rounds > 0) {
        // Lane j of the four vectors starts at the state after j + 1 steps.
        const StateLanes start = {Splat(state), Splat(state >> 16)};
        StateLanes s0 = Advance(start, TableLanes(0));
        StateLanes s1 = Advance(start, TableLanes(8));
        StateLanes s2 = Advance(start, TableLanes(16));
        StateLanes s3 = Advance(start, TableLanes(24));
        // Every lane then moves a whole round ahead at once.
        const StepLanes round = {Splat(kRoundJump.multiplier), Splat(kRoundJump.multiplier >> 16),
                                 Splat(kRoundJump.increment), Splat((kRoundJump.increment >> 16) + 1u)};
        const __m128i lowByte = _mm_set1_epi16(0xFF);
        unsigned char* out = bytes;
        for (size_t r = 0; r < rounds; ++r) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), BytesOf(s0, s1, lowByte));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), BytesOf(s2, s3, lowByte));
            out += kRound;
            s0 = Advance(s0, round);
            s1 = Advance(s1, round);
            s2 = Advance(s2, round);
            s3 = Advance(s3, round);
            // The scalar state follows along, off the vector units' path.
            state = state * kRoundJump.multiplier + kRoundJump.increment;
        }
    }
    for (size_t i = rounds * kRound; i < count; ++i) {
        state = state * kRandomMultiplier + kRandomIncrement;
        bytes[i] = static_cast<unsigned char>(state >> 16);
    }
    return state;
}

#endif
