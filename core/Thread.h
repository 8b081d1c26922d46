#pragma once

#include "Waitable.h"

#include <atomic>

namespace kelvora_core {

// Base of worker threads. The thread is created suspended; a subclass builds
// its own members and then calls resume(). Waiting on the object waits for
// the thread to end.
class CThread : public CWaitable {
public:
    explicit CThread(const char* name = nullptr);
    ~CThread() override;
    bool release() override { return true; }
    virtual void resume();
    virtual uint32_t getThreadId() const { return m_threadId; }
    virtual void run() {}

protected:
    // Whether resume() let the thread run.
    bool wasResumed() const { return m_resumed; }

    uint32_t m_threadId = 0;
    bool m_deleteOnExit = false;

private:
    void endNeverResumedThread();
    static unsigned __stdcall threadProc(void* self);

    // A thread that was never resumed is let go with a cancel mark rather
    // than terminated: terminating a thread that has not started yet is
    // unreliable on some platforms.
    std::atomic<bool> m_resumed{false};
    std::atomic<bool> m_cancelled{false};
    static unsigned runBody(CThread* self);
};

} // namespace kelvora_core
