#include "cli_aligned_buffer.h"

#include <cstdint>

static const size_t kPageAlignment = 4096;

unsigned char* PageAlignedBuffer(std::vector<unsigned char>& storage, size_t bytes) {
    storage.resize(bytes + kPageAlignment);
    const uintptr_t address = reinterpret_cast<uintptr_t>(storage.data());
    return storage.data() + (kPageAlignment - address % kPageAlignment) % kPageAlignment;
}
