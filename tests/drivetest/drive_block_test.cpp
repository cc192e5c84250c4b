// The block format's classes, and how bad blocks merge into ranges.
#include "drive_block.h"
#include "drive_tally.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

const DriveRun kRun{0x1234abcd5678ef01ull};
const uint64_t kOffset = 5 * 4096;

void Flip(unsigned char* block, size_t bit) { block[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8)); }

struct ClassCase {
    const char* name;
    std::function<void(unsigned char*)> damage;
    BlockClass kind;
    uint32_t bits;
    uint64_t source;
};

TEST(DriveBlock, ClassifiesWhatCameBack) {
    const std::vector<ClassCase> cases = {
        {"intact", [](unsigned char*) {}, BlockClass::intact, 0, 0},
        {"three bits in the body",
         [](unsigned char* b) {
             Flip(b, 800);
             Flip(b, 16001);
             Flip(b, 32767);
         },
         BlockClass::bitsChanged, 3, 0},
        {"one bit of the offset", [](unsigned char* b) { Flip(b, 8 * 24 + 3); }, BlockClass::bitsChanged, 1, 0},
        {"another block of the run", [](unsigned char* b) { MakeBlock(kRun, 3, 1 << 20, b); }, BlockClass::overwritten,
         0, 1 << 20},
        {"another block, a bit flipped",
         [](unsigned char* b) {
             MakeBlock(kRun, 1, 8192, b);
             Flip(b, 9000);
         },
         BlockClass::overwritten, 0, 8192},
        {"the same place of another run", [](unsigned char* b) { MakeBlock(DriveRun{kRun.number + 1}, 3, kOffset, b); },
         BlockClass::earlierRun, 0, 0},
        {"zeros", [](unsigned char* b) { std::fill(b, b + kDriveBlockBytes, 0x00); }, BlockClass::blank, 0, 0},
        {"0xFF", [](unsigned char* b) { std::fill(b, b + kDriveBlockBytes, 0xff); }, BlockClass::blank, 0, 0},
        {"zeros but one byte",
         [](unsigned char* b) {
             std::fill(b, b + kDriveBlockBytes, 0x00);
             b[7] = 1;
         },
         BlockClass::corrupt, 0, 0},
        {"a valid header on a wrong body",
         [](unsigned char* b) {
             MakeBlock(kRun, 3, 1 << 20, b);
             for (size_t i = 100; i < 300; ++i) b[i] ^= 0x5a;
         },
         BlockClass::corrupt, 0, 0},
        {"the second half from another block",
         [](unsigned char* b) {
             unsigned char other[kDriveBlockBytes];
             MakeBlock(kRun, 3, 1 << 20, other);
             std::copy(other + 2048, other + 4096, b + 2048);
         },
         BlockClass::corrupt, 0, 0},
    };
    for (const ClassCase& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned char block[kDriveBlockBytes];
        MakeBlock(kRun, 3, kOffset, block);
        c.damage(block);
        const BlockVerdict verdict = ClassifyBlock(kRun, 3, kOffset, block);
        EXPECT_STREQ(BlockClassName(verdict.kind), BlockClassName(c.kind));
        EXPECT_EQ(verdict.bitsChanged, c.bits);
        EXPECT_EQ(verdict.sourceOffset, c.source);
        EXPECT_EQ(BlockIsIntact(kRun, 3, kOffset, block), c.kind == BlockClass::intact);
    }
}

TEST(DriveBlock, NoBodyWordRepeatsAcrossOffsetsOrRuns) {
    // Moved or stale data must never read back as intact, even in part.
    unsigned char mine[kDriveBlockBytes], next[kDriveBlockBytes], other[kDriveBlockBytes];
    MakeBlock(kRun, 1, 0, mine);
    MakeBlock(kRun, 1, kDriveBlockBytes, next);
    MakeBlock(DriveRun{kRun.number ^ 1}, 1, 0, other);
    int same = 0;
    for (size_t at = 40; at < kDriveBlockBytes; at += 8) {
        same += std::equal(mine + at, mine + at + 8, next + at) + std::equal(mine + at, mine + at + 8, other + at);
    }
    EXPECT_EQ(same, 0);
}

TEST(DriveBlock, MakesTheBlocksOfSetsAlreadyWritten) {
    // A set on a drive must read back intact with any later version: these
    // are the blocks as 1.2.0 wrote them (FNV-1a of each whole block).
    const struct {
        DriveRun run;
        uint32_t file;
        uint64_t offset;
        uint64_t hash;
    } known[] = {{DriveRun{1}, 1, 0, 0xcbf27dbfd148f6dbull}, {kRun, 7, uint64_t(6) << 30, 0x7589687a3f2fddb9ull}};
    for (const auto& block : known) {
        unsigned char made[kDriveBlockBytes];
        MakeBlock(block.run, block.file, block.offset, made);
        uint64_t hash = 0xcbf29ce484222325ull;
        for (unsigned char byte : made) hash = (hash ^ byte) * 0x100000001b3ull;
        EXPECT_EQ(hash, block.hash) << block.offset;
        EXPECT_TRUE(BlockIsIntact(block.run, block.file, block.offset, made)) << block.offset;
    }
}

struct Piece {
    uint64_t offset;
    BlockClass kind;
    uint64_t source;
    const char* reason;
};

TEST(DriveTally, MergesNeighboursOfOneKind) {
    const uint64_t B = kDriveBlockBytes;
    const std::vector<Piece> pieces = {
        {0, BlockClass::intact, 0, ""},
        {B, BlockClass::blank, 0, ""},
        {2 * B, BlockClass::blank, 0, ""},
        {3 * B, BlockClass::overwritten, 103 * B, ""},
        {4 * B, BlockClass::overwritten, 104 * B, ""},
        {5 * B, BlockClass::overwritten, 205 * B, ""},  // another distance: a range of its own
        {6 * B, BlockClass::unreadable, 0, "Input/output error"},
        {7 * B, BlockClass::unreadable, 0, "Input/output error"},
        {8 * B, BlockClass::unreadable, 0, "No such file or directory"},
        {10 * B, BlockClass::blank, 0, ""},  // after a gap
    };
    DriveTally tally;
    for (const Piece& p : pieces) {
        if (p.kind == BlockClass::unreadable) {
            TallyUnreadable(&tally, p.offset, B, p.reason);
        } else {
            BlockVerdict verdict;
            verdict.kind = p.kind;
            verdict.sourceOffset = p.source;
            TallyBlock(&tally, p.offset, verdict);
        }
    }
    const std::vector<std::pair<uint64_t, uint64_t>> expected = {{B, 2 * B},     {3 * B, 2 * B}, {5 * B, B},
                                                                 {6 * B, 2 * B}, {8 * B, B},     {10 * B, B}};
    ASSERT_EQ(tally.ranges.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(tally.ranges[i].offset, expected[i].first) << i;
        EXPECT_EQ(tally.ranges[i].length, expected[i].second) << i;
    }
    EXPECT_EQ(tally.ranges[1].sourceOffset, 103 * B);
    EXPECT_EQ(tally.rangeCount, expected.size());
    EXPECT_EQ(tally.bytesOk, B);
    EXPECT_EQ(tally.bytesLost, 9 * B);
    EXPECT_EQ(tally.lostByClass[static_cast<int>(BlockClass::blank)], 3 * B);
    EXPECT_EQ(*tally.firstBadOffset, B);
}

TEST(DriveTally, KeepsTheFirstRangesAndCountsTheRest) {
    DriveTally tally;
    BlockVerdict blank;
    blank.kind = BlockClass::blank;
    for (uint64_t k = 0; k < kMaxKeptRanges + 5; ++k) TallyBlock(&tally, 2 * k * kDriveBlockBytes, blank);
    TallyBlock(&tally, (2 * (kMaxKeptRanges + 5) - 1) * kDriveBlockBytes, blank);  // joins the last, unkept range
    EXPECT_EQ(tally.ranges.size(), kMaxKeptRanges);
    EXPECT_EQ(tally.rangeCount, kMaxKeptRanges + 5);
    EXPECT_EQ(tally.ranges.back().offset, 2 * (kMaxKeptRanges - 1) * kDriveBlockBytes);
    EXPECT_EQ(tally.ranges.back().length, kDriveBlockBytes);
}

}  // namespace
