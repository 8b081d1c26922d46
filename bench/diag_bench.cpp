// Diagnostics costs, each beside a baseline measured in the same run:
//  - a report while nobody records, against one bare hold of the block mutex;
//  - lines recorded per second, against writing and flushing the same lines
//    to a file directly;
//  - how long a report takes while four processes report into the block that
//    this process records (the waits for the block mutex under ordinary
//    contention), against one reporting process.
#include "BenchSupport.h"
#include "ChildProcess.h"
#include "CriticalSection.h"
#include "DiagData.h"
#include "DiagEventLog.h"
#include "Sentry.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

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
    // The Start line, recorded before the first batch: counted as one of the
    // batch's lines, it let a batch begin before the last one was taken, and
    // the ring crept round until lines were lost and the wait never ended.
    while (counter.count == 0)
        Sleep(0);
    const int offset = counter.count;
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

// A reporting process of the contention figures: reports for `ms`, pausing
// `pauseMs` after each, and prints the 99th and 99.9th percentiles and the
// longest of its reports, in milliseconds.
int reportAndTime(DWORD ms, DWORD pauseMs) {
    std::vector<double> took;
    for (const double start = nowMs(); nowMs() - start < ms;) {
        const double before = nowMs();
        DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "benchmark line of ordinary length");
        took.push_back(nowMs() - before);
        if (pauseMs)
            Sleep(pauseMs);
    }
    std::sort(took.begin(), took.end());
    const auto at = [&](double share) {
        return took[static_cast<size_t>(share * (took.size() - 1))];
    };
    std::printf("%.3f %.3f %.3f\n", at(0.99), at(0.999), took.back());
    return 0;
}

struct ReportTimes {
    double p99 = 0, p999 = 0, max = 0;
};

// `count` processes report for `ms` while this process records; the worst
// of their figures.
ReportTimes contention(int count, DWORD ms, DWORD pauseMs) {
    const std::string command = "\"" + test_support::besideThisProgram("diag_bench.exe") +
                                "\" report " + std::to_string(ms) + " " + std::to_string(pauseMs);
    std::vector<test_support::ProcessResult> results(count);
    DiagEventLog::startNewLog();
    std::vector<std::thread> reporters;
    for (int i = 0; i < count; ++i)
        reporters.emplace_back(
            [&, i] { results[i] = test_support::runProcess(command, ms + 20000); });
    for (auto& reporter : reporters)
        reporter.join();
    DiagEventLog::endLogging();
    ReportTimes worst;
    for (const auto& result : results) {
        ReportTimes one;
        std::sscanf(result.output.c_str(), "%lf %lf %lf", &one.p99, &one.p999, &one.max);
        worst.p99 = std::max(worst.p99, one.p99);
        worst.p999 = std::max(worst.p999, one.p999);
        worst.max = std::max(worst.max, one.max);
    }
    return worst;
}

void contentionFigures(const char* name, DWORD ms, DWORD pauseMs) {
    const ReportTimes one = contention(1, ms, pauseMs), four = contention(4, ms, pauseMs);
    const std::string figure = std::string("report, 4 reporters ") + name;
    printRatio((figure + ", 99th percentile").c_str(), four.p99, "ms", "1 reporter", one.p99);
    printRatio((figure + ", 99.9th percentile").c_str(), four.p999, "ms", "1 reporter", one.p999);
    printRatio((figure + ", longest").c_str(), four.max, "ms", "1 reporter", one.max);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "report")
        return reportAndTime(std::strtoul(argv[2], nullptr, 10),
                             std::strtoul(argv[3], nullptr, 10));
    idleReportCost();
    constexpr int kLines = 20000;
    printRatio("recorded lines per second", recordedLinesPerSecond(kLines), "lines/s",
               "lines written and flushed directly", directLinesPerSecond(kLines), "lines/s");
    contentionFigures("each 4 ms", 10000, 4);
    contentionFigures("at full speed", 3000, 0);
    return bench::exitCode();
}
