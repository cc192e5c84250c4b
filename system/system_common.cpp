// The parts of system.h that need no system call of their own.
#include "system.h"

AlignedMemory AllocateAligned(size_t bytes, size_t alignment) {
    AlignedMemory aligned;
    const size_t total = bytes + alignment;
    unsigned char* present = AllocatePresentMemory(total);
    if (present != nullptr) {
        aligned.memory.reset(present, [total](unsigned char* gone) { FreePresentMemory(gone, total); });
    } else {
        aligned.memory.reset(new unsigned char[total](), std::default_delete<unsigned char[]>());
    }
    const uintptr_t address = reinterpret_cast<uintptr_t>(aligned.memory.get());
    aligned.bytes = aligned.memory.get() + (alignment - address % alignment) % alignment;
    return aligned;
}
