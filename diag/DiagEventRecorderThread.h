#pragma once

#include "Thread.h"

#include <cstdio>
#include <string>

namespace kelvora_core {

// Takes the lines out of the shared block and appends them to the log file,
// passing each to the log's observer. Runs in the process that started
// logging; marks logging active for every process while it runs.
class CDiagEventRecorderThread : public CThread {
public:
    CDiagEventRecorderThread();
    ~CDiagEventRecorderThread() override;
    void run() override;

    CEvent& stopEvent() { return m_stopEvent; }
    CManualResetEvent& startedEvent() { return m_startedEvent; }

private:
    void record();

    CEvent m_stopEvent;
    CManualResetEvent m_startedEvent;
};

} // namespace kelvora_core
