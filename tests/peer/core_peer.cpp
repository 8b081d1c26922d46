// Second process for the cross-process tests. Each command reports through
// its exit code and standard output.
#include "ChildProcess.h"
#include "DiagData.h"
#include "DiagEventLog.h"
#include "Preferences.h"
#include "Sentry.h"
#include "SharedMemory.h"
#include "Utilities.h"
#include "Waitable.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace kelvora_core;

namespace {

// Holds the named mutex for the given time, then gives it back.
int holdMutex(const char* name, DWORD ms) {
    CMutex mutex(name);
    if (mutex.wait(INFINITE) != Signaled)
        return 2;
    Sleep(ms);
    return mutex.release() ? 0 : 3;
}

// Ends while holding the mutex: waiters then find it abandoned. The
// handle is leaked on purpose, so that no destructor gives it back.
int abandonMutex(const char* name) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (!mutex || WaitForSingleObject(mutex, INFINITE) != WAIT_OBJECT_0)
        return 2;
    ExitProcess(0);
}

// Opens the block and reports: bit 0 existed, bit 1 all zero, bits 8-15 the
// first byte. Writes `value` into the first byte when given.
int checkBlock(const char* name, uint32_t size, int value) {
    CSharedMemory block(name, size);
    auto* data = static_cast<unsigned char*>(block.getData());
    if (!data)
        return 0xFF0000;
    bool allZero = true;
    for (uint32_t i = 0; i < size && allZero; ++i)
        allZero = data[i] == 0;
    const int report = (block.existed() ? 1 : 0) | (allZero ? 2 : 0) | (data[0] << 8);
    if (value >= 0)
        data[0] = static_cast<unsigned char>(value);
    return report;
}

// Waits for "<name>_go", opens the block, signals "<name>_ready" and holds
// the block until "<name>_end". Reports whether the block existed.
int raceForBlock(const char* name, uint32_t size) {
    const std::string base(name);
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, (base + "_go").c_str());
    HANDLE ready = CreateSemaphoreA(nullptr, 0, 16, (base + "_ready").c_str());
    HANDLE end = CreateEventA(nullptr, TRUE, FALSE, (base + "_end").c_str());
    WaitForSingleObject(go, 10000);
    int existed = 0;
    {
        CSharedMemory block(name, size);
        existed = block.existed() ? 1 : 0;
        if (!block.getData())
            existed = 7;
        ReleaseSemaphore(ready, 1, nullptr);
        WaitForSingleObject(end, 10000);
    }
    CloseHandle(go);
    CloseHandle(ready);
    CloseHandle(end);
    return existed;
}

int reportEvents(int count, const std::string& text) {
    for (int i = 0; i < count; ++i)
        DiagEventLog::diagEvent(DiagEventLog::InfoEvent, text + " " + std::to_string(i));
    return 0;
}

// Records until the named event "<name>_end" is set; "<name>_ready" tells
// that recording has started.
int recordUntilEnd(const std::string& name) {
    CEvent ready((name + "_ready").c_str()), end((name + "_end").c_str());
    DiagEventLog::startNewLog();
    ready.set();
    end.wait(20000);
    DiagEventLog::endLogging();
    return 0;
}

// Starts logging and reports 1 when that made a recorder (its thread and
// events are handles of this process), 0 when it did not. The block is
// opened (or refused) before the count.
int startLog() {
    getDiagData();
    const DWORD before = test_support::handleCount();
    DiagEventLog::startNewLog();
    const DWORD after = test_support::handleCount();
    DiagEventLog::endLogging();
    return after > before ? 1 : 0;
}

// Opens the diagnostics block, its mutex and its event as the family's
// programs do, with all access; 0 when all three open and the block maps.
int familyOpen() {
    HANDLE objects[] = {OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "TempovaDiagnosticsData"),
                        OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "TempovaDiagnosticsData_mutex"),
                        OpenEventA(EVENT_ALL_ACCESS, FALSE, "TempovaDiagEvent")};
    void* view = objects[0] ? MapViewOfFile(objects[0], FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
    const int refused =
        (objects[0] ? 0 : 1) | (objects[1] ? 0 : 2) | (objects[2] ? 0 : 4) | (view ? 0 : 8);
    return refused;
}

// Records for a second and reports the CPU time the process took, in ms.
int recordAndTakeTime() {
    DiagEventLog::startNewLog();
    Sleep(1000);
    DiagEventLog::endLogging();
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    return static_cast<int>((kernel.dwLowDateTime + user.dwLowDateTime) / 10000);
}

int usage() {
    std::fprintf(stderr, "usage: core_peer command [arguments]\n");
    return 100;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    if (command == "hold-mutex" && argc == 4)
        return holdMutex(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (command == "abandon-mutex" && argc == 3)
        return abandonMutex(argv[2]);
    if (command == "check-block" && argc == 5)
        return checkBlock(argv[2], std::strtoul(argv[3], nullptr, 10), std::atoi(argv[4]));
    if (command == "race-block" && argc == 4)
        return raceForBlock(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (command == "diag-report" && argc == 4)
        return reportEvents(std::atoi(argv[2]), argv[3]);
    if (command == "diag-record" && argc == 3)
        return recordUntilEnd(argv[2]);
    if (command == "family-open")
        return familyOpen();
    if (command == "diag-cpu")
        return recordAndTakeTime();
    if (command == "diag-start")
        return startLog();
    if (command == "exe-name") {
        std::printf("%s\n", getAppExeName());
        return 0;
    }
    if (command == "default-prefs") {
        Preferences::setString(kAdapters, kProgramsToHook, "peer.exe");
        Preferences::addToStartup();
        return Preferences::checkStartup() ? 0 : 1;
    }
    return usage();
}
