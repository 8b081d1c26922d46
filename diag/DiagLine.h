#pragma once

#include <windows.h>

#include <string>

namespace kelvora_core {

// Name written to the log for an event number; numbers without a name of
// their own (gaps, or garbage from another process) get "InvalidEvent".
const char* diagEventName(int event);

// One log line: MM/DD/YYYY::hh:mm:ss:mmm:exe:pid:tid:Event[:text]
std::string formatDiagLine(const SYSTEMTIME& time, DWORD processId, DWORD threadId,
                           const char* exeName, int event, const std::string& text);

} // namespace kelvora_core
