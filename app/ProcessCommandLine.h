#pragma once

#include <windows.h>

#include <memory>
#include <string>

// The command line another process was started with, read through the
// platform's management service (WMI, Win32_Process.CommandLine) on a thread
// of its own, since the service's first answer in a session may take a
// while. The platform does not tell it everywhere: not for a process of
// higher rights, and Wine 8 tells a process only its own.
class CProcessCommandLine {
public:
    // How long the reading may take before it is given up.
    static constexpr DWORD kReadLimitMs = 5000;

    // Reads the command line of the process with that id. The caller holds a
    // handle to the process meanwhile, so that its id is not given to
    // another process.
    explicit CProcessCommandLine(DWORD processId);

    // True once read, refused, or given up.
    bool settled() const;
    // The command line once read; empty when the platform did not tell.
    std::wstring text() const;

private:
    struct Reading;
    static unsigned __stdcall readOnItsOwnThread(void* share);

    std::shared_ptr<Reading> m_reading;
    DWORD m_started;
};
