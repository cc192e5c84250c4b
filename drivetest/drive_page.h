// The drive test's report as one HTML page that a person keeps or sends:
// the verdict, the drive, the figures, a map of the tested space, speed by
// position, the bad ranges, and the JSON summary for programs. Made from the
// report alone, with nothing fetched and no script to run.
#pragma once

#include "drive_platform.h"
#include "drive_test.h"

#include <optional>
#include <string>

std::string DrivePageHtml(const DriveReport& report);

// Why a page cannot be saved at path for a test of folder, found before the
// test touches the drive: the system's reason, or that path is on the drive
// under test. Nothing when it can.
std::optional<std::string> DrivePagePathProblem(const DriveOps& ops, const std::string& path, const std::string& folder);

// Writes html beside path under a temporary name, then renames it to path,
// so that path holds a whole page or what it held before.
bool SaveDrivePage(const DriveOps& ops, const std::string& path, const std::string& html, std::string* reason);
