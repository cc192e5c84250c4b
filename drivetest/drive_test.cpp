// The drive test from the outside: what a folder holds decides whether a fill
// starts a set, resumes one or replaces a finished one; then write, read back
// and reach a verdict.
#include "drive_read.h"
#include "drive_work.h"
#include "drive_write.h"
#include "system.h"

#include <algorithm>

namespace {

DriveReport Refuse(const DriveProblem& problem) {
    DriveReport report;
    report.result = DriveResult::failed;
    report.problem = problem;
    return report;
}

std::string DescriptionPath(const DriveOps& ops, const std::string& folder) {
    return PathIn(ops, folder, kSetDescriptionName);
}

struct FoundSet {
    std::optional<DriveSet> set;
    std::optional<DriveProblem> problem;  // why the folder cannot be used
    FolderState state;
    PinnedFolder pin;
};

DriveProblem NotOwn(const std::string& what, const std::string& path, const std::string& itIs) {
    return {what, path, " is " + itIs + ", not the test set's own file; it is left as it is"};
}

// Checks the folder, pins it for this test, and reads the set's description
// if there is one. The folder stays pinned when found.pin.pinned.
FoundSet FindSet(const DriveOps& ops, const std::string& folder) {
    FoundSet found;
    found.state = ops.inspectFolder(folder);
    if (!found.state.usable) {
        found.problem = DriveProblem{"", folder, ": " + found.state.reason};
        return found;
    }
    found.pin = ops.pinFolder(folder);
    if (!found.pin.pinned) {
        const std::string why = found.pin.busy ? "another test is running on this set" : found.pin.reason;
        found.problem = DriveProblem{"", folder, ": " + why};
        return found;
    }
    const std::string description = DescriptionPath(ops, folder);
    if (const std::optional<std::string> what = ops.notOwnFile(description)) {
        found.problem = NotOwn("", description, *what);
        return found;
    }
    const std::optional<std::string> text = ops.readText(description);
    if (!text) {
        const std::string first = PathIn(ops, folder, SetFileName(1));
        if (ops.fileLength(first) || ops.notOwnFile(first)) {
            found.problem = DriveProblem{"", folder,
                                         " holds " + SetFileName(1) + " but no " + kSetDescriptionName +
                                             ": it may be another program's; remove it to test here"};
        }
        return found;
    }
    std::string fault;
    found.set = ReadSetDescription(*text, found.state.sizeBytes, &fault);
    if (!found.set) {
        const std::string why = fault.empty() ? " is not a test set's description" : ": " + fault;
        found.problem = DriveProblem{"", description, why + "; it is left as it is"};
    }
    return found;
}

// Why a fill must not resume or replace the set found: one of its files is
// not its own, or it was written on another drive.
std::optional<DriveProblem> UntouchableSet(const DriveOps& ops, const std::string& folder, const DriveSet& set,
                                           const PinnedFolder& pin) {
    if (!set.volumeId.empty() && !pin.volumeId.empty() && set.volumeId != pin.volumeId) {
        return DriveProblem{"", folder,
                            " holds the test set of another drive (volume " + set.volumeId + "; this one is volume " +
                                pin.volumeId + "): remove it by hand to test here"};
    }
    // Past the files the description names, as RemoveSet goes.
    for (uint32_t number = 1; number <= set.files + 1; ++number) {
        const std::string path = PathIn(ops, folder, SetFileName(number));
        if (const std::optional<std::string> what = ops.notOwnFile(path)) {
            std::string cannot = set.finished ? "cannot replace" : "cannot resume";
            cannot.append(" the test set in ").append(folder).append(":");
            return NotOwn(cannot, path, *what);
        }
    }
    return std::nullopt;
}

// Reads the set back with each block's place on the drive, and finds the
// drive's real capacity from them.
void ReadAndPlace(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events, const DriveSet& set,
                  DriveReport* report) {
    report->tally.map = MapSet(ops, options.folder, set, report->bytesWritten);
    ReadSet(ops, options, events, set, report->bytesWritten, report);
    report->capacity = report->verified
                           ? FindRealCapacity(report->tally.places, report->tally.map.unknownBecause)
                           : RealCapacity{CapacityShape::unknown, {}, {}, "the read-back was interrupted", {}, {}};
    report->capacity.claimed = report->tally.map.driveBytes;
    report->capacity.partitionStart = report->tally.map.partitionStart;
}

// A loss is a loss wherever the data came from; intact data proves the
// drive only if it came from the drive.
void Conclude(DriveReport* report) {
    if (report->result == DriveResult::interrupted) return;
    if (report->tally.bytesLost > 0 || report->lossSeenAt) {
        report->result = DriveResult::lost;
    } else if (report->problem) {
        report->result = DriveResult::failed;
    } else if (report->verified && report->readBack == ReadBack::mayBeCached) {
        report->result = DriveResult::unproven;
    } else {
        report->result = DriveResult::ok;
    }
}

// A writing run notes the drive as it is now: what it wrote may be cached
// until the drive is attached again or the system boots again.
void NoteDrive(const DriveOps& ops, const std::string& folder, DriveSet* set) {
    const DriveAttachment now = ops.driveAttachment(folder);
    set->diskseq = now.diskseq;
    set->bootId = now.bootId;
}

// Whether the drive was attached again, or the system booted, since the
// last run that wrote to the set, in a way that emptied every cache between.
bool AttachedSinceWritten(const DriveSet& set, const DriveAttachment& now) {
    const bool replugged = now.replugEmptiesCaches && now.diskseq && set.diskseq && *now.diskseq != *set.diskseq;
    const bool rebooted =
        now.rebootEmptiesCaches && !now.bootId.empty() && !set.bootId.empty() && now.bootId != set.bootId;
    return replugged || rebooted;
}

DriveReport FillPinned(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events,
                       const FoundSet& found) {
    DriveReport report;
    report.onSystemDrive = found.pin.onSystemDrive;
    report.volumeId = found.pin.volumeId;
    if (found.pin.onSystemDrive && !options.total && !options.allowSystemDrive) {
        report = Refuse({"", options.folder,
                         " is on the system's own drive (the one that holds " + found.pin.systemHolds +
                             "); filling it can stop programs from saving their work. Give --total, or "
                             "--allow-system-drive to fill it anyway"});
        report.onSystemDrive = report.refusedSystemDrive = true;
        return report;
    }
    if (found.set) {
        const std::optional<DriveProblem> untouchable = UntouchableSet(ops, options.folder, *found.set, found.pin);
        if (untouchable) return Refuse(*untouchable);
    }
    DriveSet set;
    uint64_t from = 0;
    // The folder was looked at once, before a finished set was removed:
    // what that set held is free again.
    uint64_t freeBytes = found.state.freeBytes;
    if (found.set && !found.set->finished) {
        set = *found.set;
        from = WrittenOnDisk(ops, options.folder, set);
        report.resumedAt = from;
    } else {
        if (found.set) {
            std::string problem;
            if (!RemoveSet(ops, options.folder, *found.set, &problem)) {
                return Refuse({"cannot remove the finished test set in", options.folder, ": " + problem});
            }
            report.replacedFinishedSet = true;
            freeBytes += found.set->written;
        }
        set.run.number = ops.randomNumber();
        set.fileSize = std::max<uint64_t>(
            kDriveBlockBytes, std::min(options.fileSize, kLargestFileSize) / kDriveBlockBytes * kDriveBlockBytes);
        if (options.total) set.total = *options.total / kDriveBlockBytes * kDriveBlockBytes;
    }
    NoteDrive(ops, options.folder, &set);
    set.volumeId = found.pin.volumeId;
    if (events.begun) events.begun(report);
    WriteSet(ops, options, events, &set, from, freeBytes, &report);
    report.capacity.unknownBecause = "nothing was read back";
    if (options.verify && report.result != DriveResult::interrupted && !report.driveWentAway &&
        report.bytesWritten > 0) {
        ReadAndPlace(ops, options, events, set, &report);
    }
    Conclude(&report);
    return report;
}

DriveReport VerifyPinned(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events,
                         const FoundSet& found) {
    const std::optional<DriveSet>& set = found.set;
    if (!set) return Refuse({"", options.folder, std::string(" holds no test set (no ") + kSetDescriptionName + ")"});
    DriveReport report;
    report.onSystemDrive = found.pin.onSystemDrive;
    report.volumeId = found.pin.volumeId;
    if (!set->volumeId.empty() && !found.pin.volumeId.empty() && set->volumeId != found.pin.volumeId) {
        report.setVolumeId = set->volumeId;
    }
    report.bytesWritten = set->finished ? set->written : WrittenOnDisk(ops, options.folder, *set);
    report.files = set->files;
    report.capacity.unknownBecause = "nothing was read back";
    if (report.bytesWritten > 0) ReadAndPlace(ops, options, events, *set, &report);
    if (report.readBack == ReadBack::mayBeCached && AttachedSinceWritten(*set, ops.driveAttachment(options.folder))) {
        report.readBack = ReadBack::replugged;
        report.readBackReason.clear();
    }
    Conclude(&report);
    return report;
}

// Where and when the test ran, asked before it touches the drive.
struct Setting {
    DriveIdentity drive;
    int64_t startedAt = 0;
};

Setting SettingOf(const DriveOps& ops, const std::string& folder) {
    Setting setting;
    if (ops.identifyDrive) setting.drive = ops.identifyDrive(folder);
    setting.startedAt = CalendarSeconds();
    return setting;
}

// Runs test on the folder found, pinned for as long as it runs.
DriveReport OnPinnedFolder(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events,
                           DriveReport (*test)(const DriveOps&, const DriveTestOptions&, const DriveEvents&,
                                               const FoundSet&)) {
    const Setting setting = SettingOf(ops, options.folder);
    const FoundSet found = FindSet(ops, options.folder);
    DriveReport report = found.problem ? Refuse(*found.problem) : test(ops, options, events, found);
    if (found.pin.pinned) ops.unpinFolder(options.folder);
    report.folder = options.folder;
    report.drive = setting.drive;
    report.startedAt = setting.startedAt;
    return report;
}

}  // namespace

DriveReport RunDriveFill(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events) {
    return OnPinnedFolder(ops, options, events, FillPinned);
}

DriveReport RunDriveVerify(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events) {
    return OnPinnedFolder(ops, options, events, VerifyPinned);
}

const char* DriveResultName(DriveResult result) {
    switch (result) {
        case DriveResult::ok: return "ok";
        case DriveResult::lost: return "lost";
        case DriveResult::failed: return "failed";
        case DriveResult::interrupted: return "interrupted";
        case DriveResult::unproven: return "unproven";
    }
    return "failed";
}

const char* ReadBackName(ReadBack method) {
    switch (method) {
        case ReadBack::direct: return "direct";
        case ReadBack::cacheDropped: return "cache dropped";
        case ReadBack::mayBeCached: return "may be cached";
        case ReadBack::replugged: return "re-plugged";
    }
    return "may be cached";
}

int ReadBackDoubt(ReadBack method) {
    switch (method) {
        case ReadBack::direct: return 0;
        case ReadBack::cacheDropped: return 1;
        case ReadBack::replugged: return 2;
        case ReadBack::mayBeCached: return 3;
    }
    return 3;
}
