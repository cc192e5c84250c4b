// Test build of the program whose writer thread can never be started, to see
// how job start copes. The shipped program links writer_thread.cpp instead.
#include "job_start.h"

HANDLE StartWriterThread(LPTHREAD_START_ROUTINE) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
