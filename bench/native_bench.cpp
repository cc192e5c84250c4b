// Native benchmarks: each writer against a bare write() loop with the same
// block size and call count, the random block fill against one NextRandom()
// call per byte, and SetSizeWriter against a bare ftruncate(). Files go to
// /dev/shm (or --folder=PATH) so the disk does not dominate. Run with
// --benchmark_repetitions and --benchmark_enable_random_interleaving to get
// interleaved repetitions and their medians (scripts/bench.sh does).
#include "bench_cases.h"
#include "job_state.h"
#include "patterns.h"
#include "random_fill.h"
#include "test_files.h"
#include "writers.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

typedef WriterResult(WRITER_CALL* Writer)(void*);

std::string folder;


double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One whole job per iteration, timed from the writer's start to its return
// (which includes sizing and closing the file); creating and removing the
// file stay outside the clock, as they are outside the writer.
void RunWriter(benchmark::State& state, Writer writer, CreationMode mode, int64_t size) {
    const std::string path = JoinPath(folder, "writer.bin");
    for (auto _ : state) {
        ResetJobState();
        JobState.targetSize = size;
        JobState.mode = mode;
        JobState.outputFile = CreateOutputFile(path);
        if (JobState.outputFile == kNoFile) {
            state.SkipWithError("cannot create the output file");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        writer(nullptr);
        state.SetIterationTime(SecondsSince(start));
        const bool complete = JobState.finished.load() == 1 && FileLength(path) == size;
        RemoveFile(path);
        if (!complete) {
            state.SkipWithError("the writer did not produce the whole file");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * size);
}

// The same write() calls with nothing around them: the floor for a writer.
void RunBareWrite(benchmark::State& state, uint32_t blockSize, int64_t size) {
    const std::string path = JoinPath(folder, "bare.bin");
    unsigned char block[kDataBlockSize];
    std::memset(block, 0, sizeof block);
    const int64_t calls = CallsFor(size, blockSize);
    for (auto _ : state) {
        const int file = CreateOutputFile(path);
        if (file < 0) {
            state.SkipWithError("cannot create the output file");
            break;
        }
        bool ok = true;
        const auto start = std::chrono::steady_clock::now();
        for (int64_t i = 0; i < calls && ok; ++i) ok = write(file, block, blockSize) == static_cast<ssize_t>(blockSize);
        close(file);
        state.SetIterationTime(SecondsSince(start));
        RemoveFile(path);
        if (!ok) {
            state.SkipWithError("write() failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * size);
}

void RunFillRandom(benchmark::State& state) {
    unsigned char block[kFillBytes];
    SeedRandom(1700000000u);
    for (auto _ : state) {
        FillRandom(block, sizeof block);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFillBytes);
}

void RunFillRandomPortable(benchmark::State& state) {
    unsigned char block[kFillBytes];
    uint32_t generator = 1700000000u;
    for (auto _ : state) {
        generator = FillRandomPortable(block, sizeof block, generator);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFillBytes);
}

// The fill as one NextRandom() call per byte, low 8 bits kept.
void RunNextRandomPerByte(benchmark::State& state) {
    unsigned char block[kFillBytes];
    SeedRandom(1700000000u);
    for (auto _ : state) {
        for (unsigned char& byte : block) byte = static_cast<unsigned char>(NextRandom());
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFillBytes);
}

// ftruncate() alone: the one call that gives a file its length.
void RunFtruncate(benchmark::State& state) {
    const std::string path = JoinPath(folder, "size.bin");
    for (auto _ : state) {
        const int file = CreateOutputFile(path);
        if (file < 0) {
            state.SkipWithError("cannot create the output file");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        const bool ok = ftruncate(file, static_cast<off_t>(kSetSizeFileSize)) == 0;
        state.SetIterationTime(SecondsSince(start));
        close(file);
        RemoveFile(path);
        if (!ok) {
            state.SkipWithError("ftruncate() failed");
            break;
        }
    }
}

std::string MakeFolder(const std::string& parent) {
    std::string pattern = parent + "/fillwright-bench-XXXXXX";
    return mkdtemp(&pattern[0]) ? pattern : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--folder=", 9) == 0) {
            parent = argv[i] + 9;
        } else {
            std::fprintf(stderr, "unknown argument: %s\n", argv[i]);
            return 2;
        }
    }
    folder = MakeFolder(parent);
    if (folder.empty()) {
        std::fprintf(stderr, "cannot make a folder in %s\n", parent.c_str());
        return 1;
    }
    std::fprintf(stderr, "files go to %s\n", folder.c_str());

    using benchmark::RegisterBenchmark;
    const benchmark::TimeUnit ms = benchmark::kMillisecond;
    RegisterBenchmark("ZeroWriter", RunWriter, ZeroWriter, ZeroFill, kDataFileSize)->UseManualTime()->Iterations(1)->Unit(ms);
    RegisterBenchmark("RandomWriter", RunWriter, RandomWriter, RandomFill, kDataFileSize)->UseManualTime()->Iterations(1)->Unit(ms);
    RegisterBenchmark("BareWrite1024", RunBareWrite, kDataBlockSize, kDataFileSize)->UseManualTime()->Iterations(1)->Unit(ms);
    RegisterBenchmark("AsciiWriter", RunWriter, AsciiWriter, AsciiFill, kTextFileSize)->UseManualTime()->Iterations(1)->Unit(ms);
    RegisterBenchmark("BareWrite64", RunBareWrite, kAsciiLineSize, kTextFileSize)->UseManualTime()->Iterations(1)->Unit(ms);
    RegisterBenchmark("FillRandom", RunFillRandom)->MinTime(0.2);
    RegisterBenchmark("FillRandomPortable", RunFillRandomPortable)->MinTime(0.2);
    RegisterBenchmark("NextRandomPerByte", RunNextRandomPerByte)->MinTime(0.2);
    RegisterBenchmark("SetSizeWriter", RunWriter, SetSizeWriter, SetSizeOnly, kSetSizeFileSize)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("Ftruncate", RunFtruncate)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveDir(folder);
    return 0;
}
