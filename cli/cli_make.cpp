#include "cli_make.h"

#include "cli_content.h"
#include "cli_platform.h"
#include "system_pipeline.h"

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
    const ChunkConsumer writeChunk = [&](const PipelineSlot& slot, size_t count) {
        // A signal during a write that blocks (a pipe nobody drains) ends it early.
        if (CliInterrupted() || !CliWriteAll(file, slot.bytes, count, reason)) {
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
    const ChunkProducer produceChunk = [&](const PipelineSlot& slot) -> std::optional<size_t> {
        const size_t filled = NextPiece(&left, slot.capacity);
        NextContent(content, slot.bytes, filled);
        return filled;
    };
    // For content that repeats: the slot already holds it.
    const ChunkProducer repeatChunk = [&](const PipelineSlot& slot) -> std::optional<size_t> {
        return NextPiece(&left, slot.capacity);
    };
    PipelineEnd end;
    if (request.mode == kNoiseContent && chunkSize >= 2) {
        end = RunPipeline(SlotRing{chunk, 2, chunkSize / 2}, {produceChunk, writeChunk});
    } else if (ContentRepeats(request.mode, chunkSize)) {
        NextContent(content, chunk, chunkSize);
        end = RunInTurns(SlotRing{chunk, 1, chunkSize}, {repeatChunk, writeChunk});
    } else {
        end = RunInTurns(SlotRing{chunk, 1, chunkSize}, {produceChunk, writeChunk});
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
