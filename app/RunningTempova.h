#pragma once

#include "ProcessCommandLine.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

// The running speed product as Apply meets it: its main window and, when it
// can be had, its process, so that the restart waits for that process and
// starts that same executable again, as it was started: in the executable's
// folder, with the command line it was given where the platform tells it.
class CRunningTempova {
public:
    // The speed product's main window; null when it does not run.
    static HWND findWindow();
    // The speed product's main window shown by the process with that id;
    // null when that process shows none.
    static HWND windowOf(DWORD processId);

    explicit CRunningTempova(HWND window);

    // Posts the close command to the window; false when it could not be
    // posted (a window of a process with higher rights drops it, for one).
    bool postClose() const;
    // True once the process has ended. Without a handle to the process, its
    // window's going counts as its end.
    bool hasEnded() const;
    // True once the process's command line has been read or given up.
    bool commandLineSettled() const { return !m_commandLine || m_commandLine->settled(); }
    // Starts the executable the process ran, by its full path, in its
    // folder, with the command line it had, or else with its path alone.
    // The new process, or null with the platform's error code in error;
    // where that path could not be read, nothing is started and error says
    // why it could not.
    UniqueHandle startAgain(DWORD& error) const;

private:
    HWND m_window;
    UniqueHandle m_process;
    std::wstring m_path;
    DWORD m_pathError = ERROR_SUCCESS;
    std::unique_ptr<CProcessCommandLine> m_commandLine;
};
