#include "cli_check.h"

#include "cli_content.h"
#include "cli_pipeline.h"
#include "cli_platform.h"
#include "cli_reading.h"
#include "random_seed_search.h"

#include <cstring>

namespace {

// Where the seed is looked for when the first bytes fit no seed, so that a
// file damaged at its start still finds its seed.
const size_t kSearchOffsets[] = {0, 4096, 65536, 196608};

// Bytes made and compared at a time: they stay in the first-level cache.
const size_t kCheckPieceSize = 8192;

struct Reading {
    FileHandle file;
    int64_t left;
    std::string reason;
};

bool ReadChunk(void* context, unsigned char* slot, size_t capacity, size_t* filled) {
    Reading* reading = static_cast<Reading*>(context);
    const size_t wanted = reading->left < static_cast<int64_t>(capacity) ? static_cast<size_t>(reading->left) : capacity;
    if (!CliReadUpTo(reading->file, slot, wanted, filled, &reading->reason)) return false;
    reading->left -= static_cast<int64_t>(*filled);
    return true;
}

struct Comparing {
    const CheckRequest* request;
    int64_t modifiedSeconds;
    CheckResult* result;
    ContentStream content;
    unsigned char* expected;
    bool started;
    int64_t done;
    int64_t total;
    ProgressSink progress;
    void* progressContext;
    bool interrupted;
};

void SearchSeed(Comparing* comparing, const unsigned char* first, size_t count) {
    CheckResult* result = comparing->result;
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
    result->seedKnown = true;
    result->seedsFitting = found.count;
    result->seed = found.first;
    if (SeedBeforeTime(found.first, comparing->modifiedSeconds, &result->seedTime)) {
        result->seedTimeKnown = true;
        result->seed = static_cast<uint32_t>(result->seedTime);  // the clock cut to 32 bits, as the dialog seeds
    }
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

bool CompareChunk(void* context, const unsigned char* slot, size_t filled) {
    Comparing* comparing = static_cast<Comparing*>(context);
    if (CliInterrupted()) {
        comparing->interrupted = true;
        return false;
    }
    const bool repeats = ContentRepeats(comparing->request->mode, kCheckChunkSize);
    if (!comparing->started) {
        comparing->started = true;
        uint32_t seed = comparing->result->seed;
        if (comparing->request->mode == RandomFill && !comparing->request->seedGiven) {
            SearchSeed(comparing, slot, filled);
            if (comparing->result->noSeedFits) return false;
            seed = comparing->result->seed;
        }
        StartContent(comparing->content, comparing->request->mode, seed);
        if (repeats) NextContent(comparing->content, comparing->expected, kCheckChunkSize);
    }
    const size_t piece = repeats ? filled : kCheckPieceSize;
    for (size_t at = 0; at < filled; at += piece) {
        const size_t count = filled - at < piece ? filled - at : piece;
        const bool same = repeats ? std::memcmp(comparing->expected, slot + at, count) == 0
                                  : NextContentMatches(comparing->content, slot + at, count, comparing->expected);
        if (!same)
            NoteDifferences(comparing->result, comparing->expected, slot + at, count,
                            comparing->done + static_cast<int64_t>(at));
    }
    comparing->done += static_cast<int64_t>(filled);
    if (comparing->progress) comparing->progress(comparing->progressContext, comparing->done, comparing->total);
    return true;
}

}  // namespace

bool CheckFailed(const CheckResult& result) { return result.outcome != kCheckOk; }

bool SeedBeforeTime(uint32_t lowBits, int64_t modifiedSeconds, int64_t* clockSeconds) {
    const int64_t low = static_cast<int64_t>(lowBits & (kRandomSeedCount - 1u));
    if (modifiedSeconds < low) return false;
    *clockSeconds = modifiedSeconds - (modifiedSeconds - low) % static_cast<int64_t>(kRandomSeedCount);
    return true;
}

CheckResult CheckFile(const char* path, const CheckRequest& request, unsigned char* buffers, ProgressSink progress,
                      void* progressContext) {
    CheckResult result;
    result.seedKnown = request.seedGiven && (request.mode == RandomFill || request.mode == NoiseFill);
    result.seed = request.seed;
    if (CliInterrupted()) {
        result.outcome = kCheckInterrupted;
        return result;
    }
    Reading reading = {kNoFile, 0, std::string()};
    FileFacts facts;
    if (!CliOpenForReading(path, &reading.file, &result.reason)) return result;
    if (!CliFileFacts(reading.file, &facts, &result.reason)) {
        CliCloseReading(reading.file);
        return result;
    }
    result.length = facts.length;
    const int64_t common = facts.length < request.size ? facts.length : request.size;

    // The next chunk is read on a second thread while this one is compared.
    Comparing comparing = {&request, facts.modifiedSeconds, &result, ContentStream(), buffers + 2 * kCheckChunkSize,
                           false, 0, common, progress, progressContext, false};
    PipelineEnd end = kPipelineDone;
    if (request.mode != SetSizeOnly && common > 0) {
        reading.left = common;
        unsigned char* const slots[2] = {buffers, buffers + kCheckChunkSize};
        end = RunPipeline(ReadChunk, &reading, CompareChunk, &comparing, slots, kCheckChunkSize);
        // A file cut short while it was read ends where the reads ended.
        if (end == kPipelineDone && comparing.done < common) result.length = comparing.done;
    } else if (request.mode == RandomFill && !request.seedGiven) {
        SearchSeed(&comparing, nullptr, 0);  // no bytes: every seed fits
    }
    CliCloseReading(reading.file);

    if (comparing.interrupted) {
        result.outcome = kCheckInterrupted;
    } else if (end == kProducerStopped) {
        result.reason = reading.reason;
    } else {
        const bool same = !result.noSeedFits && result.bytesDiffering == 0 && result.length == request.size;
        result.outcome = same ? kCheckOk : kCheckDiffers;
    }
    return result;
}
