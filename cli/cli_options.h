// The words of the command line: the options scanned, the rules between them,
// and the one job they ask for.
#pragma once

#include "cli_content_kind.h"
#include "cli_help.h"    // HelpText, VersionText: what --help and --version print
#include "cli_values.h"  // ParseSize, ParseSeed, ParseMode: the values the options take

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    ContentKind mode = kZeroContent;
    bool modeGiven = false;        // -m was on the line (the drive test takes none)
    std::optional<uint32_t> seed;  // none: from the clock, or found from the file by --check
    bool allocate = false;
    bool noClobber = false;
    bool quiet = false;
    bool check = false;  // read the files and compare them with what the line would make
    bool json = false;   // one JSON object per file on stdout
    bool help = false;
    bool version = false;
    int64_t size = 0;
    std::vector<std::string> files;  // with --fill or --verify: the one DIR
    // The drive test.
    bool fill = false;                  // fill DIR's free space with a test set, then read it back
    bool verify = false;                // read the test set in DIR back
    std::optional<int64_t> total;       // write this much instead of all the free space
    std::optional<int64_t> fileSize;    // each file of the set
    bool noVerify = false;              // write only
    bool keepGoing = false;             // fill to the end even once data is found lost
    std::optional<std::string> report;  // save the test's page here
    bool allowSystemDrive = false;      // fill all the free space even of the system's own drive
};

// Reads argv[1..argc-1]. Options may stand before or after the operands: any
// word that starts with '-' is one, until "--" ends them; a long option may be
// shortened to any prefix of its name alone. False with *error on any usage
// error. The first --help or --version (or the system's own help switch, /?
// on Windows) ends the reading: the operands are then not required.
bool ParseArguments(int argc, const char* const* argv, CliOptions* options, std::string* error);

// What a command line asks for: one answer, for the rules between its options
// and for running it.
enum CliJob { kMakeJob, kCheckJob, kDriveFillJob, kDriveVerifyJob, kHelpJob, kVersionJob };

// Any option of the drive test makes the line a drive test (fill, unless it
// says --verify without --fill), for its rules to say what does not belong.
CliJob JobOf(const CliOptions& options);
