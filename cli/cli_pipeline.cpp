#include "cli_pipeline.h"

#include "cli_platform.h"

#include <condition_variable>
#include <mutex>

namespace {

struct PipelineShared {
    const ChunkProducer* produce = nullptr;
    unsigned char* const* slots = nullptr;
    size_t capacity = 0;
    std::mutex lock;
    std::condition_variable changed;
    bool ready[2] = {false, false};  // the slot holds a chunk the consumer has not taken
    size_t filled[2] = {0, 0};
    bool producerFailed = false;
    bool stop = false;  // the consumer wants no more chunks
};

void ProducerLoop(void* argument) {
    PipelineShared* shared = static_cast<PipelineShared*>(argument);
    for (int k = 0;; k ^= 1) {
        {
            std::unique_lock<std::mutex> hold(shared->lock);
            shared->changed.wait(hold, [&] { return !shared->ready[k] || shared->stop; });
            if (shared->stop) return;
        }
        const std::optional<size_t> chunk = (*shared->produce)(shared->slots[k], shared->capacity);
        const bool produced = chunk.has_value();
        const size_t filled = chunk.value_or(0);
        std::lock_guard<std::mutex> hold(shared->lock);
        if (!produced) shared->producerFailed = true;
        shared->filled[k] = filled;
        shared->ready[k] = produced;
        shared->changed.notify_all();
        if (!produced || filled == 0) return;
    }
}

}  // namespace

PipelineEnd RunPipeline(const ChunkProducer& produce, const ChunkConsumer& consume, unsigned char* const slots[2],
                        size_t capacity) {
    PipelineShared shared;
    shared.produce = &produce;
    shared.slots = slots;
    shared.capacity = capacity;
    CliThread producer;
    // Without a second thread (no memory, a process limit) the same work is
    // done in turns on this one.
    if (!CliStartThread(ProducerLoop, &shared, &producer)) return RunInTurns(produce, consume, slots[0], capacity);

    PipelineEnd end = kPipelineDone;
    for (int k = 0;; k ^= 1) {
        size_t filled = 0;
        {
            std::unique_lock<std::mutex> hold(shared.lock);
            shared.changed.wait(hold, [&] { return shared.ready[k] || shared.producerFailed; });
            if (!shared.ready[k]) {
                end = kProducerStopped;
                break;
            }
            filled = shared.filled[k];
        }
        if (filled == 0) break;
        const bool consumed = consume(slots[k], filled);
        std::lock_guard<std::mutex> hold(shared.lock);
        shared.ready[k] = false;
        if (!consumed) shared.stop = true;
        shared.changed.notify_all();
        if (!consumed) {
            end = kConsumerStopped;
            break;
        }
    }
    CliJoinThread(&producer);
    return end;
}

PipelineEnd RunInTurns(const ChunkProducer& produce, const ChunkConsumer& consume, unsigned char* slot,
                       size_t capacity) {
    for (;;) {
        const std::optional<size_t> filled = produce(slot, capacity);
        if (!filled) return kProducerStopped;
        if (*filled == 0) return kPipelineDone;
        if (!consume(slot, *filled)) return kConsumerStopped;
    }
}
