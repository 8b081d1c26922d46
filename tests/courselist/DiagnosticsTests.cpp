#include "LoopbackHttpServer.h"
#include "AppNamesHelper.h"
#include "CriticalSection.h"
#include "DiagEventLog.h"
#include "Sentry.h"
#include "TestDocuments.h"

#include <gtest/gtest.h>

#include <vector>

using namespace test_documents;
using kelvora_core::DiagEventLog;
using test_support::HttpReply;
using test_support::LoopbackHttpServer;

namespace {

const char kOpening[] = "InfoEvent:Opening a connection to the course list server";
const char kSucceeded[] = "InfoEvent:Connection to the course list server succeeded";
const char kResponse[] = "InfoEvent:Response from the course list server:";

// Collects the recorded lines.
class LineCollector : public kelvora_core::DiagEventLogObserver {
public:
    void onDiagEventLogged(const std::string& line) override {
        kelvora_core::CSentry hold(m_lock);
        m_lines.push_back(line);
    }
    // Waits (at most 10 s) for a line holding needle.
    bool waitFor(const std::string& needle) {
        const Stopwatch watch;
        while (count(needle) == 0) {
            if (watch.elapsed() > 10000)
                return false;
            Sleep(10);
        }
        return true;
    }
    size_t count(const std::string& needle) {
        kelvora_core::CSentry hold(m_lock);
        size_t found = 0;
        for (const std::string& line : m_lines)
            found += line.find(needle) != std::string::npos ? 1 : 0;
        return found;
    }

private:
    kelvora_core::CCriticalSection m_lock;
    std::vector<std::string> m_lines;
};

class CourseListDiagnosticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.started());
        DiagEventLog::addDiagEventLogObserver(&lines);
        DiagEventLog::startNewLog();
    }
    void TearDown() override {
        DiagEventLog::endLogging();
        DiagEventLog::removeDiagEventLogObserver(&lines);
    }
    // Every report made before this one has been recorded once it arrives.
    void flush(const std::string& marker) {
        DiagEventLog::diagEvent(DiagEventLog::InfoEvent, marker);
        ASSERT_TRUE(lines.waitFor(marker));
    }
    void fetch(const std::string& url) {
        CAppNamesHelper helper(url);
        helper.startRequest();
        ASSERT_TRUE(waitForDone(helper, 10000));
    }

    LoopbackHttpServer server;
    LineCollector lines;
};

TEST_F(CourseListDiagnosticsTest, ServerRequestReportsItsThreeSteps) {
    const std::string document = courseList({{"Alpha", "alpha.exe"}});
    server.setReply("/ok.xml", HttpReply::answer(200, document));
    fetch(server.url("/ok.xml"));
    flush("marker one");
    EXPECT_EQ(1u, lines.count(kOpening));
    EXPECT_EQ(1u, lines.count(kSucceeded));
    EXPECT_EQ(1u, lines.count(std::string(kResponse) + " [<?xml")); // one line of the log
}

TEST_F(CourseListDiagnosticsTest, FailedServerRequestReportsOnlyTheOpening) {
    fetch(server.url("/missing.xml"));
    flush("marker two");
    EXPECT_EQ(1u, lines.count(kOpening));
    EXPECT_EQ(0u, lines.count(kSucceeded));
    EXPECT_EQ(0u, lines.count(kResponse));
}

TEST_F(CourseListDiagnosticsTest, LocalCopyReportsNothing) {
    const TemporaryFile file("quiet.xml", courseList({{"Alpha", "alpha.exe"}}));
    fetch(file.url());
    fetch(fileUrl(temporaryPath("absent.xml")));
    flush("marker three");
    EXPECT_EQ(0u, lines.count("course list server"));
}

} // namespace
