#include "cli_make.h"

#include "cli_content.h"
#include "cli_pipeline.h"
#include "cli_platform.h"

namespace {

// The next piece of the *left bytes still to write: at most capacity.
size_t NextPiece(int64_t* left, size_t capacity) {
    const size_t piece = *left < static_cast<int64_t>(capacity) ? static_cast<size_t>(*left) : capacity;
    *left -= static_cast<int64_t>(piece);
    return piece;
}

// Writes the mode's stream. Content that repeats from chunk to chunk is
// prepared once; noise, the one stream that costs as much to make as to
// write, is made on a second thread into one half of chunk while the other
// half is written.
MakeOutcome WriteStream(FileHandle file, const MakeRequest& request, unsigned char* chunk, size_t chunkSize,
                        const ProgressSink& progress, std::string* reason, int64_t* done) {
    bool interrupted = false;
    const ChunkConsumer writeChunk = [&](const unsigned char* bytes, size_t count) {
        // A signal during a write that blocks (a pipe nobody drains) ends it early.
        if (CliInterrupted() || !CliWriteAll(file, bytes, count, reason)) {
            interrupted = CliInterrupted();
            return false;
        }
        *done += static_cast<int64_t>(count);
        if (progress) progress(*done, request.size);
        return true;
    };
    ContentStream content;
    StartContent(content, request.mode, request.seed);
    int64_t left = request.size;
    const ChunkProducer produceChunk = [&](unsigned char* slot, size_t capacity) -> std::optional<size_t> {
        const size_t filled = NextPiece(&left, capacity);
        NextContent(content, slot, filled);
        return filled;
    };
    // For content that repeats: the slot already holds it.
    const ChunkProducer repeatChunk = [&](unsigned char*, size_t capacity) -> std::optional<size_t> {
        return NextPiece(&left, capacity);
    };
    PipelineEnd end;
    if (request.mode == kNoiseContent && chunkSize >= 2) {
        unsigned char* const halves[2] = {chunk, chunk + chunkSize / 2};
        end = RunPipeline(produceChunk, writeChunk, halves, chunkSize / 2);
    } else if (ContentRepeats(request.mode, chunkSize)) {
        NextContent(content, chunk, chunkSize);
        end = RunInTurns(repeatChunk, writeChunk, chunk, chunkSize);
    } else {
        end = RunInTurns(produceChunk, writeChunk, chunk, chunkSize);
    }
    if (interrupted) {
        reason->clear();
        return kInterrupted;
    }
    return end == kPipelineDone ? kMade : kFailed;
}

}  // namespace

MakeOutcome MakeFile(const char* path, const MakeRequest& request, unsigned char* chunk, size_t chunkSize,
                     const ProgressSink& progress, std::string* reason, Unfinished* unfinished) {
    reason->clear();
    Unfinished ignored;
    if (!unfinished) unfinished = &ignored;
    *unfinished = Unfinished();
    CliFile file;
    // Waiting to open a pipe nobody reads ends with a signal too.
    if (CliInterrupted() || !CliOpenFile(path, request.noClobber, &file, reason)) {
        if (!CliInterrupted()) return kFailed;
        reason->clear();
        return kInterrupted;
    }

    MakeOutcome outcome;
    if (request.mode == kSizeContent) {
        const bool sized = request.allocate ? CliAllocate(file.handle, request.size, reason)
                                            : CliSetLength(file.handle, request.size, reason);
        // Ctrl-C during a long reservation: the file is not kept half-done.
        outcome = CliInterrupted() ? kInterrupted : sized ? kMade : kFailed;
        if (outcome == kInterrupted) reason->clear();
        if (sized) unfinished->length = request.size;
        if (sized && progress) progress(request.size, request.size);
    } else {
        outcome = WriteStream(file.handle, request, chunk, chunkSize, progress, reason, &unfinished->length);
    }
    // Removed while still held, so that it is surely this program's file.
    if (outcome != kMade && file.removable)
        unfinished->removed = CliRemoveHeldFile(path, file, &unfinished->whyLeft);

    std::string closeReason;
    const bool closed = CliCloseFile(file.handle, &closeReason);
    if (outcome == kMade && !closed) {
        outcome = kFailed;  // e.g. a network file system reporting a late write error
        *reason = closeReason;
        if (file.removable) unfinished->whyLeft = "it was closed before it could be removed";
    }
    return outcome;
}
