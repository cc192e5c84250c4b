// The command line's only contact with the operating system: creating,
// writing, sizing and removing its output files, reading the files --check
// compares, the terminal check, Ctrl-C and the clocks.
// cli_platform_posix.cpp and cli_platform_win32.cpp implement it; the build
// picks one, as the engine does with its own seam.
#pragma once

#include "platform.h"  // FileHandle, kNoFile

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct CliFile {
    FileHandle handle = kNoFile;
    // True only for an ordinary disk file: the only kind that may be removed
    // when it cannot be finished (never a device such as /dev/full).
    bool removable = false;
};

// Creates path for writing, or replaces what it holds; with noClobber an
// existing path is refused instead. On failure *reason is the system's text.
bool CliOpenFile(const char* path, bool noClobber, CliFile* file, std::string* reason);
// Writes all count bytes at the current position.
bool CliWriteAll(FileHandle file, const unsigned char* bytes, size_t count, std::string* reason);
// Gives the file exactly length bytes without writing them.
bool CliSetLength(FileHandle file, int64_t length, std::string* reason);
// Gives the file length bytes backed by reserved disk blocks.
bool CliAllocate(FileHandle file, int64_t length, std::string* reason);
bool CliCloseFile(FileHandle file, std::string* reason);
void CliRemoveFile(const char* path);

// What --allocate does here, for --help.
const char* CliAllocateNote();

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

bool CliStderrIsTerminal();
// Writes text (in the program's code page) to stream, stdout or stderr. On
// a Windows console it goes out through the console's wide call, so names in
// any script show as they are whatever the console's own code page; anywhere
// else the bytes go out as they are.
bool CliWriteText(FILE* stream, const std::string& text);
// From here on Ctrl-C (SIGINT, or the console's Ctrl-C / Ctrl-Break event)
// only raises a flag that CliInterrupted() reports; the writer checks it
// between chunks and cleans up itself.
void CliWatchInterrupt();
bool CliInterrupted();
double CliMonotonicSeconds();
// The calendar clock in whole seconds since 1970-01-01 UTC, read as the
// dialog's random writer reads it for its seed.
int64_t CliCalendarSeconds();
