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
// A wait that keeps failing, or a block kept out of reach by another
// process, is retried at this pace, watching the stop event.
constexpr DWORD kRetryPauseMs = 50;
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

// Takes every waiting line; false when the block was out of reach, so that
// lines may still wait.
bool drain(CDiagData& data, FILE* file) {
    DiagEventLog::DiagEvent event;
    std::string line;
    bool busy = false;
    while (data.getNextEvent(event, line, busy))
        writeLine(file, line);
    return !busy;
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
    // While the block is out of reach the wait ends after a pause to try
    // again; the stop event is looked at after each such try, so that a block
    // event set over and over cannot hide it.
    for (bool busy = false;;) {
        uint32_t index = 0;
        const WaitResult result = set.waitAny(index, busy ? kRetryPauseMs : INFINITE);
        if (result == Signaled && index == 1)
            return;
        if (result == Signaled || result == TimedOut) {
            busy = !drain(data, file.get());
            if (busy && m_stopEvent.wait(0) == Signaled)
                return;
        } else if (result == Failed && m_stopEvent.wait(kRetryPauseMs) == Signaled) {
            return;
        }
    }
}

} // namespace kelvora_core
