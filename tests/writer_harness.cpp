#include "writer_harness.h"

#include "test_files.h"
#include "writers.h"

#include <thread>

SeamLog seam;

static bool WatchedWrite(FileHandle file, const void* block, uint32_t size) {
    ++seam.writeCalls;
    seam.lastWriteSize = size;
    if (seam.writeCalls == seam.failWriteAtCall) return false;
    return seam.discardWrites || platformFileOps.writeBlock(file, block, size);
}

static bool WatchedSetPosition(FileHandle file, int64_t distance) {
    ++seam.setPositionCalls;
    if (seam.failSetPosition) return false;
    return seam.discardWrites || platformFileOps.setPosition(file, distance);
}

static bool WatchedSetEnd(FileHandle file) {
    ++seam.setEndCalls;
    if (seam.failSetEndOfFile) return false;
    return seam.discardWrites || platformFileOps.setEndOfFile(file);
}

static void WatchedClose(FileHandle file) {
    ++seam.closeCalls;
    platformFileOps.closeFile(file);
}

static int64_t WatchedClock() { return seam.clock; }

static void RecordReport(const char* text, const char* caption) {
    seam.reports.push_back(std::string(caption) + "|" + text);
    if (JobState.finished.load() != 0) seam.finishedRaisedBeforeReportReturned = true;
}

void WatchWriters() {
    seam = SeamLog();
    fileOps = {WatchedWrite, WatchedSetPosition, WatchedSetEnd, WatchedClose, WatchedClock};
    reportFailure = RecordReport;
}

void StopWatchingWriters() { fileOps = platformFileOps; }

bool RunWriterJob(CreationMode mode, int64_t size, const std::string& target) {
    ResetJobState();
    JobState.targetSize = size;
    JobState.mode = mode;
    JobState.outputFile = CreateOutputFile(target);
    if (JobState.outputFile == kNoFile) return false;
    std::thread writer(WriterFor(mode), nullptr);
    writer.join();
    return true;
}
