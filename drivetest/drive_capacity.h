// The drive's real capacity, from where on the drive the blocks read back
// lie: a drive that loses what lies past a point, or folds its addresses
// back, shows its size in the drive offsets of what it lost.
#pragma once

#include "drive_block.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Blocks read back that lie next to each other on the drive, of one class
// (and, for overwritten data, one distance to where the data came from).
struct DriveSpan {
    uint64_t driveOffset = 0;
    uint64_t length = 0;
    BlockClass kind = BlockClass::intact;
    std::optional<uint64_t> sourceDriveOffset;  // overwritten: where the data found here was written
};

struct DrivePlaces {
    std::vector<DriveSpan> spans;  // merged as blocks arrive
    uint64_t unplacedBytes = 0;    // read back with no known place on the drive
    uint64_t unplacedLost = 0;     // of them, not intact
    bool tooManySpans = false;     // past kMaxDriveSpans: the rest were not kept
};

// Beyond this many pieces the set is too scattered to keep track of.
const size_t kMaxDriveSpans = 100000;

// Adds one block read back: where it lies (if known), what it held, and for
// overwritten data where that data was written (if known).
void PlaceBlock(DrivePlaces* places, std::optional<uint64_t> driveOffset, BlockClass kind,
                std::optional<uint64_t> sourceDriveOffset);

enum class CapacityShape {
    unknown,
    holdsAll,  // nothing lost: at least what was tested
    drops,     // what lies past a point is lost
    folds,     // addresses past a point land on the drive's start again
};

struct RealCapacity {
    CapacityShape shape = CapacityShape::unknown;
    std::optional<uint64_t> atLeast;
    std::optional<uint64_t> atMost;
    std::string unknownBecause;              // unknown: why
    std::optional<uint64_t> claimed;         // the whole drive's size
    std::optional<uint64_t> partitionStart;  // of the file system tested
};

// The figure from the places of every block read back. mapProblem: why
// some file had no map (empty when every file had one).
RealCapacity FindRealCapacity(const DrivePlaces& places, const std::string& mapProblem);
