// Win32 implementation of the command line's platform calls.
#include "cli_platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <io.h>  // _get_osfhandle

#include <atomic>
#include <ctime>

// The system's text for error.
static std::string SystemText(DWORD error) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  text, sizeof text, nullptr);
    // The system's texts end in CR LF (and often a full stop): the caller
    // places the text inside a line of its own.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ' ||
                          text[length - 1] == '.'))
        --length;
    if (length == 0) return "system error " + std::to_string(error);
    return std::string(text, length);
}

bool CliOpenFile(const char* path, bool noClobber, CliFile* file, std::string* reason) {
    // CREATE_NEW checks and creates in one step; CREATE_ALWAYS replaces, as
    // the dialog does.
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, noClobber ? CREATE_NEW : CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *reason = SystemText(GetLastError());
        return false;
    }
    file->handle = handle;
    file->removable = GetFileType(handle) == FILE_TYPE_DISK;
    return true;
}

bool CliWriteAll(FileHandle file, const unsigned char* bytes, size_t count, std::string* reason) {
    while (count > 0) {
        const DWORD piece = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(file, bytes, piece, &written, nullptr)) {
            *reason = SystemText(GetLastError());
            return false;
        }
        if (written == 0) {
            *reason = SystemText(ERROR_DISK_FULL);
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
        *reason = SystemText(GetLastError());
        return false;
    }
    return true;
}

// Setting the end of a non-sparse file already reserves its clusters.
bool CliAllocate(FileHandle file, int64_t length, std::string* reason) { return CliSetLength(file, length, reason); }

bool CliCloseFile(FileHandle file, std::string* reason) {
    if (CloseHandle(file)) return true;
    *reason = SystemText(GetLastError());
    return false;
}

void CliRemoveFile(const char* path) { DeleteFileA(path); }

const char* CliAllocateNote() {
    return "size mode: accepted for scripts; on Windows giving the\n"
           "                     length already reserves the disk blocks";
}

bool CliOpenForReading(const char* path, FileHandle* file, std::string* reason) {
    // Others may go on reading and writing it; without FILE_FLAG_BACKUP_SEMANTICS
    // a folder is refused by the system itself.
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *reason = SystemText(GetLastError());
        return false;
    }
    *file = handle;
    return true;
}

bool CliFileFacts(FileHandle file, FileFacts* facts, std::string* reason) {
    LARGE_INTEGER length;
    FILETIME written;
    if (!GetFileSizeEx(file, &length) || !GetFileTime(file, nullptr, nullptr, &written)) {
        *reason = SystemText(GetLastError());
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
        const DWORD piece = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD read = 0;
        if (!ReadFile(file, bytes + *got, piece, &read, nullptr)) {
            *reason = SystemText(GetLastError());
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

bool CliWriteText(FILE* stream, const std::string& text) {
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

static std::atomic<bool> interruptRequested(false);

// Runs on a thread the system starts for the event: it only raises the flag.
static BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        interruptRequested.store(true);
        return TRUE;
    }
    return FALSE;
}

void CliWatchInterrupt() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool CliInterrupted() { return interruptRequested.load(); }

double CliMonotonicSeconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int64_t CliCalendarSeconds() { return static_cast<int64_t>(std::time(nullptr)); }
