#include "cli_make.h"

#include "cli_platform.h"
#include "patterns.h"

#include <cstring>

// Writes the mode's stream: zero and text chunks are prepared once and written
// again and again; the random chunk is refilled from FileRandom each time, so
// the bytes are those of the engine's writers whatever the chunk size.
static MakeOutcome WriteStream(FileHandle file, const MakeRequest& request, unsigned char* chunk, size_t chunkSize,
                               ProgressSink progress, void* progressContext, std::string* reason) {
    // A chunk that is not a whole number of lines starts each write at a
    // different place in the line, so it is refilled for its offset.
    const bool textMoves = request.mode == AsciiFill && chunkSize % kAsciiLineSize != 0;
    if (request.mode == ZeroFill) std::memset(chunk, 0, chunkSize);
    if (request.mode == AsciiFill) FillAsciiText(chunk, chunkSize, 0);
    if (request.mode == RandomFill) SeedRandom(request.seed);

    int64_t done = 0;
    while (done < request.size) {
        if (CliInterrupted()) return kInterrupted;
        const int64_t left = request.size - done;
        const size_t piece = left < static_cast<int64_t>(chunkSize) ? static_cast<size_t>(left) : chunkSize;
        if (request.mode == RandomFill) FillRandom(chunk, piece);
        if (textMoves) FillAsciiText(chunk, piece, static_cast<uint64_t>(done));
        if (!CliWriteAll(file, chunk, piece, reason)) return kFailed;
        done += static_cast<int64_t>(piece);
        if (progress) progress(progressContext, done, request.size);
    }
    return kMade;
}

MakeOutcome MakeFile(const char* path, const MakeRequest& request, unsigned char* chunk, size_t chunkSize,
                     ProgressSink progress, void* progressContext, std::string* reason) {
    reason->clear();
    if (CliInterrupted()) return kInterrupted;
    CliFile file;
    if (!CliOpenFile(path, request.noClobber, &file, reason)) return kFailed;

    MakeOutcome outcome;
    if (request.mode == SetSizeOnly) {
        const bool sized = request.allocate ? CliAllocate(file.handle, request.size, reason)
                                            : CliSetLength(file.handle, request.size, reason);
        // Ctrl-C during a long reservation: the file is not kept half-done.
        outcome = CliInterrupted() ? kInterrupted : sized ? kMade : kFailed;
        if (sized && progress) progress(progressContext, request.size, request.size);
    } else {
        outcome = WriteStream(file.handle, request, chunk, chunkSize, progress, progressContext, reason);
    }

    std::string closeReason;
    const bool closed = CliCloseFile(file.handle, &closeReason);
    if (outcome == kMade && !closed) {
        outcome = kFailed;  // e.g. a network file system reporting a late write error
        *reason = closeReason;
    }
    if (outcome != kMade && file.removable) CliRemoveFile(path);
    return outcome;
}
