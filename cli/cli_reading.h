// Opening and reading the files that --check compares: the command line's
// only reads, beside its platform seam (cli_reading_posix.cpp and
// cli_reading_win32.cpp, one chosen by the build).
#pragma once

#include "platform.h"  // FileHandle

#include <cstddef>
#include <cstdint>
#include <string>

struct FileFacts {
    int64_t length = 0;
    int64_t modifiedSeconds = 0;  // last write, since 1970-01-01 UTC
};

// Opens an existing file for reading; a folder is refused with the system's
// text for it. On failure *reason is the system's text.
bool CliOpenForReading(const char* path, FileHandle* file, std::string* reason);
bool CliFileFacts(FileHandle file, FileFacts* facts, std::string* reason);
// Reads up to count bytes; *got is below count only at the end of the file.
bool CliReadUpTo(FileHandle file, unsigned char* bytes, size_t count, size_t* got, std::string* reason);
void CliCloseReading(FileHandle file);
