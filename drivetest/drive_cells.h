// The map of a drive's tested space cut into cells of whole blocks, each
// marked with the worst that any of its bytes showed. The space is the
// stretch of the drive the set lies in, where its extent map places every
// byte of it; else the set itself, in the order it was written.
#pragma once

#include "drive_test.h"

#include <cstdint>
#include <vector>

// Worst first. unlisted: read back, beyond the bad ranges a report keeps,
// so that loss there was counted but not placed.
enum class MapMark { unreadable, overwritten, earlierRun, blank, corrupt, bitsChanged, unlisted, intact, untested };
const int kMapMarkCount = 9;

struct DriveMap {
    bool driveOffsets = false;  // the cells are the drive's own places, not the set's
    uint64_t start = 0;         // the first cell's offset: on the drive, or 0 in the set
    uint64_t bytes = 0;         // the space mapped
    uint64_t cellBytes = 0;     // every cell's but the last
    std::vector<MapMark> cells;
};

// About cells cells over the tested space.
DriveMap MapOfDrive(const DriveReport& report, size_t cells);

MapMark MarkOfClass(BlockClass kind);
// "unreadable", "bits_changed", ..., "unlisted", "untested": the JSON's names of classes.
const char* MapMarkName(MapMark mark);
