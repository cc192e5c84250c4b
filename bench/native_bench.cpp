// Native benchmarks: each writer against a bare write() loop with the same
// block size and call count, run in pairs; the random block fill against one
// NextRandom() call per byte; SetSizeWriter against a bare ftruncate(). Files go to
// /dev/shm (or --folder=PATH) so the disk does not dominate. Run with
// --benchmark_repetitions and --benchmark_enable_random_interleaving to get
// interleaved repetitions and their medians (scripts/bench.sh does).
#include "bench_cases.h"
#include "job_state.h"
#include "patterns.h"
#include "random_algebra.h"
#include "test_files.h"
#include "writer_job.h"
#include "writers.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string folder;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The writer's write() calls with nothing around them, timed up to the
// close: the floor for a writer. Returns its seconds, or -1 on a failure.
double TimeBareWrite(uint32_t blockSize, int64_t size) {
    const std::string path = JoinPath(folder, "bare.bin");
    unsigned char block[kDataBlockSize];
    std::memset(block, 0, sizeof block);
    const int64_t calls = CallsFor(size, blockSize);
    const int file = CreateOutputFile(path);
    if (file < 0) return -1;
    bool ok = true;
    const auto start = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < calls && ok; ++i) ok = write(file, block, blockSize) == static_cast<ssize_t>(blockSize);
    const double seconds = SecondsSince(start);
    close(file);
    RemoveFile(path);
    return ok ? seconds : -1;
}

// One job per iteration, paired with a bare loop of the same write() calls
// that runs just before it in one pair and just after it in the next, so
// that both meet the machine alike. The job's time is the iteration's; the
// counters carry the loop's seconds (bare_s) and the pair's throughput ratio
// (vs_bare = loop seconds / job seconds), whose median over the repetitions
// is the writer's figure.
void RunWriterAgainstBare(benchmark::State& state, Writer writer, CreationMode mode, int64_t size, uint32_t blockSize) {
    static int pairs = 0;
    double bareTotal = 0;
    double ratioTotal = 0;
    for (auto _ : state) {
        const bool bareFirst = pairs++ % 2 == 0;
        double bare = bareFirst ? TimeBareWrite(blockSize, size) : 0;
        const double job = TimeWriterJob(writer, mode, size, folder);
        if (!bareFirst) bare = TimeBareWrite(blockSize, size);
        if (job < 0 || bare < 0) {
            state.SkipWithError(job < 0 ? "the writer did not produce the whole file" : "the bare write loop failed");
            break;
        }
        state.SetIterationTime(job);
        bareTotal += bare;
        ratioTotal += bare / job;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["bare_s"] = bareTotal / iterations;
    state.counters["vs_bare"] = ratioTotal / iterations;
    state.SetBytesProcessed(state.iterations() * size);
}

// SetSizeWriter writes nothing; it is set against ftruncate() on its own.
void RunSetSizeWriter(benchmark::State& state) {
    for (auto _ : state) {
        const double job = TimeWriterJob(SetSizeWriter, SetSizeOnly, kSetSizeFileSize, folder);
        if (job < 0) {
            state.SkipWithError("the writer did not give the file its length");
            break;
        }
        state.SetIterationTime(job);
    }
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
    RegisterBenchmark("ZeroWriter", RunWriterAgainstBare, ZeroWriter, ZeroFill, kDataFileSize, kDataBlockSize)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(ms);
    RegisterBenchmark("RandomWriter", RunWriterAgainstBare, RandomWriter, RandomFill, kDataFileSize, kDataBlockSize)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(ms);
    RegisterBenchmark("AsciiWriter", RunWriterAgainstBare, AsciiWriter, AsciiFill, kTextFileSize, kAsciiLineSize)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(ms);
    RegisterBenchmark("FillRandom", RunFillRandom)->MinTime(0.2);
    RegisterBenchmark("FillRandomPortable", RunFillRandomPortable)->MinTime(0.2);
    RegisterBenchmark("NextRandomPerByte", RunNextRandomPerByte)->MinTime(0.2);
    RegisterBenchmark("SetSizeWriter", RunSetSizeWriter)
        ->UseManualTime()
        ->Iterations(2000)
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("Ftruncate", RunFtruncate)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveDir(folder);
    return 0;
}
