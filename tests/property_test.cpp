// Thousands of jobs with seeded-random modes and sizes, each compared byte for
// byte with the reference model. The seed is printed; set
// FILLWRIGHT_PROPERTY_SEED to replay a run.
#include "job_state.h"
#include "reference_model.h"
#include "test_files.h"
#include "writer_harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

namespace {

const int kJobs = 3000;

uint32_t PropertySeed() {
    const char* given = std::getenv("FILLWRIGHT_PROPERTY_SEED");
    if (given && *given) return static_cast<uint32_t>(std::strtoul(given, nullptr, 10));
    return static_cast<uint32_t>(std::time(nullptr));
}

// Mostly sizes a few bytes either side of whole blocks of 64 and 1024, some
// anywhere below 5000, and a few of megabyte scale.
int64_t PickSize(std::mt19937& rng) {
    const uint32_t kind = static_cast<uint32_t>(rng() % 100);
    if (kind < 2) return (1 + rng() % 3) * (int64_t(1) << 20) + static_cast<int64_t>(rng() % 3000);
    if (kind < 30) return static_cast<int64_t>(rng() % 5000);
    const int64_t block = (rng() % 2) ? 1024 : 64;
    const int64_t edge = block * static_cast<int64_t>(rng() % 6);
    const int64_t size = edge + static_cast<int64_t>(rng() % 5) - 2;
    return size < 0 ? 0 : size;
}

TEST(WriterProperty, RandomJobsMatchTheReferenceModel) {
    const uint32_t seed = PropertySeed();
    std::printf("property seed %u (replay: FILLWRIGHT_PROPERTY_SEED=%u)\n", seed, seed);
    std::mt19937 rng(seed);
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string path = JoinPath(dir, "job.bin");

    for (int job = 0; job < kJobs; ++job) {
        const CreationMode mode = static_cast<CreationMode>(1 + rng() % 4);
        const int64_t size = PickSize(rng);
        WatchWriters();
        seam.clock = static_cast<int64_t>(rng());
        const std::string where = "job " + std::to_string(job) + ": mode " + std::to_string(mode) + ", size " +
                                  std::to_string(size) + ", clock " + std::to_string(seam.clock) + ", property seed " +
                                  std::to_string(seed);
        ASSERT_TRUE(RunWriterJob(mode, size, path)) << where;
        StopWatchingWriters();

        const int64_t block = ExpectedBlockSize(mode);
        const int64_t writes = block ? (size + block - 1) / block : 0;
        ASSERT_EQ(seam.writeCalls, writes) << where;
        ASSERT_EQ(JobState.bytesDone.load(), block ? writes * block : size) << where;
        ASSERT_EQ(JobState.finished.load(), 1) << where;
        ASSERT_EQ(JobState.outputFile, kNoFile) << where;
        ASSERT_TRUE(seam.reports.empty()) << where << ": " << seam.reports.front();
        ASSERT_EQ(FileLength(path), size) << where;
        ASSERT_TRUE(ReadWholeFile(path) == ExpectedContent(mode, size, static_cast<uint32_t>(seam.clock))) << where;
    }
    RemoveFile(path);
    RemoveDir(dir);
}

}  // namespace
