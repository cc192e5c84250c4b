// The fill: numbered files written one request at a time, the blocks made on
// a helper thread, and every so often a look back at blocks written earlier.
#include "drive_write.h"

#include "drive_read.h"
#include "drive_work.h"
#include "system_pipeline.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <vector>

namespace {

struct Writer {
    const DriveOps* ops;
    const DriveTestOptions* options;
    const DriveEvents* events;
    DriveSet* set;
    DriveReport* report;
    DriveFile file;
    uint32_t openNumber = 0;    // 0: none open
    uint32_t resumeNumber = 0;  // the file a resumed fill goes on writing
    uint64_t position = 0;      // the set is written up to here
    uint64_t nextLookBack = 0;
    uint64_t looks = 0;
    AlignedBuffers lookBuffer;
    PhaseMeter meter;
};

std::string NameOf(const Writer& writer, uint32_t number) {
    return PathIn(*writer.ops, writer.options->folder, SetFileName(number));
}

bool WentAway(const Writer& writer) { return DriveWentAway(*writer.ops, writer.options->folder, writer.report); }

// The first problem is the one reported: "cannot write PATH: reason"; a
// failure of a drive that went away is reported as that.
void Fail(const Writer& writer, const std::string& what, const std::string& path, const std::string& reason) {
    if (writer.report->problem || WentAway(writer)) return;
    writer.report->problem = DriveProblem{what, path, ": " + reason};
}

bool FinishFile(Writer& writer) {
    if (writer.openNumber == 0) return true;
    std::string reason;
    const bool flushed = writer.ops->flush(writer.file, &reason);
    writer.ops->close(writer.file);
    if (!flushed) Fail(writer, "cannot write", NameOf(writer, writer.openNumber), reason);
    writer.openNumber = 0;
    return flushed;
}

bool SaveDescription(Writer& writer) {
    std::string reason;
    if (writer.ops->writeText(PathIn(*writer.ops, writer.options->folder, kSetDescriptionName),
                              DescribeSet(*writer.set), &reason)) {
        return true;
    }
    Fail(writer, "cannot write", PathIn(*writer.ops, writer.options->folder, kSetDescriptionName), reason);
    return false;
}

bool OpenFile(Writer& writer, uint32_t number) {
    if (!FinishFile(writer) || WentAway(writer)) return false;
    writer.set->files = number;
    if (!SaveDescription(writer)) return false;
    const OpenFor how = number == writer.resumeNumber ? OpenFor::extend : OpenFor::create;
    const IoResult opened = writer.ops->open(NameOf(writer, number), how, &writer.file);
    if (opened.status != IoStatus::ok) writer.set->files = number - 1;
    if (opened.status == IoStatus::noSpace) {
        writer.report->filledToTheEnd = true;
        return false;
    }
    if (opened.status != IoStatus::ok) {
        Fail(writer, "cannot create", NameOf(writer, number), opened.reason);
        return false;
    }
    writer.openNumber = number;
    return true;
}

// A file begun when the space had just run out holds nothing: it goes.
void DropEmptyFile(Writer& writer) {
    const uint32_t number = writer.openNumber;
    writer.ops->close(writer.file);
    writer.openNumber = 0;
    std::string reason;
    if (writer.ops->remove(NameOf(writer, number), &reason)) writer.set->files = number - 1;
}

// Places looked at evenly over what was written, besides the others.
const uint64_t kEvenLooks = 4;

// Looks back, past the caches, at a few blocks written earlier: the first,
// some spread evenly over the set so far (a drive that folds its addresses
// back overwrites the set from its start, or from wherever its file system
// put the first data), one far enough back to have left a drive's own
// cache (a drive that drops what it cannot hold answers from that cache
// for a while), and one anywhere. False when one of them no longer holds
// what was written there.
bool LookBack(Writer& writer) {
    const uint64_t end = writer.position / kDriveBlockBytes;
    if (end == 0) return true;
    if (WentAway(writer)) return false;
    std::vector<uint64_t> blocks = {0};
    for (uint64_t k = 0; k < kEvenLooks; ++k) blocks.push_back(end * (2 * k + 1) / (2 * kEvenLooks));
    const uint64_t distance = writer.options->sampleDistance / kDriveBlockBytes;
    if (end > distance) blocks.push_back(end - 1 - distance);
    // Any block, spread by the golden ratio's step so that looks do not repeat.
    blocks.push_back((++writer.looks * 0x9e3779b97f4a7c15ull) % end);
    // Emptied, not proven empty: a look back only ever finds losses, and
    // data that reads back wrong is lost wherever it came from.
    writer.ops->dropCaches(writer.options->folder, false);
    for (uint64_t block : blocks) {
        const uint64_t offset = block * kDriveBlockBytes;
        const BlockVerdict verdict =
            ReadOneBlock(*writer.ops, writer.options->folder, *writer.set, offset, Slot(writer.lookBuffer, 0));
        if (verdict.kind != BlockClass::intact) {
            // Not a loss when the drive is gone: nothing can be read from it any more.
            if (verdict.kind == BlockClass::unreadable && WentAway(writer)) return false;
            writer.report->lossSeenAt = offset;
            writer.report->lossSeenWhenWritten = writer.position;
            return false;
        }
    }
    return true;
}

// Writes one request; on a full disk it tries smaller pieces down to one
// block, so that less than a block of space stays untested.
bool WriteRequest(Writer& writer, const Request& request, const unsigned char* data) {
    if (Interrupted(*writer.events)) {
        writer.report->result = DriveResult::interrupted;
        return false;
    }
    if (request.file != writer.openNumber && !OpenFile(writer, request.file)) return false;
    const uint64_t inFile = request.offset - FileStart(*writer.set, request.file);
    size_t done = 0;
    size_t piece = request.length;
    IoResult result;
    while (done < request.length) {
        result = writer.ops->writeAt(writer.file, inFile + done, data + done, std::min(piece, request.length - done));
        done += result.bytes;
        if (result.status == IoStatus::ok) continue;
        if (result.status == IoStatus::noSpace && piece > kDriveBlockBytes) {
            piece = std::max(kDriveBlockBytes, piece / 2 / kDriveBlockBytes * kDriveBlockBytes);
            continue;
        }
        break;
    }
    if (done < request.length) {
        // Only whole blocks count: a partial one is cut off.
        const size_t whole = done / kDriveBlockBytes * kDriveBlockBytes;
        std::string reason;
        writer.ops->setLength(writer.file, inFile + whole, &reason);
        writer.position = request.offset + whole;
        AdvanceMeter(writer.meter, whole, 0);
        if (result.status == IoStatus::noSpace) {
            writer.report->filledToTheEnd = true;
            if (inFile + whole == 0) DropEmptyFile(writer);
        } else {
            Fail(writer, "cannot write", NameOf(writer, request.file), result.reason);
        }
        return false;
    }
    writer.position = request.offset + request.length;
    AdvanceMeter(writer.meter, request.length, 0);
    // After the first loss the fill stops, or (told to go on) looks no more;
    // whether the drive is still there it asks all the same.
    if (writer.position >= writer.nextLookBack) {
        writer.nextLookBack = writer.position + writer.options->sampleEvery;
        if (WentAway(writer)) return false;
        if (!writer.report->lossSeenAt && !LookBack(writer) &&
            (writer.options->stopEarly || writer.report->driveWentAway)) {
            return false;
        }
    }
    return true;
}

}  // namespace

void WriteSet(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events, DriveSet* set,
              uint64_t from, uint64_t freeBytes, DriveReport* report) {
    Writer writer;
    writer.ops = &ops;
    writer.options = &options;
    writer.events = &events;
    writer.set = set;
    writer.report = report;
    writer.position = from;
    writer.nextLookBack = from + options.sampleEvery;
    writer.lookBuffer = MakeBuffers(1, kDriveBlockBytes);
    // A fill that stopped inside a file goes on in it; one that stopped
    // where a file ends begins the next.
    if (from % set->fileSize != 0) writer.resumeNumber = FileOfOffset(*set, from);
    const uint64_t end = set->total ? *set->total : std::numeric_limits<uint64_t>::max();
    const uint64_t expected = set->total ? *set->total - from : freeBytes;
    writer.meter = StartMeter(ops, events, options, DrivePhase::writing, from, expected, report);

    AlignedBuffers buffers = MakeBuffers(kSlots, options.requestBytes);
    Request requests[kSlots];
    uint64_t cursor = from;
    PipelineStages stages;
    stages.helperFills = true;
    stages.fill = [&](const PipelineSlot& slot) -> std::optional<size_t> {
        if (cursor >= end) return 0;
        requests[slot.index] = RequestAt(*set, cursor, end, options.requestBytes);
        const Request& request = requests[slot.index];
        MakeBlocks(set->run, request.file, request.offset, request.length / kDriveBlockBytes, slot.bytes);
        cursor += request.length;
        return request.length;
    };
    stages.take = [&](const PipelineSlot& slot, size_t) {
        return WriteRequest(writer, requests[slot.index], slot.bytes);
    };
    RunPipeline(Ring(buffers, kSlots), stages, ThreadCalls{ops.startThread, ops.joinThread});

    FinishFile(writer);
    report->writeSeconds = FinishMeter(writer.meter);
    report->bytesWrittenNow = writer.position - from;
    report->bytesWritten = writer.position;
    report->files = set->files;
    if (report->result != DriveResult::interrupted && !report->driveWentAway) {
        set->finished = true;
        set->written = writer.position;
        SaveDescription(writer);
    }
}
