#include "drive_work.h"

#include <algorithm>

AlignedBuffers MakeBuffers(size_t slots, size_t slotBytes) {
    AlignedBuffers buffers;
    const size_t bytes = slots * slotBytes + kDriveBufferAlignment;
    unsigned char* memory = system_drive::AllocateMemory(bytes);
    if (memory != nullptr) {
        buffers.memory.reset(memory, [bytes](unsigned char* gone) { system_drive::FreeMemory(gone, bytes); });
    } else {
        buffers.memory.reset(new unsigned char[bytes], std::default_delete<unsigned char[]>());
    }
    const uintptr_t address = reinterpret_cast<uintptr_t>(buffers.memory.get());
    const size_t skip = (kDriveBufferAlignment - address % kDriveBufferAlignment) % kDriveBufferAlignment;
    buffers.first = buffers.memory.get() + skip;
    buffers.slotBytes = slotBytes;
    return buffers;
}

Request RequestAt(const DriveSet& set, uint64_t offset, uint64_t end, size_t requestBytes) {
    Request request;
    request.offset = offset;
    request.file = FileOfOffset(set, offset);
    const uint64_t fileLeft = FileStart(set, request.file) + set.fileSize - offset;
    request.length = static_cast<size_t>(std::min<uint64_t>({requestBytes, fileLeft, end - offset}));
    return request;
}

bool Interrupted(const DriveEvents& events) { return events.interrupted && events.interrupted(); }

bool DriveWentAway(const DriveOps& ops, const std::string& folder, DriveReport* report) {
    if (report->driveWentAway) return true;
    if (!ops.driveStillThere || ops.driveStillThere(folder)) return false;
    report->driveWentAway = true;
    // It is the reason the test ended, whatever failed because of it.
    report->problem = "the drive at " + folder + " went away during the test (unmounted, pulled out or replaced)";
    report->problemPath = folder;
    return true;
}

PhaseMeter StartMeter(const DriveOps& ops, const DriveEvents& events, DrivePhase phase, uint64_t setOffset,
                      uint64_t expected, uint64_t sampleEvery, std::vector<SpeedSample>* samples) {
    PhaseMeter meter;
    meter.ops = &ops;
    meter.events = &events;
    meter.phase = phase;
    meter.expected = expected;
    meter.sampleEvery = sampleEvery;
    meter.samples = samples;
    meter.started = meter.windowStart = meter.currentStart = ops.seconds();
    meter.current.phase = phase;
    meter.current.offset = setOffset;
    return meter;
}

namespace {

void EndSample(PhaseMeter& meter, double now) {
    meter.current.seconds = now - meter.currentStart;
    meter.samples->push_back(meter.current);
    if (meter.events->speed) meter.events->speed(meter.current);
    const uint64_t next = meter.current.offset + meter.current.bytes;
    meter.current = SpeedSample();
    meter.current.phase = meter.phase;
    meter.current.offset = next;
    meter.currentStart = now;
}

}  // namespace

void AdvanceMeter(PhaseMeter& meter, uint64_t bytes, uint64_t bytesLost) {
    const double now = meter.ops->seconds();
    meter.done += bytes;
    meter.windowBytes += bytes;
    if (now - meter.windowStart >= 1.0 || meter.rate == 0) {
        if (now > meter.windowStart) meter.rate = static_cast<double>(meter.windowBytes) / (now - meter.windowStart);
        if (now - meter.windowStart >= 1.0) {
            meter.windowStart = now;
            meter.windowBytes = 0;
        }
    }
    meter.current.bytes += bytes;
    if (meter.current.bytes >= meter.sampleEvery) EndSample(meter, now);
    if (!meter.events->progress) return;
    DriveProgress progress;
    progress.phase = meter.phase;
    progress.bytesDone = meter.done;
    progress.bytesExpected = meter.expected;
    progress.bytesPerSecond = meter.rate;
    if (meter.rate > 0 && meter.expected >= meter.done) {
        progress.secondsLeft = static_cast<double>(meter.expected - meter.done) / meter.rate;
    }
    progress.bytesLost = bytesLost;
    meter.events->progress(progress);
}

double FinishMeter(PhaseMeter& meter) {
    const double now = meter.ops->seconds();
    // The last, partial sample counts when it is the only one or at least half of one.
    if (meter.current.bytes > 0 && (meter.current.bytes * 2 >= meter.sampleEvery || meter.done == meter.current.bytes)) {
        EndSample(meter, now);
    }
    return now - meter.started;
}
