// Sizes, speeds, durations and percentages as people read them: the one home
// of these figures for the command line, the drive test and its dialog. A
// file's size is shown in binary units; the drive test's progress and speeds
// in decimal ones, as drives are sold.
#pragma once

#include <cstdint>
#include <string>

// "512.0 MiB", "1.0 GiB", "700 B": binary units, one decimal above bytes.
std::string FormatBytes(double bytes);
// "12.4 GB", "18.2 MB", "700 B": decimal units, one decimal above bytes.
std::string FormatDecimalBytes(double bytes);
// "1:05", "1:02:03": minutes and seconds, hours when needed.
std::string FormatDuration(double seconds);
// "15.98 GB (14.88 GiB)": users confuse the two.
std::string FormatBothUnits(uint64_t bytes);
// "(268 MB, 256.0 MiB)": three figures in decimal units, and the binary ones.
std::string FormatBothUnitsShort(uint64_t bytes);
// "34.1 MB/s": decimal, as drives are sold.
std::string FormatRate(double bytesPerSecond);

// done of total in whole percent, rounded down; 100 when there is no total.
int WholePercent(double done, double total);
// " 50%": right-aligned in three columns, so that a line keeps its shape.
std::string FormatPercent(int percent);
