// The whole drive test against simulated drives, honest and not: each gives
// its verdict, classes and ranges exactly, and its real capacity from where
// simulated file systems put the set on the drive.
#include "drive_report.h"
#include "drive_test.h"
#include "simulated_drive.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <vector>

namespace {

const uint64_t MiB = uint64_t(1) << 20;

SimDriveShape Drive(SimLie lie, uint64_t real) {
    SimDriveShape shape;
    shape.claimedBytes = 40 * MiB;
    shape.lie = lie;
    shape.realBytes = real;
    return shape;
}

struct Range {
    uint64_t offset, length;
    BlockClass kind;
    uint64_t sourceOrBits;  // overwritten: the source offset; bitsChanged: the bits
};

void ExpectRanges(const DriveReport& report, const std::vector<Range>& expected) {
    ASSERT_EQ(report.tally.ranges.size(), expected.size());
    uint64_t lost = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        const BadRange& got = report.tally.ranges[i];
        EXPECT_EQ(got.offset, expected[i].offset) << i;
        EXPECT_EQ(got.length, expected[i].length) << i;
        EXPECT_STREQ(BlockClassName(got.kind), BlockClassName(expected[i].kind)) << i;
        if (got.kind == BlockClass::overwritten) {
            EXPECT_EQ(got.sourceOffset, expected[i].sourceOrBits) << i;
        }
        if (got.kind == BlockClass::bitsChanged) {
            EXPECT_EQ(got.bitsChanged, expected[i].sourceOrBits) << i;
        }
        lost += expected[i].length;
    }
    EXPECT_EQ(report.tally.bytesLost, lost);
    EXPECT_EQ(report.tally.bytesOk + lost, report.bytesWritten);
    if (!expected.empty()) {
        EXPECT_EQ(report.tally.firstBadOffset.value_or(1), expected[0].offset);
    }
}

struct FillCase {
    const char* name;
    SimDriveShape shape;
    bool stopEarly;
    DriveResult result;
    uint64_t written;
    std::vector<Range> ranges;
};

SimDriveShape With(SimDriveShape shape, const std::function<void(SimDriveShape&)>& change) {
    change(shape);
    return shape;
}

TEST(DriveSim, EachDriveGetsItsVerdict) {
    const SimDriveShape honest = Drive(SimLie::none, 40 * MiB);
    const std::vector<FillCase> cases = {
        {"honest", honest, true, DriveResult::ok, 40 * MiB, {}},
        {"honest, one thread",
         With(honest, [](SimDriveShape& s) { s.threadsFail = true; }),
         true,
         DriveResult::ok,
         40 * MiB,
         {}},
        // Writing 40 MiB folds three times over 16: what is read at L was written at L+16 or L+32.
        {"wrap-around, written to the end",
         Drive(SimLie::wrap, 16 * MiB),
         false,
         DriveResult::lost,
         40 * MiB,
         {{0, 8 * MiB, BlockClass::overwritten, 32 * MiB}, {8 * MiB, 16 * MiB, BlockClass::overwritten, 24 * MiB}}},
        {"wrap-around, one thread",
         With(Drive(SimLie::wrap, 16 * MiB), [](SimDriveShape& s) { s.threadsFail = true; }),
         false,
         DriveResult::lost,
         40 * MiB,
         {{0, 8 * MiB, BlockClass::overwritten, 32 * MiB}, {8 * MiB, 16 * MiB, BlockClass::overwritten, 24 * MiB}}},
        // The first look back after 16 MiB finds block 0 overwritten, at 17 MiB.
        {"wrap-around, stopped early",
         Drive(SimLie::wrap, 16 * MiB),
         true,
         DriveResult::lost,
         17 * MiB,
         {{0, MiB, BlockClass::overwritten, 16 * MiB}}},
        {"dropped writes behind a cache",
         With(Drive(SimLie::drop, 16 * MiB), [](SimDriveShape& s) { s.cacheBytes = 2 * MiB; }),
         false,
         DriveResult::lost,
         40 * MiB,
         {{16 * MiB, 24 * MiB, BlockClass::blank, 0}}},
        // Away from the places the fill looks back at, so that it writes on to the end.
        {"bits flipped",
         With(honest,
              [](SimDriveShape& s) {
                  s.flippedBits = {8 * (5 * MiB + 20580), 8 * (5 * MiB + 24000) + 3, 8 * (20 * MiB + 36864) + 7};
              }),
         true,
         DriveResult::lost,
         40 * MiB,
         {{5 * MiB + 20480, 4096, BlockClass::bitsChanged, 2}, {20 * MiB + 36864, 4096, BlockClass::bitsChanged, 1}}},
        {"read errors",
         With(honest,
              [](SimDriveShape& s) {
                  s.unreadable = {{10 * MiB + 28672, 10 * MiB + 61440, 0}};
              }),
         true,
         DriveResult::lost,
         40 * MiB,
         {{10 * MiB + 28672, 32768, BlockClass::unreadable, 0}}},
        // Full before its claimed size: filled to the last block, in smaller and smaller writes.
        {"full early",
         With(honest, [](SimDriveShape& s) { s.fullAt = 30 * MiB + 12288; }),
         true,
         DriveResult::ok,
         30 * MiB + 12288,
         {}},
        {"read-only after 20 MiB",
         With(honest, [](SimDriveShape& s) { s.readOnlyAfter = 20 * MiB; }),
         true,
         DriveResult::failed,
         20 * MiB,
         {}},
    };
    for (const FillCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimDrive drive;
        drive.shape = c.shape;
        DriveTestOptions options = SmallPace();
        options.stopEarly = c.stopEarly;
        const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
        EXPECT_STREQ(DriveResultName(report.result), DriveResultName(c.result)) << ProblemText(report.problem);
        EXPECT_EQ(report.bytesWritten, c.written);
        EXPECT_TRUE(report.verified);
        EXPECT_EQ(report.lossSeenAt.has_value(),
                  c.shape.lie != SimLie::none);  // the looks back saw it, stopping or not
        if (c.shape.lie == SimLie::wrap) {
            EXPECT_EQ(report.lossSeenWhenWritten.value_or(0), 17 * MiB);  // the first look past the fold
        }
        EXPECT_EQ(report.files, (c.written + 8 * MiB - 1) / (8 * MiB));
        ExpectRanges(report, c.ranges);
        for (const BadRange& range : report.tally.ranges) {
            if (range.kind == BlockClass::unreadable) {
                EXPECT_EQ(range.reason, "Input/output error");
            }
        }
        const std::string problem = ProblemText(report.problem);
        EXPECT_EQ(problem.find("Read-only file system") != std::string::npos, c.result == DriveResult::failed)
            << problem;
    }
}

TEST(DriveSim, LooksBackPastTheDrivesCache) {
    // Writes past 16 MiB vanish, but the drive's 2 MiB cache answers for the
    // latest ones: only a look far enough back sees the loss.
    SimDrive drive;
    drive.shape = With(Drive(SimLie::drop, 16 * MiB), [](SimDriveShape& s) { s.cacheBytes = 2 * MiB; });
    const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), SmallPace(), DriveEvents());
    EXPECT_EQ(report.result, DriveResult::lost);
    ASSERT_TRUE(report.lossSeenAt.has_value());
    EXPECT_GE(*report.lossSeenAt, 16 * MiB);
    EXPECT_GT(report.bytesWritten, 18 * MiB);  // what the cache still held looked fine
    EXPECT_LE(report.bytesWritten, 21 * MiB);  // 4 MiB back is past it
    ExpectRanges(report, {{16 * MiB, report.bytesWritten - 16 * MiB, BlockClass::blank, 0}});
}

TEST(DriveSim, SpeedPerSampleShowsASlowRegion) {
    SimDrive drive;
    drive.shape = Drive(SimLie::none, 40 * MiB);
    drive.shape.slow = {{8 * MiB, 12 * MiB, 10e6}};
    DriveTestOptions options = SmallPace();
    options.sampleEvery = 64 * MiB;  // no looks back: only the writes are timed
    const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
    EXPECT_EQ(report.result, DriveResult::ok);
    std::vector<double> writing, reading;
    for (const SpeedSample& s : report.speeds) {
        (s.phase == DrivePhase::writing ? writing : reading).push_back(static_cast<double>(s.bytes) / s.seconds);
        EXPECT_EQ(s.bytes, 4 * MiB);
    }
    ASSERT_EQ(writing.size(), 10u);
    ASSERT_EQ(reading.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        const double expected = i == 2 ? 10e6 : 100e6;
        EXPECT_NEAR(writing[i], expected, expected * 1e-9) << i;
        EXPECT_NEAR(reading[i], expected, expected * 1e-9) << i;
    }
}

TEST(DriveSim, AnInterruptedFillResumesWhereItStopped) {
    // Stopped inside the second file, and where the first file ends.
    for (int stopAfter : {50, 32}) {
        SCOPED_TRACE(stopAfter);
        SimDrive drive;
        drive.shape = Drive(SimLie::none, 40 * MiB);
        const DriveOps ops = SimulatedDriveOps(&drive);
        DriveEvents events;
        int requests = 0;
        events.interrupted = [&] { return ++requests > stopAfter; };  // requests of 256 KiB
        const DriveReport first = RunDriveFill(ops, SmallPace(), events);
        EXPECT_EQ(first.result, DriveResult::interrupted);
        EXPECT_EQ(first.bytesWritten, stopAfter * 256 * 1024u);
        EXPECT_FALSE(first.verified);

        const DriveReport verified = RunDriveVerify(ops, SmallPace(), DriveEvents());
        EXPECT_EQ(verified.result, DriveResult::ok);
        EXPECT_EQ(verified.tally.bytesOk, first.bytesWritten);

        const DriveReport second = RunDriveFill(ops, SmallPace(), DriveEvents());
        EXPECT_EQ(second.resumedAt.value_or(0), first.bytesWritten);
        EXPECT_EQ(second.result, DriveResult::ok) << ProblemText(second.problem);
        EXPECT_EQ(second.bytesWritten, 40 * MiB);
        EXPECT_EQ(second.bytesWrittenNow, 40 * MiB - first.bytesWritten);
        EXPECT_EQ(second.tally.bytesOk, 40 * MiB);
    }
}

TEST(DriveSim, AFinishedSetIsReplacedAndOnlyItsFilesAreTouched) {
    SimDrive drive;
    drive.shape = Drive(SimLie::none, 40 * MiB);
    const DriveOps ops = SimulatedDriveOps(&drive);
    drive.texts["sim/notes.txt"] = "mine";
    DriveTestOptions options = SmallPace();
    options.total = 24 * MiB;
    const DriveReport first = RunDriveFill(ops, options, DriveEvents());
    ASSERT_EQ(first.result, DriveResult::ok);
    EXPECT_EQ(drive.files.size(), 3u);

    // The drive now drops writes past 16 MiB: there the first set's blocks
    // stay, and past them the never-written flash reads as zeros.
    drive.shape.lie = SimLie::drop;
    drive.shape.realBytes = 16 * MiB;
    const DriveReport second = RunDriveFill(ops, SmallPace(), DriveEvents());
    EXPECT_TRUE(second.replacedFinishedSet);
    EXPECT_EQ(second.result, DriveResult::lost);
    EXPECT_EQ(drive.texts["sim/notes.txt"], "mine");
    EXPECT_EQ(drive.files.size(), 3u);  // the second set's files, where the first set's were
}

TEST(DriveSim, ReadBackOfAFakeAfterTheFact) {
    // --verify later: the fill was not told of the loss (no read-back, no
    // looks back), then a file went missing as well.
    SimDrive drive;
    drive.shape = Drive(SimLie::drop, 16 * MiB);
    const DriveOps ops = SimulatedDriveOps(&drive);
    DriveTestOptions options = SmallPace();
    options.verify = false;
    options.stopEarly = false;
    options.total = 24 * MiB;
    const DriveReport fill = RunDriveFill(ops, options, DriveEvents());
    EXPECT_EQ(fill.result, DriveResult::lost);  // the looks back saw it, though the fill went on
    EXPECT_FALSE(fill.verified);
    drive.files.erase("sim/fillwright-drivetest-00001.bin");
    const DriveReport report = RunDriveVerify(ops, SmallPace(), DriveEvents());
    EXPECT_EQ(report.result, DriveResult::lost);
    ExpectRanges(report, {{0, 8 * MiB, BlockClass::unreadable, 0}, {16 * MiB, 8 * MiB, BlockClass::blank, 0}});
    EXPECT_EQ(report.tally.ranges[0].reason, "No such file or directory");
}

TEST(DriveSim, ClassifiesTheEarlierRunsData) {
    SimDrive drive;
    drive.shape = Drive(SimLie::none, 40 * MiB);
    const DriveOps ops = SimulatedDriveOps(&drive);
    DriveTestOptions options = SmallPace();
    options.total = 24 * MiB;
    ASSERT_EQ(RunDriveFill(ops, options, DriveEvents()).result, DriveResult::ok);
    drive.shape.lie = SimLie::drop;
    drive.shape.realBytes = 16 * MiB;
    options.stopEarly = false;
    const DriveReport report = RunDriveFill(ops, options, DriveEvents());
    ExpectRanges(report, {{16 * MiB, 8 * MiB, BlockClass::earlierRun, 0}});
}

struct RefusalCase {
    const char* name;
    std::function<void(SimDrive&)> prepare;
    const char* folder;
    const char* problem;
};

TEST(DriveSim, RefusesFoldersItMustNotTouch) {
    const std::vector<RefusalCase> cases = {
        {"missing folder", [](SimDrive&) {}, "elsewhere", "elsewhere: No such file or directory"},
        {"a numbered file without a description",
         [](SimDrive& d) { d.files["sim/fillwright-drivetest-00001.bin"] = SimFile(); }, "sim",
         "sim holds fillwright-drivetest-00001.bin but no fillwright-drivetest.txt"},
        {"a description it cannot read", [](SimDrive& d) { d.texts["sim/fillwright-drivetest.txt"] = "hello"; }, "sim",
         "sim/fillwright-drivetest.txt is not a test set's description"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimDrive drive;
        drive.shape = Drive(SimLie::none, 40 * MiB);
        c.prepare(drive);
        const size_t files = drive.files.size(), texts = drive.texts.size();
        DriveTestOptions options = SmallPace();
        options.folder = c.folder;
        const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
        EXPECT_EQ(report.result, DriveResult::failed);
        EXPECT_EQ(ProblemText(report.problem).find(c.problem), 0u) << ProblemText(report.problem);
        EXPECT_EQ(drive.files.size(), files);
        EXPECT_EQ(drive.texts.size(), texts);
        EXPECT_EQ(drive.written, 0u);
    }
}

// Pieces of the file system's space in MiB, in the order it fills them.
std::vector<SimPiece> Pieces(const std::vector<std::pair<uint64_t, uint64_t>>& mib) {
    std::vector<SimPiece> pieces;
    for (const auto& piece : mib)
        pieces.push_back(SimPiece{piece.first * MiB / kDriveBlockBytes, piece.second * MiB / kDriveBlockBytes});
    return pieces;
}

struct CapacityCase {
    const char* name;
    SimLie lie;
    uint64_t partitionStart;
    std::vector<std::pair<uint64_t, uint64_t>> order;  // MiB of the file system's space
    SimMap map;
    bool stopEarly;
    CapacityShape shape;
    uint64_t atLeast, atMost;  // 0 for none
    const char* unknownBecause;
    std::vector<uint64_t> flippedBits = {};
};

TEST(DriveCapacity, EachDriveGetsItsRealSizeOrNone) {
    // Every drive claims 40 MiB; the fakes hold their first 16.
    const std::vector<CapacityCase> cases = {
        {"honest", SimLie::none, 0, {}, SimMap::drive, true, CapacityShape::holdsAll, 40 * MiB, 0, ""},
        {"dropping", SimLie::drop, 0, {}, SimMap::drive, true, CapacityShape::drops, 16 * MiB, 16 * MiB, ""},
        {"dropping, on a partition from 1 MiB",
         SimLie::drop,
         MiB,
         {},
         SimMap::drive,
         true,
         CapacityShape::drops,
         16 * MiB,
         16 * MiB,
         ""},
        // Files from 12 MiB on went past the real end first: the fill stopped
        // before anything between 12 and 20 MiB was written.
        {"dropping, out of order",
         SimLie::drop,
         0,
         {{0, 12}, {20, 40}, {12, 20}},
         SimMap::drive,
         true,
         CapacityShape::drops,
         12 * MiB,
         20 * MiB,
         ""},
        {"dropping, out of order, written to the end",
         SimLie::drop,
         0,
         {{0, 12}, {20, 40}, {12, 20}},
         SimMap::drive,
         false,
         CapacityShape::drops,
         16 * MiB,
         16 * MiB,
         ""},
        {"dropping, the set begins past the real end",
         SimLie::drop,
         0,
         {{20, 40}, {0, 20}},
         SimMap::drive,
         true,
         CapacityShape::drops,
         0,
         20 * MiB,
         ""},
        {"folding", SimLie::wrap, 0, {}, SimMap::drive, true, CapacityShape::folds, 16 * MiB, 16 * MiB, ""},
        {"folding, on a partition from 1 MiB",
         SimLie::wrap,
         MiB,
         {},
         SimMap::drive,
         true,
         CapacityShape::folds,
         16 * MiB,
         16 * MiB,
         ""},
        {"folding, in pieces out of order",
         SimLie::wrap,
         0,
         {{8, 40}, {0, 8}},
         SimMap::drive,
         true,
         CapacityShape::folds,
         16 * MiB,
         16 * MiB,
         ""},
        {"folding, written to the end",
         SimLie::wrap,
         0,
         {},
         SimMap::drive,
         false,
         CapacityShape::folds,
         16 * MiB,
         16 * MiB,
         ""},
        {"no map", SimLie::drop, 0, {}, SimMap::missing, true, CapacityShape::unknown, 0, 0, "no extent map"},
        {"the file system's own addresses",
         SimLie::wrap,
         0,
         {},
         SimMap::foreign,
         true,
         CapacityShape::unknown,
         0,
         0,
         "the file system's addresses are its own"},
        {"a map with gaps, on a fake",
         SimLie::drop,
         0,
         {{0, 12}, {20, 40}, {12, 20}},
         SimMap::gappy,
         true,
         CapacityShape::unknown,
         0,
         0,
         "part of the test set has no known place on the drive"},
        // A failing drive, not a smaller one.
        {"bits flipped",
         SimLie::none,
         0,
         {},
         SimMap::drive,
         true,
         CapacityShape::unknown,
         0,
         0,
         "the losses are scattered",
         {8 * (5 * MiB + 20580), 8 * (20 * MiB + 36864) + 7}},
    };
    for (const CapacityCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimDrive drive;
        drive.shape = Drive(c.lie, c.lie == SimLie::none ? 40 * MiB : 16 * MiB);
        drive.shape.partitionStart = c.partitionStart;
        drive.shape.allocationOrder = Pieces(c.order);
        drive.shape.map = c.map;
        drive.shape.flippedBits = c.flippedBits;
        DriveTestOptions options = SmallPace();
        options.stopEarly = c.stopEarly;
        const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
        EXPECT_EQ(report.result, c.lie == SimLie::none && c.flippedBits.empty() ? DriveResult::ok : DriveResult::lost);
        if (c.stopEarly && c.lie != SimLie::none) {
            EXPECT_LT(report.bytesWritten, 24 * MiB);  // the early verdict stays
        }
        const RealCapacity& got = report.capacity;
        EXPECT_EQ(static_cast<int>(got.shape), static_cast<int>(c.shape));
        EXPECT_EQ(got.unknownBecause.find(c.unknownBecause), 0u) << got.unknownBecause;
        if (c.shape == CapacityShape::unknown) {
            EXPECT_FALSE(got.atLeast);
            continue;
        }
        EXPECT_EQ(got.atLeast.value_or(1), c.atLeast);
        EXPECT_EQ(got.atMost.value_or(0), c.atMost);
        EXPECT_EQ(got.claimed.value_or(0), 40 * MiB);
        EXPECT_EQ(got.partitionStart.value_or(1), c.partitionStart);
    }
}

TEST(DriveCapacity, RangesSplitWhereTheirPlaceOnTheDriveJumps) {
    // The set from 12 MiB lies at 30, then 20, then 12 MiB of the drive; the
    // drive holds 16 MiB.
    SimDrive drive;
    drive.shape = Drive(SimLie::drop, 16 * MiB);
    drive.shape.allocationOrder = Pieces({{0, 12}, {30, 40}, {20, 30}, {12, 20}});
    DriveTestOptions options = SmallPace();
    options.stopEarly = false;
    const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
    struct Expected {
        uint64_t offset, length, driveOffset;
    };
    const std::vector<Expected> expected = {
        {12 * MiB, 10 * MiB, 30 * MiB}, {22 * MiB, 10 * MiB, 20 * MiB}, {36 * MiB, 4 * MiB, 16 * MiB}};
    ASSERT_EQ(report.tally.ranges.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(report.tally.ranges[i].offset, expected[i].offset) << i;
        EXPECT_EQ(report.tally.ranges[i].length, expected[i].length) << i;
        EXPECT_EQ(report.tally.ranges[i].driveOffset.value_or(0), expected[i].driveOffset) << i;
    }
    EXPECT_EQ(report.capacity.atLeast.value_or(0), 16 * MiB);
    EXPECT_EQ(report.capacity.atMost.value_or(0), 16 * MiB);
    const nlohmann::json range = nlohmann::json::parse(DriveRangeJson(report.tally.ranges[1]));
    EXPECT_EQ(range["drive_offset"], 20 * MiB);
}

struct WordsCase {
    const char* name;
    SimLie lie;
    uint64_t partitionStart;
    SimMap map;
    std::vector<std::string> lines;  // each found in the text
    std::string summary;             // real_capacity, claimed_capacity, real_capacity_unknown_because
    std::string firstRange;          // drive_offset, source_drive_offset
};

// The report's words and JSON for a fake on a partition, a fold, and no map.
TEST(DriveCapacity, TheReportSaysWhereThePartitionMustEnd) {
    const std::string figure =
        "Real capacity: 16777216 bytes (16.8 MB, 16.0 MiB) of the 41943040 bytes (41.9 MB, 40.0 MiB) the drive "
        "claims; ";
    const std::vector<WordsCase> cases = {
        {"dropping, on a partition",
         SimLie::drop,
         MiB,
         SimMap::drive,
         {"Read back intact: 15728640 bytes, 0.02 GB (0.01 GiB), of the 18874368 bytes written\n",
          figure +
              "what was put past that was lost.\nTo use the drive safely, end its partition before byte 16777216 of "
              "the "
              "drive: this partition begins at byte 1048576, so at most 15728640 bytes (15.7 MB, 15.0 MiB) long.\n",
          ": all zeros or all 0xFF (writes that never arrived); on the drive: bytes 16777216 to 19922943\n"},
         R"({"at_least":16777216,"at_most":16777216} 41943040 null)",
         "16777216 null"},
        {"folding",
         SimLie::wrap,
         0,
         SimMap::drive,
         {figure + "what was put past that landed on its start again, over earlier data.\n"
                   "To use the drive safely, end its partition before byte 16777216 of the drive.\n",
          "; on the drive: bytes 0 to 1048575, holding what was written at its byte 16777216 (16.0 MiB further on)\n"},
         R"({"at_least":16777216,"at_most":16777216} 41943040 null)",
         "0 16777216"},
        {"no map",
         SimLie::drop,
         MiB,
         SimMap::foreign,
         {"Real capacity: unknown: the file system's addresses are its own\n"},
         R"(null null "the file system's addresses are its own")",
         "null null"},
        {"no map, on a drive that is known",
         SimLie::drop,
         MiB,
         SimMap::missing,
         {"Real capacity: unknown: no extent map\n"},
         R"(null 41943040 "no extent map")",
         "null null"},
    };
    for (const WordsCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimDrive drive;
        drive.shape = Drive(c.lie, 16 * MiB);
        drive.shape.partitionStart = c.partitionStart;
        drive.shape.map = c.map;
        const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), SmallPace(), DriveEvents());
        const std::string text = DriveReportText(report, "sim", "");
        for (const std::string& line : c.lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
        const nlohmann::json summary = nlohmann::json::parse(DriveSummaryJson(report));
        EXPECT_EQ(summary["real_capacity"].dump() + " " + summary["claimed_capacity"].dump() + " " +
                      summary["real_capacity_unknown_because"].dump(),
                  c.summary);
        const nlohmann::json range = nlohmann::json::parse(DriveRangeJson(report.tally.ranges.at(0)));
        EXPECT_EQ(range["drive_offset"].dump() + " " + range.value("source_drive_offset", nlohmann::json()).dump(),
                  c.firstRange);
    }
}

}  // namespace

namespace {

CacheCheck Caches(ReadBack readBack, const char* reason = "", CacheRemedy remedy = CacheRemedy::replug) {
    CacheCheck check;
    check.readBack = readBack;
    check.reason = reason;
    check.remedy = remedy;
    return check;
}

DriveAttachment Attachment(std::optional<uint64_t> diskseq, const char* bootId, bool replugEmpties = true) {
    DriveAttachment identity;
    identity.diskseq = diskseq;
    identity.bootId = bootId;
    identity.replugEmptiesCaches = replugEmpties;
    identity.rebootEmptiesCaches = true;
    return identity;
}

struct ReadBackCase {
    const char* name;
    CacheCheck caches;  // during the fill and the verify
    SimLie lie;         // drop past 16 MiB, or none
    DriveAttachment atFill, atVerify;
    bool oldDescription;  // the set's description without the drive's identity
    DriveResult fillResult;
    DriveResult verifyResult;
    ReadBack verifyReadBack;
};

TEST(DriveSim, EachReadBackGetsItsVerdict) {
    const CacheCheck dropped = Caches(ReadBack::cacheDropped);
    const CacheCheck noRights = Caches(ReadBack::mayBeCached, "cannot open /dev/loop0", CacheRemedy::rights);
    const DriveAttachment first = Attachment(7, "boot-a"), replugged = Attachment(9, "boot-a"),
                          rebooted = Attachment(7, "boot-b");
    const ReadBackCase cases[] = {
        {"caches emptied and seen empty", dropped, SimLie::none, first, first, false, DriveResult::ok, DriveResult::ok,
         ReadBack::cacheDropped},
        {"a cache out of reach", noRights, SimLie::none, first, first, false, DriveResult::unproven,
         DriveResult::unproven, ReadBack::mayBeCached},
        {"out of reach, yet a loss is a loss", noRights, SimLie::drop, first, first, false, DriveResult::lost,
         DriveResult::lost, ReadBack::mayBeCached},
        {"re-plugged since the fill", noRights, SimLie::none, first, replugged, false, DriveResult::unproven,
         DriveResult::ok, ReadBack::replugged},
        {"booted again since the fill", noRights, SimLie::none, first, rebooted, false, DriveResult::unproven,
         DriveResult::ok, ReadBack::replugged},
        {"re-plugged, the loss proven", noRights, SimLie::drop, first, replugged, false, DriveResult::lost,
         DriveResult::lost, ReadBack::replugged},
        {"a re-plug keeps a cache below the drive", noRights, SimLie::none, first, Attachment(9, "boot-a", false),
         false, DriveResult::unproven, DriveResult::unproven, ReadBack::mayBeCached},
        {"a reader that sees no diskseq", noRights, SimLie::none, first, Attachment(std::nullopt, ""), false,
         DriveResult::unproven, DriveResult::unproven, ReadBack::mayBeCached},
        {"an old description still verifies, unproven", noRights, SimLie::none, first, replugged, true,
         DriveResult::unproven, DriveResult::unproven, ReadBack::mayBeCached},
        {"a re-plug does not lessen a proven read-back", dropped, SimLie::none, first, replugged, false,
         DriveResult::ok, DriveResult::ok, ReadBack::cacheDropped},
    };
    for (const ReadBackCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimDrive drive;
        drive.shape = Drive(c.lie, c.lie == SimLie::none ? 40 * MiB : 16 * MiB);
        drive.shape.caches = c.caches;
        drive.shape.attachment = c.atFill;
        const DriveOps ops = SimulatedDriveOps(&drive);
        DriveTestOptions options = SmallPace();
        options.total = 24 * MiB;
        const DriveReport fill = RunDriveFill(ops, options, DriveEvents());
        EXPECT_STREQ(DriveResultName(fill.result), DriveResultName(c.fillResult));
        const std::string description = drive.texts["sim/fillwright-drivetest.txt"];
        EXPECT_NE(description.find("diskseq 7\nboot_id boot-a\n"), std::string::npos) << description;
        if (c.oldDescription) {
            drive.texts["sim/fillwright-drivetest.txt"] = description.substr(0, description.find("diskseq"));
        }
        drive.shape.attachment = c.atVerify;
        const DriveReport verify = RunDriveVerify(ops, SmallPace(), DriveEvents());
        EXPECT_STREQ(DriveResultName(verify.result), DriveResultName(c.verifyResult));
        EXPECT_STREQ(ReadBackName(verify.readBack), ReadBackName(c.verifyReadBack));
        if (verify.readBack == ReadBack::mayBeCached) {
            EXPECT_EQ(verify.readBackReason, c.caches.reason);
        }
        EXPECT_EQ(verify.tally.bytesOk + verify.tally.bytesLost, fill.bytesWritten);
    }
}

TEST(DriveSim, CachesAreEmptiedBeforeEveryLookBackAndTheReadBack) {
    SimDrive drive;
    drive.shape = Drive(SimLie::none, 40 * MiB);
    const DriveOps ops = SimulatedDriveOps(&drive);
    DriveTestOptions options = SmallPace();
    options.total = 24 * MiB;  // a look back at each MiB written, then the read-back
    RunDriveFill(ops, options, DriveEvents());
    EXPECT_EQ(drive.cacheDrops, 24 + 1);
}

}  // namespace
