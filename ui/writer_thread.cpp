#include "job_start.h"

HANDLE StartWriterThread(LPTHREAD_START_ROUTINE routine) {
    DWORD threadId = 0;
    return CreateThread(nullptr, 0, routine, nullptr, 0, &threadId);
}
