// The words of the command line: what they ask for, and their checks.
#pragma once

#include "cli_content_kind.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    ContentKind mode = kZeroContent;
    bool modeGiven = false;  // -m was on the line (the drive test takes none)
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
    bool fill = false;                // fill DIR's free space with a test set, then read it back
    bool verify = false;              // read the test set in DIR back
    std::optional<int64_t> total;     // write this much instead of all the free space
    std::optional<int64_t> fileSize;  // each file of the set
    bool noVerify = false;            // write only
    bool keepGoing = false;           // fill to the end even once data is found lost
    std::optional<std::string> report;  // save the test's page here
    bool allowSystemDrive = false;    // fill all the free space even of the system's own drive
};

// A whole number of bytes with an optional unit, in any case where it reads
// one way only: none or B; K, M, G, T and KiB .. TiB (powers of 1024); KB ..
// TB and kB (powers of 1000). A lowercase b alone or after the letter is
// refused (bits?). At most 2^63 - 1.
// On failure *error names the text and what is wrong with it.
bool ParseSize(const std::string& text, int64_t* bytes, std::string* error);
// A decimal number from 0 to 4294967295.
bool ParseSeed(const std::string& text, uint32_t* seed, std::string* error);
// zero, random, ascii, size or noise.
bool ParseMode(const std::string& text, ContentKind* mode, std::string* error);

// Reads argv[1..argc-1]. Options may stand before or after the operands: any
// word that starts with '-' is one, until "--" ends them; a long option may be
// shortened to any prefix of its name alone. False with *error on any usage
// error. The first --help or --version (or the system's own help switch, /?
// on Windows) ends the reading: the operands are then not required.
bool ParseArguments(int argc, const char* const* argv, CliOptions* options, std::string* error);

std::string HelpText();
const char* VersionText();
