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

    explicit CRunningTempova(HWND window);
    ~CRunningTempova();
    CRunningTempova(const CRunningTempova&) = delete;
    CRunningTempova& operator=(const CRunningTempova&) = delete;

    // Posts the close command to the window.
    void postClose() const;
    // Waits at most timeoutMs for the process to end.
    void waitForEnd(DWORD timeoutMs) const;
    // Starts the executable the process ran, by its full path; by the bare
    // name when that path could not be had. Nothing waits on the new process.
    void startAgain(const std::string& bareName) const;

private:
    HWND m_window;
    HANDLE m_process = nullptr;
    std::string m_path;
};
