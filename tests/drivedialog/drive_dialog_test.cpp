// fillwright-drivetest.exe under Wine on real file systems: drive_dialog.sh
// points drive letters at them (FILLWRIGHT_DRIVE_*) and runs this driver.
#include "dialog_driver.h"
#include "drive_colours.h"
#include "resource.h"

#include <commctrl.h>
#include <dbt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace {

const DWORD kTestWait = 180000;  // one whole test of a small drive

class DriveDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = MakeTempFolder();
        ASSERT_FALSE(folder.empty());
        ASSERT_TRUE(StartDriveProgram(program)) << "did not start: " << DriveProgramPath();
    }
    void TearDown() override {
        StopProgram(program);
        RemoveFolderTree(folder);
    }
    // A drive letter of drive_dialog.sh, its old test set gone.
    std::string Drive(const char* name) {
        const std::string root = DriveRoot(name);
        if (!root.empty()) ClearTestSet(root);
        return root;
    }
    std::string Text(int id) const { return ControlText(program.dialog, id); }
    void Click(int id) const { ClickButton(program, id); }
    // Write + Verify or Verify on target, answering no prompt, to the end.
    void RunToEnd(int button) const {
        Click(button);
        ASSERT_TRUE(WaitUntil([&] { return IsEnabled(program, IDC_DRIVE_STOP) || !ProgramPopups(program).empty(); },
                              kWindowWait))
            << "the test did not start";
        ASSERT_TRUE(ProgramPopups(program).empty()) << "unexpected prompt";
        ASSERT_TRUE(WaitForTestEnd(program, kTestWait)) << "the test did not end; status: " << Text(IDC_DRIVE_STATUS);
    }
    std::string Cli(const std::string& arguments) const {
        std::string output;
        RunProgram(CliPath(), arguments, &output);
        return output;
    }
    // A field of the --json summary line, as its text.
    static std::string Field(const std::string& json, const std::string& name) {
        const size_t summary = json.find("\"type\":\"summary\"");
        const size_t at = json.find("\"" + name + "\":", summary);
        if (summary == std::string::npos || at == std::string::npos) return "<no " + name + ">";
        const size_t start = at + name.size() + 3;
        return json.substr(start, json.find_first_of(",}", start) - start);
    }
    // The result's words against the command line's text report of the same
    // set: every line but the speeds (of another run) and where a fill resumed.
    void ExpectSameWordsAsCli(const std::string& root) const {
        const std::string result = Text(IDC_DRIVE_RESULT);
        const std::string cli = Cli("--verify " + root);
        std::istringstream lines(result);
        std::string line;
        int compared = 0;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.find(" speed: ") != std::string::npos) continue;
            line = line.substr(0, line.find(", resumed at byte"));
            EXPECT_NE(LineStarting(cli, line), "") << "not in the command line's report: " << line << "\ncli:\n" << cli;
            ++compared;
        }
        EXPECT_GE(compared, 3) << result;
        EXPECT_EQ(Text(IDC_DRIVE_STATUS).rfind(LineStarting(result, "Verdict:"), 0), 0u)
            << "the status gives the verdict";
    }

    Program program{};
    std::string folder;
};

TEST_F(DriveDialogTest, ControlsAtRestAndEscapeCloses) {
    const struct {
        int id;
        const char* className;
        const char* text;
        bool enabled;
    } controls[] = {
        {IDC_DRIVE_TARGET, "ComboBox", nullptr, true},
        {IDC_DRIVE_BROWSE, "Button", "&Browse…", true},
        {IDC_DRIVE_ALL, "Button", "&All free space", true},
        {IDC_DRIVE_ONLY, "Button", "&Only", true},
        {IDC_DRIVE_ONLY_MIB, "Edit", nullptr, true},
        {IDC_DRIVE_KEEP_GOING, "Button", nullptr, true},
        {IDC_DRIVE_START, "Button", "&Write + Verify", true},
        {IDC_DRIVE_VERIFY, "Button", "&Verify", false},
        {IDC_DRIVE_STOP, "Button", "&Stop", false},
        {IDC_DRIVE_PROGRESS, "msctls_progress32", nullptr, true},
        {IDC_DRIVE_STATUS, "Static", nullptr, true},
        {IDC_DRIVE_MAP, "Static", nullptr, true},
        {IDC_DRIVE_GRAPH, "Static", nullptr, true},
        {IDC_DRIVE_RESULT, "Edit", nullptr, true},
        {IDC_DRIVE_SAVE, "Button", "Save &report…", false},
        {IDC_DRIVE_COPY, "Button", "&Copy", false},
        {IDCANCEL, "Button", "Close", true},
    };
    for (const auto& control : controls) {
        HWND window = GetDlgItem(program.dialog, control.id);
        ASSERT_NE(window, nullptr) << control.id;
        EXPECT_EQ(ClassName(window), control.className) << control.id;
        if (control.text) {
            EXPECT_EQ(WindowText(window), control.text) << control.id;
        }
        EXPECT_EQ(IsEnabled(program, control.id), control.enabled) << control.id;
    }
    EXPECT_EQ(Send(GetDlgItem(program.dialog, IDC_DRIVE_ALL), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(Send(GetDlgItem(program.dialog, IDC_DRIVE_KEEP_GOING), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    PressKey(program, VK_ESCAPE);
    ASSERT_TRUE(WaitForExit(program, kExitWait)) << "Esc did not close the idle dialog";
    DWORD code = 1;
    GetExitCodeProcess(program.info.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

TEST_F(DriveDialogTest, DeviceListFollowsDriveLetters) {
    const std::string honest = DriveRoot("HONEST"), spare = Environment("FILLWRIGHT_DRIVE_SPARE");
    ASSERT_FALSE(honest.empty() || spare.empty()) << "run by drive_dialog.sh";
    const std::vector<std::string> listed = ListedDrives(program);
    ASSERT_FALSE(listed.empty());
    bool honestListed = false;
    for (const std::string& entry : listed) honestListed = honestListed || entry.rfind(honest + "  ", 0) == 0;
    std::string all;
    for (const std::string& entry : listed) all += "\n  " + entry;
    EXPECT_TRUE(honestListed) << honest << " is not listed:" << all;
    EXPECT_NE(listed.back().find("(system drive)"), std::string::npos)
        << "the system drive comes last: " << listed.back();
    const auto hasSpare = [&] {
        for (const std::string& entry : ListedDrives(program)) {
            if (entry.rfind(spare + ":\\", 0) == 0) return true;
        }
        return false;
    };
    ASSERT_FALSE(hasSpare());
    ASSERT_EQ(RunUnix("ln -s \"$FILLWRIGHT_SPARE_MOUNT\" \"$FILLWRIGHT_DOSDEVICES/$(echo $FILLWRIGHT_DRIVE_SPARE | tr "
                      "A-Z a-z):\""),
              0);
    BroadcastVolume(program, spare[0], DBT_DEVICEARRIVAL);
    EXPECT_TRUE(hasSpare()) << "a drive that arrived is not listed";
    ASSERT_EQ(RunUnix("rm \"$FILLWRIGHT_DOSDEVICES/$(echo $FILLWRIGHT_DRIVE_SPARE | tr A-Z a-z):\""), 0);
    BroadcastVolume(program, spare[0], DBT_DEVICEREMOVECOMPLETE);
    EXPECT_FALSE(hasSpare()) << "a drive that went is still listed";
}

TEST_F(DriveDialogTest, HonestDriveAsTheCommandLineSaysThenSaveAndCopy) {
    const std::string root = Drive("HONEST");
    ASSERT_FALSE(root.empty()) << "run by drive_dialog.sh";
    // Chosen from the list, as a user does.
    const std::vector<std::string> listed = ListedDrives(program);
    for (size_t k = 0; k < listed.size(); ++k) {
        if (listed[k].rfind(root + "  ", 0) != 0) continue;
        Send(GetDlgItem(program.dialog, IDC_DRIVE_TARGET), CB_SETCURSEL, k, 0);
        Send(program.dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_TARGET, CBN_SELCHANGE), 0);
    }
    RunToEnd(IDC_DRIVE_START);
    ExpectSameWordsAsCli(root);
    const std::string json = Cli("--verify --json " + root);
    EXPECT_EQ(Field(json, "bytes_lost"), "0");
    EXPECT_NE(Text(IDC_DRIVE_RESULT).find(" " + Field(json, "bytes_ok") + " bytes"), std::string::npos)
        << "the bytes read back intact";
    for (int state : ReadMapCells(program)) ASSERT_EQ(state, kCellIntact) << "every cell read back intact";
    EXPECT_EQ(Send(GetDlgItem(program.dialog, IDC_DRIVE_PROGRESS), PBM_GETPOS, 0, 0), 1000)
        << "the bar is full at the end";
    EXPECT_TRUE(IsEnabled(program, IDC_DRIVE_VERIFY) && IsEnabled(program, IDC_DRIVE_SAVE) &&
                IsEnabled(program, IDC_DRIVE_COPY));

    Click(IDC_DRIVE_SAVE);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr);
    SYSTEMTIME today{};
    GetLocalTime(&today);
    char offered[80];
    std::snprintf(offered, sizeof offered, "fillwright-drivetest-%c-%04u-%02u-%02u.html", root[0], today.wYear,
                  today.wMonth, today.wDay);
    EXPECT_EQ(ControlText(prompt, kPromptFileName), offered);
    const std::string saved = folder + "\\report.html";
    ASSERT_TRUE(AnswerSavePrompt(prompt, saved));
    std::string contents;
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(saved, contents) && !contents.empty(); }, kWindowWait));
    // The HTML page, with the summary a program reads back in it.
    EXPECT_EQ(contents.rfind("<!DOCTYPE html>", 0), 0u) << contents.substr(0, 200);
    EXPECT_NE(contents.find("\"bytes_ok\":" + Field(json, "bytes_ok") + ","), std::string::npos)
        << "the page's summary";

    Click(IDC_DRIVE_COPY);
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == Text(IDC_DRIVE_RESULT); }, kWindowWait)) << ClipboardText();
}

TEST_F(DriveDialogTest, CounterfeitDriveLossInTheResultAndTheMap) {
    const std::string root = Drive("FAKE");
    ASSERT_FALSE(root.empty()) << "run by drive_dialog.sh";
    ASSERT_TRUE(SetTarget(program, root));
    RunToEnd(IDC_DRIVE_START);
    // Wine read the set back through Linux's cache, which still holds what
    // was written: only a read from the drive itself shows the loss.
    ASSERT_EQ(RunUnix("sync; echo 3 > /proc/sys/vm/drop_caches"), 0) << "cannot drop the caches: not root?";
    ASSERT_TRUE(IsEnabled(program, IDC_DRIVE_VERIFY));
    RunToEnd(IDC_DRIVE_VERIFY);
    const std::string result = Text(IDC_DRIVE_RESULT);
    EXPECT_NE(result.find("Verdict: the drive is counterfeit or failing"), std::string::npos) << result;
    ExpectSameWordsAsCli(root);
    const std::string json = Cli("--verify --json " + root);
    ASSERT_NE(Field(json, "bytes_lost"), "0") << json;
    // Each cell shows loss exactly when one of the command line's bad ranges
    // reaches into it, and the worst of them, ranked as the page ranks them.
    const std::vector<std::pair<std::string, int>> worstFirst = {
        {"\"unreadable\"", kCellUnreadable},  {"\"overwritten\"", kCellOverwritten},
        {"\"earlier_run\"", kCellEarlierRun}, {"\"blank\"", kCellBlank},
        {"\"corrupt\"", kCellCorrupt},        {"\"bits_changed\"", kCellBitsChanged}};
    const double read = std::atof(Field(json, "bytes_ok").c_str()) + std::atof(Field(json, "bytes_lost").c_str());
    const auto cellOf = [&](double offset) { return static_cast<int>(offset / read * kMapCells); };
    std::vector<size_t> worstIn(kMapCells, worstFirst.size());  // none
    for (size_t at = json.find("\"type\":\"range\""); at != std::string::npos;
         at = json.find("\"type\":\"range\"", at + 1)) {
        const std::string line = "\"type\":\"summary\"," + json.substr(at, json.find('\n', at) - at);
        const double offset = std::atof(Field(line, "offset").c_str());
        const double length = std::atof(Field(line, "length").c_str());
        size_t rank = 0;
        while (rank < worstFirst.size() && worstFirst[rank].first != Field(line, "class")) ++rank;
        ASSERT_LT(rank, worstFirst.size()) << line;
        for (int cell = cellOf(offset); cell <= cellOf(offset + length - 1) && cell < kMapCells; ++cell)
            worstIn[cell] = std::min(worstIn[cell], rank);
    }
    const std::vector<int> cells = ReadMapCells(program);
    int lostCells = 0;
    for (int cell = 0; cell < kMapCells; ++cell) {
        ASSERT_LT(cells[cell], kCellStateCount) << "cell " << cell << " has no legend colour";
        const int expected = worstIn[cell] < worstFirst.size() ? worstFirst[worstIn[cell]].second : kCellIntact;
        EXPECT_EQ(cells[cell], expected) << "cell " << cell << " is " << kCellWords[cells[cell]] << ", not "
                                         << kCellWords[expected];
        lostCells += cells[cell] > kCellIntact ? 1 : 0;
    }
    EXPECT_GT(lostCells, 0);
    EXPECT_LT(lostCells, kMapCells) << "the drive's real part reads back intact";
    const std::string shots = Environment("FILLWRIGHT_SCREENSHOTS");
    if (!shots.empty()) {
        EXPECT_TRUE(SaveScreenshot(program, shots + "/drivetest-counterfeit.png"));
    }
}

TEST_F(DriveDialogTest, SystemDrivePromptDefaultsToNo) {
    const std::string target = folder;  // a folder under C:, where Windows runs from
    ASSERT_TRUE(SetTarget(program, target));
    Click(IDC_DRIVE_START);
    MessageBoxInfo info;
    HWND box = WaitForBox(program, info);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(
        info.text,
        "C:\\ is the drive Windows runs from. Filling it can stop programs from saving their work. Test it anyway?");
    EXPECT_TRUE(IsDefaultButton(box, IDNO));
    ASSERT_TRUE(AnswerBox(box, IDNO));
    EXPECT_TRUE(FolderEntries(folder).empty()) << "nothing may be written";
    EXPECT_TRUE(IsEnabled(program, IDC_DRIVE_START));
    EXPECT_FALSE(IsEnabled(program, IDC_DRIVE_STOP));
}

TEST_F(DriveDialogTest, FinishedSetIsReplacedOnlyWhenAsked) {
    const std::string root = Drive("HONEST");
    ASSERT_FALSE(root.empty()) << "run by drive_dialog.sh";
    ASSERT_TRUE(SetTarget(program, root));
    Click(IDC_DRIVE_ONLY);
    ASSERT_TRUE(SetWindowTextUtf8(GetDlgItem(program.dialog, IDC_DRIVE_ONLY_MIB), "8"));
    RunToEnd(IDC_DRIVE_START);
    std::string before, after;
    ASSERT_TRUE(ReadWholeFile(root + "fillwright-drivetest.txt", before));
    for (int answer : {IDNO, IDYES}) {
        Click(IDC_DRIVE_START);
        MessageBoxInfo info;
        HWND box = WaitForBox(program, info);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(info.text, root + " holds a finished test set of 8.4 MB. Replace it with a new one?");
        ASSERT_TRUE(AnswerBox(box, answer));
        if (answer == IDYES) {
            ASSERT_TRUE(WaitForTestEnd(program, kTestWait));
        }
        ASSERT_TRUE(ReadWholeFile(root + "fillwright-drivetest.txt", after));
        EXPECT_EQ(after == before, answer == IDNO) << "the set is replaced only on Yes";
    }
    EXPECT_NE(Text(IDC_DRIVE_STATUS).find("Verdict:"), std::string::npos);
}

// A slow drive: Stop in the middle, then the prompt's three answers: Cancel
// does nothing, No starts a new set (stopped again), Yes resumes.
TEST_F(DriveDialogTest, StopThenResume) {
    const std::string root = Drive("SLOW");
    ASSERT_FALSE(root.empty()) << "run by drive_dialog.sh";
    ASSERT_EQ(RunUnix("echo $FILLWRIGHT_SLOW_RATE > \"$FILLWRIGHT_SLOW_RATE_FILE\""), 0);
    ASSERT_TRUE(SetTarget(program, root));
    Click(IDC_DRIVE_START);
    ASSERT_TRUE(WaitForWriting(program, 30, kTestWait)) << Text(IDC_DRIVE_STATUS);
    const std::string shots = Environment("FILLWRIGHT_SCREENSHOTS");
    if (!shots.empty()) {
        EXPECT_TRUE(SaveScreenshot(program, shots + "/drivetest-writing.png"));
    }
    int written = 0;
    for (int state : ReadMapCells(program)) written += state == kCellWritten ? 1 : 0;
    EXPECT_GT(written, 0) << "the map fills as the drive is written";
    Click(IDC_DRIVE_STOP);
    ASSERT_TRUE(WaitForTestEnd(program, kTestWait));
    EXPECT_NE(Text(IDC_DRIVE_STATUS).find("interrupted. What was written stays"), std::string::npos)
        << Text(IDC_DRIVE_STATUS);
    EXPECT_TRUE(IsEnabled(program, IDC_DRIVE_VERIFY)) << "the unfinished set can be read";
    std::string before, after;
    ASSERT_TRUE(ReadWholeFile(root + "fillwright-drivetest.txt", before));
    for (int answer : {IDCANCEL, IDNO, IDYES}) {
        if (answer == IDYES) {
            ASSERT_EQ(RunUnix("echo 0 > \"$FILLWRIGHT_SLOW_RATE_FILE\""), 0);  // as fast as it goes from here
        }
        Click(IDC_DRIVE_START);
        MessageBoxInfo info;
        HWND box = WaitForBox(program, info);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(info.text.rfind(root + " holds an unfinished test: ", 0), 0u) << info.text;
        EXPECT_NE(info.text.find(" written. Continue it?"), std::string::npos) << info.text;
        ASSERT_TRUE(AnswerBox(box, answer));
        if (answer == IDCANCEL) {
            EXPECT_FALSE(IsEnabled(program, IDC_DRIVE_STOP)) << "Cancel starts nothing";
            ASSERT_TRUE(ReadWholeFile(root + "fillwright-drivetest.txt", after));
            EXPECT_EQ(after, before) << "Cancel leaves the set as it is";
        }
        if (answer == IDNO) {  // a new set in the old one's place, stopped again
            ASSERT_TRUE(WaitForWriting(program, 1, kTestWait)) << Text(IDC_DRIVE_STATUS);
            ASSERT_TRUE(ReadWholeFile(root + "fillwright-drivetest.txt", after));
            EXPECT_NE(after, before) << "No replaces the unfinished set";
            Click(IDC_DRIVE_STOP);
            ASSERT_TRUE(WaitForTestEnd(program, kTestWait));
            ASSERT_TRUE(ReadWholeFile(root + "fillwright-drivetest.txt", before));
        }
    }
    ASSERT_TRUE(WaitForTestEnd(program, kTestWait));
    EXPECT_NE(Text(IDC_DRIVE_RESULT).find(", resumed at byte "), std::string::npos) << Text(IDC_DRIVE_RESULT);
    ExpectSameWordsAsCli(root);
}

TEST_F(DriveDialogTest, CloseWhileRunningAsksThenStops) {
    const std::string root = Drive("SLOW");
    ASSERT_FALSE(root.empty()) << "run by drive_dialog.sh";
    ASSERT_EQ(RunUnix("echo $FILLWRIGHT_SLOW_RATE > \"$FILLWRIGHT_SLOW_RATE_FILE\""), 0);
    ASSERT_TRUE(SetTarget(program, root));
    Click(IDC_DRIVE_START);
    ASSERT_TRUE(WaitForWriting(program, 1, kTestWait));
    for (int answer : {IDNO, IDYES}) {
        Click(IDCANCEL);
        MessageBoxInfo info;
        HWND box = WaitForBox(program, info);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(info.text,
                  "A test is running. Stop it? What was written stays, and the test can be continued later.");
        ASSERT_TRUE(AnswerBox(box, answer));
        if (answer == IDNO) {
            EXPECT_TRUE(IsEnabled(program, IDC_DRIVE_STOP)) << "the test goes on";
        }
    }
    ASSERT_TRUE(WaitForExit(program, kWindowWait)) << "the dialog did not close once the test stopped";
    ASSERT_GE(FileLength(root + "fillwright-drivetest.txt"), 0) << "what was written stays";
    EXPECT_NE(Cli("--verify --json " + root).find("\"bytes_written\":"), std::string::npos);
    RunUnix("echo 0 > \"$FILLWRIGHT_SLOW_RATE_FILE\"");
}

// The drive's server ends in the middle of the fill: the drive is gone.
TEST_F(DriveDialogTest, DriveRemovedMidTestLeavesTheDialogUsable) {
    const std::string root = Drive("DOOMED");
    ASSERT_FALSE(root.empty()) << "run by drive_dialog.sh";
    ASSERT_TRUE(SetTarget(program, root));
    Click(IDC_DRIVE_START);
    ASSERT_TRUE(WaitForWriting(program, 10, kTestWait)) << Text(IDC_DRIVE_STATUS);
    ASSERT_EQ(RunUnix("kill -9 $(pgrep -P \"$FILLWRIGHT_DOOMED_SERVER\")"), 0);
    ASSERT_TRUE(WaitForTestEnd(program, kTestWait)) << Text(IDC_DRIVE_STATUS);
    EXPECT_TRUE(Answers(program.dialog));
    const std::string result = Text(IDC_DRIVE_RESULT);
    EXPECT_NE(LineStarting(result, "Verdict:"), "") << result;
    EXPECT_EQ(result.find("Verdict: the drive holds everything"), std::string::npos) << result;
    EXPECT_TRUE(IsEnabled(program, IDC_DRIVE_SAVE));
    EXPECT_TRUE(IsEnabled(program, IDC_DRIVE_START));
    std::printf("after the drive went: %s\n", Text(IDC_DRIVE_STATUS).c_str());
}

}  // namespace
