// Sizes and durations as people read them, in the command line's lines and
// the drive test's report alike.
#pragma once

#include <string>

// "512.0 MiB", "1.0 GiB", "700 B": binary units, one decimal above bytes.
std::string FormatBytes(double bytes);
// "1:05", "1:02:03": minutes and seconds, hours when needed.
std::string FormatDuration(double seconds);
