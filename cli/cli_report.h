// The JSON object of --json that tells each file's outcome, for making and
// for checking alike.
#pragma once

#include "cli_check.h"
#include "cli_content_kind.h"
#include "cli_options.h"

#include <cstdint>
#include <optional>
#include <string>

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

// The report of one file of the command line, its outcome still to be told.
FileReport FileReportOf(const CliOptions& options, const std::string& path, std::optional<uint32_t> seed);

// The JSON object, on one line, without the line break.
std::string JsonLine(const FileReport& report);
