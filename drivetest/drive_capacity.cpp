#include "drive_capacity.h"

#include <algorithm>

namespace {

// The distance from a span's data to where that data was written; spans of
// one move share it.
std::optional<int64_t> Moved(const DriveSpan& span) {
    if (!span.sourceDriveOffset) return std::nullopt;
    return static_cast<int64_t>(*span.sourceDriveOffset - span.driveOffset);
}

bool Continues(const DriveSpan& last, uint64_t driveOffset, BlockClass kind, std::optional<uint64_t> source) {
    if (last.kind != kind || last.driveOffset + last.length != driveOffset) return false;
    if (kind != BlockClass::overwritten) return true;
    DriveSpan next;
    next.driveOffset = driveOffset;
    next.sourceDriveOffset = source;
    return Moved(last) == Moved(next);
}

uint64_t Distance(const DriveSpan& span) {
    const uint64_t source = *span.sourceDriveOffset;
    return source > span.driveOffset ? source - span.driveOffset : span.driveOffset - source;
}

RealCapacity Unknown(const std::string& why) {
    RealCapacity capacity;
    capacity.unknownBecause = why;
    return capacity;
}

// A drive that folds: every overwritten block holds data written a whole
// number of folds away, so the distances are multiples of the smallest.
// Other losses may come with it: the file system's own records, written to
// folded addresses too, land on blocks of the set.
RealCapacity Fold(const std::vector<DriveSpan>& spans) {
    uint64_t smallest = 0;
    for (const DriveSpan& span : spans) {
        if (span.kind != BlockClass::overwritten) continue;
        if (!span.sourceDriveOffset)
            return Unknown("data was overwritten by data whose place on the drive is not known");
        const uint64_t distance = Distance(span);
        if (smallest == 0 || distance < smallest) smallest = distance;
    }
    const bool apart = std::any_of(spans.begin(), spans.end(), [smallest](const DriveSpan& span) {
        return span.kind == BlockClass::overwritten && (smallest == 0 || Distance(span) % smallest != 0);
    });
    if (apart) return Unknown("the losses are scattered: overwritten data moved by distances that fit no single fold");
    RealCapacity capacity;
    capacity.shape = CapacityShape::folds;
    capacity.atLeast = capacity.atMost = smallest;
    return capacity;
}

}  // namespace

void PlaceBlock(DrivePlaces* places, std::optional<uint64_t> driveOffset, BlockClass kind,
                std::optional<uint64_t> sourceDriveOffset) {
    if (!driveOffset) {
        places->unplacedBytes += kDriveBlockBytes;
        if (kind != BlockClass::intact) places->unplacedLost += kDriveBlockBytes;
        return;
    }
    if (!places->spans.empty() && Continues(places->spans.back(), *driveOffset, kind, sourceDriveOffset)) {
        places->spans.back().length += kDriveBlockBytes;
        return;
    }
    if (places->spans.size() >= kMaxDriveSpans) {
        places->tooManySpans = true;
        return;
    }
    DriveSpan span;
    span.driveOffset = *driveOffset;
    span.length = kDriveBlockBytes;
    span.kind = kind;
    span.sourceDriveOffset = sourceDriveOffset;
    places->spans.push_back(span);
}

RealCapacity FindRealCapacity(const DrivePlaces& places, const std::string& mapProblem) {
    if (places.spans.empty())
        return Unknown(mapProblem.empty() ? "nothing read back has a known place on the drive" : mapProblem);
    if (places.tooManySpans) return Unknown("the test set lies on the drive in too many pieces to follow");
    bool lost = places.unplacedLost > 0;
    bool overwritten = false;
    for (const DriveSpan& span : places.spans) {
        lost = lost || span.kind != BlockClass::intact;
        overwritten = overwritten || span.kind == BlockClass::overwritten;
    }
    if (lost && places.unplacedBytes > 0) {
        // What lies where the map does not reach might be anywhere.
        return Unknown("part of the test set has no known place on the drive" +
                       (mapProblem.empty() ? "" : ": " + mapProblem));
    }
    if (overwritten) return Fold(places.spans);
    std::vector<DriveSpan> spans = places.spans;
    std::sort(spans.begin(), spans.end(),
              [](const DriveSpan& a, const DriveSpan& b) { return a.driveOffset < b.driveOffset; });
    RealCapacity capacity;
    uint64_t intactEnd = 0;
    auto firstLost = spans.end();
    for (auto span = spans.begin(); span != spans.end(); ++span) {
        if (span->kind != BlockClass::intact && firstLost == spans.end()) firstLost = span;
        if (span->kind == BlockClass::intact && firstLost != spans.end()) {
            return Unknown(
                "the losses are scattered: data read back intact lies past data that was lost, so the drive is failing "
                "rather than smaller");
        }
        if (span->kind == BlockClass::intact) intactEnd = span->driveOffset + span->length;
    }
    capacity.atLeast = intactEnd;
    if (firstLost == spans.end()) {
        capacity.shape = CapacityShape::holdsAll;
    } else {
        capacity.shape = CapacityShape::drops;
        capacity.atMost = firstLost->driveOffset;
    }
    return capacity;
}
