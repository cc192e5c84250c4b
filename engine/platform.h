// The engine's only contact with the operating system: the file operations a
// writer performs and the calendar clock. platform_win32.cpp implements them
// with Win32 calls, platform_posix.cpp with POSIX calls; the build picks one.
#pragma once

#include <cstdint>

#ifdef _WIN32
typedef void* FileHandle;            // a Win32 HANDLE
typedef void* ThreadHandle;          // a Win32 HANDLE
typedef unsigned long WriterResult;  // DWORD
#define WRITER_CALL __stdcall        // the calling convention CreateThread expects
#else
typedef int FileHandle;      // a POSIX file descriptor
typedef void* ThreadHandle;  // unused off Windows
typedef void* WriterResult;  // pthread start routine result
#define WRITER_CALL
#endif

// "No file open": all bits set, like INVALID_HANDLE_VALUE (and -1 for a descriptor).
inline const FileHandle kNoFile =
    (FileHandle)(intptr_t)-1;  // NOLINT(performance-no-int-to-ptr): the platform defines it so

// The calls the writers make. fileOps starts out holding the platform's own
// implementations; tests may swap single entries to watch or fail them.
struct FileOps {
    bool (*writeBlock)(FileHandle file, const void* block, uint32_t size);  // append a whole block
    bool (*setPosition)(FileHandle file, int64_t distance);                 // from the start of the file
    bool (*setEndOfFile)(FileHandle file);                                  // cut or extend to the position
    void (*closeFile)(FileHandle file);
    int64_t (*calendarSeconds)();  // since 1970-01-01 UTC
};

extern FileOps fileOps;
extern const FileOps platformFileOps;
