#include "job_state.h"

#include <cstring>

JobRecord JobState = {{0}, 0, {0}, {0}, NoMode, kNoFile, nullptr};

void ResetJobState() {
    std::memset(JobState.fileName, 0, sizeof JobState.fileName);
    JobState.targetSize = 0;
    JobState.bytesDone.store(0);
    JobState.finished.store(0);
    JobState.mode = NoMode;
    JobState.outputFile = kNoFile;
}

int64_t ProgressPercent(int64_t bytesDone, int64_t targetSize) {
    // Split the count so that the product never overflows: the remainder is
    // below targetSize, and targetSize stays far below 2^63 / 100.
    int64_t whole = bytesDone / targetSize;
    int64_t rest = bytesDone % targetSize;
    return whole * 100 + rest * 100 / targetSize;
}
