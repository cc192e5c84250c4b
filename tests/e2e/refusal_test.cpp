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
        ExpectIdle(program);
        if (HasFatalFailure()) return;
        EXPECT_EQ(FindProgramWindow(program, "Save As"), nullptr);
        EXPECT_TRUE(FolderEntries(folder).empty()) << "no file made";
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

TEST_F(Refusal, ReadOnlyFile) {
    const std::string path = InFolder("read-only.bin");
    ASSERT_TRUE(WriteWholeFile(path, "kept"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ClickButton(program, kSaveButton);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr);
    EXPECT_TRUE(AnswerSavePrompt(prompt, path));
    ExpectCouldNotOpen(program);
    std::string content;
    ASSERT_TRUE(ReadWholeFile(path, content));
    EXPECT_EQ(content, "kept") << "a read-only file is not replaced";
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"read-only.bin"});
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Made by the test run before this suite (ctest fixture e2e_locked_folder):
// immutable, so that not even root can create a file in it.
const char kLockedFolder[] = "Z:\\tmp\\fillwright-e2e-locked-" FILLWRIGHT_LOCKED_FOLDER_KEY;

TEST_F(Refusal, FolderNobodyMayWriteIn) {
    const std::string path = std::string(kLockedFolder) + "\\made.bin";
    HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        DeleteFileA(path.c_str());
        GTEST_SKIP() << kLockedFolder << " takes new files: the file system here cannot lock a folder";
    }
    ASSERT_NE(GetFileAttributesA(kLockedFolder), INVALID_FILE_ATTRIBUTES)
        << kLockedFolder << " is missing: run through ctest";
    ClickButton(program, kSaveButton);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr);
    EXPECT_TRUE(AnswerSavePrompt(prompt, path));
    ExpectCouldNotOpen(program);
    EXPECT_EQ(FileLength(path), -1);
}

// Size texts as users type or paste them. The number is read as the
// platform's GetDlgItemInt reads it, unsigned; 0 and anything from 2^31 on,
// or no number at all, is refused. Wine reads a leading number and ignores
// what follows; Windows refuses trailing characters (other than spaces).
struct TypedSize {
    const char* text;   // UTF-8
    int64_t wineReads;  // -1: refused under Wine
};
const TypedSize kTypedSizes[] = {
    {" 12", 12},
    {"12 ", 12},
    {"12abc", 12},
    {"+5", 5},
    {"-5", -1},    // 4294967291 as unsigned: past the limit
    {"1e3", 1},    // the number stops at the "e"
    {"0x10", -1},  // the number "0"
    {"007", 7},
    {"4294967296", -1},  // past 32 bits: not a number at all
    // Full-width "12": with the manifest's UTF-8 code page the ANSI text holds
    // it as UTF-8, not digits (the old code page's best fit read it as 12).
    {"\xEF\xBC\x91\xEF\xBC\x92", -1},
};

// What GetDlgItemInt in this process reads from the text: the bytes the
// program must make, or -1 when it must refuse.
int64_t PlatformReading(const std::string& text) {
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND edit =
        CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 10, 10, parent, reinterpret_cast<HMENU>(1), nullptr, nullptr);
    SetWindowTextUtf8(edit, text);
    BOOL read = FALSE;
    const UINT number = GetDlgItemInt(parent, 1, &read, FALSE);
    DestroyWindow(parent);
    if (!read || number == 0 || number >= 0x80000000u) return -1;
    return number;
}

TEST_F(Refusal, SizeTextsAsTyped) {
    for (const TypedSize& typed : kTypedSizes) {
        SCOPED_TRACE(std::string("size text \"") + typed.text + "\"");
        const int64_t expected = PlatformReading(typed.text);
        if (UnderWine()) {
            EXPECT_EQ(expected, typed.wineReads) << "Wine reads this text otherwise now";
        }
        ASSERT_TRUE(SetRequest(program, typed.text, kUnitBytes, kModeAscii));
        if (expected < 0) {
            ExpectRefusedBeforePrompt("Please enter a valid target filesize.");
        } else {
            const std::string path = InFolder("typed.txt");
            const JobRun run = RunJob(program, path);
            ASSERT_TRUE(run.completed) << run.failure;
            EXPECT_EQ(FileLength(path), expected);
            ASSERT_NE(DeleteFileA(path.c_str()), 0);
        }
        if (HasFatalFailure()) return;
    }
}

}  // namespace
