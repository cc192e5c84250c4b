#include "job_state.h"

#include <gtest/gtest.h>

#include <cstring>

// Filled in by main() before any test touches the record.
extern bool jobStateWasPristineAtStart;

namespace {

TEST(JobState, StartsEmptyWithNoFileOpen) { EXPECT_TRUE(jobStateWasPristineAtStart); }

TEST(JobState, ResetClearsEverythingButTheThreadHandle) {
    int marker = 0;
    std::strcpy(JobState.fileName, "C:\\left\\over.bin");
    JobState.targetSize = 77;
    JobState.bytesDone = 99;
    JobState.finished = 1;
    JobState.mode = AsciiFill;
    JobState.outputFile = (FileHandle)3;
    JobState.workerThread = &marker;

    ResetJobState();

    for (char c : JobState.fileName) ASSERT_EQ(c, '\0');
    EXPECT_EQ(JobState.targetSize, 0);
    EXPECT_EQ(JobState.bytesDone.load(), 0);
    EXPECT_EQ(JobState.finished.load(), 0);
    EXPECT_EQ(JobState.mode, NoMode);
    EXPECT_EQ(JobState.outputFile, kNoFile);
    EXPECT_EQ(JobState.workerThread, &marker);
    JobState.workerThread = nullptr;
}

TEST(JobState, NoFileHasAllBitsSet) { EXPECT_EQ((intptr_t)kNoFile, -1); }

TEST(ProgressPercent, TruncatesTowardZero) {
    EXPECT_EQ(ProgressPercent(0, 1024), 0);
    EXPECT_EQ(ProgressPercent(512, 1024), 50);
    EXPECT_EQ(ProgressPercent(1023, 1024), 99);
    EXPECT_EQ(ProgressPercent(1024, 3072), 33);
    EXPECT_EQ(ProgressPercent(1024, 1024), 100);
}

TEST(ProgressPercent, ExceedsHundredPastTheTarget) {
    EXPECT_EQ(ProgressPercent(1024, 1), 102400);
    EXPECT_EQ(ProgressPercent(2048, 1025), 199);
}

TEST(ProgressPercent, ExactAtTheLargestSizes) {
    const int64_t largestMiB = 2147483647LL << 20;  // 2,147,483,647 MiB
    EXPECT_EQ(ProgressPercent(largestMiB, largestMiB), 100);
    EXPECT_EQ(ProgressPercent(largestMiB + 1023, largestMiB), 100);
    EXPECT_EQ(ProgressPercent(largestMiB - 1, largestMiB), 99);
    EXPECT_EQ(ProgressPercent(largestMiB / 2, largestMiB), 50);
    // Past 2^31 bytes the 32-bit product would have overflowed long before.
    EXPECT_EQ(ProgressPercent(3000000000LL, 4000000000LL), 75);
    EXPECT_EQ(ProgressPercent(2147483648LL, 2147483647LL), 100);
    // One byte short of the whole: 99, never rounded up.
    const int64_t fourGiB = 4LL << 30;
    EXPECT_EQ(ProgressPercent(fourGiB - 1, fourGiB), 99);
}

}  // namespace
