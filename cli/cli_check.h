// Checking one file against what a command line makes: its length, and for
// every mode but size its bytes, compared as they are read.
#pragma once

#include "cli_make.h"  // ProgressSink
#include "job_state.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The caller's buffers for one check: two being read, one expected.
const size_t kCheckChunkSize = 1u << 20;

struct CheckRequest {
    CreationMode mode = ZeroFill;
    int64_t size = 0;
    bool seedGiven = false;  // random mode without it: the seed is found from the file
    uint32_t seed = 0;
};

enum CheckOutcome { kCheckOk, kCheckDiffers, kCheckFailed, kCheckInterrupted };

struct CheckResult {
    CheckOutcome outcome = kCheckFailed;
    std::string reason;        // kCheckFailed: the system's text
    int64_t length = -1;       // of the file, once it could be opened
    int64_t bytesDiffering = 0;
    int64_t firstDifference = -1;  // offset of the first differing byte, -1 if none
    unsigned char expected = 0;
    unsigned char found = 0;
    // The seed the bytes were compared with (random and noise modes).
    bool seedKnown = false;
    uint32_t seed = 0;
    // Random mode without a seed given: what the search found.
    bool seedSearched = false;
    bool noSeedFits = false;    // nothing was compared
    uint32_t seedsFitting = 0;  // above 1: the file is too short to decide
    bool seedTimeKnown = false;
    int64_t seedTime = 0;       // the clock reading, in seconds since 1970 UTC, that is the seed
};

// True when a file with this result is not what the command line makes.
bool CheckFailed(const CheckResult& result);

// The lowest 32-bit seed with these low 24 bits that is at or before
// modifiedSeconds, as a clock reading; false when there is none.
bool SeedBeforeTime(uint32_t lowBits, int64_t modifiedSeconds, int64_t* clockSeconds);

// Checks path. buffers holds 3 * kCheckChunkSize bytes of the caller's.
CheckResult CheckFile(const char* path, const CheckRequest& request, unsigned char* buffers, ProgressSink progress,
                      void* progressContext);
