// Sizes shared by the native and the Windows benchmark programs, so that both
// measure the same jobs.
#pragma once

#include <cstdint>

const int64_t kDataFileSize = 256LL << 20;   // ZeroWriter and RandomWriter
const int64_t kTextFileSize = 64LL << 20;    // AsciiWriter
const int64_t kSetSizeFileSize = 4LL << 30;  // SetSizeWriter
const uint32_t kFillBytes = 1024;            // one random block per fill call

// A bare loop must make the same number of calls as the writer.
inline int64_t CallsFor(int64_t size, uint32_t block) { return (size + block - 1) / block; }
