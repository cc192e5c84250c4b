// The one large buffer of a job, where the system copies to and from it
// fastest.
#pragma once

#include <cstddef>
#include <vector>

// bytes of storage starting at a page boundary: the system copies to and from
// an aligned buffer markedly faster (seen: a 1 GiB check 15 % faster).
unsigned char* PageAlignedBuffer(std::vector<unsigned char>& storage, size_t bytes);
