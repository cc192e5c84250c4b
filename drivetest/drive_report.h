// The drive test's words: the report a person reads, the progress line, and
// the JSON Lines a script reads; the command line and a dialog show the same.
#pragma once

#include "drive_test.h"

#include <string>
#include <vector>

// What each class of block means: "a few bits changed", ...
const char* BlockClassText(BlockClass kind);
// How the set was read back: "directly from the drive, past the system's cache", ...
const char* ReadBackText(ReadBack method);
// The verdict, without "Verdict: " and the full stop; problem as the caller shows names.
std::string DriveVerdictText(const DriveReport& report, const std::string& problem);

// "Real capacity: ...", and where the drive's partition must end to keep
// clear of what the drive cannot hold: one or two lines.
std::string RealCapacityText(const RealCapacity& capacity);

// The report at the end, many lines. folder (for the advice to re-plug) and
// problem are report's, as the caller shows names.
std::string DriveReportText(const DriveReport& report, const std::string& folder, const std::string& problem);
// The progress line, from its fullest form to its shortest, for the room
// there is: "writing  1.3 GB / 64.0 GB    2%  34.1 MB/s  ETA 0:21:10  lost
// 0 B", then without the speed and time left, then without the counts, then
// without the time left either.
std::vector<std::string> DriveProgressForms(const DriveProgress& progress);

// One JSON object each, without the line break.
std::string DriveProgressJson(const DriveProgress& progress);
std::string DriveSpeedJson(const SpeedSample& sample);
std::string DriveRangeJson(const BadRange& range);
std::string DriveSummaryJson(const DriveReport& report);
