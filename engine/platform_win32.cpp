// Win32 implementation of the writers' file operations and clock.
#include "platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <ctime>

static bool Win32WriteBlock(FileHandle file, const void* block, uint32_t size) {
    DWORD written = 0;
    return WriteFile(file, block, size, &written, nullptr) != FALSE;
}

static bool Win32SetPosition(FileHandle file, int64_t distance) {
    // SetFilePointerEx carries all 64 bits and reports failure unambiguously,
    // unlike SetFilePointer whose 0xFFFFFFFF is also a valid low part.
    LARGE_INTEGER target;
    target.QuadPart = distance;
    return SetFilePointerEx(file, target, nullptr, FILE_BEGIN) != FALSE;
}

static bool Win32SetEndOfFile(FileHandle file) { return SetEndOfFile(file) != FALSE; }

static void Win32CloseFile(FileHandle file) { CloseHandle(file); }

static int64_t Win32CalendarSeconds() { return static_cast<int64_t>(time(nullptr)); }

const FileOps platformFileOps = {Win32WriteBlock, Win32SetPosition, Win32SetEndOfFile, Win32CloseFile,
                                 Win32CalendarSeconds};
FileOps fileOps = platformFileOps;
