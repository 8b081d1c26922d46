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

CDiagEventRecorderThread* s_recorder = nullptr;
DiagEventLogObserver* s_observer = nullptr;

// The locks are never destroyed: a recorder may still run while the
// process's static objects are torn down.
// Orders starts and ends of logging from several threads.
CCriticalSection& recorderLock() {
    static CCriticalSection* lock = new CCriticalSection();
    return *lock;
}

CCriticalSection& observerLock() {
    static CCriticalSection* lock = new CCriticalSection();
    return *lock;
}

void endRecorder() {
    if (!s_recorder)
        return;
    DiagEventLog::diagEvent(DiagEventLog::Stop);
    s_recorder->stopEvent().set();
    s_recorder->wait(kRecorderWaitMs);
    delete s_recorder;
    s_recorder = nullptr;
}

} // namespace

namespace detail {

void notifyDiagObserver(const std::string& line) {
    CSentry hold(observerLock());
    if (s_observer)
        s_observer->onDiagEventLogged(line);
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
    s_observer = observer;
}

void DiagEventLog::removeDiagEventLogObserver(DiagEventLogObserver*) {
    CSentry hold(observerLock());
    s_observer = nullptr;
}

namespace detail {
std::string logFileNameIn(const std::string& folder) {
    return folder + "\\TempovaDiagnostics.log";
}
} // namespace detail

const char* DiagEventLog::getLogFileName() {
    static const std::string name = detail::logFileNameIn(getUserAppPath());
    return name.c_str();
}

} // namespace kelvora_core
