// Driving the real fillwright.exe from another process, as a user would:
// start and stop it, find its windows, read and set control texts, answer
// the Save As prompt and dismiss message boxes. Every wait is bounded.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// Bounds of the waits. Generous, since the machine is shared and Wine is slow
// to open its first windows; a fault costs at most one bound per step.
const DWORD kWindowWait = 20000;  // a window to appear or go away
const DWORD kExitWait = 10000;    // the process to end after Exit or close
const DWORD kSendWait = 5000;     // one cross-process message
const DWORD kPollInterval = 20;   // sleep between two looks

// Control ids of the main dialog.
const int kSizeLabel = 103;
const int kSizeEdit = 101;
const int kUnitList = 102;
const int kModeGroup = 104;
const int kModeZero = 107;
const int kModeRandom = 108;
const int kModeAscii = 109;
const int kModeSetSize = 110;
const int kSaveButton = 105;
const int kExitButton = 106;
const int kProgressBar = 111;

const int kUnitBytes = 0;
const int kUnitKiB = 1;
const int kUnitMiB = 2;

// Control ids in other processes' standard windows (Wine's numbers).
const int kPromptFileName = 0x47c;  // ComboBoxEx32 of the Save As prompt
const int kBoxText = 0xFFFF;        // static text of a message box
const int kBoxIconWine = 0x440;     // icon of a message box under Wine
const int kBoxIconWindows = 0x14;   // the same on Windows

struct Program {
    PROCESS_INFORMATION info;  // hProcess null when not started
    HANDLE job;                // kills the program if the driver itself dies
    HWND dialog;
};

// fillwright.exe of the same build as this driver.
std::string ProgramPath();
// True when this driver runs under Wine rather than Windows.
bool UnderWine();
// Folder of this driver's executable, without a trailing backslash.
std::string DriverFolder();

// Starts the program (or another build of it beside it) and waits for its
// main dialog. False, with the program ended, when it does not come up in time.
// A program other than fillwright.exe names its dialog's caption and a control
// that exists once the dialog is ready.
bool StartProgram(Program& program, const std::string& path = ProgramPath(), const std::string& caption = "Fillwright",
                  int readyControl = kProgressBar);
// Ends the program if it still runs and releases the handles. Safe to repeat.
void StopProgram(Program& program);
bool ProgramRunning(const Program& program);
bool WaitForExit(const Program& program, DWORD timeoutMs);

// Polls predicate every kPollInterval until it holds or timeoutMs passes.
template <typename Predicate>
bool WaitUntil(Predicate predicate, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (predicate()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(kPollInterval);
    }
}

// Visible top-level "#32770" windows of the program (dialog, prompt, boxes).
std::vector<HWND> ProgramWindows(const Program& program);
// The first such window with this caption, other than except; null if none.
HWND FindProgramWindow(const Program& program, const std::string& caption, HWND except = nullptr);
HWND WaitForProgramWindow(const Program& program, const std::string& caption, DWORD timeoutMs, HWND except = nullptr);
bool WaitForWindowGone(HWND window, DWORD timeoutMs);
// The program's windows other than the main dialog: prompts and boxes.
std::vector<HWND> ProgramPopups(const Program& program);

// Cross-process messages that give up after kSendWait; ok tells whether the
// window answered.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* ok = nullptr);
bool Answers(HWND window);  // the window's thread handles a message in time

// Texts as UTF-8, read and written with the wide messages (the narrow ones
// can hand back UTF-16 across processes under Wine).
std::string WindowText(HWND window);
std::string ToUtf8(const wchar_t* text, int length);
std::string ControlText(HWND dialog, int id);
bool SetWindowTextUtf8(HWND window, const std::string& text);
std::string ClassName(HWND window);

// The main dialog as a user sets it up.
bool SetRequest(const Program& program, const std::string& sizeText, int unit, int modeId);
int CheckedMode(const Program& program);  // id of the one checked radio button, 0 if none, -1 if several
bool SaveEnabled(const Program& program);
int ProgressPosition(const Program& program, bool* ok = nullptr);
void ClickButton(const Program& program, int id);  // posted: the click may open modal windows
// A key as the dialog's message loop sees it, posted to the focused control.
void PressKey(const Program& program, WPARAM virtualKey);

struct MessageBoxInfo {
    std::string caption;
    std::string text;
    HWND owner;
    bool hasIcon;  // an icon control that is visible and holds an icon
};
bool ReadMessageBox(HWND box, MessageBoxInfo& info);
// Waits for a box of this caption, reads it. Null if none came in time.
HWND WaitForMessageBox(const Program& program, const std::string& caption, MessageBoxInfo& info,
                       DWORD timeoutMs = kWindowWait);
// Presses OK and waits for the box to go.
bool DismissMessageBox(HWND box);

// Waits for the Save As prompt; null if it does not come.
HWND WaitForSavePrompt(const Program& program, DWORD timeoutMs = kWindowWait);
// Types path into the prompt and confirms, then waits for the prompt to go.
bool AnswerSavePrompt(HWND prompt, const std::string& path);
bool CancelSavePrompt(HWND prompt);

// A job from Save to the dismissed completion notice: what was seen on the way.
struct JobRun {
    bool completed;              // every step below was seen
    std::string failure;         // the first step that was not
    time_t promptAnswered;       // clock before confirming the prompt
    time_t noticeShown;          // clock once the notice was found
    bool saveDisabledDuringJob;  // while the prompt and the notice were open
    int progressAtNotice;        // the bar while the notice is open
    bool noticeOwnedByDialog;
    bool noticeHasIcon;
    bool saveEnabledAfter;
    int progressAfter;
};
// Presses Save, names path in the prompt, waits for "Finished" and dismisses it.
JobRun RunJob(const Program& program, const std::string& path, DWORD jobTimeoutMs = kWindowWait);

// Files through the Win32 calls, so the paths are the program's own.
std::string MakeTempFolder();
void RemoveFolderTree(const std::string& folder);
int64_t FileLength(const std::string& path);  // -1 when missing
bool ReadWholeFile(const std::string& path, std::string& content);
bool WriteWholeFile(const std::string& path, const std::string& content);
std::vector<std::string> FolderEntries(const std::string& folder);  // names, without . and ..
// Under Wine, the Linux path that Wine gives the file system for path; else empty.
std::string UnixPath(const std::string& path);
