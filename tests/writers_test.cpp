#include "writers.h"
#include "job_state.h"
#include "patterns.h"
#include "reference_model.h"
#include "test_files.h"
#include "writer_harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <tuple>

namespace {

const int64_t kFixedClock = 1700000000;

class WriterTest : public testing::Test {
protected:
    void SetUp() override {
        WatchWriters();
        seam.clock = kFixedClock;
        dir = MakeTempDir();
        ASSERT_FALSE(dir.empty());
        path = JoinPath(dir, "out.bin");
    }
    void TearDown() override {
        StopWatchingWriters();
        RemoveFile(path);
        RemoveDir(dir);
    }
    void RunJob(CreationMode mode, int64_t size, const std::string& target) {
        ASSERT_TRUE(RunWriterJob(mode, size, target)) << target;
    }
    void ExpectJobEnded() {
        EXPECT_EQ(JobState.finished.load(), 1);
        EXPECT_EQ(JobState.outputFile, kNoFile);
        EXPECT_EQ(seam.closeCalls, 1);
        EXPECT_FALSE(seam.finishedRaisedBeforeReportReturned);
    }
    std::string dir, path;
};

// Every mode at sizes around its block edges.
class ModeAndSize : public WriterTest, public testing::WithParamInterface<std::tuple<CreationMode, int64_t>> {};

TEST_P(ModeAndSize, FileHasExactLengthContentAndBlockCount) {
    const CreationMode mode = std::get<0>(GetParam());
    const int64_t size = std::get<1>(GetParam());
    RunJob(mode, size, path);

    const uint32_t block = ExpectedBlockSize(mode);
    const int64_t blocks = block ? (size + block - 1) / block : 0;
    EXPECT_EQ(seam.writeCalls, blocks);
    if (block) {
        EXPECT_EQ(seam.lastWriteSize, block);
    }
    EXPECT_EQ(JobState.bytesDone.load(), block ? blocks * block : size);
    EXPECT_EQ(seam.setPositionCalls, 1);
    EXPECT_EQ(seam.setEndCalls, 1);
    EXPECT_TRUE(seam.reports.empty());
    ExpectJobEnded();

    ASSERT_EQ(FileLength(path), size);
    // The length-only mode writes nothing; these file systems read the range as zeros.
    EXPECT_TRUE(ReadWholeFile(path) == ExpectedContent(mode, size, static_cast<uint32_t>(kFixedClock)));

    if (mode == RandomFill) {
        // The generator ran for whole blocks: the next value follows the last block.
        uint32_t state = static_cast<uint32_t>(kFixedClock);
        for (int64_t i = 0; i < blocks * 1024; ++i) state = state * 22695477u + 1u;
        state = state * 22695477u + 1u;
        EXPECT_EQ(NextRandom(), (state >> 16) & 0x7FFFu);
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, ModeAndSize,
                         testing::Combine(testing::Values(ZeroFill, RandomFill, AsciiFill, SetSizeOnly),
                                          testing::Values(1, 63, 64, 65, 100, 1023, 1024, 1025, 3072, 2 << 20)));

TEST_F(WriterTest, TextOfOneHundredBytesEndsMidLine) {
    RunJob(AsciiFill, 100, path);
    EXPECT_EQ(ReadWholeFile(path),
              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\r\n"
              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij");
}

TEST_F(WriterTest, ExistingContentIsReplaced) {
    RunJob(ZeroFill, 5000, path);
    RunJob(SetSizeOnly, 10, path);
    EXPECT_EQ(ReadWholeFile(path), std::string(10, '\0'));
    RunJob(AsciiFill, 3, path);
    EXPECT_EQ(ReadWholeFile(path), "ABC");
}

TEST_F(WriterTest, RandomWriterSeedsFromTheRealClock) {
    fileOps.calendarSeconds = platformFileOps.calendarSeconds;
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    RunJob(RandomFill, 4096, path);
    const int64_t after = static_cast<int64_t>(std::time(nullptr));
    const std::string content = ReadWholeFile(path);
    bool matched = false;
    for (int64_t second = before; second <= after; ++second)
        matched = matched || content == ExpectedContent(RandomFill, 4096, static_cast<uint32_t>(second));
    EXPECT_TRUE(matched) << "content matches no seed between " << before << " and " << after;
}

TEST_F(WriterTest, DiskFullReportsOnceAndStillFinishes) {
    RunJob(ZeroFill, 5000, FullDevicePath());
    EXPECT_EQ(seam.writeCalls, 1);
    EXPECT_EQ(JobState.bytesDone.load(), 0);
    // The device takes the position but cannot be given a length.
    ASSERT_EQ(seam.reports.size(), 2u);
    EXPECT_EQ(seam.reports[0], "Error|I/O");
    EXPECT_EQ(seam.reports[1], "Error|I/O Error in SetEndOfFile() call");
    ExpectJobEnded();
}

TEST_F(WriterTest, WriteFailureMidJobStopsWritingButSizesTheFile) {
    seam.failWriteAtCall = 3;
    RunJob(RandomFill, 10000, path);
    EXPECT_EQ(seam.writeCalls, 3);
    EXPECT_EQ(JobState.bytesDone.load(), 2048);
    ASSERT_EQ(seam.reports.size(), 1u);
    EXPECT_EQ(seam.reports[0], "Error|I/O");
    EXPECT_EQ(seam.setEndCalls, 1);
    ExpectJobEnded();
    // Two good blocks, then the length is still brought to the target.
    const std::string content = ReadWholeFile(path);
    ASSERT_EQ(content.size(), 10000u);
    EXPECT_EQ(content.substr(0, 2048), ExpectedContent(RandomFill, 2048, static_cast<uint32_t>(kFixedClock)));
    // Three blocks were made, the failed one included, so the generator went 3072 steps.
    uint32_t state = static_cast<uint32_t>(kFixedClock);
    for (int i = 0; i <= 3072; ++i) state = state * 22695477u + 1u;
    EXPECT_EQ(NextRandom(), (state >> 16) & 0x7FFFu);
}

TEST_F(WriterTest, FailedPositionIsReportedAndLeavesTheWrittenLength) {
    seam.failSetPosition = true;
    RunJob(ZeroFill, 1025, path);
    ASSERT_EQ(seam.reports.size(), 1u);
    EXPECT_EQ(seam.reports[0], "Error|I/O Error in SetFilePointer() call");
    EXPECT_EQ(seam.setEndCalls, 0);
    ExpectJobEnded();
    EXPECT_EQ(FileLength(path), 2048);
}

TEST_F(WriterTest, FailedEndOfFileIsReported) {
    seam.failSetEndOfFile = true;
    RunJob(AsciiFill, 65, path);
    ASSERT_EQ(seam.reports.size(), 1u);
    EXPECT_EQ(seam.reports[0], "Error|I/O Error in SetEndOfFile() call");
    ExpectJobEnded();
    EXPECT_EQ(FileLength(path), 128);
}

TEST_F(WriterTest, SetSizeStillCompletesItsCountWhenSizingFails) {
    seam.failSetPosition = true;
    RunJob(SetSizeOnly, 4096, path);
    ASSERT_EQ(seam.reports.size(), 1u);
    EXPECT_EQ(JobState.bytesDone.load(), 4096);
    EXPECT_EQ(seam.writeCalls, 0);
    ExpectJobEnded();
    EXPECT_EQ(FileLength(path), 0);
}

TEST_F(WriterTest, SetSizeBeyondFourGiBGivesThatExactLength) {
    const int64_t size = (5LL << 30) + 123;
    RunJob(SetSizeOnly, size, path);
    EXPECT_TRUE(seam.reports.empty());
    ExpectJobEnded();
    EXPECT_EQ(FileLength(path), size);
}

// A target one byte below 2^31 makes the count step past the largest signed
// 32-bit value; the 64-bit count must carry on and the loop must end.
TEST_F(WriterTest, CountPassesTwoGiBWithoutWrapping) {
    seam.discardWrites = true;
    RunJob(ZeroFill, 2147483647LL, path);
    EXPECT_EQ(seam.writeCalls, 2097152);
    EXPECT_EQ(JobState.bytesDone.load(), 2147483648LL);
    ExpectJobEnded();
}

// The dialog thread's view: a polling thread reads the shared fields while the
// writer runs, the way the progress timer does. Built with ThreadSanitizer too.
TEST_F(WriterTest, PollerSeesSteadyProgressThenAClosedFile) {
    const int64_t size = (16LL << 20) + 100;
    ResetJobState();
    JobState.targetSize = size;
    JobState.mode = RandomFill;
    JobState.outputFile = CreateOutputFile(path);
    ASSERT_NE(JobState.outputFile, kNoFile);

    std::thread writer(RandomWriter, nullptr);
    int64_t last = 0;
    int polls = 0;
    while (JobState.finished.load(std::memory_order_acquire) == 0) {
        int64_t done = JobState.bytesDone.load(std::memory_order_relaxed);
        ASSERT_GE(done, last);
        ASSERT_LE(done, size + 1023);
        int64_t percent = ProgressPercent(done, size);
        ASSERT_GE(percent, 0);
        ASSERT_LE(percent, 100);
        last = done;
        ++polls;
        std::this_thread::yield();
    }
    // Seen finished: the writer's earlier stores must be visible.
    EXPECT_EQ(JobState.outputFile, kNoFile);
    EXPECT_EQ(JobState.bytesDone.load(), ((size + 1023) / 1024) * 1024);
    EXPECT_EQ(FileLength(path), size);
    writer.join();
    EXPECT_GT(polls, 0);
}

}  // namespace
