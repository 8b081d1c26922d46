#include "DiagLine.h"

#include <cstdio>

namespace kelvora_core {

namespace {

// Indexed by event number; null marks a number without a name.
const char* const kEventNames[] = {
    "Start",
    "Stop",
    "TempovaStarting",
    "TempovaClosing",
    "TempovaActiveXInstantiated",
    "TempovaActiveXDestroyed",
    "TempovaNPPluginInstantiated",
    "TempovaNPPluginDestroyed",
    "SpeedChange",
    "AutoSpeedChange",
    nullptr,
    nullptr,
    nullptr,
    "HotKeyPress",
    "UserSliderVisible",
    "UserSliderHide",
    "AutoSliderVisible",
    "AutoSliderHide",
    "ProcessAttach",
    "ProcessDetach",
    "ProcessListChange",
    "HookInstalled",
    "HookUninstalled",
    "FlashActive",
    "FlashInActive",
    "AllFlashAdaptersInActive",
    "FlashVersion",
    "UsingHookInterceptionStrategy",
    "UsingLoadLibraryInterceptionStrategy",
    "InterceptedFunctionsInModule",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    "ProgramsToHook",
    "InfoEvent",
    "InvalidEvent",
};
constexpr int kEventCount = sizeof kEventNames / sizeof kEventNames[0];

} // namespace

const char* diagEventName(int event) {
    if (event < 0 || event >= kEventCount || !kEventNames[event])
        return "InvalidEvent";
    return kEventNames[event];
}

std::string formatDiagLine(const SYSTEMTIME& time, DWORD processId, DWORD threadId,
                           const char* exeName, int event, const std::string& text) {
    // The system's own printf (the C runtime DLL's) rather than the
    // compiler's, which would bring its floating point into the executable.
    char stamp[64] = {};
    _snprintf(stamp, sizeof stamp - 1, "%02u/%02u/%04u::%02u:%02u:%02u:%03u:", time.wMonth,
              time.wDay, time.wYear, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    std::string line = stamp;
    line += exeName ? exeName : "";
    line += ':' + std::to_string(processId) + ':' + std::to_string(threadId) + ':';
    line += diagEventName(event);
    if (!text.empty())
        line += ':' + text;
    return line;
}

} // namespace kelvora_core
