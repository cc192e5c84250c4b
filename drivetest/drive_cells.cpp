#include "drive_cells.h"

#include <algorithm>

namespace {

// Marks the cells that hold any byte from from to to with mark, unless they show worse.
void MarkSpan(DriveMap& map, uint64_t from, uint64_t to, MapMark mark) {
    if (from >= to || from >= map.bytes) return;
    const size_t last = static_cast<size_t>(std::min<uint64_t>((to - 1) / map.cellBytes, map.cells.size() - 1));
    for (size_t cell = static_cast<size_t>(from / map.cellBytes); cell <= last; ++cell)
        map.cells[cell] = std::min(map.cells[cell], mark);
}

}  // namespace

DriveMap MapOfDrive(const DriveReport& report, size_t cells) {
    DriveMap map;
    map.bytes = report.bytesWritten;
    if (map.bytes == 0 || cells == 0) return map;
    const uint64_t blocks = (map.bytes / cells + kDriveBlockBytes - 1) / kDriveBlockBytes;
    map.cellBytes = std::max<uint64_t>(1, blocks) * kDriveBlockBytes;
    map.cells.assign(static_cast<size_t>((map.bytes + map.cellBytes - 1) / map.cellBytes), MapMark::untested);
    // The read-back goes from the set's start: what it reached was tested.
    const DriveTally& tally = report.tally;
    MarkSpan(map, 0, report.bytesRead, MapMark::intact);
    if (tally.rangeCount > tally.ranges.size()) {
        const BadRange& kept = tally.ranges.back();
        MarkSpan(map, kept.offset + kept.length, report.bytesRead, MapMark::unlisted);
    }
    for (const BadRange& range : tally.ranges)
        MarkSpan(map, range.offset, range.offset + range.length, MarkOfClass(range.kind));
    return map;
}

MapMark MarkOfClass(BlockClass kind) {
    switch (kind) {
        case BlockClass::unreadable: return MapMark::unreadable;
        case BlockClass::overwritten: return MapMark::overwritten;
        case BlockClass::earlierRun: return MapMark::earlierRun;
        case BlockClass::blank: return MapMark::blank;
        case BlockClass::corrupt: return MapMark::corrupt;
        case BlockClass::bitsChanged: return MapMark::bitsChanged;
        case BlockClass::intact: return MapMark::intact;
    }
    return MapMark::corrupt;
}

const char* MapMarkName(MapMark mark) {
    switch (mark) {
        case MapMark::unreadable: return BlockClassName(BlockClass::unreadable);
        case MapMark::overwritten: return BlockClassName(BlockClass::overwritten);
        case MapMark::earlierRun: return BlockClassName(BlockClass::earlierRun);
        case MapMark::blank: return BlockClassName(BlockClass::blank);
        case MapMark::corrupt: return BlockClassName(BlockClass::corrupt);
        case MapMark::bitsChanged: return BlockClassName(BlockClass::bitsChanged);
        case MapMark::unlisted: return "unlisted";
        case MapMark::intact: return BlockClassName(BlockClass::intact);
        case MapMark::untested: return "untested";
    }
    return "untested";
}
