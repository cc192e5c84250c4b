// The drive test's report as one HTML page that a person keeps or sends:
// the verdict, the drive, the figures, a map of the tested space, speed by
// position, the bad ranges, and the JSON summary for programs. Made from the
// report alone, with nothing fetched and no script to run.
#pragma once

#include "drive_test.h"

#include <string>

std::string DrivePageHtml(const DriveReport& report);

// A section of the page with its heading.
std::string PageSection(const std::string& id, const std::string& heading, const std::string& content);
