#include "drive_tally.h"

namespace {

// True when range continues last: the next bytes, the same class, and for
// moved data the same distance (one stretch of data moved as a whole).
bool Continues(const BadRange& last, const BadRange& range) {
    if (last.kind != range.kind || last.offset + last.length != range.offset) return false;
    if (range.kind == BlockClass::overwritten) {
        return range.sourceOffset - range.offset == last.sourceOffset - last.offset;
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
    if (tally->ranges.size() == tally->rangeCount && tally->ranges.size() < kMaxKeptRanges) tally->ranges.push_back(range);
    ++tally->rangeCount;
}

}  // namespace

void TallyBlock(DriveTally* tally, uint64_t setOffset, const BlockVerdict& verdict) {
    if (verdict.kind == BlockClass::intact) {
        tally->bytesOk += kDriveBlockBytes;
        return;
    }
    BadRange range;
    range.offset = setOffset;
    range.length = kDriveBlockBytes;
    range.kind = verdict.kind;
    range.bitsChanged = verdict.bitsChanged;
    range.sourceOffset = verdict.sourceOffset;
    TallyBad(tally, range);
}

void TallyUnreadable(DriveTally* tally, uint64_t setOffset, uint64_t length, const std::string& reason) {
    BadRange range;
    range.offset = setOffset;
    range.length = length;
    range.kind = BlockClass::unreadable;
    range.reason = reason;
    TallyBad(tally, range);
}
