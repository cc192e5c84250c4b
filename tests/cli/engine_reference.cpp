#include "engine_reference.h"

#include "test_files.h"
#include "writers.h"

#include <thread>

static uint32_t clockSeed = 0;
static int64_t SeedAsClock() { return static_cast<int64_t>(clockSeed); }

// The dialog's mode of each kind the command line shares with it.
static CreationMode DialogMode(ContentKind kind) {
    switch (kind) {
        case kRandomContent: return RandomFill;
        case kAsciiContent: return AsciiFill;
        case kSizeContent: return SetSizeOnly;
        default: return ZeroFill;
    }
}

std::string DialogEngineBytes(ContentKind mode, int64_t size, uint32_t seed, const std::string& path) {
    // The random writer seeds itself from the calendar clock: make the clock
    // read the wanted seed for this one job.
    clockSeed = seed;
    fileOps.calendarSeconds = SeedAsClock;
    ResetJobState();
    JobState.targetSize = size;
    JobState.mode = DialogMode(mode);
    JobState.outputFile = CreateOutputFile(path);
    if (JobState.outputFile == kNoFile) {
        fileOps = platformFileOps;
        return "(engine reference: cannot create " + path + ")";
    }
    std::thread thread(WriterFor(JobState.mode), nullptr);
    thread.join();
    fileOps = platformFileOps;
    std::string bytes = ReadWholeFile(path);
    RemoveFile(path);
    return bytes;
}
