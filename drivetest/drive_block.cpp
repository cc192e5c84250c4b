#include "drive_block.h"

#include <bitset>
#include <cstring>

// Block layout, 64-bit little-endian words:
//   0 magic, 1 run number, 2 file number | format << 32, 3 offset in the set,
//   4 check of words 0-3, 5..511 the body.
// Body word i of the set (counting 8-byte words from the set's start) is
// SplitMix64's output number i for a seed drawn from the run number: one
// add and the mixing function per word, no state carried from word to word.

namespace {

const uint64_t kMagic = 0x4b4c425652445746ull;  // "FWDRVBLK" read as a little-endian word
const uint64_t kFormat = 1;
const size_t kHeaderWords = 5;
const size_t kWordsPerBlock = kDriveBlockBytes / 8;
const uint64_t kGolden = 0x9e3779b97f4a7c15ull;
// More flipped bits than this and a block no longer counts as "a few bits changed".
const uint32_t kFewBits = 64;

uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// Words are stored little-endian whatever the host; on the usual
// little-endian host that is a plain 8-byte move.
bool HostIsLittleEndian() {
    const uint16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

uint64_t Load(const unsigned char* p) {
    uint64_t v = 0;
    if (HostIsLittleEndian()) {
        std::memcpy(&v, p, 8);
        return v;
    }
    for (int b = 7; b >= 0; --b) v = v << 8 | p[b];
    return v;
}

void Store(unsigned char* p, uint64_t v) {
    if (HostIsLittleEndian()) {
        std::memcpy(p, &v, 8);
        return;
    }
    for (int b = 0; b < 8; ++b) p[b] = static_cast<unsigned char>(v >> (8 * b));
}

struct Header {
    uint64_t words[kHeaderWords];
};

Header MakeHeader(uint64_t run, uint32_t fileNumber, uint64_t setOffset) {
    Header h{};
    h.words[0] = kMagic;
    h.words[1] = run;
    h.words[2] = fileNumber | kFormat << 32;
    h.words[3] = setOffset;
    h.words[4] = Mix(h.words[0] ^ Mix(h.words[1] ^ Mix(h.words[2] ^ Mix(h.words[3]))));
    return h;
}

uint64_t BodySeed(uint64_t run) { return Mix(run ^ 0x6a09e667f3bcc908ull); }

// The body word at the set's word index.
inline uint64_t BodyWord(uint64_t seed, uint64_t wordIndex) { return Mix(seed + wordIndex * kGolden); }

// What Mix takes for the first body word of the block at setOffset; each
// next word's is kGolden more. Making and checking take four words a step,
// so that the multiplies of four words overlap.
uint64_t BodyStart(uint64_t run, uint64_t setOffset) {
    return BodySeed(run) + (setOffset / 8 + kHeaderWords) * kGolden;
}

// Bits that differ between block and the block made for (run, file, offset),
// counted until limit is passed.
uint32_t BitsDiffering(uint64_t run, uint32_t fileNumber, uint64_t setOffset, const unsigned char* block,
                       uint32_t limit) {
    const Header h = MakeHeader(run, fileNumber, setOffset);
    const uint64_t seed = BodySeed(run);
    const uint64_t first = setOffset / 8;
    uint32_t bits = 0;
    for (size_t i = 0; i < kWordsPerBlock && bits <= limit; ++i) {
        const uint64_t expected = i < kHeaderWords ? h.words[i] : BodyWord(seed, first + i);
        bits += static_cast<uint32_t>(std::bitset<64>(expected ^ Load(block + 8 * i)).count());
    }
    return bits;
}

bool AllBytesAre(const unsigned char* block, unsigned char value) {
    for (size_t i = 0; i < kDriveBlockBytes; ++i) {
        if (block[i] != value) return false;
    }
    return true;
}

}  // namespace

void MakeBlock(DriveRun run, uint32_t fileNumber, uint64_t setOffset, unsigned char* block) {
    const Header h = MakeHeader(run.number, fileNumber, setOffset);
    for (size_t i = 0; i < kHeaderWords; ++i) Store(block + 8 * i, h.words[i]);
    uint64_t x = BodyStart(run.number, setOffset);
    size_t i = kHeaderWords;
    for (; i + 4 <= kWordsPerBlock; i += 4, x += 4 * kGolden) {
        Store(block + 8 * i, Mix(x));
        Store(block + 8 * i + 8, Mix(x + kGolden));
        Store(block + 8 * i + 16, Mix(x + 2 * kGolden));
        Store(block + 8 * i + 24, Mix(x + 3 * kGolden));
    }
    for (; i < kWordsPerBlock; ++i, x += kGolden) Store(block + 8 * i, Mix(x));
}

void MakeBlocks(DriveRun run, uint32_t fileNumber, uint64_t setOffset, size_t count, unsigned char* blocks) {
    for (size_t k = 0; k < count; ++k)
        MakeBlock(run, fileNumber, setOffset + k * kDriveBlockBytes, blocks + k * kDriveBlockBytes);
}

bool BlockIsIntact(DriveRun run, uint32_t fileNumber, uint64_t setOffset, const unsigned char* block) {
    const Header h = MakeHeader(run.number, fileNumber, setOffset);
    uint64_t differ = 0;
    for (size_t i = 0; i < kHeaderWords; ++i) differ |= h.words[i] ^ Load(block + 8 * i);
    uint64_t differs[4] = {0, 0, 0, 0};
    uint64_t x = BodyStart(run.number, setOffset);
    size_t i = kHeaderWords;
    for (; i + 4 <= kWordsPerBlock; i += 4, x += 4 * kGolden) {
        differs[0] |= Mix(x) ^ Load(block + 8 * i);
        differs[1] |= Mix(x + kGolden) ^ Load(block + 8 * i + 8);
        differs[2] |= Mix(x + 2 * kGolden) ^ Load(block + 8 * i + 16);
        differs[3] |= Mix(x + 3 * kGolden) ^ Load(block + 8 * i + 24);
    }
    for (; i < kWordsPerBlock; ++i, x += kGolden) differ |= Mix(x) ^ Load(block + 8 * i);
    return (differ | differs[0] | differs[1] | differs[2] | differs[3]) == 0;
}

BlockVerdict ClassifyBlock(DriveRun run, uint32_t fileNumber, uint64_t setOffset, const unsigned char* block) {
    BlockVerdict verdict;
    if (BlockIsIntact(run, fileNumber, setOffset, block)) return verdict;
    if (AllBytesAre(block, 0x00) || AllBytesAre(block, 0xff)) {
        verdict.kind = BlockClass::blank;
        return verdict;
    }
    const uint32_t bits = BitsDiffering(run.number, fileNumber, setOffset, block, kFewBits);
    if (bits <= kFewBits) {
        verdict.kind = BlockClass::bitsChanged;
        verdict.bitsChanged = bits;
        return verdict;
    }
    // Does the header name another block of this format, and does the body
    // match what that block holds?
    uint64_t words[kHeaderWords];
    for (size_t i = 0; i < kHeaderWords; ++i) words[i] = Load(block + 8 * i);
    const Header claimed = MakeHeader(words[1], static_cast<uint32_t>(words[2]), words[3]);
    const bool header = words[0] == kMagic && words[2] >> 32 == kFormat && words[3] % kDriveBlockBytes == 0 &&
                        words[4] == claimed.words[4];
    verdict.kind = BlockClass::corrupt;
    if (!header || BitsDiffering(words[1], static_cast<uint32_t>(words[2]), words[3], block, kFewBits) > kFewBits) {
        return verdict;
    }
    if (words[1] != run.number) {
        verdict.kind = BlockClass::earlierRun;
    } else {
        verdict.kind = BlockClass::overwritten;
        verdict.sourceOffset = words[3];
    }
    return verdict;
}

const char* BlockClassName(BlockClass kind) {
    switch (kind) {
        case BlockClass::intact: return "intact";
        case BlockClass::bitsChanged: return "bits_changed";
        case BlockClass::overwritten: return "overwritten";
        case BlockClass::earlierRun: return "earlier_run";
        case BlockClass::blank: return "blank";
        case BlockClass::unreadable: return "unreadable";
        case BlockClass::corrupt: return "corrupt";
    }
    return "corrupt";
}
