// Two threads over two buffers: while the consumer works on one chunk, the
// producer fills the other, so that generating overlaps with writing, and
// reading with comparing.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>

// Fills slot (capacity bytes) with the next chunk and returns its length; 0
// ends the run. None stops the run: the producer failed.
typedef std::function<std::optional<size_t>(unsigned char* slot, size_t capacity)> ChunkProducer;
// Takes one chunk. False stops the run: the consumer failed or was told to stop.
typedef std::function<bool(const unsigned char* slot, size_t filled)> ChunkConsumer;

enum PipelineEnd { kPipelineDone, kProducerStopped, kConsumerStopped };

// The producer runs on a second thread, the consumer on the caller's; chunks
// reach the consumer in the order they were produced. slots are two buffers
// of capacity bytes each. When no second thread can start, the run goes on
// in turns through slots[0].
PipelineEnd RunPipeline(const ChunkProducer& produce, const ChunkConsumer& consume, unsigned char* const slots[2],
                        size_t capacity);

// The same on the caller's thread alone, producing and consuming in turns
// through one slot.
PipelineEnd RunInTurns(const ChunkProducer& produce, const ChunkConsumer& consume, unsigned char* slot,
                       size_t capacity);
