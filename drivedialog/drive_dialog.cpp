// fillwright-drivetest.exe: the drive test in a modal dialog. The test runs
// on a thread of its own (drive_run.cpp); a 250 ms timer shows its record.
#include "drive_list.h"
#include "drive_paint.h"
#include "drive_prompts.h"
#include "drive_report.h"
#include "drive_run.h"
#include "drive_save.h"
#include "drive_status.h"
#include "resource.h"

#include <commctrl.h>
#include <dbt.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {

const char* const kCaption = "Fillwright Drive Test";
const int kProgressSteps = 1000;

struct DialogState {
    std::vector<DriveEntry> drives;
    bool running = false;
    bool closeWhenStopped = false;
    std::string testedFolder;
    std::optional<DriveReport> report;  // of the last test that ended
    DialogMap map;                      // as last drawn
};
DialogState state;

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
void Enable(HWND dialog, int id, bool enable) { EnableWindow(Item(dialog, id), enable ? TRUE : FALSE); }

std::string ItemText(HWND dialog, int id) {
    HWND item = Item(dialog, id);
    std::string text(static_cast<size_t>(GetWindowTextLengthA(item)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(item, &text[0], static_cast<int>(text.size()))));
    return text;
}

void SetStatus(HWND dialog, const std::string& text) { SetDlgItemTextA(dialog, IDC_DRIVE_STATUS, text.c_str()); }

// An entry of the list stands for its path; anything else is a folder as typed.
std::string TargetFolder(HWND dialog) {
    std::string text = ItemText(dialog, IDC_DRIVE_TARGET);
    const auto listed = std::find_if(state.drives.begin(), state.drives.end(),
                                     [&](const DriveEntry& entry) { return entry.text == text; });
    if (listed != state.drives.end()) return listed->path;
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

void UpdateVerifyButton(HWND dialog) {
    Enable(dialog, IDC_DRIVE_VERIFY, !state.running && LookForSet(TargetFolder(dialog)).present);
}

void RefreshDriveList(HWND dialog) {
    const std::string typed = ItemText(dialog, IDC_DRIVE_TARGET);
    state.drives = ListDrives();
    SendDlgItemMessageA(dialog, IDC_DRIVE_TARGET, CB_RESETCONTENT, 0, 0);
    for (const DriveEntry& entry : state.drives) {
        SendDlgItemMessageA(dialog, IDC_DRIVE_TARGET, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text.c_str()));
    }
    SetDlgItemTextA(dialog, IDC_DRIVE_TARGET, typed.c_str());
}

void ShowRunning(HWND dialog, bool running) {
    state.running = running;
    for (int id : {IDC_DRIVE_TARGET, IDC_DRIVE_BROWSE, IDC_DRIVE_ALL, IDC_DRIVE_ONLY, IDC_DRIVE_ONLY_MIB,
                   IDC_DRIVE_KEEP_GOING, IDC_DRIVE_START}) {
        Enable(dialog, id, !running);
    }
    Enable(dialog, IDC_DRIVE_STOP, running);
    Enable(dialog, IDC_DRIVE_SAVE, !running && state.report.has_value());
    Enable(dialog, IDC_DRIVE_COPY, !running && state.report.has_value());
    UpdateVerifyButton(dialog);
}

void Redraw(HWND dialog) {
    InvalidateRect(Item(dialog, IDC_DRIVE_MAP), nullptr, FALSE);
    InvalidateRect(Item(dialog, IDC_DRIVE_GRAPH), nullptr, FALSE);
}

void ShowVerdictIcon(HWND dialog, const DriveReport* report) {
    HICON icon = nullptr;
    if (report != nullptr) {
        switch (report->result) {
            case DriveResult::ok: icon = LoadIcon(nullptr, IDI_INFORMATION); break;
            case DriveResult::lost: icon = LoadIcon(nullptr, IDI_ERROR); break;
            case DriveResult::interrupted: icon = LoadIcon(nullptr, IDI_INFORMATION); break;
            default: icon = LoadIcon(nullptr, IDI_WARNING); break;  // failed, and results added later
        }
    }
    SendDlgItemMessageA(dialog, IDC_DRIVE_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

// The verdict line of the report, and what an interrupted test leaves.
std::string EndStatus(const DriveReport& report, const std::string& text) {
    std::string status = text.substr(0, text.find('\n'));
    switch (report.result) {
        case DriveResult::ok:
        case DriveResult::lost:
        case DriveResult::failed: break;
        case DriveResult::interrupted:
            status += " What was written stays: Write + Verify continues it, Verify reads it.";
            break;
        default: status += std::string(" (") + DriveResultName(report.result) + ")"; break;
    }
    return status;
}

// The bar shows the phase under way, as far as it has gone.
void ShowProgress(HWND dialog, const DriveProgress& progress) {
    const uint64_t expected = progress.bytesExpected > 0 ? progress.bytesExpected : 1;
    const uint64_t done = progress.bytesDone < expected ? progress.bytesDone : expected;
    const double fraction = static_cast<double>(done) / static_cast<double>(expected);
    SendDlgItemMessageA(dialog, IDC_DRIVE_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(fraction * kProgressSteps), 0);
}

void Finish(HWND dialog) {
    KillTimer(dialog, IDT_DRIVE_PROGRESS);
    state.report = CollectDriveRun();
    const std::string text = DriveReportText(*state.report, state.testedFolder, ProblemText(state.report->problem));
    SetDlgItemTextA(dialog, IDC_DRIVE_RESULT, WindowsLines(text).c_str());
    SetStatus(dialog, EndStatus(*state.report, text));
    ShowVerdictIcon(dialog, &*state.report);
    // The last progress too: the timer may not have seen the last requests.
    const DriveRunView view = ViewDriveRun();
    if (view.haveProgress) ShowProgress(dialog, view.progress);
    state.map = view.map;
    Redraw(dialog);
    ShowRunning(dialog, false);
    if (state.closeWhenStopped) EndDialog(dialog, 0);
}

void Begin(HWND dialog, const DriveRunRequest& request) {
    std::string reason;
    if (!StartDriveRun(request, &reason)) {
        MessageBoxA(dialog, reason.c_str(), kCaption, MB_OK | MB_ICONERROR);
        return;
    }
    state.testedFolder = request.folder;
    state.report.reset();
    state.map = DialogMap();
    SetDlgItemTextA(dialog, IDC_DRIVE_RESULT, "");
    SendDlgItemMessageA(dialog, IDC_DRIVE_PROGRESS, PBM_SETPOS, 0, 0);
    ShowVerdictIcon(dialog, nullptr);
    SetStatus(dialog, request.verifyOnly ? "Reading back the test set..." : "Starting the test...");
    ShowRunning(dialog, true);
    Redraw(dialog);
    SetTimer(dialog, IDT_DRIVE_PROGRESS, 250, nullptr);
}

// The target and the size from the controls; false (and said) when unusable.
bool ReadRequest(HWND dialog, DriveRunRequest* request) {
    request->folder = TargetFolder(dialog);
    if (request->folder.empty()) {
        MessageBoxA(dialog, "Choose a drive, or type the folder to test in.", kCaption, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    request->stopEarly = IsDlgButtonChecked(dialog, IDC_DRIVE_KEEP_GOING) != BST_CHECKED;
    if (IsDlgButtonChecked(dialog, IDC_DRIVE_ONLY) != BST_CHECKED) return true;
    const std::string mib = ItemText(dialog, IDC_DRIVE_ONLY_MIB);
    const unsigned long long count = std::strtoull(mib.c_str(), nullptr, 10);
    if (count == 0 || count > (uint64_t(1) << 43)) {
        MessageBoxA(dialog, "Give the size to test as a whole number of MiB, 1 or more.", kCaption,
                    MB_OK | MB_ICONINFORMATION);
        return false;
    }
    request->total = count << 20;
    return true;
}

INT_PTR OnStart(HWND dialog) {
    if (state.running) return TRUE;  // Enter reaches the default button while it is disabled
    DriveRunRequest request;
    if (ReadRequest(dialog, &request) && ConfirmFill(dialog, &request)) Begin(dialog, request);
    return TRUE;
}

INT_PTR OnVerify(HWND dialog) {
    if (state.running) return TRUE;
    DriveRunRequest request;
    request.verifyOnly = true;
    if (ReadRequest(dialog, &request) && ConfirmVerify(dialog, request.folder)) Begin(dialog, request);
    return TRUE;
}

INT_PTR OnStop(HWND dialog) {
    if (!state.running) return TRUE;
    StopDriveRun();
    SetStatus(dialog, "Stopping after the request in flight; what was written stays.");
    return TRUE;
}

INT_PTR OnClose(HWND dialog) {
    if (!state.running) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    const int answer =
        MessageBoxA(dialog, "A test is running. Stop it? What was written stays, and the test can be continued later.",
                    kCaption, MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES && state.running) {
        state.closeWhenStopped = true;
        OnStop(dialog);
    }
    return TRUE;
}

INT_PTR OnBrowse(HWND dialog) {
    char folder[MAX_PATH] = "";
    BROWSEINFOA browse{};
    browse.hwndOwner = dialog;
    browse.pszDisplayName = folder;
    browse.lpszTitle = "The drive or folder to test:";
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    if (chosen == nullptr) return TRUE;
    if (SHGetPathFromIDListA(chosen, folder)) {
        SetDlgItemTextA(dialog, IDC_DRIVE_TARGET, folder);
        UpdateVerifyButton(dialog);
    }
    ILFree(chosen);
    return TRUE;
}

INT_PTR OnTargetChange(HWND dialog, WORD code) {
    if (code == CBN_SELCHANGE) {
        // The edit still holds the old text: take the chosen entry's.
        const LRESULT chosen = SendDlgItemMessageA(dialog, IDC_DRIVE_TARGET, CB_GETCURSEL, 0, 0);
        if (chosen >= 0 && static_cast<size_t>(chosen) < state.drives.size()) {
            SetDlgItemTextA(dialog, IDC_DRIVE_TARGET, state.drives[static_cast<size_t>(chosen)].text.c_str());
        }
    }
    if (code == CBN_SELCHANGE || code == CBN_EDITCHANGE) UpdateVerifyButton(dialog);
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDC_DRIVE_START: return OnStart(dialog);
        case IDC_DRIVE_VERIFY: return OnVerify(dialog);
        case IDC_DRIVE_STOP: return OnStop(dialog);
        case IDC_DRIVE_BROWSE: return OnBrowse(dialog);
        case IDC_DRIVE_TARGET: return OnTargetChange(dialog, HIWORD(wParam));
        case IDC_DRIVE_SAVE:
            if (state.report && !state.running) SaveReport(dialog, *state.report, state.testedFolder);
            return TRUE;
        case IDC_DRIVE_COPY:
            if (state.report && !state.running && !CopyText(dialog, ItemText(dialog, IDC_DRIVE_RESULT))) {
                MessageBoxA(dialog, "The clipboard did not take the result.", kCaption, MB_OK | MB_ICONERROR);
            }
            return TRUE;
        case IDCANCEL: return OnClose(dialog);  // Close, Esc
        default: return FALSE;
    }
}

INT_PTR OnTimer(HWND dialog) {
    const DriveRunView view = ViewDriveRun();
    if (!view.running) return TRUE;
    if (view.ended) {
        Finish(dialog);
        return TRUE;
    }
    state.map = view.map;
    if (view.haveProgress) {
        if (!state.closeWhenStopped) SetStatus(dialog, DriveStatusText(view.progress));
        ShowProgress(dialog, view.progress);
    }
    Redraw(dialog);
    return TRUE;
}

// Drawn into memory first, so that a redraw four times a second does not flicker.
INT_PTR OnDrawItem(LPARAM lParam) {
    const auto* item =
        reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);  // NOLINT(performance-no-int-to-ptr): the message's pointer
    const RECT& area = item->rcItem;
    const int width = area.right - area.left, height = area.bottom - area.top;
    HDC memory = CreateCompatibleDC(item->hDC);
    HBITMAP bitmap = CreateCompatibleBitmap(item->hDC, width, height);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the message answers with a handle
    const auto font = reinterpret_cast<HGDIOBJ>(SendMessageA(item->hwndItem, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = SelectObject(memory, font);
    const RECT local{0, 0, width, height};
    if (item->CtlID == IDC_DRIVE_MAP) PaintMap(memory, local, state.map);
    if (item->CtlID == IDC_DRIVE_GRAPH) PaintGraph(memory, local, state.map);
    BitBlt(item->hDC, area.left, area.top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return TRUE;
}

INT_PTR OnDeviceChange(HWND dialog, WPARAM event) {
    if (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE) {
        RefreshDriveList(dialog);
        UpdateVerifyButton(dialog);
    }
    return TRUE;
}

INT_PTR OnInitDialog(HWND dialog) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_DRIVE_TEST));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    CheckRadioButton(dialog, IDC_DRIVE_ALL, IDC_DRIVE_ONLY, IDC_DRIVE_ALL);
    SendDlgItemMessageA(dialog, IDC_DRIVE_PROGRESS, PBM_SETRANGE32, 0, kProgressSteps);
    RefreshDriveList(dialog);
    ShowRunning(dialog, false);
    return TRUE;
}

INT_PTR CALLBACK DriveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog(dialog);
        case WM_COMMAND: return OnCommand(dialog, wParam);
        case WM_TIMER: return wParam == IDT_DRIVE_PROGRESS ? OnTimer(dialog) : FALSE;
        case WM_DRAWITEM: return OnDrawItem(lParam);
        case WM_DEVICECHANGE: return OnDeviceChange(dialog, wParam);
        case WM_CLOSE: return OnClose(dialog);
        default: return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_DRIVE_TEST), nullptr, DriveDialogProc, 0);
    return 0;  // the verdict is in the dialog and its report, not here
}
