// The one-line status of a running drive test, as a dialog shows it: the
// same units as the progress line and the report, in a sentence.
#pragma once

#include "drive_test.h"

#include <string>

// "Writing: 12.4 GB of 64.0 GB (19 %), 18.2 MB/s, 47:10 left. Nothing lost so far."
std::string DriveStatusText(const DriveProgress& progress);
