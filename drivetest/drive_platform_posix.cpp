// The drive test's system calls on Linux (and, without its extras, other
// POSIX systems): O_DIRECT where the file system takes it, else the page
// cache flushed and dropped, with mincore to see that it really emptied.
#include "drive_layers.h"
#include "drive_platform.h"
#include "drive_volume_id.h"
#include "system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>
#if defined(__linux__)
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#endif

namespace {

IoStatus StatusOf(int error) { return error == ENOSPC || error == EDQUOT ? IoStatus::noSpace : IoStatus::failed; }

int Fd(intptr_t handle) { return static_cast<int>(handle); }

int OpenRetrying(const char* path, int flags) {
    int fd;
    do {
        fd = ::open(path, flags, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A folder pinned for a test: its descriptor, through which every name in it
// is reached, and the file system it was found on.
struct Pin {
    std::string folder;
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    std::optional<uint64_t> mountId;
    std::string diskseq;  // of the drive, when it has one
};

std::mutex pinsLock;
std::vector<Pin> pins;

// Where a call on path goes: its name in a pinned folder, or the path itself.
struct Place {
    int folder = AT_FDCWD;
    std::string name;
    bool pinned = false;
    dev_t device = 0;
};

Place PlaceOf(const std::string& path) {
    std::lock_guard<std::mutex> hold(pinsLock);
    for (const Pin& pin : pins) {
        std::string prefix = pin.folder;
        if (prefix.empty() || prefix.back() != '/') prefix += '/';
        if (path.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string name = path.substr(prefix.size());
        if (name.empty() || name.find('/') != std::string::npos) continue;
        return {pin.fd, name, true, pin.device};
    }
    return {AT_FDCWD, path, false, 0};
}

// What info shows when it is not the set's own file: a plain file of one
// link, on the pinned drive.
std::string NotOwn(const struct stat& info, const Place& place) {
    if (S_ISLNK(info.st_mode)) return "a symbolic link";
    if (S_ISFIFO(info.st_mode)) return "a FIFO";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
    if (S_ISDIR(info.st_mode)) return "a folder";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    if (!S_ISREG(info.st_mode)) return "not a plain file";
    if (info.st_nlink != 1) return "a file with " + std::to_string(info.st_nlink) + " names (hard links)";
    if (place.pinned && info.st_dev != place.device) return "a file on another file system";
    return "";
}

IoResult Refused(IoStatus status, const std::string& reason) {
    IoResult result;
    result.status = status;
    result.reason = reason;
    return result;
}

IoResult NotOwnResult(const std::string& what) {
    return Refused(IoStatus::notOwnFile, "not the set's own file: " + what);
}

// Opens the set's own file at path, or makes it (O_CREAT in flags): what
// stands there is looked at before it is opened, so that no link is
// followed and no FIFO or device opened, and again once it is open.
int OpenOwn(const std::string& path, int flags, IoResult* refused) {
    const Place place = PlaceOf(path);
    struct stat before;
    const bool existed = fstatat(place.folder, place.name.c_str(), &before, AT_SYMLINK_NOFOLLOW) == 0;
    if (existed && !NotOwn(before, place).empty()) {
        *refused = NotOwnResult(NotOwn(before, place));
        return -1;
    }
    if (!existed && (errno != ENOENT || !(flags & O_CREAT))) {
        *refused = Refused(StatusOf(errno), SystemErrorText(errno));
        return -1;
    }
    int fd;
    do {
        fd = openat(place.folder, place.name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *refused = errno == ELOOP ? NotOwnResult("a symbolic link") : Refused(StatusOf(errno), SystemErrorText(errno));
        return -1;
    }
    struct stat after;
    std::string what = fstat(fd, &after) != 0 ? "gone as it was opened" : NotOwn(after, place);
    if (what.empty() && existed && after.st_ino != before.st_ino) what = "another file than the one looked at";
    if (!what.empty()) {
        ::close(fd);
        *refused = NotOwnResult(what);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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

// The cached handle for the parts of requests that direct I/O cannot take.
bool TailHandle(DriveFile& file, bool writing, std::string* reason) {
    if (file.tailHandle >= 0) return true;
    IoResult refused;
    const int fd = OpenOwn(file.path, writing ? O_WRONLY : O_RDONLY, &refused);
    struct stat opened, tail;
    if (fd >= 0 && (fstat(Fd(file.handle), &opened) != 0 || fstat(fd, &tail) != 0 || opened.st_ino != tail.st_ino)) {
        ::close(fd);
        *reason = "not the set's own file: another file than the one opened";
        return false;
    }
    if (fd < 0) {
        *reason = refused.reason;
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
        const off_t at = static_cast<off_t>(offset + result.bytes);
        const ssize_t done = call(fd, result.bytes, at, IoPiece(count - result.bytes));
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) {
            result.status = StatusOf(errno);
            result.reason = SystemErrorText(errno);
            return result;
        }
        if (done == 0) {
            if (writing) {  // no error, yet no room
                result.status = IoStatus::noSpace;
                result.reason = SystemErrorText(ENOSPC);
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
    IoResult tail =
        Transfer(Fd(file.tailHandle), offset + head, count - head, writing,
                 [&](int fd, size_t done, off_t at, size_t left) { return call(fd, head + done, at, left); });
    tail.bytes += head;
    return tail;
}

// Some file systems take O_DIRECT when a file is opened, then refuse its
// requests (EINVAL): the file goes on through the cache.
template <typename Call>
IoResult DirectOrCached(DriveFile& file, uint64_t offset, uintptr_t address, size_t count, bool writing, Call call) {
    IoResult result = AlignedTransfer(file, offset, address, count, writing, call);
    if (result.status != IoStatus::failed || !file.direct || result.reason != SystemErrorText(EINVAL)) return result;
    const int fd = Fd(file.handle);
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_DIRECT) != 0) return result;
    file.direct = false;
    file.alignment = 1;
    if (!writing) file.readBack = DropCache(fd);
    const size_t done = result.bytes;
    IoResult rest =
        AlignedTransfer(file, offset + done, address + done, count - done, writing,
                        [&](int to, size_t moved, off_t at, size_t left) { return call(to, done + moved, at, left); });
    rest.bytes += done;
    return rest;
}

// The mounts and block devices as the kernel shows them: /proc/self/mountinfo
// and sysfs, read here alone.

std::optional<uint64_t> MountIdOf(int fd) {
#if defined(STATX_MNT_ID)
    struct statx info;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &info) == 0 && (info.stx_mask & STATX_MNT_ID))
        return info.stx_mnt_id;
#else
    (void)fd;
#endif
    return std::nullopt;
}

std::vector<MountEntry> ReadMounts() {
    std::vector<MountEntry> mounts;
    std::ifstream file("/proc/self/mountinfo");
    std::string line;
    while (std::getline(file, line)) {
        if (std::optional<MountEntry> entry = ParseMountInfoLine(line)) mounts.push_back(*entry);
    }
    return mounts;
}

// The first mount of the file system whose device number is device.
std::optional<MountEntry> MountOf(dev_t device) {
    const std::vector<MountEntry> mounts = ReadMounts();
    const auto found = std::find_if(mounts.begin(), mounts.end(), [device](const MountEntry& entry) {
        return entry.major == major(device) && entry.minor == minor(device);
    });
    if (found == mounts.end()) return std::nullopt;
    return *found;
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

std::string BlockFolder(dev_t device) {
    return "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// The attach sequence number of the drive whose sysfs folder (or one of its
// partitions') is given: its own, or its disk's for a partition; empty when
// it has none.
std::string DiskseqOf(const std::string& blockFolder) {
    const std::string own = FirstLine(blockFolder + "/diskseq");
    return own.empty() ? FirstLine(blockFolder + "/../diskseq") : own;
}

// The device a FUSE file system's mount came from, as mountinfo names it:
// the block device under one such as ntfs-3g's. connection: its st_dev.
std::string MountSource(dev_t connection) {
    const std::optional<MountEntry> mount = MountOf(connection);
    if (!mount || mount->source.compare(0, 5, "/dev/") != 0) return "";
    return mount->source;
}

// The file system's UUID or serial: udev's /dev/disk/by-uuid names it where
// there is one; else the superblock, read from the device.
std::string VolumeIdOf(dev_t device) {
    if (DIR* links = opendir("/dev/disk/by-uuid")) {
        std::string found;
        while (const dirent* entry = readdir(links)) {
            struct stat target;
            const std::string path = std::string("/dev/disk/by-uuid/") + entry->d_name;
            if (entry->d_name[0] != '.' && stat(path.c_str(), &target) == 0 && S_ISBLK(target.st_mode) &&
                target.st_rdev == device) {
                found = entry->d_name;
            }
        }
        closedir(links);
        if (!found.empty()) return found;
    }
    std::string node;
    if (major(device) != 0) {
        const std::string uevent = BlockFolder(device) + "/uevent";
        if (FILE* text = std::fopen(uevent.c_str(), "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, text)) {
                if (std::strncmp(line, "DEVNAME=", 8) == 0)
                    node = "/dev/" + std::string(line + 8, std::strcspn(line + 8, "\n"));
            }
            std::fclose(text);
        }
    } else {
        node = MountSource(device);
    }
    if (node.empty()) return "";
    const int fd = OpenRetrying(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return "";
    struct stat info;
    std::string id;
    if (fstat(fd, &info) == 0 && S_ISBLK(info.st_mode)) {
        std::vector<unsigned char> bytes(kVolumeIdBytes);
        const ssize_t got = pread(fd, bytes.data(), bytes.size(), 0);
        if (got > 0) id = VolumeIdFromSuperblock(bytes.data(), static_cast<size_t>(got));
    }
    ::close(fd);
    return id;
}

#if defined(__linux__)

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string Basename(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The kernel's name of block device major:minor ("loop0", "sda1"), or "".
std::string BlockName(unsigned device_major, unsigned device_minor) {
    char link[64];
    std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u", device_major, device_minor);
    char target[PATH_MAX];
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0) return "";
    return Basename(std::string(target, static_cast<size_t>(length)));
}

// A partition's whole drive ("sda" for "sda1"); a whole drive is its own.
std::string WholeDrive(const std::string& name) {
    const std::string sys = "/sys/class/block/" + name;
    if (!Exists(sys + "/partition")) return name;
    char target[PATH_MAX];
    if (realpath(sys.c_str(), target) == nullptr) return name;
    const std::string path(target);
    return Basename(path.substr(0, path.find_last_of('/')));
}

// The file system that holds path, and the device under it.
StorageLayer LayerOf(const std::vector<MountEntry>& mounts, const std::string& path) {
    StorageLayer layer;
    char real[PATH_MAX];
    struct stat info;
    struct statfs system;
    if (realpath(path.c_str(), real) == nullptr || stat(real, &info) != 0 || statfs(real, &system) != 0) {
        layer.kind = LayerKind::stacked;
        layer.fsType = "the file system of " + path;
        return layer;
    }
    const std::optional<MountEntry> mount = MountHolding(mounts, major(info.st_dev), minor(info.st_dev), real);
    const std::string source = mount ? mount->source : std::string();
    layer.fsType = mount ? mount->fsType : "the file system of " + path;
    layer.kind = KindOfFileSystem(static_cast<int64_t>(system.f_type), layer.fsType, source);
    std::string name = BlockName(major(info.st_dev), minor(info.st_dev));
    struct stat device;
    if (name.empty() && source.rfind("/dev/", 0) == 0 && stat(source.c_str(), &device) == 0 &&
        S_ISBLK(device.st_mode)) {
        name = BlockName(major(device.st_rdev), minor(device.st_rdev));
    }
    if (name.empty()) return layer;
    layer.device = "/dev/" + name;
    const std::string loop = "/sys/class/block/" + WholeDrive(name) + "/loop/";
    if (Exists(loop)) {
        layer.loop = true;
        layer.loopDirect = FirstLine(loop + "dio") == "1";
        layer.backingFile = FirstLine(loop + "backing_file");
    }
    return layer;
}

// The folder's file system, then the one under each loop device's backing file.
std::vector<StorageLayer> LayersUnder(const std::string& folder) {
    const std::vector<MountEntry> mounts = ReadMounts();
    std::vector<StorageLayer> chain;
    std::string path = folder;
    const size_t kDeepest = 8;  // loop devices stacked deeper than this are not followed
    while (chain.size() < kDeepest) {
        chain.push_back(LayerOf(mounts, path));
        const StorageLayer& layer = chain.back();
        if (!layer.loop || layer.backingFile.empty()) break;
        path = layer.backingFile;
    }
    return chain;
}

// Bytes of fd's first length bytes that mincore finds in memory, a window
// at a time so that a large drive's map of flags stays small.
std::optional<uint64_t> ResidentBytes(int fd, uint64_t length) {
    const uint64_t window = uint64_t(1) << 30;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::string flags;
    uint64_t resident = 0;
    for (uint64_t at = 0; at < length; at += window) {
        const size_t bytes = static_cast<size_t>(std::min(window, length - at));
        void* map = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(at));
        if (map == MAP_FAILED) return std::nullopt;
        flags.assign((bytes + page - 1) / page, '\0');
        const bool seen = mincore(map, bytes, reinterpret_cast<unsigned char*>(&flags[0])) == 0;
        munmap(map, bytes);
        if (!seen) return std::nullopt;
        resident += page * static_cast<uint64_t>(
                               std::count_if(flags.begin(), flags.end(), [](char f) { return (f & 1) != 0; }));
    }
    return resident;
}

// Sends what is written of path to its drive and empties its cache; prove:
// then looks that none of it stayed. "" when done, else why not.
std::string EmptyCache(const CacheToEmpty& cache, bool prove, CacheRemedy* remedy) {
    const int fd = OpenRetrying(cache.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) *remedy = CacheRemedy::rights;
        return "cannot open " + cache.path + " to empty its cache: " + SystemErrorText(errno);
    }
    std::string why;
    if (fsync(fd) != 0 && errno != EINVAL) why = "cannot flush " + cache.path + ": " + SystemErrorText(errno);
    if (why.empty() && posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0)
        why = "cannot empty the cache of " + cache.path;
    if (why.empty() && prove) {
        // A block device's length is where it ends: its st_size is 0.
        const off_t end = lseek(fd, 0, SEEK_END);
        const std::optional<uint64_t> resident = end < 0 ? std::nullopt : ResidentBytes(fd, static_cast<uint64_t>(end));
        if (!resident) why = "cannot see the cache of " + cache.path + ": " + SystemErrorText(errno);
        if (resident && *resident > 0)
            why = std::to_string(*resident) + " bytes of " + cache.path + " stayed in the cache";
    }
    ::close(fd);
    return why;
}

// A number from a sysfs file, or nothing.
std::optional<uint64_t> SysfsNumber(const std::string& path) {
    FILE* text = std::fopen(path.c_str(), "r");
    if (!text) return std::nullopt;
    unsigned long long value = 0;
    const bool read = std::fscanf(text, "%llu", &value) == 1;
    std::fclose(text);
    if (!read) return std::nullopt;
    return static_cast<uint64_t>(value);
}

bool SysfsHas(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The block device under a FUSE file system on one (fuseblk): the source of
// its mount. st_dev names the FUSE connection, not the device.
std::optional<dev_t> FuseBlockDevice(dev_t connection) {
    for (const MountEntry& entry : ReadMounts()) {
        struct stat info;
        if (entry.major == major(connection) && entry.minor == minor(connection) && entry.fsType == "fuseblk" &&
            stat(entry.source.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
            return info.st_rdev;
        }
    }
    return std::nullopt;
}

// Where the file system's device lies on its drive; false with the reason
// where its addresses are not the drive's.
bool PlaceDevice(dev_t device, FileExtents* map) {
    char name[64];
    std::snprintf(name, sizeof name, "/sys/dev/block/%u:%u", major(device), minor(device));
    const std::string dir = name;
    if (!SysfsHas(dir)) {
        map->unknownBecause = "the file system is on no drive of this computer (a network or virtual file system)";
        return false;
    }
    if (SysfsHas(dir + "/dm")) {
        map->unknownBecause =
            "the file system is on a device-mapper device (LVM, encryption or the like), whose addresses are not the "
            "drive's";
        return false;
    }
    const bool partition = SysfsHas(dir + "/partition");
    const std::string drive = partition ? dir + "/.." : dir;
    for (const std::string& layer : {dir, drive}) {
        DIR* slaves = opendir((layer + "/slaves").c_str());
        if (!slaves) continue;
        bool stacked = false;
        while (struct dirent* entry = readdir(slaves)) stacked = stacked || entry->d_name[0] != '.';
        closedir(slaves);
        if (stacked) {
            map->unknownBecause =
                "the file system is on a device stacked on others (RAID or the like), whose addresses are not the "
                "drive's";
            return false;
        }
    }
    const std::optional<uint64_t> start = partition ? SysfsNumber(dir + "/start") : std::optional<uint64_t>(0);
    const std::optional<uint64_t> sectors = SysfsNumber(drive + "/size");
    if (!start) {
        map->unknownBecause = "the partition's start on its drive cannot be read";
        return false;
    }
    map->partitionStart = *start * 512;
    if (sectors) map->driveBytes = *sectors * 512;
    return true;
}

// Extents that hold no data at a known, plain place on the device.
const uint32_t kUnplacedExtent = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED |
                                 FIEMAP_EXTENT_NOT_ALIGNED | FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_DATA_TAIL |
                                 FIEMAP_EXTENT_UNWRITTEN | FIEMAP_EXTENT_DATA_ENCRYPTED;

// The file's extents from FS_IOC_FIEMAP; false with errno set when the file system has none.
bool FiemapExtents(int fd, uint64_t partitionStart, std::vector<DriveExtent>* extents) {
    const uint32_t batch = 256;
    std::vector<unsigned char> buffer(sizeof(struct fiemap) + batch * sizeof(struct fiemap_extent));
    uint64_t from = 0;
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), 0);
        auto* request = reinterpret_cast<struct fiemap*>(buffer.data());
        request->fm_start = from;
        request->fm_length = FIEMAP_MAX_OFFSET - from;
        request->fm_flags = FIEMAP_FLAG_SYNC;
        request->fm_extent_count = batch;
        if (ioctl(fd, FS_IOC_FIEMAP, request) != 0) return false;
        if (request->fm_mapped_extents == 0) return true;
        for (uint32_t k = 0; k < request->fm_mapped_extents; ++k) {
            const struct fiemap_extent& got = request->fm_extents[k];
            from = got.fe_logical + got.fe_length;
            if (got.fe_flags & kUnplacedExtent) continue;
            DriveExtent extent;
            extent.fileOffset = got.fe_logical;
            extent.driveOffset = partitionStart + got.fe_physical;
            extent.length = got.fe_length;
            extents->push_back(extent);
            if (got.fe_flags & FIEMAP_EXTENT_LAST) return true;
        }
        if (request->fm_extents[request->fm_mapped_extents - 1].fe_flags & FIEMAP_EXTENT_LAST) return true;
    }
}

// The file's blocks one by one from FIBMAP (root only), which FUSE passes on
// to servers that keep a map (ntfs-3g); 0 means the block has none.
bool FibmapExtents(int fd, uint64_t length, uint64_t partitionStart, std::vector<DriveExtent>* extents,
                   std::string* why) {
    int blockSize = 0;
    if (ioctl(fd, FIGETBSZ, &blockSize) != 0 || blockSize <= 0) {
        *why = "the file system gives no extent map (" + SystemErrorText(errno) + ")";
        return false;
    }
    const uint64_t bytes = static_cast<uint64_t>(blockSize);
    for (uint64_t block = 0; block * bytes < length; ++block) {
        int number = static_cast<int>(block);
        if (ioctl(fd, FIBMAP, &number) != 0) {
            *why = "the file system gives no extent map (FIBMAP: " + SystemErrorText(errno) +
                   (errno == EPERM ? ", it needs root)" : ")");
            return false;
        }
        if (number == 0) continue;  // no place known
        const uint64_t at = partitionStart + static_cast<uint64_t>(static_cast<unsigned>(number)) * bytes;
        if (!extents->empty() && extents->back().fileOffset + extents->back().length == block * bytes &&
            extents->back().driveOffset + extents->back().length == at) {
            extents->back().length += bytes;
        } else {
            extents->push_back(DriveExtent{block * bytes, at, bytes});
        }
    }
    if (extents->empty() && length > 0) {
        *why = "the file system gives no extent map (FIBMAP answers 0 for every block)";
        return false;
    }
    return true;
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
    if (access((disk + "/partition").c_str(), F_OK) == 0) disk.resize(disk.rfind('/'));
    const std::optional<uint64_t> sectors = SysfsNumber(disk + "/size");
    if (sectors) identity->driveBytes = *sectors * 512;  // sysfs counts 512-byte units
    identity->vendor = FirstLine(disk + "/device/vendor");
    identity->model = FirstLine(disk + "/device/model");
    if (identity->model.empty()) identity->model = FirstLine(disk + "/device/name");  // SD cards
}

#endif

// The type of the file system mounted from device.
std::string MountedType(dev_t device) {
    const std::optional<MountEntry> mount = MountOf(device);
    return mount ? mount->fsType : "";
}

}  // namespace

namespace system_drive {

const char kSeparator = '/';

IoResult Open(const std::string& path, OpenFor how, DriveFile* file) {
    int flags = O_CLOEXEC;
    if (how == OpenFor::create) flags |= O_WRONLY | O_CREAT | O_TRUNC;
    if (how == OpenFor::extend) flags |= O_WRONLY;
    if (how == OpenFor::read) flags |= O_RDONLY;
    *file = DriveFile();
    file->path = path;
    IoResult result;
    int fd = OpenOwn(path, flags | O_DIRECT, &result);
    if (fd >= 0) {
        file->alignment = DirectAlignment(fd);
        file->direct = file->alignment > 0 && file->alignment <= kDriveBufferAlignment;
        if (!file->direct) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_DIRECT);
    } else if (result.reason == SystemErrorText(EINVAL)) {  // a file system that refuses O_DIRECT
        result = IoResult();
        fd = OpenOwn(path, flags, &result);
    }
    if (fd < 0) return result;
    if (!file->direct) file->alignment = 1;
    file->handle = fd;
    if (how == OpenFor::read) file->readBack = file->direct ? ReadBack::direct : DropCache(fd);
    return result;
}

IoResult WriteAt(DriveFile& file, uint64_t offset, const unsigned char* data, size_t count) {
    return DirectOrCached(
        file, offset, reinterpret_cast<uintptr_t>(data), count, true,
        [data](int fd, size_t done, off_t at, size_t left) { return pwrite(fd, data + done, left, at); });
}

IoResult ReadAt(DriveFile& file, uint64_t offset, unsigned char* data, size_t count) {
    return DirectOrCached(
        file, offset, reinterpret_cast<uintptr_t>(data), count, false,
        [data](int fd, size_t done, off_t at, size_t left) { return pread(fd, data + done, left, at); });
}

bool SetLength(DriveFile& file, uint64_t length, std::string* reason) {
    int result;
    do {
        result = ftruncate(Fd(file.handle), static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR);
    if (result != 0) *reason = SystemErrorText(errno);
    return result == 0;
}

bool Flush(const DriveFile& file, std::string* reason) {
    for (intptr_t handle : {file.handle, file.tailHandle}) {
        if (handle < 0) continue;
        if (fdatasync(Fd(handle)) != 0) {
            *reason = SystemErrorText(errno);
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
    const Place place = PlaceOf(path);
    struct stat info;
    if (fstatat(place.folder, place.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !NotOwn(info, place).empty()) {
        *reason = "not the set's own file: " + NotOwn(info, place);
        return false;
    }
    if (unlinkat(place.folder, place.name.c_str(), 0) == 0) return true;
    *reason = SystemErrorText(errno);
    return false;
}

std::optional<uint64_t> FileLength(const std::string& path) {
    const Place place = PlaceOf(path);
    struct stat info;
    if (fstatat(place.folder, place.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(info.st_size);
}

std::optional<std::string> NotOwnFile(const std::string& path) {
    const Place place = PlaceOf(path);
    struct stat info;
    if (fstatat(place.folder, place.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    const std::string what = NotOwn(info, place);
    if (what.empty()) return std::nullopt;
    return what;
}

FolderState InspectFolder(const std::string& folder) {
    FolderState state;
    const auto refuse = [&state](int error) {
        state.reason = SystemErrorText(error);
        return state;
    };
    struct stat info;
    struct statvfs space;
    if (stat(folder.c_str(), &info) != 0) return refuse(errno);
    if (!S_ISDIR(info.st_mode)) return refuse(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0) return refuse(errno);
    // Once pinned, the space is the pinned file system's, wherever the path now leads.
    const Place place = PlaceOf(folder + "/.");
    if ((place.pinned ? fstatvfs(place.folder, &space) : statvfs(folder.c_str(), &space)) != 0) return refuse(errno);
    state.usable = true;
    // Root may also write the blocks the file system keeps back for it.
    const uint64_t blocks = geteuid() == 0 ? space.f_bfree : space.f_bavail;
    state.freeBytes = blocks * space.f_frsize;
    state.sizeBytes = space.f_blocks * space.f_frsize;
    return state;
}

bool WriteText(const std::string& path, const std::string& text, std::string* reason) {
    IoResult refused;
    const int fd = OpenOwn(path, O_WRONLY | O_CREAT | O_TRUNC, &refused);
    if (fd < 0) {
        *reason = refused.reason;
        return false;
    }
    IoResult written = Transfer(fd, 0, text.size(), true, [&text](int to, size_t done, off_t at, size_t left) {
        return pwrite(to, text.data() + done, left, at);
    });
    bool ok = written.status == IoStatus::ok;
    if (!ok) *reason = written.reason;
    if (ok && fdatasync(fd) != 0) {
        ok = false;
        *reason = SystemErrorText(errno);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        *reason = SystemErrorText(errno);
    }
    return ok;
}

std::optional<std::string> ReadText(const std::string& path) {
    IoResult refused;
    const int fd = OpenOwn(path, O_RDONLY, &refused);
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

PinnedFolder PinFolder(const std::string& folder) {
    PinnedFolder result;
    Pin pin;
    pin.folder = folder;
    pin.fd = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY);
    struct stat info, systemRoot;
    if (pin.fd < 0 || fstat(pin.fd, &info) != 0) {
        result.reason = SystemErrorText(errno);
        if (pin.fd >= 0) ::close(pin.fd);
        return result;
    }
    // Held by this open of the folder for as long as it stays open.
    if (flock(pin.fd, LOCK_EX | LOCK_NB) != 0) {
        result.busy = errno == EWOULDBLOCK;
        result.reason = SystemErrorText(errno);
        ::close(pin.fd);
        return result;
    }
    pin.device = info.st_dev;
    pin.inode = info.st_ino;
    pin.mountId = MountIdOf(pin.fd);
    if (major(pin.device) != 0) pin.diskseq = DiskseqOf(BlockFolder(pin.device));
    result.pinned = true;
    result.systemHolds = "/";
    result.onSystemDrive = stat("/", &systemRoot) == 0 && systemRoot.st_dev == pin.device;
    result.volumeId = VolumeIdOf(pin.device);
    std::lock_guard<std::mutex> hold(pinsLock);
    pins.push_back(pin);
    return result;
}

void UnpinFolder(const std::string& folder) {
    std::lock_guard<std::mutex> hold(pinsLock);
    for (auto pin = pins.begin(); pin != pins.end(); ++pin) {
        if (pin->folder != folder) continue;
        ::close(pin->fd);  // and the lock with it
        pins.erase(pin);
        return;
    }
}

bool DriveStillThere(const std::string& folder) {
    Pin pin;
    {
        std::lock_guard<std::mutex> hold(pinsLock);
        auto found = std::find_if(pins.begin(), pins.end(), [&](const Pin& p) { return p.folder == folder; });
        if (found == pins.end()) return true;
        pin = *found;
    }
    // The path must still lead to the pinned folder, on the same mount.
    const int now = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY);
    struct stat info;
    bool same = now >= 0 && fstat(now, &info) == 0 && info.st_dev == pin.device && info.st_ino == pin.inode;
    if (same && pin.mountId) same = MountIdOf(now) == pin.mountId;
    if (now >= 0) ::close(now);
    if (!same || major(pin.device) == 0) return same;
    // And the drive itself still attached: the same device, not a new one of the same number.
    struct stat device;
    return stat(BlockFolder(pin.device).c_str(), &device) == 0 && DiskseqOf(BlockFolder(pin.device)) == pin.diskseq;
}

#if defined(__linux__)

CacheCheck DropCaches(const std::string& folder, bool prove) {
    const CachePlan plan = PlanCaches(LayersUnder(folder));
    CacheCheck check;
    check.remedy = plan.remedy;
    for (const CacheToEmpty& cache : plan.caches) {
        const std::string why = EmptyCache(cache, prove, &check.remedy);
        if (!why.empty() && check.reason.empty()) check.reason = why;
    }
    if (!plan.doubt.empty()) check.reason = plan.doubt;
    if (!check.reason.empty()) {
        check.readBack = ReadBack::mayBeCached;
    } else {
        check.readBack = plan.caches.empty() ? ReadBack::direct : ReadBack::cacheDropped;
    }
    return check;
}

DriveAttachment AttachmentOf(const std::string& folder) {
    const CachePlan plan = PlanCaches(LayersUnder(folder));
    DriveAttachment identity;
    identity.bootId = FirstLine("/proc/sys/kernel/random/boot_id");
    identity.replugEmptiesCaches = plan.replugEmptiesCaches;
    identity.rebootEmptiesCaches = plan.rebootEmptiesCaches;
    if (plan.drive.empty()) return identity;
    const std::string text = DiskseqOf("/sys/class/block/" + Basename(plan.drive));
    char* end = nullptr;
    const unsigned long long diskseq = std::strtoull(text.c_str(), &end, 10);
    if (!text.empty() && end != nullptr && *end == '\0') identity.diskseq = diskseq;
    return identity;
}

#else

// Without Linux's view of mounts and devices, only the files' own caches are reached.
CacheCheck DropCaches(const std::string&, bool) {
    CacheCheck check;
    check.readBack = ReadBack::mayBeCached;
    check.reason = "this system does not show what lies under its file systems";
    return check;
}

DriveAttachment AttachmentOf(const std::string&) { return DriveAttachment(); }

#endif

FileExtents FileExtentsOf(const std::string& path) {
    FileExtents map;
#if defined(__linux__)
    IoResult refused;
    const int fd = OpenOwn(path, O_RDONLY, &refused);
    if (fd < 0) {
        map.unknownBecause = path + ": " + refused.reason;
        return map;
    }
    struct stat info;
    struct statfs kind;
    const uint32_t kBtrfs = 0x9123683e, kFuse = 0x65735546;
    if (fstat(fd, &info) != 0 || fstatfs(fd, &kind) != 0) {
        map.unknownBecause = path + ": " + SystemErrorText(errno);
    } else if (static_cast<uint32_t>(kind.f_type) == kBtrfs) {
        map.unknownBecause = "btrfs gives addresses of its own, not the drive's";
    } else if (static_cast<uint32_t>(kind.f_type) == kFuse) {
        const std::optional<dev_t> device = FuseBlockDevice(info.st_dev);
        if (!device) {
            map.unknownBecause = "a FUSE file system that is not on a drive of this computer";
        } else if (PlaceDevice(*device, &map)) {
            map.known = FibmapExtents(fd, static_cast<uint64_t>(info.st_size), *map.partitionStart, &map.extents,
                                      &map.unknownBecause);
        }
    } else if (PlaceDevice(info.st_dev, &map)) {
        map.known = FiemapExtents(fd, *map.partitionStart, &map.extents);
        if (!map.known) map.unknownBecause = "the file system gives no extent map (" + SystemErrorText(errno) + ")";
    }
    ::close(fd);
    if (!map.known) map.extents.clear();
#else
    (void)path;
    map.unknownBecause = "this system gives no extent maps of files";
#endif
    return map;
}

DriveIdentity IdentifyDrive(const std::string& folder) {
    DriveIdentity identity;
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) return identity;
    struct statvfs space;
    if (statvfs(folder.c_str(), &space) == 0)
        identity.volumeBytes = static_cast<uint64_t>(space.f_blocks) * space.f_frsize;
    identity.fileSystem = MountedType(info.st_dev);
    // A FUSE file system has a device number of its own: its source names the drive.
    const std::optional<dev_t> fuseDevice = FuseBlockDevice(info.st_dev);
    DescribeBlockDevice(fuseDevice ? *fuseDevice : info.st_dev, &identity);
    return identity;
}

PathFacts InspectPath(const std::string& path) {
    PathFacts facts;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) facts.reason = SystemErrorText(errno);
        return facts;
    }
    facts.kind = S_ISREG(info.st_mode) ? PathKind::file : S_ISDIR(info.st_mode) ? PathKind::folder : PathKind::other;
    facts.volume = static_cast<uint64_t>(info.st_dev);
    return facts;
}

bool Rename(const std::string& from, const std::string& to, std::string* reason) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        *reason = SystemErrorText(errno);
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
