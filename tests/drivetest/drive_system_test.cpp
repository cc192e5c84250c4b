// The real seam on a real folder: a small fill and read-back, and the
// folders it must refuse with the system's reason.
#include "drive_test.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace {

const uint64_t MiB = uint64_t(1) << 20;

void RemoveSetAndDir(const DriveOps& ops, const std::string& dir, const DriveTestOptions& options, uint32_t files) {
    std::string reason;
    DriveSet set;
    set.fileSize = options.fileSize;
    set.files = files;
    EXPECT_TRUE(RemoveSet(ops, dir, set, &reason)) << reason;
    RemoveDir(dir);
}

TEST(DriveSystem, FillsAndReadsBackARealFolder) {
    const std::string dir = MakeTempDir();
    const DriveOps ops = SystemDriveOps();
    DriveTestOptions options;
    options.folder = dir;
    options.total = 10 * MiB + 4096;  // a last file that is not a whole number of requests
    options.fileSize = 4 * MiB;
    options.sampleEvery = MiB;
    options.sampleDistance = 2 * MiB;
    const DriveReport report = RunDriveFill(ops, options, DriveEvents());
    EXPECT_EQ(report.result, DriveResult::ok) << report.problem;
    EXPECT_EQ(report.bytesWritten, 10 * MiB + 4096);
    EXPECT_EQ(report.tally.bytesOk, 10 * MiB + 4096);
    EXPECT_EQ(FileLength(JoinPath(dir, "fillwright-drivetest-00003.bin")), int64_t(2 * MiB + 4096));
    std::printf("read back: %s\n", ReadBackName(report.readBack));
    if (UnderWine()) {
        EXPECT_EQ(report.readBack, ReadBack::mayBeCached);
    }

    const DriveReport again = RunDriveVerify(ops, options, DriveEvents());
    EXPECT_EQ(again.result, DriveResult::ok) << again.problem;
    if (UnderWine()) {
        EXPECT_EQ(again.readBack, ReadBack::mayBeCached);
    }
    EXPECT_EQ(again.tally.bytesOk, 10 * MiB + 4096);

    const DriveReport replaced = RunDriveFill(ops, options, DriveEvents());
    EXPECT_TRUE(replaced.replacedFinishedSet);
    EXPECT_EQ(replaced.result, DriveResult::ok) << replaced.problem;
    RemoveSetAndDir(ops, dir, options, 3);
}

// Whatever the system answers about where a file lies (Wine answers few of
// these calls), the map covers the file within the drive, or it is unknown
// with a reason; and the report's figure follows from it.
TEST(DriveSystem, AFilesPlaceOnTheDriveIsRightOrUnknown) {
    const std::string dir = MakeTempDir();
    const DriveOps ops = SystemDriveOps();
    DriveTestOptions options;
    options.folder = dir;
    options.total = 4 * MiB;
    const DriveReport report = RunDriveFill(ops, options, DriveEvents());
    ASSERT_EQ(report.result, DriveResult::ok) << report.problem;
    const FileExtents map = ops.fileExtents(JoinPath(dir, "fillwright-drivetest-00001.bin"));
    std::printf("extent map: %s, %zu extents, drive %llu bytes\n", map.known ? "known" : map.unknownBecause.c_str(),
                map.extents.size(), static_cast<unsigned long long>(map.driveBytes.value_or(0)));
    if (map.known) {
        uint64_t covered = 0;
        for (const DriveExtent& extent : map.extents) {
            covered += extent.length;
            EXPECT_GE(extent.driveOffset, map.partitionStart.value_or(0));
            if (map.driveBytes) {
                EXPECT_LE(extent.driveOffset + extent.length, *map.driveBytes);
            }
        }
        EXPECT_EQ(covered, 4 * MiB);
        EXPECT_EQ(report.capacity.shape, CapacityShape::holdsAll);
        EXPECT_GE(report.capacity.atLeast.value_or(0), 4 * MiB);
    } else {
        EXPECT_FALSE(map.unknownBecause.empty());
        EXPECT_TRUE(map.extents.empty());
        EXPECT_EQ(report.capacity.shape, CapacityShape::unknown);
        EXPECT_EQ(report.capacity.unknownBecause, map.unknownBecause);
    }
    RemoveSetAndDir(ops, dir, options, 1);
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
