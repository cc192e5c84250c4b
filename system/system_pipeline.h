// Two stages over a ring of slots, one of them on a second thread: while one
// stage works on a slot, the other works on the next, so that computing
// overlaps with I/O (making blocks with writing them, reading with comparing).
#pragma once

#include "system.h"

#include <cstddef>
#include <functional>
#include <optional>

// count slots of slotBytes each, laid end to end from first.
struct SlotRing {
    unsigned char* first = nullptr;
    size_t count = 0;
    size_t slotBytes = 0;
};

// One slot as a stage gets it.
struct PipelineSlot {
    size_t index = 0;  // its place in the ring: for what the caller keeps beside each slot
    unsigned char* bytes = nullptr;
    size_t capacity = 0;
};

// Fills slot and returns how many of its bytes the other stage is to take; 0
// ends the run. None stops the run: the stage failed.
typedef std::function<std::optional<size_t>(const PipelineSlot& slot)> ChunkProducer;
// Takes the filled bytes of slot. False stops the run: the stage failed or was told to stop.
typedef std::function<bool(const PipelineSlot& slot, size_t filled)> ChunkConsumer;

struct PipelineStages {
    ChunkProducer fill;
    ChunkConsumer take;
    bool helperFills = true;  // else the second thread takes, and the caller's thread fills
};

enum PipelineEnd { kPipelineDone, kProducerStopped, kConsumerStopped };

// One stage on a second thread, started through threads, the other on the
// caller's; slots are taken in the order they were filled, and a slot is
// filled again only once it was taken. When no second thread can start, the
// run goes on in turns.
PipelineEnd RunPipeline(const SlotRing& ring, const PipelineStages& stages, const ThreadCalls& threads = ThreadCalls());

// The same on the caller's thread alone, filling and taking in turns through
// the ring's first slot.
PipelineEnd RunInTurns(const SlotRing& ring, const PipelineStages& stages);
