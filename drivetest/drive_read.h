// The read-back: the set read and every block tallied by what it holds.
#pragma once

#include "drive_test.h"

#include <cstdint>
#include <string>

// Reads the set's first length bytes back and tallies what came.
void ReadSet(const DriveOps& ops, const DriveTestOptions& options, const DriveEvents& events, const DriveSet& set,
             uint64_t length, DriveReport* report);
// Reads the one block at setOffset past the caches: the look back while filling.
BlockVerdict ReadOneBlock(const DriveOps& ops, const std::string& folder, const DriveSet& set, uint64_t setOffset,
                          unsigned char* buffer);
