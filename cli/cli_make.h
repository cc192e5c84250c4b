// Making the files of the command line, one after the other: the mode's
// bytes written in large chunks, or only the length given.
#pragma once

#include "cli_content_kind.h"
#include "cli_options.h"
#include "cli_progress_sink.h"

#include <cstddef>
#include <cstdint>
#include <string>

// One write per chunk; 1 MiB amortises the system call like head -c's larger
// reads, and is a whole number of text lines so a text chunk is filled once.
const size_t kCliChunkSize = 1u << 20;

struct MakeRequest {
    ContentKind mode = kZeroContent;
    int64_t size = 0;
    uint32_t seed = 0;      // random and noise modes: the seed of the stream
    bool allocate = false;  // size mode: reserve disk blocks
    bool noClobber = false;
};

enum MakeOutcome { kMade, kFailed, kInterrupted };

// What became of a file that could not be finished.
struct Unfinished {
    int64_t length = 0;    // the bytes written before it stopped
    bool removed = false;  // false: it is left, as whyLeft says (empty when there was nothing to remove)
    std::string whyLeft;
};

// Makes path as request says, using chunk (chunkSize bytes, any size > 0, of
// the caller's) as the only buffer. When the file cannot be finished (a
// failure or a signal) it is removed if it is an ordinary file this program
// still holds, then closed; *reason is then the system's text (empty when
// interrupted), and *unfinished, if given, says what became of it.
MakeOutcome MakeFile(const char* path, const MakeRequest& request, unsigned char* chunk, size_t chunkSize,
                     const ProgressSink& progress, std::string* reason, Unfinished* unfinished = nullptr);

// Makes every file of the command line, telling on stderr what stopped one
// and, with --json, each one's outcome on stdout; returns the exit status.
// Random and noise modes without a seed take the clock's, and tell it.
int MakeFiles(const CliOptions& options, bool showProgress);
