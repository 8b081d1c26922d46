#include "Waitable.h"

#include "Utilities.h"

namespace kelvora_core {

namespace {

const char* nameOrNull(const char* name) {
    return (name && *name) ? name : nullptr;
}

// Creating an object that exists asks for all access, which the family's
// shared objects refuse: they are opened with what they grant everyone
// (getSharedObjectSecurityAttributes).
constexpr DWORD kMutexFallbackAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE; // 0x100001
constexpr DWORD kEventFallbackAccess = SYNCHRONIZE | EVENT_MODIFY_STATE; // 0x100002
constexpr DWORD kEventWaitOnlyAccess = SYNCHRONIZE;                      // 0x100000

} // namespace

WaitResult toWaitResult(DWORD platformResult) {
    switch (platformResult) {
    case WAIT_OBJECT_0:
        return Signaled;
    case WAIT_ABANDONED:
        return Abandoned;
    case WAIT_TIMEOUT:
        return TimedOut;
    default:
        return Failed;
    }
}

CWaitable::CWaitable(const char* name) : m_name(name ? name : "") {}

CWaitable::~CWaitable() {
    if (m_handle)
        CloseHandle(m_handle);
}

WaitResult CWaitable::wait(uint32_t timeout) {
    if (!m_handle)
        return Failed;
    return toWaitResult(WaitForSingleObject(m_handle, timeout));
}

bool CWaitable::setLowIntegrity() {
    return m_handle && SetObjectToLowIntegrity(m_handle, SE_KERNEL_OBJECT);
}

CMutex::CMutex(const char* name, LPSECURITY_ATTRIBUTES attributes) : CWaitable(name) {
    const char* platformName = nameOrNull(name);
    m_handle = CreateMutexA(attributes, FALSE, platformName);
    if (!m_handle && platformName && GetLastError() == ERROR_ACCESS_DENIED)
        m_handle = OpenMutexA(kMutexFallbackAccess, FALSE, platformName);
}

CMutex::~CMutex() {
    // Gives up every level of ownership the destroying thread holds.
    while (m_handle && ReleaseMutex(m_handle)) {
    }
}

bool CMutex::release() {
    return m_handle && ReleaseMutex(m_handle);
}

CEvent::CEvent(const char* name, LPSECURITY_ATTRIBUTES attributes)
    : CEvent(name, false, attributes) {}

CEvent::CEvent(const char* name, bool manualReset, LPSECURITY_ATTRIBUTES attributes)
    : CWaitable(name) {
    const char* platformName = nameOrNull(name);
    m_handle = CreateEventA(attributes, manualReset, FALSE, platformName);
    if (m_handle || !platformName || GetLastError() != ERROR_ACCESS_DENIED)
        return;
    m_handle = OpenEventA(kEventFallbackAccess, FALSE, platformName);
    if (!m_handle && GetLastError() == ERROR_ACCESS_DENIED)
        m_handle = OpenEventA(kEventWaitOnlyAccess, FALSE, platformName);
}

bool CEvent::release() {
    return reset();
}

bool CEvent::set() {
    return m_handle && SetEvent(m_handle);
}

bool CEvent::reset() {
    return m_handle && ResetEvent(m_handle);
}

CManualResetEvent::CManualResetEvent() : CEvent(nullptr, true, nullptr) {}

} // namespace kelvora_core
