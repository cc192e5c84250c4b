// The writer thread routines, one per creation mode, and the final-size step.
// Each takes everything from JobState, fills outputFile, gives it exactly
// targetSize bytes, closes it and raises finished as its very last action.
#pragma once

#include "job_state.h"
#include "platform.h"

// Shows a failure to the user and returns once it has been acknowledged; the
// writer waits for it. The front end points this at its message box.
typedef void (*FailureReporter)(const char* text, const char* caption);
extern FailureReporter reportFailure;

WriterResult WRITER_CALL ZeroWriter(void* unused);
WriterResult WRITER_CALL RandomWriter(void* unused);
WriterResult WRITER_CALL AsciiWriter(void* unused);
WriterResult WRITER_CALL SetSizeWriter(void* unused);

// Sets the length of file to JobState.targetSize, reporting its own failures.
void ApplyFinalSize(FileHandle file);

// The writer of each creation mode: the one map from mode to routine, for the
// dialog and the tests alike. Any other value gets the zero writer.
typedef WriterResult(WRITER_CALL* WriterRoutine)(void* unused);
WriterRoutine WriterFor(CreationMode mode);
