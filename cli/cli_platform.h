// The command line's only contact with the operating system: creating,
// writing, sizing and removing its output files, reading the files --check
// compares, the terminal and the signals that stop it. Threads, the clocks
// and the system's words for errors are system/'s.
// cli_platform_posix.cpp and cli_platform_win32.cpp implement it; the build
// picks one, as the engine does with its own seam.
#pragma once

#include "platform.h"  // FileHandle, kNoFile

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct CliFile {
    FileHandle handle = kNoFile;
    // True only for an ordinary disk file: the only kind that may be removed
    // when it cannot be finished (never a device such as /dev/full).
    bool removable = false;
    // POSIX: which file the handle holds, so that removal by name can make
    // sure the name still leads to it.
    uint64_t device = 0;
    uint64_t inode = 0;
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
// Removes the file this program opened as path and still holds, before it is
// closed, and nothing else: not a file that has since taken the name, nor the
// target of a symbolic link. False with *whyLeft when it stays.
bool CliRemoveHeldFile(const char* path, const CliFile& file, std::string* whyLeft);

// The FILE operands as the user meant them. A Windows console hands
// wildcards to the program as typed: there each operand holding * or ? turns
// into the names of the files it matches, in name order (folders left out).
// Elsewhere the shell has done this already and operands stay as they are.
// False when a pattern matches nothing; *error names it.
bool CliExpandWildcards(const std::vector<std::string>& operands, std::vector<std::string>* files, std::string* error);

// True for the system's own way of asking a program for help: "/?" on
// Windows, nothing elsewhere (where "/?" is a path).
bool CliIsHelpSwitch(const std::string& word);

// What --allocate does here, for --help.
const char* CliAllocateNote();
// How a program stopped by a signal ends here, for --help's exit statuses.
const char* CliStoppedStatusNote();

struct FileFacts {
    bool regular = true;  // false for a pipe, a terminal or a device: its length says nothing
    int64_t length = 0;
    int64_t modifiedSeconds = 0;  // last write, since 1970-01-01 UTC
};

// Opens an existing file for reading; a folder is refused with the system's
// text for it. On failure *reason is the system's text. Waiting for a pipe's
// writer ends when the program is told to stop.
bool CliOpenForReading(const char* path, FileHandle* file, std::string* reason);
// The program's standard input, which is not to be closed.
FileHandle CliStandardInput();
bool CliFileFacts(FileHandle file, FileFacts* facts, std::string* reason);
// Reads up to count bytes; *got is below count only at the end of the file.
bool CliReadUpTo(FileHandle file, unsigned char* bytes, size_t count, size_t* got, std::string* reason);
void CliCloseReading(FileHandle file);

bool CliStderrIsTerminal();
// The width of the terminal stderr shows on, in columns; 0 when unknown.
int CliTerminalColumns();
// Writes text (in the program's code page) to stream, stdout or stderr. On
// a Windows console it goes out through the console's wide call, so names in
// any script show as they are whatever the console's own code page; anywhere
// else the bytes go out as they are.
bool CliWriteText(FILE* stream, const std::string& text);
// From here on SIGINT, SIGTERM and SIGHUP (on a Windows console: Ctrl-C,
// Ctrl-Break and closing the console) only raise a flag that CliInterrupted()
// reports: a blocking call returns early, the writer checks the flag between
// chunks and cleans up itself. A second signal ends the program at once.
// A signal ignored when the program started stays ignored.
void CliWatchInterrupt();
bool CliInterrupted();
// Once cleaned up: ends the program by the signal it was stopped by, so that
// the shell sees it (on Windows: the status Ctrl-C gives, 0xC000013A).
void CliEndByInterrupt();
