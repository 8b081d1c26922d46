#pragma once

#include <windows.h>

#include <string>

namespace test_support {

// Full path of a program that lies beside the running test program.
std::string besideThisProgram(const std::string& fileName);

// Runs a program to its end and collects its standard output.
struct ProcessResult {
    bool started = false;
    bool finished = false; // false: killed after the time-out
    DWORD exitCode = 0;
    std::string output;
};
ProcessResult runProcess(const std::string& commandLine, DWORD timeoutMs = 20000);

// The environment of this process with one variable set (or replaced), as a
// block for CreateProcess: "NAME=value" texts, each ended by a zero byte, and
// one more zero byte at the end.
std::string environmentWith(const std::string& name, const std::string& value);

// The number an environment variable holds (RELIABILITY_CYCLES, a campaign's
// seed...); the fallback when it is unset or empty.
unsigned environmentNumber(const char* name, unsigned fallback);

// A program started in the background; ended (killed if need be) on destruction.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& commandLine);
    // Started with the given environment block (see environmentWith).
    ChildProcess(const std::string& commandLine, const std::string& environment);
    // A command line in UTF-16: any path, whatever this program's code page.
    explicit ChildProcess(const std::wstring& commandLine);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_info.hProcess != nullptr; }
    // Exit code after the process ended, or STILL_ACTIVE after the time-out.
    DWORD waitForExit(DWORD timeoutMs);
    DWORD id() const { return m_info.dwProcessId; }

private:
    PROCESS_INFORMATION m_info{};
};

// Handles open in this process now.
DWORD handleCount();

// A kernel object name that no other test, process or run uses.
std::string uniqueName(const char* stem);

} // namespace test_support
