// Two stages over a ring of buffers, one of them on a helper thread: the
// blocks of one request are made while an earlier one is written, and read
// requests are checked while the next ones are read.
#pragma once

#include "drive_platform.h"

#include <cstddef>
#include <functional>

struct TwoStages {
    // Each gets the step's number and its slot (step % slots); false stops
    // the run after that step.
    std::function<bool(size_t step, size_t slot)> first;
    std::function<bool(size_t step, size_t slot)> second;
    bool helperRunsFirst = true;  // else the helper runs the second stage
};

// Runs steps 0, 1, ... (at most steps of them) through first, then second;
// a slot is used again only once second is done with it. When the helper
// thread cannot start, both stages run in turns on the caller's thread.
// Returns how many steps went through both stages.
size_t RunTwoStages(const DriveOps& ops, size_t steps, size_t slots, const TwoStages& stages);
