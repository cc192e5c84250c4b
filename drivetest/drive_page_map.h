// The page's map of the tested space, with its legend.
#pragma once

#include "drive_cells.h"
#include "drive_test.h"

#include <string>

// The map section, with its legend.
std::string DriveMapSection(const DriveReport& report);

// The symbol each mark carries besides its colour: nothing for intact and untested.
const char* MapMarkSymbol(MapMark mark);
// What each mark means, in the report's words.
std::string MapMarkText(MapMark mark);
