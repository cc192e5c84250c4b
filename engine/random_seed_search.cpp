#include "random_seed_search.h"

#include "random_fill.h"
#include "random_fill_constants.h"

// Why 65,536 tries are enough: with Z(j) the state j steps after 0, any state
// is Z(i) + 2^16 d (mod 2^24) for one i < 2^16 and one byte d, and the byte k
// steps later is high[i + k] + (a^k mod 256) d (mod 256), high[] being bits
// 16..23 of Z (random_fill_sse2.cpp shows it). The first byte fixes d for
// each i, since a is odd; the next bytes rule out all but the right i.

namespace {

struct SearchTables {
    uint8_t power[64];  // a^(k+1) mod 256 for the byte k steps after the first
};

constexpr SearchTables MakeSearchTables() {
    SearchTables t = {};
    uint32_t power = 1;
    for (uint8_t& entry : t.power) {
        power *= kRandomMultiplier;
        entry = static_cast<uint8_t>(power & 0xFFu);
    }
    return t;
}

constexpr SearchTables kSearch = MakeSearchTables();
constexpr uint32_t kFirstInverse = InverseMod256(kRandomMultiplier & 0xFFu);

// The jump from the state after offset steps back to the seed: offset steps
// back, which modulo 2^24 (the period of the low 24 bits) is a jump forward.
RandomJump BackTo(uint64_t offset) {
    const uint64_t back = (kRandomSeedCount - offset % kRandomSeedCount) % kRandomSeedCount;
    const uint32_t increment = JumpRandom(0, back);
    return {JumpRandom(1, back) - increment, increment};
}

}  // namespace

RandomSeedsFound FindRandomSeeds(const unsigned char* bytes, size_t count, uint64_t offset) {
    RandomSeedsFound found;
    if (count > kRandomSearchWindow) count = kRandomSearchWindow;
    if (count == 0) {
        found.count = kRandomSeedCount;  // every seed makes no bytes
        return found;
    }
    const unsigned char* high = RandomCycleHigh();
    const RandomJump back = BackTo(offset);
    uint32_t cycleState = 0;  // Z(i)
    for (uint32_t i = 0; i < kRandomCycle; ++i, cycleState = cycleState * kRandomMultiplier + kRandomIncrement) {
        const uint32_t d = ((bytes[0] - high[i + 1]) * kFirstInverse) & 0xFFu;
        size_t k = 1;
        while (k < count && ((high[i + k + 1] + kSearch.power[k & 63u] * d) & 0xFFu) == bytes[k]) ++k;
        if (k < count) continue;
        const uint32_t state = cycleState + (d << 16);
        const uint32_t seed = (state * back.multiplier + back.increment) & (kRandomSeedCount - 1u);
        if (found.count == 0 || seed < found.first) found.first = seed;
        ++found.count;
    }
    return found;
}
