// Windows benchmarks, run under Wine by scripts/bench.sh: the same cases as
// native_bench.cpp, timed with QueryPerformanceCounter. Each repetition runs
// every case once, each right next to a run of its baseline, the pair's order
// swapped every repetition, so slow spells on a shared machine hit both
// alike. Prints the medians as "median NAME SECONDS UNITS UNIT-NAME" lines,
// and for each case with a baseline the median over the pairs of its
// throughput ratio to that baseline as "pair-ratio NAME RATIO".
//   engine_bench.exe [FOLDER [REPETITIONS]]   (FOLDER defaults to the current one)
#include "bench_cases.h"
#include "job_state.h"
#include "patterns.h"
#include "random_algebra.h"
#include "test_files.h"
#include "writer_job.h"
#include "writers.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string folder = ".";
double ticksPerSecond = 1.0;

double Seconds() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerSecond;
}

void Fail(const char* what) {
    std::fprintf(stderr, "engine_bench: %s (error %lu)\n", what, static_cast<unsigned long>(GetLastError()));
    std::exit(1);
}

// One whole job (see TimeWriterJob); the bench stops on a failure.
double TimeWriter(Writer writer, CreationMode mode, int64_t size) {
    const double seconds = TimeWriterJob(writer, mode, size, folder);
    if (seconds < 0) Fail("the writer's file could not be made, or is not whole");
    return seconds;
}

// The same WriteFile calls with nothing around them, timed up to the close.
double TimeBareWrite(uint32_t blockSize, int64_t size) {
    const std::string path = JoinPath(folder, "bare.bin");
    unsigned char block[kDataBlockSize];
    std::memset(block, 0, sizeof block);
    const int64_t calls = CallsFor(size, blockSize);
    HANDLE file = CreateOutputFile(path);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot create the output file");
    const double start = Seconds();
    for (int64_t i = 0; i < calls; ++i) {
        DWORD written = 0;
        if (!WriteFile(file, block, blockSize, &written, nullptr)) Fail("WriteFile failed");
    }
    const double seconds = Seconds() - start;
    CloseHandle(file);
    RemoveFile(path);
    return seconds;
}

const int kFillCalls = 16384;  // 16 MiB per sample
volatile unsigned char fillSink;

double TimeFillRandom() {
    unsigned char block[kFillBytes];
    SeedRandom(1700000000u);
    const double start = Seconds();
    for (int i = 0; i < kFillCalls; ++i) {
        FillRandom(block, sizeof block);
        fillSink = block[i % kFillBytes];
    }
    return Seconds() - start;
}

double TimeFillRandomPortable() {
    unsigned char block[kFillBytes];
    uint32_t generator = 1700000000u;
    const double start = Seconds();
    for (int i = 0; i < kFillCalls; ++i) {
        generator = FillRandomPortable(block, sizeof block, generator);
        fillSink = block[i % kFillBytes];
    }
    return Seconds() - start;
}

// The fill as one NextRandom() call per byte, low 8 bits kept.
double TimeNextRandomPerByte() {
    unsigned char block[kFillBytes];
    SeedRandom(1700000000u);
    const double start = Seconds();
    for (int i = 0; i < kFillCalls; ++i) {
        for (unsigned char& byte : block) byte = static_cast<unsigned char>(NextRandom());
        fillSink = block[i % kFillBytes];
    }
    return Seconds() - start;
}

const int kSizeCalls = 200;

double TimeSetSizeWriter() {
    double total = 0;
    for (int i = 0; i < kSizeCalls; ++i) total += TimeWriter(SetSizeWriter, SetSizeOnly, kSetSizeFileSize);
    return total;
}

// SetEndOfFile alone, the file position already at the size (outside the clock).
double TimeSetEndOfFile() {
    const std::string path = JoinPath(folder, "size.bin");
    double total = 0;
    for (int i = 0; i < kSizeCalls; ++i) {
        HANDLE file = CreateOutputFile(path);
        if (file == INVALID_HANDLE_VALUE) Fail("cannot create the output file");
        LARGE_INTEGER distance;
        distance.QuadPart = kSetSizeFileSize;
        if (!SetFilePointerEx(file, distance, nullptr, FILE_BEGIN)) Fail("SetFilePointerEx failed");
        const double start = Seconds();
        const BOOL ok = SetEndOfFile(file);
        total += Seconds() - start;
        CloseHandle(file);
        if (!ok) Fail("SetEndOfFile failed");
        RemoveFile(path);
    }
    return total;
}

struct Case {
    const char* name;
    double units;  // bytes (or calls) per sample
    const char* unitName;
    std::vector<double> samples;
    std::vector<double> ratios;  // per pair: baseline seconds per unit / ours
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) folder = argv[1];
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 7;
    if (repetitions < 1) {
        std::fprintf(stderr, "usage: engine_bench.exe [FOLDER [REPETITIONS]]\n");
        return 2;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    ticksPerSecond = static_cast<double>(frequency.QuadPart);

    enum { kZero, kRandom, kBare1024, kAscii, kBare64, kFill, kFillPortable, kPerByte, kSetSize, kSetEnd, kCases };
    Case cases[kCases] = {
        {"ZeroWriter", static_cast<double>(kDataFileSize), "bytes", {}, {}},
        {"RandomWriter", static_cast<double>(kDataFileSize), "bytes", {}, {}},
        {"BareWrite1024", static_cast<double>(kDataFileSize), "bytes", {}, {}},
        {"AsciiWriter", static_cast<double>(kTextFileSize), "bytes", {}, {}},
        {"BareWrite64", static_cast<double>(kTextFileSize), "bytes", {}, {}},
        {"FillRandom", static_cast<double>(kFillCalls) * kFillBytes, "bytes", {}, {}},
        {"FillRandomPortable", static_cast<double>(kFillCalls) * kFillBytes, "bytes", {}, {}},
        {"NextRandomPerByte", static_cast<double>(kFillCalls) * kFillBytes, "bytes", {}, {}},
        {"SetSizeWriter", kSizeCalls, "calls", {}, {}},
        {"SetEndOfFile", kSizeCalls, "calls", {}, {}},
    };
    // Each case runs right next to its baseline, the pair's order swapped
    // every repetition, so both find the machine (and the file system's free
    // pages) in the same state.
    auto pair = [](int rep, Case& ours, double (*runOurs)(), Case& base, double (*runBase)()) {
        const bool oursFirst = rep % 2 == 0;
        if (oursFirst) ours.samples.push_back(runOurs());
        base.samples.push_back(runBase());
        if (!oursFirst) ours.samples.push_back(runOurs());
        const double baseRate = base.samples.back() / base.units;
        ours.ratios.push_back(baseRate / (ours.samples.back() / ours.units));
        std::fprintf(stderr, "  %s %.6f s, %s %.6f s, ratio %.3f\n", ours.name, ours.samples.back(), base.name,
                     base.samples.back(), ours.ratios.back());
    };
    // One uncounted round first, so that the counted ones all find the
    // memory of the file cache already in use rather than some fresh.
    std::fprintf(stderr, "warm-up round\n");
    TimeWriter(ZeroWriter, ZeroFill, kDataFileSize);
    TimeWriter(RandomWriter, RandomFill, kDataFileSize);
    TimeBareWrite(kDataBlockSize, kDataFileSize);
    TimeWriter(AsciiWriter, AsciiFill, kTextFileSize);
    for (int rep = 0; rep < repetitions; ++rep) {
        std::fprintf(stderr, "repetition %d of %d\n", rep + 1, repetitions);
        pair(
            rep, cases[kZero], [] { return TimeWriter(ZeroWriter, ZeroFill, kDataFileSize); }, cases[kBare1024],
            [] { return TimeBareWrite(kDataBlockSize, kDataFileSize); });
        pair(
            rep, cases[kRandom], [] { return TimeWriter(RandomWriter, RandomFill, kDataFileSize); }, cases[kBare1024],
            [] { return TimeBareWrite(kDataBlockSize, kDataFileSize); });
        pair(
            rep, cases[kAscii], [] { return TimeWriter(AsciiWriter, AsciiFill, kTextFileSize); }, cases[kBare64],
            [] { return TimeBareWrite(kAsciiLineSize, kTextFileSize); });
        pair(rep, cases[kFill], TimeFillRandom, cases[kPerByte], TimeNextRandomPerByte);
        pair(rep, cases[kFillPortable], TimeFillRandomPortable, cases[kPerByte], TimeNextRandomPerByte);
    }
    // The length cases create and delete hundreds of files, which leaves some
    // file systems busy for a while after; they run last, away from the writers.
    for (int rep = 0; rep < repetitions; ++rep)
        pair(rep, cases[kSetSize], TimeSetSizeWriter, cases[kSetEnd], TimeSetEndOfFile);
    for (const Case& c : cases) {
        std::printf("median %s %.9g %.0f %s\n", c.name, Median(c.samples), c.units, c.unitName);
        if (!c.ratios.empty()) std::printf("pair-ratio %s %.6f\n", c.name, Median(c.ratios));
    }
    return 0;
}
