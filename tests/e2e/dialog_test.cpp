// The main dialog as it opens, its keys, and the ways to end the program.
#include "program_test.h"

#include <commctrl.h>

namespace {

using StartState = ProgramTest;

TEST_F(StartState, SizeBoxShows1024) { EXPECT_EQ(ControlText(program.dialog, kSizeEdit), "1024"); }

TEST_F(StartState, UnitListHoldsBytesKiBMiBWithBytesSelected) {
    HWND list = GetDlgItem(program.dialog, kUnitList);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(Send(list, CB_GETCOUNT, 0, 0), 3);
    const char* units[] = {"bytes", "KiB", "MiB"};
    for (int i = 0; i < 3; ++i) {
        wchar_t text[64] = {};
        const LRESULT length = Send(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        ASSERT_GT(length, 0);
        ASSERT_LT(length, 64);
        Send(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        std::string entry;
        for (int c = 0; c < length; ++c) entry.push_back(static_cast<char>(text[c]));
        EXPECT_EQ(entry, units[i]) << "entry " << i;
    }
    EXPECT_EQ(Send(list, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(ControlText(program.dialog, kUnitList), "bytes") << "the list shows the selection";
}

TEST_F(StartState, OnlyNoDataIsChecked) {
    EXPECT_EQ(Send(GetDlgItem(program.dialog, kModeZero), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(Send(GetDlgItem(program.dialog, kModeRandom), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(Send(GetDlgItem(program.dialog, kModeAscii), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(Send(GetDlgItem(program.dialog, kModeSetSize), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(StartState, ProgressBarEmptyOnRange0To100) {
    HWND bar = GetDlgItem(program.dialog, kProgressBar);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(ClassName(bar), "msctls_progress32");
    EXPECT_EQ(Send(bar, PBM_GETRANGE, TRUE, 0), 0) << "low end";
    EXPECT_EQ(Send(bar, PBM_GETRANGE, FALSE, 0), 100) << "high end";
    EXPECT_EQ(Send(bar, PBM_GETPOS, 0, 0), 0);
}

TEST_F(StartState, SaveAndExitEnabled) {
    EXPECT_TRUE(SaveEnabled(program));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(program.dialog, kExitButton)));
    EXPECT_TRUE(IsWindowEnabled(program.dialog));
}

TEST_F(StartState, FocusInTheSizeBox) {
    // The first tab stop gets the focus at start.
    GUITHREADINFO gui;
    ZeroMemory(&gui, sizeof gui);
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(program.info.dwThreadId, &gui));
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(program.dialog, kSizeEdit));
}

TEST_F(StartState, AtTheTopLeftCornerWithoutAWindowIcon) {
    RECT frame;
    ASSERT_TRUE(GetWindowRect(program.dialog, &frame));
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    EXPECT_EQ(Send(program.dialog, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(Send(program.dialog, WM_GETICON, ICON_SMALL, 0), 0);
    const LONG_PTR style = GetWindowLongPtrW(program.dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX) << "can be minimised";
    EXPECT_FALSE(style & WS_MAXIMIZEBOX) << "cannot be maximised";
    EXPECT_FALSE(style & WS_THICKFRAME) << "cannot be resized";
}

TEST_F(StartState, OnlyTheDialogIsOpen) {
    EXPECT_EQ(ProgramWindows(program).size(), 1u);
    EXPECT_EQ(GetWindow(program.dialog, GW_OWNER), nullptr) << "the dialog has no owner";
}

using Keys = ProgramTest;

TEST_F(Keys, EnterPressesSave) {
    PressKey(program, VK_RETURN);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr) << "Enter did not open the Save As prompt";
    EXPECT_FALSE(SaveEnabled(program));
    ASSERT_TRUE(CancelSavePrompt(prompt));
    EXPECT_TRUE(WaitUntil([&] { return SaveEnabled(program); }, kWindowWait));
}

TEST_F(Keys, EscapeDoesNothing) {
    PressKey(program, VK_ESCAPE);
    // The keys are handled in order: once Enter has opened the prompt, the
    // Escape before it has been handled, and the dialog must still be there.
    PressKey(program, VK_RETURN);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr) << "the dialog did not take Enter after Escape";
    EXPECT_TRUE(ProgramRunning(program));
    EXPECT_TRUE(IsWindowVisible(program.dialog));
    ASSERT_TRUE(CancelSavePrompt(prompt));
    EXPECT_TRUE(WaitUntil([&] { return SaveEnabled(program); }, kWindowWait));
    EXPECT_TRUE(ProgramRunning(program));
    EXPECT_EQ(ProgramWindows(program).size(), 1u);
}

TEST_F(Keys, CancelCommandDoesNothing) {
    // What Escape sends, sent straight.
    bool ok = false;
    Send(program.dialog, WM_COMMAND, IDCANCEL, 0, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(Answers(program.dialog));
    EXPECT_TRUE(ProgramRunning(program));
    EXPECT_TRUE(IsWindowVisible(program.dialog));
}

using Ending = ProgramTest;

void ExpectEnded(Program& program) {
    ASSERT_TRUE(WaitForExit(program, kExitWait)) << "the program still runs";
    DWORD code = 1;
    GetExitCodeProcess(program.info.hProcess, &code);
    EXPECT_EQ(code, 0u) << "the program returns 0";
}

TEST_F(Ending, ExitButton) {
    ClickButton(program, kExitButton);
    ExpectEnded(program);
}

TEST_F(Ending, CloseMessage) {
    PostMessageW(program.dialog, WM_CLOSE, 0, 0);
    ExpectEnded(program);
}

TEST_F(Ending, CloseBox) {
    PostMessageW(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ExpectEnded(program);
}

TEST_F(Ending, ExitAfterAJob) {
    const JobRun run = RunJob(program, InFolder("before-exit.bin"));
    ASSERT_TRUE(run.completed) << run.failure;
    ClickButton(program, kExitButton);
    ExpectEnded(program);
}

}  // namespace
