#include "LoopbackHttpServer.h"
#include "ChildProcess.h"
#include "FailingAllocations.h"
#include "HTTPXMLReqHelper.h"
#include "HandleCycles.h"
#include "RequestKeeper.h"
#include "TestDocuments.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <new>

using namespace test_documents;
using test_support::HttpReply;
using test_support::LoopbackHttpServer;

namespace {

const char kNotFoundText[] =
    "Error connecting to Kelvora server, please try again later.  Error code: 268 (0x194)";
const char kIncompleteText[] = "Error connecting to Kelvora server, please try again later.";
const char kCorruptText[] = "Information received from server is corrupt, error code: 267 (0x0)";

const std::string kDocument = courseList({{"Alpha", "alpha.exe"}, {"Beta", "beta.exe"}});

// A worker that records how parseResponse was called and can be told to fail
// there, or to stay there until unblock is set.
class ProbeHelper : public CHTTPXMLReqHelper {
public:
    enum class Parse { Count, ThrowComError, ThrowBadAlloc, Block };

    explicit ProbeHelper(const std::string& url, const std::string& tagName = "applications",
                         Parse parse = Parse::Count)
        : CHTTPXMLReqHelper("ProbeHelper"), m_parse(parse) {
        m_url = url;
        m_tagName = tagName;
        resume();
    }
    ~ProbeHelper() override {
        stopWorker();
        ++destroyed;
    }

    // Only between requests.
    void setUrl(const std::string& url) { m_url = url; }

    std::atomic<int> parseCalls{0};
    std::atomic<long> listLength{-1};
    kelvora_core::CManualResetEvent* unblock = nullptr;
    static std::atomic<int> destroyed;

protected:
    void parseResponse(ComPtr<IXMLDOMNodeList> list) override {
        ++parseCalls;
        long length = -1;
        list->get_length(&length);
        listLength = length;
        if (m_parse == Parse::ThrowComError)
            throw ComError{E_FAIL};
        if (m_parse == Parse::ThrowBadAlloc)
            throw std::bad_alloc();
        if (m_parse == Parse::Block)
            unblock->wait(60000);
    }

private:
    Parse m_parse;
};

std::atomic<int> ProbeHelper::destroyed{0};

class HTTPXMLReqHelperTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.started()); }

    // Serves reply at a path of its own and returns its URL.
    std::string serve(const std::string& path, HttpReply reply) {
        server.setReply(path, std::move(reply));
        return server.url(path);
    }

    LoopbackHttpServer server;
};

TEST_F(HTTPXMLReqHelperTest, DocumentFromServerIsLoadedAndHandedOver) {
    ProbeHelper helper(serve("/ok.xml", HttpReply::answer(200, kDocument)));
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    ASSERT_TRUE(waitUntilNotBusy(helper, 1000));
    EXPECT_EQ(200, helper.m_status);
    EXPECT_TRUE(helper.m_xmlLoaded);
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ(kDocument, helper.m_responseText);
    EXPECT_EQ(1, helper.parseCalls);
    EXPECT_EQ(1, helper.listLength);
    EXPECT_TRUE(helper.succeeded());
    // One plain GET, no request body, that no cache may answer in the server's place.
    ASSERT_EQ(1u, server.requestCount());
    EXPECT_EQ("GET /ok.xml HTTP/1.1", server.requestLines()[0]);
    EXPECT_NE(std::string::npos, server.requestHeads()[0].find(
                                     "\r\nIf-Modified-Since: Sat, 01 Jan 2000 00:00:00 GMT"));
}

TEST_F(HTTPXMLReqHelperTest, NotFoundGivesStatusErrorWithStatusInHex) {
    ProbeHelper helper(server.url("/missing.xml"));
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    EXPECT_EQ(kNotFoundText, helper.m_errorText);
    EXPECT_EQ(404, helper.m_status);
    EXPECT_FALSE(helper.m_xmlLoaded);
    EXPECT_EQ(0, helper.parseCalls);
}

TEST_F(HTTPXMLReqHelperTest, ServerErrorGivesStatusError) {
    ProbeHelper helper(serve("/broken.xml", HttpReply::answer(500, "failure", "text/plain")));
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    EXPECT_EQ(
        "Error connecting to Kelvora server, please try again later.  Error code: 268 (0x1f4)",
        helper.m_errorText);
    EXPECT_EQ(500, helper.m_status);
    EXPECT_EQ(0, helper.parseCalls);
}

TEST_F(HTTPXMLReqHelperTest, TextThatIsNotXmlIsCorrupt) {
    const std::string text = "this is <not xml";
    ProbeHelper helper(serve("/text.xml", HttpReply::answer(200, text, "text/plain")));
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    EXPECT_EQ(kCorruptText, helper.m_errorText);
    EXPECT_EQ(200, helper.m_status);
    EXPECT_FALSE(helper.m_xmlLoaded);
    EXPECT_EQ(text, helper.m_responseText);
    EXPECT_EQ(0, helper.parseCalls);
}

// The one slow case: the whole 30 s wait, at next to no processor cost.
TEST_F(HTTPXMLReqHelperTest, ServerThatNeverAnswersTimesOutAfterThirtySeconds) {
    ProbeHelper helper(serve("/hang.xml", HttpReply::hang()));
    const double cpuBefore = threadCpuMs(helper.getHandle());
    const Stopwatch watch;
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 40000));
    const DWORD elapsed = watch.elapsed();
    const double cpu = threadCpuMs(helper.getHandle()) - cpuBefore;
    EXPECT_GE(elapsed, 29900u);
    EXPECT_LT(elapsed, 32000u);
    EXPECT_EQ(kIncompleteText, helper.m_errorText);
    EXPECT_EQ(0, helper.m_status);
    EXPECT_EQ(0, helper.parseCalls);
    // A busy poll would use the whole 30 s of a core.
    EXPECT_LT(cpu, 1500.0) << "worker processor time " << cpu << " ms";
}

TEST_F(HTTPXMLReqHelperTest, SlowlyDrippedAnswerArrivesWhole) {
    ProbeHelper helper(serve("/drip.xml", HttpReply::drip(kDocument, 16, 25)));
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 20000));
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ(200, helper.m_status);
    EXPECT_EQ(kDocument, helper.m_responseText);
    EXPECT_EQ(1, helper.parseCalls);
}

TEST_F(HTTPXMLReqHelperTest, AnswerCutOffInTheMiddleIsNoDocument) {
    ProbeHelper helper(serve("/cut.xml", HttpReply::hangUpMidway(kDocument)));
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 40000));
    EXPECT_FALSE(helper.m_xmlLoaded);
    EXPECT_EQ(0, helper.parseCalls);
    EXPECT_NE("", helper.m_errorText);
    std::printf("cut answer: status %d, error \"%s\"\n", static_cast<int>(helper.m_status),
                helper.m_errorText.c_str());
}

TEST_F(HTTPXMLReqHelperTest, RedirectIsFollowed) {
    serve("/moved.xml", HttpReply::answer(200, kDocument));
    ProbeHelper helper(serve("/old.xml", HttpReply::redirect(server.url("/moved.xml"))));
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ(200, helper.m_status);
    EXPECT_EQ(kDocument, helper.m_responseText);
    EXPECT_EQ(1, helper.parseCalls);
}

TEST_F(HTTPXMLReqHelperTest, CancelWhileWaitingThenNewRequestRunsNormally) {
    const std::string url = serve("/later.xml", HttpReply::hang());
    ProbeHelper helper(url);
    helper.startRequest();
    Sleep(300);
    ASSERT_FALSE(waitForDone(helper, 0));
    const Stopwatch watch;
    helper.cancelRequest();
    EXPECT_LT(watch.elapsed(), 1000u);
    ASSERT_TRUE(waitForDone(helper, 0));
    EXPECT_EQ(kIncompleteText, helper.m_errorText);
    EXPECT_EQ(0, helper.m_status);
    ASSERT_TRUE(waitUntilNotBusy(helper, 1000));

    server.setReply("/later.xml", HttpReply::answer(200, kDocument));
    helper.startRequest();
    EXPECT_EQ("", helper.m_errorText);
    ASSERT_TRUE(waitForDone(helper, 10000));
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ(200, helper.m_status);
    EXPECT_EQ(1, helper.parseCalls);
}

TEST_F(HTTPXMLReqHelperTest, CancelRightAfterStartEndsTheRequest) {
    ProbeHelper helper(serve("/soon.xml", HttpReply::hang()));
    helper.startRequest();
    helper.cancelRequest();
    ASSERT_TRUE(waitForDone(helper, 2000));
    EXPECT_EQ(0, helper.m_status);
    EXPECT_TRUE(helper.m_errorText.empty() || helper.m_errorText == kIncompleteText);
}

TEST_F(HTTPXMLReqHelperTest, ResetClearsResultsButKeepsResponseText) {
    ProbeHelper helper(serve("/text2.xml", HttpReply::answer(200, "plain", "text/plain")));
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    ASSERT_TRUE(waitUntilNotBusy(helper, 1000));
    helper.reset();
    EXPECT_FALSE(waitForDone(helper, 0));
    EXPECT_FALSE(helper.m_busy);
    EXPECT_EQ(0, helper.m_status);
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ("plain", helper.m_responseText);
}

TEST_F(HTTPXMLReqHelperTest, ParseFailureEndsRequestWithoutMessageKeepingResults) {
    ProbeHelper helper(serve("/ok2.xml", HttpReply::answer(200, kDocument)), "applications",
                       ProbeHelper::Parse::ThrowComError);
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ(200, helper.m_status);
    EXPECT_TRUE(helper.m_xmlLoaded);
    EXPECT_EQ(kDocument, helper.m_responseText);
}

TEST_F(HTTPXMLReqHelperTest, EmptyTagNameDoesNothing) {
    ProbeHelper helper(serve("/ok3.xml", HttpReply::answer(200, kDocument)), "");
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 5000));
    EXPECT_EQ(0, helper.m_status);
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ(0, helper.parseCalls);
    EXPECT_EQ(0u, server.requestCount());
}

TEST_F(HTTPXMLReqHelperTest, AllocationFailureOnTheWorkerStillEndsTheRequest) {
    const std::string url = serve("/ok4.xml", HttpReply::answer(200, kDocument));
    const TemporaryFile file("alloc.xml", kDocument);
    for (const std::string& address : {url, file.url()}) {
        ProbeHelper helper(address);
        {
            failing_allocations::Scope failing(helper.getThreadId());
            helper.startRequest();
            ASSERT_TRUE(waitForDone(helper, 5000)) << address;
            ASSERT_TRUE(waitUntilNotBusy(helper, 1000));
        }
        EXPECT_EQ(0, helper.m_status);
        EXPECT_EQ("", helper.m_errorText);
        // The worker is still usable.
        helper.startRequest();
        ASSERT_TRUE(waitForDone(helper, 10000));
        EXPECT_EQ(200, helper.m_status);
        EXPECT_EQ(1, helper.parseCalls);
    }
}

TEST_F(HTTPXMLReqHelperTest, AllocationFailureInsideParseEndsRequestWithoutMessage) {
    ProbeHelper helper(serve("/ok5.xml", HttpReply::answer(200, kDocument)), "applications",
                       ProbeHelper::Parse::ThrowBadAlloc);
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ(200, helper.m_status);
}

TEST_F(HTTPXMLReqHelperTest, FileUrlIsReadInTextModeWithoutServer) {
    std::string crlf = kDocument;
    for (std::string::size_type at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
        crlf.insert(at, "\r");
    const TemporaryFile file("list.xml", crlf);
    ProbeHelper helper(file.url());
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    EXPECT_EQ(200, helper.m_status);
    EXPECT_TRUE(helper.m_xmlLoaded);
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ("", helper.m_responseText);
    EXPECT_EQ(1, helper.parseCalls);
    EXPECT_EQ(0u, server.requestCount());
}

TEST_F(HTTPXMLReqHelperTest, MissingFileEndsQuietly) {
    ProbeHelper helper(fileUrl(temporaryPath("absent.xml")));
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 5000));
    EXPECT_EQ(0, helper.m_status);
    EXPECT_FALSE(helper.m_xmlLoaded);
    EXPECT_EQ("", helper.m_errorText);
    EXPECT_EQ(0, helper.parseCalls);
}

TEST_F(HTTPXMLReqHelperTest, BrokenAndEmptyFilesAreCorrupt) {
    for (const char* content : {"", "<applications><app exe=\"a\">A</applications>"}) {
        const TemporaryFile file("broken.xml", content);
        ProbeHelper helper(file.url());
        helper.startRequest();
        ASSERT_TRUE(waitForDone(helper, 5000));
        EXPECT_EQ(kCorruptText, helper.m_errorText) << content;
        EXPECT_EQ(0, helper.m_status);
        EXPECT_EQ(0, helper.parseCalls);
    }
}

TEST_F(HTTPXMLReqHelperTest, FileUrlTooShortForAPathStillEndsTheRequest) {
    for (const char* url : {"file:", "file:/", "file://"}) {
        ProbeHelper helper(url);
        helper.startRequest();
        ASSERT_TRUE(waitForDone(helper, 2000)) << url;
        ASSERT_TRUE(waitUntilNotBusy(helper, 1000));
        EXPECT_EQ(0, helper.m_status);
        EXPECT_EQ("", helper.m_errorText);
        EXPECT_EQ(0, helper.parseCalls);
    }
}

TEST_F(HTTPXMLReqHelperTest, SchemeInCapitalsGoesToTheRequestObject) {
    const TemporaryFile file("capitals.xml", kDocument);
    std::string url = file.url();
    url.replace(0, 5, "FILE:");
    ProbeHelper helper(url);
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 35000));
    // The local reader would have recorded 200 without any response text.
    EXPECT_FALSE(helper.m_status == 200 && helper.m_responseText.empty());
    std::printf("capital scheme: status %d, error \"%s\"\n", static_cast<int>(helper.m_status),
                helper.m_errorText.c_str());
}

TEST_F(HTTPXMLReqHelperTest, DestroyingAnIdleWorkerIsQuick) {
    const Stopwatch watch;
    { ProbeHelper helper(server.url("/never.xml")); }
    EXPECT_LT(watch.elapsed(), 500u);
}

TEST_F(HTTPXMLReqHelperTest, DestroyingAWorkerWaitingForTheServerEndsItThroughCancel) {
    auto helper = std::make_unique<ProbeHelper>(serve("/hang2.xml", HttpReply::hang()));
    helper->startRequest();
    Sleep(300);
    HANDLE thread = nullptr;
    DuplicateHandle(GetCurrentProcess(), helper->getHandle(), GetCurrentProcess(), &thread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    const Stopwatch watch;
    helper.reset();
    EXPECT_LT(watch.elapsed(), 2000u);
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    // Ended by itself, not terminated.
    EXPECT_EQ(0u, code);
}

// A worker stuck in its request costs a cancel its bounded waits once (the
// next cancel, inside reset, does not wait again) and costs letting go
// nothing: it is not terminated, reset leaves it the results it still
// writes, and it frees its helper itself when it ends.
TEST_F(HTTPXMLReqHelperTest, WorkerStuckInARequestIsNeverWaitedForTwiceAndFreesItsHelper) {
    kelvora_core::CManualResetEvent unblock;
    auto* helper = new ProbeHelper(serve("/stuck.xml", HttpReply::answer(200, kDocument)),
                                   "applications", ProbeHelper::Parse::Block);
    helper->unblock = &unblock;
    helper->startRequest();
    for (int i = 0; i < 1000 && helper->parseCalls == 0; ++i)
        Sleep(10);
    HANDLE thread = nullptr;
    DuplicateHandle(GetCurrentProcess(), helper->getHandle(), GetCurrentProcess(), &thread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    const Stopwatch cancel;
    helper->cancelRequest();
    EXPECT_LT(cancel.elapsed(), 11500u);
    const Stopwatch again;
    helper->reset();
    EXPECT_LT(again.elapsed(), 500u);
    EXPECT_EQ(200, helper->m_status);
    const int destroyedBefore = ProbeHelper::destroyed;
    const Stopwatch stop;
    CHTTPXMLReqHelper::letGo(helper);
    EXPECT_LT(stop.elapsed(), 250u);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 0));
    unblock.set();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 5000));
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(destroyedBefore + 1, ProbeHelper::destroyed);
    EXPECT_TRUE(CHTTPXMLReqHelper::letGoWorkersEnded(1000));
}

TEST_F(HTTPXMLReqHelperTest, DestroyingADoneWorkerIsQuick) {
    auto helper =
        std::make_unique<ProbeHelper>(serve("/ok6.xml", HttpReply::answer(200, kDocument)));
    helper->startRequest();
    ASSERT_TRUE(waitForDone(*helper, 10000));
    const Stopwatch watch;
    helper.reset();
    EXPECT_LT(watch.elapsed(), 500u);
}

TEST_F(HTTPXMLReqHelperTest, RepeatedRequestsLeaveNoHandlesBehind) {
    const std::string url = serve("/ok7.xml", HttpReply::answer(200, kDocument));
    // Wine keeps two handles each time the last thread leaves the apartment after an
    // HTTP request; this thread stays in it, so only the helpers' own handles count.
    const MultithreadedApartment apartment;
    const auto cycle = [&] {
        ProbeHelper helper(url);
        helper.startRequest();
        ASSERT_TRUE(waitForDone(helper, 10000));
        EXPECT_EQ(200, helper.m_status);
    };
    expectNoHandleGrowth(server, cycle);
    // With no request left, the request interface's type library is still
    // held besides here: one library for every request, never freed and
    // loaded again between workers.
    ComPtr<ITypeLib> library;
    ASSERT_HRESULT_SUCCEEDED(request_keeper::loadRequestTypeLibrary(library.put()));
    const ULONG references = library->AddRef(); // Wine's count is exact
    library->Release();
    EXPECT_GE(references, 3u);
}

} // namespace
