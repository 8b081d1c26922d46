#include "Sentry.h"

namespace kelvora_core {

namespace {
// An abandoned mutex is owned by the waiter all the same.
bool acquired(WaitResult result) {
    return result == Signaled || result == Abandoned;
}
} // namespace

CSentry::CSentry(CWaitable& waitable) : CSentry(waitable, INFINITE) {}

CSentry::CSentry(CWaitable& waitable, uint32_t timeout) : m_waitable(waitable) {
    if (acquired(m_waitable.wait(timeout)))
        m_count = 1;
}

CSentry::~CSentry() {
    if (m_count > 0 && m_waitable.release())
        --m_count;
}

WaitResult CSentry::wait(uint32_t timeout) {
    const WaitResult result = m_waitable.wait(timeout);
    if (acquired(result))
        ++m_count;
    return result;
}

bool CSentry::release() {
    if (m_count == 0 || !m_waitable.release())
        return false;
    --m_count;
    return true;
}

} // namespace kelvora_core
