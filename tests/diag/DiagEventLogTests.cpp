#include "ChildProcess.h"
#include "CriticalSection.h"
#include "DiagData.h"
#include "DiagEventLog.h"
#include "DiagEventLogObserverSlot.h"
#include "Sentry.h"
#include "Utilities.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

using namespace kelvora_core;

namespace {

// Collects the lines the recorder hands to the observer.
class LineCollector : public DiagEventLogObserver {
public:
    void onDiagEventLogged(const std::string& line) override {
        CSentry hold(m_lock);
        m_lines.push_back(line);
        m_arrived.set();
    }
    // Waits until a line containing `needle` arrived (at most 10 s).
    bool waitFor(const std::string& needle) {
        for (int i = 0; i < 100; ++i) {
            if (contains(needle))
                return true;
            m_arrived.wait(100);
        }
        return contains(needle);
    }
    bool contains(const std::string& needle) {
        CSentry hold(m_lock);
        for (const auto& line : m_lines) {
            if (line.find(needle) != std::string::npos)
                return true;
        }
        return false;
    }
    std::vector<std::string> lines() {
        CSentry hold(m_lock);
        return m_lines;
    }

private:
    CCriticalSection m_lock;
    CEvent m_arrived;
    std::vector<std::string> m_lines;
};

// Hands the first line to another thread and waits for it (at most 10 s);
// that thread removes this observer.
class HandOffObserver : public DiagEventLogObserver {
public:
    ~HandOffObserver() {
        if (m_other.joinable())
            m_other.join();
    }
    void onDiagEventLogged(const std::string&) override {
        if (m_other.joinable())
            return;
        m_other = std::thread([this] {
            DiagEventLog::removeDiagEventLogObserver(this);
            m_removed.set();
        });
        m_removedInTime = m_removed.wait(10000) == Signaled;
        m_returned.set();
    }
    bool removedInTime() { return m_returned.wait(20000) == Signaled && m_removedInTime; }

private:
    std::thread m_other;
    CEvent m_removed, m_returned;
    bool m_removedInTime = false;
};

std::string logFileContent() {
    std::ifstream file(DiagEventLog::getLogFileName(), std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// The text the log gained since `before`, split into lines at CR LF.
std::vector<std::string> linesSince(const std::string& before) {
    const std::string all = logFileContent();
    std::vector<std::string> lines;
    if (all.compare(0, before.size(), before) != 0)
        return {"<log file rewritten>"};
    std::string rest = all.substr(before.size());
    for (size_t end; (end = rest.find("\r\n")) != std::string::npos; rest.erase(0, end + 2))
        lines.push_back(rest.substr(0, end));
    if (!rest.empty())
        lines.push_back(rest);
    return lines;
}

std::string eventName(const std::string& line) {
    static const std::regex pattern(
        R"(^\d\d/\d\d/\d{4}::\d\d:\d\d:\d\d:\d{3}:[^:]+:\d+:\d+:(\w+).*)");
    std::smatch match;
    return std::regex_match(line, match, pattern) ? match[1].str() : "<malformed: " + line + ">";
}

std::string peer(const std::string& arguments) {
    return test_support::besideThisProgram("core_peer.exe") + " " + arguments;
}

class DiagEventLogTest : public ::testing::Test {
protected:
    void SetUp() override { DiagEventLog::addDiagEventLogObserver(&m_collector); }
    void TearDown() override {
        DiagEventLog::endLogging();
        DiagEventLog::removeDiagEventLogObserver(&m_collector);
    }
    LineCollector m_collector;
};

} // namespace

TEST(DiagEventLogFile, IsInTheUserFolder) {
    EXPECT_EQ(std::string(getUserAppPath()) + "\\TempovaDiagnostics.log",
              DiagEventLog::getLogFileName());
    EXPECT_EQ(DiagEventLog::getLogFileName(), DiagEventLog::getLogFileName());
    EXPECT_EQ("", detail::logFileNameIn("")); // no user folder: no log anywhere else
}

TEST(DiagEventLogIdle, ReportWithoutRecorderChangesNothingInTheBlock) {
    CDiagData& data = getDiagData();
    ASSERT_FALSE(data.isLoggingActive());
    const auto* block = static_cast<const char*>(data.getData());
    const std::string before(block, sizeof(_tagDiagData));
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "nobody listens");
    EXPECT_EQ(before, std::string(block, sizeof(_tagDiagData)));
}

TEST_F(DiagEventLogTest, RunIsFramedByStartAndStop) {
    const std::string before = logFileContent();
    DiagEventLog::startNewLog();
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "abc");
    DiagEventLog::diagEvent(DiagEventLog::SpeedChange);
    DiagEventLog::endLogging();
    const auto lines = linesSince(before);
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("Start", eventName(lines[0]));
    EXPECT_EQ("InfoEvent", eventName(lines[1]));
    EXPECT_EQ("SpeedChange", eventName(lines[2]));
    EXPECT_EQ("Stop", eventName(lines[3]));
    const std::string process = ":diag_tests.exe:" + std::to_string(GetCurrentProcessId()) + ":";
    EXPECT_NE(std::string::npos, lines[1].find(process));
    EXPECT_EQ(":InfoEvent:abc", lines[1].substr(lines[1].size() - 14));
    EXPECT_EQ(lines, m_collector.lines());
}

TEST_F(DiagEventLogTest, SecondStartEndsTheFirstRunInOrder) {
    const std::string before = logFileContent();
    DiagEventLog::startNewLog();
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "first run");
    DiagEventLog::startNewLog();
    DiagEventLog::endLogging();
    std::vector<std::string> names;
    for (const auto& line : linesSince(before))
        names.push_back(eventName(line));
    EXPECT_EQ((std::vector<std::string>{"Start", "InfoEvent", "Stop", "Start", "Stop"}), names);
}

TEST_F(DiagEventLogTest, EndingWithoutARecorderWritesNothing) {
    const std::string before = logFileContent();
    DiagEventLog::endLogging();
    DiagEventLog::endLogging();
    EXPECT_EQ(before, logFileContent());
    EXPECT_FALSE(getDiagData().isLoggingActive());
}

TEST_F(DiagEventLogTest, TextWithLineFeedsSpreadsOverSeveralFileLines) {
    const std::string before = logFileContent();
    DiagEventLog::startNewLog();
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "<a>\n<b/>\n</a>");
    DiagEventLog::endLogging();
    const auto lines = linesSince(before);
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ("<b/>", lines[2]);
    EXPECT_EQ("</a>", lines[3]);
}

TEST_F(DiagEventLogTest, OverlongLineIsCutTo4095Characters) {
    const std::string before = logFileContent();
    DiagEventLog::startNewLog();
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, std::string(5000, 'L'));
    DiagEventLog::endLogging();
    const auto lines = linesSince(before);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(4095u, lines[1].size());
}

TEST_F(DiagEventLogTest, ObserverSlotHoldsOneObserver) {
    LineCollector second;
    DiagEventLog::addDiagEventLogObserver(&second);
    DiagEventLog::startNewLog();
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "to the second");
    EXPECT_TRUE(second.waitFor("to the second"));
    EXPECT_FALSE(m_collector.contains("to the second"));
    DiagEventLog::removeDiagEventLogObserver(&m_collector); // any pointer empties the slot
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "to nobody");
    DiagEventLog::endLogging();
    EXPECT_FALSE(second.contains("to nobody"));
    EXPECT_FALSE(m_collector.contains("to nobody"));
}

TEST_F(DiagEventLogTest, ObserverWaitingForTheThreadThatRemovesItDoesNotDeadlock) {
    HandOffObserver observer;
    DiagEventLog::addDiagEventLogObserver(&observer);
    DiagEventLog::startNewLog();
    EXPECT_TRUE(observer.removedInTime());
}

TEST_F(DiagEventLogTest, LockedLogFileLeavesItUnchangedAndTellsTheObserver) {
    const std::string before = logFileContent();
    HANDLE lock = CreateFileA(DiagEventLog::getLogFileName(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    DiagEventLog::startNewLog();
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "locked out");
    DiagEventLog::endLogging();
    CloseHandle(lock);
    EXPECT_EQ(before, logFileContent());
    const auto lines = m_collector.lines();
    ASSERT_EQ(3u, lines.size());
    const std::string prefix = "Error recordng log event, log file not open: ";
    EXPECT_EQ(prefix, lines[1].substr(0, prefix.size()));
    EXPECT_EQ("InfoEvent", eventName(lines[1].substr(prefix.size())));
}

// The peer opens the block, its mutex and its event with what they grant
// everyone; none of them lets anyone change its access or owner.
TEST_F(DiagEventLogTest, AnotherProcessesReportsAreRecordedHere) {
    DiagEventLog::startNewLog();
    const auto result = test_support::runProcess(peer("diag-report 3 from-peer"));
    ASSERT_TRUE(result.finished);
    ASSERT_TRUE(m_collector.waitFor("from-peer 2"));
    int fromPeer = 0;
    for (const auto& line : m_collector.lines())
        fromPeer += line.find(":core_peer.exe:") != std::string::npos ? 1 : 0;
    EXPECT_EQ(3, fromPeer);
    const std::pair<HANDLE, DWORD> objects[] = {
        {OpenFileMappingA(READ_CONTROL, FALSE, "TempovaDiagnosticsData"),
         SECTION_QUERY | FILE_MAP_READ | FILE_MAP_WRITE},
        {OpenMutexA(READ_CONTROL, FALSE, "TempovaDiagnosticsData_mutex"),
         SYNCHRONIZE | MUTEX_MODIFY_STATE},
        {OpenEventA(READ_CONTROL, FALSE, "TempovaDiagEvent"), SYNCHRONIZE | EVENT_MODIFY_STATE}};
    for (const auto& [object, rights] : objects) {
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(0u, GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, &dacl, nullptr, &descriptor));
        DWORD granted = dacl ? 0 : GENERIC_ALL; // a null DACL grants everything
        void* ace = nullptr;
        for (WORD i = 0; dacl && i < dacl->AceCount; ++i)
            granted |= GetAce(dacl, i, &ace) ? static_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask : 0;
        EXPECT_EQ(rights | READ_CONTROL, granted);
        EXPECT_TRUE(hasLowIntegrityLabel(object));
        LocalFree(descriptor);
        CloseHandle(object);
    }
}

TEST_F(DiagEventLogTest, ThisProcessesReportsAreRecordedByAnother) {
    const std::string name = "kelvora_test_recorder_" + std::to_string(GetCurrentProcessId());
    CEvent ready((name + "_ready").c_str()), end((name + "_end").c_str());
    test_support::ChildProcess recorder(peer("diag-record " + name));
    ASSERT_EQ(Signaled, ready.wait(10000));
    const std::string text = "for the other recorder " + std::to_string(GetTickCount());
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, text);
    end.set();
    EXPECT_EQ(0u, recorder.waitForExit(10000));
    const std::string log = logFileContent();
    const size_t at = log.find(text);
    ASSERT_NE(std::string::npos, at);
    const std::string process = ":diag_tests.exe:" + std::to_string(GetCurrentProcessId()) + ":";
    EXPECT_NE(std::string::npos, log.rfind(process, at));
}

TEST_F(DiagEventLogTest, EndingOneOfTwoRecordersTurnsReportingOffForAll) {
    DiagEventLog::startNewLog();
    const std::string name = "kelvora_test_second_" + std::to_string(GetCurrentProcessId());
    CEvent ready((name + "_ready").c_str()), end((name + "_end").c_str());
    test_support::ChildProcess recorder(peer("diag-record " + name));
    ASSERT_EQ(Signaled, ready.wait(10000));
    end.set();
    EXPECT_EQ(0u, recorder.waitForExit(10000));
    EXPECT_FALSE(getDiagData().isLoggingActive());
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "dropped while off");
    DiagEventLog::startNewLog();
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "back on");
    EXPECT_TRUE(m_collector.waitFor("back on"));
    EXPECT_FALSE(m_collector.contains("dropped while off"));
}

TEST_F(DiagEventLogTest, AbandonedBlockMutexDoesNotStopLogging) {
    DiagEventLog::startNewLog();
    const auto result =
        test_support::runProcess(peer("abandon-mutex TempovaDiagnosticsData_mutex"));
    ASSERT_TRUE(result.finished);
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "after the abandoned mutex");
    EXPECT_TRUE(m_collector.waitFor("after the abandoned mutex"));
}

// The holder releases after 10 s at the latest, so that a wait without
// bound shows as a failure, not a hang.
TEST_F(DiagEventLogTest, BlockMutexKeptElsewhereHoldsUpNeitherReportsNorTheRecorder) {
    DiagEventLog::startNewLog();
    CEvent held, done;
    std::thread holder([&] {
        CMutex mutex("TempovaDiagnosticsData_mutex");
        mutex.wait(INFINITE);
        held.set();
        done.wait(10000);
        mutex.release();
    });
    ASSERT_EQ(Signaled, held.wait(10000));
    getDiagData().blockEvent().set(); // the recorder waits for the mutex too
    const DWORD start = GetTickCount();
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "while kept");
    DiagEventLog::endLogging();
    const DWORD took = GetTickCount() - start;
    done.set();
    holder.join();
    // The facade waits 2 s for the recorder, then 2 s more before ending it by force.
    EXPECT_LT(took, 4000u);
    EXPECT_FALSE(m_collector.contains("while kept"));
    getDiagData().setLoggingActive(false); // the ending recorder's own change was dropped
}

TEST_F(DiagEventLogTest, RepeatedRunsLeaveNoHandlesBehind) {
    DiagEventLog::startNewLog();
    DiagEventLog::endLogging();
    const DWORD before = test_support::handleCount();
    for (int i = 0; i < 20; ++i) {
        DiagEventLog::startNewLog();
        DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "cycle");
        DiagEventLog::endLogging();
    }
    EXPECT_EQ(before, test_support::handleCount());
}
