#include "drive_map.h"

#include <algorithm>

namespace {

// About this many points per line of the graph.
const double kGraphStep = 1.0 / 400;

int CellAt(const DialogMap& map, uint64_t offset) {
    if (map.spaceBytes == 0) return 0;
    const double cell = static_cast<double>(offset) / static_cast<double>(map.spaceBytes) * kMapCells;
    return std::min(kMapCells, static_cast<int>(cell));
}

// Raises cells [first, end) to state.
void Raise(DialogMap* map, int first, int end, CellState state) {
    for (int cell = std::max(0, first); cell < std::min(end, kMapCells); ++cell) {
        map->cells[cell] = std::max<uint8_t>(map->cells[cell], state);
    }
}

void AddSpeed(std::vector<SpeedPoint>* points, double position, double bytesPerSecond) {
    if (bytesPerSecond <= 0) return;
    if (!points->empty() && position - points->back().position < kGraphStep) return;
    points->push_back({std::min(1.0, position), bytesPerSecond});
}

void StartReading(DialogMap* map, uint64_t setBytes) {
    map->reading = true;
    map->spaceBytes = std::max<uint64_t>(setBytes, 1);
    map->readDone = 0;
    map->lostSeen = 0;
    // The read-back covers the set: every cell of it was written.
    std::fill(map->cells.begin(), map->cells.end(), static_cast<uint8_t>(kCellWritten));
}

void ReadProgress(DialogMap* map, const DriveProgress& progress) {
    if (!map->reading) StartReading(map, progress.bytesExpected);
    const uint64_t done = std::min(progress.bytesDone, map->spaceBytes);
    const bool atEnd = done >= map->spaceBytes;
    Raise(map, CellAt(*map, map->readDone), atEnd ? kMapCells : CellAt(*map, done), kCellIntact);
    // The count of lost bytes lags the reads by the few requests still being
    // checked: the cells just read stand for it until the report's ranges
    // give the exact places.
    if (progress.bytesLost > map->lostSeen) {
        const int first = CellAt(*map, map->readDone);
        Raise(map, first, std::max(first + 1, CellAt(*map, done) + 1), kCellLost);
    }
    map->readDone = done;
    map->lostSeen = progress.bytesLost;
    AddSpeed(&map->readSpeeds, static_cast<double>(done) / static_cast<double>(map->spaceBytes),
             progress.bytesPerSecond);
}

void WriteProgress(DialogMap* map, const DriveProgress& progress) {
    if (map->spaceBytes == 0) map->spaceBytes = std::max<uint64_t>(map->writtenBefore + progress.bytesExpected, 1);
    const uint64_t reached = map->writtenBefore + progress.bytesDone;
    Raise(map, 0, reached >= map->spaceBytes ? kMapCells : CellAt(*map, reached), kCellWritten);
    AddSpeed(&map->writeSpeeds, static_cast<double>(reached) / static_cast<double>(map->spaceBytes),
             progress.bytesPerSecond);
}

}  // namespace

CellState CellOfClass(BlockClass kind) {
    switch (kind) {
        case BlockClass::intact: return kCellIntact;
        case BlockClass::bitsChanged: return kCellBitsChanged;
        case BlockClass::overwritten: return kCellOverwritten;
        case BlockClass::earlierRun: return kCellEarlierRun;
        case BlockClass::blank: return kCellBlank;
        case BlockClass::unreadable: return kCellUnreadable;
        case BlockClass::corrupt: return kCellCorrupt;
    }
    return kCellLost;
}

void MapBegin(DialogMap* map, uint64_t writtenBefore) {
    *map = DialogMap();
    map->writtenBefore = writtenBefore;
}

void MapProgress(DialogMap* map, const DriveProgress& progress) {
    if (progress.phase == DrivePhase::reading) {
        ReadProgress(map, progress);
    } else {
        WriteProgress(map, progress);
    }
}

void MapFinish(DialogMap* map, const DriveReport& report) {
    const DriveTally& tally = report.tally;
    if (report.lossSeenAt && !report.verified) {
        const int cell = CellAt(*map, *report.lossSeenAt);
        Raise(map, cell, cell + 1, kCellLost);
    }
    if (!map->reading || tally.ranges.size() < tally.rangeCount) return;  // beyond the kept ranges the live cells stay
    // Every range is known: the cells read are intact but where a range says
    // otherwise, and then its class, the worst in the cell.
    const uint64_t read = tally.bytesOk + tally.bytesLost;
    const int readCells = read >= map->spaceBytes ? kMapCells : CellAt(*map, read);
    for (int cell = 0; cell < readCells; ++cell) map->cells[cell] = kCellIntact;
    for (const BadRange& range : tally.ranges) {
        const int first = CellAt(*map, range.offset);
        Raise(map, first, std::max(first + 1, CellAt(*map, range.offset + range.length - 1) + 1),
              CellOfClass(range.kind));
    }
}
