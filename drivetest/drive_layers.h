// What lies between a folder's files and the drive, as /proc/self/mountinfo
// and statfs tell it, and which caches in between must be emptied for a
// read-back to come from the drive. Pure: the POSIX seam gathers the facts.
#pragma once

#include "drive_platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One line of /proc/self/mountinfo, its names unescaped.
struct MountEntry {
    unsigned major = 0, minor = 0;
    std::string mountPoint;
    std::string fsType;  // "ext4", "fuseblk", "fuse.sshfs"
    std::string source;  // "/dev/loop0", "server:/export", "nbdfuse"
};

std::optional<MountEntry> ParseMountInfoLine(const std::string& line);

// Of the mounts of device major:minor, the one whose mount point holds path
// (an absolute path without symbolic links): the longest such mount point;
// with none of that device, the longest mount point that holds path.
std::optional<MountEntry> MountHolding(const std::vector<MountEntry>& mounts, unsigned major, unsigned minor,
                                       const std::string& path);

enum class LayerKind {
    kernel,        // a kernel file system, reading its device past any cache of the device
    fuseOnDevice,  // a FUSE server reading its block device through that device's cache
    driveServer,   // a FUSE server that is itself a drive (nbdfuse serves a network block device)
    userSpace,     // a FUSE server without a device: what it answers from is out of sight
    network,       // a network file system: the server's cache is out of reach
    memory,        // files kept only in memory
    stacked,       // a file system over others (overlay, ecryptfs) this test cannot see through
};

// By statfs's type (magic) first; mountinfo's type and source tell FUSE
// servers apart, and the type stands in where the magic is unknown.
LayerKind KindOfFileSystem(int64_t magic, const std::string& fsType, const std::string& source);

struct StorageLayer {
    LayerKind kind = LayerKind::kernel;
    std::string fsType;
    std::string device;  // "/dev/loop0": the block device the file system is on, if any
    bool loop = false;
    bool loopDirect = false;  // the loop device reads its backing file with direct I/O
    std::string backingFile;
};

struct CacheToEmpty {
    std::string path;
    bool device = false;  // a block device, else a file
};

struct CachePlan {
    std::vector<CacheToEmpty> caches;  // from the top down
    std::string doubt;                 // a layer out of reach, and why: nothing is proven
    CacheRemedy remedy = CacheRemedy::replug;
    std::string drive;  // the top block device, whose re-plug the set's diskseq tells
    bool replugEmptiesCaches = false;
    bool rebootEmptiesCaches = false;
};

// chain: the folder's file system first, then for each loop device the file
// system that holds its backing file.
CachePlan PlanCaches(const std::vector<StorageLayer>& chain);

// Windows: a read with FILE_FLAG_NO_BUFFERING comes from the drive only on a
// local volume of one of Windows' own file systems, and not under Wine,
// which reads through Linux's cache. fileSystem: GetVolumeInformationW's.
CacheCheck WindowsVolumeReadBack(bool remote, const std::string& fileSystem, bool underWine);
