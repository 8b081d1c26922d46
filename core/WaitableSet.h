#pragma once

#include "Waitable.h"

namespace kelvora_core {

// Waits on up to 64 waitables at once. The members' handles are copied at
// construction; the caller's array is neither copied nor owned.
class CWaitableSet {
public:
    static constexpr uint32_t kMaxMembers = MAXIMUM_WAIT_OBJECTS;

    CWaitableSet(CWaitable* const* members, uint32_t count);
    virtual ~CWaitableSet() = default;
    virtual WaitResult waitAny(uint32_t& index, uint32_t timeout);
    virtual WaitResult waitAll(uint32_t timeout);
    virtual void releaseAll();

private:
    CWaitable* const* m_members;
    HANDLE m_handles[kMaxMembers];
    uint32_t m_count;
};

} // namespace kelvora_core
