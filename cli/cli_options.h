// The words of the command line: what they ask for, and their checks.
#pragma once

#include "job_state.h"  // CreationMode: the dialog's four modes

#include <cstdint>
#include <string>
#include <vector>

const int kExitMade = 0;
const int kExitFailed = 1;       // a file could not be made, or differs when checked
const int kExitUsage = 2;        // the command line itself is wrong
const int kExitInterrupted = 130;

struct CliOptions {
    CreationMode mode = ZeroFill;
    bool seedGiven = false;
    uint32_t seed = 0;
    bool allocate = false;
    bool noClobber = false;
    bool quiet = false;
    bool check = false;  // read the files and compare them with what the line would make
    bool json = false;   // one JSON object per file on stdout
    bool help = false;
    bool version = false;
    int64_t size = 0;
    std::vector<std::string> files;
};

// A whole number of bytes with an optional unit: none or B; K, M, G, T and
// KiB .. TiB (powers of 1024); KB .. TB (powers of 1000). At most 2^63 - 1.
// On failure *error names the text and what is wrong with it.
bool ParseSize(const std::string& text, int64_t* bytes, std::string* error);
// A decimal number from 0 to 4294967295.
bool ParseSeed(const std::string& text, uint32_t* seed, std::string* error);
// zero, random, ascii, size or noise.
bool ParseMode(const std::string& text, CreationMode* mode, std::string* error);
// The name ParseMode reads for mode.
const char* ModeName(CreationMode mode);

// Reads argv[1..argc-1]. Options may stand before or after the operands: any
// word that starts with '-' is one, until "--" ends them. False with *error on any usage error. With --help or
// --version the operands are not required.
bool ParseArguments(int argc, const char* const* argv, CliOptions* options, std::string* error);

std::string HelpText();
const char* VersionText();
