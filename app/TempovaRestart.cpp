#include "TempovaRestart.h"

CTempovaRestart::CTempovaRestart(std::unique_ptr<CRunningTempova> tempova, DWORD closeLimitMs)
    : m_tempova(std::move(tempova)), m_closeLimitMs(closeLimitMs) {
    closeOnceRead();
}

CTempovaRestart::Step CTempovaRestart::advance() {
    if (m_step == Step::Reading) {
        closeOnceRead();
    } else if (m_step == Step::Closing) {
        if (m_tempova->hasEnded())
            startAgain();
        else if (elapsed(m_closingSince, m_closeLimitMs))
            m_step = Step::NotClosed;
    } else if (m_step == Step::Starting) {
        awaitWindow();
    }
    return m_step;
}

// Read, or given up after the reading's limit: then it is started with its
// path alone. One that ended meanwhile is started again all the same.
void CTempovaRestart::closeOnceRead() {
    if (!m_tempova->commandLineSettled())
        return;
    m_closingSince = GetTickCount();
    const bool closing = m_tempova->postClose() || m_tempova->hasEnded();
    m_step = closing ? Step::Closing : Step::NotClosed;
}

void CTempovaRestart::startAgain() {
    m_started = m_tempova->startAgain(m_error);
    if (!m_started) {
        m_step = Step::NotStarted;
        return;
    }
    m_startedId = GetProcessId(m_started.get());
    m_startedSince = GetTickCount();
    m_step = Step::Starting;
}

// Success needs a window of the process that was started: another speed
// product's window proves nothing.
void CTempovaRestart::awaitWindow() {
    if (CRunningTempova::windowOf(m_startedId)) {
        m_step = Step::Restarted;
    } else if (WaitForSingleObject(m_started.get(), 0) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        GetExitCodeProcess(m_started.get(), &exitCode);
        m_error = exitCode != 0 ? exitCode : ERROR_PROCESS_ABORTED;
        m_step = Step::NotStarted;
    } else if (elapsed(m_startedSince, kShowLimitMs)) {
        m_error = ERROR_TIMEOUT;
        m_step = Step::NotStarted;
    }
    if (finished())
        m_started.reset();
}
