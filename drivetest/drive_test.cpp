// The drive test from the outside: what a folder holds decides whether a fill
// starts a set, resumes one or replaces a finished one; then write, read back
// and reach a verdict.
#include "drive_work.h"

#include <algorithm>
#include <ctime>

namespace {

struct Problem {
    std::string text;  // names path
    std::string path;
};

DriveReport Refuse(const Problem& problem) {
    DriveReport report;
    report.result = DriveResult::failed;
    report.problem = problem.text;
    report.problemPath = problem.path;
    return report;
}

std::string DescriptionPath(const DriveOps& ops, const std::string& folder) {
    return PathIn(ops, folder, kSetDescriptionName);
}

struct FoundSet {
    std::optional<DriveSet> set;
    Problem problem;  // why the folder cannot be used
};

FoundSet FindSet(const DriveOps& ops, const std::string& folder) {
    FoundSet found;
    const FolderState state = ops.inspectFolder(folder);
    if (!state.usable) {
        found.problem = {folder + ": " + state.reason, folder};
        return found;
    }
    const std::string description = DescriptionPath(ops, folder);
    const std::optional<std::string> text = ops.readText(description);
    if (!text) {
        if (ops.fileLength(PathIn(ops, folder, SetFileName(1)))) {
            found.problem = {folder + " holds " + SetFileName(1) + " but no " + kSetDescriptionName +
                                 ": it may be another program's; remove it to test here",
                             folder};
        }
        return found;
    }
    found.set = ReadSetDescription(*text);
    if (!found.set) {
        found.problem = {description + " is not a test set's description; it is left as it is", description};
    }
    return found;
}

// Reads the set back with each block's place on the drive, and finds the
// drive's real capacity from them.
void ReadAndPlace(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events, const DriveSet& set,
                  DriveReport* report) {
    report->tally.map = MapSet(ops, options.folder, set, report->bytesWritten);
    ReadSet(ops, options, events, set, report->bytesWritten, report);
    report->capacity = report->verified ? FindRealCapacity(report->tally.places, report->tally.map.unknownBecause)
                                        : RealCapacity{CapacityShape::unknown, {}, {}, "the read-back was interrupted", {}, {}};
    report->capacity.claimed = report->tally.map.driveBytes;
    report->capacity.partitionStart = report->tally.map.partitionStart;
}

void Conclude(DriveReport* report) {
    if (report->result == DriveResult::interrupted) return;
    if (report->tally.bytesLost > 0 || report->lossSeenAt) {
        report->result = DriveResult::lost;
    } else if (!report->problem.empty()) {
        report->result = DriveResult::failed;
    } else {
        report->result = DriveResult::ok;
    }
}

// Where and when the test ran, asked before it touches the drive.
struct Setting {
    DriveIdentity drive;
    int64_t startedAt = 0;
};

Setting SettingOf(const DriveOps& ops, const std::string& folder) {
    Setting setting;
    if (ops.identifyDrive) setting.drive = ops.identifyDrive(folder);
    setting.startedAt = static_cast<int64_t>(std::time(nullptr));
    return setting;
}

DriveReport InSetting(DriveReport report, const Setting& setting, const std::string& folder) {
    report.folder = folder;
    report.drive = setting.drive;
    report.startedAt = setting.startedAt;
    return report;
}

DriveReport FillSet(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events) {
    const FoundSet found = FindSet(ops, options.folder);
    if (!found.problem.text.empty()) return Refuse(found.problem);
    DriveReport report;
    DriveSet set;
    uint64_t from = 0;
    if (found.set && !found.set->finished) {
        set = *found.set;
        from = WrittenOnDisk(ops, options.folder, set);
        report.resumedAt = from;
    } else {
        if (found.set) {
            std::string problem;
            if (!RemoveSet(ops, options.folder, *found.set, &problem)) {
                return Refuse({"cannot remove the finished test set in " + options.folder + ": " + problem, options.folder});
            }
            report.replacedFinishedSet = true;
        }
        set.run.number = ops.randomNumber();
        set.fileSize = std::max<uint64_t>(kDriveBlockBytes, std::min(options.fileSize, kLargestFileSize) / kDriveBlockBytes * kDriveBlockBytes);
        if (options.total) set.total = *options.total / kDriveBlockBytes * kDriveBlockBytes;
    }
    if (events.begun) events.begun(report);
    WriteSet(ops, options, events, &set, from, &report);
    report.capacity.unknownBecause = "nothing was read back";
    if (options.verify && report.result != DriveResult::interrupted && report.bytesWritten > 0) {
        ReadAndPlace(ops, options, events, set, &report);
    }
    Conclude(&report);
    return report;
}

DriveReport VerifySet(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events) {
    const FoundSet found = FindSet(ops, options.folder);
    if (!found.problem.text.empty()) return Refuse(found.problem);
    const std::optional<DriveSet>& set = found.set;
    if (!set) return Refuse({options.folder + " holds no test set (no " + kSetDescriptionName + ")", options.folder});
    DriveReport report;
    report.bytesWritten = set->finished ? set->written : WrittenOnDisk(ops, options.folder, *set);
    report.files = set->files;
    report.capacity.unknownBecause = "nothing was read back";
    if (report.bytesWritten > 0) ReadAndPlace(ops, options, events, *set, &report);
    Conclude(&report);
    return report;
}

}  // namespace

DriveReport RunDriveFill(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events) {
    const Setting setting = SettingOf(ops, options.folder);
    return InSetting(FillSet(ops, options, events), setting, options.folder);
}

DriveReport RunDriveVerify(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events) {
    const Setting setting = SettingOf(ops, options.folder);
    return InSetting(VerifySet(ops, options, events), setting, options.folder);
}

const char* DriveResultName(DriveResult result) {
    switch (result) {
        case DriveResult::ok: return "ok";
        case DriveResult::lost: return "lost";
        case DriveResult::failed: return "failed";
        case DriveResult::interrupted: return "interrupted";
    }
    return "failed";
}

const char* ReadBackName(ReadBack method) {
    switch (method) {
        case ReadBack::direct: return "direct";
        case ReadBack::cacheDropped: return "cache dropped";
        case ReadBack::mayBeCached: return "may be cached";
    }
    return "may be cached";
}
