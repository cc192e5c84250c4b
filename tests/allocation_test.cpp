// The writers fill their files from stack blocks: a running writer must not
// touch the heap. Every global operator new (and, on glibc, every malloc
// family call) is counted while the flag of the counting thread is up. This
// replaces the process-wide allocator, so it is a program of its own.
#include "job_state.h"
#include "test_files.h"
#include "writers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#ifdef _WIN32
#include <malloc.h>  // _aligned_malloc
#endif

namespace {

// Kept apart: natively a counted operator new also makes a counted malloc.
std::atomic<long> newCalls{0};
std::atomic<long> mallocCalls{0};
thread_local bool countOnThisThread = false;

void Note(std::atomic<long>& counter) {
    if (countOnThisThread) counter.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

// ---- the C allocator, natively: glibc's own entry points stay reachable ----
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define FILLWRIGHT_COUNTS_MALLOC 1
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) noexcept {
    Note(mallocCalls);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
    Note(mallocCalls);
    return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) noexcept {
    Note(mallocCalls);
    return __libc_realloc(block, size);
}
void* memalign(size_t alignment, size_t size) noexcept {
    Note(mallocCalls);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
    Note(mallocCalls);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, size_t alignment, size_t size) noexcept {
    Note(mallocCalls);
    void* block = __libc_memalign(alignment, size);
    if (!block) return 12;  // ENOMEM
    *result = block;
    return 0;
}
void free(void* block) noexcept { __libc_free(block); }
}
#else
#define FILLWRIGHT_COUNTS_MALLOC 0
#endif

// ---- every replaceable global operator new and its matching deletes ----
namespace {

void* CountedNew(size_t size) {
    Note(newCalls);
    void* block = std::malloc(size ? size : 1);
    if (!block) std::abort();  // this program has no use for bad_alloc
    return block;
}

void* CountedAlignedNew(size_t size, std::align_val_t alignment) {
    Note(newCalls);
    const size_t align = static_cast<size_t>(alignment);
    if (size == 0) size = 1;
#ifdef _WIN32
    void* block = _aligned_malloc(size, align);
#else
    size = (size + align - 1) / align * align;  // aligned_alloc wants a multiple
    void* block = std::aligned_alloc(align, size);
#endif
    if (!block) std::abort();
    return block;
}

void AlignedFree(void* block) {
#ifdef _WIN32
    _aligned_free(block);
#else
    std::free(block);
#endif
}

}  // namespace

void* operator new(size_t size) { return CountedNew(size); }
void* operator new[](size_t size) { return CountedNew(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return CountedNew(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return CountedNew(size); }
void* operator new(size_t size, std::align_val_t a) { return CountedAlignedNew(size, a); }
void* operator new[](size_t size, std::align_val_t a) { return CountedAlignedNew(size, a); }
void* operator new(size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return CountedAlignedNew(size, a);
}
void* operator new[](size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return CountedAlignedNew(size, a);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { AlignedFree(block); }
void operator delete[](void* block, std::align_val_t) noexcept { AlignedFree(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { AlignedFree(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { AlignedFree(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { AlignedFree(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { AlignedFree(block); }

namespace {

typedef WriterResult(WRITER_CALL* Writer)(void*);

struct Counts {
    long newCalls;
    long mallocCalls;
};

// Runs body on a thread of its own, as the dialog runs a writer, counting only
// what that thread allocates from the moment body starts until it returns.
template <typename Body>
Counts AllocationsOnWriterThread(Body body) {
    newCalls.store(0);
    mallocCalls.store(0);
    std::thread worker([&body] {
        countOnThisThread = true;
        body();
        countOnThisThread = false;
    });
    worker.join();
    return {newCalls.load(), mallocCalls.load()};
}

// volatile keeps the compiler from pairing away a new with its delete.
void* volatile keepAlive = nullptr;

// The counter itself must see allocations, or a zero below would prove nothing.
TEST(AllocationCounter, SeesOperatorNewOnTheCountingThread) {
    const Counts single = AllocationsOnWriterThread([] {
        keepAlive = new int(7);
        delete static_cast<int*>(keepAlive);
    });
    EXPECT_EQ(single.newCalls, 1);
    const Counts array = AllocationsOnWriterThread([] {
        keepAlive = new std::max_align_t[3];
        delete[] static_cast<std::max_align_t*>(keepAlive);
    });
    EXPECT_EQ(array.newCalls, 1);
    struct alignas(64) Wide {
        unsigned char bytes[64];
    };
    const Counts aligned = AllocationsOnWriterThread([] {
        keepAlive = new Wide();
        delete static_cast<Wide*>(keepAlive);
    });
    EXPECT_EQ(aligned.newCalls, 1);
}

TEST(AllocationCounter, SeesMallocWhereItCanBeCounted) {
#if FILLWRIGHT_COUNTS_MALLOC
    const Counts counted = AllocationsOnWriterThread([] {
        keepAlive = std::malloc(100);
        std::free(keepAlive);
    });
    EXPECT_EQ(counted.mallocCalls, 1);
    EXPECT_EQ(counted.newCalls, 0);
#else
    GTEST_SKIP() << "the C allocator is not replaced on this platform; operator new still is";
#endif
}

TEST(AllocationCounter, IgnoresOtherThreads) {
    newCalls.store(0);
    mallocCalls.store(0);
    keepAlive = new int(1);  // this thread is not counting
    delete static_cast<int*>(keepAlive);
    EXPECT_EQ(newCalls.load(), 0);
    EXPECT_EQ(mallocCalls.load(), 0);
}

struct WriterCase {
    const char* name;
    Writer writer;
    CreationMode mode;
};

void PrintTo(const WriterCase& c, std::ostream* out) { *out << c.name; }

using WriterAllocations = testing::TestWithParam<WriterCase>;

TEST_P(WriterAllocations, NoneWhileTheWriterRuns) {
    const WriterCase c = GetParam();
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string path = JoinPath(dir, "out.bin");
    const int64_t size = (4 << 20) + 100;  // thousands of blocks and a cut last one

    ResetJobState();
    JobState.targetSize = size;
    JobState.mode = c.mode;
    JobState.outputFile = CreateOutputFile(path);
    ASSERT_NE(JobState.outputFile, kNoFile);
    const Counts counted = AllocationsOnWriterThread([&c] { c.writer(nullptr); });

    EXPECT_EQ(counted.newCalls, 0) << c.name << " called operator new";
    EXPECT_EQ(counted.mallocCalls, 0) << c.name << " called the C allocator";
    // The writer really ran its whole job.
    EXPECT_EQ(JobState.finished.load(), 1);
    EXPECT_EQ(JobState.outputFile, kNoFile);
    EXPECT_EQ(FileLength(path), size);
    RemoveFile(path);
    RemoveDir(dir);
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, WriterAllocations,
                         testing::Values(WriterCase{"ZeroWriter", ZeroWriter, ZeroFill},
                                         WriterCase{"RandomWriter", RandomWriter, RandomFill},
                                         WriterCase{"AsciiWriter", AsciiWriter, AsciiFill},
                                         WriterCase{"SetSizeWriter", SetSizeWriter, SetSizeOnly}),
                         [](const testing::TestParamInfo<WriterCase>& param) { return std::string(param.param.name); });

}  // namespace
