#include "drive_set.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

const char* const kSetDescriptionName = "fillwright-drivetest.txt";

namespace {

const char* const kFirstLine = "fillwright drive test set, format 1";

}  // namespace

std::string SetFileName(uint32_t number) {
    char name[48];
    std::snprintf(name, sizeof name, "fillwright-drivetest-%05u.bin", static_cast<unsigned>(number));
    return name;
}

std::string PathIn(const DriveOps& ops, const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() != ops.separator && folder.back() != '/') return folder + ops.separator + name;
    return folder + name;
}

std::string DescribeSet(const DriveSet& set) {
    std::ostringstream text;
    text << kFirstLine << "\n";
    text << "run " << std::hex << set.run.number << std::dec << "\n";
    text << "file_size " << set.fileSize << "\n";
    text << "total " << (set.total ? std::to_string(*set.total) : std::string("free_space")) << "\n";
    text << "files " << set.files << "\n";
    text << "state " << (set.finished ? "finished" : "filling") << "\n";
    if (set.finished) text << "written " << set.written << "\n";
    if (set.diskseq) text << "diskseq " << *set.diskseq << "\n";
    if (!set.bootId.empty()) text << "boot_id " << set.bootId << "\n";
    return text.str();
}

std::optional<DriveSet> ReadSetDescription(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kFirstLine) return std::nullopt;
    DriveSet set;
    bool run = false, size = false, files = false, state = false;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key, value;
        words >> key >> value;
        if (key == "run") {
            run = static_cast<bool>(std::istringstream(value) >> std::hex >> set.run.number);
        } else if (key == "file_size") {
            size = static_cast<bool>(std::istringstream(value) >> set.fileSize);
        } else if (key == "total" && value != "free_space") {
            uint64_t total = 0;
            if (std::istringstream(value) >> total) set.total = total;
        } else if (key == "files") {
            files = static_cast<bool>(std::istringstream(value) >> set.files);
        } else if (key == "state") {
            state = value == "finished" || value == "filling";
            set.finished = value == "finished";
        } else if (key == "written") {
            std::istringstream(value) >> set.written;
        } else if (key == "diskseq") {
            uint64_t diskseq = 0;
            if (std::istringstream(value) >> diskseq) set.diskseq = diskseq;
        } else if (key == "boot_id") {
            set.bootId = value;
        }
    }
    const bool sizeSound = set.fileSize >= kDriveBlockBytes && set.fileSize <= kLargestFileSize &&
                           set.fileSize % kDriveBlockBytes == 0;
    if (!run || !size || !files || !state || !sizeSound) return std::nullopt;
    return set;
}

uint32_t FileOfOffset(const DriveSet& set, uint64_t setOffset) {
    return static_cast<uint32_t>(setOffset / set.fileSize + 1);
}

uint64_t FileStart(const DriveSet& set, uint32_t number) { return (number - uint64_t(1)) * set.fileSize; }

uint64_t WrittenOnDisk(const DriveOps& ops, const std::string& folder, const DriveSet& set) {
    if (set.files == 0) return 0;
    const uint64_t last = ops.fileLength(PathIn(ops, folder, SetFileName(set.files))).value_or(0);
    const uint64_t lastWhole = std::min(last, set.fileSize) / kDriveBlockBytes * kDriveBlockBytes;
    return FileStart(set, set.files) + lastWhole;
}

bool RemoveSet(const DriveOps& ops, const std::string& folder, const DriveSet& set, std::string* reason) {
    // Past the files the description names, in case the program stopped
    // between making a file and noting it.
    for (uint32_t number = 1;; ++number) {
        const std::string path = PathIn(ops, folder, SetFileName(number));
        if (!ops.fileLength(path)) {
            if (number > set.files) break;
            continue;
        }
        if (!ops.remove(path, reason)) return false;
    }
    return ops.remove(PathIn(ops, folder, kSetDescriptionName), reason);
}
