// What the map and the speed graph of the drive dialog show, worked out from
// the drive test's events on its own thread and from the report at the end.
// No drawing here: drive_paint.cpp draws it.
#pragma once

#include "drive_test.h"

#include <cstdint>
#include <vector>

const int kMapColumns = 25;
const int kMapRows = 20;
const int kMapCells = kMapColumns * kMapRows;

// A cell's state; from kCellBitsChanged on the worst class of loss in it,
// ranked as the drive test's page ranks them.
// A cell only ever moves up this list while the test runs.
enum CellState : uint8_t {
    kCellUntouched,
    kCellWritten,
    kCellIntact,
    kCellBitsChanged,
    kCellCorrupt,
    kCellBlank,
    kCellEarlierRun,
    kCellOverwritten,
    kCellUnreadable,
    kCellLost,  // loss found while reading, its kind told by the report at the end
    kCellStateCount,
};

struct SpeedPoint {
    double position = 0;  // 0 to 1 across the space
    double bytesPerSecond = 0;
};

struct DialogMap {
    uint64_t spaceBytes = 0;     // what the cells cover; 0 until the first progress
    uint64_t writtenBefore = 0;  // a resumed set's bytes written by earlier runs
    bool reading = false;
    uint64_t readDone = 0;
    uint64_t lostSeen = 0;
    std::vector<uint8_t> cells = std::vector<uint8_t>(kMapCells, kCellUntouched);
    std::vector<SpeedPoint> writeSpeeds;
    std::vector<SpeedPoint> readSpeeds;
};

void MapBegin(DialogMap* map, uint64_t writtenBefore);
void MapProgress(DialogMap* map, const DriveProgress& progress);
// The exact picture from the report's ranges once the test has ended.
void MapFinish(DialogMap* map, const DriveReport& report);

CellState CellOfClass(BlockClass kind);
