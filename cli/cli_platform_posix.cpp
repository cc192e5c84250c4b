// POSIX implementation of the command line's platform calls.
#include "cli_platform.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static std::string ErrnoText(int error) { return std::strerror(error); }

bool CliOpenFile(const char* path, bool noClobber, CliFile* file, std::string* reason) {
    // O_EXCL makes the existence check and the creation one step, so no other
    // process can slip a file in between them.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (noClobber ? O_EXCL : O_TRUNC);
    int fd;
    do {
        fd = open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *reason = ErrnoText(errno);
        return false;
    }
    struct stat info;
    file->handle = fd;
    file->removable = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    return true;
}

bool CliWriteAll(FileHandle file, const unsigned char* bytes, size_t count, std::string* reason) {
    while (count > 0) {
        const ssize_t written = write(file, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) {
            *reason = ErrnoText(errno);
            return false;
        }
        if (written == 0) {  // no error, yet no room: treat it as a full disk
            *reason = ErrnoText(ENOSPC);
            return false;
        }
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool CliSetLength(FileHandle file, int64_t length, std::string* reason) {
    int result;
    do {
        result = ftruncate(file, static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR && !CliInterrupted());
    if (result != 0) *reason = ErrnoText(errno);
    return result == 0;
}

bool CliAllocate(FileHandle file, int64_t length, std::string* reason) {
    if (length == 0) return true;  // posix_fallocate refuses a zero length
    int error;
    // A large reservation can take a while: Ctrl-C ends the retries.
    do {
        error = posix_fallocate(file, 0, static_cast<off_t>(length));
    } while (error == EINTR && !CliInterrupted());
    if (error != 0) *reason = ErrnoText(error);
    return error == 0;
}

bool CliCloseFile(FileHandle file, std::string* reason) {
    // close() is not retried on EINTR: the descriptor is gone either way.
    if (close(file) == 0) return true;
    *reason = ErrnoText(errno);
    return false;
}

void CliRemoveFile(const char* path) { unlink(path); }

const char* CliAllocateNote() {
    return "size mode: reserve real disk blocks (posix_fallocate)\n"
           "                     instead of giving a sparse length";
}

bool CliOpenForReading(const char* path, FileHandle* file, std::string* reason) {
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *reason = ErrnoText(errno);
        return false;
    }
    struct stat info;
    // A folder opens for reading here; say so now rather than at the first read.
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        *reason = ErrnoText(EISDIR);
        return false;
    }
    *file = fd;
    return true;
}

bool CliFileFacts(FileHandle file, FileFacts* facts, std::string* reason) {
    struct stat info;
    if (fstat(file, &info) != 0) {
        *reason = ErrnoText(errno);
        return false;
    }
    facts->length = static_cast<int64_t>(info.st_size);
    facts->modifiedSeconds = static_cast<int64_t>(info.st_mtime);
    return true;
}

bool CliReadUpTo(FileHandle file, unsigned char* bytes, size_t count, size_t* got, std::string* reason) {
    *got = 0;
    while (*got < count) {
        const ssize_t piece = read(file, bytes + *got, count - *got);
        if (piece < 0 && errno == EINTR) continue;
        if (piece < 0) {
            *reason = ErrnoText(errno);
            return false;
        }
        if (piece == 0) break;
        *got += static_cast<size_t>(piece);
    }
    return true;
}

void CliCloseReading(FileHandle file) { close(file); }

bool CliStderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool CliWriteText(FILE* stream, const std::string& text) { return std::fputs(text.c_str(), stream) >= 0; }

static volatile sig_atomic_t interruptRequested = 0;

static void OnInterrupt(int) { interruptRequested = 1; }

void CliWatchInterrupt() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a long call may end early so the flag is seen
    sigaction(SIGINT, &action, nullptr);
}

bool CliInterrupted() { return interruptRequested != 0; }

double CliMonotonicSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int64_t CliCalendarSeconds() { return static_cast<int64_t>(std::time(nullptr)); }
