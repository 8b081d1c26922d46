#include "DiagEventLog.h"

#include "CriticalSection.h"
#include "DiagData.h"
#include "DiagEventLogObserverSlot.h"
#include "DiagEventRecorderThread.h"
#include "DiagLine.h"
#include "Sentry.h"
#include "Utilities.h"

namespace kelvora_core {

namespace {

constexpr DWORD kRecorderWaitMs = 2000;
// The longest a removal waits for the observer's call in progress. A call
// that lasts longer is taken to wait for the remover itself (an observer
// that hands its work to the thread that now removes it).
constexpr DWORD kObserverCallWaitMs = 2000;

CDiagEventRecorderThread* s_recorder = nullptr;

// The observer slot, and the call in progress: its lock is held only to
// read or change these, never across a call.
struct ObserverSlot {
    DiagEventLogObserver* observer = nullptr;
    bool calling = false;
    DWORD callingThread = 0;
    uint32_t calls = 0;   // tells one call from the next
    uint32_t waiting = 0; // removals waiting for the call to end
};
ObserverSlot s_slot;

// The locks and the event are never destroyed: a recorder may still run
// while the process's static objects are torn down.
// Orders starts and ends of logging from several threads.
CCriticalSection& recorderLock() {
    static CCriticalSection* lock = new CCriticalSection();
    return *lock;
}

CCriticalSection& observerLock() {
    static CCriticalSection* lock = new CCriticalSection();
    return *lock;
}

// Set when a call of the observer ends while a removal waits for it.
CManualResetEvent& callEnded() {
    static CManualResetEvent* event = new CManualResetEvent();
    return *event;
}

// Ends the call in progress on `thread`, if any.
void endObserverCall(DWORD thread) {
    CSentry hold(observerLock());
    if (s_slot.calling && s_slot.callingThread == thread) {
        s_slot.calling = false;
        if (s_slot.waiting)
            callEnded().set();
    }
}

struct ObserverCall {
    ~ObserverCall() { endObserverCall(GetCurrentThreadId()); }
};

void endRecorder() {
    if (!s_recorder)
        return;
    DiagEventLog::diagEvent(DiagEventLog::Stop);
    s_recorder->stopEvent().set();
    s_recorder->wait(kRecorderWaitMs);
    const DWORD thread = s_recorder->getThreadId();
    delete s_recorder;
    s_recorder = nullptr;
    // Its thread is gone, even if it was ended inside an observer call.
    endObserverCall(thread);
}

} // namespace

namespace detail {

void notifyDiagObserver(const std::string& line) {
    DiagEventLogObserver* observer = nullptr;
    {
        CSentry hold(observerLock());
        observer = s_slot.observer;
        if (!observer)
            return;
        s_slot.calling = true;
        s_slot.callingThread = GetCurrentThreadId();
        ++s_slot.calls;
    }
    ObserverCall call;
    observer->onDiagEventLogged(line);
}

} // namespace detail

void DiagEventLog::diagEvent(DiagEvent event) {
    diagEvent(event, std::string());
}

void DiagEventLog::diagEvent(DiagEvent event, const std::string& text) {
    CDiagData& data = getDiagData();
    if (!data.isLoggingActive())
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    data.addEvent(event, formatDiagLine(now, GetCurrentProcessId(), GetCurrentThreadId(),
                                        getAppExeName(), event, text));
}

void DiagEventLog::startNewLog() {
    CSentry hold(recorderLock());
    endRecorder();
    // A block refused when it was opened (too small, or pages not committed)
    // stays refused for the process: a recorder would have nothing to take.
    if (!getDiagData().getData())
        return;
    s_recorder = new CDiagEventRecorderThread();
    s_recorder->resume();
    if (s_recorder->startedEvent().wait(kRecorderWaitMs) == Signaled)
        diagEvent(Start);
}

void DiagEventLog::endLogging() {
    CSentry hold(recorderLock());
    endRecorder();
}

void DiagEventLog::addDiagEventLogObserver(DiagEventLogObserver* observer) {
    CSentry hold(observerLock());
    s_slot.observer = observer;
}

// Waits for the call in progress, so that the removed observer is not running
// when this returns; not when the call is this thread's own (an observer that
// removes itself), and not beyond kObserverCallWaitMs.
void DiagEventLog::removeDiagEventLogObserver(DiagEventLogObserver*) {
    CSentry hold(observerLock());
    s_slot.observer = nullptr;
    const uint32_t call = s_slot.calls;
    const DWORD start = GetTickCount();
    while (s_slot.calling && s_slot.calls == call && s_slot.callingThread != GetCurrentThreadId()) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= kObserverCallWaitMs)
            return;
        callEnded().reset();
        ++s_slot.waiting;
        hold.release();
        callEnded().wait(kObserverCallWaitMs - waited);
        hold.wait(INFINITE);
        --s_slot.waiting;
    }
}

namespace detail {
std::string logFileNameIn(const std::string& folder) {
    return folder.empty() ? std::string() : folder + "\\TempovaDiagnostics.log";
}
} // namespace detail

const char* DiagEventLog::getLogFileName() {
    static const std::string name = detail::logFileNameIn(getUserAppPath());
    return name.c_str();
}

} // namespace kelvora_core
