// The diagnostics channel under a corrupted block and under four reporting
// processes. Hostile concurrent writers are covered by diag_tests
// (HostileWriterNeitherCrashesNorStopsTheRecorder), the ring's overflow rule
// by SixtyFourWaitingLinesAreLostAndTheNextIsTaken there.
#include "ReliabilitySupport.h"
#include "ChildProcess.h"
#include "DiagEventLog.h"
#include "DiagStressLine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

using kelvora_core::DiagEventLog;

namespace {

class Marker : public kelvora_core::DiagEventLogObserver {
public:
    explicit Marker(std::string text) : m_text(std::move(text)) {}
    void onDiagEventLogged(const std::string& line) override {
        if (line.find(m_text) != std::string::npos)
            m_seen = true;
    }
    bool waitSeen(DWORD timeoutMs) {
        for (DWORD waited = 0; !m_seen && waited < timeoutMs; waited += 10)
            Sleep(10);
        return m_seen;
    }

private:
    std::string m_text;
    std::atomic<bool> m_seen{false};
};

// Records from start until end(); end() waits for a final line of this
// process, so that everything reported before it is in the file.
class Recording {
public:
    Recording() {
        DeleteFileA(DiagEventLog::getLogFileName());
        DiagEventLog::startNewLog();
    }
    ~Recording() { DiagEventLog::endLogging(); }
    // The file's lines; empty when the final line did not arrive.
    std::vector<std::string> end() {
        Marker marker("end of recording");
        DiagEventLog::addDiagEventLogObserver(&marker);
        DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "end of recording");
        const bool seen = marker.waitSeen(20000);
        DiagEventLog::removeDiagEventLogObserver(&marker);
        DiagEventLog::endLogging();
        std::vector<std::string> lines;
        std::istringstream file(reliability::readFile(DiagEventLog::getLogFileName()));
        for (std::string line; seen && std::getline(file, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
};

// The text after the event name; empty when the line is not one of ours.
std::string reportedText(const std::string& line) {
    const std::string event = ":InfoEvent:";
    const size_t at = line.find(event);
    return at == std::string::npos ? "" : line.substr(at + event.size());
}

std::string peer(DWORD ms, DWORD pauseMs, const std::string& tag) {
    return "\"" + test_support::besideThisProgram("reliability_peer.exe") + "\" report " +
           std::to_string(ms) + " " + std::to_string(pauseMs) + " " + tag;
}

struct StressResult {
    std::map<std::string, int> sent, recorded;
    int torn = 0, outOfOrder = 0;
};

// Four reporting processes for the given time, one recorder (this process).
StressResult runFourReporters(DWORD ms, DWORD pauseMs) {
    StressResult result;
    Recording recording;
    std::vector<std::unique_ptr<test_support::ChildProcess>> reporters;
    const std::vector<std::string> tags = {"p0", "p1", "p2", "p3"};
    for (const std::string& tag : tags)
        reporters.push_back(std::make_unique<test_support::ChildProcess>(peer(ms, pauseMs, tag)));
    for (size_t i = 0; i < tags.size(); ++i) {
        const DWORD sent = reporters[i]->waitForExit(ms + 20000);
        result.sent[tags[i]] = sent == STILL_ACTIVE ? -1 : static_cast<int>(sent);
    }
    std::map<std::string, int> last;
    for (const std::string& line : recording.end()) {
        const std::string text = reportedText(line);
        if (text.empty() || text == "end of recording" ||
            line.find(":reliability_peer.exe:") == std::string::npos)
            continue;
        std::string tag;
        const int number = stress_line::check(text, tag);
        if (number < 0) {
            ++result.torn;
            continue;
        }
        if (last.count(tag) && number <= last[tag])
            ++result.outOfOrder;
        last[tag] = number;
        ++result.recorded[tag];
    }
    return result;
}

} // namespace

// What must hold: with the block filled with 0xFF bytes (indexes far out of
// range, slot texts without an end), recording starts without a crash, a
// line reported afterwards is recorded once and intact, and every line in the
// file stays within one slot's 4,095 characters.
TEST(DiagReliability, CorruptedBlockIsRepairedAndRecordingGoesOn) {
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "opens the block");
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "TempovaDiagnosticsData");
    ASSERT_NE(mapping, nullptr);
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    std::memset(view, 0xFF, 262412);
    UnmapViewOfFile(view);
    CloseHandle(mapping);

    Recording recording;
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "after corruption");
    const std::vector<std::string> lines = recording.end();
    ASSERT_FALSE(lines.empty()) << "the recorder stopped";
    int found = 0;
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 4095u);
        if (reportedText(line) == "after corruption")
            ++found;
    }
    EXPECT_EQ(1, found);
}

// What must hold: four processes reporting for ten seconds at a pace the
// recorder keeps up with (one line each 4 ms each, under a fifth of the
// recorder's rate) never crash, and every line they sent is in the file,
// intact, once, in each process's order: nothing is lost without an overflow
// of the 64 slots.
TEST(DiagReliability, FourReportersForTenSecondsLoseNothingBelowTheRingsCapacity) {
    StressResult result = runFourReporters(10000, 4);
    EXPECT_EQ(0, result.torn);
    EXPECT_EQ(0, result.outOfOrder);
    for (const auto& [tag, sent] : result.sent) {
        EXPECT_GT(sent, 0) << tag << " did not end by itself";
        EXPECT_EQ(sent, result.recorded[tag]) << tag;
    }
}

// What must hold: four processes reporting without a pause for three seconds
// outrun the recorder; they never wait for it (the ring overwrites), and the
// lines that are recorded are still intact, each once, in each process's
// order. Lines are lost only as whole lines.
TEST(DiagReliability, FourReportersAtFullSpeedLoseWholeLinesOnly) {
    StressResult result = runFourReporters(3000, 0);
    EXPECT_EQ(0, result.torn);
    EXPECT_EQ(0, result.outOfOrder);
    int sent = 0, recorded = 0;
    for (const auto& [tag, count] : result.sent) {
        EXPECT_GT(count, 0) << tag << " did not end by itself";
        sent += count;
        recorded += result.recorded[tag];
        EXPECT_LE(result.recorded[tag], count) << tag;
    }
    RecordProperty("sent", sent);
    RecordProperty("recorded", recorded);
    std::printf("full speed: %d lines sent, %d recorded\n", sent, recorded);
}
