#include "drive_save.h"

#include "drive_report.h"

#include <commdlg.h>

#include <cstdio>
#include <vector>

namespace {

// "fillwright-drivetest-E-2026-12-09.txt"; "folder" for a target without a letter.
std::string OfferedName(const std::string& folder, const char* extension) {
    const bool lettered = folder.size() >= 2 && folder[1] == ':' && IsCharAlphaA(folder[0]);
    const std::string what = lettered ? std::string(1, folder[0]) : std::string("folder");
    SYSTEMTIME today{};
    GetLocalTime(&today);
    char name[96];
    std::snprintf(name, sizeof name, "fillwright-drivetest-%s-%04u-%02u-%02u.%s", what.c_str(), today.wYear, today.wMonth,
                  today.wDay, extension);
    return name;
}

std::string SystemReason(DWORD error) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text, nullptr);
    std::string reason = text;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

bool WriteFileWhole(const std::string& path, const std::string& contents, std::string* reason) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *reason = SystemReason(GetLastError());
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) && written == contents.size();
    if (!ok) *reason = SystemReason(GetLastError());
    const bool closed = CloseHandle(file) != 0;
    if (ok && !closed) *reason = SystemReason(GetLastError());
    return ok && closed;
}

}  // namespace

std::string WindowsLines(const std::string& text) {
    std::string lines;
    for (char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    return lines;
}

ReportFile MakeReportFile(const DriveReport& report, const std::string& folder) {
    return {WindowsLines(DriveReportText(report, folder, report.problem)), "txt", "Text report (*.txt)\0*.txt\0All files\0*.*\0\0"};
}

void SaveReport(HWND dialog, const DriveReport& report, const std::string& folder) {
    const ReportFile file = MakeReportFile(report, folder);
    std::vector<char> name(32768, '\0');
    const std::string offered = OfferedName(folder, file.extension);
    offered.copy(name.data(), name.size() - 1);
    OPENFILENAMEA prompt{};
    prompt.lStructSize = sizeof prompt;
    prompt.hwndOwner = dialog;
    prompt.lpstrFilter = file.filter;
    prompt.lpstrFile = name.data();
    prompt.nMaxFile = static_cast<DWORD>(name.size());
    prompt.lpstrDefExt = file.extension;
    prompt.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameA(&prompt)) return;
    std::string reason;
    if (!WriteFileWhole(name.data(), file.contents, &reason)) {
        const std::string text = std::string(name.data()) + ": " + reason;
        MessageBoxA(dialog, text.c_str(), "Report not saved", MB_OK | MB_ICONERROR);
    }
}

bool CopyText(HWND dialog, const std::string& text) {
    const int wide = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (wide <= 0 || !OpenClipboard(dialog)) return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(wide) * sizeof(wchar_t));
    bool placed = false;
    if (memory != nullptr) {
        auto* characters = static_cast<wchar_t*>(GlobalLock(memory));
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, characters, wide);
        GlobalUnlock(memory);
        placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!placed) GlobalFree(memory);
    }
    CloseClipboard();
    return placed;
}
