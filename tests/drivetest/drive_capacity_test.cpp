// The real capacity from where the set lies on the drive: simulated file
// systems that place files at chosen drive offsets, on drives that drop or
// fold past their real size, and maps that are missing or not the drive's.
#include "drive_report.h"
#include "drive_test.h"
#include "simulated_drive.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <vector>

namespace {

const uint64_t MiB = uint64_t(1) << 20;
const uint64_t B = kDriveBlockBytes;

DriveTestOptions SmallPace() {
    DriveTestOptions options;
    options.folder = "sim";
    options.fileSize = 8 * MiB;
    options.requestBytes = 256 * 1024;
    options.sampleEvery = MiB;
    options.sampleDistance = 4 * MiB;
    options.speedSampleEvery = 4 * MiB;
    return options;
}

// Pieces of the file system's space in MiB, in the order it fills them.
std::vector<SimPiece> Order(const std::vector<std::pair<uint64_t, uint64_t>>& mib) {
    std::vector<SimPiece> pieces;
    for (const auto& piece : mib) pieces.push_back(SimPiece{piece.first * MiB / B, piece.second * MiB / B});
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
};

TEST(DriveCapacity, EachDriveGetsItsRealSizeOrNone) {
    // Every drive claims 40 MiB; the fakes hold their first 16.
    const std::vector<CapacityCase> cases = {
        {"honest", SimLie::none, 0, {}, SimMap::drive, true, CapacityShape::holdsAll, 40 * MiB, 0, ""},
        {"dropping", SimLie::drop, 0, {}, SimMap::drive, true, CapacityShape::drops, 16 * MiB, 16 * MiB, ""},
        {"dropping, on a partition from 1 MiB", SimLie::drop, MiB, {}, SimMap::drive, true, CapacityShape::drops, 16 * MiB, 16 * MiB, ""},
        // Files from 12 MiB on went past the real end first: the fill stopped
        // before anything between 12 and 20 MiB was written.
        {"dropping, out of order", SimLie::drop, 0, {{0, 12}, {20, 40}, {12, 20}}, SimMap::drive, true, CapacityShape::drops,
         12 * MiB, 20 * MiB, ""},
        {"dropping, out of order, written to the end", SimLie::drop, 0, {{0, 12}, {20, 40}, {12, 20}}, SimMap::drive, false,
         CapacityShape::drops, 16 * MiB, 16 * MiB, ""},
        {"dropping, the set begins past the real end", SimLie::drop, 0, {{20, 40}, {0, 20}}, SimMap::drive, true,
         CapacityShape::drops, 0, 20 * MiB, ""},
        {"folding", SimLie::wrap, 0, {}, SimMap::drive, true, CapacityShape::folds, 16 * MiB, 16 * MiB, ""},
        {"folding, on a partition from 1 MiB", SimLie::wrap, MiB, {}, SimMap::drive, true, CapacityShape::folds, 16 * MiB, 16 * MiB, ""},
        {"folding, in pieces out of order", SimLie::wrap, 0, {{8, 40}, {0, 8}}, SimMap::drive, true, CapacityShape::folds,
         16 * MiB, 16 * MiB, ""},
        {"folding, written to the end", SimLie::wrap, 0, {}, SimMap::drive, false, CapacityShape::folds, 16 * MiB, 16 * MiB, ""},
        {"no map", SimLie::drop, 0, {}, SimMap::missing, true, CapacityShape::unknown, 0, 0, "no extent map"},
        {"the file system's own addresses", SimLie::wrap, 0, {}, SimMap::foreign, true, CapacityShape::unknown, 0, 0,
         "the file system's addresses are its own"},
        {"a map with gaps, on a fake", SimLie::drop, 0, {{0, 12}, {20, 40}, {12, 20}}, SimMap::gappy, true, CapacityShape::unknown, 0, 0,
         "part of the test set has no known place on the drive"},
    };
    for (const CapacityCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimDrive drive;
        drive.shape.claimedBytes = 40 * MiB;
        drive.shape.lie = c.lie;
        drive.shape.realBytes = c.lie == SimLie::none ? 40 * MiB : 16 * MiB;
        drive.shape.partitionStart = c.partitionStart;
        drive.shape.allocationOrder = Order(c.order);
        drive.shape.map = c.map;
        DriveTestOptions options = SmallPace();
        options.stopEarly = c.stopEarly;
        const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
        EXPECT_EQ(report.result, c.lie == SimLie::none ? DriveResult::ok : DriveResult::lost);
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

TEST(DriveCapacity, ScatteredLossesGiveNoFigure) {
    SimDrive drive;
    drive.shape.claimedBytes = 40 * MiB;
    drive.shape.realBytes = 40 * MiB;
    drive.shape.flippedBits = {8 * (5 * MiB + 20580), 8 * (20 * MiB + 36864) + 7};
    const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), SmallPace(), DriveEvents());
    EXPECT_EQ(report.result, DriveResult::lost);
    EXPECT_EQ(report.capacity.shape, CapacityShape::unknown);
    EXPECT_EQ(report.capacity.unknownBecause.find("the losses are scattered"), 0u) << report.capacity.unknownBecause;
    EXPECT_NE(DriveReportText(report, "sim", "").find("Real capacity: unknown: the losses are scattered"), std::string::npos);
}

TEST(DriveCapacity, RangesSplitWhereTheirPlaceOnTheDriveJumps) {
    // The set from 12 MiB lies at 30, then 20, then 12 MiB of the drive; the
    // drive holds 16 MiB.
    SimDrive drive;
    drive.shape.claimedBytes = 40 * MiB;
    drive.shape.lie = SimLie::drop;
    drive.shape.realBytes = 16 * MiB;
    drive.shape.allocationOrder = Order({{0, 12}, {30, 40}, {20, 30}, {12, 20}});
    DriveTestOptions options = SmallPace();
    options.stopEarly = false;
    const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
    struct Expected {
        uint64_t offset, length, driveOffset;
    };
    const std::vector<Expected> expected = {{12 * MiB, 10 * MiB, 30 * MiB}, {22 * MiB, 10 * MiB, 20 * MiB}, {36 * MiB, 4 * MiB, 16 * MiB}};
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

// The report's words and JSON for a fake on a partition, and for a fold.
TEST(DriveCapacity, TheReportSaysWhereThePartitionMustEnd) {
    SimDrive drive;
    drive.shape.claimedBytes = 40 * MiB;
    drive.shape.lie = SimLie::drop;
    drive.shape.realBytes = 16 * MiB;
    drive.shape.partitionStart = MiB;
    const DriveReport dropping = RunDriveFill(SimulatedDriveOps(&drive), SmallPace(), DriveEvents());
    const std::string text = DriveReportText(dropping, "sim", "");
    EXPECT_NE(text.find("Read back intact: " + std::to_string(dropping.tally.bytesOk) + " bytes, 0.02 GB (0.01 GiB), of the " +
                        std::to_string(dropping.bytesWritten) + " bytes written\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Real capacity: 16777216 bytes (16.8 MB, 16.0 MiB) of the 41943040 bytes (41.9 MB, 40.0 MiB) the drive "
                        "claims; what was put past that was lost.\n"
                        "To use the drive safely, end its partition before byte 16777216 of the drive: this partition begins at "
                        "byte 1048576, so at most 15728640 bytes (15.7 MB, 15.0 MiB) long.\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("; on the drive: bytes 16777216 to "), std::string::npos) << text;
    const nlohmann::json summary = nlohmann::json::parse(DriveSummaryJson(dropping));
    EXPECT_EQ(summary["real_capacity"]["at_least"], 16 * MiB);
    EXPECT_EQ(summary["real_capacity"]["at_most"], 16 * MiB);
    EXPECT_EQ(summary["claimed_capacity"], 40 * MiB);
    EXPECT_TRUE(summary["real_capacity_unknown_because"].is_null());

    SimDrive folding;
    folding.shape = drive.shape;
    folding.shape.lie = SimLie::wrap;
    folding.shape.partitionStart = 0;
    const DriveReport folded = RunDriveFill(SimulatedDriveOps(&folding), SmallPace(), DriveEvents());
    const std::string words = DriveReportText(folded, "sim", "");
    EXPECT_NE(words.find("Real capacity: 16777216 bytes (16.8 MB, 16.0 MiB) of the 41943040 bytes (41.9 MB, 40.0 MiB) the drive "
                         "claims; what was put past that landed on its start again, over earlier data.\n"
                         "To use the drive safely, end its partition before byte 16777216 of the drive.\n"),
              std::string::npos)
        << words;
    EXPECT_NE(words.find(", holding what was written at its byte 16777216 (16.0 MiB further on)"), std::string::npos) << words;
    const nlohmann::json range = nlohmann::json::parse(DriveRangeJson(folded.tally.ranges.at(0)));
    EXPECT_EQ(range["drive_offset"], 0);
    EXPECT_EQ(range["source_drive_offset"], 16 * MiB);

    SimDrive unmapped;
    unmapped.shape = drive.shape;
    unmapped.shape.map = SimMap::foreign;
    const nlohmann::json unknown = nlohmann::json::parse(DriveSummaryJson(RunDriveFill(SimulatedDriveOps(&unmapped), SmallPace(), DriveEvents())));
    EXPECT_TRUE(unknown["real_capacity"].is_null());
    EXPECT_TRUE(unknown["claimed_capacity"].is_null());
    EXPECT_EQ(unknown["real_capacity_unknown_because"], "the file system's addresses are its own");
}

}  // namespace
