// Driving fillwright-drivetest.exe as a user would, on drive letters that
// drive_dialog.sh points at real file systems, and doing what a user does
// to a drive from the Linux side (drop the caches, pull it out).
#pragma once

#include "../e2e/driver.h"
#include "drive_map.h"

#include <string>
#include <vector>

// fillwright-drivetest.exe of the same build as this driver.
std::string DriveProgramPath();
bool StartDriveProgram(Program& program);

// "P:\" from the environment's FILLWRIGHT_DRIVE_<NAME>, empty when unset.
std::string DriveRoot(const char* name);
// An environment variable's value, empty when unset.
std::string Environment(const char* name);

// Runs command under the Linux shell and waits for it (bounded); its exit
// status, or -1 when it did not end in time. output gets what it printed.
int RunUnix(const std::string& command, std::string* output = nullptr);
// Runs a Windows program of this build with arguments; its exit status and stdout.
int RunProgram(const std::string& path, const std::string& arguments, std::string* output);
std::string CliPath();

// Removes the test set's files from root.
void ClearTestSet(const std::string& root);

bool IsEnabled(const Program& program, int id);
// Types the target into the combo box's edit.
bool SetTarget(const Program& program, const std::string& text);
std::vector<std::string> ListedDrives(const Program& program);
// Waits until a test has begun and ended: Stop enabled, then Write + Verify
// enabled again and Stop not.
bool WaitForTestEnd(const Program& program, DWORD timeoutMs);
// Waits until the status reads "Writing:" with at least percent done.
bool WaitForWriting(const Program& program, int percent, DWORD timeoutMs);

// A message box of the program other than its dialog (the caption is the
// same as the dialog's); null if none came in time.
HWND WaitForBox(const Program& program, MessageBoxInfo& info, DWORD timeoutMs = kWindowWait);
// Presses a box's button (IDYES, IDNO, IDCANCEL, IDOK) and waits for it to go.
bool AnswerBox(HWND box, int button);
bool IsDefaultButton(HWND box, int button);

// The state of each cell of the map as drawn on the screen, read back by the
// colours of its legend; kCellStateCount for a cell of no legend colour.
std::vector<int> ReadMapCells(const Program& program);
// A screenshot of the dialog into path (PNG), through ImageMagick's import.
bool SaveScreenshot(const Program& program, const std::string& path);

// The line of text that starts with prefix, empty if none.
std::string LineStarting(const std::string& text, const std::string& prefix);
std::string ClipboardText();
// WM_DEVICECHANGE as Windows broadcasts it for a volume (DBT_DEVICEARRIVAL,
// DBT_DEVICEREMOVECOMPLETE); Wine here sends none.
void BroadcastVolume(const Program& program, char letter, WPARAM event);
