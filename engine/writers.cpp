#include "writers.h"

#include "job_state.h"
#include "patterns.h"

#include <cstdio>
#include <cstring>

static void ReportToStandardError(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

FailureReporter reportFailure = ReportToStandardError;

void ApplyFinalSize(FileHandle file) {
    if (!fileOps.setPosition(file, JobState.targetSize)) {
        reportFailure("I/O Error in SetFilePointer() call", "Error");
        return;
    }
    if (!fileOps.setEndOfFile(file)) {
        reportFailure("I/O Error in SetEndOfFile() call", "Error");
    }
}

// Writes the block again and again until bytesDone reaches targetSize. The
// count is 64-bit and targetSize is at most 2^51, so it cannot wrap and the
// loop always ends. refill, when given, renews the block before each write.
static void WriteBlocks(unsigned char* block, uint32_t size, void (*refill)(unsigned char*, size_t)) {
    const FileHandle file = JobState.outputFile;
    const int64_t target = JobState.targetSize;
    int64_t done = 0;
    while (done < target) {
        if (refill) refill(block, size);
        if (!fileOps.writeBlock(file, block, size)) {
            reportFailure("I/O", "Error");
            return;
        }
        done += size;
        JobState.bytesDone.store(done, std::memory_order_relaxed);
    }
}

static WriterResult CloseAndFinish() {
    fileOps.closeFile(JobState.outputFile);
    JobState.outputFile = kNoFile;
    // Release: whoever sees finished = 1 also sees the file closed and reset.
    JobState.finished.store(1, std::memory_order_release);
    return 0;
}

// The common end of the three writing routines: all blocks, then the length.
static WriterResult WriteAndFinish(unsigned char* block, uint32_t size, void (*refill)(unsigned char*, size_t)) {
    WriteBlocks(block, size, refill);
    ApplyFinalSize(JobState.outputFile);
    return CloseAndFinish();
}

WriterResult WRITER_CALL ZeroWriter(void*) {
    JobState.bytesDone.store(0, std::memory_order_relaxed);
    unsigned char block[kDataBlockSize];
    std::memset(block, 0, sizeof block);
    return WriteAndFinish(block, sizeof block, nullptr);
}

WriterResult WRITER_CALL RandomWriter(void*) {
    JobState.bytesDone.store(0, std::memory_order_relaxed);
    unsigned char block[kDataBlockSize];
    SeedRandom(static_cast<uint32_t>(fileOps.calendarSeconds()));
    return WriteAndFinish(block, sizeof block, FillRandom);
}

WriterResult WRITER_CALL AsciiWriter(void*) {
    JobState.bytesDone.store(0, std::memory_order_relaxed);
    unsigned char block[kAsciiLineSize];
    std::memcpy(block, AsciiLine, sizeof block);
    return WriteAndFinish(block, sizeof block, nullptr);
}

WriterResult WRITER_CALL SetSizeWriter(void*) {
    JobState.bytesDone.store(0, std::memory_order_relaxed);
    ApplyFinalSize(JobState.outputFile);
    JobState.bytesDone.store(JobState.targetSize, std::memory_order_relaxed);
    return CloseAndFinish();
}
