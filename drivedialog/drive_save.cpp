#include "drive_save.h"

#include "drive_page.h"
#include "drive_page_file.h"

#include <commdlg.h>

#include <cstdio>
#include <vector>

namespace {

// "fillwright-drivetest-E-2026-12-09.html"; "folder" for a target without a letter.
std::string OfferedName(const std::string& folder, const char* extension) {
    const bool lettered = folder.size() >= 2 && folder[1] == ':' && IsCharAlphaA(folder[0]);
    const std::string what = lettered ? std::string(1, folder[0]) : std::string("folder");
    SYSTEMTIME today{};
    GetLocalTime(&today);
    char name[96];
    std::snprintf(name, sizeof name, "fillwright-drivetest-%s-%04u-%02u-%02u.%s", what.c_str(), today.wYear,
                  today.wMonth, today.wDay, extension);
    return name;
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

ReportFile MakeReportFile(const DriveReport& report) {
    return {DrivePageHtml(report), "html", "Web page (*.html)\0*.html\0All files\0*.*\0\0"};
}

void SaveReport(HWND dialog, const DriveReport& report, const std::string& folder) {
    const ReportFile file = MakeReportFile(report);
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
    if (!SaveDrivePage(SystemDriveOps(), name.data(), file.contents, &reason)) {
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
