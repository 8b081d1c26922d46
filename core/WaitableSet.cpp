#include "WaitableSet.h"

#include <algorithm>

namespace kelvora_core {

CWaitableSet::CWaitableSet(CWaitable* const* members, uint32_t count)
    : m_members(members), m_handles{}, m_count(std::min(count, kMaxMembers)) {
    if (!m_members)
        m_count = 0;
    for (uint32_t i = 0; i < m_count; ++i)
        m_handles[i] = m_members[i] ? m_members[i]->getHandle() : nullptr;
}

WaitResult CWaitableSet::waitAny(uint32_t& index, uint32_t timeout) {
    const DWORD result = WaitForMultipleObjects(m_count, m_handles, FALSE, timeout);
    if (result == WAIT_TIMEOUT)
        return TimedOut;
    if (result < WAIT_OBJECT_0 + m_count) {
        index = result - WAIT_OBJECT_0;
        return Signaled;
    }
    if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + m_count) {
        // The platform granted the abandoned mutex; as this is reported as a
        // failure, give it back so that the caller does not keep it unknowingly.
        index = result - WAIT_ABANDONED_0;
        ReleaseMutex(m_handles[index]);
    }
    return Failed;
}

WaitResult CWaitableSet::waitAll(uint32_t timeout) {
    const DWORD result = WaitForMultipleObjects(m_count, m_handles, TRUE, timeout);
    switch (result) {
    case WAIT_ABANDONED_0:
        return Abandoned;
    case WAIT_TIMEOUT:
        return TimedOut;
    case WAIT_FAILED:
        return Failed;
    default:
        return Signaled;
    }
}

void CWaitableSet::releaseAll() {
    for (uint32_t i = 0; i < m_count; ++i) {
        if (m_members[i])
            m_members[i]->release();
    }
}

} // namespace kelvora_core
