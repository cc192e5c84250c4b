// POSIX implementation of the reads of --check.
#include "cli_reading.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CliOpenForReading(const char* path, FileHandle* file, std::string* reason) {
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    struct stat info;
    // A folder opens for reading here; say so now rather than at the first read.
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        *reason = std::strerror(EISDIR);
        return false;
    }
    *file = fd;
    return true;
}

bool CliFileFacts(FileHandle file, FileFacts* facts, std::string* reason) {
    struct stat info;
    if (fstat(file, &info) != 0) {
        *reason = std::strerror(errno);
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
            *reason = std::strerror(errno);
            return false;
        }
        if (piece == 0) break;
        *got += static_cast<size_t>(piece);
    }
    return true;
}

void CliCloseReading(FileHandle file) { close(file); }
