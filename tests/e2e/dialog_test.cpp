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

TEST_F(StartState, OnlyTheDialogIsOpen) {
    EXPECT_EQ(ProgramWindows(program).size(), 1u);
    EXPECT_EQ(GetWindow(program.dialog, GW_OWNER), nullptr) << "the dialog has no owner";
}

}  // namespace
