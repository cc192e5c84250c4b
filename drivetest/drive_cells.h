// The map of a drive's tested space: the set cut into cells of whole
// blocks, each marked with the worst that any of its bytes showed.
#pragma once

#include "drive_test.h"

#include <cstdint>
#include <vector>

// Worst first. unlisted: read back, beyond the bad ranges a report keeps,
// so that loss there was counted but not placed.
enum class MapMark { unreadable, overwritten, earlierRun, blank, corrupt, bitsChanged, unlisted, intact, untested };
const int kMapMarkCount = 9;

struct DriveMap {
    uint64_t bytes = 0;      // the tested space: the set as written
    uint64_t cellBytes = 0;  // every cell's but the last
    std::vector<MapMark> cells;
};

// About cells cells over the set's offsets.
DriveMap MapOfDrive(const DriveReport& report, size_t cells);

MapMark MarkOfClass(BlockClass kind);
// "unreadable", "bits_changed", ..., "unlisted", "untested": the JSON's names of classes.
const char* MapMarkName(MapMark mark);
