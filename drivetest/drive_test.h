// The drive test: fills a folder's free space with a test set, reads it back
// and says what came back. The command line and a dialog drive it alike:
// options in, events while it runs, a report at the end.
#pragma once

#include "drive_platform.h"
#include "drive_problem.h"
#include "drive_set.h"
#include "drive_tally.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct DriveTestOptions {
    std::string folder;
    std::optional<uint64_t> total;  // bytes to write; else all the free space
    uint64_t fileSize = kDefaultFileSize;
    bool verify = true;     // read the set back after filling it
    bool stopEarly = true;  // stop filling once data already written is found lost
    // The pace of the work; the simulated drives of the tests make them small.
    size_t requestBytes = size_t(4) << 20;          // per read or write
    uint64_t sampleEvery = uint64_t(256) << 20;     // a look back each time this much more is written
    uint64_t sampleDistance = uint64_t(384) << 20;  // how far back: past a drive's own cache
    uint64_t speedSampleEvery = uint64_t(1) << 30;
    uint64_t positionSampleEvery = uint64_t(64) << 20;  // the finer series a page draws
    // A fill of all the free space of the drive that holds the system is
    // refused unless this is set: it would leave programs no room to save.
    bool allowSystemDrive = false;
};

enum class DrivePhase { writing, reading };

// What a dialog's progress bar or the command line's progress line shows.
struct DriveProgress {
    DrivePhase phase = DrivePhase::writing;
    uint64_t bytesDone = 0;      // in this phase of this run
    uint64_t bytesExpected = 0;  // 0 when unknown
    double bytesPerSecond = 0;   // over the last few requests
    double secondsLeft = -1;     // -1 when unknown
    uint64_t bytesLost = 0;      // found so far
};

struct SpeedSample {
    DrivePhase phase = DrivePhase::writing;
    uint64_t offset = 0;  // where in the set it began
    uint64_t bytes = 0;
    double seconds = 0;
};

struct DriveReport;

struct DriveEvents {
    std::function<void(const DriveProgress&)> progress;
    std::function<void(const SpeedSample&)> speed;
    std::function<bool()> interrupted;  // polled between requests
    // Once the set is chosen, before anything is written: whether it was
    // replaced or is resumed.
    std::function<void(const DriveReport& begun)> begun;
};

enum class DriveResult {
    ok,           // every byte written read back intact
    lost,         // some did not
    failed,       // the test could not go on: problem says why
    interrupted,  // the set stays for --verify, or a later fill to resume
    unproven,     // nothing found lost, but what was read may have come from memory
};

struct DriveReport {
    DriveResult result = DriveResult::ok;
    std::optional<DriveProblem> problem;  // what stopped the test, with the system's reason
    bool replacedFinishedSet = false;
    std::optional<uint64_t> resumedAt;  // the fill went on from here
    uint64_t bytesWritten = 0;          // the whole set
    uint32_t files = 0;
    bool filledToTheEnd = false;  // the file system said no more space
    // Data already written found lost while filling, and how far the fill had gone then.
    std::optional<uint64_t> lossSeenAt;
    std::optional<uint64_t> lossSeenWhenWritten;
    bool verified = false;
    uint64_t bytesRead = 0;
    DriveTally tally;
    ReadBack readBack = ReadBack::direct;  // the least honest way any file was read
    std::string readBackReason;            // why it may have come from memory
    CacheRemedy readBackRemedy = CacheRemedy::replug;
    uint64_t bytesWrittenNow = 0;  // by this run
    double writeSeconds = 0;
    double readSeconds = 0;
    std::vector<SpeedSample> speeds;
    // Speed by position, every options.positionSampleEvery: kept for a page,
    // not told as events.
    std::vector<SpeedSample> positionSpeeds;
    // Where the test ran and when, for a page: the folder as given, what the
    // system says of its drive, and the start in seconds since 1970 (UTC).
    std::string folder;
    DriveIdentity drive;
    int64_t startedAt = 0;
    bool onSystemDrive = false;       // the folder is on the drive that holds the system
    bool refusedSystemDrive = false;  // and the fill was refused for it: problem says how to go on
    bool driveWentAway = false;       // unmounted, pulled out or replaced during the test: problem says so
    std::string volumeId;             // the drive's, when known
    std::string setVolumeId;          // the set's, when it names another drive than this one
    RealCapacity capacity;            // from where the blocks read back lie on the drive
};

DriveReport RunDriveFill(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events);
// Reads the set in options.folder back; only the pace fields of options count.
DriveReport RunDriveVerify(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events);

const char* DriveResultName(DriveResult result);  // "ok", "lost", "failed", "interrupted", "unproven"
// "direct", "cache dropped", "may be cached", "re-plugged"
const char* ReadBackName(ReadBack method);
// Orders the ways from the most to the least proven.
int ReadBackDoubt(ReadBack method);
