#include "job_state.h"

#include <gtest/gtest.h>

bool jobStateWasPristineAtStart = false;

static bool JobStateIsPristine() {
    for (char c : JobState.fileName)
        if (c != '\0') return false;
    return JobState.targetSize == 0 && JobState.bytesDone.load() == 0 && JobState.finished.load() == 0 &&
           JobState.mode == NoMode && JobState.outputFile == kNoFile && JobState.workerThread == nullptr;
}

int main(int argc, char** argv) {
    jobStateWasPristineAtStart = JobStateIsPristine();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
