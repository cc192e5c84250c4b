// Runs the real fillwright-cli as a child process and collects what it says
// (POSIX natively, Win32 when the suite is built with mingw and run under Wine).
#pragma once

#include <string>
#include <vector>

struct ProgramRun {
    int exitCode = -1;  // -N if it ended by signal N, -1 if it could not be run
    std::string out;    // everything it wrote to stdout
    std::string err;    // everything it wrote to stderr
};

// A path whose writes fail with "disk full". Natively a symbolic link in dir
// to /dev/full, so that a program wrongly removing it removes only the link.
std::string FullDeviceIn(const std::string& dir);

// True if path names anything, even a device or a link (not followed).
bool PathExists(const std::string& path);

// The built program, as the build placed it.
std::string CliProgramPath();

// Runs the program with args and waits for it; stdout and stderr go to
// files in scratchDir, read back afterwards. With input, its stdin is a pipe
// that input is written to and then closed.
ProgramRun RunCliProgram(const std::vector<std::string>& args, const std::string& scratchDir,
                         const std::string* input = nullptr);

// Starts the program without waiting; returns its process id (or -1).
// Its stdout is discarded; its stderr goes to errPath (natively also the
// name of a terminal). On Windows it gets a process group of its own.
int StartCliProgram(const std::vector<std::string>& args, const std::string& errPath);
// Waits at most timeoutSeconds; kills it if it has not ended by then.
// Returns the exit code; natively -N if it ended by signal N (-9: killed).
int WaitCliProgram(int pid, double timeoutSeconds);
// Sends signal natively; on Windows the console's Ctrl-Break event for the
// program's process group, whatever the signal. False if it could not be sent.
bool SignalCliProgram(int pid, int signal);
