#include "Thread.h"

#include <process.h>

namespace kelvora_core {

namespace {
constexpr unsigned kExitFailure = 0xFFFFFFFF;
constexpr DWORD kCancelledStartWaitMs = 5000;
} // namespace

CThread::CThread(const char* name) : CWaitable(name) {
    unsigned id = 0;
    const uintptr_t handle =
        _beginthreadex(nullptr, 0, &CThread::threadProc, this, CREATE_SUSPENDED, &id);
    m_handle = reinterpret_cast<HANDLE>(handle);
    if (m_handle)
        m_threadId = id;
}

CThread::~CThread() {
    if (!m_handle)
        return;
    // A thread that deletes its own object (m_deleteOnExit) must not end
    // itself here: it still has to return through the thread procedure.
    const bool ownThread = GetCurrentThreadId() == m_threadId;
    if (!ownThread && !m_resumed)
        endNeverResumedThread();
    if (!ownThread && WaitForSingleObject(m_handle, 0) != WAIT_OBJECT_0)
        TerminateThread(m_handle, kExitFailure);
    CloseHandle(m_handle);
    m_handle = nullptr;
}

void CThread::resume() {
    if (!m_handle)
        return;
    m_resumed = true;
    ResumeThread(m_handle);
}

// The thread sees the cancel mark first and ends with the failure code
// without calling run().
void CThread::endNeverResumedThread() {
    m_cancelled = true;
    ResumeThread(m_handle);
    WaitForSingleObject(m_handle, kCancelledStartWaitMs);
}

unsigned CThread::runBody(CThread* self) {
    if (self->m_cancelled)
        return kExitFailure;
    const bool deleteOnExit = self->m_deleteOnExit;
    try {
        self->run();
    } catch (...) {
        return kExitFailure;
    }
    if (deleteOnExit) {
        try {
            delete self;
        } catch (...) {
        }
    }
    return 0;
}

unsigned __stdcall CThread::threadProc(void* self) {
    const unsigned code = self ? runBody(static_cast<CThread*>(self)) : kExitFailure;
    _endthreadex(code);
    return code;
}

} // namespace kelvora_core
