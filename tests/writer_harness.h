// Runs writer jobs for the tests while watching every call they make through
// the platform seam, with optional injected failures.
#pragma once

#include "job_state.h"
#include "platform.h"

#include <cstdint>
#include <string>
#include <vector>

struct SeamLog {
    int writeCalls = 0;
    uint32_t lastWriteSize = 0;
    int setPositionCalls = 0;
    int setEndCalls = 0;
    int closeCalls = 0;
    int failWriteAtCall = 0;  // 1-based; 0 = never
    bool failSetPosition = false;
    bool failSetEndOfFile = false;
    bool discardWrites = false;        // count the calls but touch no disk
    int64_t clock = 1700000000;        // what the calendar clock answers
    std::vector<std::string> reports;  // "caption|text"
    bool finishedRaisedBeforeReportReturned = false;
};

extern SeamLog seam;

// Clears the log and routes the engine's file calls and reports through it.
void WatchWriters();
// Gives the engine back its own platform calls.
void StopWatchingWriters();

// Sets up JobState for a job on a freshly created target and runs the mode's
// writer on a thread of its own to its end. False if the file cannot be created.
bool RunWriterJob(CreationMode mode, int64_t size, const std::string& target);
