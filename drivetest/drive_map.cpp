#include "drive_map.h"

#include "drive_block.h"

#include <algorithm>

SetMap MapSet(const DriveOps& ops, const std::string& folder, const DriveSet& set, uint64_t length) {
    SetMap map;
    if (!ops.fileExtents) {
        map.unknownBecause = "this system gives no extent maps of files";
        return map;
    }
    for (uint32_t number = 1; number <= set.files && FileStart(set, number) < length; ++number) {
        const uint64_t start = FileStart(set, number);
        const uint64_t fileEnd = std::min(length, start + set.fileSize) - start;
        const FileExtents file = ops.fileExtents(PathIn(ops, folder, SetFileName(number)));
        // The drive can be known where the file's place on it is not.
        if (!map.driveBytes) map.driveBytes = file.driveBytes;
        if (!map.partitionStart) map.partitionStart = file.partitionStart;
        if (!file.known) {
            if (map.unknownBecause.empty()) map.unknownBecause = file.unknownBecause;
            continue;
        }
        for (const DriveExtent& extent : file.extents) {
            if (extent.fileOffset >= fileEnd || extent.length == 0) continue;
            SetExtent placed;
            placed.setOffset = start + extent.fileOffset;
            placed.driveOffset = extent.driveOffset;
            placed.length = std::min(extent.length, fileEnd - extent.fileOffset);
            map.extents.push_back(placed);
        }
    }
    std::sort(map.extents.begin(), map.extents.end(),
              [](const SetExtent& a, const SetExtent& b) { return a.setOffset < b.setOffset; });
    return map;
}

std::optional<uint64_t> DriveOffsetOf(const SetMap& map, uint64_t setOffset, size_t* hint) {
    const std::vector<SetExtent>& extents = map.extents;
    const auto holds = [setOffset](const SetExtent& e) {
        return setOffset >= e.setOffset && setOffset - e.setOffset + kDriveBlockBytes <= e.length;
    };
    for (size_t k = *hint; k < extents.size() && k < *hint + 2; ++k) {
        if (holds(extents[k])) {
            *hint = k;
            return extents[k].driveOffset + (setOffset - extents[k].setOffset);
        }
    }
    // The last extent that begins at or before setOffset.
    auto after = std::upper_bound(extents.begin(), extents.end(), setOffset,
                                  [](uint64_t offset, const SetExtent& e) { return offset < e.setOffset; });
    if (after == extents.begin() || !holds(*(after - 1))) return std::nullopt;
    *hint = static_cast<size_t>(after - 1 - extents.begin());
    return extents[*hint].driveOffset + (setOffset - extents[*hint].setOffset);
}
