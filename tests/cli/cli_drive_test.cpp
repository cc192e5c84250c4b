// fillwright-cli --fill and --verify run for real on a scratch folder: the
// report, the JSON Lines, the exit statuses, and damage found afterwards.
#include "cli_progress.h"
#include "drive_report.h"
#include "drive_set.h"
#include "program_fixture.h"
#include "system.h"  // WidePath

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const int64_t MiB = int64_t(1) << 20;

// The JSON objects of a run, by their "type".
std::vector<nlohmann::json> Lines(const std::string& out, const std::string& type) {
    std::vector<nlohmann::json> found;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(object.is_discarded()) << line;
        if (!object.is_discarded() && object.value("type", "") == type) found.push_back(object);
    }
    return found;
}

class DriveProgram : public ProgramFolder {
protected:
    std::string SetFile(uint32_t number) { return File(SetFileName(number)); }
};

TEST_F(DriveProgram, FillsVerifiesAndFindsDamageLater) {
    const std::string mine = File("notes.txt");
    fileOps.closeFile(CreateOutputFile(mine));
    File("fillwright-drivetest.txt");
    const ProgramRun fill = Run({"--fill", "--total", "9MiB", "--file-size", "4MiB", dir});
    if (UnderWine()) {  // reads come through Linux's cache: nothing proven
        ASSERT_EQ(fill.exitCode, 1) << fill.err << fill.out;
        EXPECT_TRUE(Contains(fill.out,
                             "Verdict: not proven: what was read back may have come from this computer's memory, "
                             "not from the drive."))
            << fill.out;
        EXPECT_TRUE(Contains(fill.out, "  Why: under Wine, reads come through Linux's cache")) << fill.out;
        EXPECT_TRUE(Contains(fill.out, "  To be sure, run the Linux build of fillwright-cli")) << fill.out;
    } else {
        ASSERT_EQ(fill.exitCode, 0) << fill.err << fill.out;
        EXPECT_TRUE(Contains(fill.out, "Verdict: the drive holds everything written to it.")) << fill.out;
    }
    EXPECT_TRUE(Contains(fill.out, "Read back intact: 9437184 bytes, 0.01 GB (0.01 GiB), of the 9437184 bytes written"))
        << fill.out;
    EXPECT_EQ(FileLength(SetFile(1)), 4 * MiB);
    EXPECT_EQ(FileLength(SetFile(3)), 1 * MiB);
    EXPECT_EQ(FileLength(mine), 0);  // never touched

    // One byte of the second file turned over, as a failing drive might.
    std::string second = ReadWholeFile(SetFile(2));
    second[MiB + 100] = static_cast<char>(~second[MiB + 100]);
    FileHandle rewrite = CreateOutputFile(SetFile(2));
    ASSERT_TRUE(fileOps.writeBlock(rewrite, second.data(), static_cast<uint32_t>(second.size())));
    fileOps.closeFile(rewrite);

    const ProgramRun verify = Run({"--verify", "--json", dir});
    EXPECT_EQ(verify.exitCode, 1) << verify.err;
    const std::vector<nlohmann::json> ranges = Lines(verify.out, "range");
    ASSERT_EQ(ranges.size(), 1u) << verify.out;
    EXPECT_EQ(ranges[0]["offset"], 5 * MiB);
    EXPECT_EQ(ranges[0]["length"], 4096);
    EXPECT_EQ(ranges[0]["class"], "bits_changed");
    EXPECT_EQ(ranges[0]["bits_changed"], 8);
    const std::vector<nlohmann::json> summary = Lines(verify.out, "summary");
    ASSERT_EQ(summary.size(), 1u) << verify.out;
    EXPECT_EQ(summary[0]["result"], "lost");
    EXPECT_EQ(summary[0]["bytes_written"], 9 * MiB);
    EXPECT_EQ(summary[0]["bytes_ok"], 9 * MiB - 4096);
    EXPECT_EQ(summary[0]["bytes_lost"], 4096);
    EXPECT_EQ(summary[0]["lost"]["bits_changed"], 4096);
    EXPECT_EQ(summary[0]["first_bad_offset"], 5 * MiB);
    EXPECT_TRUE(summary[0]["write_bytes_per_second"].is_null());  // --verify writes nothing
    EXPECT_TRUE(summary[0]["read_bytes_per_second"].is_number());
    const std::string readBack = summary[0]["read_back"];
    EXPECT_TRUE(readBack == "direct" || readBack == "cache dropped" || readBack == "may be cached") << readBack;
    EXPECT_EQ(summary[0]["read_back_reason"].is_string(), readBack == "may be cached");
    if (UnderWine()) {
        EXPECT_EQ(readBack, "may be cached");
    }
    EXPECT_EQ(Lines(verify.out, "speed").size(), 1u);  // less than a GiB: one partial sample

    const ProgramRun text = Run({"--verify", dir});
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_TRUE(Contains(text.out, "Verdict: the drive is counterfeit or failing")) << text.out;
    EXPECT_TRUE(Contains(text.out, "First bad byte: 5242880")) << text.out;
    EXPECT_TRUE(Contains(text.out, "  bytes 5242880 to 5246975 (4.0 KiB): a few bits changed (8 bits)")) << text.out;
    if (UnderWine()) {
        EXPECT_TRUE(Contains(text.out, "Read back: may have come from the system's memory")) << text.out;
        EXPECT_TRUE(Contains(text.out, "To be sure, run the Linux build of fillwright-cli")) << text.out;
    }

    const ProgramRun again = Run({"--fill", "--json", "--total", "1MiB", dir});
    EXPECT_EQ(again.exitCode, UnderWine() ? 1 : 0) << again.err;
    EXPECT_EQ(Lines(again.out, "summary").at(0)["result"], UnderWine() ? "unproven" : "ok");
    EXPECT_TRUE(Contains(again.err, "replacing the finished test set")) << again.err;
    EXPECT_FALSE(PathExists(SetFile(2)));
    EXPECT_EQ(Lines(again.out, "summary").at(0)["bytes_ok"], MiB);
}

struct BadFolder {
    const char* name;
    bool makeFile;
};

TEST_F(DriveProgram, AFolderItCannotUseFailsWithTheSystemsReason) {
    for (const BadFolder& c : {BadFolder{"missing", false}, BadFolder{"plain.bin", true}}) {
        const std::string path = File(c.name);
        if (c.makeFile) fileOps.closeFile(CreateOutputFile(path));
        for (const char* mode : {"--fill", "--verify"}) {
            const ProgramRun run = Run({mode, path});
            EXPECT_EQ(run.exitCode, 1) << c.name << " " << mode;
            EXPECT_TRUE(Contains(run.err, path + ": ")) << run.err;
            EXPECT_EQ(run.out, "") << "no report of a test that never began";
        }
        EXPECT_EQ(PathExists(path), c.makeFile);
    }
    const ProgramRun empty = Run({"--verify", dir});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(Contains(empty.err, "holds no test set")) << empty.err;
}

struct BadPage {
    const char* name;
    std::string page;  // in the test's folder: none is written
    const char* reason;
};

TEST_F(DriveProgram, APageThatCannotBeSavedStopsTheTestBeforeItBegins) {
    const std::string& drive = dir;
    const std::string folder = MakeTempDir();
    ASSERT_FALSE(folder.empty());
    const std::vector<BadPage> cases = {
        {"a missing folder", JoinPath(File("missing"), "page.html"), UnderWine() ? "" : "No such file or directory"},
        {"a folder", folder, "a folder: the page needs a file name"},
        {"on the drive under test", JoinPath(drive, "page.html"), "on the drive under test ("},
    };
    for (const BadPage& c : cases) {
        // Were a refusal missed, the fill would write only 1 MiB.
        for (const std::vector<std::string>& mode :
             {std::vector<std::string>{"--fill", "--total", "1MiB"}, std::vector<std::string>{"--verify"}}) {
            std::vector<std::string> words = mode;
            words.insert(words.end(), {"--report", c.page, drive});
            const ProgramRun run = Run(words);
            EXPECT_EQ(run.exitCode, 2) << c.name << " " << mode[0] << ": " << run.err;
            EXPECT_TRUE(Contains(run.err, "fillwright-cli: " + c.page + ": " + c.reason)) << c.name << ": " << run.err;
            EXPECT_EQ(run.out, "") << c.name;
        }
        EXPECT_FALSE(PathExists(c.page + ".partial")) << c.name;
    }
    EXPECT_FALSE(PathExists(JoinPath(drive, "fillwright-drivetest.txt")));
    EXPECT_FALSE(PathExists(JoinPath(drive, "page.html")));
    RemoveDir(folder);
}

// The drive's line in decimal units, as its report and the drive dialog show
// them; it loses the speed and time left, then the counts, before the loss.
TEST(DriveProgressLine, DecimalUnitsFittedToTheTerminal) {
    DriveProgress writing;
    writing.bytesDone = 1300000000;
    writing.bytesExpected = 64000000000;
    writing.bytesPerSecond = 34.1e6;
    writing.secondsLeft = 4210;
    DriveProgress reading;  // nothing known of the whole, nor of the speed yet
    reading.phase = DrivePhase::reading;
    reading.bytesDone = 5000000;
    reading.bytesLost = 4096;
    const std::string full = "writing  1.3 GB / 64.0 GB    2%  34.1 MB/s  ETA 1:10:10  lost 0 B";
    const std::tuple<DriveProgress, int, std::string> table[] = {
        {writing, 80, full},
        {writing, 0, full},  // width unknown: 80
        {writing, 66, full},
        {writing, 65, "writing  1.3 GB / 64.0 GB    2%  lost 0 B"},
        {writing, 41, "writing    2%  ETA 1:10:10  lost 0 B"},
        {writing, 36, "writing    2%  lost 0 B"},
        {writing, 20, "writing ...lost 0 B"},
        {reading, 80, "reading  5.0 MB  ETA --:--  lost 4.1 kB"},
        {reading, 25, "reading  lost 4.1 kB"},
    };
    for (const auto& row : table)
        EXPECT_EQ(FitForms(DriveProgressForms(std::get<0>(row)), std::get<1>(row)), std::get<2>(row))
            << std::get<1>(row);
}

// A folder and a file whose full paths may be past MAX_PATH: on Windows
// through the wide calls with the long form of the path.
bool MakeFolder(const std::string& path) {
#ifdef _WIN32
    return CreateDirectoryW(WidePath(path).c_str(), nullptr) != 0;
#else
    return mkdir(path.c_str(), 0755) == 0;
#endif
}

bool RemoveLongPath(const std::string& path, bool folder) {
#ifdef _WIN32
    return (folder ? RemoveDirectoryW(WidePath(path).c_str()) : DeleteFileW(WidePath(path).c_str())) != 0;
#else
    return (folder ? rmdir(path.c_str()) : unlink(path.c_str())) == 0;
#endif
}

// A folder whose full path is past MAX_PATH (260) is filled and verified like
// any other: Windows' narrow calls (and Wine's) stop at 260.
TEST_F(DriveProgram, AFolderPastTwoHundredSixtyCharactersIsFilledAndVerified) {
    const std::string folder = JoinPath(dir, std::string(250, 'd'));
    ASSERT_GT(folder.size(), 260u);
    ASSERT_TRUE(MakeFolder(folder)) << folder;
    const std::vector<std::vector<std::string>> runs = {
        {"--fill", "--total", "8MiB", "--file-size", "4MiB", folder},
        {"--verify", folder},
    };
    for (const std::vector<std::string>& words : runs) {
        const std::string& mode = words[0];
        const ProgramRun run = Run(words);
        EXPECT_EQ(run.exitCode, UnderWine() ? 1 : 0) << mode << ": " << run.err << run.out;  // Wine: unproven
        EXPECT_TRUE(Contains(run.out, "Read back intact: 8388608 bytes")) << mode << ": " << run.out;
    }
    for (const char* name :
         {"fillwright-drivetest-00001.bin", "fillwright-drivetest-00002.bin", "fillwright-drivetest.txt"})
        EXPECT_TRUE(RemoveLongPath(JoinPath(folder, name), false)) << name << " was not made";
    EXPECT_TRUE(RemoveLongPath(folder, true)) << "the folder holds more than the set";
}

}  // namespace
