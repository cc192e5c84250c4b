// The drive test's 4 KiB block: a header that says what the block is, and a
// body computed from (run, offset) alone, so that any block can be made or
// checked on its own, on any thread, in any order.
#pragma once

#include <cstddef>
#include <cstdint>

const size_t kDriveBlockBytes = 4096;

// What a block read back turned out to hold.
enum class BlockClass {
    intact,
    bitsChanged,  // the expected block with a few bits flipped
    overwritten,  // another block of this run: its offset says how far the data moved
    earlierRun,   // a block of this test's format from another run
    blank,        // all zeros or all 0xFF: a write that never arrived
    unreadable,   // the read failed
    corrupt,      // anything else
};
const int kBlockClassCount = 7;

// The key every block of a run is made from.
struct DriveRun {
    uint64_t number = 0;  // drawn once per run
};

struct BlockVerdict {
    BlockClass kind = BlockClass::intact;
    uint32_t bitsChanged = 0;   // bitsChanged: how many
    uint64_t sourceOffset = 0;  // overwritten: the set offset whose data is here
};

// Writes the block that belongs at setOffset (a multiple of the block size)
// of file fileNumber into block (kDriveBlockBytes).
void MakeBlock(DriveRun run, uint32_t fileNumber, uint64_t setOffset, unsigned char* block);
// Fills count consecutive blocks starting at setOffset.
void MakeBlocks(DriveRun run, uint32_t fileNumber, uint64_t setOffset, size_t count, unsigned char* blocks);
// True when block holds exactly what MakeBlock writes there: the fast path.
bool BlockIsIntact(DriveRun run, uint32_t fileNumber, uint64_t setOffset, const unsigned char* block);
// Says what a block read back at setOffset holds.
BlockVerdict ClassifyBlock(DriveRun run, uint32_t fileNumber, uint64_t setOffset, const unsigned char* block);

const char* BlockClassName(BlockClass kind);  // a key for JSON: "bits_changed", ...
