// Win32 implementation of the command line's platform calls.
#include "cli_platform.h"

#include "system.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <io.h>  // _get_osfhandle

#include <algorithm>
#include <atomic>
#include <iterator>
#include <string>

bool CliOpenFile(const char* path, bool noClobber, CliFile* file, std::string* reason) {
    // CREATE_NEW checks and creates in one step; CREATE_ALWAYS replaces, as
    // the dialog does.
    // DELETE access lets an unfinished file be removed through this handle;
    // where it is refused (a device, a share) the file is opened without it.
    const std::wstring widePath = WidePath(path);
    const DWORD creation = noClobber ? CREATE_NEW : CREATE_ALWAYS;
    HANDLE handle = CreateFileW(widePath.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, creation,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool deletable = handle != INVALID_HANDLE_VALUE;
    if (!deletable && GetLastError() == ERROR_ACCESS_DENIED) {
        handle = CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, creation, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        *reason = SystemErrorText(GetLastError());
        return false;
    }
    file->handle = handle;
    file->removable = deletable && GetFileType(handle) == FILE_TYPE_DISK;
    return true;
}

bool CliWriteAll(FileHandle file, const unsigned char* bytes, size_t count, std::string* reason) {
    while (count > 0) {
        const DWORD piece = static_cast<DWORD>(IoPiece(count));
        DWORD written = 0;
        if (!WriteFile(file, bytes, piece, &written, nullptr)) {
            *reason = SystemErrorText(GetLastError());
            return false;
        }
        if (written == 0) {
            *reason = SystemErrorText(ERROR_DISK_FULL);
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

bool CliSetLength(FileHandle file, int64_t length, std::string* reason) {
    LARGE_INTEGER target;
    target.QuadPart = length;
    if (!SetFilePointerEx(file, target, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) {
        *reason = SystemErrorText(GetLastError());
        return false;
    }
    return true;
}

// Setting the end of a non-sparse file already reserves its clusters.
bool CliAllocate(FileHandle file, int64_t length, std::string* reason) { return CliSetLength(file, length, reason); }

bool CliCloseFile(FileHandle file, std::string* reason) {
    if (CloseHandle(file)) return true;
    *reason = SystemErrorText(GetLastError());
    return false;
}

bool CliRemoveHeldFile(const char*, const CliFile& file, std::string* whyLeft) {
    // Through the handle, never by name: it goes when the handle is closed,
    // whatever the name leads to by then.
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = TRUE;
    if (SetFileInformationByHandle(file.handle, FileDispositionInfo, &disposition, sizeof disposition)) return true;
    *whyLeft = SystemErrorText(GetLastError());
    return false;
}

// The wide call, so that names outside the code page (which the narrow call
// would turn into '?') are found as they are.
static std::vector<std::wstring> FilesMatching(const std::string& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(WideText(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    // The order Windows lists names in, whatever the file system returns.
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    return names;
}

bool CliExpandWildcards(const std::vector<std::string>& operands, std::vector<std::string>* files, std::string* error) {
    files->clear();
    for (const std::string& operand : operands) {
        // No Windows name holds * or ?: such an operand is always a pattern.
        if (operand.find_first_of("*?") == std::string::npos) {
            files->push_back(operand);
            continue;
        }
        const std::vector<std::wstring> names = FilesMatching(operand);
        if (names.empty()) {
            *error = operand + ": no file matches";
            return false;
        }
        // The matches are named in the pattern's folder, as it was typed.
        const size_t cut = operand.find_last_of("\\/:");
        const std::string folder = cut == std::string::npos ? std::string() : operand.substr(0, cut + 1);
        std::transform(names.begin(), names.end(), std::back_inserter(*files),
                       [&folder](const std::wstring& name) { return folder + NarrowText(name); });
    }
    return true;
}

bool CliIsHelpSwitch(const std::string& word) { return word == "/?"; }

const char* CliAllocateNote() {
    return "size mode: accepted for scripts; on Windows giving the\n"
           "                     length already reserves the disk blocks";
}

const char* CliStoppedStatusNote() {
    return "Stopped by\n"
           "Ctrl-C, Ctrl-Break or closing the console: 0xC000013A (-1073741510),\n"
           "as for any program Ctrl-C ends.";
}

bool CliOpenForReading(const char* path, FileHandle* file, std::string* reason) {
    // Others may go on reading and writing it; without FILE_FLAG_BACKUP_SEMANTICS
    // a folder is refused by the system itself.
    HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *reason = SystemErrorText(GetLastError());
        return false;
    }
    *file = handle;
    return true;
}

FileHandle CliStandardInput() { return GetStdHandle(STD_INPUT_HANDLE); }

bool CliFileFacts(FileHandle file, FileFacts* facts, std::string* reason) {
    facts->regular = GetFileType(file) == FILE_TYPE_DISK;
    if (!facts->regular) return true;  // a pipe or a console: no length, no time
    LARGE_INTEGER length;
    FILETIME written;
    if (!GetFileSizeEx(file, &length) || !GetFileTime(file, nullptr, nullptr, &written)) {
        *reason = SystemErrorText(GetLastError());
        return false;
    }
    // FILETIME counts 100 ns from 1601-01-01; 11644473600 s lie between then and 1970.
    const int64_t ticks = (static_cast<int64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    facts->length = length.QuadPart;
    facts->modifiedSeconds = ticks / 10000000 - 11644473600LL;
    return true;
}

bool CliReadUpTo(FileHandle file, unsigned char* bytes, size_t count, size_t* got, std::string* reason) {
    *got = 0;
    while (*got < count) {
        const size_t left = count - *got;
        const DWORD piece = static_cast<DWORD>(IoPiece(left));
        DWORD read = 0;
        if (!ReadFile(file, bytes + *got, piece, &read, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) break;  // the writer closed its end: the end of the data
            *reason = SystemErrorText(GetLastError());
            return false;
        }
        if (read == 0) break;
        *got += read;
    }
    return true;
}

void CliCloseReading(FileHandle file) { CloseHandle(file); }

bool CliStderrIsTerminal() {
    DWORD consoleMode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &consoleMode) != FALSE;
}

int CliTerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO console;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &console)) return 0;
    return console.srWindow.Right - console.srWindow.Left + 1;
}

bool CliWriteText(FILE* stream, const std::string& text) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the C library hands the handle out as an integer
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD consoleMode = 0;
    if (text.empty() || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &consoleMode))
        return std::fputs(text.c_str(), stream) >= 0;
    // A console shows bytes in its own code page, which need not be the
    // program's (UTF-8 under the manifest); wide characters it shows as they are.
    const int narrowLength = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLength, nullptr, 0);
    if (wideLength <= 0) return std::fputs(text.c_str(), stream) >= 0;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLength, &wide[0], wideLength);
    std::fflush(stream);  // what the C library holds goes first
    DWORD written = 0;
    return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != FALSE;
}

// What Windows reports for a program that Ctrl-C ended, as cmd.exe shows it.
static const DWORD kInterruptedStatus = 0xC000013A;  // STATUS_CONTROL_C_EXIT

static std::atomic<bool> interruptRequested(false);
static HANDLE mainThread = nullptr;  // whose blocking call a console event cancels
static HANDLE cleanedUp = nullptr;   // set once the main thread has cleaned up

// Runs on a thread the system starts for the event.
static BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    // A second event ends the program at once.
    if (interruptRequested.exchange(true)) TerminateProcess(GetCurrentProcess(), kInterruptedStatus);
    if (mainThread) CancelSynchronousIo(mainThread);
    // On close the system ends the program when this returns: the main
    // thread gets a few seconds to remove its file first.
    if (event == CTRL_CLOSE_EVENT && cleanedUp) WaitForSingleObject(cleanedUp, 4000);
    return TRUE;
}

void CliWatchInterrupt() {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    cleanedUp = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool CliInterrupted() { return interruptRequested.load(); }

void CliEndByInterrupt() {
    if (!interruptRequested.load()) return;
    std::fflush(nullptr);
    if (cleanedUp) SetEvent(cleanedUp);
    ExitProcess(kInterruptedStatus);
}
