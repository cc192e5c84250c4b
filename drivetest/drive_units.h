// Sizes and durations as people read them, in the command line's lines and
// the drive test's report alike.
#pragma once

#include <cstdint>
#include <string>

// "512.0 MiB", "1.0 GiB", "700 B": binary units, one decimal above bytes.
std::string FormatBytes(double bytes);
// "1:05", "1:02:03": minutes and seconds, hours when needed.
std::string FormatDuration(double seconds);
// "15.98 GB (14.88 GiB)": users confuse the two.
std::string FormatBothUnits(uint64_t bytes);
// "34.1 MB/s": decimal, as drives are sold.
std::string FormatRate(double bytesPerSecond);
