#include "CriticalSection.h"

#include <algorithm>

namespace kelvora_core {

namespace {
constexpr uint32_t kPollSleepMs = 20;
}

CCriticalSection::CCriticalSection() : CWaitable(nullptr) {
    InitializeCriticalSection(&m_section);
}

CCriticalSection::~CCriticalSection() {
    DeleteCriticalSection(&m_section);
}

bool CCriticalSection::tryEnter() {
    return TryEnterCriticalSection(&m_section) != FALSE;
}

WaitResult CCriticalSection::lock() {
    EnterCriticalSection(&m_section);
    ++m_lockCount;
    return Signaled;
}

// The platform has no timed entry: poll with sleeps of at most 20 ms.
WaitResult CCriticalSection::wait(uint32_t timeout) {
    if (timeout == INFINITE)
        return lock();
    bool entered = tryEnter();
    if (!entered) {
        const DWORD start = GetTickCount();
        uint32_t budget = timeout;
        for (;;) {
            if (GetTickCount() - start >= timeout)
                break;
            if ((entered = tryEnter()))
                break;
            Sleep(std::min(budget, kPollSleepMs));
            budget = budget > kPollSleepMs ? budget - kPollSleepMs : 0;
        }
    }
    if (!entered)
        return Failed;
    ++m_lockCount;
    return Signaled;
}

// Leaving a section the caller does not hold would corrupt it: refuse.
bool CCriticalSection::release() {
    if (!heldByCaller())
        return false;
    if (m_lockCount > 0)
        --m_lockCount;
    LeaveCriticalSection(&m_section);
    return true;
}

bool CCriticalSection::heldByCaller() const {
    const auto owner = reinterpret_cast<ULONG_PTR>(m_section.OwningThread);
    return owner == GetCurrentThreadId();
}

} // namespace kelvora_core
