// The real seam on a real folder: a small fill and read-back, and the
// folders it must refuse with the system's reason.
#include "drive_test.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace {

const uint64_t MiB = uint64_t(1) << 20;

TEST(DriveSystem, FillsAndReadsBackARealFolder) {
    const std::string dir = MakeTempDir();
    const DriveOps ops = SystemDriveOps();
    DriveTestOptions options;
    options.folder = dir;
    options.total = 10 * MiB + 4096;  // a last file that is not a whole number of requests
    options.fileSize = 4 * MiB;
    options.sampleEvery = MiB;
    options.sampleDistance = 2 * MiB;
    // Under Wine every read may come through Linux's cache: nothing is proven.
    const DriveResult intact = UnderWine() ? DriveResult::unproven : DriveResult::ok;
    const DriveReport report = RunDriveFill(ops, options, DriveEvents());
    EXPECT_EQ(report.result, intact) << report.problem;
    EXPECT_EQ(report.bytesWritten, 10 * MiB + 4096);
    EXPECT_EQ(report.tally.bytesOk, 10 * MiB + 4096);
    EXPECT_EQ(FileLength(JoinPath(dir, "fillwright-drivetest-00003.bin")), int64_t(2 * MiB + 4096));
    std::printf("read back: %s\n", ReadBackName(report.readBack));
    if (UnderWine()) {
        EXPECT_EQ(report.readBack, ReadBack::mayBeCached);
        EXPECT_EQ(report.readBackRemedy, CacheRemedy::linuxBuild);
        EXPECT_EQ(report.readBackReason, "under Wine, reads come through Linux's cache");
    }

    const DriveReport again = RunDriveVerify(ops, options, DriveEvents());
    EXPECT_EQ(again.result, intact) << again.problem;
    if (UnderWine()) {
        EXPECT_EQ(again.readBack, ReadBack::mayBeCached);
    }
    EXPECT_EQ(again.tally.bytesOk, 10 * MiB + 4096);

    const DriveReport replaced = RunDriveFill(ops, options, DriveEvents());
    EXPECT_TRUE(replaced.replacedFinishedSet);
    EXPECT_EQ(replaced.result, intact) << replaced.problem;
    std::string reason;
    DriveSet set;
    set.fileSize = options.fileSize;
    set.files = 3;
    EXPECT_TRUE(RemoveSet(ops, dir, set, &reason)) << reason;
    RemoveDir(dir);
}

TEST(DriveSystem, RefusesWhatIsNoUsableFolder) {
    const std::string dir = MakeTempDir();
    const std::string file = JoinPath(dir, "plain.bin");
    fileOps.closeFile(CreateOutputFile(file));
    for (const std::string& folder : {JoinPath(dir, "missing"), file}) {
        SCOPED_TRACE(folder);
        DriveTestOptions options;
        options.folder = folder;
        const DriveReport report = RunDriveFill(SystemDriveOps(), options, DriveEvents());
        EXPECT_EQ(report.result, DriveResult::failed);
        EXPECT_EQ(report.problem.rfind(folder + ": ", 0), 0u) << report.problem;
        EXPECT_GT(report.problem.size(), folder.size() + 2);  // the system's reason follows
        EXPECT_EQ(report.bytesWritten, 0u);
    }
    EXPECT_EQ(FileLength(file), 0);
    RemoveFile(file);
    RemoveDir(dir);
}

}  // namespace
