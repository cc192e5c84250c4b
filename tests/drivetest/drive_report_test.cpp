// The drive report's words: the verdict and what goes with it for each
// result, the lines of each class of lost block, and the problem's path
// quoted wherever the sentence names it.
#include "drive_report.h"
#include "drive_work.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const uint64_t MiB = uint64_t(1) << 20;

DriveReport Written(DriveResult result, bool verified) {
    DriveReport report;
    report.result = result;
    report.verified = verified;
    report.bytesWritten = report.tally.bytesOk = 8 * MiB;
    return report;
}

TEST(DriveReportWords, EachResultSaysItsVerdictAndWhatFollows) {
    struct Row {
        const char* name;
        DriveReport report;
        std::string problem;
        std::vector<std::string> shown;   // each somewhere in the text
        std::vector<std::string> hidden;  // none of them
    };
    DriveReport unproven = Written(DriveResult::unproven, true);
    unproven.readBack = ReadBack::mayBeCached;
    unproven.readBackReason = "under Wine, reads come through Linux's cache";
    DriveReport readingStopped = Written(DriveResult::interrupted, false);
    readingStopped.readSeconds = 2;
    const std::string stayed = "The test set stays in 't ': --fill goes on with it, --verify reads it.\n";
    const Row rows[] = {
        {"ok",
         Written(DriveResult::ok, true),
         "",
         {"Verdict: the drive holds everything written to it.\n", "Read back intact: 8388608 bytes, ",
          "Read back: directly from the drive, past the system's cache\n"},
         {"The test stopped", "Data lost"}},
        {"not read back",
         Written(DriveResult::ok, false),
         "",
         {"Verdict: everything was written; nothing was read back (--no-verify).\n", "Written: 8388608 "},
         {"Read"}},
        {"lost",
         Written(DriveResult::lost, true),
         "cannot read 'a b': Input/output error",
         {"Verdict: the drive is counterfeit or failing: it lost data written to it.\n",
          "The test stopped: cannot read 'a b': Input/output error.\n"},
         {"could not go on"}},
        {"failed",
         Written(DriveResult::failed, false),
         "'t ': Read-only file system",
         {"Verdict: the test could not go on: 't ': Read-only file system.\n"},
         {"The test stopped"}},
        {"interrupted while filling",
         Written(DriveResult::interrupted, false),
         "",
         {"Verdict: none, the test was interrupted.\n", stayed},
         {"is whole"}},
        {"interrupted while reading back",
         readingStopped,
         "",
         {"The test set in 't ' is whole: fillwright-cli --verify 't ' reads it back.\n"},
         {stayed}},
        {"unproven",
         unproven,
         "",
         {"Verdict: not proven: what was read back may have come from this computer's memory, not from the drive.\n",
          "Read back: may have come from the system's memory\n",
          "  Why: under Wine, reads come through Linux's cache\n",
          "  To be sure, unplug the drive, plug it in again and run: fillwright-cli --verify 't '\n"},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string text = DriveReportText(row.report, "'t '", row.problem);
        for (const std::string& line : row.shown) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
        for (const std::string& line : row.hidden) EXPECT_EQ(text.find(line), std::string::npos) << line;
    }
}

TEST(DriveReportWords, EachClassOfLossIsCountedAndItsRangeDescribed) {
    struct Row {
        BlockClass kind;
        const char* range;  // the range line, after its bytes
    };
    const Row rows[] = {
        {BlockClass::bitsChanged, "): a few bits changed (3 bits)\n"},
        {BlockClass::overwritten, "): overwritten by other data of this test, the data written at byte 4096 ("},
        {BlockClass::earlierRun, "): data of an earlier test\n"},
        {BlockClass::blank, "): all zeros or all 0xFF (writes that never arrived)\n"},
        {BlockClass::unreadable, "): unreadable: Input/output error\n"},
        {BlockClass::corrupt, "): corrupt\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(BlockClassName(row.kind));
        DriveReport report = Written(DriveResult::lost, true);
        report.tally.bytesOk -= 8192;
        if (row.kind == BlockClass::unreadable) {
            TallyUnreadable(&report.tally, 3 * MiB, 8192, "Input/output error");
        } else {
            TallyBlock(&report.tally, 3 * MiB, {row.kind, 3, 4096});
            TallyBlock(&report.tally, 3 * MiB + 4096, {row.kind, 0, 8192});
        }
        const std::string text = DriveReportText(report, "sim", ""), summary = DriveSummaryJson(report);
        const std::string lines[] = {"Data lost: 8192 bytes (",
                                     std::string(" ") + BlockClassText(row.kind) + "\n",
                                     "First bad byte: 3145728 of the set (",
                                     "Bad ranges: 1\n",
                                     row.range,
                                     "\n  bytes 3145728 to 3153919 ("};
        for (const std::string& line : lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
        EXPECT_NE(summary.find("\"" + std::string(BlockClassName(row.kind)) + "\":8192"), std::string::npos) << summary;
    }
}

// Wherever the sentence names its path, and only there: a folder named "t "
// is no part of "cannot" or "at".
TEST(DriveReportWords, AProblemQuotesItsPathWhereItNamesIt) {
    DriveOps gone;
    gone.driveStillThere = [](const std::string&) { return false; };
    DriveReport away;
    ASSERT_TRUE(DriveWentAway(gone, "t ", &away));
    EXPECT_EQ(ProblemText(away.problem),  // as it stands, for JSON and the page
              "the drive at t  went away during the test (unmounted, pulled out or replaced)");
    const std::pair<DriveProblem, const char*> rows[] = {
        {*away.problem, "the drive at 't ' went away during the test (unmounted, pulled out or replaced)"},
        {{"cannot remove the finished test set in", "t ", ": Permission denied"},
         "cannot remove the finished test set in 't ': Permission denied"},
        {{"", "it's", " holds no test set"}, "$'it\\'s' holds no test set"},
    };
    for (const auto& row : rows) EXPECT_EQ(QuotedProblemText(row.first), row.second);
    EXPECT_EQ(QuotedProblemText(std::nullopt), "");
}

}  // namespace
