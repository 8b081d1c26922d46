// Diagnostics costs, each beside a baseline measured in the same run:
//  - a report while nobody records, against one bare hold of the block mutex;
//  - lines recorded per second, against writing and flushing the same lines
//    to a file directly.
#include "BenchSupport.h"
#include "CriticalSection.h"
#include "DiagData.h"
#include "DiagEventLog.h"
#include "Sentry.h"

#include <windows.h>

#include <atomic>
#include <string>

using namespace kelvora_core;
using bench::nowMs;
using bench::printRatio;

namespace {

void idleReportCost() {
    constexpr int kReports = 20000;
    getDiagData(); // the block exists before timing
    CMutex mutex("TempovaDiagnosticsData_mutex");
    double start = nowMs();
    for (int i = 0; i < kReports; ++i) {
        mutex.wait(INFINITE);
        mutex.release();
    }
    const double bare = (nowMs() - start) * 1000.0 / kReports;
    start = nowMs();
    for (int i = 0; i < kReports; ++i)
        DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "not recorded");
    const double report = (nowMs() - start) * 1000.0 / kReports;
    printRatio("diagEvent, nobody recording", report, "us", "acquire+release of the block mutex",
               bare, "us");
}

class Counter : public DiagEventLogObserver {
public:
    void onDiagEventLogged(const std::string&) override { ++count; }
    std::atomic<int> count{0};
};

double recordedLinesPerSecond(int lines) {
    Counter counter;
    DiagEventLog::addDiagEventLogObserver(&counter);
    DiagEventLog::startNewLog();
    const int offset = counter.count; // the Start line
    const double start = nowMs();
    // Batches below the ring's 64 slots, so that nothing is lost.
    for (int sent = 0; sent < lines;) {
        for (int i = 0; i < 32 && sent < lines; ++i, ++sent)
            DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "benchmark line of ordinary length");
        while (counter.count - offset < sent)
            Sleep(0);
    }
    const double elapsed = nowMs() - start;
    DiagEventLog::endLogging();
    DiagEventLog::removeDiagEventLogObserver(&counter);
    return lines * 1000.0 / elapsed;
}

double directLinesPerSecond(int lines) {
    const std::string path = std::string(DiagEventLog::getLogFileName()) + ".bench";
    FILE* file = std::fopen(path.c_str(), "at");
    const std::string line =
        "12/07/2026::20:00:00:000:diag_bench.exe:1234:5678:InfoEvent:benchmark line of ordinary "
        "length";
    const double start = nowMs();
    for (int i = 0; i < lines; ++i) {
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
        std::fflush(file);
    }
    const double elapsed = nowMs() - start;
    std::fclose(file);
    DeleteFileA(path.c_str());
    return lines * 1000.0 / elapsed;
}

} // namespace

int main() {
    idleReportCost();
    constexpr int kLines = 20000;
    printRatio("recorded lines per second", recordedLinesPerSecond(kLines), "lines/s",
               "lines written and flushed directly", directLinesPerSecond(kLines), "lines/s");
    return 0;
}
