// The drive report's words: the problem's path quoted wherever the sentence
// names it.
#include "drive_report.h"
#include "drive_work.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Wherever the sentence names its path, and only there: a folder named "t "
// is no part of "cannot" or "at".
TEST(DriveReportWords, AProblemQuotesItsPathWhereItNamesIt) {
    DriveOps gone;
    gone.driveStillThere = [](const std::string&) { return false; };
    DriveReport away;
    ASSERT_TRUE(DriveWentAway(gone, "t ", &away));
    struct Row {
        DriveProblem problem;
        const char* plain;
        const char* quoted;
    };
    const Row rows[] = {
        {*away.problem, "the drive at t  went away during the test (unmounted, pulled out or replaced)",
         "the drive at 't ' went away during the test (unmounted, pulled out or replaced)"},
        {{"cannot remove the finished test set in", "t ", ": Permission denied"},
         "cannot remove the finished test set in t : Permission denied",
         "cannot remove the finished test set in 't ': Permission denied"},
        {{"", "it's", " holds no test set"}, "it's holds no test set", "$'it\\'s' holds no test set"},
        {{"cannot write", "sim/x.bin", ": No space left on device"}, "cannot write sim/x.bin: No space left on device",
         "cannot write sim/x.bin: No space left on device"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ProblemText(row.problem), row.plain);
        EXPECT_EQ(QuotedProblemText(row.problem), row.quoted);
    }
    EXPECT_EQ(QuotedProblemText(std::nullopt), "");
}

}  // namespace
