// The drawn parts of the drive test's page, each a section of its own.
#pragma once

#include "drive_cells.h"
#include "drive_test.h"

#include <string>

// The map of the tested space, with its legend.
std::string DriveMapSection(const DriveReport& report);
// Write and read speed against the position in the set.
std::string DriveSpeedSection(const DriveReport& report);

// A section with its heading.
std::string PageSection(const std::string& id, const std::string& heading, const std::string& content);

// The symbol each mark carries besides its colour: nothing for intact and untested.
const char* MapMarkSymbol(MapMark mark);
// What each mark means, in the report's words.
std::string MapMarkText(MapMark mark);
