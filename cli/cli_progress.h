// The progress line drawn on stderr while a file is made or checked, or a
// drive tested.
#pragma once

#include "cli_progress_sink.h"
#include "drive_units.h"  // FormatBytes, FormatDuration

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// "512.0 MiB / 1.0 GiB  50%  1.2 GiB/s  ETA 0:01" from the count and the
// seconds since the file was started; "ETA --:--" before any rate is known.
std::string FormatProgress(int64_t done, int64_t total, double elapsedSeconds);

// The name is shortened no further than this while shorter figures can go.
const size_t kProgressNameAtLeast = 12;
// "name  figures" in less than columns (80 when 0, unknown): the figures
// drop the rate and time left, then the counts, and the name is shortened in
// the middle, so that the line never wraps.
std::string FitProgress(const std::string& name, int64_t done, int64_t total, double elapsedSeconds, int columns);

// The first of forms (from the fullest to the shortest) that fits in less
// than columns (80 when 0, unknown), else the last shortened in the middle,
// so that the line never wraps.
std::string FitForms(const std::vector<std::string>& forms, int columns);

struct ProgressLine {
    std::string name;    // the file, shown first, quoted
    double started = 0;  // MonotonicSeconds() at the start of the file
    double lastDrawn = 0;
    size_t drawnWidth = 0;  // of the last line, to blank out a longer one
    bool drawn = false;
    int64_t done = 0;
    int64_t total = 0;
};

// At most this often a redraw: a few times a second is enough to read.
const double kProgressInterval = 0.25;

void ProgressBegin(ProgressLine* line, const std::string& name);
// Redraws when kProgressInterval has passed since the last.
void ProgressUpdate(ProgressLine* line, int64_t done, int64_t total);
// Shows the first of forms that fits (see FitForms) as the line, when
// kProgressInterval has passed since the last redraw, or at once.
void ProgressShow(ProgressLine* line, const std::vector<std::string>& forms, bool atOnce = false);
// The line's updates as a job's progress, when it is shown; none when not.
ProgressSink ProgressTo(ProgressLine* line, bool showProgress);
// Ends the line: the final figures if the file was made, then a line break,
// so that what follows on stderr starts on a line of its own.
void ProgressEnd(ProgressLine* line, bool made);
