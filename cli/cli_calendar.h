// Clock readings as people read them, without the system's time routines.
#pragma once

#include <cstdint>
#include <string>

// "2026-12-08 10:53:48 UTC" for seconds since 1970-01-01 00:00:00 UTC.
std::string FormatUtc(int64_t seconds);
