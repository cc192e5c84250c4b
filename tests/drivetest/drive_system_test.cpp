// The real seam on a real folder: a small fill and read-back, and the
// folders it must refuse with the system's reason.
#include "drive_test.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

const uint64_t MiB = uint64_t(1) << 20;

// Whatever the system answers about where a file lies (Wine answers few of
// these calls), the map covers the file within the drive, or it is unknown
// with a reason; and the report's figure follows from it.
void ExpectPlaceRightOrUnknown(const DriveOps& ops, const std::string& path, uint64_t length,
                               const RealCapacity& figure) {
    const FileExtents map = ops.fileExtents(path);
    std::printf("extent map: %s, %zu extents\n", map.known ? "known" : map.unknownBecause.c_str(), map.extents.size());
    uint64_t covered = 0;
    for (const DriveExtent& extent : map.extents) {
        covered += extent.length;
        EXPECT_GE(extent.driveOffset, map.partitionStart.value_or(0));
        EXPECT_LE(extent.driveOffset + extent.length, map.driveBytes.value_or(UINT64_MAX));
    }
    EXPECT_EQ(covered, map.known ? length : 0);
    EXPECT_EQ(map.unknownBecause.empty(), map.known);
    EXPECT_EQ(figure.shape, map.known ? CapacityShape::holdsAll : CapacityShape::unknown);
    EXPECT_GE(figure.atLeast.value_or(length), length);
    if (!map.known) {
        EXPECT_EQ(figure.unknownBecause, map.unknownBecause);
    }
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
    // Under Wine every read may come through Linux's cache: nothing is proven.
    const DriveResult intact = UnderWine() ? DriveResult::unproven : DriveResult::ok;
    const DriveReport report = RunDriveFill(ops, options, DriveEvents());
    EXPECT_EQ(report.result, intact) << ProblemText(report.problem);
    EXPECT_EQ(report.bytesWritten, 10 * MiB + 4096);
    EXPECT_EQ(report.tally.bytesOk, 10 * MiB + 4096);
    EXPECT_EQ(FileLength(JoinPath(dir, "fillwright-drivetest-00003.bin")), int64_t(2 * MiB + 4096));
    std::printf("read back: %s\n", ReadBackName(report.readBack));
    ExpectPlaceRightOrUnknown(ops, JoinPath(dir, "fillwright-drivetest-00001.bin"), 4 * MiB, report.capacity);
    if (UnderWine()) {
        EXPECT_EQ(report.readBack, ReadBack::mayBeCached);
        EXPECT_EQ(report.readBackRemedy, CacheRemedy::linuxBuild);
        EXPECT_EQ(report.readBackReason, "under Wine, reads come through Linux's cache");
    }

    const DriveReport again = RunDriveVerify(ops, options, DriveEvents());
    EXPECT_EQ(again.result, intact) << ProblemText(again.problem);
    if (UnderWine()) {
        EXPECT_EQ(again.readBack, ReadBack::mayBeCached);
    }
    EXPECT_EQ(again.tally.bytesOk, 10 * MiB + 4096);

    const DriveReport replaced = RunDriveFill(ops, options, DriveEvents());
    EXPECT_TRUE(replaced.replacedFinishedSet);
    EXPECT_EQ(replaced.result, intact) << ProblemText(replaced.problem);
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
        EXPECT_EQ(ProblemText(report.problem).rfind(folder + ": ", 0), 0u) << ProblemText(report.problem);
        EXPECT_GT(ProblemText(report.problem).size(), folder.size() + 2);  // the system's reason follows
        EXPECT_EQ(report.bytesWritten, 0u);
    }
    EXPECT_EQ(FileLength(file), 0);
    RemoveFile(file);
    RemoveDir(dir);
}

}  // namespace
