// Blocks read back, counted by class and merged into ranges of bad data.
#pragma once

#include "drive_block.h"
#include "drive_capacity.h"
#include "drive_map.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Consecutive bad blocks of one class (and, for overwritten data, one
// distance to where the data came from).
struct BadRange {
    uint64_t offset = 0;  // in the set
    uint64_t length = 0;
    BlockClass kind = BlockClass::corrupt;
    uint64_t bitsChanged = 0;   // bitsChanged: over the whole range
    uint64_t sourceOffset = 0;  // overwritten: whose data sits at offset
    std::string reason;         // unreadable: the system's reason
    // Where offset and sourceOffset lie on the drive, where known: a range
    // ends where its data's place on the drive stops running on.
    std::optional<uint64_t> driveOffset;
    std::optional<uint64_t> sourceDriveOffset;
};

struct DriveTally {
    uint64_t bytesOk = 0;
    uint64_t bytesLost = 0;
    uint64_t lostByClass[kBlockClassCount] = {};
    std::optional<uint64_t> firstBadOffset;
    std::vector<BadRange> ranges;  // the first kMaxKeptRanges, in set order
    uint64_t rangeCount = 0;       // all of them
    std::optional<BadRange> last;  // the range that grows, kept in ranges or not
    SetMap map;                    // where the set lies on the drive: set before the first block
    size_t mapHint = 0;
    DrivePlaces places;  // every block read back, by its place on the drive
};

// Beyond this many, ranges are only counted.
const size_t kMaxKeptRanges = 10000;

// Adds one block read back intact at setOffset.
void TallyIntact(DriveTally* tally, uint64_t setOffset);
// Adds one block's verdict at setOffset. Blocks arrive in set order.
void TallyBlock(DriveTally* tally, uint64_t setOffset, const BlockVerdict& verdict);
// Adds length bytes at setOffset that could not be read, for reason.
void TallyUnreadable(DriveTally* tally, uint64_t setOffset, uint64_t length, const std::string& reason);
