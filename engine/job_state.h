// The one job record that the dialog thread and the writer thread share.
#pragma once

#include "platform.h"

#include <atomic>
#include <cstdint>

enum CreationMode : int32_t {
    NoMode = 0,
    ZeroFill = 1,
    RandomFill = 2,
    AsciiFill = 3,
    SetSizeOnly = 4,
};

const int kFileNameCapacity = 1024;  // bytes, terminator included

// Sizes are 64-bit so that products such as 4096 MiB are held, not wrapped.
// bytesDone and finished are the only fields both threads touch while a
// writer runs: the writer publishes them, the dialog polls them.
struct JobRecord {
    char fileName[kFileNameCapacity];
    int64_t targetSize;
    std::atomic<int64_t> bytesDone;
    std::atomic<int32_t> finished;  // stored with release order, loaded with acquire order
    CreationMode mode;
    FileHandle outputFile;
    ThreadHandle workerThread;
};

extern JobRecord JobState;

// Program-start reset: everything but workerThread, which is null from load.
void ResetJobState();

// bytesDone * 100 / targetSize, truncated toward zero, in exact integer
// arithmetic for any bytesDone and any targetSize below 2^56 (the largest the
// dialog can ask for is 2,147,483,647 MiB, below 2^51). targetSize must not be 0.
int64_t ProgressPercent(int64_t bytesDone, int64_t targetSize);
