// The program's contact with the operating system that the command line and
// the drive test share: the system's words for an error, the clocks, threads,
// memory for requests, and on Windows the wide form of a path.
// system_posix.cpp and system_win32.cpp implement it; the build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#ifdef _WIN32
typedef unsigned long SystemError;  // GetLastError()'s DWORD
#else
typedef int SystemError;  // an errno value
#endif

// The system's words for error, without a closing full stop or line end, so
// that the caller can place them inside a line of its own.
std::string SystemErrorText(SystemError error);

// A clock that only goes forward, in seconds from some fixed moment.
double MonotonicSeconds();
// The calendar clock in whole seconds since 1970-01-01 UTC.
int64_t CalendarSeconds();

// A thread of the program's own. It starts with every signal blocked, so that
// signals go to the threads that watch them and interrupt their blocking calls.
struct SystemThread {
    uintptr_t native = 0;
};
// False when the system cannot start one more thread.
bool StartThread(std::function<void()> body, SystemThread* thread);
void JoinThread(SystemThread& thread);

// How a pipeline starts and joins its second thread: the system's calls,
// or a test's in their place.
struct ThreadCalls {
    std::function<bool(std::function<void()> body, SystemThread* thread)> start = StartThread;
    std::function<void(SystemThread& thread)> join = JoinThread;
};

// Memory whose pages are present from the start, not faulted in one at a
// time by the first requests; nullptr when there is none.
unsigned char* AllocatePresentMemory(size_t bytes);
void FreePresentMemory(unsigned char* memory, size_t bytes);

// bytes of memory starting at a multiple of alignment (a power of two), held
// by memory: present from the start where the system gives such memory.
struct AlignedMemory {
    std::shared_ptr<unsigned char> memory;
    unsigned char* bytes = nullptr;
};
AlignedMemory AllocateAligned(size_t bytes, size_t alignment);
// The system copies to and from a buffer that starts at a page boundary
// markedly faster (seen: a 1 GiB check 15 % faster).
const size_t kPageAlignment = 4096;

// The most bytes one read or write call is given; a larger request is made
// in pieces of this.
extern const size_t kLargestIoCount;
inline size_t IoPiece(size_t left) { return left < kLargestIoCount ? left : kLargestIoCount; }

#ifdef _WIN32
// text in the program's code page (UTF-8 under the manifest) in UTF-16, and back.
std::wstring WideText(const std::string& text);
std::string NarrowText(const std::wstring& wide);
// The wide form of path, for the W calls. A path whose full form is MAX_PATH
// characters or longer is given as that full form behind \\?\, which no
// Windows limits to MAX_PATH whatever its long-path policy (the A calls are,
// and so is Wine).
std::wstring WidePath(const std::string& path);
#endif
