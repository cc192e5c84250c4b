// The real seam's guards on a real folder: the system's own drive, and one
// test at a time on a folder.
#include "drive_test.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace {

const uint64_t MiB = uint64_t(1) << 20;

// The system's calls, except that writing stops after limit bytes: a
// broken guard then cannot fill the system's drive.
DriveOps WritingAtMost(uint64_t limit, uint64_t* written) {
    DriveOps ops = SystemDriveOps();
    const auto write = ops.writeAt;
    ops.writeAt = [write, limit, written](DriveFile& file, uint64_t offset, const unsigned char* data, size_t count) {
        if (*written + count > limit) return IoResult{IoStatus::failed, 0, "the test's limit"};
        *written += count;
        return write(file, offset, data, count);
    };
    return ops;
}

// Under Wine every read may come through Linux's cache: nothing is proven.
DriveResult IntactResult() { return UnderWine() ? DriveResult::unproven : DriveResult::ok; }

TEST(DriveSystemSafety, TheSystemsDriveIsNotFilledWithoutTotal) {
    const std::string dir = MakeTempDir();  // on / here, on C: under Wine
    uint64_t written = 0;
    const DriveOps ops = WritingAtMost(4 * MiB, &written);
    const PinnedFolder pin = ops.pinFolder(dir);
    ASSERT_TRUE(pin.pinned) << pin.reason;
    ops.unpinFolder(dir);
    if (!pin.onSystemDrive) {
        RemoveDir(dir);
        GTEST_SKIP() << dir << " is not on the system's drive here: nothing to refuse";
    }
    DriveTestOptions options;
    options.folder = dir;
    options.fileSize = MiB;
    const DriveReport refused = RunDriveFill(ops, options, DriveEvents());
    EXPECT_TRUE(refused.refusedSystemDrive);
    const std::string problem = ProblemText(refused.problem);
    EXPECT_EQ(problem.find(dir + " is on the system's own drive (the one that holds " + pin.systemHolds + ")"), 0u)
        << problem;
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(FileLength(JoinPath(dir, "fillwright-drivetest.txt")), -1);

    options.total = 2 * MiB;
    const DriveReport tested = RunDriveFill(ops, options, DriveEvents());
    EXPECT_EQ(tested.result, IntactResult()) << ProblemText(tested.problem);
    EXPECT_TRUE(tested.onSystemDrive);
    EXPECT_EQ(written, 2 * MiB);
    std::string reason;
    DriveSet set;
    set.files = 2;
    EXPECT_TRUE(RemoveSet(ops, dir, set, &reason)) << reason;
    RemoveDir(dir);
}

TEST(DriveSystemSafety, ASecondTestOnAFolderIsRefusedWhileTheFirstRuns) {
    const std::string dir = MakeTempDir();
    const DriveOps ops = SystemDriveOps();
    DriveTestOptions options;
    options.folder = dir;
    options.total = 2 * MiB;
    options.fileSize = MiB;
    DriveReport second, third;
    DriveEvents events;
    events.begun = [&](const DriveReport&) {
        second = RunDriveFill(ops, options, DriveEvents());
        third = RunDriveVerify(ops, options, DriveEvents());
    };
    const DriveReport first = RunDriveFill(ops, options, events);
    for (const DriveReport* refused : {&second, &third}) {
        EXPECT_EQ(ProblemText(refused->problem), dir + ": another test is running on this set");
        EXPECT_EQ(refused->bytesWritten, 0u);
    }
    EXPECT_EQ(first.result, IntactResult()) << ProblemText(first.problem);
    EXPECT_EQ(first.tally.bytesOk, 2 * MiB);
    const DriveReport after = RunDriveVerify(ops, options, DriveEvents());  // the hold let go
    EXPECT_EQ(after.result, IntactResult()) << ProblemText(after.problem);
    EXPECT_EQ(FileLength(JoinPath(dir, "fillwright-drivetest.lock")), -1);
    std::string reason;
    DriveSet set;
    set.files = 2;
    EXPECT_TRUE(RemoveSet(ops, dir, set, &reason)) << reason;
    RemoveDir(dir);
}

}  // namespace
