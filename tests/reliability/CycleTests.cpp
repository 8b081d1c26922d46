// Repeated work leaves nothing behind: after a warm-up, the process's handle
// count and private bytes come back to where they were, once the process has
// settled.
// Winsock 2 before anything that brings in windows.h.
#include "LoopbackHttpServer.h"

#include "DialogHarness.h"

#include "AppNamesHelper.h"
#include "ChildProcess.h"
#include "ComSupport.h"
#include "ReliabilitySupport.h"
#include "TestDocuments.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using app_test::RunningDialog;
using app_test::waitUntil;
using test_support::HttpReply;
using test_support::LoopbackHttpServer;

namespace {

const char* const kPath = "/lutegate/lutegate.xml";
const char* const kUpdating = "Updating course list from web.....please wait..";
constexpr int kWarmUp = 5;
// The last worker's and server thread's handles may still be closing.
constexpr DWORD kEnding = 2;
// Heap pages may stay committed after a peak.
constexpr size_t kPrivateSlack = 128 * 1024;
// What Wine's HTTP stack keeps of a request that ended after its cancel:
// 4.0 to 4.3 KB a cycle over 500, 1,000 and 2,000 cycles of cancel_probe
// (the same requests and cancels without the dialog and the helper), and
// 1.5 KB when the answer came; twice the most it kept, for the heap's
// fragments.
constexpr size_t kWinePrivatePerCancel = 8 * 1024;
// What Wine's HTTP stack keeps of a request answered and read to its end:
// at most 1.54 KB a request over 500 and 1,500 answered requests of
// cancel_probe; twice that.
constexpr size_t kWinePrivatePerAnswer = 3 * 1024;
// Under Wine an unanswered request keeps a thread of the HTTP stack (4 MB of
// the address space) until the server closes its connection, and the test's
// server a thread of its own: the silent server lets its connections go
// after this many cycles, as a real one would after a while. The warm-up
// runs two such stretches, so that the heap has grown to what that many
// requests at once take before the count.
constexpr int kHeldAtMost = 50;
constexpr int kWarmUpCycles = 2 * kHeldAtMost;

struct Usage {
    DWORD handles;
    size_t privateBytes;
};

Usage usageNow() {
    return {test_support::handleCount(), reliability::privateBytes()};
}

// Once requests have hung: Wine ends an idle thread of its pool 5 s after its
// last task, and a request that ended after its cancel is let go within 1 s.
Usage settledUsage() {
    Sleep(6000);
    return usageNow();
}

void expectBackWhereItStarted(const Usage& before, const Usage& after, int cycles,
                              size_t privatePerCycle = 0) {
    std::printf("after %d cycles: handles %lu -> %lu, private bytes %zu -> %zu\n", cycles,
                before.handles, after.handles, before.privateBytes, after.privateBytes);
    EXPECT_LE(after.handles, before.handles + kEnding) << "handles after " << cycles << " cycles";
    EXPECT_LE(after.privateBytes, before.privateBytes + kPrivateSlack + privatePerCycle * cycles)
        << "private bytes grew by " << static_cast<long>(after.privateBytes - before.privateBytes)
        << " after " << cycles << " cycles";
}

// One Update pressed and cancelled while the server is still sending; the
// bench posts the timer's first tick so that the request is under way.
bool updateAndCancel(RunningDialog& dialog) {
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    dialog.post(WM_TIMER, 1);
    if (!waitUntil([&] { return dialog.status() == std::string(kUpdating) + "."; }, 5000))
        return false;
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    return dialog.flush() && app_test::windowText(dialog.item(IDC_BUTTON_UPDATE)) == "&Update";
}

} // namespace

namespace {

void updateAndCancelCycles(const HttpReply& reply) {
    LoopbackHttpServer& server = reliability::server();
    server.setReply(kPath, reply);
    DeleteFileA(reliability::localCopyPath().c_str());
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    const int cycles = reliability::cycles();
    Usage before{};
    for (int i = 0; i < kWarmUpCycles + cycles; ++i) {
        if (i % kHeldAtMost == 0)
            server.endHangs();
        if (i == kWarmUpCycles) {
            // Cancel waits for no worker: the last ones may still be ending.
            ASSERT_TRUE(CHTTPXMLReqHelper::letGoWorkersEnded(5000));
            server.endHangs();
            ASSERT_TRUE(server.waitUntilIdle(10000));
            before = settledUsage();
        }
        ASSERT_TRUE(updateAndCancel(dialog)) << "cycle " << i;
    }
    ASSERT_TRUE(CHTTPXMLReqHelper::letGoWorkersEnded(5000));
    server.endHangs();
    ASSERT_TRUE(server.waitUntilIdle(10000));
    expectBackWhereItStarted(before, settledUsage(), cycles, kWinePrivatePerCancel);
    EXPECT_EQ(0, dialog.rowCount());
}

} // namespace

// What must hold: Update and Cancel cycles on one dialog, against a server
// that never answers, leave the handle count where it was and private bytes
// within Wine's share once the server has let the connections go; every
// cancel turns the button back to "&Update" at once.
TEST(Cycles, UpdateAndCancelLeaveNothingBehind) {
    updateAndCancelCycles(HttpReply::hang());
}

// The same with the answer arriving in pieces after the cancel, into the
// request that was cancelled: no crash.
TEST(Cycles, CancelWhileTheAnswerArrives) {
    const std::string document = test_documents::manyEntries(10);
    updateAndCancelCycles(HttpReply::drip(document, document.size() / 10 + 1, 100));
}

// What must hold: course list helpers, each created, run to the end of a
// request and destroyed, and as many destroyed without a request, leave the
// handle count as it was and private bytes within Wine's share.
TEST(Cycles, HelperCreateAndDestroyLeaveNothingBehind) {
    LoopbackHttpServer& server = reliability::server();
    server.setReply(kPath, HttpReply::answer(200, test_documents::manyEntries(20)));
    const int cycles = reliability::cycles();
    Usage before{};
    for (int i = 0; i < kWarmUp + cycles; ++i) {
        if (i == kWarmUp) {
            ASSERT_TRUE(server.waitUntilIdle(10000));
            before = usageNow();
        }
        auto helper = std::make_unique<CAppNamesHelper>("");
        helper->startRequest();
        ASSERT_TRUE(test_documents::waitForDone(*helper, 35000)) << "cycle " << i;
        ASSERT_TRUE(helper->succeeded()) << "cycle " << i;
        ASSERT_EQ(20u, helper->m_appNames.size());
        helper.reset();
        CAppNamesHelper idle("");
    }
    ASSERT_TRUE(server.waitUntilIdle(10000));
    expectBackWhereItStarted(before, usageNow(), cycles, kWinePrivatePerAnswer);
}
