#pragma once

#include <windows.h>

#include <memory>
#include <string>

// The full path of the process's executable, read in UTF-16 so that an
// install folder of any name survives on any system; empty, with the
// platform's error code in error, when it cannot be read.
std::wstring processImagePath(HANDLE process, DWORD& error);

// The command line another process was started with. Where the handle may
// read the process's memory and the process has this program's bitness, it
// is read at once from the process's own parameters. Elsewhere (a process of
// the other bitness, or of higher rights) it is asked of the platform's
// management service (WMI, Win32_Process.CommandLine) on a thread of its
// own, since the service's first answer in a session may take a while; the
// service does not tell it everywhere either: not for a process of higher
// rights, and Wine 8 tells a process only its own.
class CProcessCommandLine {
public:
    // How long the reading may take before it is given up.
    static constexpr DWORD kReadLimitMs = 5000;

    // Reads the command line of the process whose executable is imagePath.
    // The caller keeps the handle open meanwhile, so that the process's id
    // is not given to another process.
    CProcessCommandLine(HANDLE process, const std::wstring& imagePath);

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
