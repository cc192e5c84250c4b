// Win32 implementation of the shared system calls.
#include "system.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <process.h>  // _beginthreadex

#include <cstring>
#include <ctime>

std::string SystemErrorText(SystemError error) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text, nullptr);
    // The system's texts end in CR LF (and often a full stop).
    while (length > 0 && std::strchr("\r\n .", text[length - 1]) != nullptr) --length;
    if (length == 0) return "system error " + std::to_string(error);
    return std::string(text, length);
}

double MonotonicSeconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int64_t CalendarSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

namespace {

unsigned __stdcall RunThreadBody(void* body) {
    std::function<void()>* call = static_cast<std::function<void()>*>(body);
    (*call)();
    delete call;
    return 0;
}

}  // namespace

// _beginthreadex, not CreateThread: it sets up the C library's state for the
// thread, which its calls in the body need.
bool StartThread(std::function<void()> body, SystemThread* thread) {
    auto* call = new std::function<void()>(std::move(body));
    const uintptr_t handle = _beginthreadex(nullptr, 0, RunThreadBody, call, 0, nullptr);
    if (handle == 0) {
        delete call;
        return false;
    }
    thread->native = handle;
    return true;
}

void JoinThread(SystemThread& thread) {
    HANDLE handle = reinterpret_cast<HANDLE>(thread.native);  // NOLINT(performance-no-int-to-ptr)
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}

unsigned char* AllocatePresentMemory(size_t bytes) {
    return static_cast<unsigned char*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

void FreePresentMemory(unsigned char* memory, size_t) { VirtualFree(memory, 0, MEM_RELEASE); }

// ReadFile and WriteFile count in a DWORD; a gigabyte stays well inside it.
const size_t kLargestIoCount = 0x40000000u;

std::wstring WideText(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string NarrowText(const std::wstring& wide) {
    const int length =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length, nullptr, nullptr);
    return text;
}

std::wstring WidePath(const std::string& path) {
    std::wstring wide = WideText(path);
    if (wide.empty()) return wide;
    if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0) return wide;
    const DWORD fullLength = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);  // counting its NUL
    if (fullLength <= MAX_PATH) return wide;  // short enough as given (0: the call will say what is wrong)
    std::wstring full(fullLength, L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), fullLength, &full[0], nullptr));
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC" + full.substr(1);  // \\server\share\...
    return L"\\\\?\\" + full;
}
