// POSIX implementation of the shared system calls.
#include "system.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>

std::string SystemErrorText(SystemError error) { return std::strerror(error); }

double MonotonicSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int64_t CalendarSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

namespace {

void* RunThreadBody(void* body) {
    std::function<void()>* call = static_cast<std::function<void()>*>(body);
    (*call)();
    delete call;
    return nullptr;
}

}  // namespace

bool StartThread(std::function<void()> body, SystemThread* thread) {
    auto* call = new std::function<void()>(std::move(body));
    // The new thread inherits the mask: with every signal blocked there, each
    // goes to a thread that watches it, whose blocking calls it must end.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_t id;
    const bool started = pthread_create(&id, nullptr, RunThreadBody, call) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!started) {
        delete call;
        return false;
    }
    thread->native = static_cast<uintptr_t>(id);
    return true;
}

void JoinThread(SystemThread& thread) { pthread_join(static_cast<pthread_t>(thread.native), nullptr); }

unsigned char* AllocatePresentMemory(size_t bytes) {
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_POPULATE)
    flags |= MAP_POPULATE;
#endif
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
    return memory == MAP_FAILED ? nullptr : static_cast<unsigned char*>(memory);
}

void FreePresentMemory(unsigned char* memory, size_t bytes) { munmap(memory, bytes); }

// read() and write() take any count up to SSIZE_MAX (and move what they can).
const size_t kLargestIoCount = SSIZE_MAX;
