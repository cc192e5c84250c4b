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

// Writes blockSize bytes per call until bytesDone reaches targetSize, taking
// the blocks in turn from source, sourceSize bytes (a whole number of blocks)
// of the content; at the end of source it starts again from its beginning,
// after renewing a random period in place. The count is 64-bit and
// targetSize is at most 2^51, so it cannot wrap and the loop always ends.
// Returns the number of blocks handed to the platform, a failed one included.
static int64_t WriteBlocks(const unsigned char* source, uint32_t sourceSize, uint32_t blockSize,
                           RandomPeriod* randomPeriod) {
    const FileHandle file = JobState.outputFile;
    const int64_t target = JobState.targetSize;
    // Read once: the loop then touches no more memory than it must.
    bool (*const writeBlock)(FileHandle, const void*, uint32_t) = fileOps.writeBlock;
    int64_t done = 0;
    uint32_t offset = 0;
    while (done < target) {
        if (offset == sourceSize) {
            offset = 0;
            if (randomPeriod) NextRandomPeriod(*randomPeriod);
        }
        if (!writeBlock(file, source + offset, blockSize)) {
            reportFailure("I/O", "Error");
            return done / blockSize + 1;
        }
        offset += blockSize;
        done += blockSize;
        JobState.bytesDone.store(done, std::memory_order_relaxed);
    }
    return done / blockSize;
}

static WriterResult CloseAndFinish() {
    fileOps.closeFile(JobState.outputFile);
    JobState.outputFile = kNoFile;
    // Release: whoever sees finished = 1 also sees the file closed and reset.
    JobState.finished.store(1, std::memory_order_release);
    return 0;
}

WriterResult WRITER_CALL ZeroWriter(void*) {
    JobState.bytesDone.store(0, std::memory_order_relaxed);
    unsigned char block[kDataBlockSize];
    std::memset(block, 0, sizeof block);
    WriteBlocks(block, sizeof block, sizeof block, nullptr);
    ApplyFinalSize(JobState.outputFile);
    return CloseAndFinish();
}

static_assert(kRandomPeriod % kDataBlockSize == 0, "random blocks must tile the stream's period");

WriterResult WRITER_CALL RandomWriter(void*) {
    JobState.bytesDone.store(0, std::memory_order_relaxed);
    SeedRandom(static_cast<uint32_t>(fileOps.calendarSeconds()));
    // Block b is bytes 1024 b .. 1024 b + 1023 of the stream, so the blocks
    // are written straight from a period of it kept here, renewed every 64
    // blocks, rather than each refilled on its own. FileRandom is stepped
    // 1024 times for every block handed to the platform, as a refill would.
    RandomPeriod period;
    StartRandomPeriod(period);
    const int64_t blocks = WriteBlocks(period.bytes, kRandomPeriod, kDataBlockSize, &period);
    SkipRandom(static_cast<uint64_t>(blocks) * kDataBlockSize);
    ApplyFinalSize(JobState.outputFile);
    return CloseAndFinish();
}

WriterResult WRITER_CALL AsciiWriter(void*) {
    JobState.bytesDone.store(0, std::memory_order_relaxed);
    unsigned char block[kAsciiLineSize];
    std::memcpy(block, AsciiLine, sizeof block);
    WriteBlocks(block, sizeof block, sizeof block, nullptr);
    ApplyFinalSize(JobState.outputFile);
    return CloseAndFinish();
}

WriterResult WRITER_CALL SetSizeWriter(void*) {
    JobState.bytesDone.store(0, std::memory_order_relaxed);
    ApplyFinalSize(JobState.outputFile);
    JobState.bytesDone.store(JobState.targetSize, std::memory_order_relaxed);
    return CloseAndFinish();
}

WriterRoutine WriterFor(CreationMode mode) {
    switch (mode) {
        case RandomFill: return RandomWriter;
        case AsciiFill: return AsciiWriter;
        case SetSizeOnly: return SetSizeWriter;
        default: return ZeroWriter;
    }
}
