// POSIX implementation of the command line's platform calls.
#include "cli_platform.h"

#include "system.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

static volatile sig_atomic_t interruptSignal = 0;

// A call that failed with EINTR is tried again, unless the program was told to stop.
static bool RetryAfter(bool failed) { return failed && errno == EINTR && interruptSignal == 0; }

// Opens path, waiting (for a pipe's other end) until the program is told to stop.
static int OpenInterruptibly(const char* path, int flags) {
    int fd;
    do {
        fd = open(path, flags, 0666);
    } while (RetryAfter(fd < 0));
    return fd;
}

bool CliOpenFile(const char* path, bool noClobber, CliFile* file, std::string* reason) {
    // O_EXCL makes the existence check and the creation one step, so no other
    // process can slip a file in between them.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (noClobber ? O_EXCL : O_TRUNC);
    const int fd = OpenInterruptibly(path, flags);
    if (fd < 0) {
        *reason = SystemErrorText(errno);
        return false;
    }
    struct stat info;
    file->handle = fd;
    file->removable = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    file->device = file->removable ? static_cast<uint64_t>(info.st_dev) : 0;
    file->inode = file->removable ? static_cast<uint64_t>(info.st_ino) : 0;
    return true;
}

bool CliWriteAll(FileHandle file, const unsigned char* bytes, size_t count, std::string* reason) {
    while (count > 0) {
        const ssize_t written = write(file, bytes, IoPiece(count));
        if (RetryAfter(written < 0)) continue;
        if (written < 0) {
            *reason = SystemErrorText(errno);
            return false;
        }
        if (written == 0) {  // no error, yet no room: treat it as a full disk
            *reason = SystemErrorText(ENOSPC);
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
    } while (RetryAfter(result != 0));
    if (result != 0) *reason = SystemErrorText(errno);
    return result == 0;
}

bool CliAllocate(FileHandle file, int64_t length, std::string* reason) {
    if (length == 0) return true;  // posix_fallocate refuses a zero length
    int error;
    // A large reservation can take a while: Ctrl-C ends the retries.
    do {
        error = posix_fallocate(file, 0, static_cast<off_t>(length));
    } while (error == EINTR && interruptSignal == 0);
    if (error != 0) *reason = SystemErrorText(error);
    return error == 0;
}

bool CliCloseFile(FileHandle file, std::string* reason) {
    // close() is not retried on EINTR: the descriptor is gone either way.
    if (close(file) == 0) return true;
    *reason = SystemErrorText(errno);
    return false;
}

bool CliRemoveHeldFile(const char* path, const CliFile& file, std::string* whyLeft) {
    // The name is looked at right before it goes: it may have been replaced,
    // or be a link whose target this program wrote.
    struct stat named;
    if (lstat(path, &named) != 0) {
        *whyLeft = "its name is gone: " + SystemErrorText(errno);
        return false;
    }
    if (S_ISLNK(named.st_mode)) {
        *whyLeft = "its name is a symbolic link, and the file it leads to is not this program's to remove";
        return false;
    }
    if (static_cast<uint64_t>(named.st_dev) != file.device || static_cast<uint64_t>(named.st_ino) != file.inode) {
        *whyLeft = "its name now leads to another file";
        return false;
    }
    if (unlink(path) != 0) {
        *whyLeft = SystemErrorText(errno);
        return false;
    }
    return true;
}

bool CliExpandWildcards(const std::vector<std::string>& operands, std::vector<std::string>* files, std::string*) {
    *files = operands;
    return true;
}

bool CliIsHelpSwitch(const std::string&) { return false; }

const char* CliAllocateNote() {
    return "size mode: reserve real disk blocks (posix_fallocate)\n"
           "                     instead of giving a sparse length";
}

const char* CliStoppedStatusNote() {
    return "Stopped by\n"
           "SIGINT (Ctrl-C), SIGTERM or SIGHUP, it ends by that same signal, which a\n"
           "shell shows as 128 + its number: 130 for Ctrl-C, 143 for SIGTERM.";
}

bool CliOpenForReading(const char* path, FileHandle* file, std::string* reason) {
    const int fd = OpenInterruptibly(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *reason = SystemErrorText(errno);
        return false;
    }
    struct stat info;
    // A folder opens for reading here; say so now rather than at the first read.
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        *reason = SystemErrorText(EISDIR);
        return false;
    }
    *file = fd;
    return true;
}

FileHandle CliStandardInput() { return STDIN_FILENO; }

bool CliFileFacts(FileHandle file, FileFacts* facts, std::string* reason) {
    struct stat info;
    if (fstat(file, &info) != 0) {
        *reason = SystemErrorText(errno);
        return false;
    }
    facts->regular = S_ISREG(info.st_mode);
    facts->length = static_cast<int64_t>(info.st_size);
    facts->modifiedSeconds = static_cast<int64_t>(info.st_mtime);
    return true;
}

bool CliReadUpTo(FileHandle file, unsigned char* bytes, size_t count, size_t* got, std::string* reason) {
    *got = 0;
    while (*got < count) {
        const ssize_t piece = read(file, bytes + *got, IoPiece(count - *got));
        if (RetryAfter(piece < 0)) continue;
        if (piece < 0) {
            *reason = SystemErrorText(errno);
            return false;
        }
        if (piece == 0) break;
        *got += static_cast<size_t>(piece);
    }
    return true;
}

void CliCloseReading(FileHandle file) { close(file); }

bool CliStderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

int CliTerminalColumns() {
    struct winsize size;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

bool CliWriteText(FILE* stream, const std::string& text) { return std::fputs(text.c_str(), stream) >= 0; }

static const int kWatchedSignals[] = {SIGINT, SIGTERM, SIGHUP};
static bool watched[3] = {false, false, false};  // not ignored when the program started

static void DefaultActionFor(int signal) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

static void OnInterrupt(int signal) {
    interruptSignal = signal;
    // From now on any of them ends the program at once, cleaned up or not.
    for (int k = 0; k < 3; ++k)
        if (watched[k]) DefaultActionFor(kWatchedSignals[k]);
}

void CliWatchInterrupt() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : kWatchedSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = 0;  // no SA_RESTART: a blocking call returns EINTR so the flag is seen
    for (int k = 0; k < 3; ++k) {
        struct sigaction before;
        // nohup, or a shell's background job, asked for the signal to be ignored.
        if (sigaction(kWatchedSignals[k], nullptr, &before) != 0 || before.sa_handler == SIG_IGN) continue;
        watched[k] = true;
        sigaction(kWatchedSignals[k], &action, nullptr);
    }
}

bool CliInterrupted() { return interruptSignal != 0; }

void CliEndByInterrupt() {
    const int signal = interruptSignal;
    if (signal == 0) return;
    std::fflush(nullptr);
    DefaultActionFor(signal);
    raise(signal);
    // Not reached while the signal's default action ends the program.
    _exit(128 + signal);  // cppcheck-suppress unreachableCode
}
