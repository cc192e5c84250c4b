// The drive test against what a drive may do or hold: going away mid-test,
// files in the set that are not its own, a second test, the system's own
// drive, another drive's set, and descriptions that are not sound.
#include "drive_test.h"
#include "simulated_drive.h"

#include <gtest/gtest.h>

namespace {

const uint64_t MiB = uint64_t(1) << 20;

SimDriveShape Honest() {
    SimDriveShape shape;
    shape.claimedBytes = 40 * MiB;
    shape.realBytes = 40 * MiB;
    return shape;
}

const char kWentAway[] = "the drive at sim went away during the test (unmounted, pulled out or replaced)";

struct AwayCase {
    const char* name;
    SimAway away;
    SimLie lie;
    bool stopEarly;
    DriveResult result;
};

TEST(DriveSafety, ADriveThatGoesAwayEndsTheTest) {
    const std::vector<AwayCase> cases = {
        {"pulled out", SimAway::pulled, SimLie::none, true, DriveResult::failed},
        {"unmounted", SimAway::unmounted, SimLie::none, true, DriveResult::failed},
        {"unmounted, told to keep going", SimAway::unmounted, SimLie::none, false, DriveResult::failed},
        // A loss proven before it went stays proven.
        {"pulled out after a loss was seen", SimAway::pulled, SimLie::wrap, false, DriveResult::lost},
    };
    for (const AwayCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimDrive drive;
        drive.shape = Honest();
        drive.shape.lie = c.lie;
        drive.shape.realBytes = c.lie == SimLie::wrap ? 16 * MiB : 40 * MiB;
        drive.shape.away = c.away;
        drive.shape.awayAfter = 20 * MiB + 4096 * 3;
        DriveTestOptions options = SmallPace();
        options.stopEarly = c.stopEarly;
        const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
        EXPECT_STREQ(DriveResultName(report.result), DriveResultName(c.result));
        EXPECT_TRUE(report.driveWentAway);
        EXPECT_EQ(ProblemText(report.problem), kWentAway);
        EXPECT_FALSE(report.verified);
        EXPECT_EQ(report.tally.bytesLost, 0u);  // nothing counted lost for going away
        EXPECT_EQ(report.lossSeenAt.has_value(), c.lie == SimLie::wrap);
        // Noticed at the next look back, a MiB on at most.
        EXPECT_GE(report.bytesWritten, 20 * MiB);
        EXPECT_LE(report.bytesWritten, 21 * MiB + 4096 * 3);
        EXPECT_NE(drive.texts["sim/fillwright-drivetest.txt"].find("state filling"), std::string::npos);
    }
}

TEST(DriveSafety, ADriveThatGoesAwayWhileReadBackCountsNothingLost) {
    SimDrive drive;
    drive.shape = Honest();
    const DriveOps ops = SimulatedDriveOps(&drive);
    ASSERT_EQ(RunDriveFill(ops, SmallPace(), DriveEvents()).result, DriveResult::ok);
    drive.shape.away = SimAway::pulled;
    drive.shape.awayAfter = drive.written;
    const DriveReport report = RunDriveVerify(ops, SmallPace(), DriveEvents());
    EXPECT_EQ(report.result, DriveResult::failed);
    EXPECT_EQ(ProblemText(report.problem), kWentAway);
    EXPECT_EQ(report.tally.bytesLost, 0u);
    EXPECT_FALSE(report.verified);
}

// A set of three files, interrupted or finished, with its second file
// replaced by something that is not its own.
SimDrive SetWithAStranger(bool finished, const std::string& what) {
    SimDrive drive;
    drive.shape = Honest();
    DriveTestOptions options = SmallPace();
    options.total = 24 * MiB;
    DriveEvents events;
    int requests = 0;
    if (!finished) events.interrupted = [&] { return ++requests > 80; };
    RunDriveFill(SimulatedDriveOps(&drive), options, events);
    drive.files.erase("sim/fillwright-drivetest-00002.bin");
    drive.strangers["sim/fillwright-drivetest-00002.bin"] = what;
    return drive;
}

TEST(DriveSafety, FilesInTheSetThatAreNotItsOwnAreLeftAlone) {
    for (bool finished : {false, true}) {
        for (const char* what : {"a symbolic link", "a FIFO", "a file with 2 names (hard links)", "a folder"}) {
            SCOPED_TRACE(std::string(finished ? "finished, " : "interrupted, ") + what);
            SimDrive drive = SetWithAStranger(finished, what);
            const DriveOps ops = SimulatedDriveOps(&drive);
            const uint64_t written = drive.written;
            const DriveReport fill = RunDriveFill(ops, SmallPace(), DriveEvents());
            EXPECT_EQ(fill.result, DriveResult::failed);
            EXPECT_EQ(ProblemText(fill.problem), std::string("cannot ") + (finished ? "replace" : "resume") +
                                                     " the test set in sim: sim/fillwright-drivetest-00002.bin is " +
                                                     what + ", not the test set's own file; it is left as it is");
            EXPECT_EQ(drive.written, written);
            EXPECT_EQ(drive.files.size(), 2u);  // nothing removed

            const DriveReport verify = RunDriveVerify(ops, SmallPace(), DriveEvents());
            EXPECT_EQ(verify.result, DriveResult::lost);
            ASSERT_FALSE(verify.tally.ranges.empty());
            EXPECT_EQ(verify.tally.ranges[0].offset, 8 * MiB);
            EXPECT_EQ(verify.tally.ranges[0].reason, std::string("not the set's own file: ") + what);
            EXPECT_EQ(verify.tally.bytesOk, verify.bytesWritten - std::min(verify.bytesWritten - 8 * MiB, 8 * MiB));
        }
    }
}

TEST(DriveSafety, ADescriptionThatIsNotItsOwnIsNotRead) {
    SimDrive drive;
    drive.shape = Honest();
    drive.texts["sim/fillwright-drivetest.txt"] = "fillwright drive test set, format 1\n";
    drive.strangers["sim/fillwright-drivetest.txt"] = "a FIFO";
    for (bool fill : {true, false}) {
        const DriveOps ops = SimulatedDriveOps(&drive);
        const DriveReport report =
            fill ? RunDriveFill(ops, SmallPace(), DriveEvents()) : RunDriveVerify(ops, SmallPace(), DriveEvents());
        EXPECT_EQ(ProblemText(report.problem),
                  "sim/fillwright-drivetest.txt is a FIFO, not the test set's own file; it is left as it is");
        EXPECT_EQ(drive.written, 0u);
    }
}

TEST(DriveSafety, ASecondTestOnTheSameFolderIsRefusedAtOnce) {
    SimDrive drive;
    drive.shape = Honest();
    const DriveOps ops = SimulatedDriveOps(&drive);
    DriveReport second, third;
    DriveEvents events;
    events.begun = [&](const DriveReport&) {
        second = RunDriveFill(ops, SmallPace(), DriveEvents());
        third = RunDriveVerify(ops, SmallPace(), DriveEvents());
    };
    const DriveReport first = RunDriveFill(ops, SmallPace(), events);
    for (const DriveReport* refused : {&second, &third}) {
        EXPECT_EQ(refused->result, DriveResult::failed);
        EXPECT_EQ(ProblemText(refused->problem), "sim: another test is running on this set");
        EXPECT_EQ(refused->bytesWritten, 0u);
    }
    EXPECT_EQ(first.result, DriveResult::ok) << ProblemText(first.problem);
    EXPECT_EQ(first.tally.bytesOk, 40 * MiB);
    EXPECT_EQ(drive.pins, 0);  // let go at the end
    EXPECT_EQ(RunDriveVerify(ops, SmallPace(), DriveEvents()).result, DriveResult::ok);
}

struct SystemDriveCase {
    const char* name;
    bool total, allow, refused;
};

TEST(DriveSafety, TheSystemsOwnDriveIsFilledOnlyWhenAskedTo) {
    for (const SystemDriveCase& c :
         {SystemDriveCase{"all its free space", false, false, true},
          SystemDriveCase{"with --total", true, false, false}, SystemDriveCase{"allowed", false, true, false}}) {
        SCOPED_TRACE(c.name);
        SimDrive drive;
        drive.shape = Honest();
        drive.shape.systemDrive = true;
        DriveTestOptions options = SmallPace();
        if (c.total) options.total = 8 * MiB;
        options.allowSystemDrive = c.allow;
        const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
        EXPECT_TRUE(report.onSystemDrive);
        EXPECT_EQ(report.refusedSystemDrive, c.refused);
        EXPECT_EQ(report.result, c.refused ? DriveResult::failed : DriveResult::ok);
        EXPECT_EQ(drive.written, c.refused ? 0 : c.total ? 8 * MiB : 40 * MiB);
        if (c.refused) {
            EXPECT_EQ(ProblemText(report.problem),
                      "sim is on the system's own drive (the one that holds /); filling it can stop programs "
                      "from saving their work. Give --total, or --allow-system-drive to fill it anyway");
        }
    }
}

TEST(DriveSafety, AnotherDrivesSetIsNeverMixedWithThisOnes) {
    SimDrive drive;
    drive.shape = Honest();
    const DriveOps ops = SimulatedDriveOps(&drive);
    DriveTestOptions options = SmallPace();
    options.total = 16 * MiB;
    ASSERT_EQ(RunDriveFill(ops, options, DriveEvents()).result, DriveResult::ok);
    EXPECT_NE(drive.texts["sim/fillwright-drivetest.txt"].find("\nvolume 5EED-D15C\n"), std::string::npos);
    drive.shape.volumeId = "0BAD-F00D";  // the set moved to another drive
    const uint64_t written = drive.written;
    const DriveReport fill = RunDriveFill(ops, options, DriveEvents());
    EXPECT_EQ(ProblemText(fill.problem),
              "sim holds the test set of another drive (volume 5EED-D15C; this one is volume 0BAD-F00D): "
              "remove it by hand to test here");
    EXPECT_EQ(drive.written, written);
    const DriveReport verify = RunDriveVerify(ops, options, DriveEvents());
    EXPECT_EQ(verify.result, DriveResult::ok);
    EXPECT_EQ(verify.setVolumeId, "5EED-D15C");
    EXPECT_EQ(verify.volumeId, "0BAD-F00D");
}

// A description as a fill of 16 MiB in files of 8 MiB writes it, with one line changed.
std::string Description(const std::string& from, const std::string& to) {
    std::string text =
        "fillwright drive test set, format 1\nrun 5eed0000\nfile_size 8388608\ntotal 16777216\nfiles 2\nstate "
        "finished\n"
        "written 16777216\ndiskseq 17\nboot_id 0f6c2b9e-5d1a-4b8e-9a31-2c7d0e4f6a10\nvolume 5EED-D15C\n";
    if (!from.empty()) text.replace(text.find(from), from.size(), to);
    return text;
}

struct DescriptionCase {
    std::string text;
    std::string fault;  // empty: sound
};

TEST(DriveSafety, TheDescriptionIsReadStrictly) {
    const std::string nul("\0", 1);
    const std::vector<DescriptionCase> cases = {
        {Description("", ""), ""},
        {Description("diskseq 17\nboot_id 0f6c2b9e-5d1a-4b8e-9a31-2c7d0e4f6a10\nvolume 5EED-D15C\n", ""),
         ""},  // an older set
        {Description("total 16777216", "total free_space"), ""},
        {Description("files 2", "files 4294967295"), "line 5: files 4294967295 does not fit the file size and total"},
        {Description("total 16777216\nfiles 2", "total free_space\nfiles 9"),
         "line 5: files 9 does not fit the file size and the file system"},
        {Description("written 16777216", "written 18446744073709551615"),
         "line 7: written 18446744073709551615 is out of range"},
        {Description("written 16777216", "written 18446744073709547520"),
         "line 7: written 18446744073709547520 does not fit the files, the file size and total"},
        {Description("written 16777216", "written 18446744073709551616"),
         "line 7: written 18446744073709551616 is out of range"},
        {Description("total 16777216", "total 0"), "line 4: total 0 is out of range"},
        {Description("state finished\n", "state finished\n" + nul), "line 7: holds bytes no description holds"},
        {Description("volume 5EED-D15C\n", "volume 5EED-D15C\n" + nul + "\n"),
         "line 11: holds bytes no description holds"},
        {Description("files 2", "files 02"), "line 5: files 02 is out of range"},
        {Description("files 2", "files +2"), "line 5: files +2 is out of range"},
        {Description("files 2", "files  2"), "line 5: files needs one value"},
        {Description("run 5eed0000", "run 5EED0000"), "line 2: run 5EED0000 is out of range"},
        {Description("file_size 8388608", "file_size 8388609"), "line 3: file_size 8388609 is out of range"},
        {Description("diskseq 17\n", "diskseq 17\nfiles 2\n"), "line 9: files is given twice"},
        {Description("diskseq 17\n", "colour blue\n"), "line 8: 'colour' is no key of a description"},
        {Description("state finished", "state filling"), "line 7: written is given for a set still filling"},
        {Description("written 16777216\n", ""), "no written line"},
        {Description("files 2\n", ""), "no files line"},
        {Description("volume 5EED-D15C\n", "volume 5EED-D15C"), "line 10: does not end in a line break"},
        {Description("volume 5EED-D15C", "volume " + std::string(65, 'A')),
         "line 10: volume " + std::string(65, 'A') + " is out of range"},
        {Description("volume 5EED-D15C\n", "volume 5EED-D15C\n" + std::string(4096, '#')),
         "larger than a description (4291 bytes)"},
    };
    for (const DescriptionCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::string fault = "unchanged";
        const std::optional<DriveSet> set = ReadSetDescription(c.text, 20 * MiB, &fault);
        EXPECT_EQ(fault, c.fault);
        EXPECT_EQ(set.has_value(), c.fault.empty());
        if (set) {
            EXPECT_TRUE(ReadSetDescription(DescribeSet(*set), 20 * MiB).has_value());
        }
    }
    const std::optional<DriveSet> set = ReadSetDescription(Description("", ""));
    ASSERT_TRUE(set);
    EXPECT_EQ(set->diskseq.value_or(0), 17u);
    EXPECT_EQ(set->bootId, "0f6c2b9e-5d1a-4b8e-9a31-2c7d0e4f6a10");
    EXPECT_EQ(set->volumeId, "5EED-D15C");
    EXPECT_EQ(DescribeSet(*set), Description("", ""));
}

TEST(DriveSafety, ARefusedDescriptionGivesNoVerdict) {
    for (const std::string& text :
         {Description("files 2", "files 4294967295"), Description("written 16777216", "written 18446744073709547520"),
          Description("total 16777216", "total 0")}) {
        SCOPED_TRACE(text);
        for (bool fill : {true, false}) {
            SimDrive drive;
            drive.shape = Honest();
            drive.texts["sim/fillwright-drivetest.txt"] = text;
            const DriveOps ops = SimulatedDriveOps(&drive);
            const DriveReport report =
                fill ? RunDriveFill(ops, SmallPace(), DriveEvents()) : RunDriveVerify(ops, SmallPace(), DriveEvents());
            EXPECT_EQ(report.result, DriveResult::failed);
            const std::string problem = ProblemText(report.problem);
            EXPECT_EQ(problem.find("sim/fillwright-drivetest.txt: line "), 0u) << problem;
            EXPECT_EQ(report.bytesWritten, 0u);
            EXPECT_EQ(report.bytesRead, 0u);
            EXPECT_EQ(drive.written, 0u);
            EXPECT_EQ(drive.texts["sim/fillwright-drivetest.txt"], text);
        }
    }
}

}  // namespace
