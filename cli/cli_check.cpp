#include "cli_check.h"

#include "cli_content.h"
#include "cli_exit_status.h"
#include "cli_messages.h"
#include "cli_platform.h"
#include "cli_progress.h"
#include "cli_report.h"
#include "random_algebra.h"
#include "shown_name.h"
#include "system.h"
#include "system_pipeline.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Where the seed is looked for when the first bytes fit no seed, so that a
// file damaged at its start still finds its seed.
const size_t kSearchOffsets[] = {0, 4096, 65536, 196608};

// Bytes made and compared at a time: they stay in the first-level cache.
const size_t kCheckPieceSize = 8192;

// Reads the next piece of at most capacity bytes of the left to compare.
bool ReadPiece(FileHandle file, unsigned char* slot, size_t capacity, int64_t* left, size_t* got, std::string* reason) {
    const size_t wanted = *left < static_cast<int64_t>(capacity) ? static_cast<size_t>(*left) : capacity;
    if (!CliReadUpTo(file, slot, wanted, got, reason)) return false;
    *left -= static_cast<int64_t>(*got);
    return true;
}

// The seed of a random file from its first count bytes, into result.
void SearchSeed(CheckResult* result, const unsigned char* first, size_t count, int64_t modifiedSeconds) {
    result->seedSearched = true;
    RandomSeedsFound found;
    for (size_t offset : kSearchOffsets) {
        if (offset >= count && offset > 0) break;
        found = FindRandomSeeds(first + offset, count - offset, offset);
        if (found.count > 0) break;
    }
    if (found.count == 0) {
        result->noSeedFits = true;
        return;
    }
    result->seedsFitting = found.count;
    result->seed = found.first;
    result->seedTime = SeedBeforeTime(found.first, modifiedSeconds);
    // The clock cut to 32 bits, as the dialog seeds.
    if (result->seedTime) result->seed = static_cast<uint32_t>(*result->seedTime);
}

void NoteDifferences(CheckResult* result, const unsigned char* expected, const unsigned char* found, size_t count,
                     int64_t offset) {
    for (size_t i = 0; i < count; ++i) {
        if (expected[i] == found[i]) continue;
        if (result->firstDifference < 0) {
            result->firstDifference = offset + static_cast<int64_t>(i);
            result->expected = expected[i];
            result->found = found[i];
        }
        ++result->bytesDiffering;
    }
}

}  // namespace

bool CheckFailed(const CheckResult& result) { return result.outcome != kCheckOk; }

std::optional<int64_t> SeedBeforeTime(uint32_t lowBits, int64_t modifiedSeconds) {
    const int64_t low = static_cast<int64_t>(lowBits & (kRandomSeedCount - 1u));
    if (modifiedSeconds < low) return std::nullopt;
    return modifiedSeconds - (modifiedSeconds - low) % static_cast<int64_t>(kRandomSeedCount);
}

// Opens path for reading, "-" being standard input.
static bool OpenToCheck(const char* path, FileHandle* file, std::string* reason) {
    if (std::strcmp(path, "-") != 0) return CliOpenForReading(path, file, reason);
    *file = CliStandardInput();
    return true;
}

CheckResult CheckFile(const char* path, const CheckRequest& request, unsigned char* buffers,
                      const ProgressSink& progress) {
    CheckResult result;
    if (ContentHasSeed(request.mode)) result.seed = request.seed;
    FileHandle file = kNoFile;
    FileFacts facts;
    // Waiting for a pipe's writer ends with a signal too.
    if (CliInterrupted() || !OpenToCheck(path, &file, &result.reason)) {
        if (CliInterrupted()) result.outcome = kCheckInterrupted;
        return result;
    }
    const bool ownHandle = std::strcmp(path, "-") != 0;
    if (!CliFileFacts(file, &facts, &result.reason)) {
        if (ownHandle) CliCloseReading(file);
        return result;
    }
    // A pipe or a device tells no length, and its time is not when it was
    // made: it is read to the size and a byte past it, and timed now.
    if (!facts.regular) facts.modifiedSeconds = CalendarSeconds();
    result.length = facts.regular ? facts.length : 0;
    const int64_t common = !facts.regular ? request.size : facts.length < request.size ? facts.length : request.size;
    const int64_t toRead = facts.regular ? common : common < INT64_MAX ? common + 1 : common;
    int64_t left = request.mode != kSizeContent || !facts.regular ? toRead : 0;
    unsigned char* const slots[2] = {buffers, buffers + kCheckChunkSize};
    std::string readReason;
    bool readFailed = false;

    // Random mode without a seed: the seed is searched for once, in the first
    // chunk, which the comparison then takes first. An empty file claims none.
    std::optional<size_t> firstChunk;
    if (request.mode == kRandomContent && !request.seed && left > 0) {
        size_t got = 0;
        readFailed = !ReadPiece(file, slots[0], kCheckChunkSize, &left, &got, &readReason);
        const size_t searched = static_cast<int64_t>(got) < common ? got : static_cast<size_t>(common);
        if (!readFailed && searched > 0)
            SearchSeed(&result, slots[0], searched, facts.modifiedSeconds + request.seedSlack);
        if (got > 0) firstChunk = got;
        if (!facts.regular) result.length = static_cast<int64_t>(got);
    }

    // Then the comparison: the next chunk is read on a second thread while
    // this one is compared. A pipe is read on this thread, whose blocking
    // reads a signal ends.
    bool interrupted = false;
    const bool reads = (left > 0 || firstChunk) && !readFailed && !result.noSeedFits;
    if (reads) {
        const bool compares = request.mode != kSizeContent;
        unsigned char* const expected = buffers + 2 * kCheckChunkSize;
        ContentStream content;
        StartContent(content, request.mode, result.seed.value_or(0));
        const bool repeats = ContentRepeats(request.mode, kCheckChunkSize);
        if (repeats && compares) NextContent(content, expected, kCheckChunkSize);
        int64_t done = 0;
        const ChunkProducer readChunk = [&](const PipelineSlot& slot) -> std::optional<size_t> {
            if (firstChunk) {  // already in slot, the first the pipeline hands out
                const size_t got = *firstChunk;
                firstChunk.reset();
                return got;
            }
            size_t got = 0;
            if (!ReadPiece(file, slot.bytes, slot.capacity, &left, &got, &readReason)) return std::nullopt;
            return got;
        };
        const ChunkConsumer compareChunk = [&](const PipelineSlot& slot, size_t filled) {
            if (CliInterrupted()) {
                interrupted = true;
                return false;
            }
            // Bytes past the size (from a pipe) only count towards its length.
            const size_t inSize = done >= common                                 ? 0
                                  : common - done < static_cast<int64_t>(filled) ? static_cast<size_t>(common - done)
                                                                                 : filled;
            const size_t piece = repeats ? inSize : kCheckPieceSize;
            for (size_t at = 0; compares && at < inSize; at += piece) {
                const size_t count = inSize - at < piece ? inSize - at : piece;
                const bool same = repeats ? std::memcmp(expected, slot.bytes + at, count) == 0
                                          : NextContentMatches(content, slot.bytes + at, count, expected);
                if (!same) NoteDifferences(&result, expected, slot.bytes + at, count, done + static_cast<int64_t>(at));
            }
            done += static_cast<int64_t>(filled);
            if (progress) progress(done < common ? done : common, common);
            return true;
        };
        const SlotRing ring{buffers, 2, kCheckChunkSize};
        const PipelineEnd end =
            facts.regular ? RunPipeline(ring, {readChunk, compareChunk}) : RunInTurns(ring, {readChunk, compareChunk});
        readFailed = end == kProducerStopped;
        interrupted = interrupted || (readFailed && CliInterrupted());
        // A file cut short while it was read ends where the reads ended.
        if (!facts.regular || (end == kPipelineDone && done < common)) result.length = done;
        result.longer = !facts.regular && done > request.size;
    } else if (result.noSeedFits) {
        interrupted = CliInterrupted();  // as the comparison would have seen it
    }
    if (ownHandle) CliCloseReading(file);

    if (interrupted) {
        result.outcome = kCheckInterrupted;
    } else if (readFailed) {
        result.reason = readReason;
    } else {
        const bool same = !result.noSeedFits && result.bytesDiffering == 0 && result.length == request.size;
        result.outcome = same ? kCheckOk : kCheckDiffers;
    }
    return result;
}

static std::string SearchNote(const CheckResult& result) {
    if (!result.seedSearched || result.noSeedFits) return "";
    std::string note = " (seed " + std::to_string(result.seed.value_or(0));
    if (result.seedTime) note += ", the clock at " + FormatUtc(*result.seedTime);
    if (result.seedsFitting > 1) {
        note +=
            "; too short to decide: " + std::to_string(result.seedsFitting) + " seeds fit, checked against the first";
    }
    return note + ")";
}

std::string CheckLine(const std::string& file, int64_t size, const CheckResult& result) {
    // A name that could forge or break the line is escaped; the line then
    // starts with a backslash.
    bool escaped = false;
    const std::string name = EscapedName(file, &escaped);
    std::string line = (escaped ? "\\" : "") + name + ": ";
    if (result.noSeedFits) return line + "differs: no seed of the random stream makes its first bytes";
    const bool lengthWrong = result.length != size;
    if (lengthWrong) {
        line += (result.longer ? "length over " + std::to_string(size) : "length " + std::to_string(result.length)) +
                ", expected " + std::to_string(size);
    }
    if (result.bytesDiffering > 0) {
        char figures[96];
        std::snprintf(figures, sizeof figures, "first at byte %lld (expected 0x%02X, found 0x%02X), ",
                      static_cast<long long>(result.firstDifference), static_cast<unsigned>(result.expected),
                      static_cast<unsigned>(result.found));
        line += std::string(lengthWrong ? "; " : "") + "differs: " + figures + std::to_string(result.bytesDiffering) +
                " bytes differ";
    } else if (!lengthWrong) {
        line += "OK";
    }
    return line + SearchNote(result);
}

static const char* CheckResultName(CheckOutcome outcome) {
    const char* names[] = {"ok", "differs", "failed", "interrupted"};
    return names[outcome];
}

// One file of --check: its line (or JSON object) on stdout, a failure on stderr.
static bool ReportCheck(const CliOptions& options, const std::string& path, const CheckRequest& request,
                        const CheckResult& result, double seconds) {
    if (result.outcome == kCheckFailed) TellAbout(path, result.reason);
    if (result.outcome == kCheckInterrupted) TellAbout(path, "interrupted");
    if (options.json) {
        FileReport report = FileReportOf(options, path, result.seed);
        report.result = CheckResultName(result.outcome);
        if (result.length >= 0) report.length = result.length;
        report.check = &result;
        report.seconds = seconds;
        report.error = result.reason;
        return WriteToStdout(JsonLine(report) + "\n");
    }
    if (result.outcome == kCheckFailed || result.outcome == kCheckInterrupted) return true;
    if (options.quiet && result.outcome == kCheckOk) return true;  // as sha256sum --quiet: only what is not OK
    return WriteToStdout(CheckLine(path, request.size, result) + "\n");
}

int CheckFiles(const CliOptions& options, bool showProgress) {
    const AlignedMemory storage = AllocateAligned(3 * kCheckChunkSize, kPageAlignment);
    unsigned char* const buffers = storage.bytes;
    CheckRequest request;
    request.mode = options.mode;
    request.size = options.size;
    request.seedSlack = static_cast<int64_t>(options.files.size()) - 1;
    int status = kExitMade;
    for (size_t i = 0; i < options.files.size(); ++i) {
        const std::string& path = options.files[i];
        if (options.seed) request.seed = *options.seed + static_cast<uint32_t>(i);  // as when making
        ProgressLine line;
        ProgressBegin(&line, path);
        const CheckResult result = CheckFile(path.c_str(), request, buffers, ProgressTo(&line, showProgress));
        ProgressEnd(&line, result.outcome != kCheckInterrupted && result.outcome != kCheckFailed);
        if (!ReportCheck(options, path, request, result, MonotonicSeconds() - line.started)) return kExitFailed;
        if (result.outcome == kCheckInterrupted) return kExitInterrupted;
        if (CheckFailed(result)) status = kExitFailed;  // the remaining files are still checked
    }
    return status;
}
