// An independent model of what a job must leave on disk, written from the
// definitions of the modes rather than from the engine's code.
#pragma once

#include "job_state.h"

#include <cstdint>
#include <string>

// The whole file a job of this mode and size must produce; the random mode
// assumes the generator was seeded with seed.
std::string ExpectedContent(CreationMode mode, int64_t size, uint32_t seed);

// How many bytes each platform write carries in this mode (0: no writes).
uint32_t ExpectedBlockSize(CreationMode mode);
