#pragma once

#include "RunningTempova.h"

#include <windows.h>

#include <memory>
#include <string>

// Closing the running speed product and starting it again, in steps that
// never wait: the owner moves it on (the dialog from its timer), so that it
// keeps answering while the speed product takes its time to close.
class CTempovaRestart {
public:
    enum class Step {
        Reading,    // reading the running one's command line; the close waits for it
        Closing,    // the close command went out; waiting for the process to end
        Starting,   // started again; waiting for a window of the started process
        Restarted,  // the started process shows its window
        NotClosed,  // it did not end within the limit: nothing was started
        NotStarted, // it ended, but did not start again (error())
    };

    // How long the speed product may take to close, and the started one to
    // show its window.
    static constexpr DWORD kCloseLimitMs = 30000;
    static constexpr DWORD kShowLimitMs = 30000;

    // Posts the close command to the speed product's window once its
    // command line has been read: a process that has ended is no longer
    // asked for it.
    explicit CTempovaRestart(std::unique_ptr<CRunningTempova> tempova,
                             DWORD closeLimitMs = kCloseLimitMs);

    // Takes the next step when it is due; the step reached.
    Step advance();
    Step step() const { return m_step; }
    bool finished() const { return m_step > Step::Starting; }
    // Why it did not start: the platform's error code, or the started
    // process's exit code.
    DWORD error() const { return m_error; }

private:
    void closeOnceRead();
    void startAgain();
    void awaitWindow();
    bool elapsed(DWORD since, DWORD limitMs) const { return GetTickCount() - since >= limitMs; }

    std::unique_ptr<CRunningTempova> m_tempova;
    DWORD m_closeLimitMs;
    DWORD m_closingSince = 0;
    DWORD m_startedSince = 0;
    Step m_step = Step::Reading;
    UniqueHandle m_started;
    DWORD m_startedId = 0;
    DWORD m_error = ERROR_SUCCESS;
};
