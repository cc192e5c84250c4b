// What the Save button does: check the request, ask for the file, create it,
// launch the writer and start the progress poll.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// True when a writer runs and the progress timer has started; false when the
// request was refused (and reported) and nothing was started.
bool StartJob(HWND dialog);

// Starts routine on a new thread; null on failure. Kept apart from job start
// so that a test build can make it fail.
HANDLE StartWriterThread(LPTHREAD_START_ROUTINE routine);
