// POSIX implementation of the writers' file operations and clock.
#include "platform.h"

#include <sys/types.h>
#include <unistd.h>
#include <cerrno>
#include <ctime>
#include <limits>

// Windows moves a file's position with one call and cuts the file there with
// another. Here the position asked for is kept until a call on that file needs
// it, so that giving a file its final length costs one ftruncate() rather than
// two lseek()s and it. A writer makes all its calls on its file from its own
// thread, so each thread keeps its own.
struct PendingPosition {
    FileHandle file;  // kNoFile when nothing is pending
    off_t position;
};
static thread_local PendingPosition pending = {kNoFile, 0};

static bool MoveToPendingPosition(FileHandle file) {
    if (pending.file != file) return true;
    pending.file = kNoFile;
    return lseek(file, pending.position, SEEK_SET) != static_cast<off_t>(-1);
}

static bool PosixWriteBlock(FileHandle file, const void* block, uint32_t size) {
    if (!MoveToPendingPosition(file)) return false;
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
    // What lseek() would refuse whatever the file: before the start, or past off_t.
    if (distance < 0 || distance > std::numeric_limits<off_t>::max()) return false;
    pending = {file, static_cast<off_t>(distance)};
    return true;
}

static bool PosixSetEndOfFile(FileHandle file) {
    // The position stays pending: as on Windows, cutting does not move it.
    if (pending.file == file) return ftruncate(file, pending.position) == 0;
    const off_t position = lseek(file, 0, SEEK_CUR);
    return position != static_cast<off_t>(-1) && ftruncate(file, position) == 0;
}

static void PosixCloseFile(FileHandle file) {
    // The descriptor's number may come back for another file.
    if (pending.file == file) pending.file = kNoFile;
    close(file);
}

static int64_t PosixCalendarSeconds() { return static_cast<int64_t>(time(nullptr)); }

const FileOps platformFileOps = {PosixWriteBlock, PosixSetPosition, PosixSetEndOfFile, PosixCloseFile,
                                 PosixCalendarSeconds};
FileOps fileOps = platformFileOps;
