// The fill: the set written file by file, with looks back at what was
// written earlier.
#pragma once

#include "drive_test.h"

#include <cstdint>

// Writes the set on from set offset from, to its end or the end of the
// space; fills in the writing half of report and set->written. freeBytes is
// the space the fill began with: what it expects to write without a total.
void WriteSet(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events, DriveSet* set,
              uint64_t from, uint64_t freeBytes, DriveReport* report);
