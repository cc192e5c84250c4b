#include "job_start.h"

#include "job_state.h"
#include "resource.h"
#include "writers.h"

#include <commdlg.h>

static bool Refuse(HWND dialog, const char* text, const char* caption) {
    MessageBoxA(dialog, text, caption, MB_ICONERROR);
    return false;
}

// The entered number times the unit. The number is read as unsigned and
// refused when it is 0 or does not fit a positive signed 32-bit value; the
// product is 64-bit, so "4096 MiB" is held rather than wrapped.
static bool ReadTargetSize(HWND dialog) {
    const int32_t entered = static_cast<int32_t>(GetDlgItemInt(dialog, IDC_TARGET_SIZE, nullptr, FALSE));
    JobState.targetSize = entered;
    if (entered <= 0) return false;
    const LRESULT unit = SendDlgItemMessageA(dialog, IDC_SIZE_UNIT, CB_GETCURSEL, 0, 0);
    if (unit == 1) JobState.targetSize <<= 10;
    if (unit == 2) JobState.targetSize <<= 20;
    return true;
}

static CreationMode CheckedMode(HWND dialog) {
    const int buttons[] = {IDC_MODE_ZERO, IDC_MODE_RANDOM, IDC_MODE_ASCII, IDC_MODE_SETSIZE};
    const CreationMode modes[] = {ZeroFill, RandomFill, AsciiFill, SetSizeOnly};
    for (int i = 0; i < 4; ++i) {
        if (IsDlgButtonChecked(dialog, buttons[i]) == BST_CHECKED) return modes[i];
    }
    return NoMode;
}

// The Save As prompt into JobState.fileName. False on cancel (silently) or on
// a failure of the prompt (reported).
static bool AskForFileName(HWND dialog) {
    OPENFILENAMEA prompt;
    ZeroMemory(&prompt, sizeof prompt);
    prompt.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // 76 bytes: the classic layout
    prompt.hwndOwner = dialog;
    prompt.lpstrFilter = "All\0*.*\0";
    prompt.nFilterIndex = 1;
    JobState.fileName[0] = '\0';
    prompt.lpstrFile = JobState.fileName;
    prompt.nMaxFile = kFileNameCapacity;
    prompt.Flags = OFN_PATHMUSTEXIST;
    if (GetSaveFileNameA(&prompt)) return true;
    if (CommDlgExtendedError() != 0) Refuse(dialog, "Please enter a valid target file.", "Error");
    return false;
}

bool StartJob(HWND dialog) {
    if (!ReadTargetSize(dialog)) return Refuse(dialog, "Please enter a valid target filesize.", "Error");

    JobState.mode = CheckedMode(dialog);
    if (JobState.mode == NoMode) return Refuse(dialog, "Please select a valid method.", "Error");

    if (!AskForFileName(dialog)) return false;

    // Windows refuses to replace a read-only file, but Wine run as root does
    // not: ask first, so that such a file is kept on every platform.
    const DWORD attributes = GetFileAttributesA(JobState.fileName);
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    JobState.outputFile = readOnly ? INVALID_HANDLE_VALUE
                                   : CreateFileA(JobState.fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (JobState.outputFile == INVALID_HANDLE_VALUE) return Refuse(dialog, "Could not open file.", "I/O Error");

    HANDLE thread = StartWriterThread(WriterFor(JobState.mode));
    if (thread == nullptr) {
        // Nobody else would ever close the new file: do it now.
        CloseHandle(JobState.outputFile);
        JobState.outputFile = INVALID_HANDLE_VALUE;
        return Refuse(dialog, "Could not create outputer thread.", "Thread Error");
    }
    JobState.workerThread = thread;

    SetTimer(dialog, IDT_PROGRESS, 500, nullptr);
    return true;
}
