#include "writer_job.h"

#include "test_files.h"

#include <chrono>

namespace {

// When the writer being timed handed its file to be closed.
std::chrono::steady_clock::time_point closeAsked;

void CloseTimed(FileHandle file) {
    closeAsked = std::chrono::steady_clock::now();
    platformFileOps.closeFile(file);
}

}  // namespace

double TimeWriterJob(Writer writer, CreationMode mode, int64_t size, const std::string& folder) {
    const std::string path = JoinPath(folder, "writer.bin");
    ResetJobState();
    JobState.targetSize = size;
    JobState.mode = mode;
    JobState.outputFile = CreateOutputFile(path);
    if (JobState.outputFile == kNoFile) return -1;
    fileOps.closeFile = CloseTimed;
    const auto start = std::chrono::steady_clock::now();
    writer(nullptr);
    const double seconds = std::chrono::duration<double>(closeAsked - start).count();
    fileOps.closeFile = platformFileOps.closeFile;
    const bool complete = JobState.finished.load() == 1 && FileLength(path) == size;
    RemoveFile(path);
    return complete ? seconds : -1;
}
