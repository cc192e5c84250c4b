// A test set on disk: a small description file and numbered data files.
// Nothing in a folder but these names is ever touched.
#pragma once

#include "drive_block.h"
#include "drive_platform.h"

#include <cstdint>
#include <optional>
#include <string>

extern const char* const kSetDescriptionName;  // "fillwright-drivetest.txt"

struct DriveSet {
    DriveRun run;
    uint64_t fileSize = 0;          // every file but the last holds this much
    std::optional<uint64_t> total;  // what the user asked for, if not all the free space
    uint32_t files = 0;             // files begun so far
    bool finished = false;          // the fill ended: written says where
    uint64_t written = 0;
    // The drive as the last run that wrote to the set saw it: the kernel's
    // attach sequence number of the whole drive and the boot's id. Either
    // changed since means nothing of the set can still be in this system's
    // cache. Missing in sets written by older versions.
    std::optional<uint64_t> diskseq;
    std::string bootId;
    // The file system's own UUID or serial number, which stays the same
    // across re-plugs and machines; empty when unknown, as in older sets.
    std::string volumeId;
};

const uint64_t kDefaultFileSize = uint64_t(1) << 30;
// The largest file FAT32 holds: 4 GiB - 1, the most a --file-size may ask.
const uint64_t kFat32LargestFile = (uint64_t(4) << 30) - 1;
// A set's files are whole blocks, so the largest stays below that.
const uint64_t kLargestFileSize = kFat32LargestFile / kDriveBlockBytes * kDriveBlockBytes;

// "fillwright-drivetest-00001.bin" for number 1.
std::string SetFileName(uint32_t number);
std::string PathIn(const DriveOps& ops, const std::string& folder, const std::string& name);

// The longest description read: a real one is a few hundred bytes.
const size_t kLargestDescription = 4096;

std::string DescribeSet(const DriveSet& set);
// The set text describes, parsed strictly: known keys once each, numbers in
// range, nothing but printable lines, and sizes that agree with one another
// and with a file system of fileSystemBytes (0: unknown). Nothing when it is
// not one; *fault then says why, naming the line at fault ("line 5: files
// 4294967295 does not fit the file size and total"), or stays empty when the
// text is no description at all.
std::optional<DriveSet> ReadSetDescription(const std::string& text, uint64_t fileSystemBytes = 0,
                                           std::string* fault = nullptr);

// The file that holds setOffset, and where in it (files count from 1).
uint32_t FileOfOffset(const DriveSet& set, uint64_t setOffset);
uint64_t FileStart(const DriveSet& set, uint32_t number);

// How many bytes of the set the files on disk say were written: every file
// before the last begun one whole, the last one as far as whole blocks reach
// (all of it, when what stands there is not the set's own file).
uint64_t WrittenOnDisk(const DriveOps& ops, const std::string& folder, const DriveSet& set);

// Removes the set's own files: its numbered files, then its description.
// False with *reason when one could not go.
bool RemoveSet(const DriveOps& ops, const std::string& folder, const DriveSet& set, std::string* reason);
