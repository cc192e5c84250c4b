// An in-process drive and file system behind the drive test's seam: files
// get device blocks in order, and the device may lie about its size, cache
// recent blocks, flip bits, fail reads, fill early or go read-only. Its
// clock moves only by the bytes it moves, so every run is deterministic.
#pragma once

#include "drive_platform.h"
#include "drive_test.h"

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

enum class SimLie { none, wrap, drop };  // past realBytes: addresses fold back, or writes vanish
// How the drive goes away: pulled out (its requests fail from then on) or
// unmounted lazily (the test's open folder still reaches it, its path does not).
enum class SimAway { stays, pulled, unmounted };

// The extent maps the simulated system gives: the drive's own, none on a
// drive that is known (as exFAT's through FUSE), addresses of the file
// system's own on no known drive (as btrfs's), or the drive's with every
// other extent left out (as FIEMAP's extents of unknown place).
enum class SimMap { drive, missing, foreign, gappy };

struct SimPiece {
    uint64_t from = 0, to = 0;  // blocks of the file system's device
};

struct SimRegion {
    uint64_t from = 0, to = 0;  // device bytes
    double bytesPerSecond = 0;
};

struct SimDriveShape {
    uint64_t claimedBytes = 0;  // what the file system offers
    SimLie lie = SimLie::none;
    uint64_t realBytes = 0;             // where the lie begins
    uint64_t cacheBytes = 0;            // the drive's own cache of recent blocks
    uint64_t fullAt = 0;                // no space once this much is in use (0: claimedBytes)
    uint64_t readOnlyAfter = 0;         // writes refused once this much was written (0: never)
    std::vector<uint64_t> flippedBits;  // device bit offsets that read back flipped
    std::vector<SimRegion> unreadable;  // device bytes whose reads fail
    std::vector<SimRegion> slow;        // device bytes at their own speed
    double bytesPerSecond = 100e6;
    bool threadsFail = false;
    CacheCheck caches;           // what emptying the caches under the files gives
    DriveAttachment attachment;  // how the drive is attached now
    SimAway away = SimAway::stays;
    uint64_t awayAfter = 0;    // it goes once this much was written
    bool systemDrive = false;  // the drive that holds the system
    std::string volumeId = "5EED-D15C";
    // Where the file system's device begins on the drive: realBytes and
    // claimedBytes count from the drive's start, the file system's space
    // from here.
    uint64_t partitionStart = 0;
    // The file system hands out its free blocks walking these pieces in
    // order (none: from its first block on).
    std::vector<SimPiece> allocationOrder;
    SimMap map = SimMap::drive;
    DriveIdentity identity;  // what the system says of it
};

struct SimFile {
    std::vector<uint64_t> blocks;  // device block of each file block
    uint64_t length = 0;
};

struct SimDrive {
    SimDriveShape shape;
    std::map<std::string, SimFile> files;
    std::map<std::string, std::string> texts;  // small files: kept apart, as metadata
    std::set<uint64_t> freeBlocks;             // freed, handed out lowest first
    uint64_t nextBlock = 0;
    uint64_t written = 0;
    std::unordered_map<uint64_t, std::vector<unsigned char>> flash;    // by physical block
    std::list<std::pair<uint64_t, std::vector<unsigned char>>> cache;  // by device block, newest first
    std::vector<std::string> handles;
    std::vector<std::unique_ptr<std::thread>> threads;
    double clock = 0;
    int cacheDrops = 0;                            // calls to empty the caches, proven or not
    std::map<std::string, std::string> strangers;  // names that hold what is not a set's own file, and what
    int pins = 0;                                  // tests that hold the folder
};

// The seam's calls, served by drive (which must outlive them).
DriveOps SimulatedDriveOps(SimDrive* drive);

// The test's pace scaled to a simulated drive of a few MiB: small files and
// requests, a look back every MiB.
DriveTestOptions SmallPace();
