// Where the drive test's page may be saved, and its saving.
#pragma once

#include "drive_platform.h"

#include <optional>
#include <string>

// Why a page cannot be saved at path for a test of folder, found before the
// test touches the drive: the system's reason, or that path is on the drive
// under test. Nothing when it can.
std::optional<std::string> DrivePagePathProblem(const DriveOps& ops, const std::string& path,
                                                const std::string& folder);

// Writes html beside path under a temporary name, then renames it to path,
// so that path holds a whole page or what it held before.
bool SaveDrivePage(const DriveOps& ops, const std::string& path, const std::string& html, std::string* reason);
