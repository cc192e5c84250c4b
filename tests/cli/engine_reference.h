// The file the dialog's engine makes for a mode, size and seed: its writer
// routine run on a real file, as the dialog's writer thread runs it.
#pragma once

#include "cli_content_kind.h"

#include <cstdint>
#include <string>

// Runs the writer of the dialog's mode of the same name (zero for noise) (RandomWriter seeded with seed) on path and
// returns the bytes it left there; the file is removed afterwards.
std::string DialogEngineBytes(ContentKind mode, int64_t size, uint32_t seed, const std::string& path);
