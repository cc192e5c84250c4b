// The program's entry and its one window, the modal main dialog.
#include "job_start.h"
#include "job_state.h"
#include "resource.h"
#include "writers.h"

#include <commctrl.h>

static void SetProgress(HWND dialog, int64_t position) {
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

static void EnableSave(HWND dialog, bool enable) { EnableWindow(GetDlgItem(dialog, IDC_SAVE), enable); }

static INT_PTR OnInitDialog(HWND dialog) {
    CheckRadioButton(dialog, IDC_MODE_ZERO, IDC_MODE_SETSIZE, IDC_MODE_ZERO);
    const char* units[] = {"bytes", "KiB", "MiB"};
    for (const char* unit : units) {
        SendDlgItemMessageA(dialog, IDC_SIZE_UNIT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(unit));
    }
    SendDlgItemMessageA(dialog, IDC_SIZE_UNIT, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SetProgress(dialog, 0);
    return TRUE;  // focus goes to the first tab stop, the size box
}

static INT_PTR OnSave(HWND dialog) {
    // Save is disabled for the whole of a job; a command that still arrives
    // (Enter reaches the default button even when it is disabled on some
    // platforms) must not start a second writer on the shared record.
    if (!IsWindowEnabled(GetDlgItem(dialog, IDC_SAVE))) return TRUE;
    EnableSave(dialog, false);
    if (!StartJob(dialog)) EnableSave(dialog, true);
    return TRUE;
}

static INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDC_SAVE: return OnSave(dialog);
        case IDC_EXIT: EndDialog(dialog, static_cast<INT_PTR>(wParam)); return TRUE;
        default: return FALSE;  // among them IDCANCEL from Escape: the dialog stays
    }
}

// The 500 ms poll of the writer's progress and end.
static INT_PTR OnProgressTick(HWND dialog) {
    if (JobState.targetSize == 0) return FALSE;
    if (JobState.finished.load(std::memory_order_acquire) == 1) {
        KillTimer(dialog, IDT_PROGRESS);
        // The writer has returned its last word; its thread handle is done with.
        if (JobState.workerThread != nullptr) {
            CloseHandle(JobState.workerThread);
            JobState.workerThread = nullptr;
        }
        SetProgress(dialog, 100);
        MessageBoxA(dialog, "Finished making new file.", "Finished", MB_OK);
        JobState.finished.store(0);
        SetProgress(dialog, 0);
        EnableSave(dialog, true);
        return TRUE;
    }
    const int64_t percent = ProgressPercent(JobState.bytesDone.load(std::memory_order_relaxed), JobState.targetSize);
    SetProgress(dialog, percent > 100 ? 100 : percent);
    return TRUE;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog(dialog);
        case WM_COMMAND: return OnCommand(dialog, wParam);
        case WM_TIMER: return OnProgressTick(dialog);
        case WM_CLOSE: EndDialog(dialog, static_cast<INT_PTR>(wParam)); return FALSE;
        default: return FALSE;
    }
}

// Writer failures appear as ownerless message boxes: the dialog stays usable.
static void ShowWriterFailure(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_ICONERROR);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ResetJobState();
    reportFailure = ShowWriterFailure;
    InitCommonControls();
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    return 0;
}
