// The drive test's system calls on Linux (and, without its extras, other
// POSIX systems): O_DIRECT where the file system takes it, else the page
// cache flushed and dropped, with mincore to see that it really emptied.
#include "drive_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <limits.h>
#include <sstream>
#include <stdlib.h>
#include <csignal>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

namespace system_drive {

const char kSeparator = '/';


std::string ErrnoText(int error) { return std::strerror(error); }

IoStatus StatusOf(int error) {
    return error == ENOSPC || error == EDQUOT ? IoStatus::noSpace : IoStatus::failed;
}

int Fd(intptr_t handle) { return static_cast<int>(handle); }

int OpenRetrying(const char* path, int flags) {
    int fd;
    do {
        fd = ::open(path, flags, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The device's logical block size, from sysfs: the disk's queue, seen from
// the disk itself or from one of its partitions.
size_t DeviceBlockSize(dev_t device) {
    char path[96];
    const char* forms[] = {"/sys/dev/block/%u:%u/queue/logical_block_size",
                           "/sys/dev/block/%u:%u/../queue/logical_block_size"};
    for (const char* form : forms) {
        std::snprintf(path, sizeof path, form, major(device), minor(device));
        FILE* text = std::fopen(path, "r");
        if (!text) continue;
        unsigned long size = 0;
        const bool read = std::fscanf(text, "%lu", &size) == 1;
        std::fclose(text);
        if (read && size > 0) return size;
    }
    return 4096;  // no device to ask (a network or FUSE file system): the usual page
}

// What direct I/O on fd must be aligned to; 0 when the file system takes none.
size_t DirectAlignment(int fd) {
#if defined(STATX_DIOALIGN)
    struct statx info;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &info) == 0 && (info.stx_mask & STATX_DIOALIGN)) {
        if (info.stx_dio_offset_align == 0) return 0;
        return info.stx_dio_mem_align > info.stx_dio_offset_align ? info.stx_dio_mem_align : info.stx_dio_offset_align;
    }
#endif
    struct stat plain;
    if (fstat(fd, &plain) != 0) return 4096;
    return DeviceBlockSize(plain.st_dev);
}

// Empties the page cache of fd's file and says whether mincore then finds
// none of its pages in memory.
ReadBack DropCache(int fd) {
    if (fdatasync(fd) != 0 && errno != EINVAL && errno != EBADF) return ReadBack::mayBeCached;
    if (posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) return ReadBack::mayBeCached;
    struct stat info;
    if (fstat(fd, &info) != 0) return ReadBack::mayBeCached;
    if (info.st_size == 0) return ReadBack::cacheDropped;
    const size_t length = static_cast<size_t>(info.st_size);
    void* map = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) return ReadBack::mayBeCached;
    const long page = sysconf(_SC_PAGESIZE);
    const size_t pages = (length + static_cast<size_t>(page) - 1) / static_cast<size_t>(page);
    std::string resident(pages, '\0');
    ReadBack result = ReadBack::mayBeCached;
    if (mincore(map, length, reinterpret_cast<unsigned char*>(&resident[0])) == 0 &&
        std::none_of(resident.begin(), resident.end(), [](char state) { return (state & 1) != 0; })) {
        result = ReadBack::cacheDropped;
    }
    munmap(map, length);
    return result;
}

IoResult Open(const std::string& path, OpenFor how, DriveFile* file) {
    int flags = O_CLOEXEC;
    if (how == OpenFor::create) flags |= O_WRONLY | O_CREAT | O_TRUNC;
    if (how == OpenFor::extend) flags |= O_WRONLY;
    if (how == OpenFor::read) flags |= O_RDONLY;
    *file = DriveFile();
    file->path = path;
    int fd = OpenRetrying(path.c_str(), flags | O_DIRECT);
    if (fd >= 0) {
        file->alignment = DirectAlignment(fd);
        file->direct = file->alignment > 0 && file->alignment <= kDriveBufferAlignment;
        if (!file->direct) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_DIRECT);
    } else if (errno == EINVAL) {  // a file system that refuses O_DIRECT
        fd = OpenRetrying(path.c_str(), flags);
    }
    IoResult result;
    if (fd < 0) {
        result.status = StatusOf(errno);
        result.reason = ErrnoText(errno);
        return result;
    }
    if (!file->direct) file->alignment = 1;
    file->handle = fd;
    if (how == OpenFor::read) file->readBack = file->direct ? ReadBack::direct : DropCache(fd);
    return result;
}

// The cached handle for the parts of requests that direct I/O cannot take.
bool TailHandle(DriveFile& file, bool writing, std::string* reason) {
    if (file.tailHandle >= 0) return true;
    const int fd = OpenRetrying(file.path.c_str(), (writing ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        *reason = ErrnoText(errno);
        return false;
    }
    if (!writing) posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    file.tailHandle = fd;
    return true;
}

// Moves count bytes between data and the file at offset through fd.
template <typename Call>
IoResult Transfer(int fd, uint64_t offset, size_t count, bool writing, Call call) {
    IoResult result;
    while (result.bytes < count) {
        const ssize_t done = call(fd, result.bytes, static_cast<off_t>(offset + result.bytes), count - result.bytes);
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) {
            result.status = StatusOf(errno);
            result.reason = ErrnoText(errno);
            return result;
        }
        if (done == 0) {
            if (writing) {  // no error, yet no room
                result.status = IoStatus::noSpace;
                result.reason = ErrnoText(ENOSPC);
            }
            return result;
        }
        result.bytes += static_cast<size_t>(done);
    }
    return result;
}

// The request split where direct I/O's alignment rules stop: the aligned
// head directly, the rest through the cached handle.
template <typename Call>
IoResult AlignedTransfer(DriveFile& file, uint64_t offset, uintptr_t address, size_t count, bool writing, Call call) {
    const size_t head = DirectHead(file, offset, address, count);
    IoResult result = Transfer(Fd(file.handle), offset, head, writing, call);
    if (result.status != IoStatus::ok || result.bytes < head || head == count) return result;
    std::string reason;
    if (!TailHandle(file, writing, &reason)) {
        result.status = IoStatus::failed;
        result.reason = reason;
        return result;
    }
    IoResult tail = Transfer(Fd(file.tailHandle), offset + head, count - head, writing,
                             [&](int fd, size_t done, off_t at, size_t left) { return call(fd, head + done, at, left); });
    tail.bytes += head;
    return tail;
}

// Some file systems take O_DIRECT when a file is opened, then refuse its
// requests (EINVAL): the file goes on through the cache.
template <typename Call>
IoResult DirectOrCached(DriveFile& file, uint64_t offset, uintptr_t address, size_t count, bool writing, Call call) {
    IoResult result = AlignedTransfer(file, offset, address, count, writing, call);
    if (result.status != IoStatus::failed || !file.direct || result.reason != ErrnoText(EINVAL)) return result;
    const int fd = Fd(file.handle);
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_DIRECT) != 0) return result;
    file.direct = false;
    file.alignment = 1;
    if (!writing) file.readBack = DropCache(fd);
    const size_t done = result.bytes;
    IoResult rest = AlignedTransfer(file, offset + done, address + done, count - done, writing,
                                    [&](int to, size_t moved, off_t at, size_t left) { return call(to, done + moved, at, left); });
    rest.bytes += done;
    return rest;
}

IoResult WriteAt(DriveFile& file, uint64_t offset, const unsigned char* data, size_t count) {
    return DirectOrCached(file, offset, reinterpret_cast<uintptr_t>(data), count, true,
                          [data](int fd, size_t done, off_t at, size_t left) { return pwrite(fd, data + done, left, at); });
}

IoResult ReadAt(DriveFile& file, uint64_t offset, unsigned char* data, size_t count) {
    return DirectOrCached(file, offset, reinterpret_cast<uintptr_t>(data), count, false,
                          [data](int fd, size_t done, off_t at, size_t left) { return pread(fd, data + done, left, at); });
}

bool SetLength(DriveFile& file, uint64_t length, std::string* reason) {
    int result;
    do {
        result = ftruncate(Fd(file.handle), static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR);
    if (result != 0) *reason = ErrnoText(errno);
    return result == 0;
}

bool Flush(const DriveFile& file, std::string* reason) {
    for (intptr_t handle : {file.handle, file.tailHandle}) {
        if (handle < 0) continue;
        if (fdatasync(Fd(handle)) != 0) {
            *reason = ErrnoText(errno);
            return false;
        }
        if (!file.direct || handle == file.tailHandle) posix_fadvise(Fd(handle), 0, 0, POSIX_FADV_DONTNEED);
    }
    return true;
}

void Close(DriveFile& file) {
    if (file.handle >= 0) ::close(Fd(file.handle));
    if (file.tailHandle >= 0) ::close(Fd(file.tailHandle));
    file.handle = file.tailHandle = -1;
}

bool Remove(const std::string& path, std::string* reason) {
    if (unlink(path.c_str()) == 0) return true;
    *reason = ErrnoText(errno);
    return false;
}

std::optional<uint64_t> FileLength(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

FolderState InspectFolder(const std::string& folder) {
    FolderState state;
    const auto refuse = [&state](int error) {
        state.reason = ErrnoText(error);
        return state;
    };
    struct stat info;
    struct statvfs space;
    if (stat(folder.c_str(), &info) != 0) return refuse(errno);
    if (!S_ISDIR(info.st_mode)) return refuse(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0 || statvfs(folder.c_str(), &space) != 0) return refuse(errno);
    state.usable = true;
    // Root may also write the blocks the file system keeps back for it.
    const uint64_t blocks = geteuid() == 0 ? space.f_bfree : space.f_bavail;
    state.freeBytes = blocks * space.f_frsize;
    return state;
}

bool WriteText(const std::string& path, const std::string& text, std::string* reason) {
    const int fd = OpenRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        *reason = ErrnoText(errno);
        return false;
    }
    IoResult written = Transfer(fd, 0, text.size(), true, [&text](int to, size_t done, off_t at, size_t left) {
        return pwrite(to, text.data() + done, left, at);
    });
    bool ok = written.status == IoStatus::ok;
    if (!ok) *reason = written.reason;
    if (ok && fdatasync(fd) != 0) {
        ok = false;
        *reason = ErrnoText(errno);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        *reason = ErrnoText(errno);
    }
    return ok;
}

std::optional<std::string> ReadText(const std::string& path) {
    const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text(65536, '\0');
    IoResult got = Transfer(fd, 0, text.size(), false, [&text](int from, size_t done, off_t at, size_t left) {
        return pread(from, &text[done], left, at);
    });
    ::close(fd);
    if (got.status != IoStatus::ok) return std::nullopt;
    text.resize(got.bytes);
    return text;
}

void* ThreadBody(void* body) {
    std::function<void()>* call = static_cast<std::function<void()>*>(body);
    (*call)();
    delete call;
    return nullptr;
}

bool StartThread(std::function<void()> body, DriveThread* thread) {
    auto* call = new std::function<void()>(std::move(body));
    // The helper starts with every signal blocked, so that signals reach the
    // caller's thread, whose blocking calls they are to interrupt.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_t id;
    const bool started = pthread_create(&id, nullptr, ThreadBody, call) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!started) {
        delete call;
        return false;
    }
    thread->native = static_cast<uintptr_t>(id);
    return true;
}

void JoinThread(DriveThread& thread) { pthread_join(static_cast<pthread_t>(thread.native), nullptr); }

unsigned char* AllocateMemory(size_t bytes) {
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_POPULATE)
    flags |= MAP_POPULATE;
#endif
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
    return memory == MAP_FAILED ? nullptr : static_cast<unsigned char*>(memory);
}

void FreeMemory(unsigned char* memory, size_t bytes) { munmap(memory, bytes); }

double Seconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

uint64_t RandomNumber() {
    uint64_t number = 0;
    const int fd = OpenRetrying("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (read(fd, &number, sizeof number) != static_cast<ssize_t>(sizeof number)) number = 0;
        ::close(fd);
    }
    // Without /dev/urandom: the clock and the process, which differ from run to run.
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return number ^ (static_cast<uint64_t>(now.tv_sec) << 32) ^ static_cast<uint64_t>(now.tv_nsec) ^
           static_cast<uint64_t>(getpid()) << 48;
}

// The first line of a small sysfs or procfs file, without its blanks at the ends.
std::string FirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

// The file system mounted from device, and its source, from mountinfo: its
// third field is the device, and after " - " come the type and the source.
void ReadMountInfo(dev_t device, std::string* type, std::string* source) {
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, field;
        fields >> id >> parent >> numbers;
        if (numbers != wanted) continue;
        while (fields >> field && field != "-") {
        }
        fields >> *type >> *source;
        return;
    }
}

// The whole drive behind a block device and what sysfs says of it: the
// device folder of a partition is its disk's.
void DescribeBlockDevice(dev_t device, DriveIdentity* identity) {
    char path[64];
    std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u", major(device), minor(device));
    char real[PATH_MAX];
    if (realpath(path, real) == nullptr) return;
    std::string disk = real;
    identity->device = "/dev/" + disk.substr(disk.rfind('/') + 1);
    if (access((disk + "/partition").c_str(), F_OK) == 0) disk = disk.substr(0, disk.rfind('/'));
    const std::string sectors = FirstLine(disk + "/size");
    if (!sectors.empty()) identity->driveBytes = std::strtoull(sectors.c_str(), nullptr, 10) * 512;  // sysfs counts 512-byte units
    identity->vendor = FirstLine(disk + "/device/vendor");
    identity->model = FirstLine(disk + "/device/model");
    if (identity->model.empty()) identity->model = FirstLine(disk + "/device/name");  // SD cards
}

DriveIdentity IdentifyDrive(const std::string& folder) {
    DriveIdentity identity;
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) return identity;
    struct statvfs space;
    if (statvfs(folder.c_str(), &space) == 0) identity.volumeBytes = static_cast<uint64_t>(space.f_blocks) * space.f_frsize;
    std::string source;
    ReadMountInfo(info.st_dev, &identity.fileSystem, &source);
    DescribeBlockDevice(info.st_dev, &identity);
    // A FUSE file system has a device number of its own: its source names the drive.
    struct stat sourceInfo;
    if (identity.device.empty() && source.rfind("/dev/", 0) == 0 && stat(source.c_str(), &sourceInfo) == 0 &&
        S_ISBLK(sourceInfo.st_mode)) {
        DescribeBlockDevice(sourceInfo.st_rdev, &identity);
    }
    return identity;
}

PathFacts InspectPath(const std::string& path) {
    PathFacts facts;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) facts.reason = ErrnoText(errno);
        return facts;
    }
    facts.kind = S_ISREG(info.st_mode) ? PathKind::file : S_ISDIR(info.st_mode) ? PathKind::folder : PathKind::other;
    facts.volume = static_cast<uint64_t>(info.st_dev);
    return facts;
}

bool Rename(const std::string& from, const std::string& to, std::string* reason) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        *reason = ErrnoText(errno);
        return false;
    }
    // The new name is in the folder: the folder goes to the drive too.
    const size_t slash = to.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : to.substr(0, slash);
    const int fd = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
    return true;
}

}  // namespace system_drive
