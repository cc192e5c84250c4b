#include "driver.h"

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#ifndef FILLWRIGHT_EXE_RELATIVE
#error "FILLWRIGHT_EXE_RELATIVE: the program's path relative to the driver's folder"
#endif

std::string DriverFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

std::string ProgramPath() {
    const std::string joined = DriverFolder() + "\\" + FILLWRIGHT_EXE_RELATIVE;
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(joined.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return joined;
    return std::string(full, length);
}

std::string ToUtf8(const wchar_t* text, int length) {
    if (length <= 0) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], size, nullptr, nullptr);
    return out;
}

static std::wstring ToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &out[0], size);
    return out;
}

std::string UnixPath(const std::string& path) {
    typedef char*(CDECL * UnixNameCall)(const wchar_t*);
    const UnixNameCall unixName = reinterpret_cast<UnixNameCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(ToWide(path).c_str()) : nullptr;
    if (!name) return std::string();
    const std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* ok) {
    DWORD_PTR result = 0;
    const LRESULT answered = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kSendWait, &result);
    if (ok) *ok = answered != 0;
    return static_cast<LRESULT>(result);
}

bool Answers(HWND window) {
    bool ok = false;
    Send(window, WM_NULL, 0, 0, &ok);
    return ok;
}

std::string WindowText(HWND window) {
    // Served by the window manager for another process's window: no message.
    wchar_t text[1024];
    const int length = GetWindowTextW(window, text, 1024);
    return ToUtf8(text, length);
}

std::string ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return "<no control " + std::to_string(id) + ">";
    wchar_t text[2048];
    bool ok = false;
    const LRESULT length = Send(control, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), &ok);
    if (!ok) return "<control " + std::to_string(id) + " did not answer>";
    return ToUtf8(text, static_cast<int>(length));
}

bool SetWindowTextUtf8(HWND window, const std::string& text) {
    const std::wstring wide = ToWide(text);
    bool ok = false;
    const LRESULT done = Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), &ok);
    return ok && done != 0;
}

std::string ClassName(HWND window) {
    char name[256];
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

static BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) && ClassName(window) == "#32770") {
        search->found.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> ProgramWindows(const Program& program) {
    WindowSearch search{program.info.dwProcessId, {}};
    if (program.info.hProcess) EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> ProgramPopups(const Program& program) {
    std::vector<HWND> popups;
    for (HWND window : ProgramWindows(program)) {
        if (window != program.dialog) popups.push_back(window);
    }
    return popups;
}

HWND FindProgramWindow(const Program& program, const std::string& caption, HWND except) {
    for (HWND window : ProgramWindows(program)) {
        if (window != except && WindowText(window) == caption) return window;
    }
    return nullptr;
}

HWND WaitForProgramWindow(const Program& program, const std::string& caption, DWORD timeoutMs, HWND except) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindProgramWindow(program, caption, except)) != nullptr; }, timeoutMs);
    return found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

bool ProgramRunning(const Program& program) {
    return program.info.hProcess && WaitForSingleObject(program.info.hProcess, 0) == WAIT_TIMEOUT;
}

bool WaitForExit(const Program& program, DWORD timeoutMs) {
    return program.info.hProcess && WaitForSingleObject(program.info.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool StartProgram(Program& program, const std::string& path, const std::string& caption, int readyControl) {
    ZeroMemory(&program, sizeof program);
    // A job that ends the program with its last handle: even a driver that
    // crashes leaves no program behind to hold the test run open.
    program.job = CreateJobObjectA(nullptr, nullptr);
    if (program.job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        ZeroMemory(&limits, sizeof limits);
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(program.job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    std::string commandLine = "\"" + path + "\"";
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &program.info)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", path.c_str(), GetLastError());
        ZeroMemory(&program.info, sizeof program.info);
        StopProgram(program);
        return false;
    }
    if (program.job) AssignProcessToJobObject(program.job, program.info.hProcess);
    ResumeThread(program.info.hThread);
    program.dialog = WaitForProgramWindow(program, caption, kWindowWait);
    // Ready once its controls exist and its thread takes messages.
    if (!program.dialog ||
        !WaitUntil([&] { return GetDlgItem(program.dialog, readyControl) && Answers(program.dialog); }, kWindowWait)) {
        std::fprintf(stderr, "the main dialog of %s did not come up\n", path.c_str());
        StopProgram(program);
        return false;
    }
    return true;
}

void StopProgram(Program& program) {
    if (program.info.hProcess) {
        if (ProgramRunning(program)) {
            TerminateProcess(program.info.hProcess, 1);
            WaitForSingleObject(program.info.hProcess, kExitWait);
        }
        CloseHandle(program.info.hProcess);
        CloseHandle(program.info.hThread);
    }
    if (program.job) CloseHandle(program.job);
    ZeroMemory(&program, sizeof program);
}

bool SetRequest(const Program& program, const std::string& sizeText, int unit, int modeId) {
    if (!SetWindowTextUtf8(GetDlgItem(program.dialog, kSizeEdit), sizeText)) return false;
    bool ok = false;
    const LRESULT selected =
        Send(GetDlgItem(program.dialog, kUnitList), CB_SETCURSEL, static_cast<WPARAM>(unit), 0, &ok);
    if (!ok || selected != unit) return false;
    // A click, so the automatic radio buttons clear each other as for a user.
    Send(GetDlgItem(program.dialog, modeId), BM_CLICK, 0, 0, &ok);
    return ok && CheckedMode(program) == modeId && ControlText(program.dialog, kSizeEdit) == sizeText;
}

int CheckedMode(const Program& program) {
    int checked = 0;
    for (int id = kModeZero; id <= kModeSetSize; ++id) {
        if (Send(GetDlgItem(program.dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED) {
            if (checked != 0) return -1;
            checked = id;
        }
    }
    return checked;
}

bool SaveEnabled(const Program& program) { return IsWindowEnabled(GetDlgItem(program.dialog, kSaveButton)) != FALSE; }

int ProgressPosition(const Program& program, bool* ok) {
    return static_cast<int>(Send(GetDlgItem(program.dialog, kProgressBar), PBM_GETPOS, 0, 0, ok));
}

void ClickButton(const Program& program, int id) { PostMessageW(GetDlgItem(program.dialog, id), BM_CLICK, 0, 0); }

void PressKey(const Program& program, WPARAM virtualKey) {
    GUITHREADINFO gui;
    ZeroMemory(&gui, sizeof gui);
    gui.cbSize = sizeof gui;
    HWND target = GetDlgItem(program.dialog, kSizeEdit);
    if (GetGUIThreadInfo(program.info.dwThreadId, &gui) && gui.hwndFocus &&
        (gui.hwndFocus == program.dialog || IsChild(program.dialog, gui.hwndFocus))) {
        target = gui.hwndFocus;
    }
    const UINT scan = MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | static_cast<LPARAM>(scan << 16);
    PostMessageW(target, WM_KEYDOWN, virtualKey, down);
    PostMessageW(target, WM_KEYUP, virtualKey, down | static_cast<LPARAM>(0xC0000000u));
}

static bool BoxHasIcon(HWND box) {
    for (int id : {kBoxIconWine, kBoxIconWindows}) {
        HWND icon = GetDlgItem(box, id);
        if (icon && IsWindowVisible(icon) && Send(icon, STM_GETICON, 0, 0) != 0) return true;
    }
    return false;
}

bool ReadMessageBox(HWND box, MessageBoxInfo& info) {
    info.caption = WindowText(box);
    info.text = ControlText(box, kBoxText);
    info.owner = GetWindow(box, GW_OWNER);
    info.hasIcon = BoxHasIcon(box);
    return IsWindow(box) != FALSE;
}

HWND WaitForMessageBox(const Program& program, const std::string& caption, MessageBoxInfo& info, DWORD timeoutMs) {
    HWND box = WaitForProgramWindow(program, caption, timeoutMs, program.dialog);
    // The text control is filled during the box's initialisation.
    if (box && WaitUntil([&] { return GetDlgItem(box, kBoxText) && Answers(box); }, kWindowWait)) {
        ReadMessageBox(box, info);
        return box;
    }
    return nullptr;
}

bool DismissMessageBox(HWND box) {
    HWND ok = GetDlgItem(box, IDOK);
    if (ok) PostMessageW(ok, BM_CLICK, 0, 0);
    else PostMessageW(box, WM_COMMAND, IDOK, 0);
    return WaitForWindowGone(box, kWindowWait);
}

HWND WaitForSavePrompt(const Program& program, DWORD timeoutMs) {
    HWND prompt = WaitForProgramWindow(program, "Save As", timeoutMs, program.dialog);
    if (prompt && WaitUntil([&] { return GetDlgItem(prompt, kPromptFileName) && Answers(prompt); }, kWindowWait)) {
        return prompt;
    }
    return nullptr;
}

bool AnswerSavePrompt(HWND prompt, const std::string& path) {
    if (!SetWindowTextUtf8(GetDlgItem(prompt, kPromptFileName), path)) return false;
    PostMessageW(prompt, WM_COMMAND, IDOK, 0);
    return WaitForWindowGone(prompt, kWindowWait);
}

bool CancelSavePrompt(HWND prompt) {
    PostMessageW(prompt, WM_COMMAND, IDCANCEL, 0);
    return WaitForWindowGone(prompt, kWindowWait);
}

JobRun RunJob(const Program& program, const std::string& path, DWORD jobTimeoutMs) {
    JobRun run{};
    run.progressAtNotice = -1;
    run.progressAfter = -1;
    ClickButton(program, kSaveButton);
    HWND prompt = WaitForSavePrompt(program);
    if (!prompt) {
        run.failure = "no Save As prompt after Save";
        return run;
    }
    run.saveDisabledDuringJob = !SaveEnabled(program);
    run.promptAnswered = time(nullptr);
    if (!AnswerSavePrompt(prompt, path)) {
        run.failure = "the Save As prompt did not take " + path;
        return run;
    }
    // Whatever the program shows next: the notice, or a message that explains why not.
    std::vector<HWND> popups;
    WaitUntil([&] { return !(popups = ProgramPopups(program)).empty(); }, jobTimeoutMs);
    if (popups.empty()) {
        run.failure = "no completion notice";
        return run;
    }
    run.noticeShown = time(nullptr);
    MessageBoxInfo notice;
    HWND box = WaitForMessageBox(program, WindowText(popups[0]), notice);
    if (!box || notice.caption != "Finished" || notice.text != "Finished making new file.") {
        run.failure = "expected the completion notice, saw \"" + notice.text + "\" / \"" + notice.caption + "\"";
        return run;
    }
    run.saveDisabledDuringJob = run.saveDisabledDuringJob && !SaveEnabled(program);
    run.progressAtNotice = ProgressPosition(program);
    run.noticeOwnedByDialog = notice.owner == program.dialog;
    run.noticeHasIcon = notice.hasIcon;
    if (!DismissMessageBox(box)) {
        run.failure = "the completion notice did not go away";
        return run;
    }
    run.saveEnabledAfter = WaitUntil([&] { return SaveEnabled(program); }, kWindowWait);
    run.progressAfter = ProgressPosition(program);
    run.completed = true;
    return run;
}

std::string MakeTempFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    for (unsigned n = 0;; ++n) {
        const std::string folder =
            std::string(base) + "fillwright-e2e-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n);
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
    }
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void RemoveFolderTree(const std::string& folder) {
    if (folder.empty()) return;
    for (const std::string& name : FolderEntries(folder)) {
        const std::string path = folder + "\\" + name;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveFolderTree(path);
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(folder.c_str());
}

int64_t FileLength(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool WriteWholeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out);
}
