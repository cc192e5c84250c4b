#include "drive_tally.h"

#include <algorithm>

namespace {

// True when next lies on the drive right after length bytes from last, or
// neither has a known place.
bool SameDriveRun(std::optional<uint64_t> last, std::optional<uint64_t> next, uint64_t length) {
    if (last.has_value() != next.has_value()) return false;
    return !last || *last + length == *next;
}

std::optional<uint64_t> PlaceOf(DriveTally* tally, uint64_t setOffset) {
    return DriveOffsetOf(tally->map, setOffset, &tally->mapHint);
}

// True when range continues last: the next bytes, the same class, and for
// moved data the same distance (one stretch of data moved as a whole).
bool Continues(const BadRange& last, const BadRange& range) {
    if (last.kind != range.kind || last.offset + last.length != range.offset) return false;
    if (!SameDriveRun(last.driveOffset, range.driveOffset, last.length)) return false;
    if (range.kind == BlockClass::overwritten) {
        return range.sourceOffset - range.offset == last.sourceOffset - last.offset &&
               SameDriveRun(last.sourceDriveOffset, range.sourceDriveOffset, last.length);
    }
    return last.reason == range.reason;
}

void TallyBad(DriveTally* tally, const BadRange& range) {
    tally->bytesLost += range.length;
    tally->lostByClass[static_cast<int>(range.kind)] += range.length;
    if (!tally->firstBadOffset) tally->firstBadOffset = range.offset;
    const bool lastKept = tally->last && tally->ranges.size() == tally->rangeCount;
    if (tally->last && Continues(*tally->last, range)) {
        tally->last->length += range.length;
        tally->last->bitsChanged += range.bitsChanged;
        if (lastKept) tally->ranges.back() = *tally->last;
        return;
    }
    tally->last = range;
    // Once one range was dropped, later ones are dropped too, so the kept
    // ones stay the first in set order.
    if (tally->ranges.size() == tally->rangeCount && tally->ranges.size() < kMaxKeptRanges)
        tally->ranges.push_back(range);
    ++tally->rangeCount;
}

}  // namespace

void TallyIntact(DriveTally* tally, uint64_t setOffset) {
    tally->bytesOk += kDriveBlockBytes;
    PlaceBlock(&tally->places, PlaceOf(tally, setOffset), BlockClass::intact, std::nullopt);
}

void TallyBlock(DriveTally* tally, uint64_t setOffset, const BlockVerdict& verdict) {
    if (verdict.kind == BlockClass::intact) {
        TallyIntact(tally, setOffset);
        return;
    }
    BadRange range;
    range.offset = setOffset;
    range.length = kDriveBlockBytes;
    range.kind = verdict.kind;
    range.bitsChanged = verdict.bitsChanged;
    range.sourceOffset = verdict.sourceOffset;
    range.driveOffset = PlaceOf(tally, setOffset);
    if (verdict.kind == BlockClass::overwritten) {
        // Looked up apart: the source lies elsewhere in the set, and the hint stays with the blocks in order.
        size_t hint = 0;
        range.sourceDriveOffset = DriveOffsetOf(tally->map, verdict.sourceOffset, &hint);
    }
    PlaceBlock(&tally->places, range.driveOffset, range.kind, range.sourceDriveOffset);
    TallyBad(tally, range);
}

// Block by block, so that each lands in the range of its place on the drive.
void TallyUnreadable(DriveTally* tally, uint64_t setOffset, uint64_t length, const std::string& reason) {
    for (uint64_t done = 0; done < length; done += kDriveBlockBytes) {
        BadRange range;
        range.offset = setOffset + done;
        range.length = std::min<uint64_t>(kDriveBlockBytes, length - done);
        range.kind = BlockClass::unreadable;
        range.reason = reason;
        range.driveOffset = PlaceOf(tally, range.offset);
        PlaceBlock(&tally->places, range.driveOffset, range.kind, std::nullopt);
        TallyBad(tally, range);
    }
}
