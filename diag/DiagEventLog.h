#pragma once

#include "Export.h"

#include <cstdint>
#include <string>

namespace kelvora_core {

// Receives every recorded line, on the recorder thread, after it was written.
class DiagEventLogObserver {
public:
    virtual void onDiagEventLogged(const std::string& line) = 0;

protected:
    ~DiagEventLogObserver() = default;
};

// Diagnostic events of every process of the product family go into one
// shared block; the process that started logging records them in
// "TempovaDiagnostics.log" in the user folder. Reporting never fails.
class DiagEventLog {
public:
    // The numbers travel between processes: never renumber. Any 32-bit
    // number another process puts into the shared block is a valid value.
    enum DiagEvent : int32_t {
        Start = 0,
        Stop = 1,
        TempovaStarting = 2,
        TempovaClosing = 3,
        TempovaActiveXInstantiated = 4,
        TempovaActiveXDestroyed = 5,
        TempovaNPPluginInstantiated = 6,
        TempovaNPPluginDestroyed = 7,
        SpeedChange = 8,
        AutoSpeedChange = 9,
        HotKeyPress = 13,
        UserSliderVisible = 14,
        UserSliderHide = 15,
        AutoSliderVisible = 16,
        AutoSliderHide = 17,
        ProcessAttach = 18,
        ProcessDetach = 19,
        ProcessListChange = 20,
        HookInstalled = 21,
        HookUninstalled = 22,
        FlashActive = 23,
        FlashInActive = 24,
        AllFlashAdaptersInActive = 25,
        FlashVersion = 26,
        UsingHookInterceptionStrategy = 27,
        UsingLoadLibraryInterceptionStrategy = 28,
        InterceptedFunctionsInModule = 29,
        ProgramsToHook = 36,
        InfoEvent = 37,
        InvalidEvent = 38
    };

    KELVORA_API static void diagEvent(DiagEvent event);
    KELVORA_API static void diagEvent(DiagEvent event, const std::string& text);
    KELVORA_API static void startNewLog();
    KELVORA_API static void endLogging();
    KELVORA_API static void addDiagEventLogObserver(DiagEventLogObserver* observer);
    KELVORA_API static void removeDiagEventLogObserver(DiagEventLogObserver* observer);
    KELVORA_API static const char* getLogFileName();

    DiagEventLog() = delete;
};

} // namespace kelvora_core
