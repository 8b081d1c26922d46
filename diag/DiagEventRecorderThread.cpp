#include "DiagEventRecorderThread.h"

#include "DiagData.h"
#include "DiagEventLog.h"
#include "DiagEventLogObserverSlot.h"
#include "WaitableSet.h"

#include <share.h>

#include <memory>

namespace kelvora_core {

namespace {

constexpr DWORD kStopWaitMs = 2000;
// A wait that keeps failing is retried at this pace, watching the stop event.
constexpr DWORD kFailedWaitPauseMs = 50;
const char* const kNotOpenPrefix = "Error recordng log event, log file not open: ";

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using LogFile = std::unique_ptr<FILE, FileCloser>;

// Appended in text mode, shared with other readers and writers.
LogFile openLogFile() {
    return LogFile(_fsopen(DiagEventLog::getLogFileName(), "at", _SH_DENYNO));
}

void writeLine(FILE* file, std::string& line) {
    if (file) {
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
        std::fflush(file);
    } else {
        line.insert(0, kNotOpenPrefix);
    }
    detail::notifyDiagObserver(line);
}

void drain(CDiagData& data, FILE* file) {
    DiagEventLog::DiagEvent event;
    std::string line;
    while (data.getNextEvent(event, line))
        writeLine(file, line);
}

} // namespace

CDiagEventRecorderThread::CDiagEventRecorderThread() : CThread("TempovaDiagsDataRecorder") {}

CDiagEventRecorderThread::~CDiagEventRecorderThread() {
    wait(kStopWaitMs);
}

void CDiagEventRecorderThread::run() {
    CDiagData& data = getDiagData();
    try {
        record();
    } catch (...) {
    }
    data.setLoggingActive(false);
    m_startedEvent.reset();
}

void CDiagEventRecorderThread::record() {
    CDiagData& data = getDiagData();
    data.setLoggingActive(true);
    m_startedEvent.set();
    CWaitable* members[] = {&data.blockEvent(), &m_stopEvent};
    CWaitableSet set(members, 2);
    LogFile file = openLogFile();
    for (;;) {
        uint32_t index = 0;
        const WaitResult result = set.waitAny(index, INFINITE);
        if (result == Signaled && index == 0)
            drain(data, file.get());
        else if (result == Signaled && index == 1)
            return;
        else if (result == Failed && m_stopEvent.wait(kFailedWaitPauseMs) == Signaled)
            return;
    }
}

} // namespace kelvora_core
