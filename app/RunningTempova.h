#pragma once

#include <windows.h>

#include <string>

// The running speed product as Apply meets it: its main window and, when it
// can be had, its process, so that the restart waits for that process and
// starts that same executable again.
class CRunningTempova {
public:
    // The speed product's main window; null when it does not run.
    static HWND findWindow();
    // True when the window is shown by the process with that id.
    static bool isShownBy(HWND window, DWORD processId);

    explicit CRunningTempova(HWND window);
    ~CRunningTempova();
    CRunningTempova(const CRunningTempova&) = delete;
    CRunningTempova& operator=(const CRunningTempova&) = delete;

    // Posts the close command to the window; false when it could not be
    // posted (a window of a process with higher rights drops it, for one).
    bool postClose() const;
    // Waits at most timeoutMs for the process to end; true when it has.
    // Without a handle to the process, its window's going counts as its end.
    bool waitForEnd(DWORD timeoutMs) const;
    // Starts the executable the process ran, by its full path; by the bare
    // name when that path could not be had or did not start. Nothing waits on
    // the new process. The started process's id; 0 when nothing started.
    DWORD startAgain(const std::string& bareName) const;

private:
    HWND m_window;
    HANDLE m_process = nullptr;
    std::string m_path;
};
