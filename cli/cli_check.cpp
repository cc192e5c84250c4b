#include "cli_check.h"

#include "cli_content.h"
#include "cli_pipeline.h"
#include "cli_platform.h"
#include "random_algebra.h"

#include <cstring>

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

CheckResult CheckFile(const char* path, const CheckRequest& request, unsigned char* buffers,
                      const ProgressSink& progress) {
    CheckResult result;
    if (ContentHasSeed(request.mode)) result.seed = request.seed;
    if (CliInterrupted()) {
        result.outcome = kCheckInterrupted;
        return result;
    }
    FileHandle file = kNoFile;
    FileFacts facts;
    if (!CliOpenForReading(path, &file, &result.reason)) return result;
    if (!CliFileFacts(file, &facts, &result.reason)) {
        CliCloseReading(file);
        return result;
    }
    result.length = facts.length;
    const int64_t common = facts.length < request.size ? facts.length : request.size;
    int64_t left = request.mode != kSizeContent ? common : 0;
    unsigned char* const slots[2] = {buffers, buffers + kCheckChunkSize};
    std::string readReason;
    bool readFailed = false;

    // Random mode without a seed: the seed is searched for once, in the first
    // chunk, which the comparison then takes first.
    std::optional<size_t> firstChunk;
    if (request.mode == kRandomContent && !request.seed) {
        size_t got = 0;
        readFailed = left > 0 && !ReadPiece(file, slots[0], kCheckChunkSize, &left, &got, &readReason);
        if (!readFailed) SearchSeed(&result, slots[0], got, facts.modifiedSeconds);
        if (got > 0) firstChunk = got;
    }

    // Then the comparison: the next chunk is read on a second thread while
    // this one is compared.
    bool interrupted = false;
    const bool compares = request.mode != kSizeContent && common > 0 && !readFailed && !result.noSeedFits;
    if (compares) {
        unsigned char* const expected = buffers + 2 * kCheckChunkSize;
        ContentStream content;
        StartContent(content, request.mode, result.seed.value_or(0));
        const bool repeats = ContentRepeats(request.mode, kCheckChunkSize);
        if (repeats) NextContent(content, expected, kCheckChunkSize);
        int64_t done = 0;
        const ChunkProducer readChunk = [&](unsigned char* slot, size_t capacity) -> std::optional<size_t> {
            if (firstChunk) {  // already in slot, the first the pipeline hands out
                const size_t got = *firstChunk;
                firstChunk.reset();
                return got;
            }
            size_t got = 0;
            if (!ReadPiece(file, slot, capacity, &left, &got, &readReason)) return std::nullopt;
            return got;
        };
        const ChunkConsumer compareChunk = [&](const unsigned char* slot, size_t filled) {
            if (CliInterrupted()) {
                interrupted = true;
                return false;
            }
            const size_t piece = repeats ? filled : kCheckPieceSize;
            for (size_t at = 0; at < filled; at += piece) {
                const size_t count = filled - at < piece ? filled - at : piece;
                const bool same = repeats ? std::memcmp(expected, slot + at, count) == 0
                                          : NextContentMatches(content, slot + at, count, expected);
                if (!same) NoteDifferences(&result, expected, slot + at, count, done + static_cast<int64_t>(at));
            }
            done += static_cast<int64_t>(filled);
            if (progress) progress(done, common);
            return true;
        };
        const PipelineEnd end = RunPipeline(readChunk, compareChunk, slots, kCheckChunkSize);
        readFailed = end == kProducerStopped;
        // A file cut short while it was read ends where the reads ended.
        if (end == kPipelineDone && done < common) result.length = done;
    } else if (result.noSeedFits) {
        interrupted = CliInterrupted();  // as the comparison would have seen it
    }
    CliCloseReading(file);

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
