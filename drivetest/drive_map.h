// Where a test set lies on its drive: the extent maps of its files, turned
// into set offsets, so that each block read back has its place on the drive.
#pragma once

#include "drive_set.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SetExtent {
    uint64_t setOffset = 0;
    uint64_t driveOffset = 0;
    uint64_t length = 0;
};

struct SetMap {
    std::vector<SetExtent> extents;  // in set order; bytes of the set not covered have no known place
    std::string unknownBecause;      // why some file had no map: the first reason seen
    std::optional<uint64_t> driveBytes;
    std::optional<uint64_t> partitionStart;
};

// Maps the set's first length bytes, file by file.
SetMap MapSet(const DriveOps& ops, const std::string& folder, const DriveSet& set, uint64_t length);

// The drive offset of the block at setOffset, when the whole block lies in
// one extent. hint carries the last extent found: blocks asked for in set
// order are found at once.
std::optional<uint64_t> DriveOffsetOf(const SetMap& map, uint64_t setOffset, size_t* hint);
