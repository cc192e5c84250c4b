#include "cli_pipeline.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct PipelineShared {
    ChunkProducer produce;
    void* produceContext;
    unsigned char* const* slots;
    size_t capacity;
    std::mutex lock;
    std::condition_variable changed;
    bool ready[2] = {false, false};  // the slot holds a chunk the consumer has not taken
    size_t filled[2] = {0, 0};
    bool producerFailed = false;
    bool stop = false;  // the consumer wants no more chunks
};

void ProducerLoop(PipelineShared* shared) {
    for (int k = 0;; k ^= 1) {
        {
            std::unique_lock<std::mutex> hold(shared->lock);
            shared->changed.wait(hold, [&] { return !shared->ready[k] || shared->stop; });
            if (shared->stop) return;
        }
        size_t filled = 0;
        const bool produced = shared->produce(shared->produceContext, shared->slots[k], shared->capacity, &filled);
        std::lock_guard<std::mutex> hold(shared->lock);
        if (!produced) shared->producerFailed = true;
        shared->filled[k] = filled;
        shared->ready[k] = produced;
        shared->changed.notify_all();
        if (!produced || filled == 0) return;
    }
}

}  // namespace

PipelineEnd RunPipeline(ChunkProducer produce, void* produceContext, ChunkConsumer consume, void* consumeContext,
                        unsigned char* const slots[2], size_t capacity) {
    PipelineShared shared;
    shared.produce = produce;
    shared.produceContext = produceContext;
    shared.slots = slots;
    shared.capacity = capacity;
    std::thread producer(ProducerLoop, &shared);

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
        const bool consumed = consume(consumeContext, slots[k], filled);
        std::lock_guard<std::mutex> hold(shared.lock);
        shared.ready[k] = false;
        if (!consumed) shared.stop = true;
        shared.changed.notify_all();
        if (!consumed) {
            end = kConsumerStopped;
            break;
        }
    }
    producer.join();
    return end;
}

PipelineEnd RunInTurns(ChunkProducer produce, void* produceContext, ChunkConsumer consume, void* consumeContext,
                       unsigned char* slot, size_t capacity) {
    for (;;) {
        size_t filled = 0;
        if (!produce(produceContext, slot, capacity, &filled)) return kProducerStopped;
        if (filled == 0) return kPipelineDone;
        if (!consume(consumeContext, slot, filled)) return kConsumerStopped;
    }
}
