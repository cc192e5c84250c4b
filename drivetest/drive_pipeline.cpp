#include "drive_pipeline.h"

#include <condition_variable>
#include <mutex>

namespace {

struct Ring {
    std::mutex lock;
    std::condition_variable changed;
    size_t firstDone = 0;  // steps through the first stage
    size_t secondDone = 0;
    bool firstEnded = false;  // no more steps will come through the first stage
    bool secondEnded = false;
};

void RunFirst(Ring& ring, size_t steps, size_t slots, const TwoStages& stages) {
    for (size_t step = 0; step < steps; ++step) {
        {
            std::unique_lock<std::mutex> hold(ring.lock);
            ring.changed.wait(hold, [&] { return ring.secondDone + slots > step || ring.secondEnded; });
            if (ring.secondEnded) break;
        }
        const bool ok = stages.first(step, step % slots);
        std::lock_guard<std::mutex> hold(ring.lock);
        if (ok) ring.firstDone = step + 1;
        ring.changed.notify_all();
        if (!ok) break;
    }
    std::lock_guard<std::mutex> hold(ring.lock);
    ring.firstEnded = true;
    ring.changed.notify_all();
}

void RunSecond(Ring& ring, size_t slots, const TwoStages& stages) {
    for (size_t step = 0;; ++step) {
        {
            std::unique_lock<std::mutex> hold(ring.lock);
            ring.changed.wait(hold, [&] { return ring.firstDone > step || ring.firstEnded; });
            if (ring.firstDone <= step) break;
        }
        const bool ok = stages.second(step, step % slots);
        std::lock_guard<std::mutex> hold(ring.lock);
        if (ok) ring.secondDone = step + 1;
        ring.changed.notify_all();
        if (!ok) break;
    }
    std::lock_guard<std::mutex> hold(ring.lock);
    ring.secondEnded = true;
    ring.changed.notify_all();
}

}  // namespace

size_t RunTwoStages(const DriveOps& ops, size_t steps, size_t slots, const TwoStages& stages) {
    Ring ring;
    DriveThread helper;
    const bool started = ops.startThread(
        [&] {
            if (stages.helperRunsFirst) {
                RunFirst(ring, steps, slots, stages);
            } else {
                RunSecond(ring, slots, stages);
            }
        },
        &helper);
    if (!started) {
        size_t step = 0;
        while (step < steps && stages.first(step, step % slots) && stages.second(step, step % slots)) ++step;
        return step;
    }
    if (stages.helperRunsFirst) {
        RunSecond(ring, slots, stages);
    } else {
        RunFirst(ring, steps, slots, stages);
    }
    ops.joinThread(helper);
    return ring.secondDone;
}
