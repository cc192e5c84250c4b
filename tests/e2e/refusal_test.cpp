// Every way job start says no, and the dialog it leaves behind.
#include "program_test.h"

namespace {

class Refusal : public ProgramTest {
protected:
    // Presses Save and expects the refusal box at once, before any prompt.
    // Checks the box, dismisses it, and checks the dialog is idle again.
    void ExpectRefusedBeforePrompt(const std::string& text) {
        ClickButton(program, kSaveButton);
        std::vector<HWND> popups;
        ASSERT_TRUE(WaitUntil([&] { return !(popups = ProgramPopups(program)).empty(); }, kWindowWait))
            << "nothing appeared after Save";
        ASSERT_EQ(popups.size(), 1u);
        MessageBoxInfo box;
        ASSERT_TRUE(ReadMessageBox(popups[0], box));
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.owner, program.dialog) << "refusals belong to the dialog";
        EXPECT_TRUE(box.hasIcon) << "refusals carry the error icon";
        EXPECT_FALSE(SaveEnabled(program)) << "Save stays disabled while job start runs";
        ASSERT_TRUE(DismissMessageBox(popups[0]));
        ExpectIdleAgain();
    }
    // Save enabled again means job start has returned: a prompt or a box it
    // were to show would have had to come before that.
    void ExpectIdleAgain() {
        ASSERT_TRUE(WaitUntil([&] { return SaveEnabled(program); }, kWindowWait)) << "Save not enabled again";
        EXPECT_EQ(ProgramPopups(program).size(), 0u) << "no prompt and no further message";
        EXPECT_EQ(FindProgramWindow(program, "Save As"), nullptr);
        EXPECT_EQ(ProgressPosition(program), 0);
        EXPECT_TRUE(FolderEntries(folder).empty()) << "no file made";
        EXPECT_TRUE(ProgramRunning(program));
    }
};

class SizeRefusal : public Refusal, public ::testing::WithParamInterface<const char*> {};

TEST_P(SizeRefusal, NoPromptAndIdleAgain) {
    ASSERT_TRUE(SetRequest(program, GetParam(), kUnitBytes, kModeZero));
    ExpectRefusedBeforePrompt("Please enter a valid target filesize.");
    EXPECT_EQ(ControlText(program.dialog, kSizeEdit), GetParam()) << "the entry is left as typed";
}

// 2147483648 is the first number past a positive signed 32-bit value;
// 4294967295 reads back as -1 in 32 bits.
INSTANTIATE_TEST_SUITE_P(Sizes, SizeRefusal, ::testing::Values("0", "", "abc", "2147483648", "4294967295"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             const std::string text = param.param;
                             if (text.empty()) return std::string("Empty");
                             if (text == "abc") return std::string("Letters");
                             return "Number" + text;
                         });

TEST_F(Refusal, SizeRefusedInEveryUnit) {
    // The check is on the number typed, before the unit is applied.
    for (int unit : {kUnitKiB, kUnitMiB}) {
        SCOPED_TRACE("unit " + std::to_string(unit));
        ASSERT_TRUE(SetRequest(program, "0", unit, kModeAscii));
        ExpectRefusedBeforePrompt("Please enter a valid target filesize.");
    }
}

TEST_F(Refusal, NoModeChecked) {
    // The radio buttons clear each other, so only the driver can uncheck all.
    for (int id = kModeZero; id <= kModeSetSize; ++id) {
        Send(GetDlgItem(program.dialog, id), BM_SETCHECK, BST_UNCHECKED, 0);
    }
    ASSERT_EQ(CheckedMode(program), 0);
    ExpectRefusedBeforePrompt("Please select a valid method.");
    EXPECT_EQ(CheckedMode(program), 0) << "the refusal checks nothing by itself";
}

TEST_F(Refusal, SizeCheckedBeforeMode) {
    for (int id = kModeZero; id <= kModeSetSize; ++id) {
        Send(GetDlgItem(program.dialog, id), BM_SETCHECK, BST_UNCHECKED, 0);
    }
    ASSERT_TRUE(SetWindowTextUtf8(GetDlgItem(program.dialog, kSizeEdit), "0"));
    ExpectRefusedBeforePrompt("Please enter a valid target filesize.");
}

TEST_F(Refusal, CancelledPromptShowsNothing) {
    ClickButton(program, kSaveButton);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(GetWindow(prompt, GW_OWNER), program.dialog) << "the prompt belongs to the dialog";
    EXPECT_FALSE(SaveEnabled(program));
    ASSERT_TRUE(CancelSavePrompt(prompt));
    ExpectIdleAgain();
    // The dialog is as it was.
    EXPECT_EQ(ControlText(program.dialog, kSizeEdit), "1024");
    EXPECT_EQ(CheckedMode(program), kModeZero);
}

TEST_F(Refusal, CancelledPromptThenAJob) {
    ClickButton(program, kSaveButton);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(CancelSavePrompt(prompt));
    ExpectIdleAgain();
    const std::string path = InFolder("after-cancel.bin");
    const JobRun run = RunJob(program, path);
    ASSERT_TRUE(run.completed) << run.failure;
    EXPECT_EQ(FileLength(path), 1024);
}

// Creating the file fails: the box, no job, and the dialog idle again.
void ExpectCouldNotOpen(const Program& program) {
    std::vector<HWND> popups;
    ASSERT_TRUE(WaitUntil([&] { return !(popups = ProgramPopups(program)).empty(); }, kWindowWait))
        << "nothing appeared after the prompt";
    ASSERT_EQ(popups.size(), 1u);
    MessageBoxInfo box;
    ASSERT_TRUE(ReadMessageBox(popups[0], box));
    EXPECT_EQ(box.text, "Could not open file.");
    EXPECT_EQ(box.caption, "I/O Error");
    EXPECT_EQ(box.owner, program.dialog);
    EXPECT_TRUE(box.hasIcon);
    EXPECT_FALSE(SaveEnabled(program));
    ASSERT_TRUE(DismissMessageBox(popups[0]));
    ASSERT_TRUE(WaitUntil([&] { return SaveEnabled(program); }, kWindowWait)) << "Save not enabled again";
    EXPECT_EQ(ProgramPopups(program).size(), 0u) << "no job, so no completion notice";
    EXPECT_EQ(ProgressPosition(program), 0);
}

TEST_F(Refusal, FileHeldOpenByAnotherProcess) {
    // The program opens without sharing; a file this driver holds, also
    // without sharing, cannot be created anew.
    const std::string path = InFolder("held.bin");
    ASSERT_TRUE(WriteWholeFile(path, "held by the driver"));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ClickButton(program, kSaveButton);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr);
    EXPECT_TRUE(AnswerSavePrompt(prompt, path));
    ExpectCouldNotOpen(program);
    CloseHandle(held);
    std::string content;
    ASSERT_TRUE(ReadWholeFile(path, content));
    EXPECT_EQ(content, "held by the driver") << "the held file is untouched";
}

TEST_F(Refusal, CouldNotOpenThenAJob) {
    const std::string held = InFolder("held.bin");
    ASSERT_TRUE(WriteWholeFile(held, "x"));
    HANDLE handle = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    ClickButton(program, kSaveButton);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr);
    EXPECT_TRUE(AnswerSavePrompt(prompt, held));
    ExpectCouldNotOpen(program);
    CloseHandle(handle);
    // The failed start left nothing behind that stops the next job.
    ASSERT_TRUE(SetRequest(program, "3", kUnitKiB, kModeAscii));
    const std::string path = InFolder("next.txt");
    const JobRun run = RunJob(program, path);
    ASSERT_TRUE(run.completed) << run.failure;
    EXPECT_EQ(FileLength(path), 3072);
}

}  // namespace
