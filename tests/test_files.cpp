#include "test_files.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Wine hands out small process ids and reuses them at once, so the id alone
// names the folders of many runs: the clock tells them apart, and a name
// already taken is passed over. Any other failure ends the search: "".
std::string MakeTempDir() {
    char base[MAX_PATH];
    if (GetTempPathA(MAX_PATH, base) == 0) return "";
    const std::string stem = std::string(base) + "fillwright-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64()) + "-";
    for (unsigned n = 0; n < 1000; ++n) {
        std::string dir = stem + std::to_string(n);
        if (CreateDirectoryA(dir.c_str(), nullptr)) return dir;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return "";
    }
    return "";
}

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

FileHandle CreateOutputFile(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int64_t FileLength(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void RemoveFile(const std::string& path) { DeleteFileA(path.c_str()); }
void RemoveDir(const std::string& path) { RemoveDirectoryA(path.c_str()); }
const char* FullDevicePath() { return "Z:\\dev\\full"; }
bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

#else
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

std::string MakeTempDir() {
    char pattern[] = "/tmp/fillwright-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "";
}

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "/" + name; }

FileHandle CreateOutputFile(const std::string& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644); }

int64_t FileLength(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

void RemoveFile(const std::string& path) { unlink(path.c_str()); }
void RemoveDir(const std::string& path) { rmdir(path.c_str()); }
const char* FullDevicePath() { return "/dev/full"; }
bool UnderWine() { return false; }
#endif

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
