#include "FailingAllocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<DWORD> g_failingThread{0};
}

namespace failing_allocations {

void failOnThread(DWORD threadId) {
    g_failingThread = threadId;
}

void stop() {
    g_failingThread = 0;
}

} // namespace failing_allocations

void* operator new(std::size_t size) {
    const DWORD failing = g_failingThread.load();
    if (failing != 0 && failing == GetCurrentThreadId())
        throw std::bad_alloc();
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
