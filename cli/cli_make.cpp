#include "cli_make.h"

#include "cli_content.h"
#include "cli_exit_status.h"
#include "cli_messages.h"
#include "cli_platform.h"
#include "cli_progress.h"
#include "cli_report.h"
#include "system.h"
#include "system_pipeline.h"

#include <vector>

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
    if (outcome != kMade && file.removable) unfinished->removed = CliRemoveHeldFile(path, file, &unfinished->whyLeft);

    std::string closeReason;
    const bool closed = CliCloseFile(file.handle, &closeReason);
    if (outcome == kMade && !closed) {
        outcome = kFailed;  // e.g. a network file system reporting a late write error
        *reason = closeReason;
        if (file.removable) unfinished->whyLeft = "it was closed before it could be removed";
    }
    return outcome;
}

// What became of a file that could not be finished, after what stopped it.
static std::string UnfinishedNote(const Unfinished& unfinished) {
    if (unfinished.removed) return "; the unfinished file was removed";
    if (unfinished.whyLeft.empty()) return "";  // a device or a pipe: nothing was made to remove
    return "; the unfinished file was left (" + std::to_string(unfinished.length) + " bytes): " + unfinished.whyLeft;
}

// The seed of the first file: the one given, or the dialog's, told on stderr.
static uint32_t FirstSeed(const CliOptions& options) {
    uint32_t firstSeed = options.seed.value_or(0);
    if (ContentHasSeed(options.mode) && !options.seed) {
        // The dialog's seed: the calendar clock in whole seconds, cut to 32 bits.
        firstSeed = static_cast<uint32_t>(CalendarSeconds());
        if (!options.quiet) {
            Tell(std::string(ContentKindName(options.mode)) + " seed " + std::to_string(firstSeed) + " (give -s " +
                 std::to_string(firstSeed) + " to make the same bytes again)");
        }
    }
    return firstSeed;
}

int MakeFiles(const CliOptions& options, bool showProgress) {
    const uint32_t firstSeed = FirstSeed(options);
    MakeRequest request;
    request.mode = options.mode;
    request.size = options.size;
    request.allocate = options.allocate;
    request.noClobber = options.noClobber;
    const size_t chunkSize = options.mode == kSizeContent    ? 1
                             : options.mode == kNoiseContent ? 2 * kCliChunkSize
                                                             : kCliChunkSize;
    const AlignedMemory storage = AllocateAligned(chunkSize, kPageAlignment);
    unsigned char* const chunk = storage.bytes;
    std::string error;
    int status = kExitMade;
    for (size_t i = 0; i < options.files.size(); ++i) {
        const std::string& path = options.files[i];
        request.seed = firstSeed + static_cast<uint32_t>(i);  // wraps modulo 2^32 like the seed itself
        ProgressLine line;
        ProgressBegin(&line, path);
        Unfinished unfinished;
        const MakeOutcome outcome =
            MakeFile(path.c_str(), request, chunk, chunkSize, ProgressTo(&line, showProgress), &error, &unfinished);
        ProgressEnd(&line, outcome == kMade);
        if (outcome == kInterrupted) TellAbout(path, "interrupted" + UnfinishedNote(unfinished));
        if (outcome == kFailed) TellAbout(path, error + UnfinishedNote(unfinished));
        if (options.json) {
            FileReport report = FileReportOf(options, path, request.seed);
            const char* results[] = {"made", "failed", "interrupted"};
            report.result = results[outcome];
            if (outcome == kMade) report.length = options.size;
            if (outcome == kInterrupted) report.length = unfinished.length;  // the length it reached
            report.seconds = MonotonicSeconds() - line.started;
            report.error = error;
            if (!WriteToStdout(JsonLine(report) + "\n")) return kExitFailed;
        }
        if (outcome == kInterrupted) return kExitInterrupted;
        if (outcome == kFailed) status = kExitFailed;  // the remaining files are still made
    }
    return status;
}
