#include "ChildProcess.h"
#include "CriticalSection.h"
#include "DiagData.h"
#include "DiagEventLog.h"
#include "DiagEventLogObserverSlot.h"
#include "DiagLogFile.h"
#include "Sentry.h"
#include "Utilities.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>
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

// A slot is one line of the file: line breaks and other control characters
// in its text become spaces, so that no text forges lines of other programs.
TEST_F(DiagEventLogTest, TextWithLineBreaksStaysOneLine) {
    const std::string before = logFileContent();
    DiagEventLog::startNewLog();
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, "<a>\r\n<b/>\n\x01</a>");
    DiagEventLog::endLogging();
    const auto lines = linesSince(before);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(":InfoEvent:<a>  <b/>  </a>", lines[1].substr(lines[1].find(":InfoEvent:")));
}

// The file never passes its bound: the line that would pass it starts a new
// file, and the full one becomes the file before, replacing an older one.
// Another recorder that holds the full file moves on to the new one.
TEST(DiagLogFile, FullFileBecomesTheOneBeforeAndANewOneStarts) {
    const std::string name = std::string(getUserAppPath()) + "\\bounded.log";
    const std::string previous = CDiagLogFile::previousName(name);
    DeleteFileA(name.c_str());
    DeleteFileA(previous.c_str());
    {
        CDiagLogFile file(name, 100), other(name, 100);
        for (int i = 0; i < 25; ++i) {
            ASSERT_TRUE(file.append("line " + std::to_string(i)));
            ASSERT_TRUE(i != 12 || other.append("other"));
        }
    }
    const auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ("line 22\r\nline 23\r\nline 24\r\n", read(name));
    EXPECT_EQ(0u, read(previous).find("line 12\r\nother\r\nline 13\r\n"));
    EXPECT_EQ(97u, read(previous).size());
    DeleteFileA(name.c_str());
    DeleteFileA(previous.c_str());
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

// Each entry of an object's access list: who, and what it grants.
std::vector<std::pair<std::string, DWORD>> accessEntries(HANDLE object) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::vector<std::pair<std::string, DWORD>> entries;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS ||
        !dacl)
        return entries;
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        char* sid = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
            ConvertSidToStringSidA(&ace->SidStart, &sid))
            entries.emplace_back(sid, ace->Mask);
        LocalFree(sid);
    }
    LocalFree(descriptor);
    return entries;
}

std::string userSid() {
    HANDLE token = nullptr;
    char user[256] = {}, *sid = nullptr;
    DWORD size = 0;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid);
    const std::string text = sid ? sid : "";
    LocalFree(sid);
    CloseHandle(token);
    return text;
}

// The block, its mutex and its event that this process made: the user has
// every right; every account (Everyone, and the owner as such) what peers
// use, nothing that changes access or owner; the low label. A family program
// that opens all three with all access, as the family's programs do, works.
TEST_F(DiagEventLogTest, AnotherProcessesReportsAreRecordedHere) {
    DiagEventLog::startNewLog();
    const auto result = test_support::runProcess(peer("diag-report 3 from-peer"));
    ASSERT_TRUE(result.finished);
    ASSERT_TRUE(m_collector.waitFor("from-peer 2"));
    int fromPeer = 0;
    for (const auto& line : m_collector.lines())
        fromPeer += line.find(":core_peer.exe:") != std::string::npos ? 1 : 0;
    EXPECT_EQ(3, fromPeer);
    const std::tuple<HANDLE, DWORD, DWORD> objects[] = {
        {OpenFileMappingA(READ_CONTROL, FALSE, "TempovaDiagnosticsData"),
         SECTION_QUERY | FILE_MAP_READ | FILE_MAP_WRITE, SECTION_ALL_ACCESS},
        {OpenMutexA(READ_CONTROL, FALSE, "TempovaDiagnosticsData_mutex"),
         SYNCHRONIZE | MUTEX_MODIFY_STATE, MUTEX_ALL_ACCESS},
        {OpenEventA(READ_CONTROL, FALSE, "TempovaDiagEvent"), SYNCHRONIZE | EVENT_MODIFY_STATE,
         EVENT_ALL_ACCESS}};
    for (const auto& [object, rights, all] : objects) {
        const std::vector<std::pair<std::string, DWORD>> expected = {
            {userSid(), all},
            {"S-1-1-0", rights | READ_CONTROL},
            {"S-1-3-4", rights | READ_CONTROL}};
        EXPECT_EQ(expected, accessEntries(object));
        EXPECT_TRUE(hasLowIntegrityLabel(object));
        CloseHandle(object);
    }
    EXPECT_EQ(0u, test_support::runProcess(peer("family-open")).exitCode);
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
