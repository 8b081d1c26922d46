#pragma once

#include "ProcessCommandLine.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <memory>
#include <string>

// The user's own running speed product as Apply meets it: its main window, process and
// executable, so that the restart waits for that process and starts that executable again as
// it was started: in its folder, with the command line it was given where the platform tells
// it, at its own integrity level.
class CRunningTempova {
public:
    // The first window of the speed product's class and title whose process runs as this user,
    // outside an app container, at medium integrity or above, from tempova.exe, and can be
    // started again at its level; else null, error holding the platform's code for the first
    // window that could not be checked or started again (nothing closed), 0 if all were others'.
    static std::unique_ptr<CRunningTempova> find(DWORD& error);
    // The speed product's main window shown by the process with that id;
    // null when that process shows none.
    static HWND windowOf(DWORD processId);

    // Posts the close command to the window; false when it could not be
    // posted (a window of a process with higher rights drops it, for one).
    bool postClose() const;
    // True once the process has ended.
    bool hasEnded() const;
    // True once the process's command line has been read or given up.
    bool commandLineSettled() const { return m_commandLine.settled(); }
    // Starts the executable the process ran, by its full path, in its
    // folder, with the command line it had, or else with its quoted path
    // alone. The new process, or null with the platform's error code.
    UniqueHandle startAgain(DWORD& error) const;

private:
    CRunningTempova(HWND window, UniqueHandle process, const std::wstring& path,
                    UniqueHandle shell);

    HWND m_window;
    UniqueHandle m_process;
    std::wstring m_path;
    // The desktop's shell, whose child it becomes where this tool runs at a
    // higher integrity level than it did; null where the tool starts it.
    UniqueHandle m_shell;
    CProcessCommandLine m_commandLine;
};
