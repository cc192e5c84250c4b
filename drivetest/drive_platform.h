// The drive test's only contact with the operating system, as a record of
// typed calls: SystemDriveOps() gives the real ones, and the tests put a
// simulated drive in their place.
#pragma once

#include "system.h"  // SystemThread

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// notOwnFile: the name holds something that is not the set's own plain file
// (a link, a FIFO, a device, a folder, a file with other names or on another
// drive): it was neither opened nor changed, and the reason says what it is.
enum class IoStatus { ok, noSpace, failed, notOwnFile };

struct IoResult {
    IoStatus status = IoStatus::ok;
    size_t bytes = 0;    // done before the status arose
    std::string reason;  // the system's words, when not ok
};

// How a read-back of a file is kept from coming out of a cache.
enum class ReadBack {
    direct,        // past the system's cache (O_DIRECT, FILE_FLAG_NO_BUFFERING)
    cacheDropped,  // through the cache, emptied first and seen empty
    mayBeCached,   // no way was proven
    replugged,     // read after the drive was attached again: nothing of it was in the cache
};

// What would prove a read-back that may have come from memory.
enum class CacheRemedy {
    replug,        // unplug the drive, plug it in again, then --verify
    rights,        // run again with the rights to read the device, or re-plug
    otherMachine,  // a network share: test the drive where it is plugged in
    linuxBuild,    // under Wine: the Linux build sees the caches
};

// The caches between a folder's files and its drive, emptied: how far that
// was proven, and when not, why and what would prove it.
struct CacheCheck {
    ReadBack readBack = ReadBack::direct;  // direct: no cache in between
    std::string reason;                    // when mayBeCached
    CacheRemedy remedy = CacheRemedy::replug;
};

// How the drive a folder lies on is attached now: a drive attached again
// gets a new diskseq, and a new boot a new boot id.
struct DriveAttachment {
    std::optional<uint64_t> diskseq;  // of the whole drive, when the system has one
    std::string bootId;
    // Whether attaching the drive again, or booting again, empties every
    // cache between its files and the drive (not so where a loop device's
    // backing file, a network or a user-space file system is in between).
    bool replugEmptiesCaches = false;
    bool rebootEmptiesCaches = false;
};

enum class OpenFor {
    create,  // a new file, or an old one emptied
    extend,  // an existing file, written further
    read,
};

struct DriveFile {
    intptr_t handle = -1;
    intptr_t tailHandle = -1;  // a second, cached handle for requests that direct I/O cannot take
    bool direct = false;
    size_t alignment = 1;  // direct I/O: offsets, lengths and buffer addresses are multiples of this
    ReadBack readBack = ReadBack::mayBeCached;  // for a file opened to read
    std::string path;
};

struct FolderState {
    bool usable = false;
    std::string reason;      // why not
    uint64_t freeBytes = 0;  // what the caller may still write there
    uint64_t sizeBytes = 0;  // the whole file system; 0 when unknown
};

// The drive a folder was found on when the test pinned it.
struct PinnedFolder {
    bool pinned = false;
    std::string reason;          // why not: the system's words
    bool busy = false;           // another test holds the folder
    bool onSystemDrive = false;  // the drive that holds the system (systemHolds)
    std::string systemHolds;     // "/", or the Windows folder
    std::string volumeId;        // the file system's own UUID or serial; empty when unknown
};

// One piece of a file on the drive: length bytes from fileOffset in the file
// lie from driveOffset on, counted from the start of the whole drive.
struct DriveExtent {
    uint64_t fileOffset = 0;
    uint64_t driveOffset = 0;
    uint64_t length = 0;
};

// Where a file lies on its drive, as far as the system can say.
struct FileExtents {
    bool known = false;  // false: extents are empty, unknownBecause says why
    std::string unknownBecause;
    std::vector<DriveExtent> extents;        // in file order; parts of the file not listed have no known place
    std::optional<uint64_t> driveBytes;      // the whole drive's size, as it claims
    std::optional<uint64_t> partitionStart;  // where the file system's partition begins on the drive
};

// What the system says of the drive that holds a folder; empty or missing
// where it says nothing.
struct DriveIdentity {
    std::string fileSystem;               // "ext4", "NTFS"
    std::string device;                   // "/dev/sdb1", "E:\\"
    std::optional<uint64_t> volumeBytes;  // the file system's size
    std::optional<uint64_t> driveBytes;   // the whole drive's, as it claims
    std::string vendor;
    std::string model;
};

enum class PathKind { missing, file, folder, other };

struct PathFacts {
    PathKind kind = PathKind::missing;
    std::string reason;              // why it could not be looked at, when not just missing
    std::optional<uint64_t> volume;  // the file system that holds it, where the system tells
};

// What startThread gives joinThread: the system's own record, so that the
// pipeline takes these calls as it takes the system's.
typedef SystemThread DriveThread;

// Buffers handed to reads and writes are aligned to this: it covers the
// direct I/O rules of every drive seen; a file that asks for more is opened
// without direct I/O.
const size_t kDriveBufferAlignment = 65536;

struct DriveOps {
    // Opens path; not ok when the system refuses (noSpace: no room for a new file).
    std::function<IoResult(const std::string& path, OpenFor how, DriveFile* file)> open;
    // Writes count bytes at offset; stops at the first failure.
    std::function<IoResult(DriveFile& file, uint64_t offset, const unsigned char* data, size_t count)> writeAt;
    // Reads count bytes at offset; a short count means the file ends there.
    std::function<IoResult(DriveFile& file, uint64_t offset, unsigned char* data, size_t count)> readAt;
    std::function<bool(DriveFile& file, uint64_t length, std::string* reason)> setLength;
    // Sends what was written to the drive, and out of the system's cache.
    std::function<bool(const DriveFile& file, std::string* reason)> flush;
    std::function<void(DriveFile& file)> close;
    std::function<bool(const std::string& path, std::string* reason)> remove;
    // The length of path, or nothing when it is missing.
    std::function<std::optional<uint64_t>(const std::string& path)> fileLength;
    std::function<FolderState(const std::string& folder)> inspectFolder;
    // Creates or replaces a small text file, written through to the drive.
    std::function<bool(const std::string& path, const std::string& text, std::string* reason)> writeText;
    std::function<std::optional<std::string>(const std::string& path)> readText;
    // False when the system cannot start one more thread.
    std::function<bool(std::function<void()> body, DriveThread* thread)> startThread;
    std::function<void(DriveThread& thread)> joinThread;
    std::function<double()> seconds;  // a monotonic clock
    std::function<uint64_t()> randomNumber;
    // Empties every cache it can reach between folder's files and the drive
    // (the files' own are open's); prove: and checks that each is empty.
    std::function<CacheCheck(const std::string& folder, bool prove)> dropCaches;
    std::function<DriveAttachment(const std::string& folder)> driveAttachment;
    // Opens folder once and holds it for this test alone, recording the
    // drive it is on. Until unpinFolder, the calls above resolve names in
    // folder through that hold, never by path again, and refuse (notOwnFile)
    // what is not a plain file of one link on that drive.
    std::function<PinnedFolder(const std::string& folder)> pinFolder;
    std::function<void(const std::string& folder)> unpinFolder;
    // Whether the path folder still leads to the pinned drive and that
    // drive is still attached: false once it was unmounted, pulled out or
    // replaced by another.
    std::function<bool(const std::string& folder)> driveStillThere;
    // What stands at path when it is not the set's own plain file ("a
    // symbolic link"); nothing when it is one, or when nothing is there.
    std::function<std::optional<std::string>(const std::string& path)> notOwnFile;
    // Where path's data lies on the drive; unknown, with the reason, where
    // the file system's addresses are not the drive's.
    std::function<FileExtents(const std::string& path)> fileExtents;
    std::function<DriveIdentity(const std::string& folder)> identifyDrive;
    std::function<PathFacts(const std::string& path)> inspectPath;
    // Gives the file from the name to, replacing what was there, and sees the
    // new name written through to the drive.
    std::function<bool(const std::string& from, const std::string& to, std::string* reason)> rename;
    char separator = '/';  // between a folder and a name
};

DriveOps SystemDriveOps();

// How much of a request at offset from address the file's direct I/O takes:
// all of it, its aligned head, or nothing; the rest goes through the cache.
size_t DirectHead(const DriveFile& file, uint64_t offset, uintptr_t address, size_t count);

// The system's calls behind SystemDriveOps(): drive_platform_posix.cpp or
// drive_platform_win32.cpp, one chosen by the build.
namespace system_drive {
extern const char kSeparator;
IoResult Open(const std::string& path, OpenFor how, DriveFile* file);
IoResult WriteAt(DriveFile& file, uint64_t offset, const unsigned char* data, size_t count);
IoResult ReadAt(DriveFile& file, uint64_t offset, unsigned char* data, size_t count);
bool SetLength(DriveFile& file, uint64_t length, std::string* reason);
bool Flush(const DriveFile& file, std::string* reason);
void Close(DriveFile& file);
bool Remove(const std::string& path, std::string* reason);
std::optional<uint64_t> FileLength(const std::string& path);
FolderState InspectFolder(const std::string& folder);
bool WriteText(const std::string& path, const std::string& text, std::string* reason);
std::optional<std::string> ReadText(const std::string& path);
uint64_t RandomNumber();
CacheCheck DropCaches(const std::string& folder, bool prove);
DriveAttachment AttachmentOf(const std::string& folder);
PinnedFolder PinFolder(const std::string& folder);
void UnpinFolder(const std::string& folder);
bool DriveStillThere(const std::string& folder);
std::optional<std::string> NotOwnFile(const std::string& path);
FileExtents FileExtentsOf(const std::string& path);
DriveIdentity IdentifyDrive(const std::string& folder);
PathFacts InspectPath(const std::string& path);
bool Rename(const std::string& from, const std::string& to, std::string* reason);
}  // namespace system_drive
