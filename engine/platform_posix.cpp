// POSIX implementation of the writers' file operations and clock.
#include "platform.h"

#include <cerrno>
#include <ctime>
#include <sys/types.h>
#include <unistd.h>

static bool PosixWriteBlock(FileHandle file, const void* block, uint32_t size) {
    const char* next = static_cast<const char*>(block);
    size_t left = size;
    // One write() normally takes the whole block; a short write is finished off
    // rather than silently losing the tail of the block.
    while (left > 0) {
        ssize_t written = write(file, next, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        next += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

static bool PosixSetPosition(FileHandle file, int64_t distance) {
    return lseek(file, static_cast<off_t>(distance), SEEK_SET) != static_cast<off_t>(-1);
}

static bool PosixSetEndOfFile(FileHandle file) {
    off_t position = lseek(file, 0, SEEK_CUR);
    return position != static_cast<off_t>(-1) && ftruncate(file, position) == 0;
}

static void PosixCloseFile(FileHandle file) { close(file); }

static int64_t PosixCalendarSeconds() { return static_cast<int64_t>(time(nullptr)); }

const FileOps platformFileOps = {PosixWriteBlock, PosixSetPosition, PosixSetEndOfFile, PosixCloseFile,
                                 PosixCalendarSeconds};
FileOps fileOps = platformFileOps;
