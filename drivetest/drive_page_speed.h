// The page's drawing of speed by position.
#pragma once

#include "drive_test.h"

#include <string>

// Write and read speed against the position in the set.
std::string DriveSpeedSection(const DriveReport& report);
