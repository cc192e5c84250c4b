// What the command line says about each file: the line of --check, and the
// JSON object of --json, for making and for checking alike.
#pragma once

#include "cli_check.h"
#include "cli_content_kind.h"

#include <cstdint>
#include <optional>
#include <string>

// "2026-12-08 10:53:48 UTC" for seconds since 1970-01-01 00:00:00 UTC.
std::string FormatUtc(int64_t seconds);

// "FILE: OK", "FILE: differs: first at byte ...", "FILE: length L, expected
// SIZE" ("length over SIZE" for a pipe that gave more), with what the seed
// search found; no line break. Not for kCheckFailed. A name with a
// backslash or a control character is escaped, and the line then starts
// with a backslash, as sha256sum's lines do.
std::string CheckLine(const std::string& file, int64_t size, const CheckResult& result);

// One file's outcome as --json tells it.
struct FileReport {
    std::string file;
    ContentKind mode = kZeroContent;
    int64_t size = 0;
    std::optional<uint32_t> seed;
    const char* result = "made";  // made, ok, differs, failed or interrupted
    std::optional<int64_t> length;
    const CheckResult* check = nullptr;  // the comparison's figures, when checking
    double seconds = 0;
    std::string error;  // empty: none
};

// The JSON object, on one line, without the line break.
std::string JsonLine(const FileReport& report);
