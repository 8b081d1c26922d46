// A reporting process for the diagnostics cases: reports numbered, checked
// lines for a given time and ends with the number of lines it sent as its
// exit code.
//   reliability_peer report <ms> <pauseMs> <tag>
#include "DiagEventLog.h"
#include "DiagStressLine.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using kelvora_core::DiagEventLog;

int main(int argc, char** argv) {
    if (argc != 5 || std::string(argv[1]) != "report") {
        std::fprintf(stderr, "usage: reliability_peer report ms pauseMs tag\n");
        return -1;
    }
    const DWORD ms = std::strtoul(argv[2], nullptr, 10);
    const DWORD pauseMs = std::strtoul(argv[3], nullptr, 10);
    const std::string tag = argv[4];
    const DWORD start = GetTickCount();
    int sent = 0;
    while (GetTickCount() - start < ms) {
        DiagEventLog::diagEvent(DiagEventLog::InfoEvent, stress_line::make(tag, sent));
        ++sent;
        if (pauseMs)
            Sleep(pauseMs);
    }
    return sent;
}
