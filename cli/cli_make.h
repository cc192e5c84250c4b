// Making one file of the command line: the mode's bytes written in large
// chunks, or only the length given.
#pragma once

#include "cli_content_kind.h"
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
    uint32_t seed = 0;       // random and noise modes: the seed of the stream
    bool allocate = false;   // size mode: reserve disk blocks
    bool noClobber = false;
};

enum MakeOutcome { kMade, kFailed, kInterrupted };

// Makes path as request says, using chunk (chunkSize bytes, any size > 0, of
// the caller's) as the only buffer. When the file cannot be finished (a
// failure or Ctrl-C) it is closed and, if an ordinary file, removed;
// *reason is then the system's text (empty when interrupted).
MakeOutcome MakeFile(const char* path, const MakeRequest& request, unsigned char* chunk, size_t chunkSize,
                     const ProgressSink& progress, std::string* reason);
