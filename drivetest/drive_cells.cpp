#include "drive_cells.h"

#include <algorithm>
#include <cstdint>

namespace {

// Marks the cells that hold any byte from from to to (the map's own
// offsets) with mark, unless they show worse.
void MarkCells(DriveMap& map, uint64_t from, uint64_t to, MapMark mark) {
    from = std::max(from, map.start);
    to = std::min(to, map.start + map.bytes);
    if (from >= to) return;
    const size_t last = static_cast<size_t>((to - 1 - map.start) / map.cellBytes);
    for (size_t cell = static_cast<size_t>((from - map.start) / map.cellBytes); cell <= last; ++cell)
        map.cells[cell] = std::min(map.cells[cell], mark);
}

// Whether the extents place every byte of the set's first length bytes.
bool PlacesAll(const SetMap& places, uint64_t length) {
    if (!places.unknownBecause.empty()) return false;
    uint64_t placed = 0;
    for (const SetExtent& extent : places.extents) {
        if (extent.setOffset > placed) return false;
        placed = std::max(placed, extent.setOffset + extent.length);
    }
    return placed >= length;
}

// Marks the set's bytes from from to to, where they lie on the drive.
void MarkSetSpan(DriveMap& map, const SetMap& places, uint64_t from, uint64_t to, MapMark mark) {
    if (!map.driveOffsets) {
        MarkCells(map, from, to, mark);
        return;
    }
    for (const SetExtent& extent : places.extents) {
        const uint64_t low = std::max(from, extent.setOffset);
        const uint64_t high = std::min(to, extent.setOffset + extent.length);
        if (low >= high) continue;
        MarkCells(map, extent.driveOffset + (low - extent.setOffset), extent.driveOffset + (high - extent.setOffset),
                  mark);
    }
}

}  // namespace

DriveMap MapOfDrive(const DriveReport& report, size_t cells) {
    DriveMap map;
    const SetMap& places = report.tally.map;
    map.driveOffsets = report.bytesWritten > 0 && PlacesAll(places, report.bytesWritten);
    if (map.driveOffsets) {
        uint64_t first = UINT64_MAX, end = 0;
        for (const SetExtent& extent : places.extents) {
            if (extent.setOffset >= report.bytesWritten) continue;
            first = std::min(first, extent.driveOffset);
            end = std::max(end, extent.driveOffset + std::min(extent.length, report.bytesWritten - extent.setOffset));
        }
        map.start = first / kDriveBlockBytes * kDriveBlockBytes;
        map.bytes = end - map.start;
    } else {
        map.bytes = report.bytesWritten;
    }
    if (map.bytes == 0 || cells == 0) return map;
    const uint64_t blocks = (map.bytes / cells + kDriveBlockBytes - 1) / kDriveBlockBytes;
    map.cellBytes = std::max<uint64_t>(1, blocks) * kDriveBlockBytes;
    map.cells.assign(static_cast<size_t>((map.bytes + map.cellBytes - 1) / map.cellBytes), MapMark::untested);
    // The read-back goes from the set's start: what it reached was tested.
    const DriveTally& tally = report.tally;
    MarkSetSpan(map, places, 0, report.bytesRead, MapMark::intact);
    if (tally.rangeCount > tally.ranges.size()) {
        const BadRange& kept = tally.ranges.back();
        MarkSetSpan(map, places, kept.offset + kept.length, report.bytesRead, MapMark::unlisted);
    }
    for (const BadRange& range : tally.ranges)
        MarkSetSpan(map, places, range.offset, range.offset + range.length, MarkOfClass(range.kind));
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
