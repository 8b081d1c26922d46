#pragma once
// Timing and printing shared by the benchmark programs: every figure is
// printed beside its baseline, measured in the same run, with their ratio.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

// Milliseconds on the performance counter.
inline double nowMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Processor time (user and kernel) of a process, in milliseconds.
inline double processCpuMs(HANDLE process = GetCurrentProcess()) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return -1;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

// Private memory a process has committed: the sum of its committed private
// regions. (Wine leaves the private-usage counter of the memory information
// at zero; the regions are reported as on Windows.)
inline double privateCommittedKb(HANDLE process = GetCurrentProcess()) {
    double total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        if (static_cast<char*>(region.BaseAddress) + region.RegionSize < at)
            break;
    }
    return total / 1024.0;
}

// The figures of this run that could not be measured.
inline int& failedFigures() {
    static int count = 0;
    return count;
}

// A figure that could not be measured (a negative value): counted, and
// printed as FAILED, which scripts/bench.sh looks for.
inline bool failed(const char* figure, double value) {
    if (value >= 0)
        return false;
    ++failedFigures();
    std::printf("%-44s FAILED\n", figure);
    std::fflush(stdout);
    return true;
}

// The program's exit code: 1 when any figure failed.
inline int exitCode() {
    return failedFigures() == 0 ? 0 : 1;
}

// One figure beside its baseline and their ratio, on one line.
inline void printRatio(const char* figure, double value, const char* unit, const char* baseline,
                       double baseValue, const char* baseUnit = nullptr) {
    if (failed(figure, std::min(value, baseValue)))
        return;
    std::printf("%-44s %10.3f %-8s | baseline %-40s %10.3f %-8s | ratio %.2f\n", figure, value,
                unit, baseline, baseValue, baseUnit ? baseUnit : unit,
                baseValue != 0 ? value / baseValue : 0.0);
    std::fflush(stdout);
}

// A figure without a baseline.
inline void printFigure(const char* figure, double value, const char* unit) {
    if (failed(figure, value))
        return;
    std::printf("%-44s %10.3f %-8s\n", figure, value, unit);
    std::fflush(stdout);
}

} // namespace bench
