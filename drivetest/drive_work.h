// The pieces the fill and the read-back share: buffers, requests and the
// meter that turns bytes and time into progress and speed samples.
#pragma once

#include "drive_test.h"
#include "system_pipeline.h"  // SlotRing

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Slots of one size, each aligned for direct I/O.
struct AlignedBuffers {
    std::shared_ptr<unsigned char> memory;
    unsigned char* first = nullptr;
    size_t slotBytes = 0;
};
AlignedBuffers MakeBuffers(size_t slots, size_t slotBytes);
inline unsigned char* Slot(const AlignedBuffers& buffers, size_t k) { return buffers.first + k * buffers.slotBytes; }
inline SlotRing Ring(const AlignedBuffers& buffers, size_t slots) {
    return SlotRing{buffers.first, slots, buffers.slotBytes};
}

// One read or write: never across the end of a file.
struct Request {
    uint64_t offset = 0;  // in the set
    size_t length = 0;
    uint32_t file = 0;
};
Request RequestAt(const DriveSet& set, uint64_t offset, uint64_t end, size_t requestBytes);

const size_t kSlots = 4;

// Speed samples over consecutive stretches of one length.
struct SampleSeries {
    uint64_t every = 0;
    std::vector<SpeedSample>* samples = nullptr;
    bool told = false;    // each sample goes to the speed event too
    SpeedSample current;  // the sample being measured
    double currentStart = 0;
};

struct PhaseMeter {
    const DriveOps* ops = nullptr;
    const DriveEvents* events = nullptr;
    DrivePhase phase = DrivePhase::writing;
    uint64_t expected = 0;
    SampleSeries series[2];  // the told samples, and the finer ones by position
    double started = 0;
    uint64_t done = 0;
    double windowStart = 0;
    uint64_t windowBytes = 0;
    double rate = 0;
};
// The samples go to the report's speeds and positionSpeeds.
PhaseMeter StartMeter(const DriveOps& ops, const DriveEvents& events, const DriveTestOptions& options, DrivePhase phase,
                      uint64_t setOffset, uint64_t expected, DriveReport* report);
// After each request: bytes more done, bytesLost found so far.
void AdvanceMeter(PhaseMeter& meter, uint64_t bytes, uint64_t bytesLost);
// Ends the phase and returns its seconds.
double FinishMeter(PhaseMeter& meter);

bool Interrupted(const DriveEvents& events);

// Whether the drive of folder went away during the test (asked of the
// seam): once it has, report says so and nothing more is done with it.
bool DriveWentAway(const DriveOps& ops, const std::string& folder, DriveReport* report);
