#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kelvora_core {

// Outcome of every wait. Only Signaled counts as success.
enum WaitResult { Failed = 0, Signaled = 1, TimedOut = 2, Abandoned = 3 };

// Maps a single-object platform wait result onto WaitResult.
WaitResult toWaitResult(DWORD platformResult);

// Base of every object that can be waited on. Owns its kernel handle.
class CWaitable {
public:
    virtual ~CWaitable();
    virtual WaitResult wait(uint32_t timeout);
    // Holds its place in the family's object layout; answers true.
    virtual bool reserved(uint32_t, uint32_t) { return true; }
    virtual bool release() = 0;
    virtual bool setLowIntegrity();

    HANDLE getHandle() const { return m_handle; }
    const std::string& getName() const { return m_name; }

    CWaitable(const CWaitable&) = delete;
    CWaitable& operator=(const CWaitable&) = delete;

protected:
    explicit CWaitable(const char* name);

    HANDLE m_handle = nullptr;
    std::string m_name;
};

// Recursive kernel mutex, not owned at creation.
class CMutex : public CWaitable {
public:
    explicit CMutex(const char* name = nullptr, LPSECURITY_ATTRIBUTES attributes = nullptr);
    ~CMutex() override;
    bool release() override;
};

// Auto-reset event, not signalled at creation.
class CEvent : public CWaitable {
public:
    explicit CEvent(const char* name = nullptr, LPSECURITY_ATTRIBUTES attributes = nullptr);
    bool release() override;
    bool set();
    bool reset();

protected:
    CEvent(const char* name, bool manualReset, LPSECURITY_ATTRIBUTES attributes);
};

// Unnamed manual-reset event, not signalled at creation.
class CManualResetEvent : public CEvent {
public:
    CManualResetEvent();
};

} // namespace kelvora_core
