// Two threads over two buffers: while the consumer works on one chunk, the
// producer fills the other, so that generating overlaps with writing, and
// reading with comparing.
#pragma once

#include <cstddef>

// Fills slot (capacity bytes) with the next chunk and sets *filled; 0 ends
// the run. False stops the run: the producer failed.
typedef bool (*ChunkProducer)(void* context, unsigned char* slot, size_t capacity, size_t* filled);
// Takes one chunk. False stops the run: the consumer failed or was told to stop.
typedef bool (*ChunkConsumer)(void* context, const unsigned char* slot, size_t filled);

enum PipelineEnd { kPipelineDone, kProducerStopped, kConsumerStopped };

// The producer runs on a second thread, the consumer on the caller's; chunks
// reach the consumer in the order they were produced. slots are two buffers
// of capacity bytes each.
PipelineEnd RunPipeline(ChunkProducer produce, void* produceContext, ChunkConsumer consume, void* consumeContext,
                        unsigned char* const slots[2], size_t capacity);

// The same on the caller's thread alone, producing and consuming in turns
// through one slot.
PipelineEnd RunInTurns(ChunkProducer produce, void* produceContext, ChunkConsumer consume, void* consumeContext,
                       unsigned char* slot, size_t capacity);
