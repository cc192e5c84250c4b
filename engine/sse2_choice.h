// Whether this build has the SSE2 paths: every x86-64 target has SSE2, and
// the i686 build enables it. The portable paths are compiled in every build
// beside them, so that the tests hold each vector path to its portable one.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define FILLWRIGHT_SSE2 1
#else
#define FILLWRIGHT_SSE2 0
#endif
