// The drive test's page from simulated drives: the map's cells by class, the
// finer speed series, what the page embeds and escapes, and where it may go.
#include "drive_page.h"
#include "drive_block.h"
#include "drive_cells.h"
#include "drive_page_file.h"
#include "drive_report.h"
#include "drive_test.h"
#include "simulated_drive.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

const uint64_t MiB = uint64_t(1) << 20;

DriveTestOptions Pace() {
    DriveTestOptions options;
    options.folder = "sim";
    options.fileSize = 8 * MiB;
    options.requestBytes = 256 * 1024;
    options.sampleEvery = 64 * MiB;  // no looks back
    options.speedSampleEvery = 4 * MiB;
    options.positionSampleEvery = MiB;
    options.stopEarly = false;
    return options;
}

SimDriveShape Honest() {
    SimDriveShape shape;
    shape.claimedBytes = 40 * MiB;
    shape.realBytes = 40 * MiB;
    return shape;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Device blocks from..to (in MiB) of the drive's flash, each changed by change(setOffset, block).
void Damage(SimDrive& drive, uint64_t from, uint64_t to,
            const std::function<void(uint64_t, std::vector<unsigned char>&)>& change) {
    for (uint64_t offset = from * MiB; offset < to * MiB; offset += kDriveBlockBytes)
        change(offset, drive.flash[offset / kDriveBlockBytes]);
}

struct DamageCase {
    uint64_t fromMiB;
    MapMark mark;
};

TEST(DrivePage, EachCellShowsTheWorstClassInIt) {
    // The set lies on the device in order: set offset = device offset. One
    // MiB of each class, the read-back stopped at 30 MiB.
    SimDrive drive;
    drive.shape = Honest();
    const DriveOps ops = SimulatedDriveOps(&drive);
    DriveTestOptions options = Pace();
    options.verify = false;
    ASSERT_EQ(RunDriveFill(ops, options, DriveEvents()).result, DriveResult::ok);
    drive.shape.unreadable = {{1 * MiB, 2 * MiB, 0}};
    Damage(drive, 3, 4, [&](uint64_t offset, std::vector<unsigned char>& block) {
        block = drive.flash[(offset + 17 * MiB) / kDriveBlockBytes];
    });
    Damage(drive, 5, 6, [](uint64_t offset, std::vector<unsigned char>& block) {
        MakeBlock(DriveRun{12345}, 1, offset, block.data());
    });
    Damage(drive, 7, 8, [](uint64_t, std::vector<unsigned char>& block) { block.assign(kDriveBlockBytes, 0); });
    Damage(drive, 9, 10, [](uint64_t, std::vector<unsigned char>& block) { block.assign(kDriveBlockBytes, 0x5A); });
    Damage(drive, 11, 12, [](uint64_t, std::vector<unsigned char>& block) { block[100] ^= 4; });
    DriveEvents events;
    int requests = 0;
    events.interrupted = [&] { return ++requests > 120; };  // 30 MiB of 256 KiB requests
    const DriveReport report = RunDriveVerify(ops, options, events);
    ASSERT_EQ(report.bytesRead, 30 * MiB);

    const DriveMap map = MapOfDrive(report, 500);
    EXPECT_EQ(map.cellBytes, 21 * kDriveBlockBytes);
    ASSERT_EQ(map.cells.size(), 488u);
    const std::vector<DamageCase> cases = {
        {0, MapMark::intact},       {1, MapMark::unreadable}, {3, MapMark::overwritten},
        {5, MapMark::earlierRun},   {7, MapMark::blank},      {9, MapMark::corrupt},
        {11, MapMark::bitsChanged}, {20, MapMark::intact},    {35, MapMark::untested}};
    for (const DamageCase& c : cases) {
        const size_t middle = static_cast<size_t>((c.fromMiB * MiB + MiB / 2) / map.cellBytes);
        EXPECT_STREQ(MapMarkName(map.cells[middle]), MapMarkName(c.mark)) << c.fromMiB << " MiB";
    }
    // A cell that holds the end of the unreadable MiB and intact data after it is unreadable.
    EXPECT_EQ(map.cells[static_cast<size_t>((2 * MiB - 1) / map.cellBytes)], MapMark::unreadable);
    EXPECT_EQ(map.cells[static_cast<size_t>((30 * MiB - 1) / map.cellBytes)], MapMark::intact);

    const std::string page = DrivePageHtml(report);
    for (const DamageCase& c : cases) {
        EXPECT_GT(Count(page, std::string("data-class=\"") + MapMarkName(c.mark) + "\""), 0u) << MapMarkName(c.mark);
    }
    EXPECT_EQ(Count(page, "class=\"cell "),
              map.cells.size() + kMapMarkCount - 1);  // and the legend's swatches, unlisted not among them
}

struct PlaceCase {
    const char* name;
    SimMap map;
    uint64_t partitionStart;
    bool driveOffsets;
    uint64_t blankAt;   // where the blank MiB is drawn, in the map's offsets
    uint64_t intactAt;  // and a MiB that reads back intact
};

TEST(DrivePage, TheMapIsOfTheDriveWhereTheSetsPlacesAreKnown) {
    // The file system fills the second half of its space first: the set's
    // first 20 MiB lie on its last 20. The drive blanks its MiB 5 to 6 of
    // the file system, which holds the set's MiB 25 to 26.
    const std::vector<PlaceCase> cases = {
        {"extent map", SimMap::drive, 0, true, 5 * MiB, 25 * MiB},
        {"extent map, on a partition from 1 MiB", SimMap::drive, MiB, true, 5 * MiB, 25 * MiB},
        {"addresses of the file system's own", SimMap::foreign, 0, false, 25 * MiB, 5 * MiB},
        {"some extents of unknown place", SimMap::gappy, 0, false, 25 * MiB, 5 * MiB},
    };
    for (const PlaceCase& c : cases) {
        SimDrive drive;
        drive.shape = Honest();
        drive.shape.claimedBytes += c.partitionStart;
        drive.shape.partitionStart = c.partitionStart;
        drive.shape.map = c.map;
        const uint64_t half = 20 * MiB / kDriveBlockBytes, end = 40 * MiB / kDriveBlockBytes;
        drive.shape.allocationOrder = {SimPiece{half, end}, SimPiece{0, half}};
        const DriveOps ops = SimulatedDriveOps(&drive);
        DriveTestOptions options = Pace();
        options.verify = false;
        ASSERT_EQ(RunDriveFill(ops, options, DriveEvents()).result, DriveResult::ok) << c.name;
        const uint64_t from = (c.partitionStart + 5 * MiB) / MiB;
        Damage(drive, from, from + 1,
               [](uint64_t, std::vector<unsigned char>& block) { block.assign(kDriveBlockBytes, 0); });
        const DriveReport report = RunDriveVerify(ops, options, DriveEvents());
        ASSERT_EQ(report.result, DriveResult::lost) << c.name;

        const DriveMap map = MapOfDrive(report, 500);
        EXPECT_EQ(map.driveOffsets, c.driveOffsets) << c.name;
        const uint64_t origin = c.driveOffsets ? c.partitionStart : 0;
        EXPECT_LE(map.start, origin + 4 * kDriveBlockBytes) << c.name << ": the set begins near the space's start";
        ASSERT_GE(map.start + map.bytes, origin + 30 * MiB) << c.name;
        const auto markAt = [&](uint64_t offset) {
            return MapMarkName(map.cells[static_cast<size_t>((origin + offset + MiB / 2 - map.start) / map.cellBytes)]);
        };
        EXPECT_STREQ(markAt(c.blankAt), "blank") << c.name;
        EXPECT_STREQ(markAt(c.intactAt), "intact") << c.name;
        EXPECT_NE(DrivePageHtml(report).find(c.driveOffsets ? "data-offsets=\"drive\"" : "data-offsets=\"set\""),
                  std::string::npos)
            << c.name;
    }
}

TEST(DrivePage, TheFinerSeriesIsKeptWhileEventsKeepTheirPeriod) {
    SimDrive drive;
    drive.shape = Honest();
    drive.shape.slow = {{10 * MiB, 11 * MiB, 10e6}};
    DriveEvents events;
    int told = 0;
    events.speed = [&](const SpeedSample&) { ++told; };
    const DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), Pace(), events);
    EXPECT_EQ(told, 20);  // 4 MiB each, writing and reading
    EXPECT_EQ(report.speeds.size(), 20u);
    ASSERT_EQ(report.positionSpeeds.size(), 80u);
    for (size_t i = 0; i < 80; ++i) {
        const SpeedSample& sample = report.positionSpeeds[i];
        EXPECT_EQ(sample.phase, i < 40 ? DrivePhase::writing : DrivePhase::reading);
        EXPECT_EQ(sample.offset, (i % 40) * MiB);
        EXPECT_EQ(sample.bytes, MiB);
        const double expected = i % 40 == 10 ? 10e6 : 100e6;
        EXPECT_NEAR(static_cast<double>(sample.bytes) / sample.seconds, expected, expected * 1e-9) << i;
    }
}

TEST(DrivePage, EmbedsTheSummaryAndEscapesWhatTheDriveSays) {
    SimDrive drive;
    drive.shape = Honest();
    drive.shape.identity.model = "Stick <b>&amp; \"Co\"";
    drive.shape.identity.vendor = std::string("Bad\xFFUTF-8\x01");
    DriveTestOptions options = Pace();
    options.total = 4 * MiB;
    DriveReport report = RunDriveFill(SimulatedDriveOps(&drive), options, DriveEvents());
    report.problem = DriveProblem{"cannot read", "sim/</script><script>alert(1)</script>", ""};
    const std::string page = DrivePageHtml(report);
    std::string json = DriveSummaryJson(report);
    for (size_t at = json.find('<'); at != std::string::npos; at = json.find('<', at)) json.replace(at, 1, "\\u003c");
    EXPECT_NE(page.find("<script type=\"application/json\" id=\"fillwright-summary\">" + json + "</script>"),
              std::string::npos);
    EXPECT_EQ(Count(page, "<script"), 1u);
    EXPECT_EQ(Count(page, "</script>"), 1u);
    EXPECT_NE(page.find("model Stick &lt;b&gt;&amp;amp; &quot;Co&quot;"), std::string::npos);
    EXPECT_NE(page.find("vendor Bad\xEF\xBF\xBDUTF-8\xEF\xBF\xBD"), std::string::npos);
    EXPECT_NE(page.find("cannot read sim/&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("href"), std::string::npos);
    EXPECT_EQ(page.find("src="), std::string::npos);
}

struct PagePlace {
    const char* path;
    const char* problem;  // "" when it may go there
};

TEST(DrivePage, GoesOnlyWhereItCanBeSavedAndNotOnTheDriveUnderTest) {
    SimDrive drive;
    drive.shape = Honest();
    const DriveOps ops = SimulatedDriveOps(&drive);
    drive.texts["other/old.html"] = "old";
    const std::vector<PagePlace> places = {
        {"other/page.html", ""},
        {"other/old.html", ""},
        {"sim/page.html", "on the drive under test (sim)"},
        {"other", "a folder: the page needs a file name"},
    };
    for (const PagePlace& place : places) {
        const std::optional<std::string> problem = DrivePagePathProblem(ops, place.path, "sim");
        EXPECT_EQ(problem.has_value(), *place.problem != '\0') << place.path;
        EXPECT_EQ(problem.value_or("").rfind(place.problem, 0), 0u) << place.path << ": " << problem.value_or("");
    }
    EXPECT_EQ(drive.texts.size(), 1u);  // the trial files are gone
    std::string reason;
    ASSERT_TRUE(SaveDrivePage(ops, "other/old.html", "<!DOCTYPE html>", &reason)) << reason;
    EXPECT_EQ(drive.texts["other/old.html"], "<!DOCTYPE html>");
    EXPECT_EQ(drive.texts.size(), 1u);
}

}  // namespace
