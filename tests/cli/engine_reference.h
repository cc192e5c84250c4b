// The file the dialog's engine makes for a mode, size and seed: its writer
// routine run on a real file, as the dialog's writer thread runs it.
#pragma once

#include "job_state.h"

#include <cstdint>
#include <string>

// Runs the mode's writer (RandomWriter seeded with seed) on path and returns
// the bytes it left there; the file is removed afterwards.
std::string DialogEngineBytes(CreationMode mode, int64_t size, uint32_t seed, const std::string& path);
