#pragma once

#include <windows.h>

#include <memory>
#include <string>

// The full path of the process's executable, read in UTF-16 so that an
// install folder of any name survives on any system; empty, with the
// platform's error code in error, when it cannot be read.
std::wstring processImagePath(HANDLE process, DWORD& error);

// The command line another process was started with: at once from its own parameters where
// the handle may read its memory and it has this program's bitness; else from WMI
// (Win32_Process.CommandLine) on a thread of its own, as WMI's first answer in a session may
// take a while. Neither tells everywhere (docs/PLATFORMS.md, the speed product's command line).
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
