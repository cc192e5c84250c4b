#include "drive_work.h"

#include <algorithm>

AlignedBuffers MakeBuffers(size_t slots, size_t slotBytes) {
    AlignedBuffers buffers;
    const AlignedMemory aligned = AllocateAligned(slots * slotBytes, kDriveBufferAlignment);
    buffers.memory = aligned.memory;
    buffers.first = aligned.bytes;
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
    report->problem =
        DriveProblem{"the drive at", folder, " went away during the test (unmounted, pulled out or replaced)"};
    return true;
}

PhaseMeter StartMeter(const DriveOps& ops, const DriveEvents& events, const DriveTestOptions& options, DrivePhase phase,
                      uint64_t setOffset, uint64_t expected, DriveReport* report) {
    PhaseMeter meter;
    meter.ops = &ops;
    meter.events = &events;
    meter.phase = phase;
    meter.expected = expected;
    meter.started = meter.windowStart = ops.seconds();
    const uint64_t every[2] = {options.speedSampleEvery, options.positionSampleEvery};
    std::vector<SpeedSample>* samples[2] = {&report->speeds, &report->positionSpeeds};
    for (int k = 0; k < 2; ++k) {
        SampleSeries& series = meter.series[k];
        series.every = every[k];
        series.samples = samples[k];
        series.told = k == 0;
        series.currentStart = meter.started;
        series.current.phase = phase;
        series.current.offset = setOffset;
    }
    return meter;
}

namespace {

void EndSample(const PhaseMeter& meter, SampleSeries& series, double now) {
    series.current.seconds = now - series.currentStart;
    series.samples->push_back(series.current);
    if (series.told && meter.events->speed) meter.events->speed(series.current);
    const uint64_t next = series.current.offset + series.current.bytes;
    series.current = SpeedSample();
    series.current.phase = meter.phase;
    series.current.offset = next;
    series.currentStart = now;
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
    for (SampleSeries& series : meter.series) {
        series.current.bytes += bytes;
        if (series.current.bytes >= series.every) EndSample(meter, series, now);
    }
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
    for (SampleSeries& series : meter.series) {
        const uint64_t bytes = series.current.bytes;
        if (bytes > 0 && (bytes * 2 >= series.every || meter.done == bytes)) EndSample(meter, series, now);
    }
    return now - meter.started;
}
