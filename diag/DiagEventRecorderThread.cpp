#include "DiagEventRecorderThread.h"

#include "DiagData.h"
#include "DiagEventLog.h"
#include "DiagEventLogObserverSlot.h"
#include "DiagLogFile.h"
#include "WaitableSet.h"

namespace kelvora_core {

namespace {

constexpr DWORD kStopWaitMs = 2000;
// A wait that keeps failing, a block kept out of reach by another process,
// or a wake-up that brought no line (the block event may be another
// program's, set for good) is followed by this pause, watching the stop event.
constexpr DWORD kRetryPauseMs = 20;
const char* const kNotOpenPrefix = "Error recordng log event, log file not open: ";

void writeLine(CDiagLogFile& file, const std::string& taken) {
    std::string line = asOneLine(taken);
    if (!file.append(line))
        line.insert(0, kNotOpenPrefix);
    detail::notifyDiagObserver(line);
}

struct Drained {
    bool busy = false; // the block was out of reach: lines may still wait
    int lines = 0;
};

Drained drain(CDiagData& data, CDiagLogFile& file) {
    DiagEventLog::DiagEvent event;
    std::string line;
    Drained drained;
    while (data.getNextEvent(event, line, drained.busy)) {
        writeLine(file, line);
        ++drained.lines;
    }
    return drained;
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
    CDiagLogFile file(DiagEventLog::getLogFileName());
    // While the block is out of reach the wait ends after a pause to try
    // again. After a pause the stop event is looked at, so that a block event
    // set over and over cannot hide it; the lines stored before it still go.
    for (bool busy = false;;) {
        uint32_t index = 0;
        const WaitResult result = set.waitAny(index, busy ? kRetryPauseMs : INFINITE);
        if (result == Signaled && index == 1)
            return;
        Drained drained;
        if (result == Signaled || result == TimedOut)
            drained = drain(data, file);
        busy = drained.busy;
        if ((busy || drained.lines == 0) && m_stopEvent.wait(kRetryPauseMs) == Signaled) {
            drain(data, file);
            return;
        }
    }
}

} // namespace kelvora_core
