// --check: each file read and compared with what the command line makes (its
// length, and for every mode but size its bytes, compared as they are read),
// and the line that tells the outcome.
#pragma once

#include "cli_calendar.h"  // FormatUtc: the clock time a found seed stands for, as the line tells it
#include "cli_content_kind.h"
#include "cli_options.h"
#include "cli_progress_sink.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The caller's buffers for one check: two being read, one expected.
const size_t kCheckChunkSize = 1u << 20;

struct CheckRequest {
    ContentKind mode = kZeroContent;
    int64_t size = 0;
    std::optional<uint32_t> seed;  // random mode without it: the seed is found from the file
    // Seeds found from files may stand this many seconds after their
    // modification time: file i of a line is seeded with the clock + i.
    int64_t seedSlack = 0;
};

enum CheckOutcome { kCheckOk, kCheckDiffers, kCheckFailed, kCheckInterrupted };

struct CheckResult {
    CheckOutcome outcome = kCheckFailed;
    std::string reason;   // kCheckFailed: the system's text
    int64_t length = -1;  // of the file, once it could be opened; of a pipe, the bytes read
    bool longer = false;  // a pipe or device gave more than the size: its length is unknown
    int64_t bytesDiffering = 0;
    int64_t firstDifference = -1;  // offset of the first differing byte, -1 if none
    unsigned char expected = 0;
    unsigned char found = 0;
    // The seed the bytes were compared with (random and noise modes).
    std::optional<uint32_t> seed;
    // Random mode without a seed given: what the search found.
    bool seedSearched = false;
    bool noSeedFits = false;          // nothing was compared
    uint32_t seedsFitting = 0;        // above 1: the file is too short to decide
    std::optional<int64_t> seedTime;  // the clock reading, in seconds since 1970 UTC, that is the seed
};

// True when a file with this result is not what the command line makes.
bool CheckFailed(const CheckResult& result);

// The lowest 32-bit seed with these low 24 bits that is at or before
// modifiedSeconds, as a clock reading; none when there is none.
std::optional<int64_t> SeedBeforeTime(uint32_t lowBits, int64_t modifiedSeconds);

// Checks path ("-": standard input). A pipe or a device is read to its end,
// or to the size and a byte past it. buffers holds 3 * kCheckChunkSize bytes
// of the caller's.
CheckResult CheckFile(const char* path, const CheckRequest& request, unsigned char* buffers,
                      const ProgressSink& progress);

// "FILE: OK", "FILE: differs: first at byte ...", "FILE: length L, expected
// SIZE" ("length over SIZE" for a pipe that gave more), with what the seed
// search found; no line break. Not for kCheckFailed. A name with a
// backslash or a control character is escaped, and the line then starts
// with a backslash, as sha256sum's lines do.
std::string CheckLine(const std::string& file, int64_t size, const CheckResult& result);

// Checks every file of the command line, telling each one's outcome, and
// returns the exit status.
int CheckFiles(const CliOptions& options, bool showProgress);
