#include "cli_make.h"

#include "cli_content.h"
#include "cli_pipeline.h"
#include "cli_platform.h"

namespace {

struct Writing {
    FileHandle file;
    int64_t size;
    ProgressSink progress;
    void* progressContext;
    std::string* reason;
    int64_t done;
    bool interrupted;
};

bool WriteChunk(void* context, const unsigned char* chunk, size_t count) {
    Writing* writing = static_cast<Writing*>(context);
    if (CliInterrupted()) {
        writing->interrupted = true;
        return false;
    }
    if (!CliWriteAll(writing->file, chunk, count, writing->reason)) return false;
    writing->done += static_cast<int64_t>(count);
    if (writing->progress) writing->progress(writing->progressContext, writing->done, writing->size);
    return true;
}

struct Producing {
    ContentStream content;
    int64_t left;
};

size_t NextPiece(Producing* producing, size_t capacity) {
    const size_t piece = producing->left < static_cast<int64_t>(capacity) ? static_cast<size_t>(producing->left) : capacity;
    producing->left -= static_cast<int64_t>(piece);
    return piece;
}

bool ProduceChunk(void* context, unsigned char* slot, size_t capacity, size_t* filled) {
    Producing* producing = static_cast<Producing*>(context);
    *filled = NextPiece(producing, capacity);
    NextContent(producing->content, slot, *filled);
    return true;
}

// For content that repeats: the slot already holds it.
bool ProduceRepeatedChunk(void* context, unsigned char*, size_t capacity, size_t* filled) {
    *filled = NextPiece(static_cast<Producing*>(context), capacity);
    return true;
}

// Writes the mode's stream. Content that repeats from chunk to chunk is
// prepared once; noise, the one stream that costs as much to make as to
// write, is made on a second thread into one half of chunk while the other
// half is written.
MakeOutcome WriteStream(FileHandle file, const MakeRequest& request, unsigned char* chunk, size_t chunkSize,
                        ProgressSink progress, void* progressContext, std::string* reason) {
    Writing writing = {file, request.size, progress, progressContext, reason, 0, false};
    Producing producing;
    StartContent(producing.content, request.mode, request.seed);
    producing.left = request.size;
    PipelineEnd end;
    if (request.mode == NoiseFill && chunkSize >= 2) {
        unsigned char* const halves[2] = {chunk, chunk + chunkSize / 2};
        end = RunPipeline(ProduceChunk, &producing, WriteChunk, &writing, halves, chunkSize / 2);
    } else if (ContentRepeats(request.mode, chunkSize)) {
        NextContent(producing.content, chunk, chunkSize);
        end = RunInTurns(ProduceRepeatedChunk, &producing, WriteChunk, &writing, chunk, chunkSize);
    } else {
        end = RunInTurns(ProduceChunk, &producing, WriteChunk, &writing, chunk, chunkSize);
    }
    if (writing.interrupted) return kInterrupted;
    return end == kPipelineDone ? kMade : kFailed;
}

}  // namespace

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
