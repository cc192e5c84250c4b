#include "system_pipeline.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

struct Ring {
    const SlotRing* slots = nullptr;
    const PipelineStages* stages = nullptr;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<size_t> lengths;  // what each slot holds for the taking stage
    size_t filled = 0;            // slots through the filling stage, counted from the start
    size_t taken = 0;
    bool fillEnded = false;  // no more slots will be filled
    bool fillFailed = false;
    bool takeEnded = false;
    bool takeStopped = false;
};

PipelineSlot SlotAt(const SlotRing& ring, size_t index) {
    return PipelineSlot{index, ring.first + index * ring.slotBytes, ring.slotBytes};
}

void FillLoop(Ring& ring) {
    const size_t count = ring.slots->count;
    for (size_t step = 0;; ++step) {
        {
            std::unique_lock<std::mutex> hold(ring.lock);
            ring.changed.wait(hold, [&] { return ring.taken + count > step || ring.takeEnded; });
            if (ring.takeEnded) break;
        }
        const std::optional<size_t> got = ring.stages->fill(SlotAt(*ring.slots, step % count));
        std::lock_guard<std::mutex> hold(ring.lock);
        if (!got) ring.fillFailed = true;
        if (got && *got > 0) {
            ring.lengths[step % count] = *got;
            ring.filled = step + 1;
        }
        ring.changed.notify_all();
        if (!got || *got == 0) break;
    }
    std::lock_guard<std::mutex> hold(ring.lock);
    ring.fillEnded = true;
    ring.changed.notify_all();
}

void TakeLoop(Ring& ring) {
    const size_t count = ring.slots->count;
    for (size_t step = 0;; ++step) {
        size_t length = 0;
        {
            std::unique_lock<std::mutex> hold(ring.lock);
            ring.changed.wait(hold, [&] { return ring.filled > step || ring.fillEnded; });
            if (ring.filled <= step) break;
            length = ring.lengths[step % count];
        }
        const bool ok = ring.stages->take(SlotAt(*ring.slots, step % count), length);
        std::lock_guard<std::mutex> hold(ring.lock);
        if (ok) ring.taken = step + 1;
        ring.takeStopped = !ok;
        ring.changed.notify_all();
        if (!ok) break;
    }
    std::lock_guard<std::mutex> hold(ring.lock);
    ring.takeEnded = true;
    ring.changed.notify_all();
}

}  // namespace

PipelineEnd RunPipeline(const SlotRing& ring, const PipelineStages& stages, const ThreadCalls& threads) {
    Ring shared;
    shared.slots = &ring;
    shared.stages = &stages;
    shared.lengths.assign(ring.count, 0);
    SystemThread helper;
    // Without a second thread (no memory, a process limit) the same work is
    // done in turns on this one.
    const bool started = threads.start(
        [&shared] {
            if (shared.stages->helperFills) {
                FillLoop(shared);
            } else {
                TakeLoop(shared);
            }
        },
        &helper);
    if (!started) return RunInTurns(ring, stages);
    if (stages.helperFills) {
        TakeLoop(shared);
    } else {
        FillLoop(shared);
    }
    threads.join(helper);
    if (shared.takeStopped) return kConsumerStopped;
    return shared.fillFailed ? kProducerStopped : kPipelineDone;
}

PipelineEnd RunInTurns(const SlotRing& ring, const PipelineStages& stages) {
    const PipelineSlot slot = SlotAt(ring, 0);
    for (;;) {
        const std::optional<size_t> filled = stages.fill(slot);
        if (!filled) return kProducerStopped;
        if (*filled == 0) return kPipelineDone;
        if (!stages.take(slot, *filled)) return kConsumerStopped;
    }
}
