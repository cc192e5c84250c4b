// A writer whose file refuses every byte: its own ownerless messages, in
// order, with the dialog usable meanwhile, and still the completion notice.
#include "program_test.h"

#include <commctrl.h>

namespace {

// A link to /dev/full in an ordinary folder, made by the test run before this
// suite (ctest fixture e2e_full_device_link). Writing to it fails with "disk
// full"; moving its position works; setting its end fails.
std::string FullDeviceLink() { return DriverFolder() + "\\full_device\\full"; }

class WriteFailure : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        // Opened rather than asked for attributes, which Wine has none of for a device.
        HANDLE link = CreateFileA(FullDeviceLink().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(link, INVALID_HANDLE_VALUE)
            << FullDeviceLink() << " is missing: run through ctest, or link it to /dev/full by hand";
        CloseHandle(link);
    }

    void StartJobOnFullDevice(int modeId) {
        ASSERT_TRUE(SetRequest(program, "3", kUnitKiB, modeId));
        ClickButton(program, kSaveButton);
        HWND prompt = WaitForSavePrompt(program);
        ASSERT_NE(prompt, nullptr);
        ASSERT_TRUE(AnswerSavePrompt(prompt, FullDeviceLink()));
    }

    // The next message of the writer: alone, ownerless, with the error icon.
    HWND ExpectWriterMessage(const std::string& text) {
        std::vector<HWND> popups;
        WaitUntil([&] { return !(popups = ProgramPopups(program)).empty(); }, kWindowWait);
        EXPECT_EQ(popups.size(), 1u) << "expected only \"" << text << "\"";
        if (popups.empty()) return nullptr;
        MessageBoxInfo box;
        HWND found = WaitForMessageBox(program, WindowText(popups[0]), box);
        EXPECT_NE(found, nullptr);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.owner, nullptr) << "the writer's messages have no owner";
        EXPECT_TRUE(box.hasIcon);
        return found;
    }

    // While a writer's message is open the dialog is not blocked: it is
    // enabled, answers, keeps Save disabled and takes input.
    void ExpectDialogUsable(const std::string& sizeText, int modeId) {
        EXPECT_TRUE(IsWindowEnabled(program.dialog)) << "an ownerless box must not disable the dialog";
        EXPECT_TRUE(Answers(program.dialog));
        EXPECT_FALSE(SaveEnabled(program)) << "the job is not over";
        bool ok = false;
        const int position = ProgressPosition(program, &ok);
        EXPECT_TRUE(ok) << "the bar does not answer";
        EXPECT_EQ(position, 0) << "nothing was written, the bar stays empty";
        EXPECT_TRUE(SetWindowTextUtf8(GetDlgItem(program.dialog, kSizeEdit), sizeText));
        EXPECT_EQ(ControlText(program.dialog, kSizeEdit), sizeText);
        Send(GetDlgItem(program.dialog, modeId), BM_CLICK, 0, 0, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(CheckedMode(program), modeId);
    }

    void ExpectNoticeAndIdle() {
        MessageBoxInfo notice;
        HWND box = WaitForMessageBox(program, "Finished", notice);
        ASSERT_NE(box, nullptr) << "no completion notice after the writer's messages";
        EXPECT_EQ(notice.text, "Finished making new file.");
        EXPECT_EQ(notice.owner, program.dialog);
        EXPECT_EQ(ProgramPopups(program).size(), 1u);
        EXPECT_EQ(ProgressPosition(program), 100);
        ASSERT_TRUE(DismissMessageBox(box));
        EXPECT_TRUE(WaitUntil([&] { return SaveEnabled(program); }, kWindowWait));
        EXPECT_EQ(ProgressPosition(program), 0);
        EXPECT_TRUE(ProgramPopups(program).empty());
    }
};

TEST_F(WriteFailure, WritingModeReportsWriteThenEndOfFile) {
    StartJobOnFullDevice(kModeZero);
    if (HasFatalFailure()) return;
    HWND box = ExpectWriterMessage("I/O");
    ASSERT_NE(box, nullptr);
    ExpectDialogUsable("77", kModeAscii);
    // Past two ticks of the poll: no notice may come while the writer waits.
    Sleep(1200);
    EXPECT_EQ(ProgramPopups(program).size(), 1u) << "only the writer's message is open";
    EXPECT_EQ(ProgressPosition(program), 0);
    ASSERT_TRUE(DismissMessageBox(box));

    box = ExpectWriterMessage("I/O Error in SetEndOfFile() call");
    ASSERT_NE(box, nullptr);
    ExpectDialogUsable("78", kModeRandom);
    ASSERT_TRUE(DismissMessageBox(box));

    ExpectNoticeAndIdle();
    // The dialog keeps what was typed meanwhile.
    EXPECT_EQ(ControlText(program.dialog, kSizeEdit), "78");
    EXPECT_EQ(CheckedMode(program), kModeRandom);
}

TEST_F(WriteFailure, EveryWritingModeReportsTheWrite) {
    for (int modeId : {kModeRandom, kModeAscii}) {
        SCOPED_TRACE("mode " + std::to_string(modeId));
        StartJobOnFullDevice(modeId);
        if (HasFatalFailure()) return;
        HWND box = ExpectWriterMessage("I/O");
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(DismissMessageBox(box));
        box = ExpectWriterMessage("I/O Error in SetEndOfFile() call");
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(DismissMessageBox(box));
        ExpectNoticeAndIdle();
    }
}

TEST_F(WriteFailure, SetSizeModeReportsOnlyTheEndOfFile) {
    // This mode writes nothing, so only setting the length can fail.
    StartJobOnFullDevice(kModeSetSize);
    if (HasFatalFailure()) return;
    HWND box = ExpectWriterMessage("I/O Error in SetEndOfFile() call");
    ASSERT_NE(box, nullptr);
    ExpectDialogUsable("79", kModeZero);
    ASSERT_TRUE(DismissMessageBox(box));
    ExpectNoticeAndIdle();
}

TEST_F(WriteFailure, JobAfterwardsIsClean) {
    StartJobOnFullDevice(kModeZero);
    if (HasFatalFailure()) return;
    for (const char* text : {"I/O", "I/O Error in SetEndOfFile() call"}) {
        HWND box = ExpectWriterMessage(text);
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(DismissMessageBox(box));
    }
    ExpectNoticeAndIdle();
    ASSERT_TRUE(SetRequest(program, "2", kUnitKiB, kModeAscii));
    const std::string path = InFolder("after-failure.txt");
    const JobRun run = RunJob(program, path);
    ASSERT_TRUE(run.completed) << run.failure;
    EXPECT_EQ(FileLength(path), 2048);
}

}  // namespace
