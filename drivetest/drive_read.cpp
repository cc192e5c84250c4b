// The read-back: requests read on the caller's thread, their blocks checked
// on a helper thread, every block tallied by what it holds.
#include "drive_read.h"

#include "drive_work.h"
#include "system_pipeline.h"

#include <atomic>
#include <vector>

namespace {

// A read that failed is tried again block by block, to find which blocks
// cannot be read; after this many in a row the rest of the request is
// taken as unreadable too, so that a dead drive is not read block by block.
const size_t kFailuresInARow = 16;

struct ReadRequest {
    Request request;
    std::vector<char> readable;  // per block
    std::string reason;          // why the others were not
    bool untallied = false;      // the drive went away: nothing of it counts
};

struct Reader {
    const DriveOps* ops;
    const DriveTestOptions* options;
    const DriveEvents* events;
    const DriveSet* set;
    DriveReport* report;
    DriveFile file;
    uint32_t openNumber = 0;
    std::string openFailure;  // why the open file could not be opened
    std::atomic<uint64_t> lost{0};
    PhaseMeter meter;
};

void OpenForReading(Reader& reader, uint32_t number) {
    if (reader.openNumber != 0 && reader.openFailure.empty()) reader.ops->close(reader.file);
    reader.openNumber = number;
    const IoResult opened =
        reader.ops->open(PathIn(*reader.ops, reader.options->folder, SetFileName(number)), OpenFor::read, &reader.file);
    reader.openFailure = opened.status == IoStatus::ok ? std::string() : opened.reason;
}

// The least honest way any file was read is the report's.
void NoteReadBack(const Reader& reader) {
    DriveReport& report = *reader.report;
    if (ReadBackDoubt(reader.file.readBack) <= ReadBackDoubt(report.readBack)) return;
    report.readBack = reader.file.readBack;
    if (report.readBack == ReadBack::mayBeCached && report.readBackReason.empty()) {
        report.readBackReason = reader.file.path + ": its cache was not seen empty";
    }
}

// The caches under the files, emptied once before the read-back: whatever
// comes into them afterwards came from the drive.
void DropCachesBelow(const DriveOps& ops, const std::string& folder, DriveReport* report) {
    const CacheCheck check = ops.dropCaches(folder, true);
    if (ReadBackDoubt(check.readBack) <= ReadBackDoubt(report->readBack)) return;
    report->readBack = check.readBack;
    report->readBackReason = check.reason;
    report->readBackRemedy = check.remedy;
}

void ReadRequestInto(Reader& reader, ReadRequest& read, unsigned char* data) {
    const Request& request = read.request;
    const size_t blocks = request.length / kDriveBlockBytes;
    read.readable.assign(blocks, 0);
    read.reason.clear();
    read.untallied = false;
    if (request.file != reader.openNumber) OpenForReading(reader, request.file);
    if (!reader.openFailure.empty()) {
        read.reason = reader.openFailure;
        read.untallied = DriveWentAway(*reader.ops, reader.options->folder, reader.report);
        return;
    }
    const uint64_t inFile = request.offset - FileStart(*reader.set, request.file);
    const IoResult whole = reader.ops->readAt(reader.file, inFile, data, request.length);
    NoteReadBack(reader);  // after the read: a file may have had to leave direct I/O
    size_t good = whole.bytes / kDriveBlockBytes;
    for (size_t k = 0; k < good; ++k) read.readable[k] = 1;
    if (whole.status == IoStatus::ok) {
        if (good < blocks) read.reason = "the file ends early, at byte " + std::to_string(inFile + whole.bytes);
        return;
    }
    read.reason = whole.reason;
    if (DriveWentAway(*reader.ops, reader.options->folder, reader.report)) {
        read.untallied = true;
        return;
    }
    size_t failures = 0;
    for (size_t k = good; k < blocks && failures < kFailuresInARow; ++k) {
        const IoResult one = reader.ops->readAt(reader.file, inFile + k * kDriveBlockBytes, data + k * kDriveBlockBytes,
                                                kDriveBlockBytes);
        const bool ok = one.status == IoStatus::ok && one.bytes == kDriveBlockBytes;
        read.readable[k] = ok ? 1 : 0;
        failures = ok ? 0 : failures + 1;
        if (!ok && one.status != IoStatus::ok) read.reason = one.reason;
    }
}

void CheckRequest(Reader& reader, const ReadRequest& read, const unsigned char* data) {
    const Request& request = read.request;
    DriveTally& tally = reader.report->tally;
    if (read.untallied) return;
    for (size_t k = 0; k < read.readable.size(); ++k) {
        const uint64_t offset = request.offset + k * kDriveBlockBytes;
        const unsigned char* block = data + k * kDriveBlockBytes;
        if (!read.readable[k]) {
            TallyUnreadable(&tally, offset, kDriveBlockBytes, read.reason);
        } else if (BlockIsIntact(reader.set->run, request.file, offset, block)) {
            TallyIntact(&tally, offset);
        } else {
            TallyBlock(&tally, offset, ClassifyBlock(reader.set->run, request.file, offset, block));
        }
    }
    reader.lost.store(tally.bytesLost);
}

}  // namespace

BlockVerdict ReadOneBlock(const DriveOps& ops, const std::string& folder, const DriveSet& set, uint64_t setOffset,
                          unsigned char* buffer) {
    const uint32_t number = FileOfOffset(set, setOffset);
    DriveFile file;
    BlockVerdict verdict;
    verdict.kind = BlockClass::unreadable;
    if (ops.open(PathIn(ops, folder, SetFileName(number)), OpenFor::read, &file).status != IoStatus::ok) return verdict;
    const IoResult read = ops.readAt(file, setOffset - FileStart(set, number), buffer, kDriveBlockBytes);
    ops.close(file);
    if (read.status != IoStatus::ok || read.bytes != kDriveBlockBytes) return verdict;
    return ClassifyBlock(set.run, number, setOffset, buffer);
}

void ReadSet(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events, const DriveSet& set,
             uint64_t length, DriveReport* report) {
    Reader reader;
    reader.ops = &ops;
    reader.options = &options;
    reader.events = &events;
    reader.set = &set;
    reader.report = report;
    reader.meter = StartMeter(ops, events, options, DrivePhase::reading, 0, length, report);

    DropCachesBelow(ops, options.folder, report);
    AlignedBuffers buffers = MakeBuffers(kSlots, options.requestBytes);
    ReadRequest reads[kSlots];
    uint64_t cursor = 0;
    PipelineStages stages;
    stages.helperFills = false;
    stages.fill = [&](const PipelineSlot& slot) -> std::optional<size_t> {
        if (cursor >= length || report->driveWentAway) return 0;
        // Each file begins with a look at whether the drive is still there.
        if (cursor % set.fileSize == 0 && DriveWentAway(ops, options.folder, report)) return 0;
        if (Interrupted(events)) {
            report->result = DriveResult::interrupted;
            return 0;
        }
        ReadRequest& read = reads[slot.index];
        read.request = RequestAt(set, cursor, length, options.requestBytes);
        ReadRequestInto(reader, read, slot.bytes);
        cursor += read.request.length;
        AdvanceMeter(reader.meter, read.request.length, reader.lost.load());
        return read.request.length;
    };
    stages.take = [&](const PipelineSlot& slot, size_t) {
        CheckRequest(reader, reads[slot.index], slot.bytes);
        return true;
    };
    RunPipeline(Ring(buffers, kSlots), stages, ThreadCalls{ops.startThread, ops.joinThread});
    if (reader.openNumber != 0 && reader.openFailure.empty()) ops.close(reader.file);
    report->readSeconds = FinishMeter(reader.meter);
    report->bytesRead = report->tally.bytesOk + report->tally.bytesLost;
    report->verified = report->result != DriveResult::interrupted && !report->driveWentAway;
}
