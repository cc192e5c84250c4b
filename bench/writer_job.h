// Times one writer job the same way in both benchmark programs.
#pragma once

#include "job_state.h"
#include "platform.h"

#include <cstdint>
#include <string>

typedef WriterResult(WRITER_CALL* Writer)(void*);

// Runs writer on a fresh file "writer.bin" in folder for a job of size bytes
// and returns its seconds, from its start until it hands the file to be
// closed: sizing included, the close itself not. The close costs the same
// after a bare loop of writes, yet under Wine on ext4 it takes anywhere from
// 35 to 200 ms for a 256 MiB file, which would bury the writers' own cost in
// noise. Creating and removing the file stay outside the clock too. Returns
// -1 if the file cannot be created or the writer did not produce it whole.
double TimeWriterJob(Writer writer, CreationMode mode, int64_t size, const std::string& folder);
