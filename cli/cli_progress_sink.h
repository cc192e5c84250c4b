// Told the bytes done so far, out of total, after every chunk made or checked.
#pragma once

#include <cstdint>
#include <functional>

typedef std::function<void(int64_t done, int64_t total)> ProgressSink;  // empty: nobody listens
