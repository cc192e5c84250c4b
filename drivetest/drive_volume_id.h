// A file system's own id, read from its first bytes as blkid shows it: the
// UUID of ext2/3/4, XFS and btrfs, the serial number of FAT, exFAT and NTFS.
// It stays the same when the drive is plugged in again or elsewhere.
#pragma once

#include <cstddef>
#include <string>

// The device bytes from 0 that hold every superblock read here.
const size_t kVolumeIdBytes = 65536 + 4096;

// Empty when the bytes hold none of these file systems.
std::string VolumeIdFromSuperblock(const unsigned char* bytes, size_t size);
