#include "dialog_driver.h"

#include "drive_colours.h"
#include "drive_paint.h"
#include "resource.h"

#include <dbt.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#ifndef FILLWRIGHT_DRIVETEST_EXE_RELATIVE
#error "FILLWRIGHT_DRIVETEST_EXE_RELATIVE: the program's path relative to the driver's folder"
#endif

namespace {

std::string InDriverFolder(const char* relative) {
    const std::string joined = DriverFolder() + "\\" + relative;
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(joined.c_str(), MAX_PATH, full, nullptr);
    return length == 0 || length >= MAX_PATH ? joined : std::string(full, length);
}

}  // namespace

std::string DriveProgramPath() { return InDriverFolder(FILLWRIGHT_DRIVETEST_EXE_RELATIVE); }
std::string CliPath() { return InDriverFolder(FILLWRIGHT_CLI_EXE_RELATIVE); }

bool StartDriveProgram(Program& program) {
    return StartProgram(program, DriveProgramPath(), "Fillwright Drive Test", IDC_DRIVE_COPY);
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string DriveRoot(const char* name) {
    const std::string letter = Environment((std::string("FILLWRIGHT_DRIVE_") + name).c_str());
    return letter.empty() ? "" : letter + ":\\";
}

// Wine starts a Linux program named by its Windows path, but its handle
// tells neither its end nor its status: the script writes them to a file.
int RunUnix(const std::string& command, std::string* output) {
    const std::string folder = MakeTempFolder();
    const std::string script = UnixPath(folder + "\\run.sh"), out = UnixPath(folder + "\\out"),
                      status = UnixPath(folder + "\\status");
    WriteWholeFile(folder + "\\run.sh", "( " + command + " ) >" + out + " 2>&1\necho $? >" + status + ".part\nmv " +
                                            status + ".part " + status + "\n");
    std::string line = "sh " + script;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    int result = -1;
    if (CreateProcessA("Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        std::string text;
        if (WaitUntil([&] { return ReadWholeFile(folder + "\\status", text); }, 60000))
            result = std::atoi(text.c_str());
        if (output) ReadWholeFile(folder + "\\out", *output);
    }
    RemoveFolderTree(folder);
    return result;
}

int RunProgram(const std::string& path, const std::string& arguments, std::string* output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string line = "\"" + path + "\" " + arguments;
    PROCESS_INFORMATION info{};
    const bool started =
        CreateProcessA(path.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info) != 0;
    CloseHandle(writeEnd);
    output->clear();
    char buffer[4096];
    DWORD got = 0;
    while (started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) output->append(buffer, got);
    CloseHandle(readEnd);
    if (!started) return -1;
    WaitForSingleObject(info.hProcess, 120000);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return static_cast<int>(code);
}

void ClearTestSet(const std::string& root) {
    for (const std::string& name : FolderEntries(root)) {
        if (name.rfind("fillwright-drivetest", 0) == 0) DeleteFileA((root + name).c_str());
    }
}

bool IsEnabled(const Program& program, int id) { return IsWindowEnabled(GetDlgItem(program.dialog, id)) != FALSE; }

bool SetTarget(const Program& program, const std::string& text) {
    HWND combo = GetDlgItem(program.dialog, IDC_DRIVE_TARGET);
    if (!SetWindowTextUtf8(combo, text)) return false;
    // As typing does: the dialog hears of the change.
    Send(program.dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_TARGET, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(combo));
    return true;
}

std::vector<std::string> ListedDrives(const Program& program) {
    HWND combo = GetDlgItem(program.dialog, IDC_DRIVE_TARGET);
    std::vector<std::string> entries;
    const LRESULT count = Send(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT k = 0; k < count; ++k) {
        wchar_t text[512] = L"";
        if (Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(k), 0) >= 512) continue;
        entries.push_back(ToUtf8(
            text, static_cast<int>(Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(text)))));
    }
    return entries;
}

bool WaitForTestEnd(const Program& program, DWORD timeoutMs) {
    // Stop stays enabled until the next tick of the dialog's 250 ms timer at
    // least: a test, however short, is seen to run.
    if (!WaitUntil([&] { return IsEnabled(program, IDC_DRIVE_STOP); }, kWindowWait)) return false;
    return WaitUntil([&] { return IsEnabled(program, IDC_DRIVE_START) && !IsEnabled(program, IDC_DRIVE_STOP); },
                     timeoutMs);
}

bool WaitForWriting(const Program& program, int percent, DWORD timeoutMs) {
    return WaitUntil(
        [&] {
            const std::string status = ControlText(program.dialog, IDC_DRIVE_STATUS);
            const size_t open = status.find(" (");
            return status.rfind("Writing:", 0) == 0 && open != std::string::npos &&
                   std::atoi(status.c_str() + open + 2) >= percent;
        },
        timeoutMs);
}

HWND WaitForBox(const Program& program, MessageBoxInfo& info, DWORD timeoutMs) {
    HWND box = nullptr;
    WaitUntil(
        [&] {
            const std::vector<HWND> popups = ProgramPopups(program);
            box = popups.empty() ? nullptr : popups.front();
            return box != nullptr;
        },
        timeoutMs);
    if (box) ReadMessageBox(box, info);
    return box;
}

bool AnswerBox(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    return WaitForWindowGone(box, kWindowWait);
}

bool IsDefaultButton(HWND box, int button) {
    HWND item = GetDlgItem(box, button);
    return item != nullptr && (GetWindowLongW(item, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
}

std::vector<int> ReadMapCells(const Program& program) {
    HWND map = GetDlgItem(program.dialog, IDC_DRIVE_MAP);
    RECT area{};
    GetClientRect(map, &area);
    POINT origin{0, 0};
    ClientToScreen(map, &origin);
    HDC screen = GetDC(nullptr);
    std::vector<int> cells;
    for (int cell = 0; cell < kMapCells; ++cell) {
        const RECT box = MapCellBox(area, cell);
        const COLORREF seen =
            GetPixel(screen, origin.x + (box.left + box.right) / 2, origin.y + (box.top + box.bottom) / 2);
        int state = kCellStateCount;
        for (int k = 0; k < kCellStateCount; ++k) {
            if (seen == kCellColours[k]) state = k;
        }
        cells.push_back(state);
    }
    ReleaseDC(nullptr, screen);
    return cells;
}

bool SaveScreenshot(const Program& program, const std::string& path) {
    RECT frame{};
    GetWindowRect(program.dialog, &frame);
    std::ostringstream command;
    command << "import -window root -crop " << frame.right - frame.left << "x" << frame.bottom - frame.top << "+"
            << frame.left << "+" << frame.top << " " << path;
    return RunUnix(command.str()) == 0;
}

std::string LineStarting(const std::string& text, const std::string& prefix) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(prefix, 0) == 0) return line.substr(0, line.find_last_not_of("\r ") + 1);
    }
    return "";
}

std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* wide = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (wide) text = ToUtf8(wide, static_cast<int>(wcslen(wide)));
    if (wide) GlobalUnlock(data);
    CloseClipboard();
    return text;
}

// Sent as Windows broadcasts it when a volume arrives or goes.
void BroadcastVolume(const Program& program, char letter, WPARAM event) {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = DWORD(1) << (letter - 'A');
    Send(program.dialog, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume));
}
