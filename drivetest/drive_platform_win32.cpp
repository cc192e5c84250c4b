// The drive test's system calls on Windows: FILE_FLAG_NO_BUFFERING (with
// FILE_FLAG_WRITE_THROUGH when writing) and sector-aligned requests; the
// parts a request cannot align go through a second, cached handle.
#define _CRT_RAND_S  // rand_s: the system's random numbers, before any C library header
#include "drive_layers.h"
#include "drive_platform.h"
#include "drive_retrieval.h"
#include "system.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <stdlib.h>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace system_drive {

const char kSeparator = '\\';

namespace {

IoResult Failure(DWORD error, size_t bytes = 0) {
    IoResult result;
    result.status = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? IoStatus::noSpace : IoStatus::failed;
    result.reason = SystemErrorText(error);
    result.bytes = bytes;
    return result;
}

HANDLE Native(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }  // NOLINT(performance-no-int-to-ptr)

// The root folder of the volume that holds path (C:\, or the folder a volume
// is mounted on), in the short form where it has one; empty when unknown.
std::wstring VolumeRootOf(const std::string& path) {
    const std::wstring wide = WidePath(path);
    std::wstring root(wide.size() + MAX_PATH + 1, L'\0');
    if (!GetVolumePathNameW(wide.c_str(), &root[0], static_cast<DWORD>(root.size()))) return std::wstring();
    root.resize(wcslen(root.c_str()));
    // Asked with a long form, the system may answer with one: \\?\C:\ for C:\.
    if (root.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + root.substr(7);
    if (root.compare(0, 4, L"\\\\?\\") == 0 && root.size() >= 6 && root[5] == L':') return root.substr(4);
    return root;
}

// The sector size that unbuffered requests must be multiples of.
size_t SectorSize(HANDLE file, const std::string& path) {
    FILE_STORAGE_INFO storage;
    if (GetFileInformationByHandleEx(file, FileStorageInfo, &storage, sizeof storage)) {
        const DWORD physical = storage.PhysicalBytesPerSectorForPerformance;
        return physical > storage.LogicalBytesPerSector ? physical : storage.LogicalBytesPerSector;
    }
    const std::wstring root = VolumeRootOf(path);
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
    if (!root.empty() &&
        GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
        return bytesPerSector;
    }
    return 4096;
}

// Wine takes FILE_FLAG_NO_BUFFERING but reads through Linux's page cache.
bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// A folder pinned for a test: its own handle, the volume it was found on,
// and the lock file that holds it.
struct Pin {
    std::string folder;
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE lock = INVALID_HANDLE_VALUE;
    DWORD serial = 0;
    uint64_t fileIndex = 0;  // the folder's own, on its volume
    std::string volumeName;  // \\?\Volume{...}\, or its mount point
};

std::mutex pinsLock;
std::vector<Pin> pins;

// The volume serial number of the pinned folder that holds path, if any.
std::optional<DWORD> PinnedSerialOf(const std::string& path) {
    std::lock_guard<std::mutex> hold(pinsLock);
    for (const Pin& pin : pins) {
        const std::string& folder = pin.folder;
        if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            (folder.back() == '\\' || folder.back() == '/' || path[folder.size()] == '\\')) {
            return pin.serial;
        }
    }
    return std::nullopt;
}

// The name of the volume path is on (\\?\Volume{...}\), or its mount point
// where the system gives no name.
std::string VolumeNameOf(const std::string& path) {
    const std::wstring root = VolumeRootOf(path);
    wchar_t name[MAX_PATH];
    if (root.empty()) return "";
    return NarrowText(GetVolumeNameForVolumeMountPointW(root.c_str(), name, MAX_PATH) ? std::wstring(name) : root);
}

// The folder's own identity: its volume's serial number and its file index.
bool FolderIdentity(HANDLE folder, BY_HANDLE_FILE_INFORMATION* info) {
    return folder != INVALID_HANDLE_VALUE && GetFileInformationByHandle(folder, info) != 0;
}

HANDLE OpenFolder(const std::string& folder) {
    return CreateFileW(WidePath(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// What handle shows when it is not the set's own file: a plain file of one
// link, no reparse point, on the pinned volume.
std::string NotOwn(HANDLE handle, const std::optional<DWORD>& pinnedSerial) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK) return "a device";
    if (!GetFileInformationByHandle(handle, &info)) return "a file that cannot be looked at";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return "a symbolic link or other reparse point";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "a folder";
    if (info.nNumberOfLinks != 1) return "a file with " + std::to_string(info.nNumberOfLinks) + " names (hard links)";
    if (pinnedSerial && info.dwVolumeSerialNumber != *pinnedSerial) return "a file on another drive";
    return "";
}

// Deletes the file a handle with DELETE access leads to, once it closes:
// that file, whatever its name may lead to by then.
bool DeleteThrough(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Opens the set's own file at path: never through a reparse point, never
// another volume's file; a new one is made only where none is (CREATE_NEW),
// an old one emptied only once it was checked. On failure *refusal says why.
HANDLE OpenChecked(const std::string& path, OpenFor how, DWORD flags, IoResult* refusal) {
    // Looking at what the handle leads to (NotOwn) reads its attributes,
    // which GENERIC_WRITE alone does not allow.
    const DWORD access = how == OpenFor::read ? GENERIC_READ : GENERIC_WRITE | FILE_READ_ATTRIBUTES;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (how == OpenFor::create) {
        handle = CreateFileW(WidePath(path).c_str(), access | DELETE, share, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | flags, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            // New, so no link; but the folder's letter may have been pointed
            // at another drive since it was pinned: nothing is left there.
            const std::string what = NotOwn(handle, PinnedSerialOf(path));
            if (what.empty()) return handle;
            DeleteThrough(handle);
            CloseHandle(handle);
            refusal->status = IoStatus::notOwnFile;
            refusal->reason = "not the set's own file: " + what;
            return INVALID_HANDLE_VALUE;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            *refusal = Failure(GetLastError());
            return handle;
        }
    }
    handle = CreateFileW(WidePath(path).c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags,
                         nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *refusal = Failure(GetLastError());
        return handle;
    }
    const std::string what = NotOwn(handle, PinnedSerialOf(path));
    if (!what.empty()) {
        CloseHandle(handle);
        refusal->status = IoStatus::notOwnFile;
        refusal->reason = "not the set's own file: " + what;
        return INVALID_HANDLE_VALUE;
    }
    if (how == OpenFor::create && !SetEndOfFile(handle)) {  // at 0: emptied
        *refusal = Failure(GetLastError());
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

HANDLE OpenHandle(const std::string& path, OpenFor how, DWORD flags) {
    IoResult refusal;
    HANDLE handle = OpenChecked(path, how, flags, &refusal);
    if (handle == INVALID_HANDLE_VALUE)
        SetLastError(refusal.status == IoStatus::notOwnFile ? ERROR_ACCESS_DENIED : GetLastError());
    return handle;
}

}  // namespace

IoResult Open(const std::string& path, OpenFor how, DriveFile* file) {
    *file = DriveFile();
    file->path = path;
    const DWORD unbuffered = FILE_FLAG_NO_BUFFERING | (how == OpenFor::read ? 0 : FILE_FLAG_WRITE_THROUGH);
    IoResult refusal;
    HANDLE handle = OpenChecked(path, how, unbuffered, &refusal);
    if (refusal.status == IoStatus::notOwnFile) return refusal;
    if (handle != INVALID_HANDLE_VALUE) {
        file->alignment = SectorSize(handle, path);
        file->direct = file->alignment <= kDriveBufferAlignment;
        if (!file->direct) {  // sectors larger than the buffers are aligned to: open it cached
            CloseHandle(handle);
            handle = OpenHandle(path, how == OpenFor::create ? OpenFor::extend : how, FILE_FLAG_WRITE_THROUGH);
        }
    } else if (refusal.reason == SystemErrorText(ERROR_INVALID_PARAMETER)) {  // a file system without unbuffered I/O
        refusal = IoResult();
        handle = OpenChecked(path, how, how == OpenFor::read ? 0 : FILE_FLAG_WRITE_THROUGH, &refusal);
    }
    if (handle == INVALID_HANDLE_VALUE) return refusal;
    if (!file->direct) file->alignment = 1;
    file->handle = reinterpret_cast<intptr_t>(handle);
    file->readBack = file->direct && !UnderWine() ? ReadBack::direct : ReadBack::mayBeCached;
    return IoResult();
}

namespace {

template <typename Call>
IoResult Transfer(HANDLE handle, uint64_t offset, size_t count, Call call) {
    IoResult result;
    while (result.bytes < count) {
        OVERLAPPED at;
        std::memset(&at, 0, sizeof at);
        const uint64_t position = offset + result.bytes;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const size_t left = count - result.bytes;
        DWORD done = 0;
        if (!call(handle, result.bytes, static_cast<DWORD>(IoPiece(left)), &done, &at)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) return result;
            return Failure(error, result.bytes);
        }
        if (done == 0) return result;  // the end of the file
        result.bytes += done;
    }
    return result;
}

template <typename Call>
IoResult AlignedTransfer(DriveFile& file, uint64_t offset, uintptr_t address, size_t count, bool writing, Call call) {
    const size_t head = DirectHead(file, offset, address, count);
    IoResult result = Transfer(Native(file.handle), offset, head, call);
    if (result.status != IoStatus::ok || result.bytes < head || head == count) return result;
    if (file.tailHandle < 0) {
        HANDLE tail =
            OpenHandle(file.path, writing ? OpenFor::extend : OpenFor::read, writing ? FILE_FLAG_WRITE_THROUGH : 0);
        if (tail == INVALID_HANDLE_VALUE) return Failure(GetLastError(), head);
        file.tailHandle = reinterpret_cast<intptr_t>(tail);
    }
    IoResult rest = Transfer(
        Native(file.tailHandle), offset + head, count - head,
        [&](HANDLE h, size_t done, DWORD n, DWORD* got, OVERLAPPED* at) { return call(h, head + done, n, got, at); });
    rest.bytes += head;
    return rest;
}

}  // namespace

IoResult WriteAt(DriveFile& file, uint64_t offset, const unsigned char* data, size_t count) {
    IoResult result = AlignedTransfer(file, offset, reinterpret_cast<uintptr_t>(data), count, true,
                                      [data](HANDLE h, size_t done, DWORD n, DWORD* got, OVERLAPPED* at) {
                                          return WriteFile(h, data + done, n, got, at) != 0;
                                      });
    if (result.status == IoStatus::ok && result.bytes < count) return Failure(ERROR_DISK_FULL, result.bytes);
    return result;
}

IoResult ReadAt(DriveFile& file, uint64_t offset, unsigned char* data, size_t count) {
    return AlignedTransfer(file, offset, reinterpret_cast<uintptr_t>(data), count, false,
                           [data](HANDLE h, size_t done, DWORD n, DWORD* got, OVERLAPPED* at) {
                               return ReadFile(h, data + done, n, got, at) != 0;
                           });
}

bool SetLength(DriveFile& file, uint64_t length, std::string* reason) {
    // Unbuffered handles may only end files at sector multiples; the cached one may end them anywhere.
    HANDLE handle = Native(file.handle);
    if (length % (file.alignment ? file.alignment : 1) != 0) {
        HANDLE cached = OpenHandle(file.path, OpenFor::extend, 0);
        if (cached == INVALID_HANDLE_VALUE) {
            *reason = SystemErrorText(GetLastError());
            return false;
        }
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(length);
        const bool ok = SetFilePointerEx(cached, to, nullptr, FILE_BEGIN) && SetEndOfFile(cached);
        if (!ok) *reason = SystemErrorText(GetLastError());
        CloseHandle(cached);
        return ok;
    }
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(length);
    if (SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) && SetEndOfFile(handle)) return true;
    *reason = SystemErrorText(GetLastError());
    return false;
}

bool Flush(const DriveFile& file, std::string* reason) {
    const bool flushed =
        FlushFileBuffers(Native(file.handle)) && (file.tailHandle < 0 || FlushFileBuffers(Native(file.tailHandle)));
    if (!flushed) *reason = SystemErrorText(GetLastError());
    return flushed;
}

void Close(DriveFile& file) {
    if (file.handle >= 0) CloseHandle(Native(file.handle));
    if (file.tailHandle >= 0) CloseHandle(Native(file.tailHandle));
    file.handle = file.tailHandle = -1;
}

namespace {

// A handle to look at what stands at path, without following a reparse point.
HANDLE LookAt(const std::string& path, DWORD access) {
    return CreateFileW(WidePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

// Deletes through a handle that was checked first: never a file of
// another volume that the name may lead to by then.
bool Remove(const std::string& path, std::string* reason) {
    HANDLE handle = LookAt(path, DELETE | FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) {
        *reason = SystemErrorText(GetLastError());
        return false;
    }
    const std::string what = NotOwn(handle, PinnedSerialOf(path));
    const bool removed = what.empty() && DeleteThrough(handle);
    *reason = what.empty() ? SystemErrorText(GetLastError()) : "not the set's own file: " + what;
    CloseHandle(handle);
    return removed;
}

std::optional<uint64_t> FileLength(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return std::nullopt;
    return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::optional<std::string> NotOwnFile(const std::string& path) {
    HANDLE handle = LookAt(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    const std::string what = NotOwn(handle, PinnedSerialOf(path));
    CloseHandle(handle);
    if (what.empty()) return std::nullopt;
    return what;
}

FolderState InspectFolder(const std::string& folder) {
    FolderState state;
    const auto refuse = [&state](DWORD error) {
        state.reason = SystemErrorText(error);
        return state;
    };
    const std::wstring wideFolder = WidePath(folder);
    const DWORD attributes = GetFileAttributesW(wideFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return refuse(GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return refuse(ERROR_DIRECTORY);
    ULARGE_INTEGER available, size;
    if (!GetDiskFreeSpaceExW(wideFolder.c_str(), &available, &size, nullptr)) return refuse(GetLastError());
    state.usable = true;
    state.freeBytes = available.QuadPart;
    state.sizeBytes = size.QuadPart;
    return state;
}

bool WriteText(const std::string& path, const std::string& text, std::string* reason) {
    IoResult refusal;
    HANDLE handle = OpenChecked(path, OpenFor::create, FILE_FLAG_WRITE_THROUGH, &refusal);
    if (handle == INVALID_HANDLE_VALUE) {
        *reason = refusal.reason;
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(handle);
    if (!ok) *reason = SystemErrorText(GetLastError());
    CloseHandle(handle);
    return ok;
}

std::optional<std::string> ReadText(const std::string& path) {
    HANDLE handle = OpenHandle(path, OpenFor::read, 0);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string text(65536, '\0');
    DWORD got = 0;
    const bool ok = ReadFile(handle, &text[0], static_cast<DWORD>(text.size()), &got, nullptr) != 0;
    CloseHandle(handle);
    if (!ok) return std::nullopt;
    text.resize(got);
    return text;
}

namespace {

std::string SerialText(DWORD serial) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X-%04X", static_cast<unsigned>(serial >> 16),
                  static_cast<unsigned>(serial & 0xffff));
    return text;
}

}  // namespace

PinnedFolder PinFolder(const std::string& folder) {
    PinnedFolder result;
    Pin pin;
    pin.folder = folder;
    // Held open without sharing, and gone when closed, however the test ends.
    const std::string lockName =
        folder + (folder.back() == '\\' || folder.back() == '/' ? "" : "\\") + "fillwright-drivetest.lock";
    pin.lock = CreateFileW(WidePath(lockName).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (pin.lock == INVALID_HANDLE_VALUE) {
        result.busy = GetLastError() == ERROR_SHARING_VIOLATION;
        result.reason = SystemErrorText(GetLastError());
        return result;
    }
    pin.handle = OpenFolder(folder);
    BY_HANDLE_FILE_INFORMATION info;
    if (!FolderIdentity(pin.handle, &info)) {
        result.reason = SystemErrorText(GetLastError());
        if (pin.handle != INVALID_HANDLE_VALUE) CloseHandle(pin.handle);
        CloseHandle(pin.lock);
        return result;
    }
    pin.serial = info.dwVolumeSerialNumber;
    pin.fileIndex = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    pin.volumeName = VolumeNameOf(folder);
    wchar_t windows[MAX_PATH];
    if (GetWindowsDirectoryW(windows, MAX_PATH)) {
        result.systemHolds = NarrowText(windows);
        result.onSystemDrive = !pin.volumeName.empty() && VolumeNameOf(result.systemHolds) == pin.volumeName;
    }
    result.pinned = true;
    result.volumeId = SerialText(pin.serial);
    std::lock_guard<std::mutex> hold(pinsLock);
    pins.push_back(pin);
    return result;
}

void UnpinFolder(const std::string& folder) {
    std::lock_guard<std::mutex> hold(pinsLock);
    for (auto pin = pins.begin(); pin != pins.end(); ++pin) {
        if (pin->folder != folder) continue;
        CloseHandle(pin->handle);
        CloseHandle(pin->lock);
        pins.erase(pin);
        return;
    }
}

bool DriveStillThere(const std::string& folder) {
    Pin pin;
    {
        std::lock_guard<std::mutex> hold(pinsLock);
        bool found = false;
        for (const Pin& p : pins) {
            if (p.folder == folder) pin = p;
            found = found || p.folder == folder;
        }
        if (!found) return true;
    }
    // The folder's own handle still on the volume, and the path still
    // leading to that folder: a drive letter pointed elsewhere leads to
    // another folder, of another volume.
    BY_HANDLE_FILE_INFORMATION held, now;
    if (!FolderIdentity(pin.handle, &held) || held.dwVolumeSerialNumber != pin.serial) return false;
    HANDLE again = OpenFolder(folder);
    const bool same = FolderIdentity(again, &now) && now.dwVolumeSerialNumber == pin.serial &&
                      (static_cast<uint64_t>(now.nFileIndexHigh) << 32 | now.nFileIndexLow) == pin.fileIndex;
    if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
    return same;
}

uint64_t RandomNumber() {
    unsigned high = 0, low = 0;
    rand_s(&high);
    rand_s(&low);
    // With the clock too, in case the system's generator failed.
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (static_cast<uint64_t>(high) << 32 | low) ^ static_cast<uint64_t>(now.QuadPart) * 0x9e3779b97f4a7c15ull;
}

// Nothing to empty: the volume's kind says whether unbuffered reads reach the drive.
CacheCheck DropCaches(const std::string& folder, bool) {
    const bool unc =
        folder.size() >= 2 && (folder[0] == '\\' || folder[0] == '/') && (folder[1] == '\\' || folder[1] == '/');
    const std::wstring root = VolumeRootOf(folder);
    if (root.empty()) return WindowsVolumeReadBack(unc, "", UnderWine());
    const bool remote = unc || GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
    wchar_t name[MAX_PATH + 1] = L"";
    std::string fileSystem;
    if (GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1)) {
        fileSystem = NarrowText(name);
    }
    return WindowsVolumeReadBack(remote, fileSystem, UnderWine());
}

// Windows keeps no attach sequence a program can read.
DriveAttachment AttachmentOf(const std::string&) { return DriveAttachment(); }
namespace {

// What a control code answered into out, or the failure's words.
std::string Control(HANDLE handle, DWORD code, const void* in, DWORD inBytes, std::vector<unsigned char>* out,
                    const char* name, bool* more = nullptr) {
    DWORD got = 0;
    const bool ok = DeviceIoControl(handle, code, const_cast<void*>(in), inBytes, out->data(),
                                    static_cast<DWORD>(out->size()), &got, nullptr) != 0;
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (more) *more = error == ERROR_MORE_DATA;
    if (!ok && error != ERROR_MORE_DATA) return std::string(name) + ": " + SystemErrorText(error);
    out->resize(got);
    return "";
}

// The file's runs of clusters, asked for until the system has given all.
std::string AskClusterRuns(const std::string& path, RetrievalAnswers* answers) {
    HANDLE file = LookAt(path, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) return path + ": " + SystemErrorText(GetLastError());
    const std::string what = NotOwn(file, PinnedSerialOf(path));
    if (!what.empty()) {
        CloseHandle(file);
        return path + ": not the set's own file: " + what;
    }
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size)) answers->fileBytes = static_cast<uint64_t>(size.QuadPart);
    STARTING_VCN_INPUT_BUFFER from;
    from.StartingVcn.QuadPart = 0;
    std::string failure;
    for (bool first = true, more = true; more && failure.empty(); first = false) {
        std::vector<unsigned char> out(65536);
        failure = Control(file, FSCTL_GET_RETRIEVAL_POINTERS, &from, sizeof from, &out, "FSCTL_GET_RETRIEVAL_POINTERS",
                          &more);
        if (!failure.empty() || out.size() < sizeof(RETRIEVAL_POINTERS_BUFFER)) break;
        RETRIEVAL_POINTERS_BUFFER head;
        std::memcpy(&head, out.data(), sizeof head);
        if (first) answers->startingVcn = head.StartingVcn.QuadPart;
        const size_t runsAt = offsetof(RETRIEVAL_POINTERS_BUFFER, Extents);
        for (DWORD k = 0; k < head.ExtentCount && runsAt + (k + 1) * sizeof head.Extents[0] <= out.size(); ++k) {
            std::memcpy(&head.Extents[0], out.data() + runsAt + k * sizeof head.Extents[0], sizeof head.Extents[0]);
            answers->runs.push_back(ClusterRun{head.Extents[0].NextVcn.QuadPart, head.Extents[0].Lcn.QuadPart});
        }
        if (answers->runs.empty()) break;
        from.StartingVcn.QuadPart = answers->runs.back().nextVcn;
    }
    CloseHandle(file);
    return failure;
}

// The cluster size, where the clusters begin, the volume's place on its
// disk and the disk's size: all asked of handles opened with no access
// rights, which need no administrator.
std::string AskVolume(const std::string& path, RetrievalAnswers* answers) {
    wchar_t volumeName[MAX_PATH];
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
    const std::wstring root = VolumeRootOf(path);
    if (root.empty()) return "GetVolumePathName: " + SystemErrorText(GetLastError());
    if (!GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
        return "GetDiskFreeSpace: " + SystemErrorText(GetLastError());
    }
    answers->bytesPerSector = bytesPerSector;
    answers->clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    if (!GetVolumeNameForVolumeMountPointW(root.c_str(), volumeName, MAX_PATH)) {
        return "GetVolumeNameForVolumeMountPoint: " + SystemErrorText(GetLastError());
    }
    std::string device = NarrowText(volumeName);
    if (!device.empty() && device.back() == '\\') device.pop_back();  // the volume itself, not its root folder
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE volume = CreateFileW(WidePath(device).c_str(), 0, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) return device + ": " + SystemErrorText(GetLastError());
    std::vector<unsigned char> base(sizeof(RETRIEVAL_POINTER_BASE));
    std::string failure =
        Control(volume, FSCTL_GET_RETRIEVAL_POINTER_BASE, nullptr, 0, &base, "FSCTL_GET_RETRIEVAL_POINTER_BASE");
    if (failure.empty() && base.size() == sizeof(RETRIEVAL_POINTER_BASE)) {
        RETRIEVAL_POINTER_BASE answer;
        std::memcpy(&answer, base.data(), sizeof answer);
        answers->clusterHeapSectors = static_cast<uint64_t>(answer.FileAreaOffset.QuadPart);
    } else if (failure.empty()) {
        failure = "FSCTL_GET_RETRIEVAL_POINTER_BASE gave no answer";
    }
    std::vector<unsigned char> extents(sizeof(VOLUME_DISK_EXTENTS) + 15 * sizeof(DISK_EXTENT));
    if (failure.empty()) {
        failure = Control(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents,
                          "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS");
    }
    CloseHandle(volume);
    if (!failure.empty()) return failure;
    const size_t listAt = offsetof(VOLUME_DISK_EXTENTS, Extents);
    DWORD count = 0;
    if (extents.size() >= sizeof count) std::memcpy(&count, extents.data(), sizeof count);
    for (DWORD k = 0; k < count && listAt + (k + 1) * sizeof(DISK_EXTENT) <= extents.size(); ++k) {
        DISK_EXTENT extent;
        std::memcpy(&extent, extents.data() + listAt + k * sizeof extent, sizeof extent);
        answers->volumeExtents.push_back(VolumeDiskExtent{static_cast<uint32_t>(extent.DiskNumber),
                                                          static_cast<uint64_t>(extent.StartingOffset.QuadPart),
                                                          static_cast<uint64_t>(extent.ExtentLength.QuadPart)});
    }
    if (answers->volumeExtents.size() == 1) {
        const std::string disk = "\\\\.\\PhysicalDrive" + std::to_string(answers->volumeExtents[0].disk);
        HANDLE drive = CreateFileW(WidePath(disk).c_str(), 0, share, nullptr, OPEN_EXISTING, 0, nullptr);
        std::vector<unsigned char> geometry(sizeof(DISK_GEOMETRY_EX));
        if (drive != INVALID_HANDLE_VALUE &&
            Control(drive, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, "IOCTL_DISK_GET_DRIVE_GEOMETRY_EX")
                .empty() &&
            geometry.size() >= offsetof(DISK_GEOMETRY_EX, DiskSize) + sizeof(LARGE_INTEGER)) {
            LARGE_INTEGER size;
            std::memcpy(&size, geometry.data() + offsetof(DISK_GEOMETRY_EX, DiskSize), sizeof size);
            answers->diskBytes = static_cast<uint64_t>(size.QuadPart);
        }
        if (drive != INVALID_HANDLE_VALUE) CloseHandle(drive);
    }
    return "";
}

}  // namespace

FileExtents FileExtentsOf(const std::string& path) {
    RetrievalAnswers answers;
    answers.failure = AskClusterRuns(path, &answers);
    if (answers.failure.empty()) answers.failure = AskVolume(path, &answers);
    if (!answers.failure.empty()) answers.failure = "the system gave no map of the file (" + answers.failure + ")";
    return ExtentsFromRetrieval(answers);
}

namespace {

// The text at offset in a storage descriptor, without its padding blanks.
std::string DescriptorText(const std::vector<char>& descriptor, DWORD offset) {
    if (offset == 0 || offset >= descriptor.size()) return "";
    std::string text(&descriptor[offset], strnlen(&descriptor[offset], descriptor.size() - offset));
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Vendor, model and size of the drive behind a volume, asked of the volume
// itself: these queries need no access rights, so no administrator.
void DescribeVolumeDrive(const std::wstring& root, DriveIdentity* identity) {
    wchar_t volume[MAX_PATH];
    if (!GetVolumeNameForVolumeMountPointW(root.c_str(), volume, MAX_PATH)) return;
    std::wstring name = volume;
    if (!name.empty() && name.back() == '\\') name.pop_back();  // the volume, not its root folder
    HANDLE handle =
        CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    STORAGE_PROPERTY_QUERY query;
    std::memset(&query, 0, sizeof query);
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::vector<char> descriptor(4096, '\0');
    DWORD got = 0;
    if (DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, descriptor.data(),
                        static_cast<DWORD>(descriptor.size()), &got, nullptr) &&
        got >= sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
        descriptor.resize(got);
        const auto* header = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(descriptor.data());
        identity->vendor = DescriptorText(descriptor, header->VendorIdOffset);
        identity->model = DescriptorText(descriptor, header->ProductIdOffset);
    }
    DISK_GEOMETRY_EX geometry;
    if (DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, sizeof geometry, &got,
                        nullptr)) {
        identity->driveBytes = static_cast<uint64_t>(geometry.DiskSize.QuadPart);
    }
    CloseHandle(handle);
}

}  // namespace

DriveIdentity IdentifyDrive(const std::string& folder) {
    DriveIdentity identity;
    const std::wstring root = VolumeRootOf(folder);
    if (root.empty()) return identity;
    identity.device = NarrowText(root);
    wchar_t fileSystem[MAX_PATH + 1];
    if (GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem, MAX_PATH + 1)) {
        identity.fileSystem = NarrowText(fileSystem);
    }
    ULARGE_INTEGER total;
    if (GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr)) identity.volumeBytes = total.QuadPart;
    DescribeVolumeDrive(root, &identity);
    return identity;
}

PathFacts InspectPath(const std::string& path) {
    PathFacts facts;
    const std::wstring widePath = WidePath(path);
    const DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) facts.reason = SystemErrorText(error);
        return facts;
    }
    facts.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::folder : PathKind::file;
    // A folder opens only with backup semantics; no access rights are needed to ask which volume holds it.
    HANDLE handle = CreateFileW(widePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return facts;
    if (GetFileType(handle) != FILE_TYPE_DISK) facts.kind = PathKind::other;
    // The 64-bit serial where the system has it (Windows 8 on), else the older 32-bit one.
    FILE_ID_INFO id;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
        facts.volume = id.VolumeSerialNumber;
    } else if (GetFileInformationByHandle(handle, &information)) {
        facts.volume = information.dwVolumeSerialNumber;
    }
    CloseHandle(handle);
    return facts;
}

bool Rename(const std::string& from, const std::string& to, std::string* reason) {
    const DWORD how = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), how)) return true;
    *reason = SystemErrorText(GetLastError());
    return false;
}

}  // namespace system_drive
