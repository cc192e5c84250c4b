// Win32 implementation of the reads of --check.
#include "cli_reading.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

std::string SystemText(DWORD error);     // cli_platform_win32.cpp
std::wstring WidePath(const char* path);  // cli_platform_win32.cpp

bool CliOpenForReading(const char* path, FileHandle* file, std::string* reason) {
    // Others may go on reading and writing it; without FILE_FLAG_BACKUP_SEMANTICS
    // a folder is refused by the system itself.
    HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
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
