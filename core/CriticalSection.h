#pragma once

#include "Waitable.h"

namespace kelvora_core {

// In-process recursive lock with a polled timed wait. Has no kernel handle.
class CCriticalSection : public CWaitable {
public:
    CCriticalSection();
    ~CCriticalSection() override;
    WaitResult wait(uint32_t timeout) override;
    bool release() override;
    virtual WaitResult lock();

private:
    bool tryEnter();
    bool heldByCaller() const;

    CRITICAL_SECTION m_section;
    uint32_t m_lockCount = 0;
};

} // namespace kelvora_core
